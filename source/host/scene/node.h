// Scene nodes: objects (in a tree), tags (on an object) and shaders (of a
// material, see material.h). A node owns its
// parameter container, its children and its tags; a plug-in node also owns
// the module's data object made by its registered record.
//
// Handles: KhNode* and KhObject* are the address of the Node; use toHandle /
// nodeFrom, never a cast of an Object*.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "arc_length.h"
#include "core/data_value.h"
#include "kh_host_table.h"
#include "mesh_optimize.h"
#include "spline.h"

namespace kurvo::host {

class Document;
class Object;
class Tag;
struct ArrayCopies;
struct RegisteredPlugin;

// Mode kinds and values of Object::mode().
enum : int32_t { kModeOff = 0, kModeOn = 1, kModeUndefined = 2 };

// Host type IDs of the spline primitives (generate a spline on demand).
enum : int32_t {
  kTypeLinePrimitive = 5190,
  kTypeCirclePrimitive = 5191,
  kTypeArcPrimitive = 5192,
  kTypeRectanglePrimitive = 5193,
  kTypeHelixPrimitive = 5194,
};
// Host type ID of the array, a generator of copies (array.h).
enum : int32_t { kTypeArray = 5170 };
// Parameter IDs of spline objects and primitives.
enum : int32_t {
  kSplineClosed = 1002,         // spline object: closed flag (bool)
  kSplineInterpolation = 1003,  // spline object: 0 linear, 1 cubic, 2 Bezier
  kPrimLength = 2000,           // line
  kPrimRadius = 2001,           // circle, arc; helix start radius
  kPrimWidth = 2002,            // rectangle
  kPrimHeight = 2003,           // rectangle, helix
  kPrimStartAngle = 2004,       // arc (radians)
  kPrimEndAngle = 2005,         // arc (radians)
  kPrimEndRadius = 2006,        // helix
  kPrimTurns = 2007,            // helix
  kPrimSubdivision = 2008,      // helix points per turn
};

uint32_t nextChangeStamp() noexcept;

class Node : public ContainerObserver {
 public:
  static constexpr uint32_t kMagic = 0x4E4F4445;  // 'NODE'
  enum class Kind { Object, Tag, Shader };

  virtual ~Node();
  Node(const Node&) = delete;
  Node& operator=(const Node&) = delete;

  bool alive() const noexcept { return magic_ == kMagic; }
  Kind kind() const noexcept { return kind_; }
  bool isObject() const noexcept { return kind_ == Kind::Object; }
  int32_t type() const noexcept { return type_; }
  uint64_t serial() const noexcept { return serial_; }
  Document* document() const noexcept { return document_; }

  const std::string& name() const noexcept { return name_; }
  void setName(std::string name) { name_ = std::move(name); }
  int32_t bits() const noexcept { return bits_; }
  void setBits(int32_t mask, bool on) noexcept { bits_ = on ? (bits_ | mask) : (bits_ & ~mask); }

  // The parameters. Writes through the container family or the setters here
  // count as a data change of the node.
  Container& parameters() noexcept { return *container_; }
  const Container& parameters() const noexcept { return *container_; }

  // Plug-in nodes: the registered record and the module's data object.
  const RegisteredPlugin* plugin() const noexcept { return plugin_; }
  KhNodeData* pluginData() const noexcept { return data_; }
  const KhNodePlugin* nodeRecord() const noexcept;

  // Sends a message to the node (and its plug-in); answers its truth value.
  virtual int32_t message(int32_t type, void* data);

  // Neighbours (null at the ends).
  Node* next() const noexcept { return next_; }
  Node* pred() const noexcept { return prev_; }
  virtual Node* up() const noexcept { return nullptr; }
  virtual Node* down() const noexcept { return nullptr; }

  KhNode* handle() noexcept { return reinterpret_cast<KhNode*>(this); }

 protected:
  Node(Kind kind, int32_t type);
  // Creates the plug-in data through the record: alloc, then init. False when
  // either fails (the node then has no data).
  bool attachPlugin(const RegisteredPlugin* plugin);
  void containerChanged() noexcept override;
  virtual void dataChanged() noexcept {}

  friend class Document;
  friend class Object;
  Node* next_ = nullptr;
  Node* prev_ = nullptr;
  Document* document_ = nullptr;

 private:
  uint32_t magic_ = kMagic;
  Kind kind_;
  int32_t type_;
  uint64_t serial_;
  std::string name_;
  int32_t bits_ = 0;
  std::unique_ptr<Container> container_;
  const RegisteredPlugin* plugin_ = nullptr;
  KhNodeData* data_ = nullptr;
};

class Tag final : public Node {
 public:
  // A new free tag of `type` (5682 vertex map, or a registered tag plug-in),
  // or null for an unknown type or when the plug-in's data cannot be made.
  static std::unique_ptr<Tag> create(int32_t type);

  Object* owner() const noexcept { return owner_; }
  // Vertex-map tags: one weight per point.
  std::vector<float> weights;

  // A free copy of the tag: its parameters, weights and plug-in data; null
  // when a plug-in copy cannot be made.
  std::unique_ptr<Tag> clone() const;

 private:
  explicit Tag(int32_t type) : Node(Kind::Tag, type) {}
  friend class Object;
  friend class Document;
  Object* owner_ = nullptr;
};

// What an object is to the array generator (array.h). Objects a user made
// are plain; an array's own geometry lives in a polygon child of role
// arrayGeometry; copies and the deformers that bend them are made by the
// array and remade whenever it needs, so nothing edits or saves them.
enum class ObjectRole : uint8_t { plain, arrayGeometry, arrayCopy, arrayCopyDeformer };

// Change state: each class (matrix, data) has a stamp that takes a fresh
// value from one process-wide counter at every change. A counter for several
// classes is the sum of their stamps, so it changes whenever one of them does.
struct ChangeState {
  uint32_t matrix = 0;
  uint32_t data = 0;
  uint32_t evaluatedMatrix = 0;  // stamps at the end of the last evaluation
  uint32_t evaluatedData = 0;
};

class Object final : public Node {
 public:
  // A new free object of `type` (5100 polygon, 5101 spline, 5140 null, a spline
  // primitive, or a registered object plug-in), or null.
  static std::unique_ptr<Object> create(int32_t type);
  ~Object() override;

  bool isPolygon() const noexcept { return type() == KH_TYPE_POLYGON; }
  bool isSpline() const noexcept { return type() == KH_TYPE_SPLINE; }
  bool isPointObject() const noexcept { return isPolygon() || isSpline(); }
  bool isPrimitive() const noexcept;
  bool isArray() const noexcept { return type() == kTypeArray; }
  // A plug-in object that deforms its parent (record info bit 0).
  bool isDeformer() const noexcept;
  const KhObjectPlugin* objectRecord() const noexcept;

  // Tree.
  Object* parent() const noexcept { return parent_; }
  Object* firstChild() const noexcept { return firstChild_; }
  Object* nextObject() const noexcept { return static_cast<Object*>(next_); }
  Node* up() const noexcept override { return parent_; }
  Node* down() const noexcept override { return firstChild_; }

  // Links a free object as the last child of this object, which is not in a
  // document (free trees, such as hierarchy clones), and takes it off again.
  void adoptFreeChild(Object* child);
  void releaseFreeChild(Object* child);

  // Tags, in order.
  Tag* firstTag() const noexcept { return firstTag_; }
  Tag* findTag(int32_t type, int32_t nr = 0) const noexcept;
  // Appends a free tag; ownership passes. Answers the tag.
  Tag* attachTag(std::unique_ptr<Tag> tag);
  // Takes a tag off; the caller owns it.
  std::unique_ptr<Tag> detachTag(Tag* tag);

  // Matrices (local relative to the parent; global = parent global x local).
  const KhMatrix& localMatrix() const noexcept { return local_; }
  void setLocalMatrix(const KhMatrix& m);
  KhMatrix globalMatrix() const noexcept;

  // Modes: kind 0 editor, 1 render, 2 deform.
  int32_t mode(int32_t kind) const noexcept;
  void setMode(int32_t kind, int32_t value) noexcept;
  bool deformEnabled() const noexcept { return mode(KH_MODE_KIND_DEFORM) != kModeOff; }

  // Change state.
  // Inline: the spline entries ask for it on every deformed point.
  uint32_t dirtyCounter(int32_t flags) const noexcept {
    uint32_t sum = 0;
    if (flags & KH_DIRTY_MATRIX) sum += change_.matrix;
    if (flags & KH_DIRTY_DATA) sum += change_.data;
    return sum;
  }
  bool changedSinceEvaluation(int32_t flags) const noexcept;
  void markChanged(int32_t flags) noexcept;
  void markEvaluated() noexcept;

  // Points of a point object (the spline's own points for splines). Outside an
  // evaluation write them through setPoints, so the change is seen and kept.
  std::vector<Vector>& points() noexcept { return isSpline() ? spline_.points : polygonPoints_; }
  const std::vector<Vector>& points() const noexcept {
    return isSpline() ? spline_.points : polygonPoints_;
  }
  void setPoints(std::vector<Vector> pts);
  const std::vector<kurvo::geo::Polygon>& polygons() const noexcept { return polygons_; }
  // Polygons to change in place. While the object keeps a rest state, the
  // rest shares the polygons until they change (deformers move points, and
  // a 10^6-point mesh's polygons are 16 MB): this takes the rest's own copy
  // first.
  std::vector<kurvo::geo::Polygon>& writablePolygons() {
    keepRestPolygons();
    polygonStamp_ = nextChangeStamp();
    return polygons_;
  }
  // Moves on whenever the polygons may have changed (set, handed out for
  // writing, given back from the rest state), unique among all objects: a
  // caller that kept a copy of them knows it is still right while it holds.
  uint32_t polygonStamp() const noexcept { return polygonStamp_; }
  void setPolygons(std::vector<kurvo::geo::Polygon> polys);
  // Hands over the current points and frees the polygons and the rest
  // state, for a caller that is this document's last user (a final export
  // that copies the polygons first): the object is left with no geometry.
  std::vector<Vector> takeGeometry();

  // Spline shape (spline objects). The closed flag lives in parameter 1002.
  kurvo::geo::Spline& spline() noexcept { return spline_; }
  const kurvo::geo::Spline& spline() const noexcept { return spline_; }
  void setSplineShape(kurvo::geo::Interpolation interpolation, std::vector<int32_t> segments);
  // The spline form: the object itself for a spline, a generated spline for a
  // primitive (owned here), else null.
  Object* realSpline();
  kurvo::geo::ArcLengthTable& arcLength() noexcept { return arcLength_; }
  // Runs at the same time may read one path: its lazily made parts (the
  // length table, a primitive's generated spline) are made under this lock.
  // The table counts its users; the first builds it, the last ends its use.
  std::mutex& sharedUseLock() noexcept { return sharedUseLock_; }
  int32_t& lengthUsers() noexcept { return lengthUsers_; }

  // Bounding box centre and half size in the object's own coordinates.
  KhVector boxCenter() const noexcept;
  KhVector boxHalfSize() const noexcept;
  void refreshBox() noexcept;

  int32_t message(int32_t type, void* data) override;
  // Update messages (5) the object received, so that a caller can tell
  // whether a plug-in reported changed points.
  uint32_t updateMessages() const noexcept { return updateMessages_; }

  // Deformation bookkeeping of the evaluation loop.
  void keepRestState();
  void restoreRestState();
  void dropRestState();
  bool hasRestState() const noexcept { return hasRest_; }
  // The object's own points and polygons, as they were before the deformers
  // of the last evaluation ran (the current ones when none ran).
  const std::vector<Vector>& restPoints() const noexcept { return hasRest_ ? restPoints_ : points(); }
  const std::vector<kurvo::geo::Polygon>& restPolygons() const noexcept {
    return hasRest_ && restPolygonsKept_ ? restPolygons_ : polygons_;
  }
  std::vector<uint64_t> appliedDeformers;  // serials and modes at the last run

  // A copy of the object without children and tags; null when a plug-in copy
  // cannot be made.
  std::unique_ptr<Object> cloneAlone() const;

  // Array generator bookkeeping (array.h).
  ObjectRole role() const noexcept { return role_; }
  void setRole(ObjectRole role) noexcept { role_ = role; }
  // Made by an array: a copy or one of its deformers.
  bool isGenerated() const noexcept {
    return role_ == ObjectRole::arrayCopy || role_ == ObjectRole::arrayCopyDeformer;
  }
  // The polygon object an array copies: a template, neither deformed, drawn
  // nor exported itself.
  bool isArraySource() const noexcept;
  // The array's record of its copies (arrays only; made on first use).
  ArrayCopies& arrayCopies();

 private:
  std::mutex sharedUseLock_;
  int32_t lengthUsers_ = 0;
  explicit Object(int32_t type);
  void dataChanged() noexcept override;

  friend class Document;
  Object* parent_ = nullptr;
  Object* firstChild_ = nullptr;
  Object* lastChild_ = nullptr;
  Tag* firstTag_ = nullptr;
  Tag* lastTag_ = nullptr;

  KhMatrix local_{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  int32_t modes_[3] = {kModeUndefined, kModeUndefined, kModeUndefined};
  ChangeState change_;

  std::vector<Vector> polygonPoints_;
  std::vector<kurvo::geo::Polygon> polygons_;
  uint32_t polygonStamp_ = 0;
  kurvo::geo::Spline spline_;
  kurvo::geo::ArcLengthTable arcLength_;
  std::unique_ptr<Object> generated_;  // a primitive's spline
  uint32_t generatedStamp_ = 0;
  Vector boxMin_, boxMax_;
  uint32_t updateMessages_ = 0;

  ObjectRole role_ = ObjectRole::plain;
  std::unique_ptr<ArrayCopies> arrayCopies_;

  void keepRestPolygons();
  bool hasRest_ = false;
  std::vector<Vector> restPoints_;
  // The rest's polygons are polygons_ itself until writablePolygons() is
  // asked for; from then on they are this copy.
  bool restPolygonsKept_ = false;
  std::vector<kurvo::geo::Polygon> restPolygons_;
};

// Handle conversions. nodeFrom answers null for null and dead handles.
inline KhNode* toHandle(Node* n) noexcept { return n ? n->handle() : nullptr; }
inline KhObject* toObjectHandle(Object* o) noexcept {
  return o ? reinterpret_cast<KhObject*>(static_cast<Node*>(o)) : nullptr;
}
inline Node* nodeFrom(const KhNode* h) noexcept {
  auto* n = reinterpret_cast<Node*>(const_cast<KhNode*>(h));
  return n && n->alive() ? n : nullptr;
}
inline Object* objectFrom(const KhObject* h) noexcept {
  Node* n = nodeFrom(reinterpret_cast<const KhNode*>(h));
  return n && n->isObject() ? static_cast<Object*>(n) : nullptr;
}
inline Object* objectFrom(const KhNode* h) noexcept {
  Node* n = nodeFrom(h);
  return n && n->isObject() ? static_cast<Object*>(n) : nullptr;
}

uint32_t nextChangeStamp() noexcept;

}  // namespace kurvo::host
