// Custom data types that typed values can hold (spline curves, gradients),
// registered by type ID. A KhCustomData handle is the address of the
// CustomData object.
#pragma once

#include <cstdint>
#include <memory>

#include "kh_types.h"

namespace kurvo::host {

class CustomData {
 public:
  virtual ~CustomData() = default;
  // Kept as a field, not a virtual: the type test runs on every curve look-up
  // of the deformer's per-point loop.
  int32_t typeId() const noexcept { return type_; }
  virtual std::unique_ptr<CustomData> clone() const = 0;
  // Whether `other` holds the same value (the same type and content).
  virtual bool equals(const CustomData& other) const = 0;

 protected:
  explicit CustomData(int32_t type) noexcept : type_(type) {}
  CustomData(const CustomData&) = default;
  CustomData& operator=(const CustomData&) = default;

 private:
  int32_t type_;
};

// A new value of a registered custom type with the type's default content,
// or null for an unknown type.
std::unique_ptr<CustomData> makeCustomData(int32_t type);
bool isCustomDataType(int32_t type) noexcept;

inline KhCustomData* toHandle(CustomData* d) noexcept { return reinterpret_cast<KhCustomData*>(d); }
inline CustomData* fromHandle(KhCustomData* h) noexcept { return reinterpret_cast<CustomData*>(h); }
inline const CustomData* fromHandle(const KhCustomData* h) noexcept {
  return reinterpret_cast<const CustomData*>(h);
}

// The handle's object when it is of `type`, else null.
template <class T>
T* customAs(const KhCustomData* h) noexcept {
  auto* d = const_cast<CustomData*>(fromHandle(h));
  return d && d->typeId() == T::kType ? static_cast<T*>(d) : nullptr;
}

}  // namespace kurvo::host
