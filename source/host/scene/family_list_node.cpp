// List nodes (family 16) and node member operations (family 39).
#include "core/boundary.h"
#include "core/families.h"
#include "core/link_resolver.h"
#include "core/text_value.h"
#include "document.h"

namespace kurvo::host {
namespace {

KhContainerValue* KH_CALL getContainer(KhNode* handle) {
  Node* n = nodeFrom(handle);
  return n ? &n->parameters().self : nullptr;
}

// Frees a node the caller owns; a node still in a tree is taken out first.
void KH_CALL release(KhNode* handle) {
  guardedVoid([&] {
    Node* n = nodeFrom(handle);
    if (!n || n->kind() == Node::Kind::Shader) return;  // a shader belongs to its material
    if (n->isObject()) {
      auto* o = static_cast<Object*>(n);
      if (Document* d = o->document()) {
        d->destroy(o);
        return;
      }
      if (o->parent()) return;  // in a free tree: owned by its root, not by the caller
      delete o;
    } else {
      auto* t = static_cast<Tag*>(n);
      if (t->owner())
        t->owner()->detachTag(t).reset();
      else
        delete t;
    }
  });
}

int32_t KH_CALL getType(const KhNode* handle) {
  Node* n = nodeFrom(handle);
  return n ? n->type() : 0;
}

KhDocument* KH_CALL getDocument(KhNode* handle) {
  Node* n = nodeFrom(handle);
  return n && n->document() ? n->document()->handle() : nullptr;
}

KhNode* KH_CALL getNext(KhNode* handle) {
  Node* n = nodeFrom(handle);
  return n ? toHandle(n->next()) : nullptr;
}
KhNode* KH_CALL getPred(KhNode* handle) {
  Node* n = nodeFrom(handle);
  return n ? toHandle(n->pred()) : nullptr;
}
KhNode* KH_CALL getDown(KhNode* handle) {
  Node* n = nodeFrom(handle);
  return n ? toHandle(n->down()) : nullptr;
}
KhNode* KH_CALL getUp(KhNode* handle) {
  Node* n = nodeFrom(handle);
  return n ? toHandle(n->up()) : nullptr;
}
int32_t KH_CALL message(KhNode* handle, int32_t type, void* data) {
  return guarded<int32_t>(0, [&] {
    Node* n = nodeFrom(handle);
    return n ? n->message(type, data) : 0;
  });
}
void KH_CALL getName(KhNode* handle, KhStringValue* out) {
  guardedVoid([&] {
    Node* n = nodeFrom(handle);
    initText(out, n ? n->name() : std::string{});
  });
}
void KH_CALL setName(KhNode* handle, const KhStringValue* name) {
  guardedVoid([&] {
    if (Node* n = nodeFrom(handle)) n->setName(textOf(name));
  });
}
int32_t KH_CALL getBit(KhNode* handle, int32_t mask) {
  Node* n = nodeFrom(handle);
  return n && (n->bits() & mask) ? 1 : 0;
}
void KH_CALL setBit(KhNode* handle, int32_t mask, int32_t on) {
  if (Node* n = nodeFrom(handle)) n->setBits(mask, on != 0);
}

// Inserts a free object under an object, or a free tag onto an object.
void KH_CALL insertUnderLast(KhNode* handle, KhNode* parentHandle) {
  guardedVoid([&] {
    Node* n = nodeFrom(handle);
    Object* parent = objectFrom(parentHandle);
    if (!n || !parent || n == parent || n->kind() == Node::Kind::Shader) return;
    if (!n->isObject()) {
      auto* t = static_cast<Tag*>(n);
      if (!t->owner()) parent->attachTag(std::unique_ptr<Tag>(t));
      return;
    }
    auto* o = static_cast<Object*>(n);
    if (o->document() || o->parent()) return;  // not free
    if (Document* d = parent->document()) {
      d->insert(std::unique_ptr<Object>(o), parent);
      return;
    }
    // A free tree: reached only by walking up from its nodes.
    for (Object* p = parent; p; p = p->parent())
      if (p == o) return;
    parent->adoptFreeChild(o);
  });
}

void KH_CALL remove(KhNode* handle) {
  guardedVoid([&] {
    Node* n = nodeFrom(handle);
    if (!n || n->kind() == Node::Kind::Shader) return;
    if (!n->isObject()) {
      auto* t = static_cast<Tag*>(n);
      if (t->owner()) t->owner()->detachTag(t).release();
      return;
    }
    auto* o = static_cast<Object*>(n);
    if (Document* d = o->document())
      d->remove(o).release();
    else if (o->parent())
      o->parent()->releaseFreeChild(o);
  });
}

}  // namespace

uint64_t linkSerialOf(KhNode* node) noexcept {
  Node* n = nodeFrom(node);
  return n ? n->serial() : 0;
}

KhNode* resolveLink(KhDocument* doc, uint64_t serial, int32_t type) noexcept {
  Document* d = documentFrom(doc);
  Node* n = d ? d->findLive(serial) : nullptr;
  if (!n) return nullptr;
  if (type == KH_TYPE_BASEOBJECT ? !n->isObject() : n->type() != type) return nullptr;
  return n->handle();
}

const KhListNodeFamily* listNodeFamily() noexcept {
  static const KhListNodeFamily family = [] {
    KhListNodeFamily f{};
    f.get_container = getContainer;
    f.free = release;
    f.get_type = getType;
    f.get_document = getDocument;
    return f;
  }();
  return &family;
}

const KhNodeMemberFamily* nodeMemberFamily() noexcept {
  static const KhNodeMemberFamily family = [] {
    KhNodeMemberFamily f{};
    f.get_next = getNext;
    f.get_pred = getPred;
    f.get_down = getDown;
    f.get_up = getUp;
    f.message = message;
    f.get_name = getName;
    f.set_name = setName;
    f.get_bit = getBit;
    f.set_bit = setBit;
    f.insert_under_last = insertUnderLast;
    f.remove = remove;
    return f;
  }();
  return &family;
}

}  // namespace kurvo::host
