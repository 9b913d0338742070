// A small in-process stand-in for the host's function table, for driving the
// module's side of the boundary in tests. It keeps just enough state to answer
// every family the layer calls, counts calls, and can be told to fail.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "abi/kh_host_table.h"

namespace fake {

// A value as the fake keeps it (behind GeData, container entries).
struct Value {
  int32_t type = KH_DA_NIL;
  int32_t l = 0;
  float r = 0.0f;
  KhVector v{0, 0, 0};
  KhMatrix m{};
  std::string s;
  KhNode* link = nullptr;
  std::shared_ptr<int32_t> custom;  // custom data: its knot count
};

struct Container {
  int32_t id = -1;
  std::map<int32_t, KhDataValue> entries;  // impl -> Value
};

// A scene node of the fake.
struct Node {
  int32_t type = KH_TYPE_NULL;
  std::string name;
  KhContainerValue data{nullptr};
  Node* up = nullptr;
  std::vector<Node*> children;
  KhDocument* doc = nullptr;
  int32_t mode_deform = 0;
  Node() = default;
  Node(const Node&) = delete;
  ~Node();  // releases the parameter container
};

struct Registered {
  int32_t api_version;
  int32_t type;
  int32_t id;
  std::string name;
  std::vector<unsigned char> record;
  template <typename T>
  const T& As() const { return *reinterpret_cast<const T*>(record.data()); }
};

struct Dialog {
  KhDialogCallback callback;
  void* user_object;
  const void* plugin;
};

struct UserArea {
  void* object;
  int32_t id;
  int32_t width = 0, height = 0;
  int32_t min_w = -1, min_h = -1;
};

// Everything the fake remembers; reset by Install().
struct State {
  // memory
  int alloc_calls = 0, free_calls = 0;
  bool fail_alloc = false;
  std::vector<int64_t> alloc_sizes;
  // console and web
  std::vector<std::string> printed, opened;
  // plug-ins and registry
  std::vector<Registered> registered;
  std::map<int32_t, void*> registry;  // libraries by id
  int registry_find_calls = 0;
  bool refuse_registration = false;
  // resources
  int resource_loads = 0;
  bool resource_missing = false;
  std::string resource_dir;
  std::map<int32_t, std::string> strings;
  // bitmaps: files that "exist"
  std::vector<std::string> existing_images;
  std::vector<std::string> image_requests;
  // links: last get_link call
  int32_t link_type = 0;
  KhDocument* link_doc = nullptr;
  // dialogs
  std::vector<std::unique_ptr<Dialog>> dialogs;
  std::vector<std::unique_ptr<UserArea>> areas;
  int message_results = 0;
  int32_t last_result_id = 0;
  int destroyed_dialogs = 0, freed_areas = 0;
  // objects
  std::vector<std::unique_ptr<Node>> nodes;
  bool cache_dirty = false, data_dirty = false, deps_differ = false;
  KhObject* cache = nullptr;
  int clones = 0, new_dependence = 0, touched = 0;
};

State& state();

// Installs a fresh fake as the module's host table (InitOS) and answers it.
const KhHostTable* Install(int32_t version = KH_HOST_VERSION);
const KhHostTable* Table(int32_t version = KH_HOST_VERSION);

// Scene helpers.
Node* NewNode(int32_t type, const std::string& name = "");
void AddChild(Node* parent, Node* child);
inline KhNode* AsNode(Node* n) { return reinterpret_cast<KhNode*>(n); }
inline KhObject* AsObject(Node* n) { return reinterpret_cast<KhObject*>(n); }

// Text of a string / file name value.
std::string Text(const KhStringValue* s);
std::string Text(const KhFilenameValue* f);

// Sends a message with `id` (and long entries) to a dialog or area through the
// callback the module gave at create; answers the callback's result.
int32_t Send(KhDialog* dialog, KhUserArea* area, int32_t id, const std::map<int32_t, int32_t>& longs = {});

}  // namespace fake
