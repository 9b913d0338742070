// Basic types of the module's side of the host boundary: integer and truth
// types, four-character codes, the math value types, and forward declarations
// of every wrapper class.
#pragma once

#include <cstddef>
#include <cstdint>

#include "abi/kh_host_table.h"
#include "math/vector.h"
#include "math/matrix.h"
#include "math/random.h"

using int32 = int32_t;
using uint32 = uint32_t;
using int64 = int64_t;
// Host truth value: 32-bit, non-zero is true.
using Bool = int32_t;
// Single-precision scalar used by every host value (positions, lengths, weights).
using Real = float;

static_assert(sizeof(Matrix) == sizeof(KhMatrix), "Matrix must match KhMatrix");

// Four-character code: FourCC("bDRA") is the integer whose bytes, most
// significant first, are 'b', 'D', 'R', 'A'.
constexpr int32 FourCC(const char (&code)[5]) {
  return KH_FOURCC(code[0], code[1], code[2], code[3]);
}

// Views between the math value types and the boundary's plain structs.
inline const KhVector* AsKh(const Vector* v) { return reinterpret_cast<const KhVector*>(v); }
inline KhVector* AsKh(Vector* v) { return reinterpret_cast<KhVector*>(v); }
inline const KhMatrix* AsKh(const Matrix* m) { return reinterpret_cast<const KhMatrix*>(m); }
inline KhMatrix* AsKh(Matrix* m) { return reinterpret_cast<KhMatrix*>(m); }

class String;
class Filename;
class GeData;
class BaseContainer;
class TriState;
class GeListNode;
class BaseList2D;
class BaseObject;
class PointObject;
class SplineObject;
class BaseTag;
class BaseShader;
class BaseDocument;
class BaseThread;
class BaseDraw;
class BaseDrawHelp;
class HierarchyHelp;
class AliasTrans;
class BaseBitmap;
class CustomDataType;
class SplineData;
class Gradient;
class SplineHelp;
class DescID;
class GeResource;
class BaseData;
class NodeData;
class ObjectData;
class TagData;
class ShaderData;
class CustomGuiData;
class GeDialog;
class SubDialog;
class iCustomGui;
class GeUserArea;

// Host structures the module only passes through.
class HyperFile;
class BranchInfo;
class Description;
class PriorityList;
class BaseMaterial;
class InitRenderStruct;
class CustomProperty;

using DescLevel = KhDescLevel;
using ChannelData = KhChannelData;
using VolumeData = KhVolumeData;
using LocalResource = KhResource;
using CUSTOMGUIPLUGIN = KhCustomGuiPlugin;
using CDialog = KhDialog;
using CUserArea = KhUserArea;
using Gadget = KhGadget;
