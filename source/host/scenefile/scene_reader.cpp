// Loading scene files (see scene_file.h).
#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "core/host_state.h"
#include "input_file.h"
#include "json_keys.h"
#include "param_json.h"
#include "scene/array.h"
#include "scene_array.h"
#include "placement.h"
#include "scene/document.h"
#include "scene_file.h"
#include "track_json.h"
#include "track_rules.h"

namespace kurvo::scenefile {
namespace {

using host::Object;

// Deeper nesting than this is refused rather than risking the stack.
constexpr int kMaxDepth = 512;

std::string parseProblem(const std::string& what) {
  // "[json.exception.parse_error.101] parse error at line 1, column 2: <problem>"
  const size_t column = what.find("column ");
  if (column != std::string::npos) {
    const size_t colon = what.find(": ", column);
    if (colon != std::string::npos) return what.substr(colon + 2);
  }
  const size_t bracket = what.find("] ");
  return bracket == std::string::npos ? what : what.substr(bracket + 2);
}

class Reader {
 public:
  Reader(host::Document& document, const host::HostState& host, const LoadOptions& options,
         const std::filesystem::path& file)
      : document_(document), host_(host), options_(options) {
    context_.file = file.string();
    context_.maxScenePoints = options.limits.maxScenePoints;
    std::error_code ec;
    base_ = std::filesystem::absolute(file, ec).parent_path();
    if (ec) base_ = file.parent_path();
    scene_.file = file;
    for (const host::RegisteredPlugin* p : host.registry.all()) {
      if (p->type == KH_PLUGINTYPE_OBJECT) objectNames_.emplace(p->name, p->id);
      if (p->type == KH_PLUGINTYPE_TAG) tagNames_.emplace(p->name, p->id);
      if (p->type == KH_PLUGINTYPE_SHADER) shaderNames_.emplace(p->name, p->id);
    }
  }

  Scene read(std::string_view text) {
    Json root;
    try {
      root = Json::parse(text.begin(), text.end());
    } catch (const Json::parse_error& e) {
      const TextPosition at = positionOf(text, e.byte > 0 ? e.byte - 1 : 0);
      throw SceneError{context_.file + ":" + std::to_string(at.line) + ":" + std::to_string(at.column) +
                       ": malformed JSON: " + parseProblem(e.what())};
    } catch (const Json::exception& e) {
      // Numbers beyond the range of a double: the parser gives no position.
      throw SceneError{context_.file + ": malformed JSON: " + parseProblem(e.what())};
    }
    if (const std::string repeated = firstRepeatedKey(text); !repeated.empty())
      throw SceneError{context_.file + ": malformed JSON: the key \"" + repeated + "\" appears twice in one object"};
    if (!root.is_object()) context_.fail("", "expected a scene object {\"format\": \"kurvo-scene\", ...}");
    context_.allowOnly(root, "", {"format", "version", "time", "camera", "materials", "objects", "frames"});
    if (!root.contains("format") || !root["format"].is_string() || root["format"] != kFormatName)
      context_.fail("format", std::string("expected \"") + kFormatName + "\"");
    if (!root.contains("version")) context_.fail("version", "missing");
    const int32_t version = context_.integer(root["version"], "version");
    if (version < 1) context_.fail("version", "expected 1");
    if (version > kFormatVersion)
      context_.fail("version", "the file is version " + std::to_string(version) + "; this kurvo reads versions up to " +
                                   std::to_string(kFormatVersion));
    if (root.contains("time")) readTime(root["time"], scene_.timeline, context_);
    if (root.contains("camera")) readCamera(root["camera"]);
    // Materials first: objects refer to them by name.
    if (root.contains("materials")) {
      const Json& materials = root["materials"];
      context_.requireArray(materials, "materials");
      for (size_t i = 0; i < materials.size(); ++i) readMaterial(materials[i], indexed("materials", i));
      context_.material.clear();
    }
    if (root.contains("objects")) {
      const Json& objects = root["objects"];
      context_.requireArray(objects, "objects");
      total_ = countObjects(objects);
      for (size_t i = 0; i < objects.size(); ++i) readObject(objects[i], nullptr, indexed("objects", i), 0);
    }
    resolveLinks();
    for (Object* a : arrays_) {
      context_.object = a->name();
      checkArray(*a, document_, scene_.timeline.find(a->serial()), context_);
    }
    return std::move(scene_);
  }

 private:
  void readCamera(const Json& camera) {
    context_.requireObject(camera, "camera");
    context_.allowOnly(camera, "camera", {"position", "target", "up", "fov"});
    if (!camera.contains("position")) context_.fail("camera.position", "missing: where the camera stands");
    if (!camera.contains("target")) context_.fail("camera.target", "missing: the point the camera looks at");
    kurvo::media::CameraPlacement placement;
    placement.position = context_.vector(camera["position"], "camera.position");
    placement.target = context_.vector(camera["target"], "camera.target");
    if (camera.contains("up")) placement.up = context_.vector(camera["up"], "camera.up");
    if (camera.contains("fov")) placement.fov_degrees = context_.number(camera["fov"], "camera.fov");
    if (const std::string problem = kurvo::media::placement_problem(placement); !problem.empty())
      context_.fail("camera", problem);
    scene_.camera = placement;
  }

  static uint64_t countObjects(const Json& list) {
    uint64_t n = 0;
    std::vector<const Json*> todo{&list};
    while (!todo.empty()) {
      const Json* l = todo.back();
      todo.pop_back();
      for (const Json& e : *l) {
        ++n;
        if (e.is_object() && e.contains("children") && e["children"].is_array()) todo.push_back(&e["children"]);
      }
    }
    return n;
  }

  int32_t objectType(const Json& entry) {
    if (!entry.contains("type")) context_.fail("type", "missing");
    const Json& t = entry["type"];
    if (t.is_string()) {
      const std::string& name = t.get_ref<const std::string&>();
      if (name == "polygon") return KH_TYPE_POLYGON;
      if (name == "spline") return splineTypeOf(entry, context_);
      if (name == "null") return KH_TYPE_NULL;
      if (name == "array") return host::kTypeArray;
      auto it = objectNames_.find(name);
      if (it != objectNames_.end()) return it->second;
      context_.fail("type", "unknown type \"" + name +
                                "\" (polygon, spline, null, array, or a registered object plug-in's name or ID)");
    }
    if (t.is_number_integer()) {
      const int32_t id = context_.integer(t, "type");
      if (host_.registry.find(KH_PLUGINTYPE_OBJECT, id)) return id;
      context_.fail("type", "no object plug-in with ID " + std::to_string(id) + " is registered");
    }
    context_.fail("type", "expected a type name or a plug-in ID");
  }

  void readObject(const Json& entry, Object* parent, const std::string& path, int depth) {
    context_.object.clear();
    context_.requireObject(entry, path);
    if (depth > kMaxDepth) context_.fail(path, "objects nested too deeply");
    if (!entry.contains("name")) context_.fail(member(path, "name"), "missing");
    const std::string& name = context_.text(entry["name"], member(path, "name"));
    if (name.empty()) context_.fail(member(path, "name"), "must not be empty");
    context_.object = name;
    if (names_.count(name)) context_.fail("name", "another object already has this name");

    const int32_t type = objectType(entry);
    const bool polygon = type == KH_TYPE_POLYGON;
    const bool array = type == host::kTypeArray;
    if (!polygon && !array && entry.contains("material"))
      context_.fail("material", "only polygon objects take a material");
    if (array && entry.contains("material") && !hasOwnGeometry(entry))
      context_.fail("material", "an array takes a material only for geometry of its own; give it to the polygon it copies");
    const bool spline = type == KH_TYPE_SPLINE || (type >= host::kTypeLinePrimitive && type <= host::kTypeHelixPrimitive);
    if (polygon)
      context_.allowOnly(entry, "", {"name", "type", "children", "tags", "params", "matrix", "position", "rotation",
                                     "scale", "deform", "deformed_points", "points", "polygons", "mesh", "mesh_name",
                                     "mesh_axes", "mesh_weld", "mesh_scale", "normals", "primitive", "material", "baked_color",
                                     "tracks"});
    else if (spline)
      context_.allowOnly(entry, "", {"name", "type", "children", "tags", "params", "matrix", "position", "rotation",
                                     "scale", "deform", "deformed_points", "points", "interpolation", "closed",
                                     "tangents_in", "tangents_out", "segments", "primitive", "tracks"});
    else if (array)
      context_.allowOnly(entry, "", {"name", "type", "children", "tags", "matrix", "position", "rotation", "scale",
                                     "tracks", "count", "fit", "path", "spacing", "spacing_mode", "offset", "axis",
                                     "points", "polygons", "mesh", "mesh_name", "mesh_axes", "mesh_weld", "mesh_scale", "primitive",
                                     "material"});
    else
      context_.allowOnly(entry, "", {"name", "type", "children", "tags", "params", "matrix", "position", "rotation",
                                     "scale", "deform", "tracks"});

    std::unique_ptr<Object> made = Object::create(type);
    if (!made) context_.fail("type", "the object could not be created");
    Object* object = document_.insert(std::move(made), parent);
    if (!object) context_.fail("type", "the object could not be inserted");
    object->setName(name);
    names_.emplace(name, object);

    if (polygon) {
      auto source = readPolygonGeometry(entry, *object, context_, base_, options_.limits);
      if (source) scene_.sources.emplace(object->serial(), std::move(*source));
    } else if (spline) {
      readSplineGeometry(entry, *object, context_, options_.limits);
    }
    // An array's own geometry is a polygon child of its own, its first, so
    // that it is copied as any source is; its tags and material go with it.
    Object* target = object;
    if (array) {
      readArrayFields(entry, *object, context_, links_);
      arrays_.push_back(object);
      if (hasOwnGeometry(entry)) {
        std::unique_ptr<Object> own = Object::create(KH_TYPE_POLYGON);
        if (!own) context_.fail("type", "the object could not be created");
        own->setName(name);
        own->setRole(host::ObjectRole::arrayGeometry);
        target = document_.insert(std::move(own), object);
        auto source = readPolygonGeometry(entry, *target, context_, base_, options_.limits);
        if (source) scene_.sources.emplace(target->serial(), std::move(*source));
      }
    }
    object->setLocalMatrix(readPlacement(entry, context_));
    if (entry.contains("params")) readParams(entry["params"], *object, description(type), context_, "params", links_);
    if (type >= host::kTypeLinePrimitive && type <= host::kTypeHelixPrimitive)
      checkSplinePrimitiveParams(*object, context_, entry.contains("params") ? "params" : "primitive", options_.limits);
    if (entry.contains("deform"))
      object->setMode(KH_MODE_KIND_DEFORM, context_.boolean(entry["deform"], "deform") ? host::kModeOn : host::kModeOff);
    if (entry.contains("tags")) readTags(entry["tags"], *target);
    if (entry.contains("material")) {
      const std::string& m = context_.text(entry["material"], "material");
      auto it = materials_.find(m);
      if (it == materials_.end()) context_.fail("material", "no material is named \"" + m + "\"");
      document_.setMaterial(*target, it->second);
    }
    if (entry.contains("tracks")) {
      scene_.timeline.objects.push_back(readTracks(entry["tracks"], entry, *object, description(type), context_));
      checkTrackValues(scene_.timeline.objects.back(), *object, context_, options_.limits);
    }

    ++done_;
    if (options_.progress) options_.progress(done_, total_);

    if (entry.contains("children")) {
      const Json& children = entry["children"];
      context_.requireArray(children, "children");
      const std::string childPath = "children of \"" + name + "\"";
      for (size_t i = 0; i < children.size(); ++i) readObject(children[i], object, indexed(childPath, i), depth + 1);
    }
  }

  // {"name": ..., "color": [r, g, b]} or {"name": ..., "color": {"shader": <ID or name>, "params": {...}}}
  void readMaterial(const Json& entry, const std::string& path) {
    context_.object.clear();
    context_.material.clear();
    context_.requireObject(entry, path);
    if (!entry.contains("name")) context_.fail(member(path, "name"), "missing");
    const std::string& name = context_.text(entry["name"], member(path, "name"));
    if (name.empty()) context_.fail(member(path, "name"), "must not be empty");
    context_.material = name;
    if (materials_.count(name)) context_.fail("name", "another material already has this name");
    context_.allowOnly(entry, "", {"name", "color"});
    if (!entry.contains("color")) context_.fail("color", "missing");
    const Json& colour = entry["color"];
    host::Material* material = nullptr;
    if (colour.is_array()) {
      const Vector plain = context_.colour(colour, "color");
      material = document_.addMaterial(name);
      if (material) material->colour = plain;
    } else if (colour.is_object()) {
      context_.allowOnly(colour, "color", {"shader", "params"});
      const int32_t id = shaderType(colour);
      std::unique_ptr<host::Shader> shader = host::Shader::create(id);
      if (!shader) context_.fail("color.shader", "the shader could not be created");
      if (colour.contains("params"))
        readParams(colour["params"], *shader, description(id), context_, "color.params", links_);
      material = document_.addMaterial(name, std::move(shader));
    } else {
      context_.fail("color", "expected a colour [r, g, b] or a shader {\"shader\": ..., \"params\": {...}}");
    }
    if (!material) context_.fail("name", "the material could not be added");
    materials_.emplace(name, material);
  }

  int32_t shaderType(const Json& colour) {
    if (!colour.contains("shader")) context_.fail("color.shader", "missing");
    const Json& t = colour["shader"];
    if (t.is_string()) {
      const std::string& name = t.get_ref<const std::string&>();
      auto it = shaderNames_.find(name);
      if (it == shaderNames_.end())
        context_.fail("color.shader", "unknown shader \"" + name + "\" (a registered shader plug-in's name or ID)");
      return it->second;
    }
    const int32_t id = context_.integer(t, "color.shader");
    if (!host_.registry.find(KH_PLUGINTYPE_SHADER, id))
      context_.fail("color.shader", "no shader plug-in with ID " + std::to_string(id) + " is registered");
    return id;
  }

  void readTags(const Json& tags, Object& object) {
    context_.requireArray(tags, "tags");
    for (size_t i = 0; i < tags.size(); ++i) {
      const Json& t = tags[i];
      const std::string f = indexed("tags", i);
      context_.requireObject(t, f);
      if (!t.contains("type")) context_.fail(member(f, "type"), "missing");
      const Json& type = t["type"];
      if (type.is_string() && type == "vertexmap") {
        context_.allowOnly(t, f, {"type", "weights"});
        readVertexMap(t, object, f);
        continue;
      }
      context_.allowOnly(t, f, {"type", "params"});
      int32_t id = 0;
      if (type.is_string()) {
        auto it = tagNames_.find(type.get<std::string>());
        if (it == tagNames_.end())
          context_.fail(member(f, "type"), "unknown tag type \"" + type.get<std::string>() +
                                               "\" (vertexmap, or a registered tag plug-in's name or ID)");
        id = it->second;
      } else {
        id = context_.integer(type, member(f, "type"));
        if (!host_.registry.find(KH_PLUGINTYPE_TAG, id))
          context_.fail(member(f, "type"), "no tag plug-in with ID " + std::to_string(id) + " is registered");
      }
      std::unique_ptr<host::Tag> made = host::Tag::create(id);
      if (!made) context_.fail(member(f, "type"), "the tag could not be created");
      host::Tag* tag = object.attachTag(std::move(made));
      if (t.contains("params")) readParams(t["params"], *tag, description(id), context_, member(f, "params"), links_);
    }
  }

  void readVertexMap(const Json& t, Object& object, const std::string& f) {
    if (!object.isPointObject()) context_.fail(f, "a vertex map needs a polygon or spline object");
    if (!t.contains("weights")) context_.fail(member(f, "weights"), "missing");
    const Json& w = t["weights"];
    const std::string wf = member(f, "weights");
    context_.requireArray(w, wf);
    const size_t count = object.points().size();
    if (w.size() != count)
      context_.fail(wf, "has " + std::to_string(w.size()) + " weights; the object has " + std::to_string(count) +
                            " points");
    std::vector<float> weights;
    weights.reserve(count);
    for (size_t i = 0; i < w.size(); ++i) weights.push_back(context_.number(w[i], indexed(wf, i)));
    std::unique_ptr<host::Tag> made = host::Tag::create(KH_TYPE_VERTEXMAP);
    if (!made) context_.fail(member(f, "type"), "the tag could not be created");
    made->weights = std::move(weights);
    object.attachTag(std::move(made));
  }

  const host::Description* description(int32_t type) const {
    auto it = host_.descriptions.find(type);
    return it == host_.descriptions.end() ? nullptr : &it->second;
  }

  void resolveLinks() {
    for (const PendingLink& link : links_) {
      auto it = names_.find(link.target);
      if (it == names_.end()) {
        context_.object = link.object;
        context_.fail(link.field, "links to \"" + link.target + "\", but no object has that name");
      }
      link.container->setLink(link.id, it->second->serial());
      link.owner->parameters().touched();
    }
  }

  host::Document& document_;
  const host::HostState& host_;
  const LoadOptions& options_;
  ReadContext context_;
  std::filesystem::path base_;
  Scene scene_;
  std::unordered_map<std::string, int32_t> objectNames_, tagNames_, shaderNames_;
  std::unordered_map<std::string, host::Material*> materials_;
  std::unordered_map<std::string, Object*> names_;
  std::vector<PendingLink> links_;
  std::vector<Object*> arrays_;
  uint64_t total_ = 0, done_ = 0;
};

}  // namespace

Result<Scene> loadSceneText(std::string_view text, const std::filesystem::path& file, host::Document& document,
                            const host::HostState& host, const LoadOptions& options) {
  try {
    Reader reader(document, host, options, file);
    return reader.read(text);
  } catch (const SceneError& e) {
    return Status::failure(e.message);
  } catch (const std::bad_alloc&) {
    return Status::failure(file.string() + ": out of memory");
  } catch (const std::exception& e) {
    return Status::failure(file.string() + ": " + e.what());
  }
}

Result<Scene> loadScene(const std::filesystem::path& file, host::Document& document, const host::HostState& host,
                        const LoadOptions& options) {
  auto text = kurvo::media::read_input_file(file, kMaxSceneFileBytes);
  if (!text) return Status::failure(file.string() + ": cannot read the scene: " + text.message());
  return loadSceneText(text.value(), file, document, host, options);
}

}  // namespace kurvo::scenefile
