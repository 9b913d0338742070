#include "families.h"
#include "host_libraries.h"
#include "nodes.h"
#include "values.h"

using family::Container;

BaseContainer::BaseContainer() { Container().init(&value_, -1); }
BaseContainer::BaseContainer(int32 id) { Container().init(&value_, id); }
BaseContainer::BaseContainer(const BaseContainer& other) { Container().init_copy(&value_, &other.value_); }
BaseContainer& BaseContainer::operator=(const BaseContainer& other) {
  if (this != &other) Container().assign(&value_, &other.value_);
  return *this;
}
BaseContainer::~BaseContainer() { Container().free(&value_); }

int32 BaseContainer::GetId() const { return Container().get_id(&value_); }
void BaseContainer::SetId(int32 id) { Container().set_id(&value_, id); }
int32 BaseContainer::FindIndex(int32 id) const { return Container().find_index(&value_, id); }
int32 BaseContainer::GetEntryCount() const { return Container().count(&value_); }

// Typed reads ask for the entry's position first, so a missing entry answers
// the caller's default rather than the host's conversion of nothing.
Bool BaseContainer::GetBool(int32 id, Bool preset) const {
  if (FindIndex(id) == -1) return preset;
  return Container().get_long(&value_, id);
}

int32 BaseContainer::GetLong(int32 id, int32 preset) const {
  if (FindIndex(id) == -1) return preset;
  return Container().get_long(&value_, id);
}

Real BaseContainer::GetReal(int32 id, Real preset) const {
  if (FindIndex(id) == -1) return preset;
  return Container().get_real(&value_, id);
}

Vector BaseContainer::GetVector(int32 id, const Vector& preset) const {
  if (FindIndex(id) == -1) return preset;
  Vector v;
  Container().get_vector(&value_, id, AsKh(&v));
  return v;
}

Matrix BaseContainer::GetMatrix(int32 id, const Matrix& preset) const {
  if (FindIndex(id) == -1) return preset;
  Matrix m;
  Container().get_matrix(&value_, id, AsKh(&m));
  return m;
}

String BaseContainer::GetString(int32 id, const String& preset) const {
  if (FindIndex(id) == -1) return preset;
  String s(String::Adopt::kTag);
  Container().get_string(&value_, id, s.Kh());
  return s;
}

Filename BaseContainer::GetFilename(int32 id, const Filename& preset) const {
  const GeData* data = GetData(id);
  return data ? data->GetFilename() : preset;
}

const GeData* BaseContainer::GetData(int32 id) const {
  return GeData::From(Container().get_data(&value_, id));
}

BaseContainer* BaseContainer::GetContainerInstance(int32 id) {
  return From(Container().get_container(&value_, id));
}

BaseObject* BaseContainer::GetObjectLink(int32 id, BaseDocument* doc) const {
  // Only a link that resolves inside doc to a scene object is answered.
  KhNode* node = Container().get_link(&value_, id, doc ? doc->Kh() : nullptr, KH_TYPE_BASEOBJECT);
  return BaseObject::From(node);
}

CustomDataType* BaseContainer::GetCustomDataType(int32 id, int32 type) const {
  const GeData* data = GetData(id);
  return data ? data->GetCustomDataType(type) : nullptr;
}

void BaseContainer::SetBool(int32 id, Bool v) { Container().set_long(&value_, id, v); }
void BaseContainer::SetLong(int32 id, int32 v) { Container().set_long(&value_, id, v); }
void BaseContainer::SetReal(int32 id, Real v) { Container().set_real(&value_, id, v); }
void BaseContainer::SetVector(int32 id, const Vector& v) { Container().set_vector(&value_, id, AsKh(&v)); }
void BaseContainer::SetMatrix(int32 id, const Matrix& v) { Container().set_matrix(&value_, id, AsKh(&v)); }
void BaseContainer::SetString(int32 id, const String& v) { Container().set_string(&value_, id, v.Kh()); }
void BaseContainer::SetFilename(int32 id, const Filename& v) { SetData(id, GeData(v)); }
void BaseContainer::SetData(int32 id, const GeData& v) { Container().set_data(&value_, id, v.Kh()); }
void BaseContainer::SetLink(int32 id, BaseList2D* node) {
  Container().set_link(&value_, id, node ? node->Kh() : nullptr);
}
void BaseContainer::SetContainer(int32 id, const BaseContainer& v) {
  Container().set_container(&value_, id, &v.value_);
}
Bool BaseContainer::RemoveData(int32 id) { return Container().remove(&value_, id); }
