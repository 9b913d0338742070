// The array generator: keeps every array's copies in step with the array,
// its source and its deformers before each evaluation (see array.h).
#include <cstring>
#include <string>
#include <type_traits>
#include <variant>

#include "array.h"
#include "document.h"

namespace kurvo::host {
namespace {

bool sameMatrix(const KhMatrix& a, const KhMatrix& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

KhMatrix multiply(const KhMatrix& a, const KhMatrix& b) {
  auto dir = [&](const KhVector& v) {
    return KhVector{a.v1.x * v.x + a.v2.x * v.y + a.v3.x * v.z, a.v1.y * v.x + a.v2.y * v.y + a.v3.y * v.z,
                    a.v1.z * v.x + a.v2.z * v.y + a.v3.z * v.z};
  };
  const KhVector o = dir(b.off);
  return {{a.off.x + o.x, a.off.y + o.y, a.off.z + o.z}, dir(b.v1), dir(b.v2), dir(b.v3)};
}

// The affine inverse; the identity for a matrix without one, as the module
// inverts.
KhMatrix invert(const KhMatrix& m) {
  const KhVector &x = m.v1, &y = m.v2, &z = m.v3;
  const double det = double(x.x) * (double(y.y) * z.z - double(z.y) * y.z) -
                     double(y.x) * (double(x.y) * z.z - double(z.y) * x.z) +
                     double(z.x) * (double(x.y) * y.z - double(y.y) * x.z);
  if (det == 0.0) return {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  const double k = 1.0 / det;
  // Rows of the inverse 3x3 part are the cross products of its columns.
  const auto f = [](double v) { return static_cast<float>(v); };
  KhMatrix r;
  r.v1 = {f((double(y.y) * z.z - double(z.y) * y.z) * k), f((double(z.y) * x.z - double(x.y) * z.z) * k),
          f((double(x.y) * y.z - double(y.y) * x.z) * k)};
  r.v2 = {f((double(z.x) * y.z - double(y.x) * z.z) * k), f((double(x.x) * z.z - double(z.x) * x.z) * k),
          f((double(y.x) * x.z - double(x.x) * y.z) * k)};
  r.v3 = {f((double(y.x) * z.y - double(z.x) * y.y) * k), f((double(z.x) * x.y - double(x.x) * z.y) * k),
          f((double(x.x) * y.y - double(y.x) * x.y) * k)};
  const KhVector& t = m.off;
  r.off = {-(r.v1.x * t.x + r.v2.x * t.y + r.v3.x * t.z), -(r.v1.y * t.x + r.v2.y * t.y + r.v3.y * t.z),
           -(r.v1.z * t.x + r.v2.z * t.y + r.v3.z * t.z)};
  return r;
}

bool sameContainer(const Container& a, const Container& b);

bool sameValue(const Data& a, const Data& b) {
  if (a.value.index() != b.value.index()) return false;
  return std::visit(
      [&](const auto& v) -> bool {
        using T = std::decay_t<decltype(v)>;
        const T& w = std::get<T>(b.value);
        if constexpr (std::is_same_v<T, std::monostate>) {
          return true;
        } else if constexpr (std::is_same_v<T, int32_t> || std::is_same_v<T, float> || std::is_same_v<T, KhVector> ||
                             std::is_same_v<T, KhMatrix>) {
          return std::memcmp(&v, &w, sizeof v) == 0;
        } else if constexpr (std::is_same_v<T, std::string>) {
          return v == w;
        } else if constexpr (std::is_same_v<T, FilenameText>) {
          return v.path == w.path;
        } else if constexpr (std::is_same_v<T, NodeLink>) {
          return v.serial == w.serial;
        } else if constexpr (std::is_same_v<T, std::unique_ptr<Container>>) {
          return v && w ? sameContainer(*v, *w) : !v && !w;
        } else {
          return v && w ? v->equals(*w) : !v && !w;
        }
      },
      a.value);
}

// The same entries in the same order with the same values.
bool sameContainer(const Container& a, const Container& b) {
  if (a.count() != b.count()) return false;
  bool same = true;
  a.forEachEntry([&](int32_t key, const Data& d) {
    const Data* other = same ? b.find(key) : nullptr;
    same = other && sameValue(d, *other);
  });
  return same && a.keys() == b.keys();
}

// The entries of `now` that differ from `before`; false when an entry came
// or went (the whole container is then copied).
bool changedEntries(const Container& before, const Container& now, std::vector<int32_t>& out) {
  if (before.count() != now.count()) return false;
  bool sameKeys = true;
  now.forEachEntry([&](int32_t key, const Data& d) {
    const Data* old = before.find(key);
    if (!old)
      sameKeys = false;
    else if (!sameValue(*old, d))
      out.push_back(key);
  });
  return sameKeys;
}

// The deformers every copy gets its own copy of: the source's own, then the
// array's, each in child order.
std::vector<Object*> deformersFor(const Object& array, const Object& source) {
  std::vector<Object*> out;
  for (const Object* holder : {&source, &array})
    for (Object* c = holder->firstChild(); c; c = c->nextObject())
      if (c->isDeformer() && !c->isGenerated()) out.push_back(c);
  return out;
}

// What changed in one deformer since it was last copied.
struct Edit {
  bool changed = false;
  bool whole = false;           // entries came or went: copy the container
  std::vector<int32_t> entries;  // else these entries
};

class ArrayUpdate {
 public:
  ArrayUpdate(Document& document, Object& array) : document_(document), array_(array), state_(array.arrayCopies()) {}

  void run() {
    Object* source = arraySourceOf(array_);
    if (!source) return dropFrom(0);
    const std::vector<Object*> deformers = deformersFor(array_, *source);
    std::vector<uint64_t> serials;
    for (Object* d : deformers) serials.push_back(d->serial());
    // The source's data (geometry, parameters, tags, children) or the set of
    // deformers changed: the copies are made again from the start.
    const uint32_t sourceData = source->dirtyCounter(KH_DIRTY_DATA);
    if (state_.sourceSerial != source->serial() || state_.sourceData != sourceData || state_.deformers != serials) {
      dropFrom(0);
      state_.sourceSerial = source->serial();
      state_.sourceData = sourceData;
      state_.deformers = serials;
      state_.deformerStamps.assign(deformers.size(), 0);
      state_.deformerParameters.clear();
      for (const Object* d : deformers) state_.deformerParameters.push_back(d->parameters());
    }

    const ArraySettings settings = arraySettings(array_.parameters());
    const ArrayLayout layout = layoutFor(*source, settings);
    dropFrom(static_cast<size_t>(layout.count));

    // Deformers whose parameters changed since they were last copied, and
    // which of their entries.
    std::vector<Edit> edits(deformers.size());
    for (size_t k = 0; k < deformers.size(); ++k) {
      const uint32_t stamp = deformers[k]->dirtyCounter(KH_DIRTY_DATA);
      if (stamp == state_.deformerStamps[k]) continue;
      state_.deformerStamps[k] = stamp;
      Edit& e = edits[k];
      e.changed = true;
      e.whole = !changedEntries(state_.deformerParameters[k], deformers[k]->parameters(), e.entries);
      if (e.whole || !e.entries.empty()) state_.deformerParameters[k] = deformers[k]->parameters();
    }

    const Tag* sourceTag = source->findTag(kNumberTagType);
    const int32_t sourceIndex = sourceTag ? sourceTag->parameters().getLong(kNumberTagIndex, 0) : 0;
    const int32_t sourceCount = sourceTag ? sourceTag->parameters().getLong(kNumberTagCount, 0) : 0;
    Material* material = document_.materialOf(*source);
    const Vector axis = arrayAxis(settings.axis);

    for (int32_t i = 0; i < layout.count; ++i) {
      KhMatrix placement = source->localMatrix();
      const float along = settings.offset + static_cast<float>(i) * layout.step;
      placement.off = {placement.off.x + axis.x * along, placement.off.y + axis.y * along,
                       placement.off.z + axis.z * along};
      Object* copy = nullptr;
      const bool fresh = static_cast<size_t>(i) >= state_.copies.size();
      if (fresh) {
        copy = makeCopy(*source, deformers, i);
        if (!copy) {
          dropFrom(static_cast<size_t>(i));
          return;
        }
        state_.copies.push_back(copy->serial());
      } else {
        copy = copyAt(static_cast<size_t>(i));
        if (!copy) {
          // Something took it away: make the rest again.
          dropFrom(static_cast<size_t>(i));
          --i;
          continue;
        }
      }
      if (!sameMatrix(copy->localMatrix(), placement)) copy->setLocalMatrix(placement);
      number(*copy, sourceTag != nullptr, sourceIndex, sourceCount, i, layout.count);
      if (document_.materialOf(*copy) != material) document_.setMaterial(*copy, material);
      syncDeformers(*copy, deformers, edits, fresh);
    }
  }

 private:
  ArrayLayout layoutFor(const Object& source, const ArraySettings& settings) {
    const uint32_t stamp = source.dirtyCounter(KH_DIRTY_MATRIX | KH_DIRTY_DATA);
    if (state_.extentStamp != stamp || state_.extentAxis != settings.axis) {
      pieceExtent(source, settings.axis, state_.extentLow, state_.extentHigh);
      state_.extentStamp = stamp;
      state_.extentAxis = settings.axis;
    }
    ArrayPath path;
    const ArrayPath* measured = nullptr;
    if (settings.fit != kArrayFitOff)
      if (const Data* link = array_.parameters().find(kArrayPath))
        if (Node* n = document_.findLive(link->getLink()); n && n->isObject())
          if (measurePath(*static_cast<Object*>(n), path)) measured = &path;
    return layoutCopies(settings, state_.extentHigh - state_.extentLow, measured);
  }

  Object* copyAt(size_t i) const {
    Node* n = document_.findLive(state_.copies[i]);
    if (!n || !n->isObject()) return nullptr;
    auto* o = static_cast<Object*>(n);
    return o->parent() == &array_ && o->role() == ObjectRole::arrayCopy ? o : nullptr;
  }

  // Takes away copies i.. (and forgets their materials).
  void dropFrom(size_t first) {
    while (state_.copies.size() > first) {
      if (Object* copy = copyAt(state_.copies.size() - 1)) {
        document_.setMaterial(*copy, nullptr);
        document_.destroy(copy);
      }
      state_.copies.pop_back();
    }
  }

  // A new copy: the source as a whole value (its geometry and whatever the
  // mesh carries, its parameters and modes), its tags, and a copy of every
  // deformer, inserted as the array's last child. Null when the module
  // cannot copy one of its nodes.
  Object* makeCopy(const Object& source, const std::vector<Object*>& deformers, int32_t i) {
    std::unique_ptr<Object> copy = source.cloneAlone();
    if (!copy) return nullptr;
    copy->setName(source.name() + "." + std::to_string(i));
    copy->setRole(ObjectRole::arrayCopy);
    for (const Tag* t = source.firstTag(); t; t = static_cast<const Tag*>(t->next())) {
      std::unique_ptr<Tag> tag = t->clone();
      if (!tag) return nullptr;
      copy->attachTag(std::move(tag));
    }
    if (!copy->findTag(kNumberTagType))
      if (std::unique_ptr<Tag> tag = Tag::create(kNumberTagType)) copy->attachTag(std::move(tag));
    for (const Object* d : deformers) {
      std::unique_ptr<Object> clone = d->cloneAlone();
      if (!clone) return nullptr;
      clone->setRole(ObjectRole::arrayCopyDeformer);
      copy->adoptFreeChild(clone.release());
    }
    return document_.insert(std::move(copy), &array_);
  }

  void number(Object& copy, bool sourceTagged, int32_t sourceIndex, int32_t sourceCount, int32_t i, int32_t n) {
    Tag* tag = copy.findTag(kNumberTagType);
    if (!tag) return;
    const CopyNumber want = copyNumber(sourceTagged, sourceIndex, sourceCount, i, n);
    Container& c = tag->parameters();
    const Data* index = c.find(kNumberTagIndex);
    const Data* count = c.find(kNumberTagCount);
    if (index && count && index->getLong() == want.index && count->getLong() == want.count) return;
    c.set(kNumberTagIndex).setLong(want.index);
    c.set(kNumberTagCount).setLong(want.count);
    c.touched();
    // The tag is the copy's data: the copy is evaluated again.
    copy.markChanged(KH_DIRTY_DATA);
  }

  // The copy's deformers sit where the deformers they copy sit: the source's
  // own relative to the copy as they were relative to the source, the
  // array's where they are in the array's space. Edited parameters and the
  // modes are copied over.
  void syncDeformers(Object& copy, const std::vector<Object*>& deformers, const std::vector<Edit>& edits, bool fresh) {
    Object* clone = copy.firstChild();
    KhMatrix toCopy;
    bool inverted = false;
    for (size_t k = 0; k < deformers.size() && clone; ++k, clone = clone->nextObject()) {
      const Object& d = *deformers[k];
      KhMatrix want = d.localMatrix();
      if (d.parent() == &array_) {
        if (!inverted) toCopy = invert(copy.localMatrix());
        inverted = true;
        want = multiply(toCopy, want);
      }
      if (!sameMatrix(clone->localMatrix(), want)) clone->setLocalMatrix(want);
      const Edit& e = edits[k];
      if (fresh || !e.changed) continue;
      // setMode marks the copy changed when a mode differs.
      for (int32_t kind = 0; kind < 3; ++kind) clone->setMode(kind, d.mode(kind));
      if (!e.whole && e.entries.empty()) continue;
      Container& c = clone->parameters();
      if (e.whole) {
        c = d.parameters();
      } else {
        for (int32_t key : e.entries) c.set(key) = *d.parameters().find(key);
      }
      clone->markChanged(KH_DIRTY_DATA);
    }
  }

  Document& document_;
  Object& array_;
  ArrayCopies& state_;
};

// Entries a copy's deformer holds with another value than the deformer it
// copies: numbers and vectors, which is what a run writes back.
void returnReadOuts(const Container& from, Container& to) {
  for (int32_t key : from.keys()) {
    const Data* source = from.find(key);
    Data* target = to.find(key);
    if (!source || !target || source->value.index() != target->value.index()) continue;
    if (const auto* v = std::get_if<int32_t>(&source->value)) {
      if (*v != std::get<int32_t>(target->value)) target->value = *v;
    } else if (const auto* r = std::get_if<float>(&source->value)) {
      if (std::memcmp(r, &std::get<float>(target->value), sizeof *r) != 0) target->value = *r;
    } else if (const auto* w = std::get_if<KhVector>(&source->value)) {
      if (std::memcmp(w, &std::get<KhVector>(target->value), sizeof *w) != 0) target->value = *w;
    }
  }
}

std::vector<Object*> arraysOf(const Document& document) {
  std::vector<Object*> out;
  for (uint64_t serial : document.arrays())
    if (Node* n = document.findLive(serial); n && n->isObject()) out.push_back(static_cast<Object*>(n));
  return out;
}

}  // namespace

void updateArrays(Document& document) {
  for (Object* a : arraysOf(document)) ArrayUpdate(document, *a).run();
}

void returnArrayReadOuts(Document& document) {
  for (Object* a : arraysOf(document)) {
    ArrayCopies& state = a->arrayCopies();
    Node* first = state.copies.empty() ? nullptr : document.findLive(state.copies.front());
    Object* clone = first && first->isObject() ? static_cast<Object*>(first)->firstChild() : nullptr;
    for (size_t k = 0; k < state.deformers.size(); ++k) {
      Node* n = document.findLive(state.deformers[k]);
      if (!n || !n->isObject()) continue;
      auto* d = static_cast<Object*>(n);
      if (clone) {
        returnReadOuts(clone->parameters(), d->parameters());
        clone = clone->nextObject();
      }
      // What the deformer's own change detection marked during this
      // evaluation is in the copies already: only later edits are copied.
      state.deformerStamps[k] = d->dirtyCounter(KH_DIRTY_DATA);
    }
  }
}

}  // namespace kurvo::host
