// Arrays in scene files (see scene_array.h).
#include "scene_array.h"

#include <algorithm>
#include <string>

#include "scene/array.h"
#include "scene/document.h"

namespace kurvo::scenefile {
namespace {

using host::Object;

struct Named {
  const char* name;
  int32_t value;
};
constexpr Named kFitNames[] = {{"stretch", host::kArrayFitStretch}, {"keep", host::kArrayFitKeep}};
constexpr Named kSpacingModeNames[] = {{"gap", host::kArraySpacingGap}, {"step", host::kArraySpacingStep}};
constexpr Named kAxisNames[] = {{"+Z", 0}, {"+X", 1}, {"+Y", 2}, {"-X", 3}, {"-Y", 4}, {"-Z", 5}};

template <size_t N>
int32_t named(const Json& value, const Named (&names)[N], const ReadContext& context, const char* field,
              const char* expected) {
  const std::string& text = context.text(value, field);
  for (const Named& n : names)
    if (text == n.name) return n.value;
  context.fail(field, "\"" + text + "\" is not one of " + expected);
}

template <size_t N>
const char* nameOf(int32_t value, const Named (&names)[N]) {
  for (const Named& n : names)
    if (n.value == value) return n.name;
  return nullptr;
}

std::string numberText(float v) { return Json(jsonFloat(v)).dump(); }

std::string copiesRange() { return "0 to " + std::to_string(host::kMaxArrayCopies); }

std::string keyField(size_t track, size_t key) {
  return indexed(member(indexed("tracks", track), "keys"), key) + "[1]";
}

}  // namespace

bool hasOwnGeometry(const Json& entry) {
  return entry.contains("points") || entry.contains("polygons") || entry.contains("mesh") ||
         entry.contains("primitive");
}

void readArrayFields(const Json& entry, Object& array, const ReadContext& context, std::vector<PendingLink>& links) {
  host::Container& c = array.parameters();
  const bool fit = entry.contains("fit");
  if (entry.contains("count")) {
    if (fit) context.fail("count", "give \"count\" or \"fit\", not both: a fit decides the count");
    const int32_t count = context.integer(entry["count"], "count");
    if (count < 0 || count > host::kMaxArrayCopies)
      context.fail("count", std::to_string(count) + " copies; an array makes " + copiesRange());
    c.setLong(host::kArrayCount, count);
  }
  if (fit) {
    c.setLong(host::kArrayFit, named(entry["fit"], kFitNames, context, "fit",
                                     "\"stretch\" (the spacing grows to close the gap) or \"keep\""));
    if (!entry.contains("path")) context.fail("fit", "needs \"path\": the spline whose length the copies fill");
  }
  if (entry.contains("path")) {
    if (!fit) context.fail("path", "only a fit measures a path: add \"fit\" (or leave the path out)");
    links.push_back({&c, &array, host::kArrayPath, context.text(entry["path"], "path"), array.name(), "path"});
  }
  if (entry.contains("spacing")) c.setReal(host::kArraySpacing, context.number(entry["spacing"], "spacing"));
  if (entry.contains("spacing_mode"))
    c.setLong(host::kArraySpacingMode,
              named(entry["spacing_mode"], kSpacingModeNames, context, "spacing_mode",
                    "\"gap\" (the spacing is the gap between copies) or \"step\" (from copy to copy)"));
  if (entry.contains("offset")) c.setReal(host::kArrayOffset, context.number(entry["offset"], "offset"));
  if (entry.contains("axis"))
    c.setLong(host::kArrayAxis, named(entry["axis"], kAxisNames, context, "axis", "\"+X\", \"+Y\", \"+Z\", \"-X\", \"-Y\", \"-Z\""));
}

void checkArray(Object& array, const host::Document& document, const animation::ObjectAnimation* animation,
                const ReadContext& context) {
  const Object* source = host::arraySourceOf(array);
  if (!source)
    context.fail("children", "an array needs a polygon object to copy: a polygon child, or its own \"mesh\", "
                             "\"primitive\" or \"points\"");
  const host::ArraySettings settings = host::arraySettings(array.parameters());
  const bool fitting = settings.fit != host::kArrayFitOff;
  float low = 0.0f, high = 0.0f;
  host::pieceExtent(*source, settings.axis, low, high);
  const float piece = high - low;
  const auto stepOf = [&](float spacing) {
    return settings.spacingMode == host::kArraySpacingStep ? spacing : piece + spacing;
  };
  const auto tooShort = [&](float spacing) {
    return "a fit needs a step above 0 from copy to copy; the piece is " + numberText(piece) +
           " long along the axis, so the " + (settings.spacingMode == host::kArraySpacingStep ? "step " : "gap ") +
           numberText(spacing) + " makes a step of " + numberText(stepOf(spacing));
  };
  if (fitting) {
    const host::Data* link = array.parameters().find(host::kArrayPath);
    host::Node* path = link ? document.findLive(link->getLink()) : nullptr;
    host::ArrayPath measured;
    if (!path || !path->isObject() || !host::measurePath(*static_cast<Object*>(path), measured))
      context.fail("path", "\"" + (path ? path->name() : std::string()) + "\" is not a spline");
    if (!(stepOf(settings.spacing) > 0.0f)) context.fail("spacing", tooShort(settings.spacing));
  }

  int32_t most = host::planCopies(array, document).count;
  if (animation) {
    for (size_t t = 0; t < animation->tracks.size(); ++t) {
      const animation::Track& track = animation->tracks[t];
      if (track.channel != animation::Channel::parameter) continue;
      for (size_t k = 0; k < track.keys.size(); ++k) {
        const animation::Value& v = track.keys[k].value;
        if (track.parameter == host::kArrayCount && std::holds_alternative<int32_t>(v)) {
          const int32_t n = std::get<int32_t>(v);
          if (n < 0 || n > host::kMaxArrayCopies)
            context.fail(keyField(t, k), std::to_string(n) + " copies; an array makes " + copiesRange());
          if (!fitting) most = std::max(most, n);
        }
        if (track.parameter == host::kArraySpacing && fitting && std::holds_alternative<float>(v) &&
            !(stepOf(std::get<float>(v)) > 0.0f))
          context.fail(keyField(t, k), tooShort(std::get<float>(v)));
      }
    }
  }
  context.chargePoints(static_cast<double>(most) * static_cast<double>(source->points().size()),
                       fitting ? "fit" : "count");
}

void writeArrayFields(const host::Container& c, const host::Document& document, Json& entry) {
  const host::ArraySettings s = host::arraySettings(c);
  if (const char* fit = nameOf(s.fit, kFitNames)) {
    entry["fit"] = fit;
    const host::Data* link = c.find(host::kArrayPath);
    host::Node* path = link ? document.findLive(link->getLink()) : nullptr;
    if (path) entry["path"] = path->name();
  } else {
    entry["count"] = s.count;
  }
  entry["spacing"] = jsonFloat(s.spacing);
  if (const char* mode = nameOf(s.spacingMode, kSpacingModeNames)) entry["spacing_mode"] = mode;
  entry["offset"] = jsonFloat(s.offset);
  if (const char* axis = nameOf(s.axis, kAxisNames)) entry["axis"] = axis;
}

}  // namespace kurvo::scenefile
