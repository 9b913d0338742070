#include "view_session.h"

#include "param_json.h"
#include "read_context.h"

namespace kurvo::viewer {

ViewSession::ViewSession(kurvo::host::HostSession& session, kurvo::host::Document& document,
                         const kurvo::scenefile::Scene& scene, SceneWriter writer)
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
  const auto& descriptions = session_.state().descriptions;
  const auto it = descriptions.find(object->type());
  const kurvo::host::Description* description = it == descriptions.end() ? nullptr : &it->second;

  kurvo::scenefile::ReadContext context;
  context.file = scene_.file.string();
  context.object = object->name();
  // Links name objects of the scene; they are set once every name is known.
  std::vector<std::pair<kurvo::scenefile::PendingLink, kurvo::host::Object*>> links;
  // A block of several values may fail part way: the object gets back what it had.
  const kurvo::host::Container before = object->parameters();
  try {
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
  } catch (const kurvo::scenefile::SceneError& e) {
    object->parameters() = before;
    return {e.message, {}};
  }
  for (const auto& [link, target] : links) {
    link.container->setLink(link.id, target->serial());
    link.owner->parameters().touched();
  }
  recordParameters(serial, before);
  document_->evaluate();
  return {{}, geometry(false)};
}

kurvo::media::Status ViewSession::save(const std::filesystem::path& target) {
  if (target.empty()) return kurvo::media::Status::failure("save: no file named");
  const std::filesystem::path file = target.is_absolute() ? target : scene_.file.parent_path() / target;
  return writer_(file);
}

}  // namespace kurvo::viewer
