#include "nodes.h"

#include "families.h"

using family::ListNode;
using family::Member;
using family::Object;

namespace {
KhObject* Obj(BaseObject* op) { return op ? op->KhObj() : nullptr; }
}  // namespace

// List nodes.

GeListNode* GeListNode::GetNext() { return From(Member().get_next(Kh())); }
GeListNode* GeListNode::GetPred() { return From(Member().get_pred(Kh())); }
GeListNode* GeListNode::GetDown() { return From(Member().get_down(Kh())); }
GeListNode* GeListNode::GetUp() { return From(Member().get_up(Kh())); }
Bool GeListNode::Message(int32 type, void* data) { return Member().message(Kh(), type, data); }
int32 GeListNode::GetType() const { return ListNode().get_type(Kh()); }
BaseDocument* GeListNode::GetDocument() { return BaseDocument::From(ListNode().get_document(Kh())); }
void GeListNode::InsertUnderLast(GeListNode* parent) {
  Member().insert_under_last(Kh(), parent ? parent->Kh() : nullptr);
}
void GeListNode::Remove() { Member().remove(Kh()); }
Bool GeListNode::GetBit(int32 mask) { return Member().get_bit(Kh(), mask); }
void GeListNode::SetBit(int32 mask, Bool on) { Member().set_bit(Kh(), mask, on); }

BaseContainer* BaseList2D::GetDataInstance() { return BaseContainer::From(ListNode().get_container(Kh())); }
BaseContainer BaseList2D::GetData() { return *GetDataInstance(); }

String BaseList2D::GetName() {
  String name(String::Adopt::kTag);
  Member().get_name(Kh(), name.Kh());
  return name;
}

void BaseList2D::SetName(const String& name) { Member().set_name(Kh(), name.Kh()); }

// Scene objects.

BaseObject* BaseObject::Alloc(int32 type) { return From(Object().alloc(type)); }

void BaseObject::Free(BaseObject*& object) {
  if (object) ListNode().free(object->Kh());
  object = nullptr;
}

Matrix BaseObject::GetMg() {
  Matrix m;
  Object().get_mg(KhObj(), AsKh(&m));
  return m;
}

Matrix BaseObject::GetMl() {
  Matrix m;
  Object().get_ml(KhObj(), AsKh(&m));
  return m;
}

Vector BaseObject::GetMp() {
  Vector v;
  Object().get_mp(KhObj(), AsKh(&v));
  return v;
}

Vector BaseObject::GetRad() {
  Vector v;
  Object().get_rad(KhObj(), AsKh(&v));
  return v;
}

void BaseObject::SetDeformMode(Bool mode) { Object().set_mode(KhObj(), KH_MODE_KIND_DEFORM, mode); }
Bool BaseObject::GetDeformMode() { return Object().get_mode(KhObj(), KH_MODE_KIND_DEFORM); }

Bool BaseObject::IsDirty(int32 flags) { return Object().is_dirty(KhObj(), flags); }
uint32 BaseObject::GetDirty(int32 flags) { return Object().get_dirty(KhObj(), flags); }
void BaseObject::SetDirty(int32 flags) { Object().set_dirty(KhObj(), flags); }

BaseTag* BaseObject::GetTag(int32 type, int32 nr) { return BaseTag::From(Object().get_tag(KhObj(), type, nr)); }

SplineObject* BaseObject::GetRealSpline() {
  return reinterpret_cast<SplineObject*>(Object().get_real_spline(KhObj()));
}

Bool BaseObject::CheckCache(HierarchyHelp* hh) {
  return Object().check_cache(KhObj(), reinterpret_cast<KhHierarchyHelp*>(hh));
}
BaseObject* BaseObject::GetCache(HierarchyHelp* hh) {
  return From(Object().get_cache(KhObj(), reinterpret_cast<KhHierarchyHelp*>(hh)));
}
void BaseObject::NewDependenceList() { Object().new_dependence_list(KhObj()); }
Bool BaseObject::CompareDependenceList() { return Object().compare_dependence_list(KhObj()); }
void BaseObject::TouchDependenceList() { Object().touch_dependence_list(KhObj()); }

BaseObject* BaseObject::GetHierarchyClone(HierarchyHelp* hh, BaseObject* child, int32 flags,
                                          Bool* dirty, AliasTrans* trans) {
  return From(Object().get_hierarchy_clone(KhObj(), reinterpret_cast<KhHierarchyHelp*>(hh), Obj(child),
                                           flags, dirty, reinterpret_cast<KhAliasTrans*>(trans)));
}

// Point objects and splines.

Vector* PointObject::GetPointW() { return reinterpret_cast<Vector*>(Object().get_points(KhObj())); }
const Vector* PointObject::GetPointR() { return GetPointW(); }
int32 PointObject::GetPointCount() { return Object().get_point_count(KhObj()); }
Real* PointObject::CalcVertexMap(BaseObject* modifier) {
  return Object().calc_vertex_map(KhObj(), Obj(modifier));
}

Vector SplineObject::GetSplinePoint(Real t, int32 segment, const Vector* points) {
  Vector v;
  Object().spline_point(KhObj(), t, segment, AsKh(points), AsKh(&v));
  return v;
}

Vector SplineObject::GetSplineTangent(Real t, int32 segment, const Vector* points) {
  Vector v;
  Object().spline_tangent(KhObj(), t, segment, AsKh(points), AsKh(&v));
  return v;
}

namespace {
// The batch entry of the host's spline batch family, or null when the host
// has no such family (or one without the entry).
decltype(KhSplineBatchFamily::uniform_points) BatchEntry() {
  const KhSplineBatchFamily* f = t_HostOS->spline_batch;
  if (!f || !f->version || f->version() < 1) return nullptr;
  return f->uniform_points;
}
}  // namespace

void SplineEvaluator::UniformPoints(const Real* u, int32 count, Real* px, Real* py, Real* pz, Real* tx, Real* ty,
                                    Real* tz) const {
  if (batch_) return batch_(spline_, count, u, px, py, pz, tx, ty, tz);
  for (int32 i = 0; i < count; ++i) {
    const Real t = UniformToNatural(u[i]);
    Vector v;
    Point(t, v);
    px[i] = v.x, py[i] = v.y, pz[i] = v.z;
    if (!tx) continue;
    Tangent(t, v);
    tx[i] = v.x, ty[i] = v.y, tz[i] = v.z;
  }
}

SplineEvaluator::SplineEvaluator(SplineObject* spline)
    : batch_(BatchEntry()),
      spline_(spline->KhObj()),
      toNatural_(Object().uniform_to_natural),
      point_(Object().spline_point),
      tangent_(Object().spline_tangent) {}

Bool SplineObject::InitLength(int32 segment, const Vector* points) {
  return Object().init_length(KhObj(), segment, AsKh(points));
}
void SplineObject::FreeLength() { Object().free_length(KhObj()); }
Real SplineObject::UniformToNatural(Real t) { return Object().uniform_to_natural(KhObj(), t); }
Real SplineObject::GetLength() { return Object().get_length(KhObj()); }

// Closedness is the spline's own parameter 1002.
Bool SplineObject::IsClosed() { return GetDataInstance()->GetBool(1002, false); }

// Threads and views.

Bool BaseThread::TestBreak() { return family::Thread().test_break(reinterpret_cast<KhThread*>(this)); }

void BaseDraw::SetPen(const Vector& colour) { family::Draw().set_pen(reinterpret_cast<KhDraw*>(this), AsKh(&colour)); }
void BaseDraw::DrawLine(const Vector& a, const Vector& b) {
  family::Draw().line3d(reinterpret_cast<KhDraw*>(this), AsKh(&a), AsKh(&b));
}
