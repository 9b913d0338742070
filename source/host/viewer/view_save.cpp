// Saving what the user wrote: a scene (.json) is the scene file as it lies on
// disk with only the values edited in the viewer changed, so positions stay
// positions, values the file left to their defaults stay unwritten, and
// nothing the evaluation made (deformed points, read-outs, reserved
// parameters) is added. A value edited and then set back before the next
// save is left as the file had it.
#include <algorithm>
#include <cctype>
#include <cmath>

#include "access.h"
#include "atomic_file.h"
#include "input_file.h"
#include "param_json.h"
#include "placement.h"
#include "timeline.h"
#include "scene_file.h"
#include "view_session.h"

namespace kurvo::viewer {
namespace {

using Json = nlohmann::ordered_json;
using kurvo::scenefile::jsonFloat;

// The first object called `name` in the file's tree order, as links find them.
Json* objectNamed(Json& objects, const std::string& name) {
  if (!objects.is_array()) return nullptr;
  for (Json& o : objects) {
    if (!o.is_object()) continue;
    if (o.contains("name") && o["name"] == name) return &o;
    if (o.contains("children"))
      if (Json* found = objectNamed(o["children"], name)) return found;
  }
  return nullptr;
}

// Mesh files named relative to the scene, renamed relative to the new file's folder.
void rebaseMeshes(Json& objects, const std::filesystem::path& from, const std::filesystem::path& to) {
  if (!objects.is_array()) return;
  for (Json& o : objects) {
    if (!o.is_object()) continue;
    if (o.contains("mesh") && o["mesh"].is_string()) {
      const std::filesystem::path mesh = std::filesystem::u8path(o["mesh"].get<std::string>());
      if (mesh.is_relative())
        o["mesh"] = (from / mesh).lexically_normal().lexically_relative(to).generic_string();
    }
    if (o.contains("children")) rebaseMeshes(o["children"], from, to);
  }
}

// A key's value as scene files write it.
Json keyValue(const kurvo::animation::Track& track, const kurvo::animation::Value& value) {
  using kurvo::animation::ValueKind;
  using kurvo::scenefile::jsonFloat;
  switch (track.kind) {
    case ValueKind::integer: return std::get<int32_t>(value);
    case ValueKind::boolean: return std::get<int32_t>(value) != 0;
    case ValueKind::real: return jsonFloat(std::get<float>(value));
    case ValueKind::vector: {
      const Vector v = std::get<Vector>(value);
      return Json::array({jsonFloat(v.x), jsonFloat(v.y), jsonFloat(v.z)});
    }
    case ValueKind::points: {
      Json list = Json::array();
      for (const Vector& p : std::get<std::vector<Vector>>(value))
        list.push_back(Json::array({jsonFloat(p.x), jsonFloat(p.y), jsonFloat(p.z)}));
      return list;
    }
  }
  return nullptr;
}

// The key at `frame` of a track's "keys" in the file set to `value`, or added in frame order.
void setFileKey(Json& keys, double frame, Json value) {
  if (!keys.is_array()) keys = Json::array();
  size_t at = 0;
  for (; at < keys.size(); ++at) {
    const Json& k = keys[at];
    if (!k.is_array() || k.empty() || !k[0].is_number()) continue;
    const double f = k[0].get<double>();
    if (f == frame) {
      if (k.size() > 1)
        keys[at][1] = std::move(value);
      else
        keys[at].push_back(std::move(value));
      return;
    }
    if (f > frame) break;
  }
  const Json key = frame == std::floor(frame) ? Json::array({static_cast<int64_t>(frame), value})
                                              : Json::array({frame, value});
  keys.insert(keys.begin() + static_cast<std::ptrdiff_t>(at), key);
}

const kurvo::animation::Key* keyAt(const std::vector<kurvo::animation::Key>& keys, double frame) {
  for (const kurvo::animation::Key& k : keys)
    if (k.frame == frame) return &k;
  return nullptr;
}

void eraseFileKey(Json& keys, double frame) {
  if (!keys.is_array()) return;
  for (size_t at = 0; at < keys.size(); ++at)
    if (keys[at].is_array() && !keys[at].empty() && keys[at][0].is_number() && keys[at][0].get<double>() == frame) {
      keys.erase(keys.begin() + static_cast<std::ptrdiff_t>(at));
      return;
    }
}

// Into a track's "keys" in the file: the keys an edit set at `frames`, each
// only when it is not as loaded (a key added and taken back is removed again).
void writeKeys(Json& fileTrack, const kurvo::animation::Track& track, const std::vector<double>& frames,
               const std::vector<kurvo::animation::Key>* loaded) {
  for (double frame : frames) {
    const kurvo::animation::Key* now = keyAt(track.keys, frame);
    const kurvo::animation::Key* was = loaded ? keyAt(*loaded, frame) : nullptr;
    if (now && was && now->value == was->value) continue;  // as the file has it
    if (now)
      setFileKey(fileTrack["keys"], frame, keyValue(track, now->value));
    else if (was)
      eraseFileKey(fileTrack["keys"], frame);
  }
}

bool isJson(const std::filesystem::path& file) {
  std::string ext = file.extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
  return ext == ".json";
}

}  // namespace

void ViewSession::noteEdit(const kurvo::host::Object& object, const kurvo::host::Container& before,
                           const std::vector<int32_t>& ids) {
  loaded_.try_emplace(object.serial(), before);  // as loaded: the state before the first edit
  std::vector<int32_t>& edited = edited_[object.serial()];
  for (int32_t id : ids)
    if (std::find(edited.begin(), edited.end(), id) == edited.end()) edited.push_back(id);
}

nlohmann::ordered_json ViewSession::paramValue(const kurvo::host::Container& params,
                                               const kurvo::host::Description* description, int32_t id) const {
  const Json one = kurvo::scenefile::writeParams(params, description, *document_, [id](int32_t k) { return k != id; });
  return one.empty() ? Json() : one.begin().value();
}

kurvo::media::Status ViewSession::saveAsWritten(const std::filesystem::path& file) {
  using kurvo::media::Status;
  const std::string scene = scene_.file.string();
  auto text = kurvo::media::read_input_file(scene_.file, kurvo::scenefile::kMaxSceneFileBytes);
  if (!text) return Status::failure("save: " + scene + ": " + text.message());
  Json out = Json::parse(text.value(), nullptr, false);
  if (out.is_discarded() || !out.is_object() || !out.contains("objects"))
    return Status::failure("save: " + scene + " is no longer a scene file; export under another name instead");

  // An object the file no longer names cannot be saved as written.
  const auto missingObject = [&scene](const kurvo::host::Object& object) {
    return Status::failure("save: " + scene + ": object \"" + object.name() +
                           "\" is no longer in the file; export under another name instead");
  };
  const auto& descriptions = session_.state().descriptions;
  for (const auto& [serial, ids] : edited_) {
    const kurvo::host::Object* object = find(serial);
    if (!object) continue;
    Json* node = objectNamed(out["objects"], object->name());
    if (!node) return missingObject(*object);
    const auto d = descriptions.find(object->type());
    const kurvo::host::Description* description = d == descriptions.end() ? nullptr : &d->second;
    for (int32_t id : ids) {
      // An animated value: its track gets the keys the edits set; the file's
      // value at rest stays.
      if (const kurvo::animation::Track* track = trackOf(serial, id)) {
        Json* fileTrack = nullptr;
        if (node->contains("tracks") && (*node)["tracks"].is_array())
          for (Json& t : (*node)["tracks"])
            if (t.is_object() && t.contains("param") && t["param"] == track->parameterName) fileTrack = &t;
        if (!fileTrack)
          return Status::failure("save: " + scene + ": object \"" + object->name() + "\" has no track \"" +
                                 track->parameterName + "\" any more; export under another name instead");
        const auto loaded = loadedKeys_.find({serial, id});
        writeKeys(*fileTrack, *track, keyed_[{serial, id}], loaded == loadedKeys_.end() ? nullptr : &loaded->second);
        continue;
      }
      const Json now = paramValue(object->parameters(), description, id);
      if (now == paramValue(loaded_.at(serial), description, id)) continue;  // as the file has it
      const kurvo::host::DescParameter* p = description ? description->findById(id) : nullptr;
      const std::string number = std::to_string(id);
      const std::string symbol = p && !p->symbol.empty() ? p->symbol : number;
      Json& params = (*node)["params"];
      if (!params.is_object()) params = Json::object();
      // The key as the file wrote it: its symbol or its ID.
      const std::string key = params.contains(symbol) || !params.contains(number) ? symbol : number;
      if (now.is_null() && !object->parameters().find(id))
        params.erase(key);
      else
        params[key] = now;
    }
  }
  std::vector<uint64_t> moved;
  for (const auto& [serial, shape] : loadedShape_) moved.push_back(serial);
  for (const auto& [serial, placement] : loadedPlacement_)
    if (!loadedShape_.count(serial)) moved.push_back(serial);
  for (uint64_t serial : moved) {
    const kurvo::host::Object* object = find(serial);
    if (!object) continue;
    Json* node = objectNamed(out["objects"], object->name());
    if (!node) return missingObject(*object);
    if (Status s = saveShape(*object, *node); !s) return s;
    if (Status s = saveChannelKeys(*object, *node); !s) return s;
  }
  const std::filesystem::path from = std::filesystem::absolute(scene_.file).parent_path();
  const std::filesystem::path to = file.parent_path();
  if (resolvedPath(from) != resolvedPath(to)) rebaseMeshes(out["objects"], resolvedPath(from), resolvedPath(to));
  const Status written = kurvo::media::write_bytes_atomically(file, out.dump(2) + "\n");
  if (!written) return Status::failure("save: " + written.message());
  // The scene file now holds the edits: later saves start from it.
  if (resolvedPath(file) == resolvedPath(scene_.file)) forgetEdits();
  return Status::success();
}

void ViewSession::forgetEdits() {
  loaded_.clear();
  edited_.clear();
  keyed_.clear();
  loadedKeys_.clear();
  loadedShape_.clear();
  loadedPlacement_.clear();
  parts_.clear();
  channelKeyed_.clear();
  loadedChannelKeys_.clear();
  loadedRest_.clear();
}

kurvo::media::Status ViewSession::saveChannelKeys(const kurvo::host::Object& object, Json& node) const {
  const uint64_t serial = object.serial();
  for (auto at = channelKeyed_.lower_bound({serial, kurvo::animation::Channel::parameter});
       at != channelKeyed_.end() && at->first.first == serial; ++at) {
    const kurvo::animation::Channel channel = at->first.second;
    const kurvo::animation::Track* track = channelTrack(serial, channel);
    if (!track) continue;
    const bool points = channel == kurvo::animation::Channel::points;
    const char* name = kurvo::animation::channelName(channel);
    Json* fileTrack = nullptr;
    if (node.contains("tracks") && node["tracks"].is_array())
      for (Json& t : node["tracks"])
        if (t.is_object() && (points ? t.contains("points") : t.contains("placement") && t["placement"] == name))
          fileTrack = &t;
    if (!fileTrack)
      return kurvo::media::Status::failure("save: " + scene_.file.string() + ": object \"" + object.name() +
                                           "\" has no " + name + " track any more; export under another name instead");
    const auto loaded = loadedChannelKeys_.find(at->first);
    writeKeys(*fileTrack, *track, at->second, loaded == loadedChannelKeys_.end() ? nullptr : &loaded->second);
  }
  return kurvo::media::Status::success();
}

kurvo::media::Status ViewSession::saveShape(const kurvo::host::Object& object, Json& node) const {
  const uint64_t serial = object.serial();
  if (const auto loaded = loadedShape_.find(serial); loaded != loadedShape_.end()) {
    const auto& s = object.spline();
    // Only the points (and tangents) that moved; a list the file lacks or
    // holds in another length is written whole.
    auto write = [&node](const char* key, const std::vector<Vector>& now, const std::vector<Vector>& was) {
      if (now == was) return;
      Json& list = node[key];
      const bool whole = !list.is_array() || list.size() != now.size() || was.size() != now.size();
      if (whole) list = Json::array();
      for (size_t i = 0; i < now.size(); ++i) {
        if (!whole && now[i] == was[i]) continue;
        Json p = Json::array({jsonFloat(now[i].x), jsonFloat(now[i].y), jsonFloat(now[i].z)});
        if (whole)
          list.push_back(std::move(p));
        else
          list[i] = std::move(p);
      }
    };
    // Animated points: the file's points at rest stay, the edit is a key.
    if (!channelTrack(serial, kurvo::animation::Channel::points)) write("points", s.points, loaded->second.points);
    write("tangents_in", s.tangentsIn, loaded->second.tangentsIn);
    write("tangents_out", s.tangentsOut, loaded->second.tangentsOut);
    // The flags only when they changed; a value back at the file's stays as the file wrote it.
    const bool closed = object.parameters().getBool(kurvo::host::kSplineClosed, false);
    if (closed != loaded->second.closed) node["closed"] = closed;
    const int32_t interpolation = object.parameters().getLong(kurvo::host::kSplineInterpolation, 0);
    if (interpolation != loaded->second.interpolation) {
      static constexpr const char* kNames[] = {"linear", "cubic", "bezier"};
      node["interpolation"] = kNames[std::clamp(interpolation, 0, 2)];
    }
  }
  const kurvo::animation::ObjectAnimation* animation = animationOf(serial);
  if (animation && animation->restPlacement) {
    // An animated placement: the parts without a track as they now start
    // from, each only when the file writes it or it changed; the others are keys.
    using kurvo::animation::Channel;
    const kurvo::animation::PlacementParts& p = *animation->restPlacement;
    const auto was = loadedRest_.find(serial);
    const kurvo::animation::PlacementParts& before = was != loadedRest_.end() ? was->second : p;
    auto vec = [](const Vector& v) { return Json::array({jsonFloat(v.x), jsonFloat(v.y), jsonFloat(v.z)}); };
    const std::pair<const char*, Channel> parts[] = {
        {"position", Channel::position}, {"rotation", Channel::rotation}, {"scale", Channel::scale}};
    const Vector now[] = {p.position, p.rotation, p.scale}, then[] = {before.position, before.rotation, before.scale};
    for (int i = 0; i < 3; ++i) {
      const auto& [key, channel] = parts[i];
      if (channelTrack(serial, channel) || now[i] == then[i]) continue;
      if (i == 2 && node.contains("scale") && node["scale"].is_number() && now[i].x == now[i].y && now[i].y == now[i].z)
        node["scale"] = jsonFloat(now[i].x);
      else
        node[key] = vec(now[i]);
    }
    return kurvo::media::Status::success();
  }
  if (const auto loaded = loadedPlacement_.find(serial); loaded != loadedPlacement_.end()) {
    const KhMatrix& m = object.localMatrix();
    const KhMatrix& was = loaded->second;
    auto same = [](const KhVector& a, const KhVector& b) { return a.x == b.x && a.y == b.y && a.z == b.z; };
    if (same(m.off, was.off) && same(m.v1, was.v1) && same(m.v2, was.v2) && same(m.v3, was.v3))
      return kurvo::media::Status::success();
    const auto parts = parts_.find(serial);
    if (node.contains("matrix") || parts == parts_.end()) {
      node["matrix"] = kurvo::scenefile::matrixJson(m);
    } else {
      // Positions stay positions: the parts as the user set them, each only
      // when the file writes it or it changed (a part the file left out
      // stays out while it is still its default).
      auto vec = [](const Vector& v) { return Json::array({jsonFloat(v.x), jsonFloat(v.y), jsonFloat(v.z)}); };
      const kurvo::animation::PlacementParts& p = parts->second;
      const kurvo::animation::PlacementParts before = placementParts(was);
      auto differs = [](const Vector& a, const Vector& b, float tolerance) {
        return std::abs(a.x - b.x) > tolerance || std::abs(a.y - b.y) > tolerance || std::abs(a.z - b.z) > tolerance;
      };
      if (node.contains("position") || differs(p.position, before.position, 0.0f)) node["position"] = vec(p.position);
      if (node.contains("rotation") || differs(p.rotation, before.rotation, 1e-4f)) node["rotation"] = vec(p.rotation);
      if (node.contains("scale") || differs(p.scale, before.scale, 1e-6f)) {
        if (node.contains("scale") && node["scale"].is_number() && p.scale.x == p.scale.y && p.scale.y == p.scale.z)
          node["scale"] = jsonFloat(p.scale.x);
        else
          node["scale"] = vec(p.scale);
      }
    }
  }
  return kurvo::media::Status::success();
}

kurvo::animation::Track* ViewSession::trackOf(uint64_t serial, int32_t id) {
  for (auto& o : scene_.timeline.objects)
    if (o.object == serial)
      for (auto& t : o.tracks)
        if (t.channel == kurvo::animation::Channel::parameter && t.parameter == id) return &t;
  return nullptr;
}

void ViewSession::keyEdited(const kurvo::host::Object& object, const std::vector<int32_t>& ids) {
  using kurvo::animation::ValueKind;
  for (int32_t id : ids) {
    kurvo::animation::Track* track = trackOf(object.serial(), id);
    const kurvo::host::Data* data = object.parameters().find(id);
    if (!track || !data) continue;
    loadedKeys_.try_emplace({object.serial(), id}, track->keys);
    kurvo::animation::Value value;
    switch (track->kind) {
      case ValueKind::integer:
      case ValueKind::boolean: value = data->getLong(); break;
      case ValueKind::real: value = data->getReal(); break;
      case ValueKind::vector: value = FromKh(data->getVector()); break;
      case ValueKind::points: continue;
    }
    auto at = std::find_if(track->keys.begin(), track->keys.end(),
                           [this](const kurvo::animation::Key& k) { return k.frame >= frame_; });
    if (at != track->keys.end() && at->frame == frame_)
      at->value = value;
    else
      track->keys.insert(at, kurvo::animation::Key{frame_, value});
    std::vector<double>& frames = keyed_[{object.serial(), id}];
    if (std::find(frames.begin(), frames.end(), frame_) == frames.end()) frames.push_back(frame_);
  }
}

bool ViewSession::savesAsWritten(const std::filesystem::path& file) { return isJson(file); }

}  // namespace kurvo::viewer
