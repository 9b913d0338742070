// Host side of KhStringValue and KhFilenameValue: both hold a heap
// std::string (UTF-8; a file name holds its path text). Storage that was
// never initialised (impl null) reads as empty.
#pragma once

#include <string>
#include <string_view>

#include "kh_types.h"

namespace kurvo::host {

const std::string& textOf(const KhStringValue* s) noexcept;
const std::string& textOf(const KhFilenameValue* fn) noexcept;

// Initialises storage (whatever it held is not looked at).
void initText(KhStringValue* s, std::string_view text);
void initText(KhFilenameValue* fn, std::string_view text);
// Replaces the text of initialised storage (initialises it when impl is null).
void setText(KhStringValue* s, std::string_view text);
void setText(KhFilenameValue* fn, std::string_view text);
// Releases the text; the storage reads as empty afterwards.
void freeText(KhStringValue* s) noexcept;
void freeText(KhFilenameValue* fn) noexcept;

// A string value owned by host code (resource strings, message answers).
class OwnedString {
 public:
  explicit OwnedString(std::string_view text = {});
  ~OwnedString();
  OwnedString(const OwnedString&) = delete;
  OwnedString& operator=(const OwnedString&) = delete;
  const KhStringValue* value() const noexcept { return &value_; }
  KhStringValue* value() noexcept { return &value_; }

 private:
  KhStringValue value_{};
};

// The shared empty string that the string family's first entry names.
const KhStringValue* sharedEmptyString() noexcept;

}  // namespace kurvo::host
