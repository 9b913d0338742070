// Host-managed values held by the module: String, Filename, GeData,
// BaseContainer and TriState. Each holds the boundary's value storage as its
// only member: the host initialises, copies and frees the contents, and a
// pointer to host-owned storage (a node's container, a resource string) can be
// viewed as a pointer to the wrapper.
#pragma once

#include <new>

#include "api_types.h"

class String {
 public:
  String();
  String(const char* text);  // NOLINT: literals convert, as every host call takes String
  String(const String& other);
  String& operator=(const String& other);
  ~String();

  // True when the string is not empty.
  Bool Content() const;
  int32 GetLength() const;
  // Copies at most size-1 bytes and a NUL into buf; answers the full length.
  int32 GetCString(char* buf, int32 size) const;

  String& operator+=(const String& add);
  friend String operator+(const String& a, const String& b);
  friend bool operator==(const String& a, const String& b);
  friend bool operator!=(const String& a, const String& b) { return !(a == b); }

  KhStringValue* Kh() { return &value_; }
  const KhStringValue* Kh() const { return &value_; }
  // Views host-owned string storage as a String.
  static const String* From(const KhStringValue* v) { return reinterpret_cast<const String*>(v); }
  static String* From(KhStringValue* v) { return reinterpret_cast<String*>(v); }

 private:
  enum class Adopt { kTag };
  String(Adopt) : value_{nullptr} {}  // storage the caller initialises through the host
  friend class Filename;
  friend class GeData;
  friend class BaseContainer;
  friend class BaseList2D;

  KhStringValue value_;
};

class Filename {
 public:
  Filename();
  Filename(const String& text);  // NOLINT
  Filename(const char* text);    // NOLINT
  Filename(const Filename& other);
  Filename& operator=(const Filename& other);
  ~Filename();

  Bool Content() const;
  String GetString() const;
  void SetString(const String& text);
  // Directory part (empty when there is none) and last component.
  Filename GetDirectory() const;
  Filename GetFile() const;

  // Joins with the platform separator: dir + "res" + "Kurvo.tif".
  Filename& operator+=(const Filename& component);
  friend Filename operator+(const Filename& a, const Filename& b);

  // Heap Filename objects use the layer's allocator.
  static void* operator new(std::size_t size, const std::nothrow_t&) noexcept;
  static void operator delete(void* block) noexcept;
  static void operator delete(void* block, const std::nothrow_t&) noexcept;

  KhFilenameValue* Kh() { return &value_; }
  const KhFilenameValue* Kh() const { return &value_; }
  static const Filename* From(const KhFilenameValue* v) { return reinterpret_cast<const Filename*>(v); }

 private:
  enum class Adopt { kTag };
  Filename(Adopt) : value_{nullptr} {}
  friend class GeData;
  friend class BaseContainer;

  KhFilenameValue value_;
};

// Tag for constructing custom data of a type with the type's default content.
enum DefaultValueType { DEFAULTVALUE };

class GeData {
 public:
  GeData();
  GeData(const GeData& other);
  GeData& operator=(const GeData& other);
  ~GeData();

  explicit GeData(int32 v);
  explicit GeData(Real v);
  explicit GeData(const Vector& v);
  explicit GeData(const String& v);
  explicit GeData(const Filename& v);
  // A new custom data value of `type` (1009060 spline curve, 1000481 gradient)
  // with the type's default content; GetType() stays 0 if the host refused.
  GeData(int32 type, DefaultValueType);
  // A copy of `data` as custom data of `type`.
  GeData(int32 type, const CustomDataType& data);

  // Kind of the value: KH_DA_* or a custom data type ID.
  int32 GetType() const;
  int32 GetLong() const;
  Real GetReal() const;
  Vector GetVector() const;
  String GetString() const;
  Filename GetFilename() const;
  // The custom data of `type` held here (owned by this value), or null.
  CustomDataType* GetCustomDataType(int32 type) const;

  void SetLong(int32 v);
  void SetReal(Real v);
  void SetVector(const Vector& v);
  void SetString(const String& v);
  void SetFilename(const Filename& v);
  Bool SetCustomDataType(int32 type, const CustomDataType& data);

  KhDataValue* Kh() { return &value_; }
  const KhDataValue* Kh() const { return &value_; }
  static const GeData* From(const KhDataValue* v) { return reinterpret_cast<const GeData*>(v); }
  static GeData* From(KhDataValue* v) { return reinterpret_cast<GeData*>(v); }

 private:
  KhDataValue value_;
};

class BaseContainer {
 public:
  // Empty container with ID -1.
  BaseContainer();
  explicit BaseContainer(int32 id);
  BaseContainer(const BaseContainer& other);
  BaseContainer& operator=(const BaseContainer& other);
  ~BaseContainer();

  int32 GetId() const;
  void SetId(int32 id);
  // Position of entry id, or -1.
  int32 FindIndex(int32 id) const;
  int32 GetEntryCount() const;

  // Typed reads: the default answers for a missing entry. GetBool answers the
  // stored integer unchanged (a stored 2 reads as 2).
  Bool GetBool(int32 id, Bool preset = false) const;
  int32 GetLong(int32 id, int32 preset = 0) const;
  Real GetReal(int32 id, Real preset = 0.0f) const;
  Vector GetVector(int32 id, const Vector& preset = Vector()) const;
  Matrix GetMatrix(int32 id, const Matrix& preset = Matrix()) const;
  String GetString(int32 id, const String& preset = String()) const;
  Filename GetFilename(int32 id, const Filename& preset = Filename()) const;
  // The entry's value (owned by the container), or null.
  const GeData* GetData(int32 id) const;
  // Sub-container of entry id (owned by this container), or null.
  BaseContainer* GetContainerInstance(int32 id);
  // The scene object that link entry id names inside doc, or null.
  BaseObject* GetObjectLink(int32 id, BaseDocument* doc) const;
  // Custom data of `type` held by entry id (owned by the container), or null.
  CustomDataType* GetCustomDataType(int32 id, int32 type) const;

  void SetBool(int32 id, Bool v);
  void SetLong(int32 id, int32 v);
  void SetReal(int32 id, Real v);
  void SetVector(int32 id, const Vector& v);
  void SetMatrix(int32 id, const Matrix& v);
  void SetString(int32 id, const String& v);
  void SetFilename(int32 id, const Filename& v);
  void SetData(int32 id, const GeData& v);
  void SetLink(int32 id, BaseList2D* node);
  void SetContainer(int32 id, const BaseContainer& v);
  Bool RemoveData(int32 id);

  KhContainerValue* Kh() { return &value_; }
  const KhContainerValue* Kh() const { return &value_; }
  // Views host-owned container storage (a node's parameters, a message) as a
  // BaseContainer.
  static BaseContainer* From(KhContainerValue* v) { return reinterpret_cast<BaseContainer*>(v); }
  static const BaseContainer* From(const KhContainerValue* v) {
    return reinterpret_cast<const BaseContainer*>(v);
  }

 private:
  KhContainerValue value_;
};

// A value together with its state: 0 one value, 1 values that differ between
// the selected objects. Same layout as KhTriState.
class TriState {
 public:
  TriState() : state_(0), value_() {}
  TriState(const GeData& value, int32 state) : state_(state), value_(value) {}

  int32 GetState() const { return state_; }
  void SetState(int32 state) { state_ = state; }
  const GeData& GetValue() const { return value_; }
  void SetValue(const GeData& value) { value_ = value; }

  static const TriState* From(const KhTriState* v) { return reinterpret_cast<const TriState*>(v); }

 private:
  int32 state_;
  GeData value_;
};

static_assert(sizeof(String) == sizeof(KhStringValue));
static_assert(sizeof(Filename) == sizeof(KhFilenameValue));
static_assert(sizeof(GeData) == sizeof(KhDataValue));
static_assert(sizeof(BaseContainer) == sizeof(KhContainerValue));
static_assert(sizeof(TriState) == sizeof(KhTriState));
