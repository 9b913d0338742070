// Trampolines of the registration records: the host calls these with the data
// object it got from the record's alloc; each recovers the object, checks it,
// calls its virtual operation and turns any failure into the entry's failure
// answer. Nothing throws across the boundary.
#include <array>
#include <cstring>
#include <new>
#include <utility>

#include "bitmap.h"
#include "dialogs.h"
#include "record_fill.h"

namespace {

template <typename T>
T* Data(KhNodeData* d) {
  return static_cast<T*>(NodeData::From(d));
}

// Runs f on the data object of class T; `failure` when d is null or f throws.
template <typename T, typename R, typename F>
R Call(KhNodeData* d, R failure, F&& f) noexcept {
  if (!d) return failure;
  try {
    return f(Data<T>(d));
  } catch (...) {
    return failure;
  }
}

template <typename T, typename F>
void CallVoid(KhNodeData* d, F&& f) noexcept {
  if (!d) return;
  try {
    f(Data<T>(d));
  } catch (...) {
  }
}

GeListNode* Node(KhNode* n) { return GeListNode::From(n); }
BaseObject* Obj(KhObject* op) { return BaseObject::From(op); }
BaseDocument* Doc(KhDocument* doc) { return BaseDocument::From(doc); }
BaseThread* Thread(KhThread* bt) { return BaseThread::From(bt); }
BaseDraw* View(KhDraw* bd) { return BaseDraw::From(bd); }
BaseDrawHelp* Help(KhDrawHelp* bh) { return reinterpret_cast<BaseDrawHelp*>(bh); }

// Allocation slots. The record's alloc entry takes no argument, so each
// distinct allocator that is registered gets a trampoline of its own.
constexpr int kAllocSlots = 32;
DataAllocator* allocators[kAllocSlots] = {};

template <int N>
KhNodeData* KH_CALL AllocSlot() noexcept {
  DataAllocator* alloc = allocators[N];
  if (!alloc) return nullptr;
  try {
    return reinterpret_cast<KhNodeData*>(alloc());
  } catch (...) {
    return nullptr;
  }
}

using AllocEntry = KhNodeData*(KH_CALL*)();
template <int... N>
constexpr std::array<AllocEntry, sizeof...(N)> MakeAllocSlots(std::integer_sequence<int, N...>) {
  return {&AllocSlot<N>...};
}
constexpr auto alloc_slots = MakeAllocSlots(std::make_integer_sequence<int, kAllocSlots>());

// The slot of `alloc` (the same one when registered again), or null when all
// slots are taken.
AllocEntry SlotFor(DataAllocator* alloc) {
  for (int i = 0; i < kAllocSlots; ++i)
    if (allocators[i] == alloc) return alloc_slots[i];
  for (int i = 0; i < kAllocSlots; ++i) {
    if (!allocators[i]) {
      allocators[i] = alloc;
      return alloc_slots[i];
    }
  }
  return nullptr;
}

// NodeData entries.

int32_t KH_CALL NodeInit(KhNodeData* d, KhNode* node) noexcept {
  return Call<NodeData>(d, 0, [&](NodeData* o) { return o->Init(Node(node)); });
}
void KH_CALL NodeFree(KhNodeData* d, KhNode* node) noexcept {
  CallVoid<NodeData>(d, [&](NodeData* o) { o->Free(Node(node)); });
}
int32_t KH_CALL NodeRead(KhNodeData* d, KhNode* node, void* hf, int32_t level) noexcept {
  return Call<NodeData>(d, 0, [&](NodeData* o) { return o->Read(Node(node), static_cast<HyperFile*>(hf), level); });
}
int32_t KH_CALL NodeWrite(KhNodeData* d, KhNode* node, void* hf) noexcept {
  return Call<NodeData>(d, 0, [&](NodeData* o) { return o->Write(Node(node), static_cast<HyperFile*>(hf)); });
}
int32_t KH_CALL NodeMessage(KhNodeData* d, KhNode* node, int32_t type, void* data) noexcept {
  return Call<NodeData>(d, 0, [&](NodeData* o) { return o->Message(Node(node), type, data); });
}
int32_t KH_CALL NodeCopyTo(KhNodeData* d, KhNodeData* dest, KhNode* snode, KhNode* dnode, int32_t flags,
                           KhAliasTrans* trn) noexcept {
  return Call<NodeData>(d, 0, [&](NodeData* o) {
    return o->CopyTo(NodeData::From(dest), Node(snode), Node(dnode), flags, reinterpret_cast<AliasTrans*>(trn));
  });
}
void KH_CALL NodeGetBubbleHelp(KhNodeData* d, KhNode* node, KhStringValue* str) noexcept {
  if (!str) return;
  CallVoid<NodeData>(d, [&](NodeData* o) { o->GetBubbleHelp(Node(node), *String::From(str)); });
}
KhDocument* KH_CALL NodeGetDocument(KhNodeData* d, KhNode* node) noexcept {
  return Call<NodeData>(d, static_cast<KhDocument*>(nullptr), [&](NodeData* o) {
    BaseDocument* doc = o->GetDocument(Node(node));
    return doc ? doc->Kh() : nullptr;
  });
}
int32_t KH_CALL NodeGetBranchInfoEx(KhNodeData* d, KhNode* node, void* info, int32_t max, int32_t flags) noexcept {
  return Call<NodeData>(d, 0, [&](NodeData* o) {
    return o->GetBranchInfoEx(Node(node), static_cast<BranchInfo*>(info), max, flags);
  });
}
int32_t KH_CALL NodeGetBranchInfo(KhNodeData* d, KhNode* node, void* info, int32_t max) noexcept {
  return Call<NodeData>(d, 0, [&](NodeData* o) { return o->GetBranchInfo(Node(node), static_cast<BranchInfo*>(info), max); });
}
int32_t KH_CALL NodeIsInstanceOf(KhNodeData* d, const KhNode* node, int32_t type) noexcept {
  return Call<NodeData>(d, 0, [&](NodeData* o) {
    return o->IsInstanceOf(reinterpret_cast<const GeListNode*>(node), type);
  });
}
int32_t KH_CALL NodeGetDDescription(KhNodeData* d, KhNode* node, void* description, int32_t* flags) noexcept {
  return Call<NodeData>(d, 0, [&](NodeData* o) {
    int32 local = 0;
    return o->GetDDescription(Node(node), static_cast<Description*>(description), flags ? *flags : local);
  });
}
int32_t KH_CALL NodeGetDParameter(KhNodeData* d, KhNode* node, const KhDescID* id, KhDataValue* t_data,
                                  int32_t* flags) noexcept {
  if (!id || !t_data) return 0;
  return Call<NodeData>(d, 0, [&](NodeData* o) {
    int32 local = 0;
    return o->GetDParameter(Node(node), *DescID::From(id), *GeData::From(t_data), flags ? *flags : local);
  });
}
int32_t KH_CALL NodeGetDEnabling(KhNodeData* d, KhNode* node, const KhDescID* id, const KhDataValue* t_data,
                                 int32_t flags, const KhContainerValue* itemdesc) noexcept {
  if (!id) return 0;
  return Call<NodeData>(d, 0, [&](NodeData* o) {
    const BaseContainer* desc = itemdesc ? BaseContainer::From(itemdesc) : nullptr;
    if (t_data) return o->GetDEnabling(Node(node), *DescID::From(id), *GeData::From(t_data), flags, desc);
    const GeData empty;
    return o->GetDEnabling(Node(node), *DescID::From(id), empty, flags, desc);
  });
}
int32_t KH_CALL NodeSetDParameter(KhNodeData* d, KhNode* node, const KhDescID* id, const KhDataValue* t_data,
                                  int32_t* flags) noexcept {
  if (!id || !t_data) return 0;
  return Call<NodeData>(d, 0, [&](NodeData* o) {
    int32 local = 0;
    return o->SetDParameter(Node(node), *DescID::From(id), *GeData::From(t_data), flags ? *flags : local);
  });
}
int32_t KH_CALL NodeTranslateDescID(KhNodeData* d, KhNode* node, const KhDescID* id, KhDescID* res_id,
                                    KhNode** res_at) noexcept {
  if (!id || !res_id || !res_at) return 0;
  return Call<NodeData>(d, 0, [&](NodeData* o) {
    GeListNode* at = Node(*res_at);
    const Bool ok = o->TranslateDescID(Node(node), *DescID::From(id), *DescID::From(res_id), at);
    *res_at = at ? at->Kh() : nullptr;
    return ok;
  });
}
int32_t KH_CALL NodeIsDocumentRelated(KhNodeData* d, const KhNode* node, int32_t* docrelated) noexcept {
  return Call<NodeData>(d, 0, [&](NodeData* o) {
    Bool local = false;
    return o->IsDocumentRelated(reinterpret_cast<const GeListNode*>(node), docrelated ? *docrelated : local);
  });
}

// ObjectData entries.

void KH_CALL ObjGetDimension(KhNodeData* d, KhObject* op, KhVector* mp, KhVector* rad) noexcept {
  CallVoid<ObjectData>(d, [&](ObjectData* o) {
    o->GetDimension(Obj(op), reinterpret_cast<Vector*>(mp), reinterpret_cast<Vector*>(rad));
  });
}
int32_t KH_CALL ObjDraw(KhNodeData* d, KhObject* op, int32_t pass, KhDraw* bd, KhDrawHelp* bh) noexcept {
  return Call<ObjectData>(d, 0, [&](ObjectData* o) { return o->Draw(Obj(op), pass, View(bd), Help(bh)); });
}
int32_t KH_CALL ObjDetectHandle(KhNodeData* d, KhObject* op, KhDraw* bd, int32_t x, int32_t y,
                                int32_t qualifier) noexcept {
  return Call<ObjectData>(d, -1, [&](ObjectData* o) { return o->DetectHandle(Obj(op), View(bd), x, y, qualifier); });
}
int32_t KH_CALL ObjMoveHandle(KhNodeData* d, KhObject* op, KhObject* undo, const KhMatrix* tm, int32_t hit_id,
                              int32_t qualifier) noexcept {
  if (!tm) return 0;
  return Call<ObjectData>(d, 0, [&](ObjectData* o) {
    return o->MoveHandle(Obj(op), Obj(undo), *reinterpret_cast<const Matrix*>(tm), hit_id, qualifier);
  });
}
int32_t KH_CALL ObjAddToExecution(KhNodeData* d, KhObject* op, void* list) noexcept {
  return Call<ObjectData>(d, 0, [&](ObjectData* o) { return o->AddToExecution(Obj(op), static_cast<PriorityList*>(list)); });
}
int32_t KH_CALL ObjExecute(KhNodeData* d, KhObject* op, KhDocument* doc, KhThread* bt, int32_t priority,
                           int32_t flags) noexcept {
  return Call<ObjectData>(d, 0, [&](ObjectData* o) { return o->Execute(Obj(op), Doc(doc), Thread(bt), priority, flags); });
}
void KH_CALL ObjGetModelingAxis(KhNodeData* d, KhObject* op, KhDocument* doc, KhMatrix* axis) noexcept {
  if (!axis) return;
  CallVoid<ObjectData>(d, [&](ObjectData* o) { o->GetModelingAxis(Obj(op), Doc(doc), *reinterpret_cast<Matrix*>(axis)); });
}
void KH_CALL ObjCheckDirty(KhNodeData* d, KhObject* op, KhDocument* doc) noexcept {
  CallVoid<ObjectData>(d, [&](ObjectData* o) { o->CheckDirty(Obj(op), Doc(doc)); });
}
int32_t KH_CALL ObjModifyObject(KhNodeData* d, KhObject* mod, KhDocument* doc, KhObject* op, const KhMatrix* op_mg,
                                const KhMatrix* mod_mg, float lod, int32_t flags, KhThread* thread) noexcept {
  if (!mod || !op || !op_mg || !mod_mg) return 0;
  return Call<ObjectData>(d, 0, [&](ObjectData* o) {
    return o->ModifyObject(Obj(mod), Doc(doc), Obj(op), *reinterpret_cast<const Matrix*>(op_mg),
                           *reinterpret_cast<const Matrix*>(mod_mg), lod, flags, Thread(thread));
  });
}
KhObject* KH_CALL ObjGetVirtualObjects(KhNodeData* d, KhObject* op, KhHierarchyHelp* hh) noexcept {
  return Call<ObjectData>(d, static_cast<KhObject*>(nullptr), [&](ObjectData* o) {
    BaseObject* result = o->GetVirtualObjects(Obj(op), reinterpret_cast<HierarchyHelp*>(hh));
    return result ? result->KhObj() : nullptr;
  });
}
KhObject* KH_CALL ObjGetContour(KhNodeData* d, KhObject* op, KhDocument* doc, float lod, KhThread* bt) noexcept {
  return Call<ObjectData>(d, static_cast<KhObject*>(nullptr), [&](ObjectData* o) {
    SplineObject* result = o->GetContour(Obj(op), Doc(doc), lod, Thread(bt));
    return result ? result->KhObj() : nullptr;
  });
}
void KH_CALL ObjModifyParticles(KhNodeData* d, KhObject* op, void* particles, void* bs, void* ss, int32_t pcnt,
                                float diff) noexcept {
  CallVoid<ObjectData>(d, [&](ObjectData* o) { o->ModifyParticles(Obj(op), particles, bs, ss, pcnt, diff); });
}

// ShaderData entries.

constexpr int32 kInitRenderFailed = -100;

int32_t KH_CALL ShDraw(KhNodeData* d, KhNode* sh, KhObject* op, int32_t pass, KhDraw* bd) noexcept {
  return Call<ShaderData>(d, 0, [&](ShaderData* o) { return o->Draw(BaseShader::From(sh), Obj(op), pass, View(bd)); });
}
int32_t KH_CALL ShGetRenderInfo(KhNodeData* d, KhNode* sh) noexcept {
  return Call<ShaderData>(d, 0, [&](ShaderData* o) { return o->GetRenderInfo(BaseShader::From(sh)); });
}
int32_t KH_CALL ShInitRender(KhNodeData* d, KhNode* sh, void* irs) noexcept {
  return Call<ShaderData>(d, kInitRenderFailed, [&](ShaderData* o) {
    return o->InitRender(BaseShader::From(sh), static_cast<InitRenderStruct*>(irs));
  });
}
void KH_CALL ShFreeRender(KhNodeData* d, KhNode* sh) noexcept {
  CallVoid<ShaderData>(d, [&](ShaderData* o) { o->FreeRender(BaseShader::From(sh)); });
}
void KH_CALL ShOutput(KhNodeData* d, KhNode* sh, KhChannelData* cd, KhVector* out) noexcept {
  if (!out) return;
  *out = KhVector{0.0f, 0.0f, 0.0f};
  CallVoid<ShaderData>(d, [&](ShaderData* o) { *out = ToKh(o->Output(BaseShader::From(sh), cd)); });
}
int32_t KH_CALL ShGlMessage(KhNodeData* d, KhNode* sh, int32_t type, void* data) noexcept {
  return Call<ShaderData>(d, 0, [&](ShaderData* o) { return o->GlMessage(BaseShader::From(sh), type, data); });
}
int32_t KH_CALL ShInitGLImage(KhNodeData* d, KhNode* sh, void* mat, KhDocument* doc, int32_t channel,
                              void* bmp) noexcept {
  return Call<ShaderData>(d, 0, [&](ShaderData* o) {
    return o->InitGLImage(BaseShader::From(sh), static_cast<BaseMaterial*>(mat), Doc(doc), channel, bmp);
  });
}

// TagData entries.

int32_t KH_CALL TagDraw(KhNodeData* d, KhNode* tag, KhObject* op, KhDraw* bd, KhDrawHelp* bh) noexcept {
  return Call<TagData>(d, 0, [&](TagData* o) { return o->Draw(BaseTag::From(tag), Obj(op), View(bd), Help(bh)); });
}
int32_t KH_CALL TagExecute(KhNodeData* d, KhNode* tag, KhDocument* doc, KhObject* op, KhThread* bt,
                           int32_t priority, int32_t flags) noexcept {
  return Call<TagData>(d, 0, [&](TagData* o) {
    return o->Execute(BaseTag::From(tag), Doc(doc), Obj(op), Thread(bt), priority, flags);
  });
}
int32_t KH_CALL TagAddToExecution(KhNodeData* d, KhNode* tag, void* list) noexcept {
  return Call<TagData>(d, 0, [&](TagData* o) { return o->AddToExecution(BaseTag::From(tag), static_cast<PriorityList*>(list)); });
}

// CustomGuiData entries.

template <typename R, typename F>
R CallGui(KhCustomGuiData* data, R failure, F&& f) noexcept {
  if (!data) return failure;
  try {
    return f(CustomGuiData::From(data));
  } catch (...) {
    return failure;
  }
}

KhDialog* KH_CALL GuiAlloc(KhCustomGuiData* data, const KhContainerValue* settings) noexcept {
  return CallGui(data, static_cast<KhDialog*>(nullptr), [&](CustomGuiData* o) {
    if (settings) return o->Alloc(*BaseContainer::From(settings));
    const BaseContainer empty;
    return o->Alloc(empty);
  });
}
void KH_CALL GuiFree(KhCustomGuiData* data, KhDialog* dialog, void* userdata) noexcept {
  CallGui(data, 0, [&](CustomGuiData* o) {
    o->Free(dialog, userdata);
    return 0;
  });
}
const char* KH_CALL GuiGetResourceSym(KhCustomGuiData* data) noexcept {
  return CallGui(data, static_cast<const char*>(nullptr), [&](CustomGuiData* o) { return o->GetResourceSym(); });
}
void* KH_CALL GuiGetProperties(KhCustomGuiData* data) noexcept {
  return CallGui(data, static_cast<void*>(nullptr),
                 [&](CustomGuiData* o) { return static_cast<void*>(o->GetProperties()); });
}
// The table is handed on only when the operation answered: one that set it
// and then threw leaves the host no table at all.
int32_t KH_CALL GuiGetResourceDataType(KhCustomGuiData* data, const int32_t** table) noexcept {
  if (!table) return 0;
  *table = nullptr;
  const int32_t* types = nullptr;
  bool answered = false;
  const int32_t count = CallGui(data, 0, [&](CustomGuiData* o) {
    const int32 n = o->GetResourceDataType(types);
    answered = true;
    return n;
  });
  if (answered) *table = types;
  return count;
}

// Custom GUI library entries; `gui` is the dialog's user object.

template <typename R, typename F>
R CallElement(void* gui, R failure, F&& f) noexcept {
  if (!gui) return failure;
  try {
    return f(iCustomGui::FromUserObject(gui));
  } catch (...) {
    return failure;
  }
}

void KH_CALL LibRedraw(void* gui) noexcept {
  CallElement(gui, 0, [](iCustomGui* g) { g->CustomGuiRedraw(); return 0; });
}
void KH_CALL LibLayoutChanged(void* gui) noexcept {
  CallElement(gui, 0, [](iCustomGui* g) { g->CustomGuiLayoutChanged(); return 0; });
}
int32_t KH_CALL LibWidth(void* gui) noexcept {
  return CallElement(gui, 0, [](iCustomGui* g) { return g->CustomGuiWidth(); });
}
int32_t KH_CALL LibHeight(void* gui) noexcept {
  return CallElement(gui, 0, [](iCustomGui* g) { return g->CustomGuiHeight(); });
}
void KH_CALL LibActivate(void* gui) noexcept {
  CallElement(gui, 0, [](iCustomGui* g) { g->CustomGuiActivate(); return 0; });
}
void KH_CALL LibSetDefaultForResEdit(void* gui) noexcept {
  CallElement(gui, 0, [](iCustomGui* g) { g->SetDefaultForResEdit(); return 0; });
}
int32_t KH_CALL LibSetData(void* gui, const KhTriState* value) noexcept {
  if (!value) return 0;
  return CallElement(gui, 0, [&](iCustomGui* g) { return g->SetData(*TriState::From(value)); });
}
// Initialises out (state and value) in every case, as the host expects.
void KH_CALL LibGetData(void* gui, KhTriState* out) noexcept {
  if (!out) return;
  try {
    if (gui) {
      new (out) TriState(iCustomGui::FromUserObject(gui)->GetData());
      return;
    }
  } catch (...) {
  }
  new (out) TriState();
}
void KH_CALL LibSetLayoutMode(void* gui, int32_t mode) noexcept {
  CallElement(gui, 0, [&](iCustomGui* g) { g->SetLayoutMode(mode); return 0; });
}
int32_t KH_CALL LibGetLayoutMode(void* gui) noexcept {
  return CallElement(gui, 0, [](iCustomGui* g) { return g->GetLayoutMode(); });
}
int32_t KH_CALL LibSupportLayoutSwitch(void* gui) noexcept {
  return CallElement(gui, 0, [](iCustomGui* g) { return g->SupportLayoutSwitch(); });
}
int32_t KH_CALL LibSetObjects(void* gui, void* objects) noexcept {
  return CallElement(gui, 0, [&](iCustomGui* g) { return g->SetObjects(objects); });
}

}  // namespace

Bool FillNodePlugin(NODEPLUGIN* np, int32 info, DataAllocator* alloc, BaseBitmap* icon, int32 disklevel,
                    void* data) {
  if (!np) return false;
  AllocEntry alloc_entry = nullptr;
  if (alloc) {
    alloc_entry = SlotFor(alloc);
    if (!alloc_entry) return false;
  }
  np->info = info;
  np->destructor = &BaseData::Destructor;
  np->alloc = alloc_entry;
  np->icon = icon ? icon->Kh() : nullptr;
  np->disklevel = disklevel;
  np->userdata = data;

  np->init = NodeInit;
  np->free = NodeFree;
  np->read = NodeRead;
  np->write = NodeWrite;
  np->message = NodeMessage;
  np->copy_to = NodeCopyTo;
  np->get_bubble_help = NodeGetBubbleHelp;
  np->get_document = NodeGetDocument;
  np->get_branch_info_ex = NodeGetBranchInfoEx;
  np->get_branch_info = NodeGetBranchInfo;
  np->is_instance_of = NodeIsInstanceOf;
  np->get_d_description = NodeGetDDescription;
  np->get_d_parameter = NodeGetDParameter;
  np->get_d_enabling = NodeGetDEnabling;
  np->set_d_parameter = NodeSetDParameter;
  np->translate_desc_id = NodeTranslateDescID;
  np->is_document_related = NodeIsDocumentRelated;
  return true;
}

void FillObjectPlugin(OBJECTPLUGIN* op, int32 info) {
  op->icon = op->node.icon;
  op->get_dimension = ObjGetDimension;
  op->draw = ObjDraw;
  op->detect_handle = ObjDetectHandle;
  op->move_handle = ObjMoveHandle;
  op->add_to_execution = ObjAddToExecution;
  op->execute = ObjExecute;
  op->get_modeling_axis = ObjGetModelingAxis;
  op->check_dirty = ObjCheckDirty;
  // The host calls the optional operations whenever they are set, so they are
  // offered only for the kinds of object the info flags announce.
  if (info & kObjectInfoModifier) op->modify_object = ObjModifyObject;
  if (info & kObjectInfoGenerator) op->get_virtual_objects = ObjGetVirtualObjects;
  if (info & kObjectInfoSplineGenerator) op->get_contour = ObjGetContour;
  if (info & kObjectInfoParticleModifier) op->modify_particles = ObjModifyParticles;
}

void FillShaderPlugin(SHADERPLUGIN* sp) {
  sp->draw = ShDraw;
  sp->get_render_info = ShGetRenderInfo;
  sp->init_render = ShInitRender;
  sp->free_render = ShFreeRender;
  sp->output = ShOutput;
  sp->gl_message = ShGlMessage;
  sp->init_gl_image = ShInitGLImage;
}

void FillTagPlugin(TAGPLUGIN* tp) {
  tp->draw = TagDraw;
  tp->execute = TagExecute;
  tp->add_to_execution = TagAddToExecution;
}

void FillCustomGuiPlugin(CUSTOMGUIPLUGIN* cp, int32 info, CustomGuiData* guidata) {
  cp->info = info;
  cp->destructor = &BaseData::CustomGuiDestructor;
  cp->data = reinterpret_cast<KhCustomGuiData*>(guidata);
  cp->alloc = GuiAlloc;
  cp->free = GuiFree;
  cp->get_resource_sym = GuiGetResourceSym;
  cp->get_properties = GuiGetProperties;
  cp->get_resource_data_type = GuiGetResourceDataType;
}

void FillBaseCustomGui(BaseCustomGuiLib& lib) {
  lib.redraw = LibRedraw;
  lib.layout_changed = LibLayoutChanged;
  lib.width = LibWidth;
  lib.height = LibHeight;
  lib.activate = LibActivate;
  lib.set_default_for_res_edit = LibSetDefaultForResEdit;
  lib.set_data = LibSetData;
  lib.get_data = LibGetData;
  lib.set_layout_mode = LibSetLayoutMode;
  lib.get_layout_mode = LibGetLayoutMode;
  lib.support_layout_switch = LibSupportLayoutSwitch;
  lib.set_objects = LibSetObjects;
}
