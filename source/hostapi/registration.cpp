// Registration of object, tag, shader and custom GUI plug-ins.
#include "registration.h"

#include <cstring>

#include "bitmap.h"
#include "families.h"
#include "general.h"
#include "record_fill.h"

namespace {

// Zero-filled record: every operation that is not set stays null.
template <typename Record>
Record ZeroRecord() {
  Record record;
  std::memset(&record, 0, sizeof record);
  return record;
}

// A non-empty description is registered first; its failure stops everything.
Bool DescriptionReady(int32 id, const String& description) {
  return !description.Content() || RegisterDescription(id, description, nullptr);
}

template <typename Fn>
Bool WithIconFile(const String& icon, Fn&& register_with) {
  if (!icon.Content()) return register_with(nullptr);
  BaseBitmap* bmp = BaseBitmap::Alloc();
  if (!bmp) return false;
  const Filename path = GeGetPluginPath() + Filename("res") + Filename(icon);
  Bool ok = false;
  if (bmp->Init(path, -1, nullptr) == IMAGE_OK) ok = register_with(bmp);
  BaseBitmap::Free(bmp);
  return ok;
}

}  // namespace

Bool GeRegisterPlugin(int32 type, int32 id, const String& name, const void* record, int32 size) {
  return family::General().register_plugin(kMinHostVersion, type, id, name.Kh(), record, size);
}

Bool RegisterObjectPlugin(int32 id, const String& name, int32 info, DataAllocator* alloc,
                          const String& description, BaseBitmap* icon, int32 disklevel, void* data) {
  if (!DescriptionReady(id, description)) return false;
  auto record = ZeroRecord<OBJECTPLUGIN>();
  if (!FillNodePlugin(&record.node, info, alloc, icon, disklevel, data)) return false;
  FillObjectPlugin(&record, info);
  return GeRegisterPlugin(KH_PLUGINTYPE_OBJECT, id, name, &record, sizeof record);
}

Bool RegisterObjectPlugin(int32 id, const String& name, int32 info, DataAllocator* alloc,
                          const String& description, int32 disklevel) {
  return RegisterObjectPlugin(id, name, info, alloc, description, static_cast<BaseBitmap*>(nullptr), disklevel);
}

Bool RegisterObjectPlugin(int32 id, const String& name, int32 info, DataAllocator* alloc,
                          const String& description, const String& icon, int32 disklevel) {
  return WithIconFile(icon, [&](BaseBitmap* bmp) {
    return RegisterObjectPlugin(id, name, info, alloc, description, bmp, disklevel);
  });
}

Bool RegisterTagPlugin(int32 id, const String& name, int32 info, DataAllocator* alloc,
                       const String& description, BaseBitmap* icon, int32 disklevel, void* data) {
  if (!DescriptionReady(id, description)) return false;
  auto record = ZeroRecord<TAGPLUGIN>();
  if (!FillNodePlugin(&record.node, info, alloc, icon, disklevel, data)) return false;
  FillTagPlugin(&record);
  return GeRegisterPlugin(KH_PLUGINTYPE_TAG, id, name, &record, sizeof record);
}

Bool RegisterTagPlugin(int32 id, const String& name, int32 info, DataAllocator* alloc,
                       const String& description, int32 disklevel) {
  return RegisterTagPlugin(id, name, info, alloc, description, static_cast<BaseBitmap*>(nullptr), disklevel);
}

Bool RegisterTagPlugin(int32 id, const String& name, int32 info, DataAllocator* alloc,
                       const String& description, const String& icon, int32 disklevel) {
  return WithIconFile(icon, [&](BaseBitmap* bmp) {
    return RegisterTagPlugin(id, name, info, alloc, description, bmp, disklevel);
  });
}

Bool RegisterShaderPlugin(int32 id, const String& name, int32 info, DataAllocator* alloc,
                          const String& description, int32 disklevel, void* data) {
  if (!DescriptionReady(id, description)) return false;
  auto record = ZeroRecord<SHADERPLUGIN>();
  if (!FillNodePlugin(&record.node, info, alloc, nullptr, disklevel, data)) return false;
  FillShaderPlugin(&record);
  return GeRegisterPlugin(KH_PLUGINTYPE_SHADER, id, name, &record, sizeof record);
}

Bool RegisterCustomGuiPlugin(const String& name, int32 info, CustomGuiData* guidata) {
  if (!guidata) return false;
  auto record = ZeroRecord<CUSTOMGUIPLUGIN>();
  FillCustomGuiPlugin(&record, info, guidata);
  return GeRegisterPlugin(KH_PLUGINTYPE_CUSTOMGUI, guidata->GetId(), name, &record, sizeof record);
}
