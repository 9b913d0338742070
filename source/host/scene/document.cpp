#include "document.h"

namespace kurvo::host {

Document::Document() = default;

Document::~Document() {
  while (first_) destroy(first_);
  // Shader nodes go while the document still answers for them.
  assignedMaterials_.clear();
  while (!materials_.empty()) {
    if (Shader* shader = materials_.back()->shader.get()) release(shader);
    materials_.pop_back();
  }
  magic_ = 0;
}

Object* Document::createObject(int32_t type) {
  std::unique_ptr<Object> object = Object::create(type);
  return object ? insert(std::move(object), nullptr) : nullptr;
}

Object* Document::createObjectAsUser(int32_t type) {
  Object* object = createObject(type);
  if (object) object->message(KH_MSG_MENUPREPARE, nullptr);
  return object;
}

Object* Document::insert(std::unique_ptr<Object> object, Object* parent) {
  if (!object || object->parent_ || object->document_) return nullptr;
  if (parent && parent->document_ != this) return nullptr;
  Object* o = object.release();
  link(o, parent);
  adopt(o);
  return o;
}

bool Document::insertUnder(Object* object, Object* parent) {
  if (!object || object->document_ != this) return false;
  if (parent && parent->document_ != this) return false;
  for (Object* p = parent; p; p = p->parent_)
    if (p == object) return false;
  unlink(object);
  link(object, parent);
  return true;
}

std::unique_ptr<Object> Document::remove(Object* object) {
  if (!object || object->document_ != this) return nullptr;
  unlink(object);
  release(object);
  return std::unique_ptr<Object>(object);
}

void Document::destroy(Object* object) { remove(object).reset(); }

void Document::link(Object* object, Object* parent) {
  Object*& first = parent ? parent->firstChild_ : first_;
  Object*& last = parent ? parent->lastChild_ : last_;
  object->parent_ = parent;
  object->prev_ = last;
  object->next_ = nullptr;
  if (last)
    last->next_ = object;
  else
    first = object;
  last = object;
  if (parent) parent->markChanged(KH_DIRTY_DATA);
}

void Document::unlink(Object* object) {
  Object* parent = object->parent_;
  Object*& first = parent ? parent->firstChild_ : first_;
  Object*& last = parent ? parent->lastChild_ : last_;
  if (object->prev_)
    object->prev_->next_ = object->next_;
  else
    first = object->nextObject();
  if (object->next_)
    object->next_->prev_ = object->prev_;
  else
    last = static_cast<Object*>(object->prev_);
  object->next_ = object->prev_ = nullptr;
  object->parent_ = nullptr;
  if (parent) parent->markChanged(KH_DIRTY_DATA);
}

void Document::adopt(Node* node) {
  node->document_ = this;
  live_[node->serial()] = node;
  if (!node->isObject()) return;
  auto* object = static_cast<Object*>(node);
  if (object->isArray()) arrays_.insert(object->serial());
  for (Tag* t = object->firstTag_; t; t = static_cast<Tag*>(t->next_)) adopt(t);
  for (Object* c = object->firstChild_; c; c = c->nextObject()) adopt(c);
}

void Document::release(Node* node) {
  node->document_ = nullptr;
  live_.erase(node->serial());
  if (!node->isObject()) return;
  auto* object = static_cast<Object*>(node);
  if (object->isArray()) arrays_.erase(object->serial());
  for (Tag* t = object->firstTag_; t; t = static_cast<Tag*>(t->next_)) release(t);
  for (Object* c = object->firstChild_; c; c = c->nextObject()) release(c);
}

Node* Document::findLive(uint64_t serial) const noexcept {
  auto it = live_.find(serial);
  return it == live_.end() ? nullptr : it->second;
}

void Document::forEachObject(const std::function<void(Object&)>& visit) const {
  // Iterative pre-order walk: deep hierarchies do not grow the stack.
  Object* o = first_;
  while (o) {
    visit(*o);
    if (o->firstChild_) {
      o = o->firstChild_;
      continue;
    }
    while (o && !o->next_) o = o->parent_;
    if (o) o = o->nextObject();
  }
}

size_t Document::objectCount() const {
  size_t n = 0;
  forEachObject([&](Object&) { ++n; });
  return n;
}

Tag* Document::addTag(Object* object, int32_t type) {
  if (!object) return nullptr;
  std::unique_ptr<Tag> tag = Tag::create(type);
  return tag ? object->attachTag(std::move(tag)) : nullptr;
}

void Document::setLink(Node* from, int32_t id, Node* to) {
  if (from) from->parameters().setLink(id, to ? to->serial() : 0);
}

void Document::drawObjects(DrawRecorder& view, int32_t passes) {
  forEachObject([&](Object& o) {
    const KhObjectPlugin* record = o.objectRecord();
    // Copies' deformers sit where the deformers they copy sit.
    if (!record || !record->draw || !o.pluginData() || o.isGenerated()) return;
    for (int32_t pass = 0; pass < passes; ++pass)
      record->draw(o.pluginData(), toObjectHandle(&o), pass, view.handle(), nullptr);
  });
}

Material* Document::addMaterial(std::string name, std::unique_ptr<Shader> shader) {
  if (findMaterial(name)) return nullptr;
  auto material = std::make_unique<Material>();
  material->name = std::move(name);
  material->shader = std::move(shader);
  if (material->shader) adopt(material->shader.get());
  materials_.push_back(std::move(material));
  return materials_.back().get();
}

Material* Document::findMaterial(const std::string& name) const noexcept {
  for (const auto& m : materials_)
    if (m->name == name) return m.get();
  return nullptr;
}

void Document::setMaterial(const Object& object, Material* material) {
  if (material)
    assignedMaterials_[object.serial()] = material;
  else
    assignedMaterials_.erase(object.serial());
}

Material* Document::materialOf(const Object& object) const noexcept {
  if (assignedMaterials_.empty()) return nullptr;
  auto it = assignedMaterials_.find(object.serial());
  return it == assignedMaterials_.end() ? nullptr : it->second;
}

}  // namespace kurvo::host
