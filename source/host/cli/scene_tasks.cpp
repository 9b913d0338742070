#include "scene_tasks.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdint>
#include <cstdio>

#include "animation/apply_frame.h"
#include "atomic_file.h"
#include "core/task_pool.h"
#include "commands.h"
#include "finite_results.h"
#include "message_text.h"
#include "mesh_export.h"
#include "png_writer.h"
#include "progress.h"
#include "scene/shading.h"
#include "scene_preview.h"

namespace kurvo::cli {

using kurvo::media::Status;

void addSceneLimitOptions(CLI::App& command, kurvo::scenefile::GeometryLimits& limits) {
  // Read as text, so that a mistake is named as it was typed.
  command
      .add_option_function<std::string>(
          "--max-points",
          [&limits](const std::string& text) {
            uint64_t n = 0;
            const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
            if (ec != std::errc() || end != text.data() + text.size() || n < 1)
              throw CLI::ValidationError(optionText("--max-points", text) +
                                         ": the scene's point budget is a whole number, at least 1");
            limits.maxScenePoints = n;
          },
          "Most points the whole scene may hold, a budget on its memory (about 30 bytes a point)")
      ->type_name("UINT")
      ->default_str(std::to_string(limits.maxScenePoints));
  command.add_flag("--allow-outside-resources", limits.allowOutsideResources,
                   "Let mesh files read buffers, images and material libraries outside their own folder");
  addThreadsOption(command);
}

void addThreadsOption(CLI::App& command) {
  command
      .add_option_function<int32_t>(
          "-j,--threads", [](const int32_t& n) { kurvo::host::TaskPool::shared().setConcurrency(n); },
          "Threads the host lends to the modules for large objects (default: KURVO_THREADS, else one per "
          "processor)")
      ->check(CLI::Range(1, 1024));
}

int reportFailure(const std::string& message) {
  std::fflush(stdout);
  std::fprintf(stderr, "kurvo: %s\n", printable(message).c_str());
  return 1;
}

Status startSession(const std::string& pluginDir, bool quiet, SceneRun& run) {
  // Every command that starts a session may write files: an interrupted one
  // must not leave its temporaries behind.
  kurvo::media::remove_temporaries_on_signals();
  // Large mesh files read and written show a bar on a terminal, as evaluation does.
  kurvo::media::FileProgress::enable(!quiet);
  const std::filesystem::path dir = pluginDir.empty() ? defaultPluginDir() : std::filesystem::path(pluginDir);
  kurvo::host::HostSession::Options options;
  options.quiet = quiet;
  run.session = std::make_unique<kurvo::host::HostSession>(options);
  std::string error;
  if (!run.session->loadPluginFolder(dir, error)) return Status::failure(error);
  for (const std::string& d : run.session->state().diagnostics())
    std::fprintf(stderr, "kurvo: %s\n", printable(d).c_str());
  if (!run.session->errors().empty()) return Status::failure(run.session->errors().front());
  // Without one, every plug-in object of a scene would read as an unknown type.
  if (run.session->modules().empty()) return Status::failure(noPluginFound(dir));
  return Status::success();
}

namespace {

// The number of stop tests that the next evaluation's deformers will make:
// one per 64 points of every point object, per deformer on it.
uint64_t expectedTests(const kurvo::host::Document& document) {
  uint64_t total = 0;
  document.forEachObject([&](kurvo::host::Object& o) {
    if (!o.isPointObject()) return;
    uint64_t deformers = 0;
    for (auto* c = o.firstChild(); c; c = c->nextObject())
      if (c->isDeformer() && c->deformEnabled()) ++deformers;
    total += deformers * ((o.points().size() + 63) / 64);
  });
  return total;
}

}  // namespace

Status loadOnly(SceneRun& run, const std::filesystem::path& file, bool quiet, const std::string* text) {
  run.document = &run.session->newDocument();
  kurvo::scenefile::LoadOptions options;
  options.limits = run.limits;
  std::unique_ptr<kurvo::media::ProgressBar> loading;
  options.progress = [&](uint64_t done, uint64_t total) {
    if (!loading) loading = std::make_unique<kurvo::media::ProgressBar>("loading", total, quiet);
    loading->set(done);
  };
  auto loaded = text ? kurvo::scenefile::loadSceneText(*text, file, *run.document, run.session->state(), options)
                     : kurvo::scenefile::loadScene(file, *run.document, run.session->state(), options);
  if (loading) loading->finish();
  if (!loaded) return loaded.status();
  run.scene = std::move(loaded.value());
  return Status::success();
}

Status loadAndEvaluate(SceneRun& run, const std::filesystem::path& file, bool quiet, const std::string* text) {
  if (auto s = loadOnly(run, file, quiet, text); !s) return s;
  if (run.scene.timeline.animated()) animation::applyFrame(*run.document, run.scene.timeline, run.scene.timeline.start);

  // Arrays make their copies first, so that the bar counts their points too.
  run.document->generate();
  kurvo::media::ProgressBar evaluating("evaluating", expectedTests(*run.document), quiet);
  kurvo::host::BreakThread& thread = run.document->thread();
  thread.setObserver([](void* bar) { static_cast<kurvo::media::ProgressBar*>(bar)->advance(); }, &evaluating);
  run.document->evaluate();
  thread.setObserver(nullptr, nullptr);
  evaluating.finish();
  return Status::success();
}

namespace {
std::string lowerExtension(const std::filesystem::path& out) {
  std::string ext = out.extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
  return ext;
}
}  // namespace

bool isKnownOutput(const std::filesystem::path& out, std::string& problem) {
  const std::string ext = lowerExtension(out);
  if (ext == ".json") return true;
  const auto known = kurvo::media::supported_export_extensions();
  if (std::find(known.begin(), known.end(), ext) != known.end()) return true;
  std::string list = ".json";
  for (const auto& k : known) list += " " + k;
  problem = out.string() + ": unknown output format \"" + ext + "\" (known: " + list + ")";
  return false;
}

namespace {
// One line per material that renders in the fallback colour.
void printWarnings(const SceneRun& run, const kurvo::host::RenderShading& shading) {
  for (const std::string& w : shading.warnings())
    std::fprintf(stderr, "kurvo: warning: %s\n", printable(run.scene.file.string() + ": " + w).c_str());
}
}  // namespace

namespace {
// With `takeFrom` (the run's sources), the meshes take the geometry over.
Status writeResultOf(const SceneRun& run, const std::filesystem::path& out,
                     const kurvo::media::ExportOptions& exportOptions, kurvo::scenefile::NormalChoice normals,
                     std::unordered_map<uint64_t, kurvo::scenefile::GeometrySource>* takeFrom) {
  if (auto s = kurvo::scenefile::checkFiniteResults(*run.document, run.session->state(), run.scene.file); !s)
    return s;
  const kurvo::host::RenderShading shading(*run.document);
  printWarnings(run, shading);
  if (lowerExtension(out) == ".json") {
    kurvo::scenefile::SaveOptions options;
    options.bakedColours = &shading;
    return kurvo::scenefile::saveScene(*run.document, run.scene, out, run.session->state(), options);
  }
  const kurvo::media::FileMapping mapping = kurvo::media::file_mapping(out, exportOptions);
  const kurvo::scenefile::CarriedNormals carried =
      exportOptions.normals == kurvo::media::NormalStyle::flat
          ? kurvo::scenefile::CarriedNormals{}
          : kurvo::scenefile::carryAuthoredNormals(*run.document, run.scene.sources, normals);
  for (const std::string& w : carried.warnings)
    std::fprintf(stderr, "kurvo: warning: %s\n", printable(run.scene.file.string() + ": " + w).c_str());
  return kurvo::media::export_mapped_meshes(
      takeFrom ? kurvo::scenefile::takeWorldMeshes(*run.document, &shading, &mapping, takeFrom, &carried)
               : kurvo::scenefile::worldMeshes(*run.document, &shading, &mapping, &run.scene.sources, &carried),
      out, exportOptions);
}
}  // namespace

Status writeResult(const SceneRun& run, const std::filesystem::path& out,
                   const kurvo::media::ExportOptions& exportOptions, kurvo::scenefile::NormalChoice normals) {
  return writeResultOf(run, out, exportOptions, normals, nullptr);
}

Status writeFinalResult(SceneRun& run, const std::filesystem::path& out,
                        const kurvo::media::ExportOptions& exportOptions, kurvo::scenefile::NormalChoice normals) {
  return writeResultOf(run, out, exportOptions, normals, &run.scene.sources);
}

Status renderPreview(SceneRun& run, const std::filesystem::path& out, const kurvo::media::RenderOptions& options) {
  if (auto s = kurvo::scenefile::checkFiniteResults(*run.document, run.session->state(), run.scene.file); !s)
    return s;
  const kurvo::host::RenderShading shading(*run.document);
  printWarnings(run, shading);
  const kurvo::scenefile::Preview preview =
      kurvo::scenefile::buildPreview(*run.document, &shading, {}, {}, &run.scene.sources);
  const kurvo::media::Image image = kurvo::media::render(preview.drawList(), options);
  return kurvo::media::write_png(image, out);
}

}  // namespace kurvo::cli
