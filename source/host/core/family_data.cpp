// Typed values (GeData), custom data included.
#include "boundary.h"
#include "data_value.h"
#include "families.h"
#include "text_value.h"

namespace kurvo::host {
namespace {

// Storage the module initialised; answers null for storage it never did.
Data* target(KhDataValue* d) { return dataOf(d); }

void KH_CALL init(KhDataValue* d) { guardedVoid([&] { initDataStorage(d, nullptr); }); }
void KH_CALL initCopy(KhDataValue* dst, const KhDataValue* src) {
  guardedVoid([&] { initDataStorage(dst, dataOf(src)); });
}
void KH_CALL assign(KhDataValue* dst, const KhDataValue* src) {
  guardedVoid([&] {
    if (!dst) return;
    Data* d = target(dst);
    const Data* s = dataOf(src);
    if (!d) {
      initDataStorage(dst, s);
    } else if (!s) {
      d->clear();
    } else if (d != s) {
      *d = *s;
    }
  });
}
void KH_CALL release(KhDataValue* d) { freeDataStorage(d); }
int32_t KH_CALL getType(const KhDataValue* d) {
  const Data* v = dataOf(d);
  return v ? v->type() : KH_DA_NIL;
}
void KH_CALL setLong(KhDataValue* d, int32_t v) {
  if (Data* t = target(d)) t->setLong(v);
}
void KH_CALL setReal(KhDataValue* d, float v) {
  if (Data* t = target(d)) t->setReal(v);
}
void KH_CALL setVector(KhDataValue* d, const KhVector* v) {
  Data* t = target(d);
  if (t && v) t->setVector(*v);
}
void KH_CALL setString(KhDataValue* d, const KhStringValue* v) {
  guardedVoid([&] {
    if (Data* t = target(d)) t->setString(textOf(v));
  });
}
void KH_CALL setFilename(KhDataValue* d, const KhFilenameValue* v) {
  guardedVoid([&] {
    if (Data* t = target(d)) t->setFilename(textOf(v));
  });
}
int32_t KH_CALL getLong(const KhDataValue* d) {
  const Data* v = dataOf(d);
  return v ? v->getLong() : 0;
}
float KH_CALL getReal(const KhDataValue* d) {
  const Data* v = dataOf(d);
  return v ? v->getReal() : 0.0f;
}
void KH_CALL getVector(const KhDataValue* d, KhVector* out) {
  if (!out) return;
  const Data* v = dataOf(d);
  *out = v ? v->getVector() : KhVector{0, 0, 0};
}
void KH_CALL getString(const KhDataValue* d, KhStringValue* out) {
  guardedVoid([&] {
    const Data* v = dataOf(d);
    initText(out, v ? v->getText() : std::string{});
  });
}
void KH_CALL getFilename(const KhDataValue* d, KhFilenameValue* out) {
  guardedVoid([&] {
    const Data* v = dataOf(d);
    initText(out, v ? v->getText() : std::string{});
  });
}
int32_t KH_CALL initCustom(KhDataValue* d, int32_t type) {
  return guarded<int32_t>(0, [&] {
    Data* t = target(d);
    if (!t) return 0;
    auto fresh = makeCustomData(type);
    if (!fresh) return 0;
    t->setCustom(std::move(fresh));
    return 1;
  });
}
int32_t KH_CALL setCustom(KhDataValue* d, int32_t type, const KhCustomData* data) {
  return guarded<int32_t>(0, [&] {
    Data* t = target(d);
    const CustomData* src = fromHandle(data);
    if (!t || !src || src->typeId() != type) return 0;
    t->setCustom(src->clone());
    return 1;
  });
}
KhCustomData* KH_CALL getCustom(const KhDataValue* d, int32_t type) {
  const Data* v = dataOf(d);
  return v ? toHandle(v->getCustom(type)) : nullptr;
}

}  // namespace

const KhDataFamily* dataFamily() noexcept {
  static const KhDataFamily family = [] {
    KhDataFamily f{};
    f.init = init;
    f.init_copy = initCopy;
    f.assign = assign;
    f.free = release;
    f.get_type = getType;
    f.set_long = setLong;
    f.set_real = setReal;
    f.set_vector = setVector;
    f.set_string = setString;
    f.set_filename = setFilename;
    f.get_long = getLong;
    f.get_real = getReal;
    f.get_vector = getVector;
    f.get_string = getString;
    f.get_filename = getFilename;
    f.init_custom = initCustom;
    f.set_custom = setCustom;
    f.get_custom = getCustom;
    return f;
  }();
  return &family;
}

}  // namespace kurvo::host
