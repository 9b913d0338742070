// File names: the path text as UTF-8, joined with '/'.
#include <string>

#include "boundary.h"
#include "families.h"
#include "text_value.h"

namespace kurvo::host {
namespace {

// Position of the last separator, or npos. Both separators count so that a
// path written on another platform still splits.
size_t lastSeparator(const std::string& p) { return p.find_last_of("/\\"); }

void KH_CALL init(KhFilenameValue* fn) { guardedVoid([&] { initText(fn, {}); }); }
void KH_CALL initCopy(KhFilenameValue* dst, const KhFilenameValue* src) {
  guardedVoid([&] { initText(dst, textOf(src)); });
}
void KH_CALL assign(KhFilenameValue* dst, const KhFilenameValue* src) {
  guardedVoid([&] {
    if (dst != src) setText(dst, std::string(textOf(src)));
  });
}
void KH_CALL release(KhFilenameValue* fn) { freeText(fn); }
void KH_CALL setString(KhFilenameValue* fn, const KhStringValue* text) {
  guardedVoid([&] { setText(fn, std::string(textOf(text))); });
}
void KH_CALL getString(const KhFilenameValue* fn, KhStringValue* out) {
  guardedVoid([&] { initText(out, textOf(fn)); });
}
void KH_CALL getDirectory(const KhFilenameValue* fn, KhFilenameValue* out) {
  guardedVoid([&] {
    const std::string& p = textOf(fn);
    const size_t sep = lastSeparator(p);
    if (sep == std::string::npos)
      initText(out, {});
    else if (sep == 0)
      initText(out, p.substr(0, 1));  // the root stays a directory
    else
      initText(out, p.substr(0, sep));
  });
}
void KH_CALL getFile(const KhFilenameValue* fn, KhFilenameValue* out) {
  guardedVoid([&] {
    const std::string& p = textOf(fn);
    const size_t sep = lastSeparator(p);
    initText(out, sep == std::string::npos ? p : p.substr(sep + 1));
  });
}
void KH_CALL addComponent(KhFilenameValue* fn, const KhFilenameValue* component) {
  guardedVoid([&] {
    if (!fn) return;
    std::string joined = textOf(fn);
    const std::string& add = textOf(component);
    if (add.empty()) return;
    if (!joined.empty() && joined.back() != '/' && joined.back() != '\\') joined += '/';
    joined += add;
    setText(fn, joined);
  });
}
int32_t KH_CALL content(const KhFilenameValue* fn) { return textOf(fn).empty() ? 0 : 1; }

}  // namespace

const KhFilenameFamily* filenameFamily() noexcept {
  static const KhFilenameFamily family = [] {
    KhFilenameFamily f{};
    f.init = init;
    f.init_copy = initCopy;
    f.assign = assign;
    f.free = release;
    f.set_string = setString;
    f.get_string = getString;
    f.get_directory = getDirectory;
    f.get_file = getFile;
    f.add_component = addComponent;
    f.content = content;
    return f;
  }();
  return &family;
}

}  // namespace kurvo::host
