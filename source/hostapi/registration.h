// Registration of plug-ins with the host. Each function zero-fills a record,
// points its entries at noexcept trampolines that recover the data object and
// call its virtual operation, and hands the record to the host with its size
// and the build's interface version. All answer true on success.
#pragma once

#include "api_types.h"
#include "host_libraries.h"
#include "plugin_data.h"
#include "values.h"

using NODEPLUGIN = KhNodePlugin;
using OBJECTPLUGIN = KhObjectPlugin;
using TAGPLUGIN = KhTagPlugin;
using SHADERPLUGIN = KhShaderPlugin;

// Object plug-ins (type 8): with an icon bitmap, without an icon, and with the
// icon as a file name in the module's "res" directory ("" registers none).
// A non-empty description is registered first; its failure registers nothing.
Bool RegisterObjectPlugin(int32 id, const String& name, int32 info, DataAllocator* alloc,
                          const String& description, BaseBitmap* icon, int32 disklevel,
                          void* data = nullptr);
Bool RegisterObjectPlugin(int32 id, const String& name, int32 info, DataAllocator* alloc,
                          const String& description, int32 disklevel);
Bool RegisterObjectPlugin(int32 id, const String& name, int32 info, DataAllocator* alloc,
                          const String& description, const String& icon, int32 disklevel);

// Tag plug-ins (type 10), the same three forms.
Bool RegisterTagPlugin(int32 id, const String& name, int32 info, DataAllocator* alloc,
                       const String& description, BaseBitmap* icon, int32 disklevel,
                       void* data = nullptr);
Bool RegisterTagPlugin(int32 id, const String& name, int32 info, DataAllocator* alloc,
                       const String& description, int32 disklevel);
Bool RegisterTagPlugin(int32 id, const String& name, int32 info, DataAllocator* alloc,
                       const String& description, const String& icon, int32 disklevel);

// Shader plug-ins (type 2).
Bool RegisterShaderPlugin(int32 id, const String& name, int32 info, DataAllocator* alloc,
                          const String& description, int32 disklevel, void* data = nullptr);

// Custom GUI plug-ins (type 27) under guidata->GetId(). A null guidata gives
// false. From then on the host owns guidata.
Bool RegisterCustomGuiPlugin(const String& name, int32 info, CustomGuiData* guidata);

// Fills the common part of a node record. False when no allocation slot is
// left for `alloc` (the host's alloc entry takes no context, so each
// registered allocator gets a trampoline slot of its own).
Bool FillNodePlugin(NODEPLUGIN* np, int32 info, DataAllocator* alloc, BaseBitmap* icon,
                    int32 disklevel, void* data);
// Fills the operations of a shader record.
void FillShaderPlugin(SHADERPLUGIN* sp);
// Fills the standard custom GUI library entries (the GUI object is the
// iCustomGui that the dialog carries as its user object).
void FillBaseCustomGui(BaseCustomGuiLib& lib);

// Hands a record to the host with the build's interface version.
Bool GeRegisterPlugin(int32 type, int32 id, const String& name, const void* record, int32 size);

// The interface version the module was built for and requires of its host.
constexpr int32 kMinHostVersion = KURVO_MIN_HOST_VERSION;
