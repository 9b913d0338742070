// A module's resource directory: its string table (res/strings.json) and the
// place its descriptions are read from. See docs/resource-format.md.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <unordered_map>

#include "kh_types.h"
#include "text_value.h"

namespace kurvo::host {

class Resource {
 public:
  // The resource in `moduleDir`/res, or null with `error` set ("<file>: <field>:
  // <problem>") when the directory or its string table is missing or bad.
  static std::unique_ptr<Resource> load(const std::filesystem::path& moduleDir, std::string& error);
  static std::unique_ptr<Resource> parseStrings(const std::string& text,
                                                const std::filesystem::path& resDir,
                                                const std::filesystem::path& file,
                                                std::string& error);

  const std::filesystem::path& directory() const noexcept { return dir_; }
  // The string with `id`, owned here; null when the table lacks it.
  const KhStringValue* string(int32_t id) const noexcept;
  size_t stringCount() const noexcept { return strings_.size(); }

  static constexpr uint32_t kMagic = 0x52455343;  // 'RESC'
  uint32_t magic = kMagic;
  ~Resource() { magic = 0; }

 private:
  std::filesystem::path dir_;
  std::unordered_map<int32_t, std::unique_ptr<OwnedString>> strings_;
};

inline KhResource* toHandle(Resource* r) noexcept { return reinterpret_cast<KhResource*>(r); }
// The live resource behind a handle, or null.
inline Resource* resourceFrom(KhResource* h) noexcept {
  auto* r = reinterpret_cast<Resource*>(h);
  return r && r->magic == Resource::kMagic ? r : nullptr;
}

}  // namespace kurvo::host
