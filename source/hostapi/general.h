// General host services (console, web pages, modelling commands), the
// module's resources and its own location.
#pragma once

#include "api_types.h"
#include "values.h"

// Writes one line to the host console.
void GePrint(const String& text);
// Opens a web address in the user's browser.
void GeOpenHTML(const String& address);

// The module's own file name, handed over at system initialisation; null
// before and after. Owned by the module's entry.
extern Filename* path_storage;
// The directory that holds the module (empty before path_storage is set).
Filename GeGetPluginPath();

// Record of a modelling command; same layout as KhModelingCommandData.
class ModelingCommandData {
 public:
  BaseDocument* doc = nullptr;
  BaseObject* op = nullptr;
  const BaseContainer* bc = nullptr;  // settings, may be null
  int32 mode = 0;
  void* result = nullptr;             // filled by the host; released here

  ModelingCommandData() = default;
  ModelingCommandData(const ModelingCommandData&) = delete;
  ModelingCommandData& operator=(const ModelingCommandData&) = delete;
  ~ModelingCommandData();
};

// Runs modelling command `command` (227 optimize) on data.op; true on success.
Bool SendModelingCommand(int32 command, ModelingCommandData& data);

// The module's resource directory ("res" beside the module file): string
// table and descriptions. Fields in this order, all zero at load.
class GeResource {
 public:
  constexpr GeResource() = default;
  GeResource(const GeResource&) = delete;
  GeResource& operator=(const GeResource&) = delete;
  // The unload-time clean-up: the same as Free; finds nothing after Free.
  ~GeResource();

  // Loads the resource of GeGetPluginPath() once; a failed load is
  // remembered and not retried. True when a resource is loaded.
  Bool Init();
  // Marks this resource as the host's own: Free then leaves the handle alone.
  void InitAsGlobal(LocalResource* handle);
  // Frees the handle and the stored directory (nothing when global). The
  // loaded flag keeps its value, so a failed load is not retried.
  void Free();
  // Free, and forget the load attempt: used when the module is unbound from
  // its host, so that binding again starts from nothing.
  void Reset();
  // String `id`, or the host's shared empty string when nothing is loaded.
  const String& LoadString(int32 id) const;

  LocalResource* GetHandle() const { return handle_; }
  Bool IsLoaded() const { return loaded_; }

 private:
  LocalResource* handle_ = nullptr;
  int32 loaded_ = 0;
  int32 global_ = 0;
  Filename* directory_ = nullptr;
};

// The module's one resource object.
extern GeResource resource;

const String& GeLoadString(int32 id);
void FreeResource();
