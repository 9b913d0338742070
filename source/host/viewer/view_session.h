// The scene behind `kurvo view`: one evaluated document of a host session,
// the attribute panel of the selected object, and what the page was last
// sent, so that an edit answers only the geometry it changed.
//
// Not thread-safe: the server calls it under one lock, as the host's own
// evaluation is single-threaded.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include <nlohmann/json.hpp>

#include "attribute_panel.h"
#include "core/host_session.h"
#include "edit_history.h"
#include "mesh.h"
#include "result.h"
#include "scene/document.h"
#include "scene_file.h"
#include "track.h"

namespace kurvo::viewer {

// Writes the document to a file: a scene (.json) or meshes, as `kurvo eval` does.
using SceneWriter = std::function<kurvo::media::Status(const std::filesystem::path&)>;

// The answer to an edit: a message for the field when the value was refused
// (the document is then as it was), else the changed geometry.
struct EditAnswer {
  std::string error;
  std::string geometry;  // a geometry frame (geometry_frame.h)
};

// What the object list calls an object: polygon, spline, deformer, array,
// or the spline primitive it is ("circle spline").
const char* objectKind(const kurvo::host::Object& object);
// A local matrix as position, rotation (degrees about X, then Y, then Z) and
// scale, the parts whose composition gives it back.
kurvo::animation::PlacementParts placementParts(const KhMatrix& m);

class ViewSession {
 public:
  ViewSession(kurvo::host::HostSession& session, kurvo::host::Document& document,
              kurvo::scenefile::Scene& scene, SceneWriter writer);
  ~ViewSession();

  // The scene tree: every object with its serial, name, parent and whether
  // it has a panel; and the host's preview camera for a width x height picture.
  nlohmann::json sceneInfo(int32_t width, int32_t height);
  // Every mesh and line of the evaluated scene (all = true), or only the meshes
  // whose points moved since the last frame, with all lines.
  std::string geometry(bool all);

  // Sets parameters of the object `serial` from `params` (the "params" block
  // of a scene file) as a user's edit does, then evaluates.
  EditAnswer edit(uint64_t serial, const nlohmann::ordered_json& params);

  // Builds the attribute panel of `serial` (replacing the previous one) and
  // describes its rows; an object without a description answers an error.
  kurvo::media::Result<nlohmann::json> panel(uint64_t serial);
  // Rows and enabling of the current panel again, with the values as they stand.
  nlohmann::json panelRows();
  // The custom element `index` of the current panel as RGBA pixels:
  // u32 width, u32 height, then the rows from the top.
  std::string elementPixels(size_t index);
  // Pointer over the current panel, in panel pixels (outside: -1, -1).
  void pointer(int32_t x, int32_t y);
  // A click; answers the address the host was asked to open, if any.
  std::string click(int32_t x, int32_t y);
  // Lets `ms` of clock time pass for the panel's timers.
  void tick(int32_t ms);

  // Writes the scene or meshes to `target` (relative: beside the scene file),
  // which must lie in the scene's folder or one allowed by allowWritesIn.
  kurvo::media::Status save(const std::filesystem::path& target);
  // Lets saves and exports also write inside `folder`.
  void allowWritesIn(const std::filesystem::path& folder) { writeFolders_.push_back(folder); }
  // Called after every save that wrote the files, however they were written
  // (the viewer's own save is no outside change for the reload to pick up).
  void onSaved(std::function<void()> call) { onSaved_ = std::move(call); }
  const std::filesystem::path& sceneFile() const noexcept { return scene_.file; }
  // The frame of the scene's time that edits of animated values key: the
  // scene's first until a timeline moves it.
  double frame() const noexcept { return frame_; }

  // Working on the scene (view_edits.cpp). The current frame, the scene's
  // time and whether there are edits to undo or redo.
  nlohmann::json timeState() const;
  // Shows a whole frame of the scene's time, evaluated as `kurvo eval
  // --frames` evaluates it; answers the changed geometry.
  EditAnswer setFrame(double frame);
  // The placement of `serial` (local to its parent, and the parent's global
  // matrix) and, for a spline, its points and Bezier tangents.
  kurvo::media::Result<nlohmann::json> objectShape(uint64_t serial);
  // Sets a spline's points (and tangents) from {"points": [[x,y,z]...],
  // "tangents_in": [...], "tangents_out": [...]}, or an object's placement
  // from {"position", "rotation", "scale"}, as a user's edit.
  EditAnswer setShape(uint64_t serial, const nlohmann::json& shape);
  // Takes back the last edit, or makes the last undone one again.
  EditAnswer undo();
  // Records a parameter edit of `serial` (its parameters were `before`) for undo.
  void recordParameters(uint64_t serial, const kurvo::host::Container& before, const std::vector<int32_t>& ids,
                        ObjectState::Keys keysBefore);
  EditAnswer redo();
  // Loads `document` (with `scene`, already moved into place by the caller)
  // in place of the current one: the history is dropped, the current frame
  // kept when the new time holds it. The old document is the caller's to free
  // once this answers.
  void replaceDocument(kurvo::host::Document& document);

 private:
  kurvo::host::Object* find(uint64_t serial) const;
  void closePanel();
  void showCurrentFrame();

  // Saving what the user wrote (view_save.cpp): each edited object's
  // parameters as loaded and the IDs edited since.
  void noteEdit(const kurvo::host::Object& object, const kurvo::host::Container& before,
                const std::vector<int32_t>& ids);
  nlohmann::ordered_json paramValue(const kurvo::host::Container& params, const kurvo::host::Description* description,
                                    int32_t id) const;
  static bool savesAsWritten(const std::filesystem::path& file);
  // The track animating parameter `id` of `serial`, or null.
  kurvo::animation::Track* trackOf(uint64_t serial, int32_t id);
  // Sets (or adds) the key of each animated parameter in `ids` at the current
  // frame to the value the object now holds.
  void keyEdited(const kurvo::host::Object& object, const std::vector<int32_t>& ids);
  kurvo::media::Status saveAsWritten(const std::filesystem::path& file);
  // The keys of the tracks animating `ids` of `serial`.
  ObjectState::Keys keysOf(uint64_t serial, const std::vector<int32_t>& ids);
  // Notes for the save what `restore` changes on `object`, the state it leaves.
  void noteRestore(kurvo::host::Object& object, const EditStep& step, const ObjectState& to);
  void restoreKeys(uint64_t serial, const ObjectState::Keys& keys);
  // The track driving `channel` (a placement part or the points) of `serial`, or null.
  kurvo::animation::Track* channelTrack(uint64_t serial, kurvo::animation::Channel channel) const;
  kurvo::animation::ObjectAnimation* animationOf(uint64_t serial) const;
  // The keys of every placement and points track of `serial`.
  ObjectState::ChannelKeys channelKeysOf(uint64_t serial) const;
  void restoreChannelKeys(uint64_t serial, const ObjectState& state);
  // Sets (or adds) the key of `channel` at the current frame to `value`.
  void keyChannel(uint64_t serial, kurvo::animation::Channel channel, kurvo::animation::Value value);
  // The placement's parts as shown: an animated placement's from its tracks
  // at the current frame and its rest, else as last set or read from the matrix.
  kurvo::animation::PlacementParts currentParts(const kurvo::host::Object& object) const;
  // Writes the keys edits set on the placement and points tracks of `object`.
  kurvo::media::Status saveChannelKeys(const kurvo::host::Object& object, nlohmann::ordered_json& node) const;
  // Writes the dragged points and placements of `object` into its entry `node`.
  kurvo::media::Status saveShape(const kurvo::host::Object& object, nlohmann::ordered_json& node) const;
  void forgetEdits();

  kurvo::host::HostSession& session_;
  kurvo::host::Document* document_;
  kurvo::scenefile::Scene& scene_;
  SceneWriter writer_;
  std::vector<kurvo::media::Mesh> sent_;  // meshes as the page has them
  std::vector<uint64_t> sentSerials_;     // per mesh: the object it was sent for
  std::unordered_map<uint64_t, uint32_t> sentFaces_;  // per object: the polygons' stamp the page has
  std::unique_ptr<kurvo::panel::AttributePanel> panel_;
  uint64_t panelSerial_ = 0;
  double frame_ = 0.0;
  int64_t sentAtEvaluation_ = -1;  // the document's evaluation count at the last answer
  EditHistory history_;
  std::vector<std::filesystem::path> writeFolders_;
  std::function<void()> onSaved_;  // besides the scene's own
  std::map<uint64_t, kurvo::host::Container> loaded_;
  std::map<uint64_t, std::vector<int32_t>> edited_;
  // Per object and animated parameter: the frames an edit keyed.
  std::map<std::pair<uint64_t, int32_t>, std::vector<double>> keyed_;
  // Per object, as loaded: the spline's shape and the placement before the
  // first drag, and the placement's parts as last set.
  std::map<uint64_t, ObjectState::Shape> loadedShape_;
  std::map<uint64_t, KhMatrix> loadedPlacement_;
  std::map<uint64_t, kurvo::animation::PlacementParts> parts_;
  // Per object and animated parameter: the track's keys as loaded.
  std::map<std::pair<uint64_t, int32_t>, std::vector<kurvo::animation::Key>> loadedKeys_;
  // The same for the placement and points tracks, and an animated
  // placement's rest parts as loaded.
  std::map<std::pair<uint64_t, kurvo::animation::Channel>, std::vector<double>> channelKeyed_;
  std::map<std::pair<uint64_t, kurvo::animation::Channel>, std::vector<kurvo::animation::Key>> loadedChannelKeys_;
  std::map<uint64_t, kurvo::animation::PlacementParts> loadedRest_;
};

}  // namespace kurvo::viewer
