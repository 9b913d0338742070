// Saving scene files (see scene_file.h).
#include <unordered_set>

#include "atomic_file.h"
#include "core/host_state.h"
#include "param_json.h"
#include "placement.h"
#include "scene/array.h"
#include "scene_array.h"
#include "scene/document.h"
#include "scene/shading.h"
#include "scene_file.h"
#include "track_json.h"

namespace kurvo::scenefile {
namespace {

using host::Object;

class Writer {
 public:
  Writer(const host::Document& document, const Scene& scene, const host::HostState& host,
         const std::filesystem::path& target, const SaveOptions& options)
      : document_(document), scene_(scene), host_(host), options_(options) {
    std::error_code ec;
    targetDirectory_ = std::filesystem::absolute(target, ec).parent_path();
    if (ec) targetDirectory_ = target.parent_path();
  }

  Json write() {
    Json root = Json::object();
    root["format"] = kFormatName;
    root["version"] = kFormatVersion;
    if (scene_.timeline.present) root["time"] = timeJson(scene_.timeline);
    if (scene_.camera) {
      const kurvo::media::CameraPlacement& c = *scene_.camera;
      root["camera"] = Json{{"position", vectorJson(c.position)},
                            {"target", vectorJson(c.target)},
                            {"up", vectorJson(c.up)},
                            {"fov", jsonFloat(c.fov_degrees)}};
    }
    if (!document_.materials().empty()) root["materials"] = materials();
    root["objects"] = objects(document_.firstObject());
    return root;
  }

  std::string problem;  // set when the document cannot be written

  // The point lists the tree holds placeholders for (see prettyJson).
  const PointLists& pointLists() const { return pointLists_; }

 private:
  Json materials() {
    Json list = Json::array();
    for (const auto& m : document_.materials()) {
      Json entry = Json::object();
      entry["name"] = m->name;
      if (const host::Shader* shader = m->shader.get()) {
        Json colour = Json::object();
        colour["shader"] = shader->type();
        Json params = writeParams(shader->parameters(), description(shader->type()), document_, nullptr);
        if (!params.empty()) colour["params"] = std::move(params);
        entry["color"] = std::move(colour);
      } else {
        entry["color"] = vectorJson(m->colour);
      }
      list.push_back(std::move(entry));
    }
    return list;
  }

  static Json vectorJson(const Vector& v) { return Json::array({jsonFloat(v.x), jsonFloat(v.y), jsonFloat(v.z)}); }

  Json objects(Object* first) {
    Json list = Json::array();
    for (Object* o = first; o && problem.empty(); o = o->nextObject()) {
      // An array's copies are made again from the array; its own geometry
      // is written on the array.
      if (o->isGenerated() || o->role() == host::ObjectRole::arrayGeometry) continue;
      list.push_back(object(*o));
    }
    return list;
  }

  Json typeOf(const Object& o) {
    if (o.isPolygon()) return "polygon";
    if (o.isSpline() || o.isPrimitive()) return "spline";
    if (o.type() == KH_TYPE_NULL) return "null";
    if (o.isArray()) return "array";
    if (o.objectRecord()) return o.type();
    problem = "object \"" + o.name() + "\": its type " + std::to_string(o.type()) + " cannot be written";
    return nullptr;
  }

  Json object(const Object& o) {
    if (!names_.insert(o.name()).second) {
      problem = "two objects are named \"" + o.name() + "\"; names must be unique";
      return nullptr;
    }
    Json entry = Json::object();
    entry["name"] = o.name();
    entry["type"] = typeOf(o);
    const animation::ObjectAnimation* anim = scene_.timeline.find(o.serial());
    if (anim && anim->restPlacement) {
      // Placement tracks start from these parts; the matrix shows a frame.
      entry["position"] = vectorJson(anim->restPlacement->position);
      entry["rotation"] = vectorJson(anim->restPlacement->rotation);
      entry["scale"] = vectorJson(anim->restPlacement->scale);
    } else if (!isIdentity(o.localMatrix())) {
      entry["matrix"] = matrixJson(o.localMatrix());
    }
    if (o.isDeformer())
      entry["deform"] = o.deformEnabled();
    else if (!o.deformEnabled() && !o.isArray())
      entry["deform"] = false;

    // What an array's own geometry carries is written as the array's.
    const Object* own = o.isArray() && o.firstChild() && o.firstChild()->role() == host::ObjectRole::arrayGeometry
                            ? o.firstChild()
                            : nullptr;
    const Object& carrier = own ? *own : o;
    if (own) {
      auto it = scene_.sources.find(own->serial());
      writePolygonGeometry(*own, it == scene_.sources.end() ? nullptr : &it->second, targetDirectory_, pointLists_,
                           entry);
    }
    if (o.isArray()) writeArrayFields(restParameters(o, anim), document_, entry);

    if (o.isPolygon()) {
      auto it = scene_.sources.find(o.serial());
      writePolygonGeometry(o, it == scene_.sources.end() ? nullptr : &it->second, targetDirectory_, pointLists_,
                           entry);
    } else if (o.isSpline() || o.isPrimitive()) {
      writeSplineGeometry(o, entry);
    }
    if (options_.deformedPoints && o.isPointObject() && o.hasRestState() && o.points() != o.restPoints())
      entry["deformed_points"] = deferredPointList(o.points(), pointLists_);
    // Only polygon objects are coloured by materials (and read one back).
    if (const host::Material* m = o.isPolygon() ? document_.materialOf(o) : own ? document_.materialOf(*own) : nullptr) {
      entry["material"] = m->name;
      if (options_.bakedColours && !own)
        if (auto baked = options_.bakedColours->bakedColour(o)) entry["baked_color"] = vectorJson(*baked);
    }

    // Spline shape and primitive sizes are written as their own fields above.
    const bool spline = o.isSpline(), primitive = o.isPrimitive();
    Json params = writeParams(restParameters(o, anim), description(o.type()), document_, [&](int32_t id) {
      if (spline) return id == host::kSplineClosed || id == host::kSplineInterpolation;
      if (primitive) return id >= host::kPrimLength && id <= host::kPrimSubdivision;
      return false;
    });
    if (!params.empty() && !o.isArray()) entry["params"] = std::move(params);

    Json tags = Json::array();
    for (host::Tag* t = carrier.firstTag(); t; t = static_cast<host::Tag*>(t->next())) {
      Json tag = Json::object();
      if (t->type() == KH_TYPE_VERTEXMAP) {
        tag["type"] = "vertexmap";
        Json weights = Json::array();
        for (float w : t->weights) weights.push_back(jsonFloat(w));
        tag["weights"] = std::move(weights);
      } else {
        tag["type"] = t->type();
        Json p = writeParams(t->parameters(), description(t->type()), document_, nullptr);
        if (!p.empty()) tag["params"] = std::move(p);
      }
      tags.push_back(std::move(tag));
    }
    if (!tags.empty()) entry["tags"] = std::move(tags);

    if (anim) {
      for (size_t k = 0; k < anim->tracks.size(); ++k)
        if (anim->tracks[k].channel == animation::Channel::points && anim->rest[k])
          entry["points"] = valueJson(*anim->rest[k], animation::ValueKind::points);
      entry["tracks"] = tracksJson(*anim);
    }

    if (o.firstChild()) entry["children"] = objects(o.firstChild());
    return entry;
  }

  // The object's parameters with every animated one at its rest value.
  static host::Container restParameters(const Object& o, const animation::ObjectAnimation* animation) {
    host::Container c = o.parameters();
    if (!animation) return c;
    for (size_t k = 0; k < animation->tracks.size(); ++k) {
      const animation::Track& t = animation->tracks[k];
      if (t.channel != animation::Channel::parameter || !animation->rest[k]) continue;
      const animation::Value& v = *animation->rest[k];
      switch (t.kind) {
        case animation::ValueKind::integer:
        case animation::ValueKind::boolean: c.set(t.parameter).setLong(std::get<int32_t>(v)); break;
        case animation::ValueKind::real: c.set(t.parameter).setReal(std::get<float>(v)); break;
        case animation::ValueKind::vector: c.set(t.parameter).setVector(ToKh(std::get<Vector>(v))); break;
        case animation::ValueKind::points: break;
      }
    }
    return c;
  }

  const host::Description* description(int32_t type) const {
    auto it = host_.descriptions.find(type);
    return it == host_.descriptions.end() ? nullptr : &it->second;
  }

  const host::Document& document_;
  const Scene& scene_;
  const host::HostState& host_;
  const SaveOptions& options_;
  std::filesystem::path targetDirectory_;
  std::unordered_set<std::string> names_;
  PointLists pointLists_;
};

}  // namespace

Result<std::string> sceneText(const host::Document& document, const Scene& scene, const std::filesystem::path& target,
                              const host::HostState& host, const SaveOptions& options) {
  try {
    Writer writer(document, scene, host, target, options);
    Json root = writer.write();
    if (!writer.problem.empty()) return Status::failure(target.string() + ": " + writer.problem);
    return prettyJson(root, writer.pointLists());
  } catch (const std::bad_alloc&) {
    return Status::failure(target.string() + ": out of memory");
  }
}

Status saveScene(const host::Document& document, const Scene& scene, const std::filesystem::path& target,
                 const host::HostState& host, const SaveOptions& options) {
  Result<std::string> text = sceneText(document, scene, target, host, options);
  if (!text) return text.status();
  return kurvo::media::write_bytes_atomically(target, text.value());
}

}  // namespace kurvo::scenefile
