// Internal to the layer's bodies: the family of each table position, read from
// t_HostOS at each call. Every method other than operator new requires that
// InitOS has run.
#pragma once

#include "host_table.h"

namespace family {
inline const KhGeneralFamily& General() { return *t_HostOS->general; }
inline const KhContainerFamily& Container() { return *t_HostOS->container; }
inline const KhStringFamily& Str() { return *t_HostOS->string; }
inline const KhBitmapFamily& Bitmap() { return *t_HostOS->bitmap; }
inline const KhFilenameFamily& File() { return *t_HostOS->filename; }
inline const KhDialogFamily& Dialog() { return *t_HostOS->dialog; }
inline const KhUserAreaFamily& UserArea() { return *t_HostOS->user_area; }
inline const KhResourceFamily& Resource() { return *t_HostOS->resource; }
inline const KhListNodeFamily& ListNode() { return *t_HostOS->list_node; }
inline const KhObjectFamily& Object() { return *t_HostOS->object; }
inline const KhThreadFamily& Thread() { return *t_HostOS->thread; }
inline const KhDrawFamily& Draw() { return *t_HostOS->draw; }
inline const KhDataFamily& Data() { return *t_HostOS->data; }
inline const KhNodeMemberFamily& Member() { return *t_HostOS->node_member; }
}  // namespace family
