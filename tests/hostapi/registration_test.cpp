#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <stdexcept>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "fake_host.h"
#include "kurvo_api.h"
#include "test_libraries.h"

namespace {

struct Probe : ObjectData {
  static inline int inits = 0, destroyed = 0;
  static NodeData* Alloc() { return gNew<Probe>(); }
  Bool Init(GeListNode*) override {
    ++inits;
    return true;
  }
  ~Probe() override { ++destroyed; }
};

struct Thrower : TagData {
  static NodeData* Alloc() { return gNew<Thrower>(); }
  Bool Init(GeListNode*) override { throw std::runtime_error("no"); }
};

struct Plain : ShaderData {
  static NodeData* Alloc() { return gNew<Plain>(); }
};

class Registration : public ::testing::Test {
 protected:
  void SetUp() override {
    fake::Install();
    testlib::InstallAll();
    path_storage = new (std::nothrow) Filename("/plug/Kurvo2.so");
  }
  void TearDown() override {
    delete path_storage;
    path_storage = nullptr;
  }
  const fake::Registered& Only() {
    EXPECT_EQ(fake::state().registered.size(), 1u);
    return fake::state().registered.front();
  }
};

TEST_F(Registration, ObjectRecordCarriesOptionalEntriesByInfoBits) {
  ASSERT_TRUE(RegisterObjectPlugin(1024244, "Kurvo2", 1, Probe::Alloc, "", 0));
  const auto& r = Only();
  EXPECT_EQ(r.api_version, KURVO_MIN_HOST_VERSION);
  EXPECT_EQ(r.type, KH_PLUGINTYPE_OBJECT);
  EXPECT_EQ(r.id, 1024244);
  EXPECT_EQ(r.name, "Kurvo2");
  ASSERT_EQ(r.record.size(), sizeof(KhObjectPlugin));
  const auto& rec = r.As<KhObjectPlugin>();
  EXPECT_NE(rec.modify_object, nullptr);
  EXPECT_EQ(rec.get_virtual_objects, nullptr);
  EXPECT_EQ(rec.get_contour, nullptr);
  EXPECT_EQ(rec.modify_particles, nullptr);
  EXPECT_NE(rec.check_dirty, nullptr);
  EXPECT_NE(rec.draw, nullptr);
  EXPECT_NE(rec.get_dimension, nullptr);
  EXPECT_EQ(rec.node.info, 1);
  EXPECT_TRUE(testlib::description_calls().ids.empty());

  fake::state().registered.clear();
  ASSERT_TRUE(RegisterObjectPlugin(2, "All", 0x1 | 0x4 | 0x20 | 0x80, Probe::Alloc, "", 0));
  const auto& all = Only().As<KhObjectPlugin>();
  EXPECT_NE(all.get_virtual_objects, nullptr);
  EXPECT_NE(all.get_contour, nullptr);
  EXPECT_NE(all.modify_particles, nullptr);
}

TEST_F(Registration, RecordEntriesReachTheObjectAndItsDefaults) {
  ASSERT_TRUE(RegisterObjectPlugin(1024244, "Kurvo2", 13, Probe::Alloc, "", 0));
  const auto rec = Only().As<KhObjectPlugin>();
  KhNodeData* data = rec.node.alloc();
  ASSERT_NE(data, nullptr);
  Probe::inits = 0;
  EXPECT_EQ(rec.node.init(data, nullptr), 1);
  EXPECT_EQ(Probe::inits, 1);
  EXPECT_EQ(rec.node.message(data, nullptr, 5, nullptr), 1);
  EXPECT_EQ(rec.get_virtual_objects(data, nullptr, nullptr), nullptr);
  const KhMatrix identity{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  fake::Node* op = fake::NewNode(KH_TYPE_POLYGON);
  EXPECT_EQ(rec.modify_object(data, fake::AsObject(op), nullptr, fake::AsObject(op), &identity, &identity, 0, 0,
                              nullptr),
            1);
  EXPECT_EQ(rec.detect_handle(data, nullptr, nullptr, 0, 0, 0), -1);
  EXPECT_EQ(rec.node.init(nullptr, nullptr), 0);  // no object: failure answer

  Probe::destroyed = 0;
  rec.node.destructor(data);
  EXPECT_EQ(Probe::destroyed, 1);
  fake::state().free_calls = 0;
  t_HostOS->general->free(data);  // as the host does after the adaptor
  EXPECT_EQ(fake::state().free_calls, 1);
}

TEST_F(Registration, ExceptionsBecomeTheEntrysFailureAnswer) {
  ASSERT_TRUE(RegisterTagPlugin(1024306, "VorlaDeformerTag", 1, Thrower::Alloc, "", 0));
  const auto rec = Only().As<KhTagPlugin>();
  EXPECT_EQ(Only().type, KH_PLUGINTYPE_TAG);
  KhNodeData* data = rec.node.alloc();
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(rec.node.init(data, nullptr), 0);
  EXPECT_EQ(rec.draw(data, nullptr, nullptr, nullptr, nullptr), 1);
  EXPECT_EQ(rec.execute(data, nullptr, nullptr, nullptr, nullptr, 0, 0), 0);
  rec.node.destructor(data);
  t_HostOS->general->free(data);
}

TEST_F(Registration, ShaderRecordHasNoIconAndDefaultOutputIsBlack) {
  ASSERT_TRUE(RegisterShaderPlugin(1024167, "Gradient", 0, Plain::Alloc, "Xvorlagradient", 0));
  const auto& r = Only();
  EXPECT_EQ(r.type, KH_PLUGINTYPE_SHADER);
  const auto rec = r.As<KhShaderPlugin>();
  EXPECT_EQ(rec.node.icon, nullptr);
  ASSERT_EQ(testlib::description_calls().ids.size(), 1u);
  EXPECT_EQ(testlib::description_calls().names[0], "Xvorlagradient");
  EXPECT_EQ(testlib::description_calls().resources[0], resource.GetHandle());

  KhNodeData* data = rec.node.alloc();
  KhVector out{9, 9, 9};
  rec.output(data, nullptr, nullptr, &out);
  EXPECT_EQ(out.x, 0);
  EXPECT_EQ(out.y, 0);
  EXPECT_EQ(out.z, 0);
  EXPECT_EQ(rec.init_render(data, nullptr, nullptr), 0);
  rec.node.destructor(data);
  t_HostOS->general->free(data);
}

TEST_F(Registration, AFailedDescriptionRegistersNothing) {
  testlib::description_calls().fail = true;
  EXPECT_FALSE(RegisterObjectPlugin(1024244, "Kurvo2", 13, Probe::Alloc, "OKurvo", 0));
  EXPECT_TRUE(fake::state().registered.empty());
  testlib::Description().register_description = nullptr;  // library without the entry
  EXPECT_FALSE(RegisterTagPlugin(3, "Tag", 0, Probe::Alloc, "Tdesc", 0));
  EXPECT_TRUE(fake::state().registered.empty());
}

TEST_F(Registration, IconFilesComeFromTheResDirectory) {
  EXPECT_FALSE(RegisterObjectPlugin(1024244, "Kurvo2", 13, Probe::Alloc, "", String("Kurvo.tif"), 0));
  EXPECT_TRUE(fake::state().registered.empty());
  EXPECT_EQ(fake::state().image_requests, std::vector<std::string>{"/plug/res/Kurvo.tif"});

  fake::state().existing_images.push_back("/plug/res/Kurvo.tif");
  EXPECT_TRUE(RegisterObjectPlugin(1024244, "Kurvo2", 13, Probe::Alloc, "", String("Kurvo.tif"), 0));
  const auto& rec = Only().As<KhObjectPlugin>();
  EXPECT_NE(rec.node.icon, nullptr);
  EXPECT_EQ(rec.icon, rec.node.icon);

  fake::state().registered.clear();
  EXPECT_TRUE(RegisterTagPlugin(1024306, "Tag", 1, Probe::Alloc, "", String(""), 0));
  EXPECT_EQ(Only().As<KhTagPlugin>().node.icon, nullptr);
}

struct Gui : CustomGuiData {
  int32 GetId() override { return 1024107; }
  const char* GetResourceSym() override { return "KURVO2_GUI"; }
  int32 GetResourceDataType(const int32*& table) override {
    static const int32 types[] = {130};
    table = types;
    return 1;
  }
};

TEST_F(Registration, CustomGuiRecordUsesTheObjectsIdAndFindsItself) {
  EXPECT_FALSE(RegisterCustomGuiPlugin("Kurvo-Titlebar", 0x20000000, nullptr));
  Gui* gui = gNew<Gui>();
  ASSERT_TRUE(RegisterCustomGuiPlugin("Kurvo-Titlebar", 0x20000000, gui));
  const auto& r = Only();
  EXPECT_EQ(r.type, KH_PLUGINTYPE_CUSTOMGUI);
  EXPECT_EQ(r.id, 1024107);
  const auto& rec = r.As<KhCustomGuiPlugin>();
  EXPECT_EQ(rec.info, 0x20000000);
  EXPECT_STREQ(rec.get_resource_sym(rec.data), "KURVO2_GUI");
  const int32_t* table = nullptr;
  EXPECT_EQ(rec.get_resource_data_type(rec.data, &table), 1);
  EXPECT_EQ(table[0], 130);
  EXPECT_EQ(static_cast<const void*>(gui->GetPlugin()), static_cast<const void*>(r.record.data()));
  rec.destructor(rec.data);
  t_HostOS->general->free(rec.data);
}

}  // namespace

// ---- Failure answers
//
// Every entry of every record, called on a plug-in whose operations all throw
// (a standard exception, or anything else) or all answer failure: the entry
// reaches the operation once and answers exactly the failure value the
// boundary gives it. Without a data object it answers the same without
// calling anything. A throw that escaped an entry would end the test program.

namespace {

enum class Behaviour { throwsException, throwsSomethingElse, fails };
Behaviour behaviour = Behaviour::fails;
int operations_reached = 0;

const char* NameOf(Behaviour b) {
  switch (b) {
    case Behaviour::throwsException: return "throws an exception";
    case Behaviour::throwsSomethingElse: return "throws a non-exception";
    case Behaviour::fails: return "answers failure";
  }
  return "";
}

template <typename R>
R Failing(R answer) {
  ++operations_reached;
  if (behaviour == Behaviour::throwsException) throw std::runtime_error("plug-in failure");
  if (behaviour == Behaviour::throwsSomethingElse) throw 7;
  return answer;
}
void Failing() { Failing(0); }

template <typename Base>
struct FailingNode : Base {
  Bool Init(GeListNode*) override { return Failing<Bool>(false); }
  void Free(GeListNode*) override { Failing(); }
  Bool Read(GeListNode*, HyperFile*, int32) override { return Failing<Bool>(false); }
  Bool Write(GeListNode*, HyperFile*) override { return Failing<Bool>(false); }
  Bool Message(GeListNode*, int32, void*) override { return Failing<Bool>(false); }
  Bool CopyTo(NodeData*, GeListNode*, GeListNode*, int32, AliasTrans*) override { return Failing<Bool>(false); }
  void GetBubbleHelp(GeListNode*, String&) override { Failing(); }
  BaseDocument* GetDocument(GeListNode*) override { return Failing<BaseDocument*>(nullptr); }
  int32 GetBranchInfoEx(GeListNode*, BranchInfo*, int32, int32) override { return Failing<int32>(0); }
  int32 GetBranchInfo(GeListNode*, BranchInfo*, int32) override { return Failing<int32>(0); }
  Bool IsInstanceOf(const GeListNode*, int32) override { return Failing<Bool>(false); }
  Bool GetDDescription(GeListNode*, Description*, int32&) override { return Failing<Bool>(false); }
  Bool GetDParameter(GeListNode*, const DescID&, GeData&, int32&) override { return Failing<Bool>(false); }
  Bool GetDEnabling(GeListNode*, const DescID&, const GeData&, int32, const BaseContainer*) override {
    return Failing<Bool>(false);
  }
  Bool SetDParameter(GeListNode*, const DescID&, const GeData&, int32&) override { return Failing<Bool>(false); }
  Bool TranslateDescID(GeListNode*, const DescID&, DescID&, GeListNode*&) override { return Failing<Bool>(false); }
  Bool IsDocumentRelated(const GeListNode*, Bool&) override { return Failing<Bool>(false); }
};

struct FailingObject : FailingNode<ObjectData> {
  static NodeData* Alloc() { return gNew<FailingObject>(); }
  void GetDimension(BaseObject*, Vector*, Vector*) override { Failing(); }
  Bool Draw(BaseObject*, int32, BaseDraw*, BaseDrawHelp*) override { return Failing<Bool>(false); }
  int32 DetectHandle(BaseObject*, BaseDraw*, int32, int32, int32) override { return Failing<int32>(-1); }
  Bool MoveHandle(BaseObject*, BaseObject*, const Matrix&, int32, int32) override { return Failing<Bool>(false); }
  Bool AddToExecution(BaseObject*, PriorityList*) override { return Failing<Bool>(false); }
  int32 Execute(BaseObject*, BaseDocument*, BaseThread*, int32, int32) override { return Failing<int32>(0); }
  void GetModelingAxis(BaseObject*, BaseDocument*, Matrix&) override { Failing(); }
  BaseObject* GetVirtualObjects(BaseObject*, HierarchyHelp*) override { return Failing<BaseObject*>(nullptr); }
  Bool ModifyObject(BaseObject*, BaseDocument*, BaseObject*, const Matrix&, const Matrix&, Real, int32,
                    BaseThread*) override {
    return Failing<Bool>(false);
  }
  void CheckDirty(BaseObject*, BaseDocument*) override { Failing(); }
  SplineObject* GetContour(BaseObject*, BaseDocument*, Real, BaseThread*) override {
    return Failing<SplineObject*>(nullptr);
  }
  void ModifyParticles(BaseObject*, void*, void*, void*, int32, Real) override { Failing(); }
};

struct FailingShader : FailingNode<ShaderData> {
  static NodeData* Alloc() { return gNew<FailingShader>(); }
  Bool Draw(BaseShader*, BaseObject*, int32, BaseDraw*) override { return Failing<Bool>(false); }
  int32 GetRenderInfo(BaseShader*) override { return Failing<int32>(0); }
  int32 InitRender(BaseShader*, InitRenderStruct*) override { return Failing<int32>(-100); }
  void FreeRender(BaseShader*) override { Failing(); }
  Vector Output(BaseShader*, ChannelData*) override { return Failing(Vector()); }
  Bool GlMessage(BaseShader*, int32, void*) override { return Failing<Bool>(false); }
  Bool InitGLImage(BaseShader*, BaseMaterial*, BaseDocument*, int32, void*) override { return Failing<Bool>(false); }
};

struct FailingTag : FailingNode<TagData> {
  static NodeData* Alloc() { return gNew<FailingTag>(); }
  Bool Draw(BaseTag*, BaseObject*, BaseDraw*, BaseDrawHelp*) override { return Failing<Bool>(false); }
  int32 Execute(BaseTag*, BaseDocument*, BaseObject*, BaseThread*, int32, int32) override {
    return Failing<int32>(0);
  }
  Bool AddToExecution(BaseTag*, PriorityList*) override { return Failing<Bool>(false); }
};

// An allocation function that throws or answers null.
NodeData* FailingAlloc() { return Failing<NodeData*>(nullptr); }

const int32 kGuiTypes[] = {130};

struct FailingGui : CustomGuiData {
  int32 GetId() override { return 1024107; }
  CDialog* Alloc(const BaseContainer&) override { return Failing<CDialog*>(nullptr); }
  void Free(CDialog*, void*) override { Failing(); }
  const char* GetResourceSym() override { return Failing<const char*>(nullptr); }
  CustomProperty* GetProperties() override { return Failing<CustomProperty*>(nullptr); }
  // Points the table somewhere before it fails: a failure must not hand it on.
  int32 GetResourceDataType(const int32*& table) override {
    table = kGuiTypes;
    return Failing<int32>(0);
  }
};

struct FailingElement : iCustomGui {
  FailingElement() : iCustomGui(BaseContainer(), nullptr) {}
  int32 CustomGuiWidth() override { return Failing<int32>(0); }
  int32 CustomGuiHeight() override { return Failing<int32>(0); }
  void CustomGuiRedraw() override { Failing(); }
  void CustomGuiLayoutChanged() override { Failing(); }
  void CustomGuiActivate() override { Failing(); }
  void SetDefaultForResEdit() override { Failing(); }
  Bool SetData(const TriState&) override { return Failing<Bool>(false); }
  TriState GetData() override { return Failing(TriState()); }
  Bool SupportLayoutSwitch() override { return Failing<Bool>(false); }
  void SetLayoutMode(int32) override { Failing(); }
  int32 GetLayoutMode() override { return Failing<int32>(0); }
  Bool SetObjects(void*) override { return Failing<Bool>(false); }
};

// One entry: its name, the failure answer, and a call of it on `data` (the
// record's data object, the custom GUI object or the element; null for none)
// that answers what the entry answered. Pointers answer as integers; entries
// without an answer answer what they left in their output, or 0.
struct Entry {
  std::string name;
  intptr_t failure;
  std::function<intptr_t(void* data)> call;
  bool takes_data = true;
};

template <typename P>
intptr_t Address(P* p) {
  return reinterpret_cast<intptr_t>(p);
}

KhNodeData* D(void* data) { return static_cast<KhNodeData*>(data); }

// Stand-ins for the host's arguments: the operations never look at them, but
// the entries refuse null where the operation takes a reference.
struct Arguments {
  fake::Node* node = fake::NewNode(KH_TYPE_POLYGON);
  KhNode* kh = fake::AsNode(node);
  KhObject* obj = fake::AsObject(node);
  alignas(16) unsigned char desc_id[64] = {};
  KhDescID* id = reinterpret_cast<KhDescID*>(desc_id);
  KhDataValue value{nullptr};
  KhStringValue text{nullptr};
  KhMatrix matrix{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  int32_t flags = 0;
  KhNode* at = nullptr;
  KhTriState tri{0, {nullptr}};
};

void AddNodeEntries(const std::string& record, const KhNodePlugin& n, Arguments& a, std::vector<Entry>& out) {
  const auto add = [&](const char* name, intptr_t failure, std::function<intptr_t(void*)> call) {
    out.push_back(Entry{record + "." + name, failure, std::move(call)});
  };
  add("init", 0, [&n, &a](void* d) { return n.init(D(d), a.kh); });
  add("free", 0, [&n, &a](void* d) { n.free(D(d), a.kh); return intptr_t{0}; });
  add("read", 0, [&n, &a](void* d) { return n.read(D(d), a.kh, nullptr, 0); });
  add("write", 0, [&n, &a](void* d) { return n.write(D(d), a.kh, nullptr); });
  add("message", 0, [&n, &a](void* d) { return n.message(D(d), a.kh, 5, nullptr); });
  add("copy_to", 0, [&n, &a](void* d) { return n.copy_to(D(d), D(d), a.kh, a.kh, 0, nullptr); });
  add("get_bubble_help", 0, [&n, &a](void* d) { n.get_bubble_help(D(d), a.kh, &a.text); return intptr_t{0}; });
  add("get_document", 0, [&n, &a](void* d) { return Address(n.get_document(D(d), a.kh)); });
  add("get_branch_info_ex", 0, [&n, &a](void* d) { return n.get_branch_info_ex(D(d), a.kh, nullptr, 4, 0); });
  add("get_branch_info", 0, [&n, &a](void* d) { return n.get_branch_info(D(d), a.kh, nullptr, 4); });
  add("is_instance_of", 0, [&n, &a](void* d) { return n.is_instance_of(D(d), a.kh, KH_TYPE_POLYGON); });
  add("get_d_description", 0, [&n, &a](void* d) { return n.get_d_description(D(d), a.kh, nullptr, &a.flags); });
  add("get_d_parameter", 0, [&n, &a](void* d) { return n.get_d_parameter(D(d), a.kh, a.id, &a.value, &a.flags); });
  add("get_d_enabling", 0, [&n, &a](void* d) { return n.get_d_enabling(D(d), a.kh, a.id, &a.value, 0, nullptr); });
  add("set_d_parameter", 0, [&n, &a](void* d) { return n.set_d_parameter(D(d), a.kh, a.id, &a.value, &a.flags); });
  add("translate_desc_id", 0, [&n, &a](void* d) {
    a.at = nullptr;
    const intptr_t answer = n.translate_desc_id(D(d), a.kh, a.id, a.id, &a.at);
    return a.at ? intptr_t{-2} : answer;  // no node handed back on failure
  });
  add("is_document_related", 0, [&n, &a](void* d) {
    int32_t related = 0;
    return n.is_document_related(D(d), a.kh, &related);
  });
}

class FailureAnswers : public Registration {
 protected:
  void SetUp() override {
    Registration::SetUp();
    behaviour = Behaviour::fails;
  }
  // Registers and answers a copy of the record (the fake keeps it).
  template <typename Record>
  Record Registered(bool ok) {
    EXPECT_TRUE(ok);
    return fake::state().registered.back().As<Record>();
  }
};

TEST_F(FailureAnswers, EveryEntryOfEveryRecordAnswersItsFailure) {
  const auto object = Registered<KhObjectPlugin>(
      RegisterObjectPlugin(1, "Failing object", 0x1 | 0x4 | 0x20 | 0x80, FailingObject::Alloc, "", 0));
  const auto shader = Registered<KhShaderPlugin>(
      RegisterShaderPlugin(2, "Failing shader", 0, FailingShader::Alloc, "", 0));
  const auto tag = Registered<KhTagPlugin>(RegisterTagPlugin(3, "Failing tag", 0, FailingTag::Alloc, "", 0));
  const auto allocating = Registered<KhObjectPlugin>(RegisterObjectPlugin(4, "No memory", 1, FailingAlloc, "", 0));
  FailingGui* gui = gNew<FailingGui>();
  const auto guiRecord = Registered<KhCustomGuiPlugin>(RegisterCustomGuiPlugin("Failing GUI", 0, gui));
  BaseCustomGuiLib lib{};
  FillBaseCustomGui(lib);
  FailingElement element;
  void* const element_object = static_cast<GeDialog*>(&element);

  KhNodeData* object_data = object.node.alloc();
  KhNodeData* shader_data = shader.node.alloc();
  KhNodeData* tag_data = tag.node.alloc();
  ASSERT_TRUE(object_data && shader_data && tag_data);

  Arguments a;
  std::vector<Entry> entries;
  const auto add = [&](const std::string& name, intptr_t failure, std::function<intptr_t(void*)> call) {
    entries.push_back(Entry{name, failure, std::move(call)});
  };
  const size_t object_first = entries.size();
  AddNodeEntries("object", object.node, a, entries);
  add("object.get_dimension", 0, [&](void* d) {
    KhVector mp{}, rad{};
    object.get_dimension(D(d), a.obj, &mp, &rad);
    return intptr_t{0};
  });
  add("object.draw", 0, [&](void* d) { return object.draw(D(d), a.obj, 0, nullptr, nullptr); });
  add("object.detect_handle", -1, [&](void* d) { return object.detect_handle(D(d), a.obj, nullptr, 0, 0, 0); });
  add("object.move_handle", 0, [&](void* d) { return object.move_handle(D(d), a.obj, a.obj, &a.matrix, 0, 0); });
  add("object.add_to_execution", 0, [&](void* d) { return object.add_to_execution(D(d), a.obj, nullptr); });
  add("object.execute", 0, [&](void* d) { return object.execute(D(d), a.obj, nullptr, nullptr, 0, 0); });
  add("object.get_modeling_axis", 0, [&](void* d) {
    KhMatrix axis = a.matrix;
    object.get_modeling_axis(D(d), a.obj, nullptr, &axis);
    return intptr_t{0};
  });
  add("object.check_dirty", 0, [&](void* d) { object.check_dirty(D(d), a.obj, nullptr); return intptr_t{0}; });
  add("object.modify_object", 0, [&](void* d) {
    return object.modify_object(D(d), a.obj, nullptr, a.obj, &a.matrix, &a.matrix, 0, 0, nullptr);
  });
  add("object.get_virtual_objects", 0, [&](void* d) { return Address(object.get_virtual_objects(D(d), a.obj, nullptr)); });
  add("object.get_contour", 0, [&](void* d) { return Address(object.get_contour(D(d), a.obj, nullptr, 0, nullptr)); });
  add("object.modify_particles", 0, [&](void* d) {
    object.modify_particles(D(d), a.obj, nullptr, nullptr, nullptr, 0, 0);
    return intptr_t{0};
  });
  const size_t shader_first = entries.size();
  AddNodeEntries("shader", shader.node, a, entries);
  add("shader.draw", 0, [&](void* d) { return shader.draw(D(d), a.kh, a.obj, 0, nullptr); });
  add("shader.get_render_info", 0, [&](void* d) { return shader.get_render_info(D(d), a.kh); });
  add("shader.init_render", -100, [&](void* d) { return shader.init_render(D(d), a.kh, nullptr); });
  add("shader.free_render", 0, [&](void* d) { shader.free_render(D(d), a.kh); return intptr_t{0}; });
  add("shader.output", 0, [&](void* d) {
    KhVector out{0.25f, 0.5f, 0.75f};
    shader.output(D(d), a.kh, nullptr, &out);
    return intptr_t{out.x != 0 || out.y != 0 || out.z != 0};  // black
  });
  add("shader.gl_message", 0, [&](void* d) { return shader.gl_message(D(d), a.kh, 0, nullptr); });
  add("shader.init_gl_image", 0, [&](void* d) { return shader.init_gl_image(D(d), a.kh, nullptr, nullptr, 0, nullptr); });
  const size_t tag_first = entries.size();
  AddNodeEntries("tag", tag.node, a, entries);
  add("tag.draw", 0, [&](void* d) { return tag.draw(D(d), a.kh, a.obj, nullptr, nullptr); });
  add("tag.execute", 0, [&](void* d) { return tag.execute(D(d), a.kh, nullptr, a.obj, nullptr, 0, 0); });
  add("tag.add_to_execution", 0, [&](void* d) { return tag.add_to_execution(D(d), a.kh, nullptr); });
  const size_t gui_first = entries.size();
  const auto G = [](void* d) { return static_cast<KhCustomGuiData*>(d); };
  add("custom gui.alloc", 0, [&, G](void* d) { return Address(guiRecord.alloc(G(d), nullptr)); });
  add("custom gui.free", 0, [&, G](void* d) { guiRecord.free(G(d), nullptr, nullptr); return intptr_t{0}; });
  add("custom gui.get_resource_sym", 0, [&, G](void* d) { return Address(guiRecord.get_resource_sym(G(d))); });
  add("custom gui.get_properties", 0, [&, G](void* d) { return Address(guiRecord.get_properties(G(d))); });
  add("custom gui.get_resource_data_type", 0, [&, G](void* d) {
    const int32_t* table = kGuiTypes;
    const intptr_t count = guiRecord.get_resource_data_type(G(d), &table);
    // A failure hands on no table, whatever the plug-in left in it.
    return table && behaviour != Behaviour::fails ? intptr_t{-2} : count;
  });
  const size_t library_first = entries.size();
  add("gui library.redraw", 0, [&](void* g) { lib.redraw(g); return intptr_t{0}; });
  add("gui library.layout_changed", 0, [&](void* g) { lib.layout_changed(g); return intptr_t{0}; });
  add("gui library.width", 0, [&](void* g) { return intptr_t{lib.width(g)}; });
  add("gui library.height", 0, [&](void* g) { return intptr_t{lib.height(g)}; });
  add("gui library.activate", 0, [&](void* g) { lib.activate(g); return intptr_t{0}; });
  add("gui library.set_default_for_res_edit", 0, [&](void* g) { lib.set_default_for_res_edit(g); return intptr_t{0}; });
  add("gui library.set_data", 0, [&](void* g) { return intptr_t{lib.set_data(g, &a.tri)}; });
  add("gui library.get_data", 0, [&](void* g) {
    KhTriState out{-5, {nullptr}};
    lib.get_data(g, &out);
    const intptr_t state = out.state;  // initialised: state 0 and an empty value
    std::launder(static_cast<TriState*>(static_cast<void*>(&out)))->~TriState();
    return state;
  });
  add("gui library.set_layout_mode", 0, [&](void* g) { lib.set_layout_mode(g, 1); return intptr_t{0}; });
  add("gui library.get_layout_mode", 0, [&](void* g) { return intptr_t{lib.get_layout_mode(g)}; });
  add("gui library.support_layout_switch", 0, [&](void* g) { return intptr_t{lib.support_layout_switch(g)}; });
  add("gui library.set_objects", 0, [&](void* g) { return intptr_t{lib.set_objects(g, nullptr)}; });
  const size_t end = entries.size();
  entries.push_back(Entry{"alloc", 0, [&](void*) { return Address(allocating.node.alloc()); }, false});

  const auto data_of = [&](size_t i) -> void* {
    if (i < shader_first) return object_data;
    if (i < tag_first) return shader_data;
    if (i < gui_first) return tag_data;
    if (i < library_first) return guiRecord.data;
    if (i < end) return element_object;
    return nullptr;
  };
  ASSERT_EQ(object_first, 0u);
  for (Behaviour b : {Behaviour::throwsException, Behaviour::throwsSomethingElse, Behaviour::fails}) {
    behaviour = b;
    for (size_t i = 0; i < entries.size(); ++i) {
      const int before = operations_reached;
      EXPECT_EQ(entries[i].call(data_of(i)), entries[i].failure) << entries[i].name << ": the plug-in " << NameOf(b);
      EXPECT_EQ(operations_reached, before + 1) << entries[i].name << " did not reach the plug-in";
    }
  }
  behaviour = Behaviour::throwsException;
  for (const Entry& e : entries) {
    if (!e.takes_data) continue;
    const int before = operations_reached;
    EXPECT_EQ(e.call(nullptr), e.failure) << e.name << " without a data object";
    EXPECT_EQ(operations_reached, before) << e.name << " without a data object";
  }

  behaviour = Behaviour::fails;
  for (KhNodeData* d : {object_data, shader_data, tag_data}) {
    object.node.destructor(d);
    t_HostOS->general->free(d);
  }
  guiRecord.destructor(guiRecord.data);
  t_HostOS->general->free(guiRecord.data);
}

}  // namespace

// ---- Allocation slots
//
// The layer gives each distinct allocation function a slot of its own, 32 in
// all: a 33rd class cannot be registered, one registered before still can.
// The slots last as long as the process, so the test runs in a child of its
// own and counts the slots that the other tests of this program took before.

namespace {

template <int N>
NodeData* SlotAlloc() {
  return gNew<Probe>();
}
template <int... N>
std::vector<DataAllocator*> SlotAllocs(std::integer_sequence<int, N...>) {
  return {&SlotAlloc<N>...};
}

DataAllocator* const kAllocatorsOfOtherTests[] = {Probe::Alloc,         Thrower::Alloc,       Plain::Alloc,
                                                   FailingObject::Alloc, FailingShader::Alloc, FailingTag::Alloc,
                                                   FailingAlloc};

TEST_F(Registration, ThirtyTwoAllocationFunctionsFitAndNoMore) {
  EXPECT_EXIT(
      {
        int fitted = 0;
        for (DataAllocator* alloc : SlotAllocs(std::make_integer_sequence<int, 33>()))
          fitted += RegisterTagPlugin(100 + fitted, "Slot", 0, alloc, "", 0) ? 1 : 0;
        // Every slot is taken now: an allocator registers only if it had one.
        int taken_before = 0;
        for (DataAllocator* alloc : kAllocatorsOfOtherTests)
          taken_before += RegisterTagPlugin(200 + taken_before, "Again", 0, alloc, "", 0) ? 1 : 0;
        const bool first_again = RegisterTagPlugin(300, "First", 0, SlotAlloc<0>, "", 0);
        std::exit(fitted + taken_before == 32 && first_again ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
