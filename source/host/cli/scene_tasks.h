// Steps the scene commands (eval, render, demo) share: start a host session
// with the plug-ins, load and evaluate a scene with progress on a terminal,
// write the result as a scene file or meshes, and render a preview.
//
// Every step answers a Status whose message is ready to print; only the
// commands print and choose the exit status.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "core/host_session.h"
#include "mesh_export.h"
#include "raster.h"
#include "scene/document.h"
#include "carried_normals.h"
#include "scene_file.h"

namespace CLI {
class App;
}

namespace kurvo::cli {

struct SceneRun {
  kurvo::scenefile::GeometryLimits limits;  // set by the command's options
  std::unique_ptr<kurvo::host::HostSession> session;
  kurvo::host::Document* document = nullptr;
  kurvo::scenefile::Scene scene;
};

// A session with every module of `pluginDir` (empty: the default folder).
kurvo::media::Status startSession(const std::string& pluginDir, bool quiet, SceneRun& run);

// Loads `file` (or, when `text` is given, that text under the name `file`)
// into a new document of the session, without evaluating it.
kurvo::media::Status loadOnly(SceneRun& run, const std::filesystem::path& file, bool quiet,
                              const std::string* text = nullptr);
// Loads as loadOnly and evaluates the scene once; an animated scene shows
// its first frame (the start of its time, else frame 0).
kurvo::media::Status loadAndEvaluate(SceneRun& run, const std::filesystem::path& file, bool quiet,
                                     const std::string* text = nullptr);

// True for the extensions `writeResult` understands (".json" and the mesh formats).
bool isKnownOutput(const std::filesystem::path& out, std::string& problem);
// ".json": the scene with deformed points and each material's baked colour;
// otherwise every polygon object as a world-space mesh in the format of the
// extension, coloured by its material as the shader answers for the object.
// Materials whose shader cannot render get a warning line on stderr.
// Objects read from mesh files carry their authored normals through the bend
// as `normals` asks (flat normals carry none).
kurvo::media::Status writeResult(const SceneRun& run, const std::filesystem::path& out,
                                 const kurvo::media::ExportOptions& exportOptions = {},
                                 kurvo::scenefile::NormalChoice normals = kurvo::scenefile::NormalChoice::asScene);
// As writeResult, as the run's last use of its document: a mesh export takes
// the objects' geometry and their mesh files' surfaces over instead of
// copying them (takeWorldMeshes), which leaves the document and the scene's
// sources fit only to be destroyed.
kurvo::media::Status writeFinalResult(SceneRun& run, const std::filesystem::path& out,
                                      const kurvo::media::ExportOptions& exportOptions = {},
                                      kurvo::scenefile::NormalChoice normals = kurvo::scenefile::NormalChoice::asScene);

// Renders the preview with the materials' shaders called per pixel (warnings
// as for writeResult).
kurvo::media::Status renderPreview(SceneRun& run, const std::filesystem::path& out,
                                   const kurvo::media::RenderOptions& options);

// The options every command that loads a scene takes: --max-points and
// --allow-outside-resources.
void addSceneLimitOptions(CLI::App& command, kurvo::scenefile::GeometryLimits& limits);
// -j/--threads: the size of the host's task pool for this run.
void addThreadsOption(CLI::App& command);

// Prints "kurvo: <message>" on stderr and answers 1.
int reportFailure(const std::string& message);

}  // namespace kurvo::cli
