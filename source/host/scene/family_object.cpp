// Scene objects (family 18), many spline positions at once (41), threads (20)
// and editor drawing (28).
//
// The spline entries (spline_point, spline_tangent, uniform_to_natural,
// get_length) run once or more per deformed point: they only read the
// object's spline and its arc-length table, and neither allocate nor lock.
// While a length table is in use (init_length to free_length), point and
// tangent come from the table's flat per-span polynomials.
#include <algorithm>
#include <cstring>
#include <mutex>

#include "core/boundary.h"
#include "core/families.h"
#include "core/memory.h"
#include "document.h"

namespace kurvo::host {
namespace {

const KhMatrix kIdentity{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};

KhObject* KH_CALL alloc(int32_t type) {
  return guarded<KhObject*>(nullptr, [&] { return toObjectHandle(Object::create(type).release()); });
}
void KH_CALL setMode(KhObject* op, int32_t kind, int32_t mode) {
  if (Object* o = objectFrom(op)) o->setMode(kind, mode);
}
int32_t KH_CALL getMode(KhObject* op, int32_t kind) {
  Object* o = objectFrom(op);
  return o ? o->mode(kind) : kModeUndefined;
}
int32_t KH_CALL isDirty(KhObject* op, int32_t flags) {
  Object* o = objectFrom(op);
  return o && o->changedSinceEvaluation(flags) ? 1 : 0;
}
uint32_t KH_CALL getDirty(KhObject* op, int32_t flags) {
  Object* o = objectFrom(op);
  return o ? o->dirtyCounter(flags) : 0;
}
void KH_CALL setDirty(KhObject* op, int32_t flags) {
  if (Object* o = objectFrom(op)) o->markChanged(flags);
}
void KH_CALL getMg(KhObject* op, KhMatrix* out) {
  if (!out) return;
  Object* o = objectFrom(op);
  *out = o ? o->globalMatrix() : kIdentity;
}
void KH_CALL getMl(KhObject* op, KhMatrix* out) {
  if (!out) return;
  Object* o = objectFrom(op);
  *out = o ? o->localMatrix() : kIdentity;
}

// Plug-in objects report their own box through get_dimension.
void dimension(Object* o, KhVector* mp, KhVector* rad) {
  *mp = *rad = KhVector{0, 0, 0};
  if (!o) return;
  const KhObjectPlugin* record = o->objectRecord();
  if (record) {
    if (record->get_dimension && o->pluginData())
      record->get_dimension(o->pluginData(), toObjectHandle(o), mp, rad);
    return;
  }
  *mp = o->boxCenter();
  *rad = o->boxHalfSize();
}
void KH_CALL getMp(KhObject* op, KhVector* out) {
  if (!out) return;
  KhVector rad;
  guardedVoid([&] { dimension(objectFrom(op), out, &rad); });
}
void KH_CALL getRad(KhObject* op, KhVector* out) {
  if (!out) return;
  KhVector mp;
  guardedVoid([&] { dimension(objectFrom(op), &mp, out); });
}

KhVector* KH_CALL getPoints(KhObject* op) {
  Object* o = objectFrom(op);
  if (!o || !o->isPointObject() || o->points().empty()) return nullptr;
  static_assert(sizeof(Vector) == sizeof(KhVector));
  return reinterpret_cast<KhVector*>(o->points().data());
}
int32_t KH_CALL getPointCount(KhObject* op) {
  Object* o = objectFrom(op);
  return o && o->isPointObject() ? static_cast<int32_t>(o->points().size()) : 0;
}
KhNode* KH_CALL getTag(KhObject* op, int32_t type, int32_t nr) {
  Object* o = objectFrom(op);
  return o ? toHandle(o->findTag(type, nr)) : nullptr;
}

// The first vertex-map tag's weights, one per point (missing ones read 0),
// in a new block from the general allocator.
float* KH_CALL calcVertexMap(KhObject* op, KhObject*) {
  Object* o = objectFrom(op);
  if (!o || !o->isPointObject()) return nullptr;
  const Tag* map = o->findTag(KH_TYPE_VERTEXMAP, 0);
  const size_t count = o->points().size();
  if (!map || count == 0) return nullptr;
  auto* weights = static_cast<float*>(Memory::alloc(static_cast<int64_t>(count * sizeof(float))));
  if (!weights) return nullptr;
  const size_t n = std::min(count, map->weights.size());
  if (n) std::memcpy(weights, map->weights.data(), n * sizeof(float));
  return weights;
}

KhObject* KH_CALL getRealSpline(KhObject* op) {
  return guarded<KhObject*>(nullptr, [&]() -> KhObject* {
    Object* o = objectFrom(op);
    return o ? toObjectHandle(o->realSpline()) : nullptr;
  });
}

Object* splineFrom(KhObject* sp) {
  Object* o = objectFrom(sp);
  return o && o->isSpline() ? o : nullptr;
}

// The flat evaluator of the segment whose length table is in use, when a
// call asks for that segment of the spline's own points and the spline has
// not been edited since the table was built; else null (evaluate the live
// spline).
const kurvo::geo::SpanTable* preparedSpans(Object& o, int32_t segment, const KhVector* points) {
  const kurvo::geo::ArcLengthTable& table = o.arcLength();
  const kurvo::geo::SpanTable* spans = table.Spans();
  if (!spans || points || segment < 0 || table.source.segment != segment ||
      table.source.stamp != o.dirtyCounter(KH_DIRTY_DATA))
    return nullptr;
  return spans;
}

// The roads off the per-point path stay out of line, so that the fast one
// needs no stack of its own.
[[gnu::noinline]] void livePoint(Object* o, float t, int32_t segment, const KhVector* points, KhVector* out) {
  if (!o) {
    *out = KhVector{0, 0, 0};
    return;
  }
  const auto view = kurvo::geo::MakeSegmentView(o->spline(), segment, reinterpret_cast<const Vector*>(points));
  *out = ToKh(kurvo::geo::SplinePoint(view, t));
}
[[gnu::noinline]] void liveTangent(Object* o, float t, int32_t segment, const KhVector* points, KhVector* out) {
  if (!o) {
    *out = KhVector{0, 0, 0};
    return;
  }
  const auto view = kurvo::geo::MakeSegmentView(o->spline(), segment, reinterpret_cast<const Vector*>(points));
  *out = ToKh(kurvo::geo::SplineTangent(view, t));
}
// Stationary points take the careful road, on the table's copy.
[[gnu::noinline]] void stationaryTangent(Object* o, float t, KhVector* out) {
  *out = ToKh(kurvo::geo::SplineTangent(o->arcLength().Shape(), t));
}

void KH_CALL splinePoint(KhObject* sp, float t, int32_t segment, const KhVector* points, KhVector* out) {
  if (!out) return;
  Object* o = splineFrom(sp);
  const kurvo::geo::SpanTable* spans = o ? preparedSpans(*o, segment, points) : nullptr;
  if (!spans) return livePoint(o, t, segment, points, out);
  *out = ToKh(spans->Point(t));
}
void KH_CALL splineTangent(KhObject* sp, float t, int32_t segment, const KhVector* points, KhVector* out) {
  if (!out) return;
  Object* o = splineFrom(sp);
  const kurvo::geo::SpanTable* spans = o ? preparedSpans(*o, segment, points) : nullptr;
  if (!spans) return liveTangent(o, t, segment, points, out);
  Vector tangent;
  if (!spans->Tangent(t, tangent)) return stationaryTangent(o, t, out);
  *out = ToKh(tangent);
}
// Family 41: many fractions of one spline at once. On a prepared table the
// block goes through the table's conversion and the flat evaluator side by
// side; points whose tangent the evaluator declines take the careful road one
// by one, as the per-position entry does. Without a prepared table every
// fraction takes the per-position roads.
int32_t KH_CALL splineBatchVersion() { return KH_SPLINE_BATCH_VERSION; }

void KH_CALL uniformPoints(KhObject* sp, int32_t count, const float* u, float* px, float* py, float* pz, float* tx,
                           float* ty, float* tz) {
  Object* o = splineFrom(sp);
  if (!o || count <= 0 || !u || !px || !py || !pz) return;
  const bool tangents = tx && ty && tz;
  const kurvo::geo::ArcLengthTable& table = o->arcLength();
  const kurvo::geo::SpanTable* spans = preparedSpans(*o, 0, nullptr);
  if (!spans) {
    for (int32_t i = 0; i < count; ++i) {
      const float t = table.UniformToNatural(u[i]);
      KhVector v;
      livePoint(o, t, 0, nullptr, &v);
      px[i] = v.x, py[i] = v.y, pz[i] = v.z;
      if (!tangents) continue;
      liveTangent(o, t, 0, nullptr, &v);
      tx[i] = v.x, ty[i] = v.y, tz[i] = v.z;
    }
    return;
  }
  constexpr int32_t kBlock = kurvo::geo::SpanTable::kManyBlock;
  static_assert(kBlock <= kurvo::geo::ArcLengthTable::kManyBlock);
  alignas(16) float natural[kBlock];
  bool declined[kBlock];
  for (int32_t first = 0; first < count; first += kBlock) {
    const int32_t n = std::min(kBlock, count - first);
    table.UniformToNaturalMany(u + first, natural, n);
    spans->EvaluateMany(natural, n, px + first, py + first, pz + first, tangents ? tx + first : nullptr,
                        ty + first, tz + first, declined);
    if (!tangents) continue;
    for (int32_t i = 0; i < n; ++i) {
      if (!declined[i]) continue;
      KhVector v;
      stationaryTangent(o, natural[i], &v);
      tx[first + i] = v.x, ty[first + i] = v.y, tz[first + i] = v.z;
    }
  }
}

// An unchanged segment keeps its table from the previous build (see
// ArcLengthTable), so a run over a path that did not move costs a comparison.
//
// Runs at the same time may share a path (the evaluation loop never changes
// a path while others read it): a run that finds the table in use for the
// same shape joins it without touching it, and the table's use ends with its
// last user.
int32_t KH_CALL initLength(KhObject* sp, int32_t segment, const KhVector* points) {
  return guarded<int32_t>(0, [&]() -> int32_t {
    Object* o = splineFrom(sp);
    if (!o) return 0;
    const auto view =
        kurvo::geo::MakeSegmentView(o->spline(), segment, reinterpret_cast<const Vector*>(points));
    std::lock_guard guard(o->sharedUseLock());
    kurvo::geo::ArcLengthTable& table = o->arcLength();
    const int32_t source = points ? -1 : segment;
    const uint32_t stamp = o->dirtyCounter(KH_DIRTY_DATA);
    if (o->lengthUsers() > 0 && table.InUseFor(view) && table.source.segment == source &&
        table.source.stamp == stamp) {
      ++o->lengthUsers();
      return 1;
    }
    if (!table.Build(view)) return 0;
    // Only a table of the spline's own points stands in for the live spline
    // (segment -1: none).
    table.source.segment = source;
    table.source.stamp = stamp;
    ++o->lengthUsers();
    return 1;
  });
}
void KH_CALL freeLength(KhObject* sp) {
  Object* o = splineFrom(sp);
  if (!o) return;
  std::lock_guard guard(o->sharedUseLock());
  if (o->lengthUsers() > 0) --o->lengthUsers();
  if (o->lengthUsers() == 0) o->arcLength().Release();
}
float KH_CALL uniformToNatural(KhObject* sp, float u) {
  Object* o = splineFrom(sp);
  return o ? o->arcLength().UniformToNatural(u) : 0.0f;
}
float KH_CALL getLength(KhObject* sp) {
  Object* o = splineFrom(sp);
  return o ? o->arcLength().Length() : 0.0f;
}

// Generator caches: this host keeps none, so every check asks for a rebuild
// and every dependence list counts as changed.
int32_t KH_CALL checkCache(KhObject*, KhHierarchyHelp*) { return 1; }
KhObject* KH_CALL getCache(KhObject*, KhHierarchyHelp*) { return nullptr; }
void KH_CALL newDependenceList(KhObject*) {}
int32_t KH_CALL compareDependenceList(KhObject*) { return 0; }
void KH_CALL touchDependenceList(KhObject*) {}
KhObject* KH_CALL getHierarchyClone(KhObject*, KhHierarchyHelp*, KhObject* child, int32_t,
                                    int32_t* dirty, KhAliasTrans*) {
  return guarded<KhObject*>(nullptr, [&]() -> KhObject* {
    Object* c = objectFrom(child);
    if (!c) return nullptr;
    if (dirty) *dirty = 1;
    return toObjectHandle(c->cloneAlone().release());
  });
}

int32_t KH_CALL testBreak(KhThread* thread) {
  BreakThread* t = threadFrom(thread);
  return t && t->testBreak() ? 1 : 0;
}

void KH_CALL setPen(KhDraw* bd, const KhVector* colour) {
  guardedVoid([&] {
    DrawRecorder* d = drawFrom(bd);
    if (!d || !colour) return;
    d->pen = *colour;
    d->pens.push_back(*colour);
  });
}
void KH_CALL line3d(KhDraw* bd, const KhVector* a, const KhVector* b) {
  guardedVoid([&] {
    DrawRecorder* d = drawFrom(bd);
    if (d && a && b) d->lines.push_back({*a, *b, d->pen});
  });
}

}  // namespace

const KhObjectFamily* objectFamily() noexcept {
  static const KhObjectFamily family = [] {
    KhObjectFamily f{};
    f.alloc = alloc;
    f.set_mode = setMode;
    f.get_mode = getMode;
    f.is_dirty = isDirty;
    f.get_dirty = getDirty;
    f.set_dirty = setDirty;
    f.get_mg = getMg;
    f.get_ml = getMl;
    f.get_mp = getMp;
    f.get_rad = getRad;
    f.get_points = getPoints;
    f.get_point_count = getPointCount;
    f.get_tag = getTag;
    f.calc_vertex_map = calcVertexMap;
    f.get_real_spline = getRealSpline;
    f.spline_point = splinePoint;
    f.spline_tangent = splineTangent;
    f.init_length = initLength;
    f.free_length = freeLength;
    f.uniform_to_natural = uniformToNatural;
    f.get_length = getLength;
    f.check_cache = checkCache;
    f.get_cache = getCache;
    f.new_dependence_list = newDependenceList;
    f.compare_dependence_list = compareDependenceList;
    f.touch_dependence_list = touchDependenceList;
    f.get_hierarchy_clone = getHierarchyClone;
    return f;
  }();
  return &family;
}

const KhSplineBatchFamily* splineBatchFamily() noexcept {
  static const KhSplineBatchFamily family = [] {
    KhSplineBatchFamily f{};
    f.version = splineBatchVersion;
    f.uniform_points = uniformPoints;
    return f;
  }();
  return &family;
}

const KhThreadFamily* threadFamily() noexcept {
  static const KhThreadFamily family = [] {
    KhThreadFamily f{};
    f.test_break = testBreak;
    return f;
  }();
  return &family;
}

const KhDrawFamily* drawFamily() noexcept {
  static const KhDrawFamily family = [] {
    KhDrawFamily f{};
    f.set_pen = setPen;
    f.line3d = line3d;
    return f;
  }();
  return &family;
}

}  // namespace kurvo::host
