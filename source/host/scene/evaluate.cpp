// The evaluation loop (see document.h).
#include "document.h"

namespace kurvo::host {
namespace {

// The deformers that apply to `object`, as serial numbers: a change in this
// list (one added, removed, reordered or switched off) forces a re-run.
std::vector<uint64_t> activeDeformers(const Object& object) {
  std::vector<uint64_t> out;
  for (Object* c = object.firstChild(); c; c = c->nextObject())
    if (c->isDeformer() && c->deformEnabled()) out.push_back(c->serial());
  return out;
}

struct EvaluatingFlag {
  bool& flag;
  explicit EvaluatingFlag(bool& f) : flag(f) { flag = true; }
  ~EvaluatingFlag() { flag = false; }
};

}  // namespace

void Document::evaluate() {
  EvaluatingFlag scope(evaluating_);
  const bool first = evaluations_ == 0;

  forEachObject([&](Object& o) {
    const KhObjectPlugin* record = o.objectRecord();
    if (o.isDeformer() && record->check_dirty && o.pluginData())
      record->check_dirty(o.pluginData(), toObjectHandle(&o), handle());
  });

  for (Object* o = first_; o; o = o->nextObject()) evaluateBranch(*o, false, first);

  forEachObject([](Object& o) { o.markEvaluated(); });
  ++evaluations_;
}

void Document::evaluateBranch(Object& object, bool ancestorMoved, bool first) {
  const bool moved = ancestorMoved || object.changedSinceEvaluation(KH_DIRTY_MATRIX);
  if (object.isPointObject()) {
    std::vector<uint64_t> deformers = activeDeformers(object);
    bool run = first || moved || object.changedSinceEvaluation(KH_DIRTY_MATRIX | KH_DIRTY_DATA) ||
               deformers != object.appliedDeformers;
    for (Object* c = object.firstChild(); c && !run; c = c->nextObject())
      if (c->isDeformer() && c->changedSinceEvaluation(KH_DIRTY_MATRIX | KH_DIRTY_DATA)) run = true;
    if (run) {
      object.appliedDeformers = std::move(deformers);
      runDeformers(object);
    }
  }
  for (Object* c = object.firstChild(); c; c = c->nextObject()) evaluateBranch(*c, moved, first);
}

void Document::runDeformers(Object& object) {
  if (object.appliedDeformers.empty()) {
    object.dropRestState();
    return;
  }
  if (object.hasRestState())
    object.restoreRestState();
  else
    object.keepRestState();
  object.refreshBox();
  const KhMatrix opMg = object.globalMatrix();
  for (Object* c = object.firstChild(); c; c = c->nextObject()) {
    if (!c->isDeformer() || !c->deformEnabled()) continue;
    const KhObjectPlugin* record = c->objectRecord();
    if (!record->modify_object || !c->pluginData()) continue;
    const KhMatrix modMg = c->globalMatrix();
    record->modify_object(c->pluginData(), toObjectHandle(c), handle(), toObjectHandle(&object), &opMg,
                          &modMg, 1.0f, 0, thread_.handle());
  }
}

}  // namespace kurvo::host
