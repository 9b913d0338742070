// Host services reached through library records registered in the host
// registry (type 28) instead of through the table: descriptions, icons,
// gradients, spline curves and spline help. Each library method asks CheckLib
// for its record with the offset just past the entry it needs, so a record
// from an older host that ends before that entry counts as missing; a missing
// library or entry gives the method's neutral result.
#pragma once

#include <atomic>

#include "api_types.h"
#include "values.h"

using HostLibrary = KhLibraryHead;
using BaseCustomGuiLib = KhCustomGuiLib;

// The library registered under `id` when it holds at least `offset` bytes,
// else null. The record is cached in `cache` at the first successful look-up;
// the size test runs on every call.
HostLibrary* CheckLib(int32 id, int32 offset, std::atomic<HostLibrary*>& cache) noexcept;
HostLibrary* CheckSplineHelpLib(int32 offset) noexcept;

// Offset just past entry `member` of library struct `Lib`.
#define KH_LIB_OFFSET(Lib, member) static_cast<int32>(offsetof(Lib, member) + sizeof(void*))

// Adds a library record of the module to the host registry under id; writes
// version and size into its head. The record must live as long as the module.
Bool InstallLibrary(int32 id, HostLibrary* library, int32 version, int32 size);

// Registers description `name` for node type id from `res` (null: the
// module's own resource). False when the description library is missing.
Bool RegisterDescription(int32 id, const String& name, LocalResource* res = nullptr);

// Registers region (x, y, w, h) of bmp as icon id. False when the icon
// library is missing.
Bool RegisterIcon(int32 id, BaseBitmap* bmp, int32 x, int32 y, int32 w, int32 h, int32 flags);

// Base of custom data objects held in GeData values; like the scene objects,
// `this` is the host's KhCustomData handle.
class CustomDataType {
 public:
  CustomDataType() = delete;
  KhCustomData* Kh() { return reinterpret_cast<KhCustomData*>(this); }
  const KhCustomData* Kh() const { return reinterpret_cast<const KhCustomData*>(this); }
  static CustomDataType* From(KhCustomData* d) { return reinterpret_cast<CustomDataType*>(d); }
};

// Spline curve (custom data type 1009060): a function y(x).
// A curve's value look-up with the library resolved once, for loops that
// evaluate one curve many times: the same answers as SplineData::GetPoint(x).y,
// without the library check per call. Valid while the curve and the library
// live; a default one (no curve or no library) answers 0.
class CurveEvaluator {
 public:
  CurveEvaluator() = default;
  using GetPoint = void(KH_CALL*)(const KhCustomData*, float, KhVector*);
  using GetValues = void(KH_CALL*)(const KhCustomData*, int32_t, const float*, float*);
  CurveEvaluator(const KhCustomData* curve, GetPoint getPoint, GetValues getValues = nullptr)
      : curve_(curve), getPoint_(getPoint), getValues_(getPoint ? getValues : nullptr) {}
  bool Valid() const { return getPoint_ != nullptr; }
  Real Y(Real x) const {
    KhVector v{0, 0, 0};
    if (getPoint_) getPoint_(curve_, x, &v);
    return v.y;
  }
  // Y(x[i]) into y[i] for i < count: one call for all of them where the
  // host answers many positions at once, else one per position; the bits
  // are the same either way.
  void Ys(const Real* x, int32 count, Real* y) const {
    if (getValues_) return getValues_(curve_, count, x, y);
    for (int32 i = 0; i < count; ++i) y[i] = Y(x[i]);
  }
  // The same curve asked one position at a time, as on a host without the
  // batched entry.
  CurveEvaluator OneByOne() const { return CurveEvaluator(curve_, getPoint_); }

 private:
  const KhCustomData* curve_ = nullptr;
  GetPoint getPoint_ = nullptr;
  GetValues getValues_ = nullptr;
};

class SplineData : public CustomDataType {
 public:
  // Point of the curve at x; y is the curve's value. Zero without the library.
  Vector GetPoint(Real x) const;
  // The look-up of GetPoint with the library checked now, once.
  CurveEvaluator Evaluator() const;
  // Replaces the knots by `count` knots on a line (-1: none).
  Bool MakeLinearSpline(int32 count);
  void SetRound(Real r);
  // Inserts a knot (flags 1: linear on both sides); its index, or -1.
  int32 InsertKnot(Real x, Real y, int32 flags = 0);
  int32 GetKnotCount() const;
};

// One knot of a colour gradient; same layout as KhGradientKnot.
struct GradientKnot {
  Vector col;       // red, green, blue in 0..1
  Real brightness = 1.0f;
  Real pos = 0.0f;  // 0..1
  Real bias = 0.5f; // 0.5 linear
  int32 index = 0;
};
static_assert(sizeof(GradientKnot) == sizeof(KhGradientKnot));

// Colour gradient (custom data type 1000481).
class Gradient : public CustomDataType {
 public:
  // A new gradient, or null (also without the library).
  static Gradient* Alloc();
  // Frees and clears the pointer (cleared even without the library).
  static void Free(Gradient*& gradient);

  // Its position in the knot list, or -1.
  int32 InsertKnot(const GradientKnot& knot);
  Bool InitRender();
  void FreeRender();
  // Colour at x between InitRender and FreeRender; black without the library.
  Vector CalcGradientPixel(Real x) const;
  const GradientKnot* GetRenderKnot(int32 index) const;
  int32 GetKnotCount() const;
};

class SplineHelp {
 public:
  SplineHelp() = delete;
  static SplineHelp* Alloc();
  static void Free(SplineHelp*& sh);
  void FreeSpline();
};

// A description ID as the host hands it to a node; `this` is the KhDescID.
class DescID {
 public:
  DescID() = delete;
  // The level at `depth`; a level of all zeros when the description library
  // or the level is missing.
  const DescLevel* operator[](int32 depth) const;
  int32 GetDepth() const;

  const KhDescID* Kh() const { return reinterpret_cast<const KhDescID*>(this); }
  static const DescID* From(const KhDescID* id) { return reinterpret_cast<const DescID*>(id); }
  static DescID* From(KhDescID* id) { return reinterpret_cast<DescID*>(id); }
};

// Answered by DescID::operator[] when nothing else can be.
extern const DescLevel fallbacklevel;
