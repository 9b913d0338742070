#include "families.h"
#include "values.h"

using family::Str;

String::String() { Str().init(&value_); }
String::String(const char* text) { Str().init_cstr(&value_, text); }
String::String(const String& other) { Str().init_copy(&value_, &other.value_); }
String& String::operator=(const String& other) {
  if (this != &other) Str().assign(&value_, &other.value_);
  return *this;
}
String::~String() { Str().free(&value_); }

Bool String::Content() const { return Str().content(&value_); }
int32 String::GetLength() const { return Str().length(&value_); }
int32 String::GetCString(char* buf, int32 size) const { return Str().get_cstr(&value_, buf, size); }

String& String::operator+=(const String& add) {
  Str().append(&value_, &add.value_);
  return *this;
}

String operator+(const String& a, const String& b) {
  String joined(a);
  joined += b;
  return joined;
}

bool operator==(const String& a, const String& b) { return Str().compare(&a.value_, &b.value_) != 0; }
