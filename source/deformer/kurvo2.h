// Kurvo2: the spline deformer object. A child of a point object, it bends its
// parent's points along a linked path spline (deformation_run.cpp), watches
// its path, rail and children for changes (change_detection.cpp) and shows
// itself in the editor as an arrow (editor_drawing.cpp). Its parameters live
// in the object's container (kurvo_params.h); the node holds only the fields
// below, none of which is copied or stored.
#pragma once

#include "deformer/path_transport.h"
#include "kurvo_api.h"

class Kurvo2 : public ObjectData {
 public:
  Kurvo2() = default;
  ~Kurvo2() override = default;

  // A new node from the layer's allocator, or null when memory is short.
  static NodeData* Alloc();

  Bool Init(GeListNode* node) override;
  Bool Message(GeListNode* node, int32 type, void* data) override;
  Bool CopyTo(NodeData* dest, GeListNode* snode, GeListNode* dnode, int32 flags,
              AliasTrans* trn) override;
  Bool GetDEnabling(GeListNode* node, const DescID& id, const GeData& t_data, int32 flags,
                    const BaseContainer* itemdesc) override;

  void GetDimension(BaseObject* op, Vector* mp, Vector* rad) override;
  Bool Draw(BaseObject* op, int32 drawpass, BaseDraw* bd, BaseDrawHelp* bh) override;
  BaseObject* GetVirtualObjects(BaseObject* op, HierarchyHelp* hh) override;
  Bool ModifyObject(BaseObject* mod, BaseDocument* doc, BaseObject* op, const Matrix& op_mg,
                    const Matrix& mod_mg, Real lod, int32 flags, BaseThread* thread) override;
  void CheckDirty(BaseObject* op, BaseDocument* doc) override;

  // Read-only views for tests and diagnostics.
  const Random& GetRandom() const { return random; }
  int32 GetChildCount() const { return childCount; }
  const PathTransportCache& GetTransports() const { return transports; }

 private:
  Random random;  // seed 100 when constructed; one draw per deformation run
  Vector dimensionCenter;  // reported bounding box: always zero
  Vector dimensionRadius;

  // Change detection: the last seen child count and change counters.
  int32 childCount = 0;
  uint32 pathDirty = 0;
  uint32 railDirty = 0;
  uint32 pathParentsDirty = 0;

  // Up mode 3's table, kept while the path is unchanged; a copy of the node
  // starts without one.
  PathTransportCache transports;
};

// Registers the deformer under ID_VORLADEFORMER. An empty or missing display
// name (string 10000) registers nothing and still answers true.
Bool RegisterVorlaDeformer();
