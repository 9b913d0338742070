// The evaluation loop (see document.h).
//
// The loop first walks the tree and decides, object by object, which point
// objects need their deformers run; then it runs them. A run changes its own
// object and reads every object its deformers link to (a path, a rail). Runs
// go at the same time on the host's task pool unless one changes what another
// reads or changes: then the later one waits, so a deformed path is bent
// before the objects that follow it, exactly as in a one-thread walk. Runs
// along one shared path go together.
// Large objects run one at a time with the whole pool, which the deformer
// uses to split their points.
#include <algorithm>
#include <exception>
#include <mutex>
#include <unordered_set>
#include <variant>

#include "array.h"
#include "core/task_pool.h"
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

// Whether `object`'s deformers are still those of its last run; asked of
// every point object at every evaluation, so it allocates nothing.
bool sameDeformers(const Object& object) {
  size_t k = 0;
  const std::vector<uint64_t>& applied = object.appliedDeformers;
  for (Object* c = object.firstChild(); c; c = c->nextObject())
    if (c->isDeformer() && c->deformEnabled())
      if (k >= applied.size() || applied[k++] != c->serial()) return false;
  return k == applied.size();
}

// Objects with at least this many points run alone, the pool splitting their
// points; smaller ones share the pool as whole runs.
constexpr size_t kLargeObjectPoints = 16384;

void addLinks(const Container& c, std::vector<uint64_t>& out) {
  c.forEachEntry([&](int32_t, const Data& d) {
    if (const auto* link = std::get_if<NodeLink>(&d.value); link && link->serial) out.push_back(link->serial);
    if (const Container* inner = d.getContainer()) addLinks(*inner, out);
  });
}

// What a run over `object` changes (the object) and what it reads beside its
// own deformers (everything they link to: a path, a rail), each sorted.
struct Reach {
  std::vector<uint64_t> changes;
  std::vector<uint64_t> reads;
};

void sortUnique(std::vector<uint64_t>& v) {
  std::sort(v.begin(), v.end());
  v.erase(std::unique(v.begin(), v.end()), v.end());
}

// Into `r`, whose vectors keep their room from one run to the next.
void reachOf(const Object& object, Reach& r) {
  r.changes.assign(1, object.serial());
  r.reads.clear();
  for (Object* c = object.firstChild(); c; c = c->nextObject())
    if (c->isDeformer() && c->deformEnabled()) addLinks(c->parameters(), r.reads);
  sortUnique(r.reads);
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
  updateArrays(*this);

  forEachObject([&](Object& o) {
    const KhObjectPlugin* record = o.objectRecord();
    if (o.isDeformer() && record->check_dirty && o.pluginData())
      record->check_dirty(o.pluginData(), toObjectHandle(&o), handle());
  });

  std::vector<Object*> runs;
  for (Object* o = first_; o; o = o->nextObject()) evaluateBranch(*o, false, first, runs);
  runInStages(runs);
  returnArrayReadOuts(*this);
  lastRuns_.clear();
  for (const Object* o : runs) lastRuns_.push_back(o->serial());

  forEachObject([](Object& o) { o.markEvaluated(); });
  ++evaluations_;
}

void Document::generate() { updateArrays(*this); }

void Document::evaluateBranch(Object& object, bool ancestorMoved, bool first, std::vector<Object*>& runs) {
  const bool moved = ancestorMoved || object.changedSinceEvaluation(KH_DIRTY_MATRIX);
  // An array's source is a template: only its copies are deformed.
  if (object.isPointObject() && !object.isArraySource()) {
    const bool same = sameDeformers(object);
    bool run = first || moved || object.changedSinceEvaluation(KH_DIRTY_MATRIX | KH_DIRTY_DATA) || !same;
    for (Object* c = object.firstChild(); c && !run; c = c->nextObject())
      if (c->isDeformer() && c->changedSinceEvaluation(KH_DIRTY_MATRIX | KH_DIRTY_DATA)) run = true;
    if (run) {
      if (!same) object.appliedDeformers = activeDeformers(object);
      runs.push_back(&object);
    }
  }
  for (Object* c = object.firstChild(); c; c = c->nextObject()) evaluateBranch(*c, moved, first, runs);
}

void Document::runInStages(const std::vector<Object*>& runs) {
  size_t begin = 0;
  while (begin < runs.size()) {
    // A stage: the longest run of objects, in walk order, none of which
    // changes what another one reads or changes (runs that only read the
    // same path may go together: the host makes a path's length table and
    // generated spline safely for several readers). What the stage changes and
    // reads is kept in sets, so that a stage of many objects (an array's
    // copies) is found in time linear in their number.
    std::unordered_set<uint64_t> changed, read;
    Reach r;
    size_t end = begin;
    for (; end < runs.size(); ++end) {
      reachOf(*runs[end], r);
      const auto any = [](const std::vector<uint64_t>& v, const std::unordered_set<uint64_t>& in) {
        return std::any_of(v.begin(), v.end(), [&](uint64_t s) { return in.count(s) != 0; });
      };
      if (end > begin && (any(r.changes, changed) || any(r.changes, read) || any(r.reads, changed))) break;
      changed.insert(r.changes.begin(), r.changes.end());
      read.insert(r.reads.begin(), r.reads.end());
    }
    std::vector<Object*> small;
    for (size_t i = begin; i < end; ++i) {
      if (runs[i]->points().size() >= kLargeObjectPoints)
        runDeformers(*runs[i]);
      else
        small.push_back(runs[i]);
    }
    runTogether(small);
    begin = end;
  }
}

void Document::runTogether(const std::vector<Object*>& objects) {
  if (objects.size() == 1) return runDeformers(*objects[0]);
  struct Work {
    Document* doc;
    const std::vector<Object*>* objects;
    std::mutex lock;
    std::exception_ptr failure;
    static void KH_CALL body(void* self, int32_t i) {
      auto* w = static_cast<Work*>(self);
      try {
        w->doc->runDeformers(*(*w->objects)[static_cast<size_t>(i)]);
      } catch (...) {
        std::lock_guard guard(w->lock);
        if (!w->failure) w->failure = std::current_exception();
      }
    }
  } work{this, &objects, {}, {}};
  TaskPool::shared().run(static_cast<int32_t>(objects.size()), &Work::body, &work);
  if (work.failure) std::rethrow_exception(work.failure);
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
  callDeformers(object, thread_.handle());
}

void Document::callDeformers(Object& object, KhThread* thread) {
  const KhMatrix opMg = object.globalMatrix();
  for (Object* c = object.firstChild(); c; c = c->nextObject()) {
    if (!c->isDeformer() || !c->deformEnabled()) continue;
    const KhObjectPlugin* record = c->objectRecord();
    if (!record->modify_object || !c->pluginData()) continue;
    const KhMatrix modMg = c->globalMatrix();
    record->modify_object(c->pluginData(), toObjectHandle(c), handle(), toObjectHandle(&object), &opMg, &modMg, 1.0f,
                          0, thread);
  }
}

}  // namespace kurvo::host
