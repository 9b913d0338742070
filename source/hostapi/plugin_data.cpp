// Default bodies of the plug-in data classes.
#include "plugin_data.h"

#include "families.h"

void KH_CALL BaseData::Destructor(KhNodeData* data) noexcept {
  BaseData* object = NodeData::From(data);
  if (object) object->~BaseData();
}

void KH_CALL BaseData::CustomGuiDestructor(KhCustomGuiData* data) noexcept {
  BaseData* object = CustomGuiData::From(data);
  if (object) object->~BaseData();
}

// NodeData.

Bool NodeData::Init(GeListNode*) { return true; }
void NodeData::Free(GeListNode*) {}
Bool NodeData::Read(GeListNode*, HyperFile*, int32) { return true; }
Bool NodeData::Write(GeListNode*, HyperFile*) { return true; }
Bool NodeData::Message(GeListNode*, int32, void*) { return true; }
Bool NodeData::CopyTo(NodeData*, GeListNode*, GeListNode*, int32, AliasTrans*) { return true; }
void NodeData::GetBubbleHelp(GeListNode*, String&) {}
BaseDocument* NodeData::GetDocument(GeListNode*) { return nullptr; }
int32 NodeData::GetBranchInfoEx(GeListNode*, BranchInfo*, int32, int32) { return 0; }
int32 NodeData::GetBranchInfo(GeListNode*, BranchInfo*, int32) { return 0; }
Bool NodeData::IsInstanceOf(const GeListNode*, int32) { return false; }
Bool NodeData::GetDDescription(GeListNode*, Description*, int32&) { return false; }
Bool NodeData::GetDParameter(GeListNode*, const DescID&, GeData&, int32&) { return true; }
Bool NodeData::GetDEnabling(GeListNode*, const DescID&, const GeData&, int32, const BaseContainer*) {
  return true;
}
Bool NodeData::SetDParameter(GeListNode*, const DescID&, const GeData&, int32&) { return true; }
Bool NodeData::TranslateDescID(GeListNode*, const DescID&, DescID&, GeListNode*&) { return false; }
Bool NodeData::IsDocumentRelated(const GeListNode*, Bool&) { return false; }

// ObjectData.

namespace {
// Size of the cross that marks a handle, in world units.
constexpr Real kHandleMark = 4.0f;

Vector Transform(const Matrix& m, const Vector& p) {
  return m.off + m.v1 * p.x + m.v2 * p.y + m.v3 * p.z;
}

constexpr int32 kHandlePass = 2;
}  // namespace

void ObjectData::GetDimension(BaseObject*, Vector*, Vector*) {}

Bool ObjectData::Draw(BaseObject* op, int32 drawpass, BaseDraw* bd, BaseDrawHelp*) {
  if (drawpass != kHandlePass || !op || !bd) return true;
  const int32 count = GetHandleCount(op);
  if (count <= 0) return true;
  const Matrix mg = op->GetMg();
  bd->SetPen(Vector(1.0f, 1.0f, 0.0f));
  for (int32 i = 0; i < count; ++i) {
    const Vector p = Transform(mg, GetHandle(op, i));
    bd->DrawLine(p - Vector(kHandleMark, 0, 0), p + Vector(kHandleMark, 0, 0));
    bd->DrawLine(p - Vector(0, kHandleMark, 0), p + Vector(0, kHandleMark, 0));
    bd->DrawLine(p - Vector(0, 0, kHandleMark), p + Vector(0, 0, kHandleMark));
  }
  return true;
}

// The view offers no projection to screen coordinates, so the default cannot
// pick a handle on screen: a class with handles overrides this. -1: none.
int32 ObjectData::DetectHandle(BaseObject*, BaseDraw*, int32, int32, int32) { return -1; }

Bool ObjectData::MoveHandle(BaseObject* op, BaseObject* undo, const Matrix& tm, int32 hit_id, int32) {
  if (!op || hit_id < 0 || hit_id >= GetHandleCount(op)) return false;
  const Vector start = GetHandle(undo ? undo : op, hit_id);
  SetHandle(op, hit_id, Transform(tm, start));
  return true;
}

Bool ObjectData::AddToExecution(BaseObject*, PriorityList*) { return false; }
int32 ObjectData::Execute(BaseObject*, BaseDocument*, BaseThread*, int32, int32) { return 0; }
void ObjectData::GetModelingAxis(BaseObject*, BaseDocument*, Matrix&) {}
BaseObject* ObjectData::GetVirtualObjects(BaseObject*, HierarchyHelp*) { return nullptr; }
Bool ObjectData::ModifyObject(BaseObject*, BaseDocument*, BaseObject*, const Matrix&, const Matrix&, Real,
                              int32, BaseThread*) {
  return true;
}
void ObjectData::CheckDirty(BaseObject*, BaseDocument*) {}
SplineObject* ObjectData::GetContour(BaseObject*, BaseDocument*, Real, BaseThread*) { return nullptr; }
void ObjectData::ModifyParticles(BaseObject*, void*, void*, void*, int32, Real) {}
int32 ObjectData::GetHandleCount(BaseObject*) { return 0; }
Vector ObjectData::GetHandle(BaseObject*, int32) { return Vector(); }
void ObjectData::SetHandle(BaseObject*, int32, const Vector&) {}

// ShaderData.

Bool ShaderData::Draw(BaseShader*, BaseObject*, int32, BaseDraw*) { return true; }
int32 ShaderData::GetRenderInfo(BaseShader*) { return 0; }
int32 ShaderData::InitRender(BaseShader*, InitRenderStruct*) { return 0; }
void ShaderData::FreeRender(BaseShader*) {}
Vector ShaderData::Output(BaseShader*, ChannelData*) { return Vector(); }
Bool ShaderData::GlMessage(BaseShader*, int32, void*) { return false; }
Bool ShaderData::InitGLImage(BaseShader*, BaseMaterial*, BaseDocument*, int32, void*) { return false; }

// TagData.

Bool TagData::Draw(BaseTag*, BaseObject*, BaseDraw*, BaseDrawHelp*) { return true; }
int32 TagData::Execute(BaseTag*, BaseDocument*, BaseObject*, BaseThread*, int32, int32) { return 0; }
Bool TagData::AddToExecution(BaseTag*, PriorityList*) { return false; }

// CustomGuiData.

int32 CustomGuiData::GetId() { return 0; }
CDialog* CustomGuiData::Alloc(const BaseContainer&) { return nullptr; }
void CustomGuiData::Free(CDialog*, void*) {}
const char* CustomGuiData::GetResourceSym() { return nullptr; }
CustomProperty* CustomGuiData::GetProperties() { return nullptr; }
int32 CustomGuiData::GetResourceDataType(const int32*&) { return 0; }

const CUSTOMGUIPLUGIN* CustomGuiData::GetPlugin() {
  return static_cast<const CUSTOMGUIPLUGIN*>(family::General().find_plugin(GetId(), KH_PLUGINTYPE_CUSTOMGUI));
}
