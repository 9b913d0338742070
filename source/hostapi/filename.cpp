#include "families.h"
#include "memory.h"
#include "values.h"

using family::File;

Filename::Filename() { File().init(&value_); }
Filename::Filename(const String& text) {
  File().init(&value_);
  File().set_string(&value_, text.Kh());
}
Filename::Filename(const char* text) : Filename(String(text)) {}
Filename::Filename(const Filename& other) { File().init_copy(&value_, &other.value_); }
Filename& Filename::operator=(const Filename& other) {
  if (this != &other) File().assign(&value_, &other.value_);
  return *this;
}
Filename::~Filename() { File().free(&value_); }

Bool Filename::Content() const { return File().content(&value_); }

String Filename::GetString() const {
  String text(String::Adopt::kTag);
  File().get_string(&value_, text.Kh());
  return text;
}

void Filename::SetString(const String& text) { File().set_string(&value_, text.Kh()); }

Filename Filename::GetDirectory() const {
  Filename dir(Adopt::kTag);
  File().get_directory(&value_, &dir.value_);
  return dir;
}

Filename Filename::GetFile() const {
  Filename file(Adopt::kTag);
  File().get_file(&value_, &file.value_);
  return file;
}

Filename& Filename::operator+=(const Filename& component) {
  File().add_component(&value_, &component.value_);
  return *this;
}

Filename operator+(const Filename& a, const Filename& b) {
  Filename joined(a);
  joined += b;
  return joined;
}

void* Filename::operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return ::operator new(size, std::nothrow, 0, nullptr);
}
void Filename::operator delete(void* block) noexcept { GeFreeBlock(block); }
void Filename::operator delete(void* block, const std::nothrow_t&) noexcept { GeFreeBlock(block); }
