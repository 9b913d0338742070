// Child hierarchy of a generator object: rebuilt only when the generator, its
// cache or one of the cloned children changed.
#include "nodes.h"

BaseObject* BaseObject::GetAndCheckHierarchyClone(HierarchyHelp* hh, BaseObject* first, int32 flags,
                                                  Bool* dirty, AliasTrans* trans, Bool allchildren) {
  Bool local_dirty = false;
  Bool& changed = dirty ? *dirty : local_dirty;

  changed = changed || CheckCache(hh) || IsDirty(KH_DIRTY_DATA);

  if (!changed) {
    // A checking pass: the host records each child in the dependence list and
    // reports changes. Anything it hands back is ours and not needed here.
    NewDependenceList();
    for (BaseObject* child = first; child; child = allchildren ? child->GetNext() : nullptr) {
      BaseObject* probe = GetHierarchyClone(hh, child, flags, &changed, trans);
      BaseObject::Free(probe);
    }
  }
  if (!changed) changed = !CompareDependenceList();
  if (!changed) {
    TouchDependenceList();
    return GetCache(hh);
  }

  NewDependenceList();
  if (!allchildren) return GetHierarchyClone(hh, first, flags, nullptr, trans);

  BaseObject* group = Alloc(KH_TYPE_NULL);
  if (!group) return nullptr;
  if (first) group->SetName(first->GetName());
  for (BaseObject* child = first; child; child = child->GetNext()) {
    BaseObject* clone = GetHierarchyClone(hh, child, flags, nullptr, trans);
    if (clone) clone->InsertUnderLast(group);
  }
  return group;
}
