// Host objects the module only points to: list nodes, scene objects, splines,
// tags, shaders, documents, threads and editor views. None of these classes has
// data and none is ever constructed: `this` is the host's handle (KhNode,
// KhObject, ...) seen through the wrapper type, and every method forwards to
// the host's table.
#pragma once

#include "api_types.h"
#include "values.h"

class GeListNode {
 public:
  GeListNode() = delete;
  GeListNode(const GeListNode&) = delete;

  GeListNode* GetNext();
  GeListNode* GetPred();
  GeListNode* GetDown();
  GeListNode* GetUp();
  // Sends a message to the node (and its plug-in); answers its truth value.
  Bool Message(int32 type, void* data = nullptr);
  // Node type ID (5100 polygon, 5101 spline, 5140 null, a plug-in ID...).
  int32 GetType() const;
  BaseDocument* GetDocument();
  // Inserts this free node as the last child of parent; ownership passes.
  void InsertUnderLast(GeListNode* parent);
  // Takes the node out of its tree; the caller then owns it.
  void Remove();
  Bool GetBit(int32 mask);
  void SetBit(int32 mask, Bool on = true);

  KhNode* Kh() { return reinterpret_cast<KhNode*>(this); }
  const KhNode* Kh() const { return reinterpret_cast<const KhNode*>(this); }
  static GeListNode* From(KhNode* node) { return reinterpret_cast<GeListNode*>(node); }
};

class BaseList2D : public GeListNode {
 public:
  // The node's own parameter container; writes persist.
  BaseContainer* GetDataInstance();
  // A copy of the parameter container.
  BaseContainer GetData();
  String GetName();
  void SetName(const String& name);

  static BaseList2D* From(KhNode* node) { return reinterpret_cast<BaseList2D*>(node); }
};

class BaseObject : public BaseList2D {
 public:
  // A new free object of `type` (5140 null, 5100 polygon, 5101 spline), or null.
  static BaseObject* Alloc(int32 type);
  // Frees an object the module owns (not inserted anywhere); clears the pointer.
  static void Free(BaseObject*& object);

  BaseObject* GetNext() { return static_cast<BaseObject*>(GeListNode::GetNext()); }
  BaseObject* GetPred() { return static_cast<BaseObject*>(GeListNode::GetPred()); }
  BaseObject* GetDown() { return static_cast<BaseObject*>(GeListNode::GetDown()); }
  BaseObject* GetUp() { return static_cast<BaseObject*>(GeListNode::GetUp()); }

  Matrix GetMg();  // global matrix
  Matrix GetMl();  // local matrix
  // Bounding-box centre and half size in the object's own coordinates.
  Vector GetMp();
  Vector GetRad();

  // Deform mode on (true) or off; forwarded as mode kind 2 of the host's
  // per-object mode setter.
  void SetDeformMode(Bool mode);
  Bool GetDeformMode();

  // Change state for classes `flags` (2 matrix, 4 data): changed since the
  // host's previous evaluation; a counter that changes with every change;
  // a mark that flags the object changed.
  Bool IsDirty(int32 flags);
  uint32 GetDirty(int32 flags);
  void SetDirty(int32 flags);

  // The `nr`-th tag of `type`, or null.
  BaseTag* GetTag(int32 type, int32 nr = 0);
  // The spline form of the object (owned by the host, valid during the call),
  // or null.
  SplineObject* GetRealSpline();

  // Generator support: the host's cache and dependence list of this object.
  Bool CheckCache(HierarchyHelp* hh);
  BaseObject* GetCache(HierarchyHelp* hh);
  void NewDependenceList();
  Bool CompareDependenceList();
  void TouchDependenceList();
  // Clone of `child` for this generator; the caller owns the result.
  BaseObject* GetHierarchyClone(HierarchyHelp* hh, BaseObject* child, int32 flags, Bool* dirty,
                                AliasTrans* trans);
  // Clone of the child hierarchy starting at `first` (and its following
  // siblings when allchildren), or the cached result when nothing changed.
  // *dirty is in-out (null: not reported). The caller owns what is returned.
  BaseObject* GetAndCheckHierarchyClone(HierarchyHelp* hh, BaseObject* first, int32 flags,
                                        Bool* dirty, AliasTrans* trans, Bool allchildren);

  KhObject* KhObj() { return reinterpret_cast<KhObject*>(this); }
  static BaseObject* From(KhObject* op) { return reinterpret_cast<BaseObject*>(op); }
  static BaseObject* From(KhNode* op) { return reinterpret_cast<BaseObject*>(op); }
};

class PointObject : public BaseObject {
 public:
  // Writable point array (null for objects without points) and its count.
  Vector* GetPointW();
  const Vector* GetPointR();
  int32 GetPointCount();
  // Per-point weights that apply to `modifier` (one Real per point), or null.
  // The caller frees the array with _GeFree.
  Real* CalcVertexMap(BaseObject* modifier);
};

class SplineObject;

// The per-position look-ups of one spline (arc-length conversion, point,
// tangent of segment 0 of its own points) with the host's entries read once,
// for loops that evaluate one spline many times: the same answers as
// SplineObject::UniformToNatural, GetSplinePoint and GetSplineTangent, which
// each read the table again. Valid while the spline lives; the length table
// must be prepared (InitLength) for UniformToNatural.
class SplineEvaluator {
 public:
  explicit SplineEvaluator(SplineObject* spline);
  Real UniformToNatural(Real u) const { return toNatural_(spline_, u); }
  void Point(Real t, Vector& out) const { point_(spline_, t, 0, nullptr, reinterpret_cast<KhVector*>(&out)); }
  void Tangent(Real t, Vector& out) const { tangent_(spline_, t, 0, nullptr, reinterpret_cast<KhVector*>(&out)); }
  // For each of `count` fractions u[i]: the point Point(UniformToNatural(u[i]))
  // into px, py, pz and, when tx is not null, the tangent there into tx, ty,
  // tz. One call for all of them when the host answers many positions at once
  // (its spline batch family), else three per position; the bits are the
  // same either way. The arrays must not overlap.
  void UniformPoints(const Real* u, int32 count, Real* px, Real* py, Real* pz, Real* tx, Real* ty, Real* tz) const;
  // True when the host answers many positions in one call.
  bool Batched() const { return batch_ != nullptr; }

 private:
  decltype(KhSplineBatchFamily::uniform_points) batch_;
  KhObject* spline_;
  decltype(KhObjectFamily::uniform_to_natural) toNatural_;
  decltype(KhObjectFamily::spline_point) point_;
  decltype(KhObjectFamily::spline_tangent) tangent_;
};

class SplineObject : public PointObject {
 public:
  // Position and tangent at parameter t in [0, 1] of `segment`; points null
  // means the spline's own points.
  Vector GetSplinePoint(Real t, int32 segment = 0, const Vector* points = nullptr);
  Vector GetSplineTangent(Real t, int32 segment = 0, const Vector* points = nullptr);
  // Arc-length table of one segment, kept until FreeLength.
  Bool InitLength(int32 segment = 0, const Vector* points = nullptr);
  void FreeLength();
  // Spline parameter at arc-length fraction t in [0, 1].
  Real UniformToNatural(Real t);
  // Length of the segment prepared by InitLength.
  Real GetLength();
  // The Boolean parameter 1002 of the spline, default false.
  Bool IsClosed();
};

class BaseTag : public BaseList2D {
 public:
  static BaseTag* From(KhNode* tag) { return reinterpret_cast<BaseTag*>(tag); }
};

class BaseShader : public BaseList2D {
 public:
  static BaseShader* From(KhNode* sh) { return reinterpret_cast<BaseShader*>(sh); }
};

class BaseDocument {
 public:
  BaseDocument() = delete;
  KhDocument* Kh() { return reinterpret_cast<KhDocument*>(this); }
  static BaseDocument* From(KhDocument* doc) { return reinterpret_cast<BaseDocument*>(doc); }
};

class BaseThread {
 public:
  BaseThread() = delete;
  // True when the work running on this thread is to stop.
  Bool TestBreak();
  static BaseThread* From(KhThread* bt) { return reinterpret_cast<BaseThread*>(bt); }
};

class BaseDraw {
 public:
  BaseDraw() = delete;
  // Pen colour (red, green, blue in 0..1) for what follows.
  void SetPen(const Vector& colour);
  // A line between two world-space points.
  void DrawLine(const Vector& a, const Vector& b);
  static BaseDraw* From(KhDraw* bd) { return reinterpret_cast<BaseDraw*>(bd); }
};

class BaseDrawHelp {
 public:
  BaseDrawHelp() = delete;
};

class HierarchyHelp {
 public:
  HierarchyHelp() = delete;
};

class AliasTrans {
 public:
  AliasTrans() = delete;
};

// The scene object a shading sample belongs to, or null.
inline BaseObject* GetVolumeObject(const VolumeData* vd) {
  return vd ? BaseObject::From(vd->object) : nullptr;
}
