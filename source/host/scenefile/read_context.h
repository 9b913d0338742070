// What the scene reader knows while it walks a file: the file's name for
// messages, the object being read, and strict readers of JSON values that
// fail with one message naming the file, the object and the field.
//
// A failure is thrown as SceneError inside the reader and turned into a
// failed Status at the library's edge (scene_file.h); nothing escapes it.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

#include "json_text.h"
#include "kh_types.h"
#include "vector.h"

namespace kurvo::scenefile {

struct SceneError {
  std::string message;
};

class ReadContext {
 public:
  std::string file;    // as shown in messages
  std::string object;    // name of the object being read; empty at the top
  std::string material;  // name of the material being read (when no object is)

  // The whole scene's point budget: every object's points count against it
  // as they are asked for, before they are made, so a scene of many large
  // objects is refused with the figure it would need rather than running out
  // of memory. 0: no budget.
  uint64_t maxScenePoints = 0;
  mutable double scenePoints = 0;  // asked for so far
  void chargePoints(double points, const std::string& field) const;

  // Throws SceneError: "<file>: object "<name>": <field>: <problem>", or with
  // material "<name>" while a material is read.
  [[noreturn]] void fail(const std::string& field, const std::string& problem) const;

  // Fails with "unknown field" for any key not in `keys`.
  void allowOnly(const Json& object, const std::string& path, std::initializer_list<const char*> keys) const;
  void requireObject(const Json& value, const std::string& field) const;
  void requireArray(const Json& value, const std::string& field) const;

  // Typed reads. Numbers must be finite as single-precision values.
  float number(const Json& value, const std::string& field) const;
  int32_t integer(const Json& value, const std::string& field) const;
  bool boolean(const Json& value, const std::string& field) const;
  const std::string& text(const Json& value, const std::string& field) const;
  Vector vector(const Json& value, const std::string& field) const;
  // A colour [r, g, b], each in 0..1.
  Vector colour(const Json& value, const std::string& field) const;
  // A number in [low, high].
  float numberIn(const Json& value, const std::string& field, float low, float high) const;
  // [[tx,ty,tz],[xx,xy,xz],[yx,yy,yz],[zx,zy,zz]]
  KhMatrix matrix(const Json& value, const std::string& field) const;
};

// "field[index]" and "field.key", for paths in messages.
std::string indexed(const std::string& field, size_t index);
std::string member(const std::string& field, const std::string& key);

}  // namespace kurvo::scenefile
