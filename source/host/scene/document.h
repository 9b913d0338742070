// A document: a tree of objects with their tags, the change bookkeeping and
// the evaluation loop that runs the deformers.
//
// Evaluation: every deformer (plug-in object with info bit 1) gets
// check_dirty; then each point object whose inputs changed since the last
// evaluation (its own matrix or data, a moved ancestor, a changed deformer,
// a different set of deformers, or the first evaluation) gets its original
// points back and runs its direct child deformers with deform mode not off,
// in child order, through modify_object. Finally every object's
// changed-since flags are cleared.
//
// Arrays (array.h): before the walk every array makes, moves or drops its
// copies; an array's source is not deformed, its copies are.
//
// Deform mode: new objects start "undefined" (2), which counts as on; only
// mode 0 switches a deformer off.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <unordered_map>
#include <vector>

#include "break_thread.h"
#include "draw_recorder.h"
#include "material.h"
#include "node.h"

namespace kurvo::host {

class Document {
 public:
  static constexpr uint32_t kMagic = 0x444F4355;  // 'DOCU'
  Document();
  ~Document();
  Document(const Document&) = delete;
  Document& operator=(const Document&) = delete;

  bool alive() const noexcept { return magic_ == kMagic; }
  KhDocument* handle() noexcept { return reinterpret_cast<KhDocument*>(this); }

  // A new object of `type` appended at the top level, or null for an unknown
  // type (or a plug-in whose node cannot be made).
  Object* createObject(int32_t type);
  // The same, as a user would create it from a menu: the new object also
  // receives message 22.
  Object* createObjectAsUser(int32_t type);
  // Inserts a free object (ownership passes) as the last child of `parent`
  // (null: at the top level).
  Object* insert(std::unique_ptr<Object> object, Object* parent = nullptr);
  // Moves `object` (already in this document) to the end of `parent`'s
  // children (null: the top level). Refused when `parent` lies below `object`.
  bool insertUnder(Object* object, Object* parent);
  // Takes `object` (and its subtree) out; the caller owns it.
  std::unique_ptr<Object> remove(Object* object);
  // Removes and frees `object` and its subtree.
  void destroy(Object* object);

  Object* firstObject() const noexcept { return first_; }
  // Every object in tree order (parents before children).
  void forEachObject(const std::function<void(Object&)>& visit) const;
  size_t objectCount() const;

  // Shorthands for edits that count as changes.
  void setLocalMatrix(Object* object, const KhMatrix& m) { object->setLocalMatrix(m); }
  void setPoints(Object* object, std::vector<Vector> points) { object->setPoints(std::move(points)); }
  void setPolygons(Object* object, std::vector<kurvo::geo::Polygon> p) { object->setPolygons(std::move(p)); }
  // A new tag of `type` on `object` (appended), or null.
  Tag* addTag(Object* object, int32_t type);
  // Links entry `id` of `from`'s parameters to `to` (null: an empty link).
  void setLink(Node* from, int32_t id, Node* to);

  // Runs the evaluation loop once. It starts with generate().
  void evaluate();
  // Brings the generated objects (the copies of every array, array.h) up to
  // date without evaluating; the copies then exist for anyone who counts
  // objects before an evaluation.
  void generate();
  int64_t evaluationCount() const noexcept { return evaluations_; }
  // Runs `object`'s deformers once more, as its last evaluation ran them
  // (the same matrices, the box of its rest points), on `points` in place of
  // its rest points: object coordinates, a whole number of times its point
  // count, a vertex map's weights repeated for each copy. Answers the moved
  // points, or nothing when no deformer ran on the object at its last
  // evaluation, the count is not such a multiple, or a deformer changed the
  // number of points. The object's points, box and vertex map are left as
  // they were; the deformers' own state moves on as after any run (a
  // random draw), so this is for a document that is done evaluating.
  std::optional<std::vector<Vector>> deformAgain(Object& object, std::vector<Vector> points);
  // The point objects the last evaluation ran again (their deformers, or
  // none): every one whose points or placement may have changed in it.
  const std::vector<uint64_t>& lastRuns() const noexcept { return lastRuns_; }
  bool evaluating() const noexcept { return evaluating_; }
  // The thread handle that modify_object receives.
  BreakThread& thread() noexcept { return thread_; }

  // Calls `draw` of every plug-in object (pass 0..passes-1) into `view`.
  void drawObjects(DrawRecorder& view, int32_t passes = 1);

  // The live node with `serial` in this document, or null.
  Node* findLive(uint64_t serial) const noexcept;
  // The serials of the arrays in this document, in the order they were made.
  const std::set<uint64_t>& arrays() const noexcept { return arrays_; }

  // Materials, in the order they were added; names are unique. A material's
  // shader node belongs to this document while the material lives.
  // addMaterial answers null when the name is taken.
  Material* addMaterial(std::string name, std::unique_ptr<Shader> shader = nullptr);
  Material* findMaterial(const std::string& name) const noexcept;
  const std::vector<std::unique_ptr<Material>>& materials() const noexcept { return materials_; }
  // The material an object is coloured by (null: none). Kept by the object's
  // serial, so a removed object simply stops having one.
  void setMaterial(const Object& object, Material* material);
  Material* materialOf(const Object& object) const noexcept;

 private:
  friend class Object;
  void link(Object* object, Object* parent);
  void unlink(Object* object);
  void adopt(Node* node);    // registers a subtree (or a tag) as live here
  void release(Node* node);  // and takes it off again
  // Decides which point objects need their deformers run, in walk order.
  void evaluateBranch(Object& object, bool ancestorMoved, bool first, std::vector<Object*>& runs);
  // Runs them: at the same time where they share no object, else in order.
  void runInStages(const std::vector<Object*>& runs);
  void runTogether(const std::vector<Object*>& objects);
  void runDeformers(Object& object);
  // Calls modify_object of each enabled deformer child of `object`, in order.
  void callDeformers(Object& object, KhThread* thread);

  uint32_t magic_ = kMagic;
  Object* first_ = nullptr;
  Object* last_ = nullptr;
  std::unordered_map<uint64_t, Node*> live_;
  std::set<uint64_t> arrays_;
  std::vector<std::unique_ptr<Material>> materials_;
  std::unordered_map<uint64_t, Material*> assignedMaterials_;
  BreakThread thread_;
  std::vector<uint64_t> lastRuns_;
  int64_t evaluations_ = 0;
  bool evaluating_ = false;
};

inline Document* documentFrom(KhDocument* h) noexcept {
  auto* d = reinterpret_cast<Document*>(h);
  return d && d->alive() ? d : nullptr;
}

}  // namespace kurvo::host
