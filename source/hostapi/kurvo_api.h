// The module's view of its host: the one header that the module's logic
// (frame, deformer, shader, title bar) includes.
//
// How the layer is organised:
//  - abi/ is the plain C boundary shared with the host; math/ the value types
//    (Vector, Matrix, Random) that both sides use.
//  - The host hands over one function table (KhHostTable) at system
//    initialisation; InitOS keeps it in t_HostOS and every method below reads
//    it at each call and forwards to one entry of one family.
//  - Value wrappers (String, Filename, GeData, BaseContainer) hold the
//    boundary's value storage as their only member, so host-owned storage can
//    be viewed as a wrapper (a node's container is a BaseContainer*).
//  - Host objects (BaseObject, SplineObject, BaseTag, BaseDocument, BaseBitmap,
//    Gradient, SplineData...) are classes without data that are never
//    constructed: `this` is the host handle.
//  - Memory comes from the layer's allocator (memory.h): gNew / gDelete,
//    _GeFree for host arrays. Nothing here throws.
//  - Host libraries (descriptions, icons, gradients, spline curves, spline
//    help) are looked up in the host registry by CheckLib and cached.
//  - In the other direction, plug-in data classes (plugin_data.h) are handed to
//    the host in registration records (registration.h) whose noexcept
//    trampolines call their virtual operations; dialogs and user areas
//    (dialogs.h) receive every message through CDialogCallBack.
//  - Numeric constants of the host (types, messages, change classes, custom
//    data types) are the KH_* enums of abi/kh_types.h.
#pragma once

#include "api_types.h"
#include "bitmap.h"
#include "dialogs.h"
#include "general.h"
#include "host_libraries.h"
#include "host_table.h"
#include "memory.h"
#include "nodes.h"
#include "plugin_data.h"
#include "registration.h"
#include "tasks.h"
#include "values.h"
