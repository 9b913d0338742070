#include "fake_host.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "host_table.h"

namespace fake {
namespace {

State* g_state = nullptr;

std::string*& S(KhStringValue* s) { return reinterpret_cast<std::string*&>(s->impl); }
const std::string& CS(const KhStringValue* s) { return *static_cast<const std::string*>(s->impl); }
std::string*& F(KhFilenameValue* f) { return reinterpret_cast<std::string*&>(f->impl); }
const std::string& CF(const KhFilenameValue* f) { return *static_cast<const std::string*>(f->impl); }
Value*& D(KhDataValue* d) { return reinterpret_cast<Value*&>(d->impl); }
const Value& CD(const KhDataValue* d) { return *static_cast<const Value*>(d->impl); }
Container*& C(KhContainerValue* c) { return reinterpret_cast<Container*&>(c->impl); }
const Container& CC(const KhContainerValue* c) { return *static_cast<const Container*>(c->impl); }
Node* N(const void* n) { return const_cast<Node*>(static_cast<const Node*>(n)); }

// Blocks carry a 16-byte prefix of the fake's own, so a peek in front of a
// block never leaves memory the fake owns.
void* Alloc(int64_t size, int32_t, const char*) {
  State& st = *g_state;
  ++st.alloc_calls;
  st.alloc_sizes.push_back(size);
  if (st.fail_alloc) return nullptr;
  auto* raw = static_cast<unsigned char*>(std::calloc(1, static_cast<size_t>(size) + 16));
  return raw ? raw + 16 : nullptr;
}
void Free(void* block) {
  if (!block) return;
  ++g_state->free_calls;
  std::free(static_cast<unsigned char*>(block) - 16);
}

void ValueFree(KhDataValue* d) {
  delete D(d);
  D(d) = nullptr;
}
void ValueInit(KhDataValue* d) { D(d) = new Value(); }
void ValueCopy(KhDataValue* dst, const KhDataValue* src) { D(dst) = new Value(CD(src)); }

Container* NewContainer(int32_t id) {
  auto* c = new Container();
  c->id = id;
  return c;
}
void ContainerFree(KhContainerValue* bc) {
  if (!bc->impl) return;
  for (auto& [id, v] : C(bc)->entries) ValueFree(&v);
  delete C(bc);
  bc->impl = nullptr;
}
void ContainerCopy(KhContainerValue* dst, const KhContainerValue* src) {
  Container* c = NewContainer(CC(src).id);
  for (const auto& [id, v] : CC(src).entries) ValueCopy(&c->entries[id], &v);
  dst->impl = c;
}
Value& Entry(KhContainerValue* bc, int32_t id) {
  auto& entries = C(bc)->entries;
  auto it = entries.find(id);
  if (it == entries.end()) {
    ValueInit(&entries[id]);
    it = entries.find(id);
  } else {
    *D(&it->second) = Value();
  }
  return *D(&it->second);
}
const Value* Find(const KhContainerValue* bc, int32_t id) {
  const auto& entries = CC(bc).entries;
  auto it = entries.find(id);
  return it == entries.end() ? nullptr : &CD(&it->second);
}

const KhStringValue kSharedEmpty{new std::string()};

KhGeneralFamily general = {
    Alloc,
    Free,
    [](const KhStringValue* text) { g_state->printed.push_back(CS(text)); },
    [](const KhStringValue* address) { g_state->opened.push_back(CS(address)); },
    [](int32_t api, int32_t type, int32_t id, const KhStringValue* name, const void* record, int32_t size) -> int32_t {
      if (g_state->refuse_registration || !record) return 0;
      Registered r{api, type, id, CS(name), {}};
      r.record.assign(static_cast<const unsigned char*>(record), static_cast<const unsigned char*>(record) + size);
      g_state->registered.push_back(std::move(r));
      return 1;
    },
    [](int32_t id, int32_t type, void* data) -> int32_t {
      if (type != KH_REGISTRYTYPE_LIBRARY || g_state->registry.count(id)) return 0;
      g_state->registry[id] = data;
      return 1;
    },
    [](int32_t id, int32_t type) -> KhRegistry* {
      ++g_state->registry_find_calls;
      auto it = g_state->registry.find(id);
      if (type != KH_REGISTRYTYPE_LIBRARY || it == g_state->registry.end()) return nullptr;
      return reinterpret_cast<KhRegistry*>(&it->second);
    },
    [](KhRegistry* entry) -> void* { return entry ? *reinterpret_cast<void**>(entry) : nullptr; },
    [](int32_t id, int32_t type) -> const void* {
      for (const auto& r : g_state->registered)
        if (r.id == id && r.type == type) return r.record.data();
      return nullptr;
    },
    [](int32_t, KhModelingCommandData*) -> int32_t { return 1; },
    [](void*) {},
};

KhContainerFamily container = {
    [](KhContainerValue* bc, int32_t id) { bc->impl = NewContainer(id); },
    ContainerFree,
    ContainerCopy,
    [](KhContainerValue* dst, const KhContainerValue* src) {
      KhContainerValue copy;
      ContainerCopy(&copy, src);
      ContainerFree(dst);
      *dst = copy;
    },
    [](const KhContainerValue* bc) { return CC(bc).id; },
    [](KhContainerValue* bc, int32_t id) { C(bc)->id = id; },
    [](const KhContainerValue* bc, int32_t id) -> int32_t {
      const auto& e = CC(bc).entries;
      auto it = e.find(id);
      return it == e.end() ? -1 : static_cast<int32_t>(std::distance(e.begin(), it));
    },
    [](const KhContainerValue* bc, int32_t id) -> int32_t {
      const Value* v = Find(bc, id);
      return v ? (v->type == KH_DA_REAL ? static_cast<int32_t>(v->r) : v->l) : 0;
    },
    [](const KhContainerValue* bc, int32_t id) -> float {
      const Value* v = Find(bc, id);
      return v ? (v->type == KH_DA_LONG ? static_cast<float>(v->l) : v->r) : 0.0f;
    },
    [](const KhContainerValue* bc, int32_t id, KhVector* out) {
      const Value* v = Find(bc, id);
      *out = v ? v->v : KhVector{0, 0, 0};
    },
    [](const KhContainerValue* bc, int32_t id, KhMatrix* out) {
      const Value* v = Find(bc, id);
      *out = v ? v->m : KhMatrix{};
    },
    [](const KhContainerValue* bc, int32_t id, KhStringValue* out) {
      const Value* v = Find(bc, id);
      out->impl = new std::string(v ? v->s : std::string());
    },
    [](const KhContainerValue* bc, int32_t id) -> const KhDataValue* {
      const auto& e = CC(bc).entries;
      auto it = e.find(id);
      return it == e.end() ? nullptr : &it->second;
    },
    [](const KhContainerValue* bc, int32_t id, KhDocument* doc, int32_t type) -> KhNode* {
      g_state->link_type = type;
      g_state->link_doc = doc;
      const Value* v = Find(bc, id);
      if (!v || !v->link || N(v->link)->doc != doc) return nullptr;
      return v->link;
    },
    [](KhContainerValue*, int32_t) -> KhContainerValue* { return nullptr; },
    [](KhContainerValue* bc, int32_t id, int32_t v) {
      Value& e = Entry(bc, id);
      e.type = KH_DA_LONG;
      e.l = v;
    },
    [](KhContainerValue* bc, int32_t id, float v) {
      Value& e = Entry(bc, id);
      e.type = KH_DA_REAL;
      e.r = v;
    },
    [](KhContainerValue* bc, int32_t id, const KhVector* v) {
      Value& e = Entry(bc, id);
      e.type = KH_DA_VECTOR;
      e.v = *v;
    },
    [](KhContainerValue* bc, int32_t id, const KhMatrix* v) {
      Value& e = Entry(bc, id);
      e.type = KH_DA_MATRIX;
      e.m = *v;
    },
    [](KhContainerValue* bc, int32_t id, const KhStringValue* v) {
      Value& e = Entry(bc, id);
      e.type = KH_DA_STRING;
      e.s = CS(v);
    },
    [](KhContainerValue* bc, int32_t id, const KhDataValue* v) { Entry(bc, id) = CD(v); },
    [](KhContainerValue* bc, int32_t id, KhNode* node) {
      Value& e = Entry(bc, id);
      e.type = KH_DA_LINK;
      e.link = node;
    },
    [](KhContainerValue*, int32_t, const KhContainerValue*) {},
    [](KhContainerValue* bc, int32_t id) -> int32_t {
      auto& e = C(bc)->entries;
      auto it = e.find(id);
      if (it == e.end()) return 0;
      ValueFree(&it->second);
      e.erase(it);
      return 1;
    },
    [](const KhContainerValue* bc) { return static_cast<int32_t>(CC(bc).entries.size()); },
};

KhStringFamily strings = {
    &kSharedEmpty,
    [](KhStringValue* s) { S(s) = new std::string(); },
    [](KhStringValue* s, const char* text) { S(s) = new std::string(text ? text : ""); },
    [](KhStringValue* dst, const KhStringValue* src) { S(dst) = new std::string(CS(src)); },
    [](KhStringValue* dst, const KhStringValue* src) { *S(dst) = CS(src); },
    [](KhStringValue* s) {
      delete S(s);
      S(s) = nullptr;
    },
    [](const KhStringValue* s) -> int32_t { return !CS(s).empty(); },
    [](const KhStringValue* s) { return static_cast<int32_t>(CS(s).size()); },
    [](const KhStringValue* s, char* buf, int32_t size) -> int32_t {
      const std::string& t = CS(s);
      if (size > 0) {
        const size_t n = std::min(t.size(), static_cast<size_t>(size - 1));
        std::memcpy(buf, t.data(), n);
        buf[n] = 0;
      }
      return static_cast<int32_t>(t.size());
    },
    [](KhStringValue* dst, const KhStringValue* add) { *S(dst) += CS(add); },
    [](const KhStringValue* a, const KhStringValue* b) -> int32_t { return CS(a) == CS(b); },
};

KhFilenameFamily filenames = {
    [](KhFilenameValue* f) { F(f) = new std::string(); },
    [](KhFilenameValue* dst, const KhFilenameValue* src) { F(dst) = new std::string(CF(src)); },
    [](KhFilenameValue* dst, const KhFilenameValue* src) { *F(dst) = CF(src); },
    [](KhFilenameValue* f) {
      delete F(f);
      F(f) = nullptr;
    },
    [](KhFilenameValue* f, const KhStringValue* text) { *F(f) = CS(text); },
    [](const KhFilenameValue* f, KhStringValue* out) { out->impl = new std::string(CF(f)); },
    [](const KhFilenameValue* f, KhFilenameValue* out) {
      const std::string& p = CF(f);
      const size_t slash = p.rfind('/');
      out->impl = new std::string(slash == std::string::npos ? std::string() : p.substr(0, slash));
    },
    [](const KhFilenameValue* f, KhFilenameValue* out) {
      const std::string& p = CF(f);
      const size_t slash = p.rfind('/');
      out->impl = new std::string(slash == std::string::npos ? p : p.substr(slash + 1));
    },
    [](KhFilenameValue* f, const KhFilenameValue* component) {
      std::string& p = *F(f);
      if (!p.empty()) p += '/';
      p += CF(component);
    },
    [](const KhFilenameValue* f) -> int32_t { return !CF(f).empty(); },
};

struct FakeBitmap {
  int32_t w = 0, h = 0;
};

KhBitmapFamily bitmaps = {
    []() -> KhBitmap* { return reinterpret_cast<KhBitmap*>(new FakeBitmap()); },
    [](KhBitmap* b) { delete reinterpret_cast<FakeBitmap*>(b); },
    [](KhBitmap* b, const KhFilenameValue* name, int32_t) -> int32_t {
      g_state->image_requests.push_back(CF(name));
      const auto& files = g_state->existing_images;
      if (std::find(files.begin(), files.end(), CF(name)) == files.end()) return KH_IMAGE_NOTEXISTING;
      reinterpret_cast<FakeBitmap*>(b)->w = 256;
      reinterpret_cast<FakeBitmap*>(b)->h = 32;
      return KH_IMAGE_OK;
    },
    [](KhBitmap* b, int32_t w, int32_t h) -> int32_t {
      reinterpret_cast<FakeBitmap*>(b)->w = w;
      reinterpret_cast<FakeBitmap*>(b)->h = h;
      return KH_IMAGE_OK;
    },
    [](const KhBitmap* b) { return reinterpret_cast<const FakeBitmap*>(b)->w; },
    [](const KhBitmap* b) { return reinterpret_cast<const FakeBitmap*>(b)->h; },
    [](const KhBitmap*, int32_t, int32_t, int32_t* r, int32_t* g, int32_t* b) { *r = *g = *b = 0; },
    [](KhBitmap*, int32_t, int32_t, int32_t, int32_t, int32_t) {},
};

Dialog* Dlg(KhDialog* d) { return reinterpret_cast<Dialog*>(d); }
UserArea* Area(KhUserArea* a) { return reinterpret_cast<UserArea*>(a); }

KhDialogFamily dialogs = {
    [](KhDialogCallback cb, void* user, const void* plugin) -> KhDialog* {
      g_state->dialogs.push_back(std::make_unique<Dialog>(Dialog{cb, user, plugin}));
      return reinterpret_cast<KhDialog*>(g_state->dialogs.back().get());
    },
    [](KhDialog*) { ++g_state->destroyed_dialogs; },
    [](KhDialog* d) -> void* { return d ? Dlg(d)->user_object : nullptr; },
    [](KhDialog*, const KhContainerValue* result) {
      ++g_state->message_results;
      g_state->last_result_id = CC(result).id;
    },
    [](KhDialog*, int32_t, int32_t, int32_t, int32_t, const KhStringValue*, int32_t) -> int32_t { return 1; },
    [](KhDialog*) -> int32_t { return 1; },
    [](KhDialog*, int32_t) -> int32_t { return 1; },
    [](KhDialog*, int32_t, int32_t, int32_t, int32_t) -> int32_t { return 1; },
    [](KhDialog*, int32_t id, int32_t, int32_t, int32_t) -> KhGadget* {
      return reinterpret_cast<KhGadget*>(static_cast<intptr_t>(id));
    },
    [](KhDialog*, int32_t id, void* object, int32_t, KhGadget* gadget) -> KhUserArea* {
      const int32_t gid = gadget ? static_cast<int32_t>(reinterpret_cast<intptr_t>(gadget)) : id;
      g_state->areas.push_back(std::make_unique<UserArea>(UserArea{object, gid}));
      return reinterpret_cast<KhUserArea*>(g_state->areas.back().get());
    },
    [](KhDialog*, int32_t) {},
    [](KhDialog*, int32_t, const KhContainerValue*, KhContainerValue* answer) -> int32_t {
      answer->impl = NewContainer(-1);
      return 1;
    },
    [](KhDialog*, int32_t) -> int32_t { return 1; },
    [](KhDialog*) {},
};

KhUserAreaFamily user_areas = {
    [](KhUserArea*) { ++g_state->freed_areas; },
    [](KhUserArea* a) -> void* { return a ? Area(a)->object : nullptr; },
    [](KhUserArea* a) { return Area(a)->id; },
    [](KhUserArea* a) { return Area(a)->width; },
    [](KhUserArea* a) { return Area(a)->height; },
    [](KhUserArea* a, int32_t w, int32_t h) {
      Area(a)->min_w = w;
      Area(a)->min_h = h;
    },
    [](KhUserArea*, const KhVector*) {},
    [](KhUserArea*, int32_t, int32_t, int32_t, int32_t) {},
    [](KhUserArea*, KhBitmap*, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t) {},
    [](KhUserArea*) {},
    [](KhUserArea*, int32_t) {},
    [](KhUserArea*, int32_t, int32_t, KhContainerValue*) -> int32_t { return 0; },
    [](KhUserArea*, int32_t*, int32_t*) {},
    [](KhUserArea*, const KhContainerValue*) -> int32_t { return 1; },
};

struct FakeResource {
  int unused;
};

KhResourceFamily resources = {
    [](const KhFilenameValue* dir) -> KhResource* {
      ++g_state->resource_loads;
      g_state->resource_dir = CF(dir);
      if (g_state->resource_missing) return nullptr;
      return reinterpret_cast<KhResource*>(new FakeResource());
    },
    [](KhResource* res) { delete reinterpret_cast<FakeResource*>(res); },
    [](KhResource*, int32_t id) -> const KhStringValue* {
      // The string stays owned by the fake: it points into the state's table.
      static std::map<int32_t, KhStringValue> loaded;
      auto it = g_state->strings.find(id);
      if (it == g_state->strings.end()) return &kSharedEmpty;
      KhStringValue& v = loaded[id];
      v.impl = &it->second;
      return &v;
    },
};

KhListNodeFamily list_nodes = {
    [](KhNode* node) -> KhContainerValue* { return &N(node)->data; },
    [](KhNode*) {},
    [](const KhNode* node) { return N(node)->type; },
    [](KhNode* node) { return N(node)->doc; },
};

Node* Sibling(Node* n, int step) {
  if (!n->up) return nullptr;
  auto& c = n->up->children;
  auto it = std::find(c.begin(), c.end(), n);
  const auto pos = (it - c.begin()) + step;
  if (pos < 0 || pos >= static_cast<long>(c.size())) return nullptr;
  return c[static_cast<size_t>(pos)];
}

KhNodeMemberFamily members = {
    [](KhNode* n) { return AsNode(Sibling(N(n), 1)); },
    [](KhNode* n) { return AsNode(Sibling(N(n), -1)); },
    [](KhNode* n) { return N(n)->children.empty() ? nullptr : AsNode(N(n)->children.front()); },
    [](KhNode* n) { return AsNode(N(n)->up); },
    [](KhNode*, int32_t, void*) -> int32_t { return 1; },
    [](KhNode* n, KhStringValue* out) { out->impl = new std::string(N(n)->name); },
    [](KhNode* n, const KhStringValue* name) { N(n)->name = CS(name); },
    [](KhNode*, int32_t) -> int32_t { return 0; },
    [](KhNode*, int32_t, int32_t) {},
    [](KhNode* n, KhNode* parent) { AddChild(N(parent), N(n)); },
    [](KhNode* n) {
      Node* node = N(n);
      if (!node->up) return;
      auto& c = node->up->children;
      c.erase(std::find(c.begin(), c.end(), node));
      node->up = nullptr;
    },
};

KhObjectFamily objects = {
    [](int32_t type) -> KhObject* {
      if (g_state->fail_alloc) return nullptr;
      return AsObject(NewNode(type));
    },
    [](KhObject* op, int32_t kind, int32_t mode) {
      if (kind == KH_MODE_KIND_DEFORM) N(op)->mode_deform = mode;
    },
    [](KhObject* op, int32_t kind) -> int32_t { return kind == KH_MODE_KIND_DEFORM ? N(op)->mode_deform : 0; },
    [](KhObject*, int32_t flags) -> int32_t { return (flags & KH_DIRTY_DATA) && g_state->data_dirty; },
    [](KhObject*, int32_t) -> uint32_t { return 0; },
    [](KhObject*, int32_t) {},
    [](KhObject*, KhMatrix* out) { *out = KhMatrix{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}}; },
    [](KhObject*, KhMatrix* out) { *out = KhMatrix{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}}; },
    [](KhObject*, KhVector* out) { *out = KhVector{0, 0, 0}; },
    [](KhObject*, KhVector* out) { *out = KhVector{0, 0, 0}; },
    [](KhObject*) -> KhVector* { return nullptr; },
    [](KhObject*) -> int32_t { return 0; },
    [](KhObject*, int32_t, int32_t) -> KhNode* { return nullptr; },
    [](KhObject*, KhObject*) -> float* { return nullptr; },
    [](KhObject*) -> KhObject* { return nullptr; },
    [](KhObject*, float, int32_t, const KhVector*, KhVector* out) { *out = KhVector{0, 0, 0}; },
    [](KhObject*, float, int32_t, const KhVector*, KhVector* out) { *out = KhVector{0, 0, 1}; },
    [](KhObject*, int32_t, const KhVector*) -> int32_t { return 1; },
    [](KhObject*) {},
    [](KhObject*, float u) { return u; },
    [](KhObject*) { return 0.0f; },
    [](KhObject*, KhHierarchyHelp*) -> int32_t { return g_state->cache_dirty; },
    [](KhObject*, KhHierarchyHelp*) -> KhObject* { return g_state->cache; },
    [](KhObject*) { ++g_state->new_dependence; },
    [](KhObject*) -> int32_t { return !g_state->deps_differ; },
    [](KhObject*) { ++g_state->touched; },
    [](KhObject*, KhHierarchyHelp*, KhObject* child, int32_t, int32_t* dirty, KhAliasTrans*) -> KhObject* {
      if (dirty) return nullptr;  // a checking pass clones nothing
      ++g_state->clones;
      return AsObject(NewNode(N(child)->type, N(child)->name + " clone"));
    },
};

KhThreadFamily threads = {[](KhThread*) -> int32_t { return 0; }};
KhDrawFamily draws = {[](KhDraw*, const KhVector*) {}, [](KhDraw*, const KhVector*, const KhVector*) {}};

KhDataFamily data = {
    ValueInit,
    ValueCopy,
    [](KhDataValue* dst, const KhDataValue* src) { *D(dst) = CD(src); },
    ValueFree,
    [](const KhDataValue* d) { return CD(d).type; },
    [](KhDataValue* d, int32_t v) {
      *D(d) = Value();
      D(d)->type = KH_DA_LONG;
      D(d)->l = v;
    },
    [](KhDataValue* d, float v) {
      *D(d) = Value();
      D(d)->type = KH_DA_REAL;
      D(d)->r = v;
    },
    [](KhDataValue* d, const KhVector* v) {
      *D(d) = Value();
      D(d)->type = KH_DA_VECTOR;
      D(d)->v = *v;
    },
    [](KhDataValue* d, const KhStringValue* v) {
      *D(d) = Value();
      D(d)->type = KH_DA_STRING;
      D(d)->s = CS(v);
    },
    [](KhDataValue* d, const KhFilenameValue* v) {
      *D(d) = Value();
      D(d)->type = KH_DA_FILENAME;
      D(d)->s = CF(v);
    },
    [](const KhDataValue* d) { return CD(d).l; },
    [](const KhDataValue* d) { return CD(d).r; },
    [](const KhDataValue* d, KhVector* out) { *out = CD(d).v; },
    [](const KhDataValue* d, KhStringValue* out) { out->impl = new std::string(CD(d).s); },
    [](const KhDataValue* d, KhFilenameValue* out) { out->impl = new std::string(CD(d).s); },
    [](KhDataValue* d, int32_t type) -> int32_t {
      *D(d) = Value();
      D(d)->type = type;
      D(d)->custom = std::make_shared<int32_t>(0);
      return 1;
    },
    [](KhDataValue* d, int32_t type, const KhCustomData* custom) -> int32_t {
      *D(d) = Value();
      D(d)->type = type;
      D(d)->custom = std::make_shared<int32_t>(*reinterpret_cast<const int32_t*>(custom));
      return 1;
    },
    [](const KhDataValue* d, int32_t type) -> KhCustomData* {
      const Value& v = CD(d);
      return v.type == type && v.custom ? reinterpret_cast<KhCustomData*>(v.custom.get()) : nullptr;
    },
};

KhHostTable MakeTable(int32_t version) {
  KhHostTable t{};
  t.version = version;
  t.general = &general;
  t.container = &container;
  t.string = &strings;
  t.bitmap = &bitmaps;
  t.filename = &filenames;
  t.dialog = &dialogs;
  t.user_area = &user_areas;
  t.resource = &resources;
  t.list_node = &list_nodes;
  t.object = &objects;
  t.thread = &threads;
  t.draw = &draws;
  t.data = &data;
  t.node_member = &members;
  return t;
}

KhHostTable g_table;

}  // namespace

Node::~Node() { ContainerFree(&data); }

State& state() { return *g_state; }

const KhHostTable* Table(int32_t version) {
  delete g_state;
  g_state = new State();
  g_table = MakeTable(version);
  return &g_table;
}

const KhHostTable* Install(int32_t version) {
  const KhHostTable* t = Table(version);
  InitOS(t);
  return t;
}

Node* NewNode(int32_t type, const std::string& name) {
  auto node = std::make_unique<Node>();
  node->type = type;
  node->name = name;
  container.init(&node->data, -1);
  g_state->nodes.push_back(std::move(node));
  return g_state->nodes.back().get();
}

void AddChild(Node* parent, Node* child) {
  child->up = parent;
  parent->children.push_back(child);
}

std::string Text(const KhStringValue* s) { return CS(s); }
std::string Text(const KhFilenameValue* f) { return CF(f); }

int32_t Send(KhDialog* dialog, KhUserArea* area, int32_t id, const std::map<int32_t, int32_t>& longs) {
  KhContainerValue msg;
  container.init(&msg, id);
  for (const auto& [key, value] : longs) container.set_long(&msg, key, value);
  KhDialogCallback cb = Dlg(dialog)->callback;
  const int32_t answer = cb(dialog, area, &msg);
  ContainerFree(&msg);
  return answer;
}

}  // namespace fake
