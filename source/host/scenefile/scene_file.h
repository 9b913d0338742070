// Scene files: a document as JSON (see docs/scene-format.md).
//
//   {"format": "kurvo-scene", "version": 1, "materials": [ ... ], "objects": [ ... ]}
//
// Loading builds the objects, their tags and parameters in a document of the
// current host session (the plug-ins must be loaded, so that plug-in types,
// their descriptions and their defaults are known). Every mistake in the file
// ends the load with one message that names the file, the object and the
// field; malformed JSON is reported with its line and column. Loading is
// linear in the size of the file: names are looked up by hash, links are
// resolved once all objects exist.
//
// Time: a "time" block (frame rate and range) and per object "tracks"
// (track_json.h) are read into Scene::timeline and written back exactly;
// saving writes animated values as they were read (their rest state), not as
// the last frame shown left them.
//
// Saving writes the document back in the same form: every object as loaded
// (its own points, not the deformed ones) with every parameter as it stands,
// and, for point objects that a deformer changed, "deformed_points" (the
// evaluated points in object coordinates). Loading ignores
// "deformed_points", so load, save, load gives the same containers and points.
//
// A "camera" block (position, target, optional up and fov in degrees) places
// the renders' camera; it is read into Scene::camera and written back.
//
// Materials (a plain colour, or a shader plug-in with its parameters) are read
// before the objects, which refer to them by name; saving writes them and the
// references back, and, when asked, each material's colour as its shader
// answers it for the object ("baked_color", ignored by loading).
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "json_text.h"
#include "raster_camera.h"
#include "result.h"
#include "scene_geometry.h"
#include "timeline.h"

namespace kurvo::host {
class Document;
class HostState;
class RenderShading;
}  // namespace kurvo::host

namespace kurvo::scenefile {

inline constexpr const char* kFormatName = "kurvo-scene";
inline constexpr int32_t kFormatVersion = 1;
// Larger scene files are refused before reading: their JSON tree alone would
// take several times this much memory.
inline constexpr uint64_t kMaxSceneFileBytes = uint64_t{512} << 20;

struct LoadOptions {
  GeometryLimits limits;
  // Called as objects are built: (objects done, objects in the file).
  std::function<void(uint64_t, uint64_t)> progress;
};

// What a load leaves beside the document: where it came from and where each
// polygon object's geometry came from (by object serial), for saving.
struct Scene {
  std::filesystem::path file;
  std::unordered_map<uint64_t, GeometrySource> sources;
  // The scene's time and animation tracks ("time" and each object's
  // "tracks"); the document is left at rest: no frame is applied.
  animation::Timeline timeline;
  // The scene's own camera for renders ("camera"), when it has one.
  std::optional<kurvo::media::CameraPlacement> camera;
};

using kurvo::media::Result;
using kurvo::media::Status;

// Reads `file` into `document` (which should be empty). On failure the
// document may hold part of the scene; discard it.
Result<Scene> loadScene(const std::filesystem::path& file, host::Document& document, const host::HostState& host,
                        const LoadOptions& options = {});
// The same from text; `file` names it in messages and anchors relative mesh paths.
Result<Scene> loadSceneText(std::string_view text, const std::filesystem::path& file, host::Document& document,
                            const host::HostState& host, const LoadOptions& options = {});

struct SaveOptions {
  bool deformedPoints = true;  // write "deformed_points" where a deformer moved points
  // When given: "baked_color" for every object with a material, as this
  // render of the document's shaders colours it.
  const host::RenderShading* bakedColours = nullptr;
};

// The scene as JSON text; mesh paths are written relative to `target`'s folder.
Result<std::string> sceneText(const host::Document& document, const Scene& scene, const std::filesystem::path& target,
                              const host::HostState& host, const SaveOptions& options = {});
// Writes the scene to `target` through a temporary file.
Status saveScene(const host::Document& document, const Scene& scene, const std::filesystem::path& target,
                 const host::HostState& host, const SaveOptions& options = {});

}  // namespace kurvo::scenefile
