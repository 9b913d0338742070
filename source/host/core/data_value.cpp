#include "data_value.h"

#include "memory.h"

namespace kurvo::host {
namespace {

const std::string kNoText;

Data::Value copyValue(const Data::Value& v) {
  if (auto* c = std::get_if<std::unique_ptr<Container>>(&v))
    return *c ? std::make_unique<Container>(**c) : std::unique_ptr<Container>{};
  if (auto* c = std::get_if<std::unique_ptr<CustomData>>(&v))
    return *c ? (*c)->clone() : std::unique_ptr<CustomData>{};
  return std::visit(
      [](const auto& x) -> Data::Value {
        using T = std::decay_t<decltype(x)>;
        if constexpr (std::is_same_v<T, std::unique_ptr<Container>> ||
                      std::is_same_v<T, std::unique_ptr<CustomData>>)
          return std::monostate{};  // handled above
        else
          return x;
      },
      v);
}

}  // namespace

Data::Data() { self.impl = this; }
Data::~Data() = default;
Data::Data(const Data& other) : value(copyValue(other.value)) { self.impl = this; }
Data& Data::operator=(const Data& other) {
  if (this != &other) value = copyValue(other.value);
  return *this;
}

int32_t Data::type() const noexcept {
  switch (value.index()) {
    case 1: return KH_DA_LONG;
    case 2: return KH_DA_REAL;
    case 3: return KH_DA_VECTOR;
    case 4: return KH_DA_MATRIX;
    case 5: return KH_DA_STRING;
    case 6: return KH_DA_FILENAME;
    case 7: return KH_DA_LINK;
    case 8: return KH_DA_CONTAINER;
    case 9: {
      auto& c = std::get<std::unique_ptr<CustomData>>(value);
      return c ? c->typeId() : KH_DA_NIL;
    }
    default: return KH_DA_NIL;
  }
}

void Data::setContainer(const Container& c) { value = std::make_unique<Container>(c); }

int32_t Data::getLong() const noexcept {
  if (auto* v = std::get_if<int32_t>(&value)) return *v;
  if (auto* v = std::get_if<float>(&value)) {
    // Out-of-range and NaN reals read as 0 instead of undefined behaviour.
    if (!(*v > -2147483648.0f && *v < 2147483648.0f)) return 0;
    return static_cast<int32_t>(*v);
  }
  return 0;
}

float Data::getReal() const noexcept {
  if (auto* v = std::get_if<float>(&value)) return *v;
  if (auto* v = std::get_if<int32_t>(&value)) return static_cast<float>(*v);
  return 0.0f;
}

KhVector Data::getVector() const noexcept {
  if (auto* v = std::get_if<KhVector>(&value)) return *v;
  return KhVector{0, 0, 0};
}

KhMatrix Data::getMatrix() const noexcept {
  if (auto* v = std::get_if<KhMatrix>(&value)) return *v;
  return KhMatrix{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
}

const std::string& Data::getText() const noexcept {
  if (auto* v = std::get_if<std::string>(&value)) return *v;
  if (auto* v = std::get_if<FilenameText>(&value)) return v->path;
  return kNoText;
}

uint64_t Data::getLink() const noexcept {
  if (auto* v = std::get_if<NodeLink>(&value)) return v->serial;
  return 0;
}

Container* Data::getContainer() const noexcept {
  if (auto* v = std::get_if<std::unique_ptr<Container>>(&value)) return v->get();
  return nullptr;
}

CustomData* Data::getCustom(int32_t type) const noexcept {
  if (auto* v = std::get_if<std::unique_ptr<CustomData>>(&value))
    if (*v && (*v)->typeId() == type) return v->get();
  return nullptr;
}

Container::Container(int32_t id_) : id(id_) { self.impl = this; }
Container::~Container() = default;

Container::Container(const Container& other) : id(other.id) {
  self.impl = this;
  entries_.reserve(other.entries_.size());
  for (const auto& e : other.entries_) entries_.push_back({e.key, std::make_unique<Data>(*e.data)});
  index_ = other.index_;
}

Container& Container::operator=(const Container& other) {
  if (this == &other) return *this;
  Container copy(other);
  entries_ = std::move(copy.entries_);
  index_ = std::move(copy.index_);
  id = other.id;
  touched();
  return *this;
}

int32_t Container::indexOf(int32_t key) const noexcept {
  auto it = index_.find(key);
  return it == index_.end() ? -1 : static_cast<int32_t>(it->second);
}

const Data* Container::find(int32_t key) const noexcept {
  const int32_t i = indexOf(key);
  return i < 0 ? nullptr : entries_[static_cast<size_t>(i)].data.get();
}

Data* Container::find(int32_t key) noexcept {
  const int32_t i = indexOf(key);
  return i < 0 ? nullptr : entries_[static_cast<size_t>(i)].data.get();
}

Data& Container::set(int32_t key) {
  Data* d = find(key);
  if (!d) {
    auto fresh = std::make_unique<Data>();
    d = fresh.get();
    entries_.push_back({key, std::move(fresh)});
    index_[key] = static_cast<uint32_t>(entries_.size() - 1);
  }
  return *d;
}

bool Container::remove(int32_t key) {
  const int32_t i = indexOf(key);
  if (i < 0) return false;
  entries_.erase(entries_.begin() + i);
  index_.erase(key);
  reindexFrom(static_cast<size_t>(i));
  touched();
  return true;
}

void Container::clear() {
  entries_.clear();
  index_.clear();
  touched();
}

void Container::reindexFrom(size_t position) {
  for (size_t i = position; i < entries_.size(); ++i)
    index_[entries_[i].key] = static_cast<uint32_t>(i);
}

std::vector<int32_t> Container::keys() const {
  std::vector<int32_t> out;
  out.reserve(entries_.size());
  for (const auto& e : entries_) out.push_back(e.key);
  return out;
}

int32_t Container::getLong(int32_t key, int32_t fallback) const noexcept {
  const Data* d = find(key);
  return d ? d->getLong() : fallback;
}
float Container::getReal(int32_t key, float fallback) const noexcept {
  const Data* d = find(key);
  return d ? d->getReal() : fallback;
}
bool Container::getBool(int32_t key, bool fallback) const noexcept {
  const Data* d = find(key);
  return d ? d->getLong() != 0 : fallback;
}
KhVector Container::getVector(int32_t key, KhVector fallback) const noexcept {
  const Data* d = find(key);
  return d ? d->getVector() : fallback;
}
std::string Container::getString(int32_t key) const {
  const Data* d = find(key);
  return d ? d->getText() : std::string{};
}

void initContainerStorage(KhContainerValue* bc, const Container* copyOf, int32_t id) {
  if (!bc) return;
  bc->impl = nullptr;
  bc->impl = copyOf ? new Container(*copyOf) : new Container(id);
  LiveHandles::added();
}

void freeContainerStorage(KhContainerValue* bc) noexcept {
  if (!bc || !bc->impl) return;
  delete static_cast<Container*>(bc->impl);
  bc->impl = nullptr;
  LiveHandles::removed();
}

void initDataStorage(KhDataValue* d, const Data* copyOf) {
  if (!d) return;
  d->impl = nullptr;
  d->impl = copyOf ? new Data(*copyOf) : new Data();
  LiveHandles::added();
}

void freeDataStorage(KhDataValue* d) noexcept {
  if (!d || !d->impl) return;
  delete static_cast<Data*>(d->impl);
  d->impl = nullptr;
  LiveHandles::removed();
}

}  // namespace kurvo::host
