/* Kurvo host boundary: shared plain types.
 *
 * Everything in source/hostapi/abi/ is plain C. It is the only code that both
 * the module and the headless host include. Rules for every entry of every
 * family:
 *  - the host object or handle comes first;
 *  - no C++ type, STL type or exception crosses; an entry that fails answers
 *    its documented failure value (0, null or -1);
 *  - integer truth values are int32_t, non-zero meaning true;
 *  - strings cross as host string values (KhStringValue) or, where noted, as
 *    NUL-terminated UTF-8 that the callee copies before returning.
 * A family never changes shape once published: a revised family is added
 * beside it and the table version is raised. */
#ifndef KH_TYPES_H
#define KH_TYPES_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32) && !defined(_WIN64)
#define KH_CALL __cdecl
#else
#define KH_CALL
#endif

#if defined(_WIN32)
#define KH_EXPORT __declspec(dllexport)
#else
#define KH_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Plain value types, layout-compatible with the module's Vector and Matrix. */
typedef struct KhVector { float x, y, z; } KhVector;
/* Translation first, then the X, Y and Z axes: M*p = off + v1*p.x + v2*p.y + v3*p.z */
typedef struct KhMatrix { KhVector off, v1, v2, v3; } KhMatrix;

/* Value storage owned by the module (as locals or members) whose contents the
 * host initialises, copies and frees through the matching family. `impl` is the
 * host's; the module never reads it. A container that lives inside a host object
 * is handed out as a pointer to the host's own storage of this shape. */
typedef struct KhContainerValue { void* impl; } KhContainerValue;
typedef struct KhStringValue { void* impl; } KhStringValue;
typedef struct KhFilenameValue { void* impl; } KhFilenameValue;
typedef struct KhDataValue { void* impl; } KhDataValue;

/* Opaque host handles; the module only points to them. */
typedef struct KhNode KhNode;         /* any list node: object, tag, shader */
typedef struct KhObject KhObject;     /* scene object; also a KhNode */
typedef struct KhDocument KhDocument;
typedef struct KhBitmap KhBitmap;
typedef struct KhResource KhResource;
typedef struct KhThread KhThread;
typedef struct KhDraw KhDraw;         /* an editor view being drawn */
typedef struct KhDrawHelp KhDrawHelp;
typedef struct KhHierarchyHelp KhHierarchyHelp;
typedef struct KhRegistry KhRegistry;
typedef struct KhDialog KhDialog;     /* host side of a dialog */
typedef struct KhUserArea KhUserArea; /* host side of a user area */
typedef struct KhGadget KhGadget;
typedef struct KhDescID KhDescID;
typedef struct KhAliasTrans KhAliasTrans;
typedef struct KhCustomData KhCustomData; /* SplineData, Gradient and the like */

/* The module's plug-in data object, as the host sees it: an opaque pointer that
 * the host hands back to the record's entries. */
typedef struct KhNodeData KhNodeData;

/* One level of a description ID. */
typedef struct KhDescLevel { int32_t id; int32_t dtype; int32_t creator; } KhDescLevel;

/* Value with a state: 0 one value, 1 values that differ between selected objects. */
typedef struct KhTriState { int32_t state; KhDataValue value; } KhTriState;

/* Render context of one shading sample. */
typedef struct KhVolumeData {
  int32_t struct_size;     /* sizeof(KhVolumeData) as the host built it */
  KhObject* object;        /* the scene object the rendered surface belongs to, or null */
} KhVolumeData;

typedef struct KhChannelData {
  KhVector p;              /* texture coordinate (u, v, w) */
  KhVector n;              /* surface normal */
  KhVector d;              /* footprint of the sample */
  float t;                 /* time */
  int32_t texflag;
  KhVolumeData* vd;        /* null: sample without render context */
  void* reserved;
} KhChannelData;

/* Record of a modelling command. The host fills `result` for commands that
 * produce objects; the module releases it through the general family. */
typedef struct KhModelingCommandData {
  KhDocument* doc;
  KhObject* op;
  const KhContainerValue* settings; /* may be null */
  int32_t mode;
  void* result;
} KhModelingCommandData;

/* Numbers that both sides rely on. */
enum {
  KH_PLUGINTYPE_SHADER = 2,
  KH_PLUGINTYPE_OBJECT = 8,
  KH_PLUGINTYPE_TAG = 10,
  KH_PLUGINTYPE_CUSTOMGUI = 27,
  KH_REGISTRYTYPE_LIBRARY = 28,

  KH_TYPE_POLYGON = 5100,
  KH_TYPE_SPLINE = 5101,
  KH_TYPE_NULL = 5140,
  KH_TYPE_BASEOBJECT = 5155, /* any scene object: link type of object links */
  KH_TYPE_VERTEXMAP = 5682,

  KH_DIRTY_MATRIX = 2,
  KH_DIRTY_DATA = 4,

  KH_MSG_UPDATE = 5,
  KH_MSG_MENUPREPARE = 22,

  KH_MODE_KIND_EDITOR = 0,
  KH_MODE_KIND_RENDER = 1,
  KH_MODE_KIND_DEFORM = 2,

  KH_MCOMMAND_OPTIMIZE = 227,

  KH_CUSTOMDATA_SPLINE = 1009060,
  KH_CUSTOMDATA_GRADIENT = 1000481,

  KH_LIB_DESCRIPTION = 1000467,
  KH_LIB_ICON = 1009310,
  KH_LIB_GRADIENT = 1000480,
  KH_LIB_SPLINEDATA = 1009059,
  KH_LIB_SPLINEHELP = 1019534,
  KH_LIB_NGON = 1015903
};

/* Typed-value kinds of KhDataValue. */
enum {
  KH_DA_NIL = 0,
  KH_DA_LONG = 15,
  KH_DA_REAL = 19,
  KH_DA_VECTOR = 23,
  KH_DA_MATRIX = 25,
  KH_DA_STRING = 130,
  KH_DA_FILENAME = 131,
  KH_DA_LINK = 133,
  KH_DA_CONTAINER = 1
  /* any other kind is a custom data type ID (1009060, 1000481, ...) */
};

/* Four-character codes, most significant byte first. */
#define KH_FOURCC(a, b, c, d) \
  ((int32_t)(((uint32_t)(a) << 24) | ((uint32_t)(b) << 16) | ((uint32_t)(c) << 8) | (uint32_t)(d)))

#ifdef __cplusplus
}
#endif

#endif
