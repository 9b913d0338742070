// A host session with the module started in-process, and scene helpers for
// the deformer tests. Scenes are built through the host's Document API; the
// deformer runs through its registered record, as the host would run it.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <utility>
#include <vector>

#include "core/data_value.h"
#include "core/host_session.h"
#include "scene/document.h"
#include "scene/node.h"
#include "math/matrix.h"
#include "math/vector.h"
#include "support/vector_expect.h"

extern "C" int32_t plugin_main(int32_t action, void* p1, void* p2, void* p3);

namespace kurvo::test {

using host::Object;
using host::Tag;

constexpr int32_t kDeformerType = 1024244;
constexpr int32_t kTagType = 1024306;

// The registered record of a plug-in object.
inline const KhObjectPlugin& Record(Object* object) { return *object->objectRecord(); }

// Starts the module whose res/ lives in `resDir` (the repository's own by
// default) and keeps one document.
class DeformerTest : public ::testing::Test {
 protected:
  void SetUp() override { StartSession(std::filesystem::path(KURVO_SOURCE_DIR) / "res"); }
  void TearDown() override { session_.reset(); }

  // Replaces the session; the module pretends to live beside `resDir`.
  void StartSession(const std::filesystem::path& resDir);
  host::HostSession& session() { return *session_; }
  host::Document& doc() { return *doc_; }

  // A polygon object with these points (no polygons).
  Object* MakePointObject(std::vector<Vector> points, Object* parent = nullptr);
  // A spline object: interpolation 0 linear, 1 cubic; closed or open.
  Object* MakeSpline(std::vector<Vector> points, int interpolation, bool closed);
  // A deformer under `parent`, linked to `path` (may be null).
  Object* MakeDeformer(Object* parent, Object* path);

  // Points of a ring cylinder along Z: `rings` rings of `perRing` points.
  static std::vector<Vector> Cylinder(float radius, float z0, float z1, int rings, int perRing);

  // Calls the deformer's operations directly through its record.
  void Modify(Object* deformer, host::BreakThread* thread = nullptr);
  void CheckDirty(Object* deformer);

  // Parameters of a node.
  static host::Container& Params(host::Node* node) { return node->parameters(); }
  // Stores a curve with linear knots (x, y) under `id`.
  static void SetCurve(host::Node* node, int32_t id, std::vector<std::pair<float, float>> knots);

 private:
  std::unique_ptr<host::HostSession> session_;
  host::Document* doc_ = nullptr;
};

inline Matrix ToMatrix(const KhMatrix& m) { return FromKh(m); }

}  // namespace kurvo::test
