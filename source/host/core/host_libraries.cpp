#include "host_libraries.h"

#include <algorithm>

#include "bitmap.h"
#include "boundary.h"
#include "custom_types.h"
#include "desc_id.h"
#include "host_state.h"
#include "memory.h"
#include "resource.h"
#include "text_value.h"

namespace kurvo::host {
namespace {

template <class T>
void setHead(T& lib) {
  lib.head.version = 1;
  lib.head.size = static_cast<int32_t>(sizeof(T));
}

// --- descriptions (1000467) ---

int32_t KH_CALL registerDescription(int32_t id, const KhStringValue* name, KhResource* res) {
  return guarded<int32_t>(0, [&]() -> int32_t {
    HostState* host = currentHost();
    Resource* resource = resourceFrom(res);
    const std::string& n = textOf(name);
    if (!host || !resource || n.empty()) return 0;
    // The name becomes a file name: refuse anything that leaves the directory.
    if (n.find('/') != std::string::npos || n.find('\\') != std::string::npos || n == "." || n == "..")
      return 0;
    auto result = parseDescriptionFile(resource->directory() / "description" / (n + ".json"));
    if (!result.description) {
      host->addDiagnostic(result.error);
      return 0;
    }
    host->descriptions[id] = std::move(*result.description);
    return 1;
  });
}

const KhDescLevel* KH_CALL getLevel(const KhDescID* id, int32_t depth) {
  const DescId* d = descIdFrom(id);
  if (!d || depth < 0 || static_cast<size_t>(depth) >= d->levels.size()) return nullptr;
  return &d->levels[static_cast<size_t>(depth)];
}

int32_t KH_CALL getDepth(const KhDescID* id) {
  const DescId* d = descIdFrom(id);
  return d ? static_cast<int32_t>(d->levels.size()) : 0;
}

// --- icons (1009310) ---

int32_t KH_CALL registerIcon(int32_t id, KhBitmap* bmp, int32_t x, int32_t y, int32_t w, int32_t h,
                             int32_t) {
  return guarded<int32_t>(0, [&]() -> int32_t {
    HostState* host = currentHost();
    const Bitmap* b = bitmapFrom(bmp);
    if (!host || !b || w <= 0 || h <= 0 || x < 0 || y < 0) return 0;
    if (static_cast<int64_t>(x) + w > b->width() || static_cast<int64_t>(y) + h > b->height()) return 0;
    IconCopy icon;
    icon.width = w;
    icon.height = h;
    icon.rgba.resize(static_cast<size_t>(w) * static_cast<size_t>(h) * 4);
    for (int32_t row = 0; row < h; ++row)
      for (int32_t col = 0; col < w; ++col)
        b->get(x + col, y + row, &icon.rgba[(static_cast<size_t>(row) * w + col) * 4]);
    host->icons[id] = std::move(icon);
    return 1;
  });
}

// --- gradients (1000480) ---

KhCustomData* KH_CALL gradientAlloc() {
  return guarded<KhCustomData*>(nullptr, []() -> KhCustomData* {
    if (!Memory::admit()) return nullptr;
    LiveHandles::added();
    return toHandle(new GradientData());
  });
}
void KH_CALL gradientFree(KhCustomData* g) {
  if (auto* d = customAs<GradientData>(g)) {
    delete d;
    LiveHandles::removed();
  }
}
int32_t KH_CALL gradientInsertKnot(KhCustomData* g, const KhGradientKnot* knot) {
  return guarded<int32_t>(-1, [&]() -> int32_t {
    auto* d = customAs<GradientData>(g);
    if (!d || !knot) return -1;
    kurvo::geo::GradientKnot k;
    k.col = FromKh(knot->col);
    k.brightness = knot->brightness;
    k.pos = knot->pos;
    k.bias = knot->bias;
    k.index = knot->index;
    return d->gradient.InsertKnot(k);
  });
}
int32_t KH_CALL gradientInitRender(KhCustomData* g) {
  return guarded<int32_t>(0, [&] {
    auto* d = customAs<GradientData>(g);
    return d && d->gradient.InitRender() ? 1 : 0;
  });
}
void KH_CALL gradientFreeRender(KhCustomData* g) {
  if (auto* d = customAs<GradientData>(g)) d->gradient.FreeRender();
}
void KH_CALL gradientCalcPixel(const KhCustomData* g, float x, KhVector* out) {
  if (!out) return;
  const auto* d = customAs<GradientData>(g);
  *out = d ? ToKh(d->gradient.CalcGradientPixel(x)) : KhVector{0, 0, 0};
}
const KhGradientKnot* KH_CALL gradientGetRenderKnot(const KhCustomData* g, int32_t index) {
  static_assert(sizeof(kurvo::geo::GradientKnot) == sizeof(KhGradientKnot));
  static_assert(offsetof(kurvo::geo::GradientKnot, col) == offsetof(KhGradientKnot, col));
  static_assert(offsetof(kurvo::geo::GradientKnot, brightness) == offsetof(KhGradientKnot, brightness));
  static_assert(offsetof(kurvo::geo::GradientKnot, pos) == offsetof(KhGradientKnot, pos));
  static_assert(offsetof(kurvo::geo::GradientKnot, bias) == offsetof(KhGradientKnot, bias));
  static_assert(offsetof(kurvo::geo::GradientKnot, index) == offsetof(KhGradientKnot, index));
  const auto* d = customAs<GradientData>(g);
  const kurvo::geo::GradientKnot* k = d ? d->gradient.GetRenderKnot(index) : nullptr;
  return reinterpret_cast<const KhGradientKnot*>(k);
}
int32_t KH_CALL gradientKnotCount(const KhCustomData* g) {
  const auto* d = customAs<GradientData>(g);
  return d ? d->gradient.KnotCount() : 0;
}

// --- spline curves (1009059) ---

void KH_CALL curveGetPoint(const KhCustomData* sd, float x, KhVector* out) {
  if (!out) return;
  const auto* d = customAs<CurveData>(sd);
  *out = d ? ToKh(d->curve.GetPoint(x)) : KhVector{0, 0, 0};
}
int32_t KH_CALL curveMakeLinear(KhCustomData* sd, int32_t count) {
  return guarded<int32_t>(0, [&] {
    auto* d = customAs<CurveData>(sd);
    return d && d->curve.MakeLinear(count) ? 1 : 0;
  });
}
void KH_CALL curveSetRound(KhCustomData* sd, float r) {
  if (auto* d = customAs<CurveData>(sd)) d->curve.SetRound(r);
}
int32_t KH_CALL curveInsertKnot(KhCustomData* sd, float x, float y, int32_t flags) {
  return guarded<int32_t>(-1, [&] {
    auto* d = customAs<CurveData>(sd);
    return d ? d->curve.InsertKnot(x, y, flags) : -1;
  });
}
// Many positions at once: the same evaluation as curveGetPoint for each, with
// the record found once (a flat curve is then a fill).
void KH_CALL curveGetValues(const KhCustomData* sd, int32_t count, const float* x, float* y) {
  if (count <= 0 || !x || !y) return;
  const auto* d = customAs<CurveData>(sd);
  if (!d) {
    std::fill(y, y + count, 0.0f);
    return;
  }
  const kurvo::geo::Curve& curve = d->curve;
  curve.EvaluateMany(x, count, y);
}
int32_t KH_CALL curveKnotCount(const KhCustomData* sd) {
  const auto* d = customAs<CurveData>(sd);
  return d ? d->curve.KnotCount() : 0;
}

// --- spline help (1019534): the module only allocates and frees it ---

struct SplineHelp {
  static constexpr uint32_t kMagic = 0x53504C48;  // 'SPLH'
  uint32_t magic = kMagic;
};

void* KH_CALL splineHelpAlloc() {
  return guarded<void*>(nullptr, []() -> void* {
    if (!Memory::admit()) return nullptr;
    LiveHandles::added();
    return new SplineHelp();
  });
}
void KH_CALL splineHelpFree(void* sh) {
  auto* h = static_cast<SplineHelp*>(sh);
  if (h && h->magic == SplineHelp::kMagic) {
    h->magic = 0;
    delete h;
    LiveHandles::removed();
  }
}
void KH_CALL splineHelpFreeSpline(void*) {}

struct Libraries {
  KhDescriptionLib description{};
  KhIconLib icon{};
  KhGradientLib gradient{};
  KhSplineDataLib splineData{};
  KhSplineHelpLib splineHelp{};

  Libraries() {
    setHead(description);
    description.register_description = registerDescription;
    description.get_level = getLevel;
    description.get_depth = getDepth;
    setHead(icon);
    icon.register_icon = registerIcon;
    setHead(gradient);
    gradient.alloc = gradientAlloc;
    gradient.free = gradientFree;
    gradient.insert_knot = gradientInsertKnot;
    gradient.init_render = gradientInitRender;
    gradient.free_render = gradientFreeRender;
    gradient.calc_pixel = gradientCalcPixel;
    gradient.get_render_knot = gradientGetRenderKnot;
    gradient.get_knot_count = gradientKnotCount;
    setHead(splineData);
    splineData.get_point = curveGetPoint;
    splineData.make_linear_spline = curveMakeLinear;
    splineData.set_round = curveSetRound;
    splineData.insert_knot = curveInsertKnot;
    splineData.get_knot_count = curveKnotCount;
    splineData.get_values = curveGetValues;
    setHead(splineHelp);
    splineHelp.alloc = splineHelpAlloc;
    splineHelp.free = splineHelpFree;
    splineHelp.free_spline = splineHelpFreeSpline;
  }
};

Libraries& libraries() {
  static Libraries libs;
  return libs;
}

}  // namespace

bool installHostLibraries(PluginRegistry& registry) {
  Libraries& libs = libraries();
  bool ok = true;
  ok &= registry.registryAdd(KH_LIB_DESCRIPTION, KH_REGISTRYTYPE_LIBRARY, &libs.description);
  ok &= registry.registryAdd(KH_LIB_ICON, KH_REGISTRYTYPE_LIBRARY, &libs.icon);
  ok &= registry.registryAdd(KH_LIB_GRADIENT, KH_REGISTRYTYPE_LIBRARY, &libs.gradient);
  ok &= registry.registryAdd(KH_LIB_SPLINEDATA, KH_REGISTRYTYPE_LIBRARY, &libs.splineData);
  ok &= registry.registryAdd(KH_LIB_SPLINEHELP, KH_REGISTRYTYPE_LIBRARY, &libs.splineHelp);
  return ok;
}

}  // namespace kurvo::host
