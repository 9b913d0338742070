#include "text_value.h"

#include "memory.h"

namespace kurvo::host {
namespace {

const std::string kEmpty;

const std::string& textOfImpl(void* impl) noexcept {
  return impl ? *static_cast<const std::string*>(impl) : kEmpty;
}

void* newText(std::string_view text) {
  auto* s = new std::string(text);
  LiveHandles::added();
  return s;
}

void deleteText(void*& impl) noexcept {
  if (!impl) return;
  delete static_cast<std::string*>(impl);
  impl = nullptr;
  LiveHandles::removed();
}

void setTextImpl(void*& impl, std::string_view text) {
  if (impl)
    static_cast<std::string*>(impl)->assign(text);
  else
    impl = newText(text);
}

}  // namespace

const std::string& textOf(const KhStringValue* s) noexcept { return s ? textOfImpl(s->impl) : kEmpty; }
const std::string& textOf(const KhFilenameValue* fn) noexcept {
  return fn ? textOfImpl(fn->impl) : kEmpty;
}

void initText(KhStringValue* s, std::string_view text) {
  if (!s) return;
  s->impl = nullptr;
  s->impl = newText(text);
}
void initText(KhFilenameValue* fn, std::string_view text) {
  if (!fn) return;
  fn->impl = nullptr;
  fn->impl = newText(text);
}

void setText(KhStringValue* s, std::string_view text) {
  if (s) setTextImpl(s->impl, text);
}
void setText(KhFilenameValue* fn, std::string_view text) {
  if (fn) setTextImpl(fn->impl, text);
}

void freeText(KhStringValue* s) noexcept {
  if (s) deleteText(s->impl);
}
void freeText(KhFilenameValue* fn) noexcept {
  if (fn) deleteText(fn->impl);
}

OwnedString::OwnedString(std::string_view text) { initText(&value_, text); }
OwnedString::~OwnedString() { freeText(&value_); }

const KhStringValue* sharedEmptyString() noexcept {
  // impl null reads as empty everywhere; the module never frees this one.
  static const KhStringValue empty{nullptr};
  return &empty;
}

}  // namespace kurvo::host
