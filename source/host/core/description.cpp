#include "description.h"

#include <cmath>
#include <fstream>
#include <set>
#include <sstream>

#include <nlohmann/json.hpp>

namespace kurvo::host {
namespace {

using json = nlohmann::json;

// A failure while walking the document: carries the field path.
struct FieldError {
  std::string field;
  std::string problem;
};

class Reader {
 public:
  explicit Reader(const std::filesystem::path& file) : file_(file) {}

  Description read(const json& root) {
    Description d;
    d.file = file_;
    requireObject(root, "");
    allowOnly(root, "", {"format", "version", "name", "groups"});
    if (text(root, "", "format", true) != "kurvo-description")
      fail("format", "expected \"kurvo-description\"");
    if (integer(root, "", "version", true) != 1) fail("version", "expected 1");
    d.name = text(root, "", "name", true);
    if (d.name.empty()) fail("name", "must not be empty");
    const json* groups = member(root, "groups");
    if (!groups) fail("groups", "missing");
    readGroups(*groups, "groups", 0, d);
    return d;
  }

 private:
  [[noreturn]] void fail(const std::string& field, const std::string& problem) {
    throw FieldError{field, problem};
  }

  static std::string join(const std::string& path, const std::string& key) {
    return path.empty() ? key : path + "." + key;
  }

  void requireObject(const json& j, const std::string& path) {
    if (!j.is_object()) fail(path.empty() ? "(top level)" : path, "expected an object");
  }

  void allowOnly(const json& j, const std::string& path, std::initializer_list<const char*> keys) {
    for (auto it = j.begin(); it != j.end(); ++it) {
      bool known = false;
      for (const char* k : keys) known = known || it.key() == k;
      if (!known) fail(join(path, it.key()), "unknown key");
    }
  }

  static const json* member(const json& j, const char* key) {
    auto it = j.find(key);
    return it == j.end() ? nullptr : &*it;
  }

  std::string text(const json& j, const std::string& path, const char* key, bool required) {
    const json* v = member(j, key);
    if (!v) {
      if (required) fail(join(path, key), "missing");
      return {};
    }
    if (!v->is_string()) fail(join(path, key), "expected a string");
    return v->get<std::string>();
  }

  int64_t integer(const json& j, const std::string& path, const char* key, bool required) {
    const json* v = member(j, key);
    if (!v) {
      if (required) fail(join(path, key), "missing");
      return 0;
    }
    return asInt32(*v, join(path, key));
  }

  int32_t asInt32(const json& v, const std::string& field) {
    if (!v.is_number_integer()) fail(field, "expected an integer");
    const int64_t n = v.get<int64_t>();
    if (n < INT32_MIN || n > INT32_MAX) fail(field, "out of the signed 32-bit range");
    return static_cast<int32_t>(n);
  }

  double number(const json& v, const std::string& field) {
    if (!v.is_number()) fail(field, "expected a number");
    const double x = v.get<double>();
    if (!std::isfinite(x)) fail(field, "expected a finite number");
    return x;
  }

  void readGroups(const json& groups, const std::string& path, int32_t parentId, Description& d) {
    if (!groups.is_array()) fail(path, "expected an array");
    for (size_t i = 0; i < groups.size(); ++i) {
      const std::string gp = path + "[" + std::to_string(i) + "]";
      const json& g = groups[i];
      requireObject(g, gp);
      allowOnly(g, gp, {"id", "symbol", "label", "parameters", "groups"});
      DescGroup group;
      group.id = static_cast<int32_t>(integer(g, gp, "id", true));
      group.symbol = text(g, gp, "symbol", true);
      group.label = text(g, gp, "label", false);
      if (group.label.empty()) group.label = group.symbol;
      group.parentId = parentId;
      claimId(group.id, join(gp, "id"));
      claimSymbol(group.symbol, join(gp, "symbol"));
      d.groups.push_back(group);
      if (const json* params = member(g, "parameters")) {
        const std::string pp = join(gp, "parameters");
        if (!params->is_array()) fail(pp, "expected an array");
        for (size_t k = 0; k < params->size(); ++k)
          d.parameters.push_back(readParameter((*params)[k], pp + "[" + std::to_string(k) + "]", group.id));
      }
      if (const json* sub = member(g, "groups")) readGroups(*sub, join(gp, "groups"), group.id, d);
    }
  }

  static std::optional<ParamType> typeFromName(const std::string& name) {
    static const std::pair<const char*, ParamType> kTypes[] = {
        {"long", ParamType::Long},         {"real", ParamType::Real},
        {"bool", ParamType::Bool},         {"vector", ParamType::Vector},
        {"matrix", ParamType::Matrix},     {"string", ParamType::String},
        {"filename", ParamType::Filename}, {"link", ParamType::Link},
        {"spline", ParamType::Spline},     {"gradient", ParamType::Gradient},
        {"separator", ParamType::Separator}};
    for (const auto& [n, t] : kTypes)
      if (name == n) return t;
    return std::nullopt;
  }

  DescParameter readParameter(const json& p, const std::string& path, int32_t groupId) {
    requireObject(p, path);
    allowOnly(p, path,
              {"id", "symbol", "type", "label", "default", "min", "max", "step", "unit", "options",
               "gui", "hidden", "readout"});
    DescParameter out;
    out.groupId = groupId;
    out.id = static_cast<int32_t>(integer(p, path, "id", true));
    out.symbol = text(p, path, "symbol", true);
    for (char c : out.symbol)
      if (c >= 'a' && c <= 'z') fail(join(path, "symbol"), "must be upper case");
    if (out.symbol.empty()) fail(join(path, "symbol"), "must not be empty");
    claimId(out.id, join(path, "id"));
    claimSymbol(out.symbol, join(path, "symbol"));
    const std::string typeName = text(p, path, "type", true);
    const auto type = typeFromName(typeName);
    if (!type) fail(join(path, "type"), "unknown type \"" + typeName + "\"");
    out.type = *type;
    out.label = text(p, path, "label", false);
    if (out.label.empty()) out.label = out.symbol;
    out.gui = text(p, path, "gui", false);
    if (const json* h = member(p, "hidden")) {
      if (!h->is_boolean()) fail(join(path, "hidden"), "expected true or false");
      out.hidden = h->get<bool>();
    }
    if (const json* r = member(p, "readout")) {
      if (!r->is_boolean()) fail(join(path, "readout"), "expected true or false");
      out.readout = r->get<bool>();
    }
    const bool ranged = out.type == ParamType::Long || out.type == ParamType::Real || out.type == ParamType::Vector;
    for (const char* key : {"min", "max", "step"}) {
      const json* v = member(p, key);
      if (!v) continue;
      if (!ranged) fail(join(path, key), std::string("not allowed for type ") + typeName);
      const double x = number(*v, join(path, key));
      (key[1] == 'i' ? out.min : key[1] == 'a' ? out.max : out.step) = x;
    }
    if (const json* u = member(p, "unit")) {
      if (out.type != ParamType::Real) fail(join(path, "unit"), "only allowed for type real");
      if (!u->is_string()) fail(join(path, "unit"), "expected a string");
      out.unit = u->get<std::string>();
      if (out.unit != "none" && out.unit != "percent" && out.unit != "degree" && out.unit != "meter")
        fail(join(path, "unit"), "expected none, percent, degree or meter");
    }
    if (const json* o = member(p, "options")) {
      const std::string op = join(path, "options");
      if (out.type != ParamType::Long) fail(op, "only allowed for type long");
      if (!o->is_object()) fail(op, "expected an object");
      for (auto it = o->begin(); it != o->end(); ++it) {
        int32_t value = 0;
        if (!parseInt32(it.key(), value)) fail(join(op, it.key()), "key is not a decimal integer");
        if (!it->is_string()) fail(join(op, it.key()), "expected a string");
        out.options.emplace_back(value, it->get<std::string>());
      }
    }
    if (const json* def = member(p, "default")) readDefault(*def, join(path, "default"), out);
    return out;
  }

  static bool parseInt32(const std::string& s, int32_t& out) {
    if (s.empty()) return false;
    size_t used = 0;
    long long v = 0;
    try {
      v = std::stoll(s, &used, 10);
    } catch (...) {
      return false;
    }
    if (used != s.size() || v < INT32_MIN || v > INT32_MAX) return false;
    out = static_cast<int32_t>(v);
    return true;
  }

  void readDefault(const json& def, const std::string& path, DescParameter& out) {
    switch (out.type) {
      case ParamType::Long:
        out.defaultNumber = asInt32(def, path);
        break;
      case ParamType::Real:
        out.defaultNumber = number(def, path);
        break;
      case ParamType::Bool:
        if (!def.is_boolean()) fail(path, "expected true or false");
        out.defaultNumber = def.get<bool>() ? 1.0 : 0.0;
        break;
      case ParamType::Vector: {
        if (!def.is_array() || def.size() != 3) fail(path, "expected [x, y, z]");
        KhVector v{};
        v.x = static_cast<float>(number(def[0], path + "[0]"));
        v.y = static_cast<float>(number(def[1], path + "[1]"));
        v.z = static_cast<float>(number(def[2], path + "[2]"));
        out.defaultVector = v;
        break;
      }
      case ParamType::String:
      case ParamType::Filename:
        if (!def.is_string()) fail(path, "expected a string");
        out.defaultText = def.get<std::string>();
        break;
      case ParamType::Spline: {
        if (!def.is_object()) fail(path, "expected an object");
        allowOnly(def, path, {"knots", "interpolation"});
        SplineDefault s;
        const std::string interp = text(def, path, "interpolation", false);
        if (!interp.empty() && interp != "linear" && interp != "smooth")
          fail(join(path, "interpolation"), "expected linear or smooth");
        s.linear = interp != "smooth";
        const json* knots = member(def, "knots");
        if (!knots || !knots->is_array()) fail(join(path, "knots"), "expected an array of [x, y]");
        for (size_t i = 0; i < knots->size(); ++i) {
          const std::string kp = join(path, "knots") + "[" + std::to_string(i) + "]";
          const json& k = (*knots)[i];
          if (!k.is_array() || k.size() != 2) fail(kp, "expected [x, y]");
          s.knots.emplace_back(static_cast<float>(number(k[0], kp + "[0]")),
                               static_cast<float>(number(k[1], kp + "[1]")));
        }
        out.defaultSpline = std::move(s);
        break;
      }
      default:
        fail(path, std::string("no default allowed for type ") + paramTypeName(out.type));
    }
  }

  void claimId(int32_t id, const std::string& field) {
    if (!ids_.insert(id).second) fail(field, "duplicate ID " + std::to_string(id));
  }
  void claimSymbol(const std::string& symbol, const std::string& field) {
    if (!symbols_.insert(symbol).second) fail(field, "duplicate symbol " + symbol);
  }

  std::filesystem::path file_;
  std::set<int32_t> ids_;
  std::set<std::string> symbols_;
};

}  // namespace

const char* paramTypeName(ParamType t) noexcept {
  switch (t) {
    case ParamType::Long: return "long";
    case ParamType::Real: return "real";
    case ParamType::Bool: return "bool";
    case ParamType::Vector: return "vector";
    case ParamType::Matrix: return "matrix";
    case ParamType::String: return "string";
    case ParamType::Filename: return "filename";
    case ParamType::Link: return "link";
    case ParamType::Spline: return "spline";
    case ParamType::Gradient: return "gradient";
    case ParamType::Separator: return "separator";
  }
  return "?";
}

const DescParameter* Description::findById(int32_t id) const noexcept {
  for (const auto& p : parameters)
    if (p.id == id) return &p;
  return nullptr;
}

const DescParameter* Description::findBySymbol(const std::string& symbol) const noexcept {
  for (const auto& p : parameters)
    if (p.symbol == symbol) return &p;
  return nullptr;
}

DescriptionResult parseDescriptionText(const std::string& text, const std::filesystem::path& file) {
  DescriptionResult result;
  json root;
  try {
    root = json::parse(text);
  } catch (const json::exception& e) {  // syntax errors and numbers out of range
    result.error = file.string() + ": (syntax): " + e.what();
    return result;
  }
  try {
    result.description = Reader(file).read(root);
  } catch (const FieldError& e) {
    result.error = file.string() + ": " + e.field + ": " + e.problem;
  }
  return result;
}

DescriptionResult parseDescriptionFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    DescriptionResult result;
    result.error = file.string() + ": cannot be read";
    return result;
  }
  std::stringstream buffer;
  buffer << in.rdbuf();
  return parseDescriptionText(buffer.str(), file);
}

}  // namespace kurvo::host
