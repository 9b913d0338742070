/* The host function table: the one record the host hands the module at system
 * initialisation (plugin_main action 1). A signed 32-bit interface version,
 * then one pointer per family at fixed positions counted from 1. Positions
 * this module does not reach exist and are null. Also declares the module's
 * one exported entry. */
#ifndef KH_HOST_TABLE_H
#define KH_HOST_TABLE_H
#include "kh_bitmap.h"
#include "kh_container.h"
#include "kh_data.h"
#include "kh_dialog.h"
#include "kh_filename.h"
#include "kh_general.h"
#include "kh_library.h"
#include "kh_listnode.h"
#include "kh_object.h"
#include "kh_plugin.h"
#include "kh_resource.h"
#include "kh_spline_batch.h"
#include "kh_string.h"
#include "kh_task.h"
#include "kh_types.h"
#include "kh_userarea.h"
#ifdef __cplusplus
extern "C" {
#endif

/* Interface version this boundary describes; a host reports at least this. */
#define KH_HOST_VERSION 11000

typedef struct KhHostTable {
  int32_t version;
  const KhGeneralFamily* general;        /*  1 */
  const void* reserved2;                 /*  2 */
  const void* reserved3;                 /*  3 */
  const KhContainerFamily* container;    /*  4 */
  const KhStringFamily* string;          /*  5 */
  const KhBitmapFamily* bitmap;          /*  6 */
  const void* reserved7;                 /*  7 */
  const void* reserved8;                 /*  8 */
  const KhFilenameFamily* filename;      /*  9 */
  const void* reserved10;                /* 10 */
  const void* reserved11;                /* 11 */
  const KhDialogFamily* dialog;          /* 12 */
  const KhUserAreaFamily* user_area;     /* 13 */
  const void* reserved14;                /* 14 */
  const KhResourceFamily* resource;      /* 15 */
  const KhListNodeFamily* list_node;     /* 16 */
  const void* reserved17;                /* 17 */
  const KhObjectFamily* object;          /* 18 */
  const void* reserved19;                /* 19 */
  const KhThreadFamily* thread;          /* 20 */
  const void* reserved21_27[7];          /* 21..27 */
  const KhDrawFamily* draw;              /* 28 */
  const void* reserved29_37[9];          /* 29..37 */
  const KhDataFamily* data;              /* 38 */
  const KhNodeMemberFamily* node_member; /* 39 */
  const KhTaskFamily* task;              /* 40: null on a host without a pool */
  const KhSplineBatchFamily* spline_batch; /* 41: null on a host without it */
  const void* reserved42_47[6];          /* 42..47: room for later families */
} KhHostTable;

/* Position n (from 1) of a family pointer in the table. */
#define KH_TABLE_POSITION(field) \
  ((offsetof(KhHostTable, field) - offsetof(KhHostTable, general)) / sizeof(void*) + 1)

/* The module's one exported entry. action 1: p1 = const KhHostTable*,
 * p3 = const KhFilenameValue* (the module's own file); action 6: p1 = message
 * id (as an integer in a pointer), p2 = message data. */
typedef int32_t(KH_CALL* KhPluginMain)(int32_t action, void* p1, void* p2, void* p3);
#define KH_PLUGIN_MAIN_NAME "plugin_main"

enum {
  KH_ACTION_INIT_SYS = 1,
  KH_ACTION_START = 2,
  KH_ACTION_END = 3,
  KH_ACTION_QUERY = 4,
  KH_ACTION_MESSAGE = 6,
  KH_MSG_INIT_RESOURCES = 1,
  KH_MSG_REGISTER = 1000
};

#ifdef __cplusplus
}
#endif
#endif
