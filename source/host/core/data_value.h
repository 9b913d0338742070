// Host side of typed values (KhDataValue) and parameter containers
// (KhContainerValue). Values owned by a container live on the heap and carry
// their own handle (`self`), so the pointers that get_data/get_container hand
// out stay valid until the entry is overwritten or removed.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <variant>
#include <vector>

#include "custom_data.h"
#include "kh_types.h"

namespace kurvo::host {

class Container;

struct FilenameText {
  std::string path;
};
// A link names a node by its serial number; it resolves only through the
// document the node lives in, so a freed or foreign node never answers.
struct NodeLink {
  uint64_t serial = 0;
};

class Data {
 public:
  Data();
  ~Data();
  Data(const Data& other);
  Data& operator=(const Data& other);

  KhDataValue self{};

  int32_t type() const noexcept;
  void clear() noexcept { value = std::monostate{}; }

  void setLong(int32_t v) { value = v; }
  void setReal(float v) { value = v; }
  void setVector(const KhVector& v) { value = v; }
  void setMatrix(const KhMatrix& v) { value = v; }
  void setString(std::string v) { value = std::move(v); }
  void setFilename(std::string v) { value = FilenameText{std::move(v)}; }
  void setLink(uint64_t serial) { value = NodeLink{serial}; }
  void setContainer(const Container& c);
  void setCustom(std::unique_ptr<CustomData> c) { value = std::move(c); }

  // Reads convert long <-> real and answer 0 for other kinds.
  int32_t getLong() const noexcept;
  float getReal() const noexcept;
  KhVector getVector() const noexcept;
  KhMatrix getMatrix() const noexcept;
  // Text of a string or file name; empty otherwise.
  const std::string& getText() const noexcept;
  uint64_t getLink() const noexcept;
  Container* getContainer() const noexcept;
  CustomData* getCustom(int32_t type) const noexcept;

  using Value = std::variant<std::monostate, int32_t, float, KhVector, KhMatrix, std::string,
                             FilenameText, NodeLink, std::unique_ptr<Container>,
                             std::unique_ptr<CustomData>>;
  Value value;
};

// Told when the entries of a container change (the owner of a node's
// parameters turns that into a data change).
class ContainerObserver {
 public:
  virtual void containerChanged() noexcept = 0;

 protected:
  ~ContainerObserver() = default;
};

class Container {
 public:
  explicit Container(int32_t id = -1);
  ~Container();
  Container(const Container& other);
  Container& operator=(const Container& other);

  KhContainerValue self{};
  int32_t id = -1;
  ContainerObserver* observer = nullptr;  // not copied

  int32_t indexOf(int32_t key) const noexcept;
  const Data* find(int32_t key) const noexcept;
  Data* find(int32_t key) noexcept;
  // The entry `key`, created empty (appended) when missing. Does not tell the
  // observer: write the value, then call touched().
  Data& set(int32_t key);
  bool remove(int32_t key);
  int32_t count() const noexcept { return static_cast<int32_t>(entries_.size()); }
  void clear();

  // Entry ids in insertion order.
  std::vector<int32_t> keys() const;
  // Calls visit(key, data) for every entry, in insertion order, without
  // allocating or looking anything up.
  template <class Visit>
  void forEachEntry(Visit&& visit) const {
    for (const Entry& e : entries_) visit(e.key, *e.data);
  }

  // Convenience reads with a default for a missing entry.
  int32_t getLong(int32_t key, int32_t fallback = 0) const noexcept;
  float getReal(int32_t key, float fallback = 0) const noexcept;
  bool getBool(int32_t key, bool fallback = false) const noexcept;
  KhVector getVector(int32_t key, KhVector fallback = {}) const noexcept;
  std::string getString(int32_t key) const;

  void setLong(int32_t key, int32_t v) {
    set(key).setLong(v);
    touched();
  }
  void setReal(int32_t key, float v) {
    set(key).setReal(v);
    touched();
  }
  void setBool(int32_t key, bool v) {
    set(key).setLong(v ? 1 : 0);
    touched();
  }
  void setVector(int32_t key, const KhVector& v) {
    set(key).setVector(v);
    touched();
  }
  void setString(int32_t key, std::string v) {
    set(key).setString(std::move(v));
    touched();
  }
  void setLink(int32_t key, uint64_t serial) {
    set(key).setLink(serial);
    touched();
  }
  void setData(int32_t key, const Data& v) {
    set(key) = v;
    touched();
  }

  void touched() noexcept {
    if (observer) observer->containerChanged();
  }

 private:
  struct Entry {
    int32_t key;
    std::unique_ptr<Data> data;
  };
  void reindexFrom(size_t position);
  std::vector<Entry> entries_;
  std::unordered_map<int32_t, uint32_t> index_;
};

inline Container* containerOf(const KhContainerValue* bc) noexcept {
  return bc ? static_cast<Container*>(bc->impl) : nullptr;
}
inline Data* dataOf(const KhDataValue* d) noexcept {
  return d ? static_cast<Data*>(d->impl) : nullptr;
}

// Storage init/free shared by the families (they count live handles).
void initContainerStorage(KhContainerValue* bc, const Container* copyOf, int32_t id);
void freeContainerStorage(KhContainerValue* bc) noexcept;
void initDataStorage(KhDataValue* d, const Data* copyOf);
void freeDataStorage(KhDataValue* d) noexcept;

}  // namespace kurvo::host
