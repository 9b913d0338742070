#include "shader/vorla_deformer_tag.h"

NodeData* VorlaDeformerTagData::Alloc() { return gNew<VorlaDeformerTagData>(); }

// Only the index gets a value; the count is left to whoever fills the tag.
Bool VorlaDeformerTagData::Init(GeListNode* node) {
  static_cast<BaseList2D*>(node)->GetDataInstance()->SetLong(VORLADEFORMERTAG_INDEX, 0);
  return true;
}

int32 VorlaDeformerTagData::Execute(BaseTag* tag, BaseDocument* doc, BaseObject* op, BaseThread* bt,
                                    int32 priority, int32 flags) {
  return 0;
}

// A fixed name, no description (so no panel) and no icon.
Bool RegisterVorlaDeformerTag() {
  return RegisterTagPlugin(ID_VORLADEFORMERTAG, String("VorlaDeformerTag"), 1, VorlaDeformerTagData::Alloc,
                           String(""), String(""), 0);
}
