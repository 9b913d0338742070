// Working on the scene in `kurvo view`: the current frame of its time, a
// spline's points and an object's placement set by dragging, and undo/redo
// of every edit.
#include <algorithm>
#include <cmath>
#include <iterator>
#include <numbers>

#include "animation/apply_frame.h"
#include "animation/placement_parts.h"
#include "view_session.h"

namespace kurvo::viewer {
namespace {

nlohmann::json vec(const KhVector& v) { return nlohmann::json::array({v.x, v.y, v.z}); }
nlohmann::json vec(const Vector& v) { return nlohmann::json::array({v.x, v.y, v.z}); }
nlohmann::json matrix(const KhMatrix& m) { return {{"off", vec(m.off)}, {"v1", vec(m.v1)}, {"v2", vec(m.v2)}, {"v3", vec(m.v3)}}; }

nlohmann::json vectors(const std::vector<Vector>& list) {
  nlohmann::json out = nlohmann::json::array();
  for (const Vector& v : list) out.push_back(vec(v));
  return out;
}

// Three finite numbers; else a message naming `field`.
bool readVector(const nlohmann::json& value, Vector& out) {
  if (!value.is_array() || value.size() != 3) return false;
  float xyz[3];
  for (int i = 0; i < 3; ++i) {
    if (!value[i].is_number()) return false;
    const double d = value[i].get<double>();
    if (!std::isfinite(d) || std::abs(d) > 1e30) return false;
    xyz[i] = static_cast<float>(d);
  }
  out = Vector(xyz[0], xyz[1], xyz[2]);
  return true;
}

std::string readVectors(const nlohmann::json& shape, const char* field, size_t count, std::vector<Vector>& out) {
  const nlohmann::json& list = shape[field];
  if (!list.is_array() || list.size() != count)
    return std::string("\"") + field + "\" is a list of " + std::to_string(count) + " points [x, y, z]";
  out.resize(count);
  for (size_t i = 0; i < count; ++i)
    if (!readVector(list[i], out[i]))
      return std::string("\"") + field + "\"[" + std::to_string(i) + "] is not three finite numbers";
  return {};
}

ObjectState::Shape shapeOf(const kurvo::host::Object& o) {
  return {o.spline().points, o.spline().tangentsIn, o.spline().tangentsOut,
          o.parameters().getLong(kurvo::host::kSplineInterpolation, 0),
          o.parameters().getBool(kurvo::host::kSplineClosed, false)};
}

constexpr const char* kInterpolations[] = {"linear", "cubic", "bezier"};

void restore(kurvo::host::Object& o, const ObjectState& state) {
  if (state.parameters) {
    o.parameters() = *state.parameters;
    o.parameters().touched();
  }
  if (state.shape) {
    // Both values at once, then one change the spline picks up.
    auto& p = o.parameters();
    if (p.getLong(kurvo::host::kSplineInterpolation, 0) != state.shape->interpolation ||
        p.getBool(kurvo::host::kSplineClosed, false) != state.shape->closed) {
      p.setLong(kurvo::host::kSplineInterpolation, state.shape->interpolation);
      p.setBool(kurvo::host::kSplineClosed, state.shape->closed);
    }
    o.spline().tangentsIn = state.shape->tangentsIn;
    o.spline().tangentsOut = state.shape->tangentsOut;
    o.setPoints(state.shape->points);
  }
  if (state.placement) o.setLocalMatrix(*state.placement);
}

}  // namespace

kurvo::animation::PlacementParts placementParts(const KhMatrix& m) {
  const double k = 180.0 / std::numbers::pi;
  auto length = [](const KhVector& v) { return std::sqrt(double(v.x) * v.x + double(v.y) * v.y + double(v.z) * v.z); };
  double s[3] = {length(m.v1), length(m.v2), length(m.v3)};
  double c[3][3] = {{m.v1.x, m.v1.y, m.v1.z}, {m.v2.x, m.v2.y, m.v2.z}, {m.v3.x, m.v3.y, m.v3.z}};
  // A mirrored placement: the mirror goes to the X scale.
  const double det = c[0][0] * (c[1][1] * c[2][2] - c[1][2] * c[2][1]) -
                     c[1][0] * (c[0][1] * c[2][2] - c[0][2] * c[2][1]) +
                     c[2][0] * (c[0][1] * c[1][2] - c[0][2] * c[1][1]);
  if (det < 0) s[0] = -s[0];
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) c[i][j] = s[i] != 0.0 ? c[i][j] / s[i] : (i == j ? 1.0 : 0.0);
  // Columns of Rz * Ry * Rx: c0 = (cz cy, sz cy, -sy), c1.z = cy sx, c2.z = cy cx.
  double rx = 0.0, ry = std::asin(std::clamp(-c[0][2], -1.0, 1.0)), rz = 0.0;
  if (std::abs(c[0][2]) < 1.0 - 1e-9) {
    rx = std::atan2(c[1][2], c[2][2]);
    rz = std::atan2(c[0][1], c[0][0]);
  } else {
    // Straight up or down: X and Z turn about the same axis; all of it goes to Z.
    rz = std::atan2(-c[1][0], c[1][1]);
  }
  // Whole-ish numbers as the user typed them, not their float shadows.
  auto tidy = [](double v) {
    const double r = std::round(v * 1e4) / 1e4;
    return static_cast<float>(std::abs(v - r) < 1e-5 ? r : v) + 0.0f;
  };
  return {FromKh(m.off), Vector(tidy(rx * k), tidy(ry * k), tidy(rz * k)),
          Vector(tidy(s[0]), tidy(s[1]), tidy(s[2]))};
}

nlohmann::json ViewSession::timeState() const {
  const auto& t = scene_.timeline;
  return {{"present", t.present || t.animated()}, {"fps", t.fps},        {"start", t.start},
          {"end", t.end},                        {"frame", frame_},     {"undo", history_.undoCount()},
          {"redo", history_.redoCount()}};
}

EditAnswer ViewSession::setFrame(double frame) {
  const auto& t = scene_.timeline;
  if (!std::isfinite(frame) || frame != std::floor(frame) || frame < t.start || frame > t.end)
    return {scene_.file.string() + ": frame " + nlohmann::json(frame).dump() + " is not a whole frame of the scene's time (" + std::to_string(static_cast<long long>(t.start)) + " to " +
                std::to_string(static_cast<long long>(t.end)) + ")",
            {}};
  frame_ = frame;
  if (t.animated()) animation::applyFrame(*document_, t, frame);
  document_->evaluate();
  return {{}, geometry(false)};
}

kurvo::media::Result<nlohmann::json> ViewSession::objectShape(uint64_t serial) {
  kurvo::host::Object* object = find(serial);
  if (!object) return kurvo::media::Status::failure("no object with id " + std::to_string(serial) + " in the scene");
  const KhMatrix identity{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  nlohmann::json out = {{"object", serial},
                        {"name", object->name()},
                        {"local", matrix(object->localMatrix())},
                        {"parent", matrix(object->parent() ? object->parent()->globalMatrix() : identity)},
                        {"editable", !object->isGenerated()},
                        {"kind", objectKind(*object)}};
  const kurvo::animation::PlacementParts p = currentParts(*object);
  out["placement"] = {{"position", vec(p.position)}, {"rotation", vec(p.rotation)}, {"scale", vec(p.scale)}};
  // What a track drives: an edit of it sets the key at the current frame.
  nlohmann::json animated = nlohmann::json::object();
  if (const kurvo::animation::ObjectAnimation* a = animationOf(serial))
    for (const kurvo::animation::Track& t : a->tracks)
      if (t.channel != kurvo::animation::Channel::parameter) animated[kurvo::animation::channelName(t.channel)] = true;
  out["animated"] = std::move(animated);
  if (object->isSpline()) {
    const auto& s = object->spline();
    const int32_t interpolation = std::clamp(object->parameters().getLong(kurvo::host::kSplineInterpolation, 0), 0, 2);
    out["spline"] = {{"points", vectors(s.points)},
                     {"tangents_in", vectors(s.tangentsIn)},
                     {"tangents_out", vectors(s.tangentsOut)},
                     {"bezier", s.interpolation == kurvo::geo::Interpolation::Bezier},
                     {"interpolation", kInterpolations[interpolation]},
                     {"closed", s.closed}};
  }
  return out;
}

EditAnswer ViewSession::setShape(uint64_t serial, const nlohmann::json& shape) {
  kurvo::host::Object* object = find(serial);
  if (!object) return {"no object with id " + std::to_string(serial) + " in the scene", {}};
  if (object->isGenerated())
    return {"\"" + object->name() + "\" is made by its array and read-only: edit the array or what it copies", {}};
  if (!shape.is_object()) return {"a shape edit is {\"points\": ...} or {\"position\", \"rotation\", \"scale\"}", {}};
  const std::string where = scene_.file.string() + ": " + object->name() + ": ";
  EditStep step;
  step.object = serial;
  if (shape.contains("gesture") && shape["gesture"].is_number_integer() && shape["gesture"].get<int64_t>() > 0)
    step.gesture = shape["gesture"].get<uint64_t>();

  const bool splineEdit = shape.contains("points") || shape.contains("closed") || shape.contains("interpolation");
  if (splineEdit) {
    if (object->isPrimitive())
      return {where + "a spline primitive takes its shape from its values: edit them in the panel", {}};
    if (!object->isSpline())
      return {where + (shape.contains("points") ? "only a spline's points are set here"
                                                : "only a spline has an interpolation and a closed flag"),
              {}};
    const size_t n = object->spline().points.size();
    ObjectState::Shape next = shapeOf(*object);
    if (shape.contains("points"))
      if (auto e = readVectors(shape, "points", n, next.points); !e.empty()) return {where + e, {}};
    if (shape.contains("closed")) {
      if (!shape["closed"].is_boolean()) return {where + "\"closed\" is true or false", {}};
      next.closed = shape["closed"].get<bool>();
    }
    if (shape.contains("interpolation")) {
      const nlohmann::json& mode = shape["interpolation"];
      const auto* found = mode.is_string() ? std::find(std::begin(kInterpolations), std::end(kInterpolations),
                                                       mode.get<std::string>())
                                           : std::end(kInterpolations);
      if (found == std::end(kInterpolations))
        return {where + "\"interpolation\" is \"linear\", \"cubic\" or \"bezier\"", {}};
      next.interpolation = static_cast<int32_t>(found - std::begin(kInterpolations));
    }
    for (const char* field : {"tangents_in", "tangents_out"}) {
      if (!shape.contains(field)) continue;
      auto& list = field[9] == 'i' ? next.tangentsIn : next.tangentsOut;
      if (auto e = readVectors(shape, field, n, list); !e.empty()) return {where + e, {}};
    }
    // Tangents are both given or both left empty.
    if (next.tangentsIn.empty() != next.tangentsOut.empty())
      (next.tangentsIn.empty() ? next.tangentsIn : next.tangentsOut).assign(n, Vector(0.0f, 0.0f, 0.0f));
    step.before.shape = shapeOf(*object);
    step.after.shape = std::move(next);
  }
  if (shape.contains("position") || shape.contains("rotation") || shape.contains("scale")) {
    // The parts an edit leaves out stay as they are.
    const kurvo::animation::PlacementParts now = currentParts(*object);
    Vector parts[3] = {now.position, now.rotation, now.scale};
    const char* names[3] = {"position", "rotation", "scale"};
    for (int i = 0; i < 3; ++i)
      if (shape.contains(names[i]) && !readVector(shape[names[i]], parts[i]))
        return {where + "\"" + names[i] + "\" is [x, y, z], three finite numbers (rotation in degrees)", {}};
    step.before.placement = object->localMatrix();
    if (const auto p = parts_.find(serial); p != parts_.end()) step.before.parts = p->second;
    step.after.placement = kurvo::animation::composePlacement(parts[0], parts[1], parts[2]);
    step.after.parts = kurvo::animation::PlacementParts{parts[0], parts[1], parts[2]};
  }
  if (!step.after.shape && !step.after.placement)
    return {where + "the edit names no points, interpolation, closed flag or placement", {}};
  // An animated object: every placement and points track as it was, and the
  // parts its placement starts from, whatever part this step of a drag moves.
  kurvo::animation::ObjectAnimation* animation = animationOf(serial);
  if (animation) {
    step.before.channelKeys = channelKeysOf(serial);
    step.before.rest = animation->restPlacement;
  }
  const std::vector<Vector> pointsBefore = object->isSpline() ? object->spline().points : std::vector<Vector>{};
  const kurvo::animation::PlacementParts partsBefore = currentParts(*object);
  noteRestore(*object, step, step.after);
  restore(*object, step.after);
  if (animation) {
    using kurvo::animation::Channel;
    // A part with a track is keyed at the current frame when the edit changed
    // it; a part without one is the placement the tracks start from.
    if (step.after.parts) {
      const Vector after[3] = {step.after.parts->position, step.after.parts->rotation, step.after.parts->scale};
      const Vector was[3] = {partsBefore.position, partsBefore.rotation, partsBefore.scale};
      const Channel channels[3] = {Channel::position, Channel::rotation, Channel::scale};
      for (int i = 0; i < 3; ++i) {
        if (channelTrack(serial, channels[i])) {
          if (!(after[i] == was[i])) keyChannel(serial, channels[i], after[i]);
        } else if (animation->restPlacement) {
          loadedRest_.try_emplace(serial, *animation->restPlacement);
          Vector* rest[3] = {&animation->restPlacement->position, &animation->restPlacement->rotation,
                             &animation->restPlacement->scale};
          *rest[i] = after[i];
        }
      }
    }
    if (step.after.shape && channelTrack(serial, Channel::points) && step.after.shape->points != pointsBefore)
      keyChannel(serial, Channel::points, step.after.shape->points);
    step.after.channelKeys = channelKeysOf(serial);
    step.after.rest = animation->restPlacement;
  }
  history_.record(std::move(step));
  document_->evaluate();
  return {{}, geometry(false)};
}

kurvo::animation::ObjectAnimation* ViewSession::animationOf(uint64_t serial) const {
  for (auto& o : scene_.timeline.objects)
    if (o.object == serial) return &o;
  return nullptr;
}

kurvo::animation::Track* ViewSession::channelTrack(uint64_t serial, kurvo::animation::Channel channel) const {
  if (kurvo::animation::ObjectAnimation* a = animationOf(serial))
    for (auto& t : a->tracks)
      if (t.channel == channel) return &t;
  return nullptr;
}

ObjectState::ChannelKeys ViewSession::channelKeysOf(uint64_t serial) const {
  ObjectState::ChannelKeys keys;
  if (const kurvo::animation::ObjectAnimation* a = animationOf(serial))
    for (const auto& t : a->tracks)
      if (t.channel != kurvo::animation::Channel::parameter) keys.emplace_back(t.channel, t.keys);
  return keys;
}

void ViewSession::restoreChannelKeys(uint64_t serial, const ObjectState& state) {
  if (state.channelKeys)
    for (const auto& [channel, list] : *state.channelKeys)
      if (kurvo::animation::Track* track = channelTrack(serial, channel)) track->keys = list;
  if (state.rest)
    if (kurvo::animation::ObjectAnimation* a = animationOf(serial)) a->restPlacement = state.rest;
}

void ViewSession::keyChannel(uint64_t serial, kurvo::animation::Channel channel, kurvo::animation::Value value) {
  kurvo::animation::Track* track = channelTrack(serial, channel);
  if (!track) return;
  loadedChannelKeys_.try_emplace({serial, channel}, track->keys);
  auto at = std::find_if(track->keys.begin(), track->keys.end(),
                         [this](const kurvo::animation::Key& k) { return k.frame >= frame_; });
  if (at != track->keys.end() && at->frame == frame_)
    at->value = std::move(value);
  else
    track->keys.insert(at, kurvo::animation::Key{frame_, std::move(value)});
  std::vector<double>& frames = channelKeyed_[{serial, channel}];
  if (std::find(frames.begin(), frames.end(), frame_) == frames.end()) frames.push_back(frame_);
}

kurvo::animation::PlacementParts ViewSession::currentParts(const kurvo::host::Object& object) const {
  using kurvo::animation::Channel;
  if (const kurvo::animation::ObjectAnimation* a = animationOf(object.serial()); a && a->restPlacement) {
    kurvo::animation::PlacementParts p = *a->restPlacement;
    for (const auto& t : a->tracks) {
      if (t.channel != Channel::position && t.channel != Channel::rotation && t.channel != Channel::scale) continue;
      const Vector v = std::get<Vector>(t.sample(frame_));
      (t.channel == Channel::position ? p.position : t.channel == Channel::rotation ? p.rotation : p.scale) = v;
    }
    return p;
  }
  const auto parts = parts_.find(object.serial());
  return parts != parts_.end() ? parts->second : placementParts(object.localMatrix());
}

void ViewSession::recordParameters(uint64_t serial, const kurvo::host::Container& before,
                                   const std::vector<int32_t>& ids, ObjectState::Keys keysBefore) {
  kurvo::host::Object* object = find(serial);
  if (!object) return;
  EditStep step;
  step.object = serial;
  step.ids = ids;
  step.before.parameters = before;
  step.after.parameters = object->parameters();
  if (!keysBefore.empty()) {
    step.after.keys = keysOf(serial, ids);
    step.before.keys = std::move(keysBefore);
  }
  history_.record(std::move(step));
}

ObjectState::Keys ViewSession::keysOf(uint64_t serial, const std::vector<int32_t>& ids) {
  ObjectState::Keys keys;
  for (int32_t id : ids)
    if (const kurvo::animation::Track* track = trackOf(serial, id)) keys.emplace_back(id, track->keys);
  return keys;
}

void ViewSession::restoreKeys(uint64_t serial, const ObjectState::Keys& keys) {
  for (const auto& [id, list] : keys)
    if (kurvo::animation::Track* track = trackOf(serial, id)) track->keys = list;
}

// Whatever an edit, an undo or a redo sets is noted as edited, starting from
// the state it leaves, so a save after any of them writes the object as shown
// (and a value back at the file's is left as the file wrote it).
void ViewSession::noteRestore(kurvo::host::Object& object, const EditStep& step, const ObjectState& to) {
  const uint64_t serial = object.serial();
  if (to.parameters) noteEdit(object, object.parameters(), step.ids);
  if (to.shape) loadedShape_.try_emplace(serial, shapeOf(object));
  if (to.placement) {
    loadedPlacement_.try_emplace(serial, object.localMatrix());
    if (to.parts)
      parts_[serial] = *to.parts;
    else
      parts_.erase(serial);
  }
  if (to.channelKeys)
    for (const auto& [channel, list] : *to.channelKeys) {
      const kurvo::animation::Track* track = channelTrack(serial, channel);
      if (!track) continue;
      loadedChannelKeys_.try_emplace({serial, channel}, track->keys);
      std::vector<double>& frames = channelKeyed_[{serial, channel}];
      for (const auto* keys : {&track->keys, &list})
        for (const kurvo::animation::Key& k : *keys)
          if (std::find(frames.begin(), frames.end(), k.frame) == frames.end()) frames.push_back(k.frame);
    }
  if (to.rest)
    if (const kurvo::animation::ObjectAnimation* a = animationOf(serial); a && a->restPlacement)
      loadedRest_.try_emplace(serial, *a->restPlacement);
  if (to.keys)
    for (const auto& [id, list] : *to.keys) {
      const kurvo::animation::Track* track = trackOf(serial, id);
      if (!track) continue;
      loadedKeys_.try_emplace({serial, id}, track->keys);
      std::vector<double>& frames = keyed_[{serial, id}];
      for (const auto* keys : {&track->keys, &list})
        for (const kurvo::animation::Key& k : *keys)
          if (std::find(frames.begin(), frames.end(), k.frame) == frames.end()) frames.push_back(k.frame);
    }
}

// Animated values follow the current frame, whatever an undo gave back.
void ViewSession::showCurrentFrame() {
  if (scene_.timeline.animated()) animation::applyFrame(*document_, scene_.timeline, frame_);
}

EditAnswer ViewSession::undo() {
  const EditStep* step = history_.undo();
  if (!step) return {"nothing to undo", {}};
  if (kurvo::host::Object* object = find(step->object)) {
    noteRestore(*object, *step, step->before);
    restore(*object, step->before);
    if (step->before.keys) restoreKeys(step->object, *step->before.keys);
    restoreChannelKeys(step->object, step->before);
  }
  showCurrentFrame();
  document_->evaluate();
  return {{}, geometry(false)};
}

EditAnswer ViewSession::redo() {
  const EditStep* step = history_.redo();
  if (!step) return {"nothing to redo", {}};
  if (kurvo::host::Object* object = find(step->object)) {
    noteRestore(*object, *step, step->after);
    restore(*object, step->after);
    if (step->after.keys) restoreKeys(step->object, *step->after.keys);
    restoreChannelKeys(step->object, step->after);
  }
  showCurrentFrame();
  document_->evaluate();
  return {{}, geometry(false)};
}

void ViewSession::replaceDocument(kurvo::host::Document& document) {
  closePanel();
  history_.clear();
  forgetEdits();
  sent_.clear();
  sentSerials_.clear();
  sentFaces_.clear();
  document_ = &document;
  const auto& t = scene_.timeline;
  if (frame_ < t.start || frame_ > t.end) frame_ = t.start;
  if (t.animated()) animation::applyFrame(*document_, t, frame_);
  document_->generate();
  document_->evaluate();
}

}  // namespace kurvo::viewer
