#include "view_session.h"

#include <charconv>

#include "access.h"
#include "finite_results.h"
#include "param_json.h"
#include "read_context.h"

namespace kurvo::viewer {
namespace {

// What one edit may carry: every later panel, evaluation and save walks an
// object's parameters, so an edit may not flood it with entries.
constexpr size_t kMaxEditMembers = 1024;  // named values, nested blocks included
constexpr int32_t kMaxExtraParameters = 64;  // beyond those the description names

size_t members(const nlohmann::ordered_json& j) {
  size_t n = 0;
  if (j.is_object())
    for (const auto& [key, value] : j.items()) n += 1 + members(value);
  else if (j.is_array())
    for (const auto& value : j) n += value.is_structured() ? members(value) : 0;
  return n;
}

bool numericId(const std::string& key, int32_t& id) {
  const auto r = std::from_chars(key.data(), key.data() + key.size(), id);
  return !key.empty() && r.ec == std::errc() && r.ptr == key.data() + key.size();
}

}  // namespace

ViewSession::ViewSession(kurvo::host::HostSession& session, kurvo::host::Document& document,
                         kurvo::scenefile::Scene& scene, SceneWriter writer)
    : session_(session), document_(&document), scene_(scene), writer_(std::move(writer)),
      frame_(scene.timeline.start) {}

ViewSession::~ViewSession() { closePanel(); }

kurvo::host::Object* ViewSession::find(uint64_t serial) const {
  kurvo::host::Node* node = document_->findLive(serial);
  return node && node->isObject() ? static_cast<kurvo::host::Object*>(node) : nullptr;
}

EditAnswer ViewSession::edit(uint64_t serial, const nlohmann::ordered_json& params) {
  kurvo::host::Object* object = find(serial);
  if (!object) return {"no object with id " + std::to_string(serial) + " in the scene", {}};
  if (object->isGenerated())
    return {"\"" + object->name() + "\" is made by its array and read-only: edit the array or what it copies", {}};
  if (!params.is_object() || params.empty()) return {"an edit names at least one parameter", {}};
  if (members(params) > kMaxEditMembers)
    return {"an edit sets at most " + std::to_string(kMaxEditMembers) + " values", {}};
  const auto& descriptions = session_.state().descriptions;
  const auto it = descriptions.find(object->type());
  const kurvo::host::Description* description = it == descriptions.end() ? nullptr : &it->second;
  const int32_t maxParameters =
      (description ? static_cast<int32_t>(description->parameters.size()) : 0) + kMaxExtraParameters;

  kurvo::scenefile::ReadContext context;
  context.file = scene_.file.string();
  context.object = object->name();
  // Links name objects of the scene; they are set once every name is known.
  std::vector<std::pair<kurvo::scenefile::PendingLink, kurvo::host::Object*>> links;
  // A block of several values may fail part way: the object gets back what it had.
  const kurvo::host::Container before = object->parameters();
  std::vector<int32_t> ids;  // the parameters the edit names
  try {
    // Read-outs are results the plug-in writes back at every evaluation.
    for (const auto& [key, value] : params.items()) {
      int32_t id = 0;
      const kurvo::host::DescParameter* p = nullptr;
      const bool numeric = numericId(key, id);
      if (description) p = numeric ? description->findById(id) : description->findBySymbol(key);
      if (p || numeric) ids.push_back(p ? p->id : id);
      if (p && p->readout)
        context.fail("params." + key, "\"" + p->label + "\" is a read-out, written by every evaluation: it is not edited");
    }
    std::vector<kurvo::scenefile::PendingLink> pending;
    kurvo::scenefile::readParams(params, *object, description, context, "params", pending);
    for (const auto& link : pending) {
      kurvo::host::Object* target = nullptr;
      document_->forEachObject([&](kurvo::host::Object& o) {
        if (!target && o.name() == link.target && !o.isGenerated() &&
            o.role() != kurvo::host::ObjectRole::arrayGeometry)
          target = &o;
      });
      if (!target) context.fail(link.field, "links to \"" + link.target + "\", but no object has that name");
      links.emplace_back(link, target);
    }
    const int32_t count = object->parameters().count();
    if (count > before.count() && count > maxParameters)
      context.fail("params", "would give \"" + object->name() + "\" " + std::to_string(count) +
                                 " parameters; an object keeps at most " + std::to_string(maxParameters));
  } catch (const kurvo::scenefile::SceneError& e) {
    object->parameters() = before;
    return {e.message, {}};
  }
  for (const auto& [link, target] : links) {
    link.container->setLink(link.id, target->serial());
    link.owner->parameters().touched();
  }
  document_->evaluate();
  // What no output would write is not shown as a result either: the edit is
  // taken back and the page keeps the shape it has.
  if (const kurvo::media::Status finite =
          kurvo::scenefile::checkFiniteResults(*document_, session_.state(), scene_.file);
      !finite) {
    object->parameters() = before;
    object->parameters().touched();
    document_->evaluate();
    std::string fields, why = finite.message();
    for (const auto& [key, value] : params.items()) fields += (fields.empty() ? "params." : ", params.") + key;
    if (why.rfind(context.file + ": ", 0) == 0) why.erase(0, context.file.size() + 2);
    // "object "Tube": deformed_points[0]: not a finite number ...": where, without the why.
    if (const size_t end = why.find(": not a finite"); end != std::string::npos) why.resize(end);
    if (const size_t end = why.find(": placed in the world"); end != std::string::npos) why.resize(end);
    try {
      context.fail(fields, "refused: it would make " + why + " not a finite number; the value before is kept");
    } catch (const kurvo::scenefile::SceneError& e) {
      return {e.message, {}};
    }
  }
  noteEdit(*object, before, ids);
  ObjectState::Keys keysBefore = keysOf(serial, ids);
  keyEdited(*object, ids);
  recordParameters(serial, before, ids, std::move(keysBefore));
  return {{}, geometry(false)};
}

kurvo::media::Status ViewSession::save(const std::filesystem::path& target) {
  if (target.empty()) return kurvo::media::Status::failure("save: no file named");
  // The scene's folder as it lies on disk: a scene opened through a link is
  // saved where the link leads.
  std::error_code error;
  std::filesystem::path sceneFile = std::filesystem::canonical(scene_.file, error);
  if (error) sceneFile = std::filesystem::absolute(scene_.file, error);
  std::vector<std::filesystem::path> folders{sceneFile.parent_path()};
  folders.insert(folders.end(), writeFolders_.begin(), writeFolders_.end());
  std::string problem;
  const std::filesystem::path file =
      writableTarget(target.is_absolute() ? target : scene_.file.parent_path() / target, {}, folders, problem);
  if (file.empty()) return kurvo::media::Status::failure("save: " + problem);
  // A scene whose file is gone (or was never on disk) is written whole, as `kurvo eval -o` writes it.
  const kurvo::media::Status saved =
      savesAsWritten(file) && std::filesystem::exists(scene_.file, error) ? saveAsWritten(file) : writer_(file);
  if (saved && onSaved_) onSaved_();
  return saved;
}

}  // namespace kurvo::viewer
