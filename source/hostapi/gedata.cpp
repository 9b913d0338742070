#include "families.h"
#include "host_libraries.h"
#include "values.h"

using family::Data;

GeData::GeData() { Data().init(&value_); }
GeData::GeData(const GeData& other) { Data().init_copy(&value_, &other.value_); }
GeData& GeData::operator=(const GeData& other) {
  if (this != &other) Data().assign(&value_, &other.value_);
  return *this;
}
GeData::~GeData() { Data().free(&value_); }

GeData::GeData(int32 v) : GeData() { SetLong(v); }
GeData::GeData(Real v) : GeData() { SetReal(v); }
GeData::GeData(const Vector& v) : GeData() { SetVector(v); }
GeData::GeData(const String& v) : GeData() { SetString(v); }
GeData::GeData(const Filename& v) : GeData() { SetFilename(v); }
GeData::GeData(int32 type, DefaultValueType) : GeData() { Data().init_custom(&value_, type); }
GeData::GeData(int32 type, const CustomDataType& data) : GeData() { SetCustomDataType(type, data); }

int32 GeData::GetType() const { return Data().get_type(&value_); }
int32 GeData::GetLong() const { return Data().get_long(&value_); }
Real GeData::GetReal() const { return Data().get_real(&value_); }

Vector GeData::GetVector() const {
  Vector v;
  Data().get_vector(&value_, AsKh(&v));
  return v;
}

String GeData::GetString() const {
  String s(String::Adopt::kTag);
  Data().get_string(&value_, s.Kh());
  return s;
}

Filename GeData::GetFilename() const {
  Filename f(Filename::Adopt::kTag);
  Data().get_filename(&value_, f.Kh());
  return f;
}

CustomDataType* GeData::GetCustomDataType(int32 type) const {
  return CustomDataType::From(Data().get_custom(&value_, type));
}

void GeData::SetLong(int32 v) { Data().set_long(&value_, v); }
void GeData::SetReal(Real v) { Data().set_real(&value_, v); }
void GeData::SetVector(const Vector& v) { Data().set_vector(&value_, AsKh(&v)); }
void GeData::SetString(const String& v) { Data().set_string(&value_, v.Kh()); }
void GeData::SetFilename(const Filename& v) { Data().set_filename(&value_, v.Kh()); }
Bool GeData::SetCustomDataType(int32 type, const CustomDataType& data) {
  return Data().set_custom(&value_, type, data.Kh());
}
