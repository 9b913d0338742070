#include "node.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>

#include "array.h"
#include "core/host_state.h"
#include "core/memory.h"
#include "document.h"
#include "core/task_pool.h"
#include "spline_primitives.h"

namespace kurvo::host {
namespace {

std::atomic<uint64_t> g_serial{0};
std::atomic<uint32_t> g_stamp{0};

const RegisteredPlugin* findRegistered(int32_t pluginType, int32_t id) {
  HostState* host = currentHost();
  return host ? host->registry.find(pluginType, id) : nullptr;
}

std::string defaultName(int32_t type) {
  switch (type) {
    case KH_TYPE_POLYGON: return "Polygon";
    case KH_TYPE_SPLINE: return "Spline";
    case KH_TYPE_NULL: return "Null";
    case KH_TYPE_VERTEXMAP: return "Vertex Map";
    case kTypeLinePrimitive: return "Line";
    case kTypeCirclePrimitive: return "Circle";
    case kTypeArcPrimitive: return "Arc";
    case kTypeRectanglePrimitive: return "Rectangle";
    case kTypeHelixPrimitive: return "Helix";
    case kTypeArray: return "Array";
    default: return "Object";
  }
}

}  // namespace

uint32_t nextChangeStamp() noexcept {
  uint32_t s = g_stamp.fetch_add(1, std::memory_order_relaxed) + 1;
  return s;
}

// ---------------------------------------------------------------- Node

Node::Node(Kind kind, int32_t type)
    : kind_(kind), type_(type), serial_(g_serial.fetch_add(1) + 1), name_(defaultName(type)),
      container_(std::make_unique<Container>(type)) {
  container_->observer = this;
}

Node::~Node() {
  if (data_ && plugin_) {
    const KhNodePlugin* record = nodeRecord();
    // The module's node goes: its Free operation, its destructor, its memory.
    if (record->free) record->free(data_, handle());
    if (record->destructor) record->destructor(data_);
    Memory::release(data_);
    data_ = nullptr;
  }
  container_->observer = nullptr;
  magic_ = 0;
}

const KhNodePlugin* Node::nodeRecord() const noexcept {
  return plugin_ ? plugin_->as<KhNodePlugin>() : nullptr;
}

bool Node::attachPlugin(const RegisteredPlugin* plugin) {
  plugin_ = plugin;
  name_ = plugin->name;
  const KhNodePlugin* record = nodeRecord();
  if (!record->alloc) return false;
  data_ = record->alloc();
  if (!data_) return false;
  if (record->init && !record->init(data_, handle())) return false;
  return true;
}

int32_t Node::message(int32_t type, void* data) {
  const KhNodePlugin* record = nodeRecord();
  if (record && data_ && record->message) return record->message(data_, handle(), type, data);
  return 1;
}

void Node::containerChanged() noexcept { dataChanged(); }

// ---------------------------------------------------------------- Tag

std::unique_ptr<Tag> Tag::create(int32_t type) {
  if (type == KH_TYPE_VERTEXMAP) return std::unique_ptr<Tag>(new Tag(type));
  const RegisteredPlugin* plugin = findRegistered(KH_PLUGINTYPE_TAG, type);
  if (!plugin || !Memory::admit()) return nullptr;
  std::unique_ptr<Tag> tag(new Tag(type));
  if (!tag->attachPlugin(plugin)) return nullptr;
  return tag;
}

std::unique_ptr<Tag> Tag::clone() const {
  std::unique_ptr<Tag> copy = create(type());
  if (!copy) return nullptr;
  copy->parameters() = parameters();
  copy->weights = weights;
  const KhNodePlugin* record = nodeRecord();
  if (record && record->copy_to && pluginData() && copy->pluginData()) {
    if (!record->copy_to(pluginData(), copy->pluginData(), const_cast<Tag*>(this)->handle(), copy->handle(), 0,
                         nullptr))
      return nullptr;
  }
  return copy;
}

// ---------------------------------------------------------------- Object

Object::Object(int32_t type) : Node(Kind::Object, type) {
  change_.matrix = nextChangeStamp();
  change_.data = nextChangeStamp();
  polygonStamp_ = nextChangeStamp();
  if (type == KH_TYPE_SPLINE) parameters().setBool(kSplineClosed, false);
}

std::unique_ptr<Object> Object::create(int32_t type) {
  switch (type) {
    case KH_TYPE_POLYGON:
    case KH_TYPE_SPLINE:
    case KH_TYPE_NULL:
    case kTypeLinePrimitive:
    case kTypeCirclePrimitive:
    case kTypeArcPrimitive:
    case kTypeRectanglePrimitive:
    case kTypeHelixPrimitive: {
      if (!Memory::admit()) return nullptr;
      std::unique_ptr<Object> o(new Object(type));
      // Primitives start with a usable size.
      Container& c = o->parameters();
      if (type == kTypeLinePrimitive) c.setReal(kPrimLength, 100.0f);
      if (type == kTypeCirclePrimitive || type == kTypeArcPrimitive || type == kTypeHelixPrimitive)
        c.setReal(kPrimRadius, 100.0f);
      if (type == kTypeArcPrimitive) {
        c.setReal(kPrimStartAngle, 0.0f);
        c.setReal(kPrimEndAngle, 1.5707964f);
      }
      if (type == kTypeRectanglePrimitive) {
        c.setReal(kPrimWidth, 200.0f);
        c.setReal(kPrimHeight, 200.0f);
      }
      if (type == kTypeHelixPrimitive) {
        c.setReal(kPrimEndRadius, 100.0f);
        c.setReal(kPrimHeight, 200.0f);
        c.setReal(kPrimTurns, 2.0f);
        c.setLong(kPrimSubdivision, 16);
      }
      return o;
    }
    case kTypeArray: {
      if (!Memory::admit()) return nullptr;
      std::unique_ptr<Object> o(new Object(type));
      Container& c = o->parameters();
      const ArraySettings defaults;
      c.setLong(kArrayCount, defaults.count);
      c.setLong(kArrayFit, defaults.fit);
      c.setReal(kArraySpacing, defaults.spacing);
      c.setLong(kArraySpacingMode, defaults.spacingMode);
      c.setReal(kArrayOffset, defaults.offset);
      c.setLong(kArrayAxis, defaults.axis);
      return o;
    }
    default: {
      const RegisteredPlugin* plugin = findRegistered(KH_PLUGINTYPE_OBJECT, type);
      if (!plugin || !Memory::admit()) return nullptr;
      std::unique_ptr<Object> o(new Object(type));
      if (!o->attachPlugin(plugin)) return nullptr;
      return o;
    }
  }
}

Object::~Object() {
  // Children and tags go first, while this object still exists for them.
  while (firstChild_) {
    Object* child = firstChild_;
    firstChild_ = child->nextObject();
    delete child;
  }
  while (firstTag_) {
    Tag* tag = firstTag_;
    firstTag_ = static_cast<Tag*>(tag->next_);
    delete tag;
  }
}

bool Object::isArraySource() const noexcept {
  return parent_ && parent_->isArray() && isPolygon() && arraySourceOf(*parent_) == this;
}

ArrayCopies& Object::arrayCopies() {
  if (!arrayCopies_) arrayCopies_ = std::make_unique<ArrayCopies>();
  return *arrayCopies_;
}

bool Object::isPrimitive() const noexcept {
  return type() >= kTypeLinePrimitive && type() <= kTypeHelixPrimitive;
}

const KhObjectPlugin* Object::objectRecord() const noexcept {
  return plugin() && plugin()->type == KH_PLUGINTYPE_OBJECT ? plugin()->as<KhObjectPlugin>() : nullptr;
}

bool Object::isDeformer() const noexcept {
  const KhObjectPlugin* record = objectRecord();
  return record && (record->node.info & 1) != 0;
}

void Object::adoptFreeChild(Object* child) {
  if (!child || child->parent_ || child->document_ || document_) return;
  child->parent_ = this;
  child->prev_ = lastChild_;
  child->next_ = nullptr;
  if (lastChild_)
    lastChild_->next_ = child;
  else
    firstChild_ = child;
  lastChild_ = child;
  markChanged(KH_DIRTY_DATA);
}

void Object::releaseFreeChild(Object* child) {
  if (!child || child->parent_ != this || document_) return;
  if (child->prev_)
    child->prev_->next_ = child->next_;
  else
    firstChild_ = child->nextObject();
  if (child->next_)
    child->next_->prev_ = child->prev_;
  else
    lastChild_ = static_cast<Object*>(child->prev_);
  child->next_ = child->prev_ = nullptr;
  child->parent_ = nullptr;
  markChanged(KH_DIRTY_DATA);
}

Tag* Object::findTag(int32_t type, int32_t nr) const noexcept {
  for (Tag* t = firstTag_; t; t = static_cast<Tag*>(t->next_))
    if (t->type() == type && nr-- == 0) return t;
  return nullptr;
}

Tag* Object::attachTag(std::unique_ptr<Tag> tag) {
  Tag* t = tag.release();
  t->owner_ = this;
  t->prev_ = lastTag_;
  t->next_ = nullptr;
  if (lastTag_)
    lastTag_->next_ = t;
  else
    firstTag_ = t;
  lastTag_ = t;
  if (document_) document_->adopt(t);
  markChanged(KH_DIRTY_DATA);
  return t;
}

std::unique_ptr<Tag> Object::detachTag(Tag* tag) {
  if (!tag || tag->owner_ != this) return nullptr;
  if (tag->prev_)
    tag->prev_->next_ = tag->next_;
  else
    firstTag_ = static_cast<Tag*>(tag->next_);
  if (tag->next_)
    tag->next_->prev_ = tag->prev_;
  else
    lastTag_ = static_cast<Tag*>(tag->prev_);
  tag->next_ = tag->prev_ = nullptr;
  tag->owner_ = nullptr;
  if (document_) document_->release(tag);
  markChanged(KH_DIRTY_DATA);
  return std::unique_ptr<Tag>(tag);
}

void Object::setLocalMatrix(const KhMatrix& m) {
  local_ = m;
  markChanged(KH_DIRTY_MATRIX);
}

namespace {
KhMatrix multiply(const KhMatrix& a, const KhMatrix& b) {
  auto dir = [&](const KhVector& v) {
    return KhVector{a.v1.x * v.x + a.v2.x * v.y + a.v3.x * v.z, a.v1.y * v.x + a.v2.y * v.y + a.v3.y * v.z,
                    a.v1.z * v.x + a.v2.z * v.y + a.v3.z * v.z};
  };
  KhMatrix r;
  const KhVector o = dir(b.off);
  r.off = {a.off.x + o.x, a.off.y + o.y, a.off.z + o.z};
  r.v1 = dir(b.v1);
  r.v2 = dir(b.v2);
  r.v3 = dir(b.v3);
  return r;
}
}  // namespace

KhMatrix Object::globalMatrix() const noexcept {
  KhMatrix m = local_;
  for (const Object* p = parent_; p; p = p->parent_) m = multiply(p->local_, m);
  return m;
}

int32_t Object::mode(int32_t kind) const noexcept {
  return kind >= 0 && kind < 3 ? modes_[kind] : kModeUndefined;
}

void Object::setMode(int32_t kind, int32_t value) noexcept {
  if (kind < 0 || kind >= 3 || value < 0 || value > 2) return;
  if (modes_[kind] == value) return;
  modes_[kind] = value;
  markChanged(KH_DIRTY_DATA);
}

bool Object::changedSinceEvaluation(int32_t flags) const noexcept {
  return ((flags & KH_DIRTY_MATRIX) && change_.matrix != change_.evaluatedMatrix) ||
         ((flags & KH_DIRTY_DATA) && change_.data != change_.evaluatedData);
}

void Object::markChanged(int32_t flags) noexcept {
  if (flags & KH_DIRTY_MATRIX) change_.matrix = nextChangeStamp();
  if (flags & KH_DIRTY_DATA) change_.data = nextChangeStamp();
}

void Object::markEvaluated() noexcept {
  change_.evaluatedMatrix = change_.matrix;
  change_.evaluatedData = change_.data;
}

void Object::dataChanged() noexcept {
  markChanged(KH_DIRTY_DATA);
  if (isSpline()) {
    spline_.closed = parameters().getBool(kSplineClosed, false);
    const int32_t interp = parameters().getLong(kSplineInterpolation, 0);
    spline_.interpolation = interp == 1   ? kurvo::geo::Interpolation::Cubic
                            : interp == 2 ? kurvo::geo::Interpolation::Bezier
                                          : kurvo::geo::Interpolation::Linear;
  }
}

void Object::setPoints(std::vector<Vector> pts) {
  points() = std::move(pts);
  if (hasRest_) restPoints_ = points();
  refreshBox();
  markChanged(KH_DIRTY_DATA);
}

void Object::setPolygons(std::vector<kurvo::geo::Polygon> polys) {
  polygons_ = std::move(polys);
  polygonStamp_ = nextChangeStamp();
  // The new polygons are the rest's too.
  restPolygonsKept_ = false;
  restPolygons_.clear();
  markChanged(KH_DIRTY_DATA);
}

std::vector<Vector> Object::takeGeometry() {
  std::vector<Vector> taken = std::move(points());
  points() = {};
  std::vector<kurvo::geo::Polygon>().swap(polygons_);
  polygonStamp_ = nextChangeStamp();
  std::vector<kurvo::geo::Polygon>().swap(restPolygons_);
  std::vector<Vector>().swap(restPoints_);
  hasRest_ = false;
  restPolygonsKept_ = false;
  markChanged(KH_DIRTY_DATA);
  return taken;
}

void Object::setSplineShape(kurvo::geo::Interpolation interpolation, std::vector<int32_t> segments) {
  spline_.segments = std::move(segments);
  parameters().setLong(kSplineInterpolation, static_cast<int32_t>(interpolation));
}

Object* Object::realSpline() {
  if (isSpline()) return this;
  if (!isPrimitive()) return nullptr;
  std::lock_guard guard(sharedUseLock_);
  const uint32_t stamp = change_.data;
  if (generated_ && generatedStamp_ == stamp) return generated_.get();
  const Container& c = parameters();
  kurvo::geo::Spline shape;
  switch (type()) {
    case kTypeLinePrimitive: shape = kurvo::geo::MakeLine(c.getReal(kPrimLength, 100.0f)); break;
    case kTypeCirclePrimitive: shape = kurvo::geo::MakeCircle(c.getReal(kPrimRadius, 100.0f)); break;
    case kTypeArcPrimitive:
      shape = kurvo::geo::MakeArc(c.getReal(kPrimRadius, 100.0f), c.getReal(kPrimStartAngle, 0.0f),
                                  c.getReal(kPrimEndAngle, 1.5707964f));
      break;
    case kTypeRectanglePrimitive:
      shape = kurvo::geo::MakeRectangle(c.getReal(kPrimWidth, 200.0f), c.getReal(kPrimHeight, 200.0f));
      break;
    default:
      shape = kurvo::geo::MakeHelix(c.getReal(kPrimRadius, 100.0f), c.getReal(kPrimEndRadius, 100.0f),
                                    c.getReal(kPrimHeight, 200.0f), c.getReal(kPrimTurns, 2.0f),
                                    c.getLong(kPrimSubdivision, 16));
      break;
  }
  if (!generated_) generated_.reset(new Object(KH_TYPE_SPLINE));
  Object& g = *generated_;
  g.parameters().setBool(kSplineClosed, shape.closed);
  g.parameters().setLong(kSplineInterpolation, static_cast<int32_t>(shape.interpolation));
  g.spline_ = std::move(shape);
  g.arcLength_.Clear();
  g.refreshBox();
  generatedStamp_ = stamp;
  return generated_.get();
}

KhVector Object::boxCenter() const noexcept {
  const Vector c = (boxMin_ + boxMax_) * 0.5f;
  return ToKh(c);
}

KhVector Object::boxHalfSize() const noexcept {
  const Vector h = (boxMax_ - boxMin_) * 0.5f;
  return ToKh(h);
}

namespace {

// The box of points [begin, end): four running boxes over every fourth
// point, merged at the end, so that the comparisons of neighbouring points
// do not wait for each other. (Only a zero's sign may come from another
// point than in a one-by-one walk.)
void boxOf(const Vector* pts, size_t begin, size_t end, Vector& boxMin, Vector& boxMax) noexcept {
  // Four points are twelve floats, three vectors of four: one running
  // minimum and maximum per float. Written in the compiler's vector types
  // because it does not find this layout on its own; each lane compares as
  // std::min and std::max do.
  typedef float Lanes __attribute__((vector_size(16)));
  const float* f = &pts[0].x;
  Lanes lo[3], hi[3];
  for (int k = 0; k < 3; ++k)
    for (int j = 0; j < 4; ++j) lo[k][j] = hi[k][j] = f[begin * 3 + (4 * k + j) % 3];
  size_t i = begin;
  for (; i + 4 <= end; i += 4)
    for (int k = 0; k < 3; ++k) {
      Lanes v;
      std::memcpy(&v, f + i * 3 + 4 * k, sizeof v);
      lo[k] = v < lo[k] ? v : lo[k];
      hi[k] = hi[k] < v ? v : hi[k];
    }
  float l[3] = {lo[0][0], lo[0][1], lo[0][2]}, h[3] = {hi[0][0], hi[0][1], hi[0][2]};
  for (int j = 3; j < 12; ++j) {
    l[j % 3] = std::min(l[j % 3], lo[j / 4][j % 4]);
    h[j % 3] = std::max(h[j % 3], hi[j / 4][j % 4]);
  }
  for (; i < end; ++i)
    for (int c = 0; c < 3; ++c) {
      l[c] = std::min(l[c], f[i * 3 + c]);
      h[c] = std::max(h[c], f[i * 3 + c]);
    }
  boxMin = Vector(l[0], l[1], l[2]);
  boxMax = Vector(h[0], h[1], h[2]);
}

// Large objects are boxed in fixed chunks on the task pool and the chunks
// merged in order, so the box does not depend on the number of threads.
constexpr size_t kBoxChunk = 1 << 17;

struct ChunkedBox {
  const Vector* pts;
  size_t count;
  std::vector<Vector> lo, hi;
  static void KH_CALL body(void* self, int32_t chunk) {
    auto* b = static_cast<ChunkedBox*>(self);
    const size_t begin = static_cast<size_t>(chunk) * kBoxChunk;
    boxOf(b->pts, begin, std::min(b->count, begin + kBoxChunk), b->lo[static_cast<size_t>(chunk)],
          b->hi[static_cast<size_t>(chunk)]);
  }
};

}  // namespace

void Object::refreshBox() noexcept {
  const std::vector<Vector>& pts = points();
  if (pts.empty() || !isPointObject()) {
    boxMin_ = boxMax_ = Vector();
    return;
  }
  const size_t chunks = (pts.size() + kBoxChunk - 1) / kBoxChunk;
  if (chunks < 2) return boxOf(pts.data(), 0, pts.size(), boxMin_, boxMax_);
  try {
    ChunkedBox box{pts.data(), pts.size(), std::vector<Vector>(chunks), std::vector<Vector>(chunks)};
    TaskPool::shared().run(static_cast<int32_t>(chunks), &ChunkedBox::body, &box);
    Vector lo = box.lo[0], hi = box.hi[0];
    for (size_t c = 1; c < chunks; ++c) {
      lo = Vector(std::min(lo.x, box.lo[c].x), std::min(lo.y, box.lo[c].y), std::min(lo.z, box.lo[c].z));
      hi = Vector(std::max(hi.x, box.hi[c].x), std::max(hi.y, box.hi[c].y), std::max(hi.z, box.hi[c].z));
    }
    boxMin_ = lo;
    boxMax_ = hi;
  } catch (const std::bad_alloc&) {
    boxOf(pts.data(), 0, pts.size(), boxMin_, boxMax_);
  }
}

int32_t Object::message(int32_t type, void* data) {
  // The update message: the points changed, so the box follows them.
  if (type == KH_MSG_UPDATE) {
    ++updateMessages_;
    refreshBox();
  }
  return Node::message(type, data);
}

void Object::keepRestState() {
  if (hasRest_) return;
  restPoints_ = points();
  restPolygonsKept_ = false;  // shared with polygons_ until they change
  hasRest_ = true;
}

void Object::keepRestPolygons() {
  if (!hasRest_ || restPolygonsKept_) return;
  restPolygons_ = polygons_;
  restPolygonsKept_ = true;
}

void Object::restoreRestState() {
  if (!hasRest_) return;
  points().assign(restPoints_.begin(), restPoints_.end());
  if (restPolygonsKept_) {
    polygons_.assign(restPolygons_.begin(), restPolygons_.end());
    polygonStamp_ = nextChangeStamp();
  }
  refreshBox();
}

void Object::dropRestState() {
  if (!hasRest_) return;
  restoreRestState();
  hasRest_ = false;
  restPoints_.clear();
  restPolygonsKept_ = false;
  restPolygons_.clear();
}

std::unique_ptr<Object> Object::cloneAlone() const {
  std::unique_ptr<Object> copy = create(type());
  if (!copy) return nullptr;
  copy->parameters() = parameters();
  copy->setName(name());
  copy->local_ = local_;
  std::copy(std::begin(modes_), std::end(modes_), std::begin(copy->modes_));
  copy->polygonPoints_ = polygonPoints_;
  copy->polygons_ = polygons_;
  copy->polygonStamp_ = nextChangeStamp();
  copy->spline_ = spline_;
  copy->refreshBox();
  const KhNodePlugin* record = nodeRecord();
  if (record && record->copy_to && pluginData() && copy->pluginData()) {
    if (!record->copy_to(pluginData(), copy->pluginData(), const_cast<Object*>(this)->handle(),
                         copy->handle(), 0, nullptr))
      return nullptr;
  }
  return copy;
}

}  // namespace kurvo::host
