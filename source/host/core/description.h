// A node type's parameter description as read from res/description/<NAME>.json
// (see docs/resource-format.md). Parsing is strict: unknown keys, wrong types
// and duplicate IDs or symbols are errors naming the file and the field.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "kh_types.h"

namespace kurvo::host {

enum class ParamType { Long, Real, Bool, Vector, Matrix, String, Filename, Link, Spline, Gradient, Separator };

const char* paramTypeName(ParamType t) noexcept;

struct SplineDefault {
  std::vector<std::pair<float, float>> knots;
  bool linear = true;  // interpolation "linear" or "smooth"
};

struct DescParameter {
  int32_t id = 0;
  std::string symbol;
  std::string label;
  ParamType type = ParamType::Separator;
  // Default by kind; at most one is set, matching `type`.
  std::optional<double> defaultNumber;  // long, real, bool (0/1)
  std::optional<KhVector> defaultVector;
  std::optional<std::string> defaultText;  // string, filename
  std::optional<SplineDefault> defaultSpline;
  std::optional<double> min, max, step;
  std::string unit = "none";
  std::vector<std::pair<int32_t, std::string>> options;
  std::string gui;
  bool hidden = false;
  bool readout = false;  // written back by the plug-in: shown, not edited
  int32_t groupId = 0;  // the innermost group that holds it
};

struct DescGroup {
  int32_t id = 0;
  std::string symbol;
  std::string label;
  int32_t parentId = 0;  // 0 at top level
};

struct Description {
  std::string name;
  std::filesystem::path file;
  std::vector<DescGroup> groups;          // in file order, parents first
  std::vector<DescParameter> parameters;  // in file order
  const DescParameter* findById(int32_t id) const noexcept;
  const DescParameter* findBySymbol(const std::string& symbol) const noexcept;
};

struct DescriptionResult {
  std::optional<Description> description;
  std::string error;  // "<file>: <field>: <problem>" when description is empty
};

DescriptionResult parseDescriptionFile(const std::filesystem::path& file);
DescriptionResult parseDescriptionText(const std::string& text, const std::filesystem::path& file);

}  // namespace kurvo::host
