// Strings: UTF-8 std::string behind every KhStringValue.
#include <algorithm>
#include <cstring>

#include "boundary.h"
#include "families.h"
#include "text_value.h"

namespace kurvo::host {
namespace {

void KH_CALL init(KhStringValue* s) { guardedVoid([&] { initText(s, {}); }); }
void KH_CALL initCstr(KhStringValue* s, const char* text) {
  guardedVoid([&] { initText(s, text ? std::string_view(text) : std::string_view{}); });
}
void KH_CALL initCopy(KhStringValue* dst, const KhStringValue* src) {
  guardedVoid([&] { initText(dst, textOf(src)); });
}
void KH_CALL assign(KhStringValue* dst, const KhStringValue* src) {
  guardedVoid([&] {
    if (dst != src) setText(dst, std::string(textOf(src)));
  });
}
void KH_CALL release(KhStringValue* s) { freeText(s); }
int32_t KH_CALL content(const KhStringValue* s) { return textOf(s).empty() ? 0 : 1; }
int32_t KH_CALL length(const KhStringValue* s) {
  return static_cast<int32_t>(std::min<size_t>(textOf(s).size(), INT32_MAX));
}
int32_t KH_CALL getCstr(const KhStringValue* s, char* buf, int32_t size) {
  const std::string& t = textOf(s);
  if (buf && size > 0) {
    const size_t n = std::min(t.size(), static_cast<size_t>(size - 1));
    std::memcpy(buf, t.data(), n);
    buf[n] = '\0';
  }
  return static_cast<int32_t>(std::min<size_t>(t.size(), INT32_MAX));
}
void KH_CALL append(KhStringValue* dst, const KhStringValue* add) {
  guardedVoid([&] {
    if (!dst) return;
    std::string joined = textOf(dst) + textOf(add);
    setText(dst, joined);
  });
}
int32_t KH_CALL compare(const KhStringValue* a, const KhStringValue* b) {
  return textOf(a) == textOf(b) ? 1 : 0;
}

}  // namespace

const KhStringFamily* stringFamily() noexcept {
  static const KhStringFamily family = [] {
    KhStringFamily f{};
    f.shared_empty = sharedEmptyString();
    f.init = init;
    f.init_cstr = initCstr;
    f.init_copy = initCopy;
    f.assign = assign;
    f.free = release;
    f.content = content;
    f.length = length;
    f.get_cstr = getCstr;
    f.append = append;
    f.compare = compare;
    return f;
  }();
  return &family;
}

}  // namespace kurvo::host
