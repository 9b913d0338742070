// Change detection: marks the deformer changed when its children, its path,
// its rail or the path's parents changed since the last check. Path, rail and
// parents are looked at in that order and the first change ends the check; a
// source not looked at keeps its stored counter and is found next time.
#include "deformer/kurvo2.h"
#include "deformer/kurvo_params.h"

void Kurvo2::CheckDirty(BaseObject* op, BaseDocument* doc) {
  constexpr int32 kMatrix = KH_DIRTY_MATRIX, kData = KH_DIRTY_DATA;
  const BaseContainer* bc = op->GetDataInstance();

  int32 count = 0;
  for (BaseObject* child = op->GetDown(); child; child = child->GetNext()) {
    ++count;
    if (child->IsDirty(kMatrix | kData)) op->SetDirty(kData);
  }
  if (count != childCount) {
    childCount = count;
    op->SetDirty(kData);
  }

  BaseObject* pathObject = bc->GetObjectLink(KURVO_SPLINE, doc);
  if (!pathObject) return;

  const uint32 pathCounter = pathObject->GetDirty(kMatrix | kData);
  if (pathCounter != pathDirty) {
    pathDirty = pathCounter;
    op->SetDirty(kMatrix);
    op->SetDirty(kData);
    return;
  }

  if (BaseObject* railObject = bc->GetObjectLink(KURVO_RAIL, doc)) {
    const uint32 railCounter = railObject->GetDirty(kMatrix | kData);
    if (railCounter != railDirty) {
      railDirty = railCounter;
      op->SetDirty(kMatrix);
      op->SetDirty(kData);
      return;
    }
  }

  // One stored counter serves every ancestor of the path.
  for (BaseObject* parent = pathObject->GetUp(); parent; parent = parent->GetUp()) {
    const uint32 parentCounter = parent->GetDirty(kMatrix);
    if (parentCounter != pathParentsDirty) {
      pathParentsDirty = parentCounter;
      op->SetDirty(kMatrix);
      return;
    }
  }
}
