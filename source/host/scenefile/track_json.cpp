#include "track_json.h"

#include <charconv>
#include <cmath>
#include <sstream>
#include <unordered_set>

#include "core/data_value.h"
#include "frame_range.h"
#include "placement.h"
#include "scene/node.h"
#include "scene_geometry.h"

namespace kurvo::scenefile {
namespace {

using animation::Channel;
using animation::Interpolation;
using animation::Key;
using animation::Track;
using animation::Value;
using animation::ValueKind;

constexpr double kMaxFrame = static_cast<double>(animation::kMaxFrameNumber);
// Every writer stores a rate in this range: a GIF's frame delay in
// hundredths of a second, a video's time base, and the frame times of point
// caches and glTF in single precision even at the last frame.
constexpr double kMinFps = 0.01;
constexpr double kMaxFps = 1000.0;

bool parseId(const std::string& key, int32_t& id) {
  if (key.empty()) return false;
  const char* end = key.data() + key.size();
  auto r = std::from_chars(key.data(), end, id);
  return r.ec == std::errc() && r.ptr == end;
}

// The kind of an undescribed parameter: what the object holds, else what the
// first key's value looks like (as "params" types such values).
ValueKind untypedKind(const host::Data* held, const Json& tracks, const ReadContext& context,
                      const std::string& field) {
  if (held) {
    switch (held->type()) {
      case KH_DA_LONG: return ValueKind::integer;
      case KH_DA_REAL: return ValueKind::real;
      case KH_DA_VECTOR: return ValueKind::vector;
      default: context.fail(field, "this parameter holds a value that cannot be animated "
                                   "(reals, vectors, integers and booleans can)");
    }
  }
  const Json* first = nullptr;
  if (tracks.contains("keys") && tracks["keys"].is_array() && !tracks["keys"].empty() &&
      tracks["keys"][0].is_array() && tracks["keys"][0].size() == 2)
    first = &tracks["keys"][0][1];
  if (first && first->is_boolean()) return ValueKind::boolean;
  if (first && first->is_number_integer()) return ValueKind::integer;
  if (first && first->is_array()) return ValueKind::vector;
  return ValueKind::real;
}

struct Target {
  Channel channel;
  int32_t parameter = 0;
  std::string parameterName;
  ValueKind kind;
};

Target paramTarget(const Json& track, host::Object& object, const host::Description* description,
                   const ReadContext& context, const std::string& field) {
  const Json& p = track["param"];
  Target t{Channel::parameter, 0, {}, ValueKind::real};
  const host::DescParameter* described = nullptr;
  if (p.is_number_integer()) {
    t.parameter = context.integer(p, member(field, "param"));
    t.parameterName = std::to_string(t.parameter);
    described = description ? description->findById(t.parameter) : nullptr;
  } else {
    t.parameterName = context.text(p, member(field, "param"));
    if (parseId(t.parameterName, t.parameter)) {
      described = description ? description->findById(t.parameter) : nullptr;
    } else {
      described = description ? description->findBySymbol(t.parameterName) : nullptr;
      if (!described) {
        if (description)
          context.fail(member(field, "param"),
                       "\"" + t.parameterName + "\" is not a parameter of \"" + description->name + "\"");
        context.fail(member(field, "param"),
                     "unknown parameter symbol (this type has no description: give parameters by ID)");
      }
      t.parameter = described->id;
    }
  }
  if (described && described->type != host::ParamType::Separator) {
    switch (described->type) {
      case host::ParamType::Long: t.kind = ValueKind::integer; break;
      case host::ParamType::Real: t.kind = ValueKind::real; break;
      case host::ParamType::Bool: t.kind = ValueKind::boolean; break;
      case host::ParamType::Vector: t.kind = ValueKind::vector; break;
      default:
        context.fail(member(field, "param"), std::string("a parameter of type ") +
                                                 host::paramTypeName(described->type) +
                                                 " cannot be animated (reals, vectors, integers and booleans can)");
    }
  } else {
    t.kind = untypedKind(object.parameters().find(t.parameter), track, context, member(field, "param"));
  }
  return t;
}

Target placementTarget(const Json& track, const Json& entry, const ReadContext& context, const std::string& field) {
  const std::string& part = context.text(track["placement"], member(field, "placement"));
  Target t{Channel::position, 0, {}, ValueKind::vector};
  if (part == "rotation")
    t.channel = Channel::rotation;
  else if (part == "scale")
    t.channel = Channel::scale;
  else if (part != "position")
    context.fail(member(field, "placement"), "expected \"position\", \"rotation\" or \"scale\"");
  if (entry.contains("matrix"))
    context.fail(member(field, "placement"),
                 "a placement track needs the object's placement as \"position\", \"rotation\" and \"scale\", "
                 "not \"matrix\"");
  return t;
}

Value readValue(const Json& v, const Target& target, const host::Object& object, const ReadContext& context,
                const std::string& field) {
  switch (target.kind) {
    case ValueKind::integer: return context.integer(v, field);
    case ValueKind::boolean:
      if (v.is_boolean()) return int32_t{v.get<bool>() ? 1 : 0};
      if (v.is_number_integer()) return context.integer(v, field);
      context.fail(field, "expected true or false");
    case ValueKind::real: return context.number(v, field);
    case ValueKind::vector:
      if (target.channel == Channel::scale && v.is_number()) return Vector(context.number(v, field));
      return context.vector(v, field);
    case ValueKind::points: {
      context.requireArray(v, field);
      const size_t count = object.points().size();
      if (v.size() != count)
        context.fail(field, "gives " + std::to_string(v.size()) + " points; the spline has " +
                                std::to_string(count));
      std::vector<Vector> points;
      points.reserve(count);
      for (size_t i = 0; i < v.size(); ++i) points.push_back(context.vector(v[i], indexed(field, i)));
      return points;
    }
  }
  context.fail(field, "unreadable value");
}

Interpolation readInterpolation(const Json& track, ValueKind kind, const ReadContext& context,
                                const std::string& field) {
  const bool stepsOnly = kind == ValueKind::boolean;
  if (!track.contains("interpolation"))
    return kind == ValueKind::integer || stepsOnly ? Interpolation::step : Interpolation::linear;
  const std::string f = member(field, "interpolation");
  const std::string& name = context.text(track["interpolation"], f);
  Interpolation i = Interpolation::linear;
  if (name == "step")
    i = Interpolation::step;
  else if (name == "smooth")
    i = Interpolation::smooth;
  else if (name != "linear")
    context.fail(f, "expected \"step\", \"linear\" or \"smooth\"");
  if (stepsOnly && i != Interpolation::step) context.fail(f, "a boolean track only steps: use \"step\"");
  return i;
}

std::string describe(const Target& t) {
  switch (t.channel) {
    case Channel::parameter: return "parameter " + std::to_string(t.parameter);
    case Channel::points: return "the points";
    default: return std::string("the ") + animation::channelName(t.channel);
  }
}

std::optional<Value> restValue(const Target& t, const host::Object& object) {
  if (t.channel == Channel::points) return object.points();
  if (t.channel != Channel::parameter) return std::nullopt;
  const host::Data* held = object.parameters().find(t.parameter);
  if (!held) return std::nullopt;
  switch (t.kind) {
    case ValueKind::integer:
    case ValueKind::boolean: return held->getLong();
    case ValueKind::real: return held->getReal();
    case ValueKind::vector: return FromKh(held->getVector());
    case ValueKind::points: break;
  }
  return std::nullopt;
}

Json vectorJson(const Vector& v) { return Json::array({jsonFloat(v.x), jsonFloat(v.y), jsonFloat(v.z)}); }

}  // namespace

void readTime(const Json& time, animation::Timeline& timeline, const ReadContext& context) {
  context.requireObject(time, "time");
  context.allowOnly(time, "time", {"fps", "start", "end"});
  timeline.present = true;
  if (time.contains("fps")) {
    timeline.fps = context.number(time["fps"], "time.fps");
    if (!(timeline.fps >= kMinFps) || timeline.fps > kMaxFps)
      context.fail("time.fps", "must be from 0.01 to 1000 frames per second");
  }
  if (time.contains("start")) timeline.start = context.integer(time["start"], "time.start");
  if (time.contains("end")) timeline.end = context.integer(time["end"], "time.end");
  if (std::abs(timeline.start) > kMaxFrame) context.fail("time.start", "is beyond +-100000000 frames");
  if (std::abs(timeline.end) > kMaxFrame) context.fail("time.end", "is beyond +-100000000 frames");
  if (timeline.end < timeline.start) context.fail("time.end", "comes before time.start");
}

Json timeJson(const animation::Timeline& timeline) {
  Json time = Json::object();
  time["fps"] = timeline.fps;
  time["start"] = static_cast<int64_t>(timeline.start);
  time["end"] = static_cast<int64_t>(timeline.end);
  return time;
}

animation::ObjectAnimation readTracks(const Json& tracks, const Json& entry, host::Object& object,
                                      const host::Description* description, const ReadContext& context) {
  animation::ObjectAnimation animation;
  animation.object = object.serial();
  context.requireArray(tracks, "tracks");
  std::unordered_set<std::string> animated;  // what the tracks so far drive
  for (size_t i = 0; i < tracks.size(); ++i) {
    const Json& track = tracks[i];
    const std::string field = indexed("tracks", i);
    context.requireObject(track, field);
    const int targets = track.contains("param") + track.contains("placement") + track.contains("points");
    if (targets != 1)
      context.fail(field, "a track names exactly one of \"param\", \"placement\" or \"points\"");
    Target target;
    if (track.contains("param")) {
      context.allowOnly(track, field, {"param", "interpolation", "keys"});
      target = paramTarget(track, object, description, context, field);
    } else if (track.contains("placement")) {
      context.allowOnly(track, field, {"placement", "interpolation", "keys"});
      target = placementTarget(track, entry, context, field);
    } else {
      context.allowOnly(track, field, {"points", "interpolation", "keys"});
      if (!context.boolean(track["points"], member(field, "points")))
        context.fail(member(field, "points"), "must be true (a points track animates the spline's points)");
      if (!object.isSpline()) context.fail(member(field, "points"), "only a spline's points can be animated");
      target = Target{Channel::points, 0, {}, ValueKind::points};
    }
    const std::string what = describe(target);
    if (!animated.insert(what).second) context.fail(field, "another track already animates " + what);

    Track t;
    t.channel = target.channel;
    t.parameter = target.parameter;
    t.parameterName = target.parameterName;
    t.kind = target.kind;
    t.interpolation = readInterpolation(track, target.kind, context, field);
    if (!track.contains("keys")) context.fail(member(field, "keys"), "missing");
    const Json& keys = track["keys"];
    const std::string keysField = member(field, "keys");
    context.requireArray(keys, keysField);
    if (keys.empty()) context.fail(keysField, "a track needs at least one key");
    t.keys.reserve(keys.size());
    for (size_t k = 0; k < keys.size(); ++k) {
      const std::string f = indexed(keysField, k);
      const Json& key = keys[k];
      if (!key.is_array() || key.size() != 2) context.fail(f, "expected a key [frame, value]");
      if (!key[0].is_number()) context.fail(indexed(f, 0), "expected a frame number");
      const double frame = key[0].get<double>();
      if (!std::isfinite(frame) || std::abs(frame) > kMaxFrame)
        context.fail(indexed(f, 0), "the frame must be a finite number within +-100000000");
      if (!t.keys.empty() && frame <= t.keys.back().frame) {
        std::ostringstream text;
        if (frame == t.keys.back().frame)
          text << "two keys at frame " << frame << " (frames must increase)";
        else
          text << "keys out of order: frame " << frame << " comes after frame " << t.keys.back().frame
               << " (frames must increase)";
        context.fail(indexed(f, 0), text.str());
      }
      t.keys.push_back(Key{frame, readValue(key[1], target, object, context, indexed(f, 1))});
    }
    animation.rest.push_back(restValue(target, object));
    animation.tracks.push_back(std::move(t));
  }
  for (const Track& t : animation.tracks)
    if (t.channel == Channel::position || t.channel == Channel::rotation || t.channel == Channel::scale)
      animation.restPlacement = readPlacementParts(entry, context);
  return animation;
}

Json valueJson(const Value& value, ValueKind kind) {
  switch (kind) {
    case ValueKind::integer: return std::get<int32_t>(value);
    case ValueKind::boolean: return std::get<int32_t>(value) != 0;
    case ValueKind::real: return jsonFloat(std::get<float>(value));
    case ValueKind::vector: return vectorJson(std::get<Vector>(value));
    case ValueKind::points: {
      Json list = Json::array();
      for (const Vector& p : std::get<std::vector<Vector>>(value)) list.push_back(vectorJson(p));
      return list;
    }
  }
  return nullptr;
}

Json tracksJson(const animation::ObjectAnimation& animation) {
  Json list = Json::array();
  for (const Track& t : animation.tracks) {
    Json track = Json::object();
    switch (t.channel) {
      case Channel::parameter: track["param"] = t.parameterName; break;
      case Channel::points: track["points"] = true; break;
      default: track["placement"] = animation::channelName(t.channel); break;
    }
    track["interpolation"] = animation::interpolationName(t.interpolation);
    Json keys = Json::array();
    for (const Key& k : t.keys) {
      const double whole = std::floor(k.frame);
      keys.push_back(Json::array({whole == k.frame ? Json(static_cast<int64_t>(whole)) : Json(k.frame),
                                  valueJson(k.value, t.kind)}));
    }
    track["keys"] = std::move(keys);
    list.push_back(std::move(track));
  }
  return list;
}

}  // namespace kurvo::scenefile
