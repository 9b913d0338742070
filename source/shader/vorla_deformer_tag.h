// The deformer tag: a per-object carrier of an index and a count. The
// gradient shader turns them into a position on its gradient; the spline
// deformer re-seeds its random twist from the index. The tag has no panel and
// no behaviour of its own.
#pragma once

#include "kurvo_api.h"

enum : int32 {
  ID_VORLADEFORMERTAG = 1024306,  // plug-in ID, also the tag type readers look up
  VORLADEFORMERTAG_INDEX = 1000,  // integer, 0 on a new tag
  VORLADEFORMERTAG_COUNT = 1001   // integer, not written by the module (reads 0)
};

class VorlaDeformerTagData : public TagData {
 public:
  static NodeData* Alloc();

  Bool Init(GeListNode* node) override;
  int32 Execute(BaseTag* tag, BaseDocument* doc, BaseObject* op, BaseThread* bt, int32 priority,
                int32 flags) override;
};

// Registers the tag with the host; the host's answer.
Bool RegisterVorlaDeformerTag();
