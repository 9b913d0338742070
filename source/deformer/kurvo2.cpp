#include "deformer/kurvo2.h"

#include "deformer/deformation_run.h"
#include "deformer/kurvo_defaults.h"
#include "deformer/kurvo_params.h"

NodeData* Kurvo2::Alloc() { return gNew<Kurvo2>(); }

Bool Kurvo2::Init(GeListNode* node) {
  WriteKurvoDefaults(*static_cast<BaseList2D*>(node)->GetDataInstance());
  return true;
}

Bool Kurvo2::Message(GeListNode* node, int32 type, void* data) {
  // A deformer created from the menu starts active. Nothing switches it off.
  if (type == KH_MSG_MENUPREPARE) static_cast<BaseObject*>(node)->SetDeformMode(true);
  return true;
}

// A copy gets its parameters with the host's copy of the container; its node
// fields keep the values of a new node (fresh random, zero change state).
Bool Kurvo2::CopyTo(NodeData* dest, GeListNode* snode, GeListNode* dnode, int32 flags,
                    AliasTrans* trn) {
  return true;
}

Bool Kurvo2::GetDEnabling(GeListNode* node, const DescID& id, const GeData& t_data, int32 flags,
                          const BaseContainer* itemdesc) {
  const BaseContainer* bc = static_cast<BaseList2D*>(node)->GetDataInstance();
  return IsKurvoElementEnabled(id[0]->id, *bc);
}

void Kurvo2::GetDimension(BaseObject* op, Vector* mp, Vector* rad) {
  *mp = dimensionCenter;
  *rad = dimensionRadius;
}

// The deformer builds nothing of its own; its children are only watched.
BaseObject* Kurvo2::GetVirtualObjects(BaseObject* op, HierarchyHelp* hh) { return nullptr; }

Bool Kurvo2::ModifyObject(BaseObject* mod, BaseDocument* doc, BaseObject* op, const Matrix& op_mg,
                          const Matrix& mod_mg, Real lod, int32 flags, BaseThread* thread) {
  RunDeformation(random, transports, mod, doc, op, op_mg, mod_mg, thread);
  return true;
}

Bool RegisterVorlaDeformer() {
  const String name = GeLoadString(IDS_VORLADEFORMER);
  if (!name.Content()) return true;
  constexpr int32 kObjectFlags = 1 /* modifier */ | 4 /* generator */ | 8 /* uses its children */;
  return RegisterObjectPlugin(ID_VORLADEFORMER, name, kObjectFlags, Kurvo2::Alloc, String("OKurvo"),
                              String("Kurvo.tif"), 0);
}
