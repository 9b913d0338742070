#include "test_libraries.h"

namespace testlib {
namespace {

KhDescLevel level0{1023, 15, 0};

KhDescriptionLib MakeDescription() {
  KhDescriptionLib lib{};
  lib.register_description = [](int32_t id, const KhStringValue* name, KhResource* res) -> int32_t {
    DescriptionCalls& calls = description_calls();
    calls.ids.push_back(id);
    calls.names.push_back(fake::Text(name));
    calls.resources.push_back(res);
    return !calls.fail;
  };
  lib.get_level = [](const KhDescID*, int32_t depth) -> const KhDescLevel* { return depth == 0 ? &level0 : nullptr; };
  lib.get_depth = [](const KhDescID*) -> int32_t { return 1; };
  return lib;
}

KhSplineDataLib MakeCurves() {
  KhSplineDataLib lib{};
  lib.get_point = [](const KhCustomData*, float x, KhVector* out) { *out = KhVector{x, 0.5f, 0}; };
  lib.make_linear_spline = [](KhCustomData*, int32_t) -> int32_t { return 1; };
  lib.set_round = [](KhCustomData*, float) {};
  lib.insert_knot = [](KhCustomData* sd, float, float, int32_t) -> int32_t {
    return (*reinterpret_cast<int32_t*>(sd))++;
  };
  lib.get_knot_count = [](const KhCustomData* sd) -> int32_t { return *reinterpret_cast<const int32_t*>(sd); };
  return lib;
}

KhGradientLib MakeGradients() {
  KhGradientLib lib{};
  lib.alloc = []() -> KhCustomData* { return reinterpret_cast<KhCustomData*>(new int32_t(0)); };
  lib.free = [](KhCustomData* g) { delete reinterpret_cast<int32_t*>(g); };
  lib.insert_knot = [](KhCustomData* g, const KhGradientKnot*) -> int32_t { return (*reinterpret_cast<int32_t*>(g))++; };
  lib.init_render = [](KhCustomData*) -> int32_t { return 1; };
  lib.free_render = [](KhCustomData*) {};
  lib.calc_pixel = [](const KhCustomData*, float x, KhVector* out) { *out = KhVector{x, x, x}; };
  lib.get_render_knot = [](const KhCustomData*, int32_t) -> const KhGradientKnot* { return nullptr; };
  lib.get_knot_count = [](const KhCustomData* g) -> int32_t { return *reinterpret_cast<const int32_t*>(g); };
  return lib;
}

}  // namespace

DescriptionCalls& description_calls() {
  static DescriptionCalls calls;
  return calls;
}

KhDescriptionLib& Description() {
  static KhDescriptionLib lib = MakeDescription();
  return lib;
}
KhSplineDataLib& Curves() {
  static KhSplineDataLib lib = MakeCurves();
  return lib;
}
KhGradientLib& Gradients() {
  static KhGradientLib lib = MakeGradients();
  return lib;
}

void InstallAll() {
  Description() = MakeDescription();
  Description().head = KhLibraryHead{1, static_cast<int32_t>(sizeof(KhDescriptionLib))};
  Curves() = MakeCurves();
  Curves().head = KhLibraryHead{1, static_cast<int32_t>(sizeof(KhSplineDataLib))};
  Gradients() = MakeGradients();
  Gradients().head = KhLibraryHead{1, static_cast<int32_t>(sizeof(KhGradientLib))};
  description_calls() = DescriptionCalls();
  auto& registry = fake::state().registry;
  registry[KH_LIB_DESCRIPTION] = &Description();
  registry[KH_LIB_SPLINEDATA] = &Curves();
  registry[KH_LIB_GRADIENT] = &Gradients();
}

}  // namespace testlib
