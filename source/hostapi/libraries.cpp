// Host libraries: look-up with a per-library cache, and the wrappers of the
// description, icon, gradient, spline-curve and spline-help services.
#include "host_libraries.h"

#include "bitmap.h"
#include "families.h"
#include "general.h"

namespace {
// One cached record per library. Every writer stores the same pointer from the
// host registry, so concurrent first uses only race to store equal values.
std::atomic<HostLibrary*> lib_description{nullptr};
std::atomic<HostLibrary*> lib_icon{nullptr};
std::atomic<HostLibrary*> lib_gradient{nullptr};
std::atomic<HostLibrary*> lib_SplineControl{nullptr};
std::atomic<HostLibrary*> splinehelplib_cache{nullptr};

// The library record of type Lib when it holds `member`, else null.
template <typename Lib>
const Lib* Library(int32 id, std::atomic<HostLibrary*>& cache, int32 offset) {
  return reinterpret_cast<const Lib*>(CheckLib(id, offset, cache));
}


const KhDescriptionLib* DescriptionLib(int32 offset) {
  return Library<KhDescriptionLib>(KH_LIB_DESCRIPTION, lib_description, offset);
}
const KhGradientLib* GradientLib(int32 offset) {
  return Library<KhGradientLib>(KH_LIB_GRADIENT, lib_gradient, offset);
}
const KhSplineDataLib* CurveLib(int32 offset) {
  return Library<KhSplineDataLib>(KH_LIB_SPLINEDATA, lib_SplineControl, offset);
}
const KhSplineHelpLib* HelpLib(int32 offset) {
  return reinterpret_cast<const KhSplineHelpLib*>(CheckSplineHelpLib(offset));
}
}  // namespace

HostLibrary* CheckLib(int32 id, int32 offset, std::atomic<HostLibrary*>& cache) noexcept {
  HostLibrary* lib = cache.load(std::memory_order_acquire);
  if (!lib) {
    const KhGeneralFamily& general = family::General();
    KhRegistry* entry = general.registry_find(id, KH_REGISTRYTYPE_LIBRARY);
    if (!entry) return nullptr;
    lib = static_cast<HostLibrary*>(general.registry_get_data(entry));
    if (!lib) return nullptr;
    cache.store(lib, std::memory_order_release);
  }
  // A record from an older host may end before the entry the caller needs.
  if (lib->size < offset) return nullptr;
  return lib;
}

HostLibrary* CheckSplineHelpLib(int32 offset) noexcept {
  return CheckLib(KH_LIB_SPLINEHELP, offset, splinehelplib_cache);
}

Bool InstallLibrary(int32 id, HostLibrary* library, int32 version, int32 size) {
  if (!library) return false;
  library->version = version;
  library->size = size;
  return family::General().registry_add(id, KH_REGISTRYTYPE_LIBRARY, library);
}

// Descriptions and icons.

Bool RegisterDescription(int32 id, const String& name, LocalResource* res) {
  const auto* lib = DescriptionLib(KH_LIB_OFFSET(KhDescriptionLib, register_description));
  if (!lib || !lib->register_description) return false;
  return lib->register_description(id, name.Kh(), res ? res : resource.GetHandle());
}

const DescLevel fallbacklevel{0, 0, 0};

const DescLevel* DescID::operator[](int32 depth) const {
  const auto* lib = DescriptionLib(KH_LIB_OFFSET(KhDescriptionLib, get_level));
  if (!lib || !lib->get_level) return &fallbacklevel;
  const DescLevel* level = lib->get_level(Kh(), depth);
  return level ? level : &fallbacklevel;
}

int32 DescID::GetDepth() const {
  const auto* lib = DescriptionLib(KH_LIB_OFFSET(KhDescriptionLib, get_depth));
  if (!lib || !lib->get_depth) return 0;
  return lib->get_depth(Kh());
}

// The icon library answers a truth value; a missing one answers false.
Bool RegisterIcon(int32 id, BaseBitmap* bmp, int32 x, int32 y, int32 w, int32 h, int32 flags) {
  const auto* lib = Library<KhIconLib>(KH_LIB_ICON, lib_icon, KH_LIB_OFFSET(KhIconLib, register_icon));
  if (!lib || !lib->register_icon) return false;
  return lib->register_icon(id, bmp ? bmp->Kh() : nullptr, x, y, w, h, flags);
}

// Spline curves.

Vector SplineData::GetPoint(Real x) const {
  Vector v;
  const auto* lib = CurveLib(KH_LIB_OFFSET(KhSplineDataLib, get_point));
  if (lib && lib->get_point) lib->get_point(Kh(), x, AsKh(&v));
  return v;
}

CurveEvaluator SplineData::Evaluator() const {
  const auto* lib = CurveLib(KH_LIB_OFFSET(KhSplineDataLib, get_point));
  if (!lib || !lib->get_point) return CurveEvaluator();
  const auto* many = CurveLib(KH_LIB_OFFSET(KhSplineDataLib, get_values));
  return CurveEvaluator(Kh(), lib->get_point, many ? many->get_values : nullptr);
}

Bool SplineData::MakeLinearSpline(int32 count) {
  const auto* lib = CurveLib(KH_LIB_OFFSET(KhSplineDataLib, make_linear_spline));
  if (!lib || !lib->make_linear_spline) return false;
  return lib->make_linear_spline(Kh(), count);
}

void SplineData::SetRound(Real r) {
  const auto* lib = CurveLib(KH_LIB_OFFSET(KhSplineDataLib, set_round));
  if (lib && lib->set_round) lib->set_round(Kh(), r);
}

int32 SplineData::InsertKnot(Real x, Real y, int32 flags) {
  const auto* lib = CurveLib(KH_LIB_OFFSET(KhSplineDataLib, insert_knot));
  if (!lib || !lib->insert_knot) return -1;
  return lib->insert_knot(Kh(), x, y, flags);
}

int32 SplineData::GetKnotCount() const {
  const auto* lib = CurveLib(KH_LIB_OFFSET(KhSplineDataLib, get_knot_count));
  if (!lib || !lib->get_knot_count) return 0;
  return lib->get_knot_count(Kh());
}

// Gradients.

Gradient* Gradient::Alloc() {
  const auto* lib = GradientLib(KH_LIB_OFFSET(KhGradientLib, alloc));
  if (!lib || !lib->alloc) return nullptr;
  return static_cast<Gradient*>(CustomDataType::From(lib->alloc()));
}

void Gradient::Free(Gradient*& gradient) {
  const auto* lib = GradientLib(KH_LIB_OFFSET(KhGradientLib, free));
  if (gradient && lib && lib->free) lib->free(gradient->Kh());
  gradient = nullptr;
}

int32 Gradient::InsertKnot(const GradientKnot& knot) {
  const auto* lib = GradientLib(KH_LIB_OFFSET(KhGradientLib, insert_knot));
  if (!lib || !lib->insert_knot) return -1;
  return lib->insert_knot(Kh(), reinterpret_cast<const KhGradientKnot*>(&knot));
}

Bool Gradient::InitRender() {
  const auto* lib = GradientLib(KH_LIB_OFFSET(KhGradientLib, init_render));
  if (!lib || !lib->init_render) return false;
  return lib->init_render(Kh());
}

void Gradient::FreeRender() {
  const auto* lib = GradientLib(KH_LIB_OFFSET(KhGradientLib, free_render));
  if (lib && lib->free_render) lib->free_render(Kh());
}

Vector Gradient::CalcGradientPixel(Real x) const {
  Vector colour;
  const auto* lib = GradientLib(KH_LIB_OFFSET(KhGradientLib, calc_pixel));
  if (lib && lib->calc_pixel) lib->calc_pixel(Kh(), x, AsKh(&colour));
  return colour;
}

const GradientKnot* Gradient::GetRenderKnot(int32 index) const {
  const auto* lib = GradientLib(KH_LIB_OFFSET(KhGradientLib, get_render_knot));
  if (!lib || !lib->get_render_knot) return nullptr;
  return reinterpret_cast<const GradientKnot*>(lib->get_render_knot(Kh(), index));
}

int32 Gradient::GetKnotCount() const {
  const auto* lib = GradientLib(KH_LIB_OFFSET(KhGradientLib, get_knot_count));
  if (!lib || !lib->get_knot_count) return 0;
  return lib->get_knot_count(Kh());
}

// Spline help.

SplineHelp* SplineHelp::Alloc() {
  const auto* lib = HelpLib(KH_LIB_OFFSET(KhSplineHelpLib, alloc));
  if (!lib || !lib->alloc) return nullptr;
  return static_cast<SplineHelp*>(lib->alloc());
}

void SplineHelp::Free(SplineHelp*& sh) {
  const auto* lib = HelpLib(KH_LIB_OFFSET(KhSplineHelpLib, free));
  if (sh && lib && lib->free) lib->free(sh);
  sh = nullptr;
}

void SplineHelp::FreeSpline() {
  const auto* lib = HelpLib(KH_LIB_OFFSET(KhSplineHelpLib, free_spline));
  if (lib && lib->free_spline) lib->free_spline(this);
}
