// Registered plug-ins (by type code and ID, each with the host's own copy of
// its record) and the registry of libraries (type 28).
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "kh_host_table.h"

namespace kurvo::host {

struct RegisteredPlugin {
  int32_t type = 0;
  int32_t id = 0;
  int32_t apiVersion = 0;
  std::string name;
  // The copied record, zero-padded to the full record size of its type so that
  // entries a smaller record lacks read as null.
  std::vector<std::max_align_t> storage;
  int32_t recordSize = 0;  // as the module gave it

  const void* record() const noexcept { return storage.data(); }
  template <class T>
  const T* as() const noexcept {
    return static_cast<const T*>(record());
  }
};

class PluginRegistry {
 public:
  // False for a taken (type, id), a null or empty record, or an unknown type.
  bool add(int32_t apiVersion, int32_t type, int32_t id, std::string name, const void* record,
           int32_t recordSize);
  const RegisteredPlugin* find(int32_t type, int32_t id) const noexcept;
  // All plug-ins in registration order.
  std::vector<const RegisteredPlugin*> all() const;
  // Registration order is kept here; the map gives the look-up.
  void clear() noexcept;

  // Registry entries (type 28 libraries and anything else by type).
  struct Entry {
    int32_t type;
    int32_t id;
    void* data;
  };
  bool registryAdd(int32_t id, int32_t type, void* data);
  Entry* registryFind(int32_t id, int32_t type) noexcept;
  // Drops every entry that a module added (host libraries stay).
  void dropModuleEntries() noexcept;
  void markHostEntries() noexcept { hostEntryCount_ = entries_.size(); }

 private:
  std::vector<std::unique_ptr<RegisteredPlugin>> plugins_;
  std::map<std::pair<int32_t, int32_t>, RegisteredPlugin*> byKey_;
  std::vector<std::unique_ptr<Entry>> entries_;
  size_t hostEntryCount_ = 0;
};

}  // namespace kurvo::host
