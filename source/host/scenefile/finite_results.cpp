#include "finite_results.h"

#include <cmath>
#include <optional>
#include <string>

#include "core/host_state.h"
#include "param_json.h"
#include "scene/document.h"
#include "scene/node.h"

namespace kurvo::scenefile {
namespace {

bool finite(const Vector& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

bool finite(const KhMatrix& m) {
  return finite(FromKh(m.off)) && finite(FromKh(m.v1)) && finite(FromKh(m.v2)) && finite(FromKh(m.v3));
}

Vector place(const KhMatrix& m, const Vector& p) {
  return FromKh(m.off) + FromKh(m.v1) * p.x + FromKh(m.v2) * p.y + FromKh(m.v3) * p.z;
}

// The path inside `value` of its first number that is not finite, or nothing.
std::optional<std::string> firstNonFinite(const Json& value, const std::string& path) {
  if (value.is_number_float()) {
    if (!std::isfinite(value.get<double>())) return path;
    return std::nullopt;
  }
  if (value.is_array()) {
    for (size_t i = 0; i < value.size(); ++i)
      if (auto found = firstNonFinite(value[i], indexed(path, i))) return found;
  } else if (value.is_object()) {
    for (auto it = value.begin(); it != value.end(); ++it)
      if (auto found = firstNonFinite(it.value(), member(path, it.key()))) return found;
  }
  return std::nullopt;
}

// The field and problem of the first non-finite result of `o`, or empty.
std::string problemOf(const host::Object& o, const host::Document& document, const host::HostState& host) {
  if (o.isPointObject()) {
    const bool deformed = o.hasRestState() && o.points() != o.restPoints();
    const auto& points = o.points();
    for (size_t i = 0; i < points.size(); ++i)
      if (!finite(points[i]))
        return indexed(deformed ? "deformed_points" : "points", i) +
               ": not a finite number after the evaluation (a value went out of range)";
  }
  auto d = host.descriptions.find(o.type());
  const Json params =
      writeParams(o.parameters(), d == host.descriptions.end() ? nullptr : &d->second, document, nullptr);
  if (auto found = firstNonFinite(params, "params"))
    return *found + ": not a finite number after the evaluation (a value went out of range)";
  const KhMatrix m = o.globalMatrix();
  if (!finite(m)) return "matrix: the placement in the world is not a finite number";
  if (o.isPointObject()) {
    const auto& points = o.points();
    for (size_t i = 0; i < points.size(); ++i)
      if (!finite(place(m, points[i])))
        return indexed(o.hasRestState() && points != o.restPoints() ? "deformed_points" : "points", i) +
               ": placed in the world, it is not a finite number (a position or scale is too large)";
  }
  return {};
}

}  // namespace

kurvo::media::Status checkFiniteResults(const host::Document& document, const host::HostState& host,
                                        const std::filesystem::path& sceneFile) {
  std::string failure;
  document.forEachObject([&](host::Object& o) {
    if (!failure.empty()) return;
    if (std::string problem = problemOf(o, document, host); !problem.empty())
      failure = sceneFile.string() + ": object \"" + o.name() + "\": " + problem;
  });
  if (failure.empty()) return kurvo::media::Status::success();
  return kurvo::media::Status::failure(failure);
}

}  // namespace kurvo::scenefile
