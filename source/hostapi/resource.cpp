// The module's resource directory: loaded once, a failed load is remembered.
#include "families.h"
#include "general.h"

GeResource resource;

GeResource::~GeResource() { Free(); }

Bool GeResource::Init() {
  if (!directory_) {
    directory_ = new (std::nothrow) Filename(GeGetPluginPath());
    if (!directory_) return false;
  }
  if (loaded_) return handle_ != nullptr;
  handle_ = family::Resource().load(directory_->Kh());
  loaded_ = true;
  return handle_ != nullptr;
}

void GeResource::InitAsGlobal(LocalResource* handle) {
  handle_ = handle;
  loaded_ = true;
  global_ = true;
}

void GeResource::Free() {
  if (global_) return;
  if (handle_) family::Resource().free(handle_);
  handle_ = nullptr;
  delete directory_;
  directory_ = nullptr;
}

void GeResource::Reset() {
  if (global_) return;
  Free();
  loaded_ = false;
}

const String& GeResource::LoadString(int32 id) const {
  if (handle_) return *String::From(family::Resource().load_string(handle_, id));
  return *String::From(family::Str().shared_empty);
}

const String& GeLoadString(int32 id) { return resource.LoadString(id); }
void FreeResource() { resource.Free(); }
