// Plug-in data classes: the module's objects whose virtual operations the host
// calls through the registration records. Every operation has a default body;
// a data class overrides only what it needs. Objects are made by each class's
// static Alloc with gNew (the host frees their memory with the general family
// after running the record's destructor adaptor).
#pragma once

#include "api_types.h"
#include "nodes.h"
#include "values.h"

class BaseData {
 public:
  BaseData() = default;
  virtual ~BaseData() = default;

  // Destructor adaptors of the records: run the virtual destructor of a
  // non-null data object; the host frees the memory afterwards.
  static void KH_CALL Destructor(KhNodeData* data) noexcept;
  static void KH_CALL CustomGuiDestructor(KhCustomGuiData* data) noexcept;
};

class NodeData : public BaseData {
 public:
  virtual Bool Init(GeListNode* node);                                    // true
  virtual void Free(GeListNode* node);                                    // nothing
  virtual Bool Read(GeListNode* node, HyperFile* hf, int32 level);        // true
  virtual Bool Write(GeListNode* node, HyperFile* hf);                    // true
  virtual Bool Message(GeListNode* node, int32 type, void* data);         // true
  virtual Bool CopyTo(NodeData* dest, GeListNode* snode, GeListNode* dnode, int32 flags,
                      AliasTrans* trn);                                   // true
  virtual void GetBubbleHelp(GeListNode* node, String& str);              // nothing
  virtual BaseDocument* GetDocument(GeListNode* node);                    // null
  virtual int32 GetBranchInfoEx(GeListNode* node, BranchInfo* info, int32 max, int32 flags);  // 0
  virtual int32 GetBranchInfo(GeListNode* node, BranchInfo* info, int32 max);                 // 0
  virtual Bool IsInstanceOf(const GeListNode* node, int32 type);          // false
  virtual Bool GetDDescription(GeListNode* node, Description* description, int32& flags);  // false
  virtual Bool GetDParameter(GeListNode* node, const DescID& id, GeData& t_data, int32& flags);  // true
  virtual Bool GetDEnabling(GeListNode* node, const DescID& id, const GeData& t_data, int32 flags,
                            const BaseContainer* itemdesc);               // true
  virtual Bool SetDParameter(GeListNode* node, const DescID& id, const GeData& t_data,
                             int32& flags);                               // true
  virtual Bool TranslateDescID(GeListNode* node, const DescID& id, DescID& res_id,
                               GeListNode*& res_at);                      // false
  virtual Bool IsDocumentRelated(const GeListNode* node, Bool& docrelated);  // false

  static NodeData* From(KhNodeData* d) { return reinterpret_cast<NodeData*>(d); }
};

class ObjectData : public NodeData {
 public:
  virtual void GetDimension(BaseObject* op, Vector* mp, Vector* rad);     // nothing
  // Default: draws the handles (pass 2) as small crosses.
  virtual Bool Draw(BaseObject* op, int32 drawpass, BaseDraw* bd, BaseDrawHelp* bh);
  // Default works on GetHandleCount/GetHandle/SetHandle: -1 when no handle.
  virtual int32 DetectHandle(BaseObject* op, BaseDraw* bd, int32 x, int32 y, int32 qualifier);
  virtual Bool MoveHandle(BaseObject* op, BaseObject* undo, const Matrix& tm, int32 hit_id,
                          int32 qualifier);
  virtual Bool AddToExecution(BaseObject* op, PriorityList* list);        // false
  virtual int32 Execute(BaseObject* op, BaseDocument* doc, BaseThread* bt, int32 priority,
                        int32 flags);                                     // 0
  virtual void GetModelingAxis(BaseObject* op, BaseDocument* doc, Matrix& axis);  // nothing
  virtual BaseObject* GetVirtualObjects(BaseObject* op, HierarchyHelp* hh);        // null
  virtual Bool ModifyObject(BaseObject* mod, BaseDocument* doc, BaseObject* op, const Matrix& op_mg,
                            const Matrix& mod_mg, Real lod, int32 flags, BaseThread* thread);  // true
  virtual void CheckDirty(BaseObject* op, BaseDocument* doc);             // nothing
  virtual SplineObject* GetContour(BaseObject* op, BaseDocument* doc, Real lod, BaseThread* bt);  // null
  virtual void ModifyParticles(BaseObject* op, void* particles, void* bs, void* ss, int32 pcnt,
                               Real diff);                                // nothing
  virtual int32 GetHandleCount(BaseObject* op);                           // 0
  virtual Vector GetHandle(BaseObject* op, int32 i);                      // zero
  virtual void SetHandle(BaseObject* op, int32 i, const Vector& p);       // nothing
};

class ShaderData : public NodeData {
 public:
  virtual Bool Draw(BaseShader* sh, BaseObject* op, int32 drawpass, BaseDraw* bd);  // true
  virtual int32 GetRenderInfo(BaseShader* sh);                            // 0
  // 0 on success, a negative code on failure (-100: cannot render).
  virtual int32 InitRender(BaseShader* sh, InitRenderStruct* irs);        // 0
  virtual void FreeRender(BaseShader* sh);                                // nothing
  virtual Vector Output(BaseShader* sh, ChannelData* cd);                 // zero
  virtual Bool GlMessage(BaseShader* sh, int32 type, void* data);         // false
  virtual Bool InitGLImage(BaseShader* sh, BaseMaterial* mat, BaseDocument* doc, int32 channel,
                           void* bmp);                                    // false
};

class TagData : public NodeData {
 public:
  virtual Bool Draw(BaseTag* tag, BaseObject* op, BaseDraw* bd, BaseDrawHelp* bh);  // true
  virtual int32 Execute(BaseTag* tag, BaseDocument* doc, BaseObject* op, BaseThread* bt,
                        int32 priority, int32 flags);                     // 0
  virtual Bool AddToExecution(BaseTag* tag, PriorityList* list);          // false
};



// A custom GUI plug-in: the host keeps one object per registered GUI and asks
// it to create and free elements.
class CustomGuiData : public BaseData {
 public:
  virtual int32 GetId();                                                  // 0
  // Creates one element for `settings`; its host dialog, or null.
  virtual CDialog* Alloc(const BaseContainer& settings);                  // null
  virtual void Free(CDialog* dlg, void* userdata);                        // nothing
  virtual const char* GetResourceSym();                                   // null
  virtual CustomProperty* GetProperties();                                // null
  // Points table at the data types shown; answers their count.
  virtual int32 GetResourceDataType(const int32*& table);                 // 0

  // The host's record of this custom GUI, found by GetId, or null.
  const CUSTOMGUIPLUGIN* GetPlugin();

  static CustomGuiData* From(KhCustomGuiData* d) { return reinterpret_cast<CustomGuiData*>(d); }
};

// The allocation function of a data class, handed over at registration.
using DataAllocator = NodeData*();
