/* Layout of everything that crosses the boundary, fixed at compile time for
 * both pointer widths: the 32-bit layout is the Windows x86 module's, the
 * 64-bit one that of Windows x64, Mac OS X and Linux. A field moved, widened
 * or added anywhere in the table, a family or a record fails the build of
 * both the module and the host, on whichever width is built. When a change is
 * intended (a new family in a reserved position, a revised record beside the
 * old one), the numbers here change with it, for both widths at once.
 *
 * No record holds a 64-bit integer or a double: those are aligned to 4 bytes
 * inside structs by the 32-bit Linux compiler and to 8 by the Windows one,
 * which would give the two 32-bit builds different layouts. The checks below
 * hold on both. */
#ifndef KH_LAYOUT_H
#define KH_LAYOUT_H
#include "kh_host_table.h"

#ifdef __cplusplus
#define KH_LAYOUT_CHECK(condition, what) static_assert(condition, what)
#else
#define KH_LAYOUT_CHECK(condition, what) _Static_assert(condition, what)
#endif

KH_LAYOUT_CHECK(sizeof(void*) == 4 || sizeof(void*) == 8, "pointers of 32 or 64 bits");
KH_LAYOUT_CHECK(sizeof(void (*)(void)) == sizeof(void*), "function pointers as wide as data pointers");

/* n32 on a 32-bit target, n64 on a 64-bit one. */
#define KH_WIDTH(n32, n64) (sizeof(void*) == 4 ? (size_t)(n32) : (size_t)(n64))
#define KH_SIZE(type, n32, n64) KH_LAYOUT_CHECK(sizeof(type) == KH_WIDTH(n32, n64), "size of " #type)
#define KH_OFFSET(type, field, n32, n64) \
  KH_LAYOUT_CHECK(offsetof(type, field) == KH_WIDTH(n32, n64), "offset of " #type "." #field)
/* A family is a row of entries and nothing else; its count never changes. */
#define KH_FAMILY(type, entries) \
  KH_LAYOUT_CHECK(sizeof(type) == (entries) * sizeof(void*), "entry count of " #type)

/* Plain values. */
KH_SIZE(KhVector, 12, 12);
KH_SIZE(KhMatrix, 48, 48);
KH_OFFSET(KhMatrix, v3, 36, 36);
KH_SIZE(KhContainerValue, 4, 8);
KH_SIZE(KhStringValue, 4, 8);
KH_SIZE(KhFilenameValue, 4, 8);
KH_SIZE(KhDataValue, 4, 8);
KH_SIZE(KhDescLevel, 12, 12);
KH_SIZE(KhTriState, 8, 16);
KH_OFFSET(KhTriState, value, 4, 8);
KH_SIZE(KhVolumeData, 8, 16);
KH_OFFSET(KhVolumeData, object, 4, 8);
KH_SIZE(KhChannelData, 52, 64);
KH_OFFSET(KhChannelData, n, 12, 12);
KH_OFFSET(KhChannelData, d, 24, 24);
KH_OFFSET(KhChannelData, t, 36, 36);
KH_OFFSET(KhChannelData, texflag, 40, 40);
KH_OFFSET(KhChannelData, vd, 44, 48);
KH_OFFSET(KhChannelData, reserved, 48, 56);
KH_SIZE(KhModelingCommandData, 20, 40);
KH_OFFSET(KhModelingCommandData, op, 4, 8);
KH_OFFSET(KhModelingCommandData, settings, 8, 16);
KH_OFFSET(KhModelingCommandData, mode, 12, 24);
KH_OFFSET(KhModelingCommandData, result, 16, 32);

/* The table: the version, then 47 family positions. */
KH_SIZE(KhHostTable, 192, 384);
KH_OFFSET(KhHostTable, version, 0, 0);
KH_OFFSET(KhHostTable, general, 4, 8);
KH_OFFSET(KhHostTable, container, 16, 32);
KH_OFFSET(KhHostTable, string, 20, 40);
KH_OFFSET(KhHostTable, bitmap, 24, 48);
KH_OFFSET(KhHostTable, filename, 36, 72);
KH_OFFSET(KhHostTable, dialog, 48, 96);
KH_OFFSET(KhHostTable, user_area, 52, 104);
KH_OFFSET(KhHostTable, resource, 60, 120);
KH_OFFSET(KhHostTable, list_node, 64, 128);
KH_OFFSET(KhHostTable, object, 72, 144);
KH_OFFSET(KhHostTable, thread, 80, 160);
KH_OFFSET(KhHostTable, draw, 112, 224);
KH_OFFSET(KhHostTable, data, 152, 304);
KH_OFFSET(KhHostTable, node_member, 156, 312);
KH_OFFSET(KhHostTable, task, 160, 320);
KH_OFFSET(KhHostTable, spline_batch, 164, 328);

/* The families. */
KH_FAMILY(KhGeneralFamily, 11);
KH_FAMILY(KhContainerFamily, 25);
KH_FAMILY(KhStringFamily, 11);
KH_FAMILY(KhBitmapFamily, 8);
KH_FAMILY(KhFilenameFamily, 10);
KH_FAMILY(KhDialogFamily, 14);
KH_FAMILY(KhUserAreaFamily, 14);
KH_FAMILY(KhResourceFamily, 3);
KH_FAMILY(KhListNodeFamily, 4);
KH_FAMILY(KhObjectFamily, 27);
KH_FAMILY(KhThreadFamily, 1);
KH_FAMILY(KhDrawFamily, 2);
KH_FAMILY(KhDataFamily, 18);
KH_FAMILY(KhNodeMemberFamily, 11);
KH_FAMILY(KhTaskFamily, 2);
KH_FAMILY(KhSplineBatchFamily, 2);

/* Registration records. */
KH_SIZE(KhNodePlugin, 92, 184);
KH_OFFSET(KhNodePlugin, info, 0, 0);
KH_OFFSET(KhNodePlugin, destructor, 4, 8);
KH_OFFSET(KhNodePlugin, alloc, 8, 16);
KH_OFFSET(KhNodePlugin, icon, 12, 24);
KH_OFFSET(KhNodePlugin, disklevel, 16, 32);
KH_OFFSET(KhNodePlugin, userdata, 20, 40);
KH_OFFSET(KhNodePlugin, init, 24, 48);
KH_OFFSET(KhNodePlugin, message, 40, 80);
KH_OFFSET(KhNodePlugin, is_document_related, 88, 176);

KH_SIZE(KhObjectPlugin, 144, 288);
KH_OFFSET(KhObjectPlugin, icon, 92, 184);
KH_OFFSET(KhObjectPlugin, get_dimension, 96, 192);
KH_OFFSET(KhObjectPlugin, check_dirty, 124, 248);
KH_OFFSET(KhObjectPlugin, modify_object, 128, 256);
KH_OFFSET(KhObjectPlugin, modify_particles, 140, 280);

KH_SIZE(KhShaderPlugin, 120, 240);
KH_OFFSET(KhShaderPlugin, draw, 92, 184);
KH_OFFSET(KhShaderPlugin, init_render, 100, 200);
KH_OFFSET(KhShaderPlugin, output, 108, 216);
KH_OFFSET(KhShaderPlugin, init_gl_image, 116, 232);

KH_SIZE(KhTagPlugin, 104, 208);
KH_OFFSET(KhTagPlugin, draw, 92, 184);
KH_OFFSET(KhTagPlugin, add_to_execution, 100, 200);

KH_SIZE(KhCustomGuiPlugin, 32, 64);
KH_OFFSET(KhCustomGuiPlugin, destructor, 4, 8);
KH_OFFSET(KhCustomGuiPlugin, data, 8, 16);
KH_OFFSET(KhCustomGuiPlugin, alloc, 12, 24);
KH_OFFSET(KhCustomGuiPlugin, get_resource_sym, 20, 40);
KH_OFFSET(KhCustomGuiPlugin, get_resource_data_type, 28, 56);

/* Host libraries: the head, then entries only. */
KH_SIZE(KhLibraryHead, 8, 8);
KH_OFFSET(KhLibraryHead, size, 4, 4);
KH_SIZE(KhDescriptionLib, 20, 32);
KH_OFFSET(KhDescriptionLib, register_description, 8, 8);
KH_SIZE(KhIconLib, 12, 16);
KH_SIZE(KhGradientKnot, 28, 28);
KH_OFFSET(KhGradientKnot, brightness, 12, 12);
KH_OFFSET(KhGradientKnot, pos, 16, 16);
KH_OFFSET(KhGradientKnot, bias, 20, 20);
KH_OFFSET(KhGradientKnot, index, 24, 24);
KH_SIZE(KhGradientLib, 40, 72);
KH_OFFSET(KhGradientLib, calc_pixel, 28, 48);
KH_SIZE(KhSplineDataLib, 32, 56);
KH_SIZE(KhSplineHelpLib, 20, 32);
KH_SIZE(KhCustomGuiLib, 56, 104);

#undef KH_SIZE
#undef KH_OFFSET
#undef KH_FAMILY
#undef KH_WIDTH
#undef KH_LAYOUT_CHECK

#endif
