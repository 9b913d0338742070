#include "param_json.h"

#include <charconv>

#include "core/custom_types.h"
#include "core/data_value.h"
#include "scene/document.h"
#include "scene/node.h"

namespace kurvo::scenefile {
namespace {

using host::Container;
using host::CurveData;
using host::Data;
using host::GradientData;
using host::ParamType;

Json vectorJson(const KhVector& v) { return Json::array({jsonFloat(v.x), jsonFloat(v.y), jsonFloat(v.z)}); }

Json matrixRows(const KhMatrix& m) {
  return Json::array({vectorJson(m.off), vectorJson(m.v1), vectorJson(m.v2), vectorJson(m.v3)});
}

// ---- curves and gradients

std::unique_ptr<CurveData> readCurve(const Json& j, const ReadContext& context, const std::string& field) {
  context.requireObject(j, field);
  context.allowOnly(j, field, {"knots", "interpolation", "round"});
  bool linear = true;
  if (j.contains("interpolation")) {
    const std::string& mode = context.text(j["interpolation"], member(field, "interpolation"));
    if (mode == "smooth")
      linear = false;
    else if (mode != "linear")
      context.fail(member(field, "interpolation"), "expected \"linear\" or \"smooth\"");
  }
  auto data = std::make_unique<CurveData>();
  if (!j.contains("knots")) context.fail(member(field, "knots"), "missing");
  const Json& knots = j["knots"];
  const std::string knotsField = member(field, "knots");
  context.requireArray(knots, knotsField);
  std::vector<kurvo::geo::Curve::Knot> read;
  read.reserve(knots.size());
  for (size_t i = 0; i < knots.size(); ++i) {
    const Json& k = knots[i];
    const std::string f = indexed(knotsField, i);
    if (!k.is_array() || k.size() < 2 || k.size() > 3) context.fail(f, "expected a knot [x, y] or [x, y, flags]");
    const float x = context.number(k[0], indexed(f, 0));
    const float y = context.number(k[1], indexed(f, 1));
    const int32_t flags = k.size() == 3 ? context.integer(k[2], indexed(f, 2))
                                        : (linear ? kurvo::geo::Curve::kLinearKnot : 0);
    read.push_back({x, y, flags, 0.0f});
  }
  data->curve.SetKnots(std::move(read));
  float round = linear ? 0.0f : 1.0f;
  if (j.contains("round")) round = context.number(j["round"], member(field, "round"));
  data->curve.SetRound(round);
  return data;
}

Json writeCurve(const kurvo::geo::Curve& curve) {
  bool allLinear = true, allSmooth = true;
  for (int32_t i = 0; i < curve.KnotCount(); ++i) {
    allLinear = allLinear && curve.GetKnot(i).flags == kurvo::geo::Curve::kLinearKnot;
    allSmooth = allSmooth && curve.GetKnot(i).flags == 0;
  }
  const bool linear = allLinear && curve.Round() == 0.0f;
  const bool explicitFlags = !linear && !allSmooth;
  Json knots = Json::array();
  for (int32_t i = 0; i < curve.KnotCount(); ++i) {
    const auto& k = curve.GetKnot(i);
    Json knot = Json::array({jsonFloat(k.x), jsonFloat(k.y)});
    if (explicitFlags) knot.push_back(k.flags);
    knots.push_back(std::move(knot));
  }
  Json out = Json::object();
  out["knots"] = std::move(knots);
  out["interpolation"] = linear ? "linear" : "smooth";
  if (!linear && curve.Round() != 1.0f) out["round"] = jsonFloat(curve.Round());
  return out;
}

// Brightness scales a knot's colour; far beyond this it only clips.
constexpr float kMaxBrightness = 100.0f;

std::unique_ptr<GradientData> readGradient(const Json& j, const ReadContext& context, const std::string& field) {
  context.requireObject(j, field);
  context.allowOnly(j, field, {"knots"});
  if (!j.contains("knots")) context.fail(member(field, "knots"), "missing");
  const Json& knots = j["knots"];
  const std::string knotsField = member(field, "knots");
  context.requireArray(knots, knotsField);
  if (knots.empty()) context.fail(knotsField, "a gradient needs at least one knot");
  auto data = std::make_unique<GradientData>();
  for (size_t i = 0; i < knots.size(); ++i) {
    const Json& k = knots[i];
    const std::string f = indexed(knotsField, i);
    context.requireObject(k, f);
    context.allowOnly(k, f, {"color", "colour", "brightness", "position", "bias", "index"});
    kurvo::geo::GradientKnot knot;
    // Both spellings are read; "color" is written.
    const char* colourKey = k.contains("color") ? "color" : "colour";
    if (k.contains("color") && k.contains("colour")) context.fail(member(f, "colour"), "give either color or colour");
    if (!k.contains(colourKey)) context.fail(member(f, "color"), "missing");
    knot.col = context.colour(k[colourKey], member(f, colourKey));
    if (k.contains("brightness"))
      knot.brightness = context.numberIn(k["brightness"], member(f, "brightness"), 0.0f, kMaxBrightness);
    if (k.contains("position")) knot.pos = context.numberIn(k["position"], member(f, "position"), 0.0f, 1.0f);
    if (k.contains("bias")) knot.bias = context.numberIn(k["bias"], member(f, "bias"), 0.0f, 1.0f);
    if (k.contains("index")) knot.index = context.integer(k["index"], member(f, "index"));
    data->gradient.InsertKnot(knot);
  }
  return data;
}

Json writeGradient(const kurvo::geo::Gradient& gradient) {
  Json knots = Json::array();
  for (int32_t i = 0; i < gradient.KnotCount(); ++i) {
    const auto& k = gradient.GetKnot(i);
    Json knot = Json::object();
    knot["color"] = vectorJson(ToKh(k.col));
    knot["brightness"] = jsonFloat(k.brightness);
    knot["position"] = jsonFloat(k.pos);
    knot["bias"] = jsonFloat(k.bias);
    knot["index"] = k.index;
    knots.push_back(std::move(knot));
  }
  Json out = Json::object();
  out["knots"] = std::move(knots);
  return out;
}

// ---- reading

struct Target {
  Container* container;
  host::Node* owner;
  std::vector<PendingLink>* links;
  int depth;  // of nested containers
};

// Containers nested deeper than this are refused (the readers and writers of
// nested containers recurse).
constexpr int kMaxContainerDepth = 32;

void queueLink(const Json& value, const Target& target, int32_t id, const ReadContext& context,
               const std::string& field) {
  Data& d = target.container->set(id);
  d.setLink(0);  // placeholder, keeps the entry's place in the container
  if (value.is_null()) return;
  const std::string& name = context.text(value, field);
  target.links->push_back(PendingLink{target.container, target.owner, id, name, context.object, field});
}

void readContainer(const Json& j, const Target& target, const ReadContext& context, const std::string& field);

void readUntyped(const Json& value, const Target& target, int32_t id, const ReadContext& context,
                 const std::string& field) {
  Container& c = *target.container;
  if (value.is_null()) {
    c.set(id).clear();
  } else if (value.is_boolean()) {
    c.set(id).setLong(value.get<bool>() ? 1 : 0);
  } else if (value.is_number_integer()) {
    c.set(id).setLong(context.integer(value, field));
  } else if (value.is_number_float()) {
    c.set(id).setReal(context.number(value, field));
  } else if (value.is_string()) {
    c.set(id).setString(value.get<std::string>());
  } else if (value.is_array()) {
    if (value.size() == 3 && value[0].is_number())
      c.set(id).setVector(ToKh(context.vector(value, field)));
    else if (value.size() == 4 && value[0].is_array())
      c.set(id).setMatrix(context.matrix(value, field));
    else
      context.fail(field, "expected a vector [x, y, z] or a matrix of four rows");
  } else {
    if (value.size() != 1)
      context.fail(field, "expected one of {\"link\": ...}, {\"filename\": ...}, {\"curve\": ...}, "
                          "{\"gradient\": ...}, {\"container\": ...}");
    const std::string& kind = value.begin().key();
    const Json& inner = value.begin().value();
    const std::string f = member(field, kind);
    if (kind == "link") {
      queueLink(inner, target, id, context, f);
    } else if (kind == "filename") {
      c.set(id).setFilename(context.text(inner, f));
    } else if (kind == "curve") {
      c.set(id).setCustom(readCurve(inner, context, f));
    } else if (kind == "gradient") {
      c.set(id).setCustom(readGradient(inner, context, f));
    } else if (kind == "container") {
      context.requireObject(inner, f);
      if (target.depth >= kMaxContainerDepth) context.fail(f, "containers nested too deeply");
      Data& d = c.set(id);
      d.setContainer(Container(id));
      readContainer(inner, Target{d.getContainer(), target.owner, target.links, target.depth + 1}, context, f);
    } else {
      context.fail(f, "unknown kind of value (link, filename, curve, gradient or container)");
    }
  }
}

void readTyped(const Json& value, const host::DescParameter& p, const Target& target, const ReadContext& context,
               const std::string& field) {
  Container& c = *target.container;
  const int32_t id = p.id;
  if (value.is_null()) {
    if (p.type == ParamType::Link)
      queueLink(value, target, id, context, field);
    else
      c.set(id).clear();
    return;
  }
  switch (p.type) {
    case ParamType::Long: c.set(id).setLong(context.integer(value, field)); break;
    case ParamType::Real: c.set(id).setReal(context.number(value, field)); break;
    case ParamType::Bool:
      if (value.is_boolean())
        c.set(id).setLong(value.get<bool>() ? 1 : 0);
      else if (value.is_number_integer())
        c.set(id).setLong(context.integer(value, field));
      else
        context.fail(field, "expected true or false");
      break;
    case ParamType::Vector: c.set(id).setVector(ToKh(context.vector(value, field))); break;
    case ParamType::Matrix: c.set(id).setMatrix(context.matrix(value, field)); break;
    case ParamType::String: c.set(id).setString(context.text(value, field)); break;
    case ParamType::Filename: c.set(id).setFilename(context.text(value, field)); break;
    case ParamType::Link: queueLink(value, target, id, context, field); break;
    case ParamType::Spline: c.set(id).setCustom(readCurve(value, context, field)); break;
    case ParamType::Gradient: c.set(id).setCustom(readGradient(value, context, field)); break;
    case ParamType::Separator: context.fail(field, "this parameter holds no value"); break;
  }
}

bool parseId(const std::string& key, int32_t& id) {
  if (key.empty()) return false;
  const char* end = key.data() + key.size();
  auto r = std::from_chars(key.data(), end, id);
  return r.ec == std::errc() && r.ptr == end;
}

void readEntries(const Json& params, const Target& target, const host::Description* description,
                 const ReadContext& context, const std::string& field) {
  context.requireObject(params, field);
  for (auto it = params.begin(); it != params.end(); ++it) {
    const std::string& key = it.key();
    const std::string f = member(field, key);
    int32_t id = 0;
    const host::DescParameter* p = nullptr;
    if (parseId(key, id)) {
      p = description ? description->findById(id) : nullptr;
    } else {
      p = description ? description->findBySymbol(key) : nullptr;
      if (!p) {
        if (description)
          context.fail(f, "unknown parameter symbol of \"" + description->name + "\"");
        context.fail(f, "unknown parameter symbol (this type has no description: give parameters by ID)");
      }
      id = p->id;
    }
    if (p && p->type != ParamType::Separator)
      readTyped(it.value(), *p, target, context, f);
    else
      readUntyped(it.value(), target, id, context, f);
  }
}

void readContainer(const Json& j, const Target& target, const ReadContext& context, const std::string& field) {
  readEntries(j, target, nullptr, context, field);
}

// ---- writing

std::string linkName(uint64_t serial, const host::Document& document) {
  host::Node* n = serial ? document.findLive(serial) : nullptr;
  return n && n->isObject() ? n->name() : std::string();
}

Json linkJson(const Data& d, const host::Document& document) {
  const std::string name = linkName(d.getLink(), document);
  return name.empty() ? Json(nullptr) : Json(name);
}

Json writeUntyped(const Data& d, const host::Document& document);

Json containerJson(const Container& c, const host::Document& document) {
  Json out = Json::object();
  for (int32_t key : c.keys()) out[std::to_string(key)] = writeUntyped(*c.find(key), document);
  return out;
}

Json writeUntyped(const Data& d, const host::Document& document) {
  switch (d.value.index()) {
    case 1: return d.getLong();
    case 2: return jsonFloat(d.getReal());
    case 3: return vectorJson(d.getVector());
    case 4: return matrixRows(d.getMatrix());
    case 5: return d.getText();
    case 6: return Json{{"filename", d.getText()}};
    case 7: return Json{{"link", linkJson(d, document)}};
    case 8: return Json{{"container", containerJson(*d.getContainer(), document)}};
    case 9:
      if (auto* curve = d.getCustom(CurveData::kType))
        return Json{{"curve", writeCurve(static_cast<CurveData*>(curve)->curve)}};
      if (auto* gradient = d.getCustom(GradientData::kType))
        return Json{{"gradient", writeGradient(static_cast<GradientData*>(gradient)->gradient)}};
      return nullptr;
    default: return nullptr;
  }
}

Json writeTyped(const Data& d, const host::DescParameter& p, const host::Document& document) {
  if (d.value.index() == 0) return nullptr;
  switch (p.type) {
    case ParamType::Long: return d.getLong();
    case ParamType::Real: return jsonFloat(d.getReal());
    case ParamType::Bool: {
      const int32_t v = d.getLong();
      return v == 0 || v == 1 ? Json(v == 1) : Json(v);
    }
    case ParamType::Vector: return vectorJson(d.getVector());
    case ParamType::Matrix: return matrixRows(d.getMatrix());
    case ParamType::String:
    case ParamType::Filename: return d.getText();
    case ParamType::Link: return linkJson(d, document);
    case ParamType::Spline: {
      auto* curve = d.getCustom(CurveData::kType);
      return curve ? writeCurve(static_cast<CurveData*>(curve)->curve) : Json(nullptr);
    }
    case ParamType::Gradient: {
      auto* gradient = d.getCustom(GradientData::kType);
      return gradient ? writeGradient(static_cast<GradientData*>(gradient)->gradient) : Json(nullptr);
    }
    case ParamType::Separator: return nullptr;
  }
  return nullptr;
}

}  // namespace

void readParams(const Json& params, host::Node& node, const host::Description* description,
                const ReadContext& context, const std::string& field, std::vector<PendingLink>& links) {
  readEntries(params, Target{&node.parameters(), &node, &links, 0}, description, context, field);
  node.parameters().touched();
}

Json writeParams(const host::Container& container, const host::Description* description,
                 const host::Document& document, const std::function<bool(int32_t)>& skip) {
  Json out = Json::object();
  // Appended without the keyed insert, which searches the members so far: a
  // node's keys are unique, and a node with 150,000 animated parameters
  // took minutes. (A described parameter's symbol stands for its ID.)
  auto& members = static_cast<Json::object_t::Container&>(out.get_ref<Json::object_t&>());
  members.reserve(container.keys().size());
  for (int32_t key : container.keys()) {
    if (skip && skip(key)) continue;
    const Data& d = *container.find(key);
    const host::DescParameter* p = description ? description->findById(key) : nullptr;
    if (p && p->type != ParamType::Separator)
      members.emplace_back(p->symbol.empty() ? std::to_string(key) : p->symbol, writeTyped(d, *p, document));
    else
      members.emplace_back(std::to_string(key), writeUntyped(d, document));
  }
  return out;
}

}  // namespace kurvo::scenefile
