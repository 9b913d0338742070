// Parameter containers: insertion-ordered entries keyed by int32 with a hash
// index for look-up.
#include "boundary.h"
#include "data_value.h"
#include "families.h"
#include "link_resolver.h"
#include "text_value.h"

namespace kurvo::host {
namespace {

const KhMatrix kIdentity{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};

void KH_CALL init(KhContainerValue* bc, int32_t id) {
  guardedVoid([&] { initContainerStorage(bc, nullptr, id); });
}
void KH_CALL release(KhContainerValue* bc) { freeContainerStorage(bc); }
void KH_CALL initCopy(KhContainerValue* dst, const KhContainerValue* src) {
  guardedVoid([&] { initContainerStorage(dst, containerOf(src), -1); });
}
void KH_CALL assign(KhContainerValue* dst, const KhContainerValue* src) {
  guardedVoid([&] {
    Container* d = containerOf(dst);
    Container* s = containerOf(src);
    if (!dst) return;
    if (!d) {
      initContainerStorage(dst, s, -1);
      return;
    }
    if (s)
      *d = *s;
    else
      *d = Container();
  });
}
int32_t KH_CALL getId(const KhContainerValue* bc) {
  const Container* c = containerOf(bc);
  return c ? c->id : -1;
}
void KH_CALL setId(KhContainerValue* bc, int32_t id) {
  if (Container* c = containerOf(bc)) c->id = id;
}
int32_t KH_CALL findIndex(const KhContainerValue* bc, int32_t id) {
  const Container* c = containerOf(bc);
  return c ? c->indexOf(id) : -1;
}
int32_t KH_CALL getLong(const KhContainerValue* bc, int32_t id) {
  const Container* c = containerOf(bc);
  return c ? c->getLong(id, 0) : 0;
}
float KH_CALL getReal(const KhContainerValue* bc, int32_t id) {
  const Container* c = containerOf(bc);
  return c ? c->getReal(id, 0.0f) : 0.0f;
}
void KH_CALL getVector(const KhContainerValue* bc, int32_t id, KhVector* out) {
  if (!out) return;
  const Container* c = containerOf(bc);
  *out = c ? c->getVector(id) : KhVector{0, 0, 0};
}
void KH_CALL getMatrix(const KhContainerValue* bc, int32_t id, KhMatrix* out) {
  if (!out) return;
  const Container* c = containerOf(bc);
  const Data* d = c ? c->find(id) : nullptr;
  *out = d ? d->getMatrix() : kIdentity;
}
void KH_CALL getString(const KhContainerValue* bc, int32_t id, KhStringValue* out) {
  guardedVoid([&] {
    const Container* c = containerOf(bc);
    const Data* d = c ? c->find(id) : nullptr;
    initText(out, d ? d->getText() : std::string{});
  });
}
const KhDataValue* KH_CALL getData(const KhContainerValue* bc, int32_t id) {
  const Container* c = containerOf(bc);
  const Data* d = c ? c->find(id) : nullptr;
  return d ? &d->self : nullptr;
}
KhNode* KH_CALL getLink(const KhContainerValue* bc, int32_t id, KhDocument* doc, int32_t type) {
  const Container* c = containerOf(bc);
  const Data* d = c ? c->find(id) : nullptr;
  if (!d || !doc) return nullptr;
  const uint64_t serial = d->getLink();
  return serial ? resolveLink(doc, serial, type) : nullptr;
}
KhContainerValue* KH_CALL getContainer(KhContainerValue* bc, int32_t id) {
  Container* c = containerOf(bc);
  Data* d = c ? c->find(id) : nullptr;
  Container* sub = d ? d->getContainer() : nullptr;
  return sub ? &sub->self : nullptr;
}

template <class Setter>
void setEntry(KhContainerValue* bc, int32_t id, Setter&& setter) {
  guardedVoid([&] {
    if (Container* c = containerOf(bc)) {
      setter(c->set(id));
      c->touched();
    }
  });
}

void KH_CALL setLong(KhContainerValue* bc, int32_t id, int32_t v) {
  setEntry(bc, id, [&](Data& d) { d.setLong(v); });
}
void KH_CALL setReal(KhContainerValue* bc, int32_t id, float v) {
  setEntry(bc, id, [&](Data& d) { d.setReal(v); });
}
void KH_CALL setVector(KhContainerValue* bc, int32_t id, const KhVector* v) {
  if (v) setEntry(bc, id, [&](Data& d) { d.setVector(*v); });
}
void KH_CALL setMatrix(KhContainerValue* bc, int32_t id, const KhMatrix* v) {
  if (v) setEntry(bc, id, [&](Data& d) { d.setMatrix(*v); });
}
void KH_CALL setString(KhContainerValue* bc, int32_t id, const KhStringValue* v) {
  setEntry(bc, id, [&](Data& d) { d.setString(textOf(v)); });
}
void KH_CALL setData(KhContainerValue* bc, int32_t id, const KhDataValue* v) {
  setEntry(bc, id, [&](Data& d) {
    const Data* src = dataOf(v);
    if (!src)
      d.clear();
    else if (src != &d)
      d = *src;
  });
}
void KH_CALL setLink(KhContainerValue* bc, int32_t id, KhNode* node) {
  setEntry(bc, id, [&](Data& d) { d.setLink(linkSerialOf(node)); });
}
void KH_CALL setContainer(KhContainerValue* bc, int32_t id, const KhContainerValue* v) {
  setEntry(bc, id, [&](Data& d) {
    const Container* src = containerOf(v);
    // Copy first: `v` may be the very sub-container being replaced.
    Container copy = src ? Container(*src) : Container();
    d.setContainer(copy);
  });
}
int32_t KH_CALL remove(KhContainerValue* bc, int32_t id) {
  return guarded<int32_t>(0, [&] {
    Container* c = containerOf(bc);
    return c && c->remove(id) ? 1 : 0;
  });
}
int32_t KH_CALL count(const KhContainerValue* bc) {
  const Container* c = containerOf(bc);
  return c ? c->count() : 0;
}

}  // namespace

const KhContainerFamily* containerFamily() noexcept {
  static const KhContainerFamily family = [] {
    KhContainerFamily f{};
    f.init = init;
    f.free = release;
    f.init_copy = initCopy;
    f.assign = assign;
    f.get_id = getId;
    f.set_id = setId;
    f.find_index = findIndex;
    f.get_long = getLong;
    f.get_real = getReal;
    f.get_vector = getVector;
    f.get_matrix = getMatrix;
    f.get_string = getString;
    f.get_data = getData;
    f.get_link = getLink;
    f.get_container = getContainer;
    f.set_long = setLong;
    f.set_real = setReal;
    f.set_vector = setVector;
    f.set_matrix = setMatrix;
    f.set_string = setString;
    f.set_data = setData;
    f.set_link = setLink;
    f.set_container = setContainer;
    f.remove = remove;
    f.count = count;
    return f;
  }();
  return &family;
}

}  // namespace kurvo::host
