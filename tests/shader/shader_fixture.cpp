#include "shader_fixture.h"

#include <unistd.h>

#include "core/custom_types.h"
#include "core/memory.h"
#include "frame/maker.h"

namespace kurvo::test {

namespace fs = std::filesystem;

fs::path CopyRes(const std::string& name) {
  const fs::path dir = fs::temp_directory_path() / ("kurvo_shader_" + name + "_" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  fs::copy(fs::path(KURVO_SOURCE_DIR) / "res", dir / "res", fs::copy_options::recursive);
  return dir / "res";
}

void ShaderTest::SetUp() { StartSession(fs::path(KURVO_SOURCE_DIR) / "res"); }

void ShaderTest::TearDown() {
  DropShader();
  session_.reset();
}

void ShaderTest::StartSession(const fs::path& resDir) {
  DropShader();
  session_.reset();
  host::HostSession::Options options;
  options.quiet = true;
  session_ = std::make_unique<host::HostSession>(options);
  std::string error;
  ASSERT_TRUE(session_->startModule(&plugin_main, resDir.parent_path() / "Kurvo2.so", error)) << error;
  doc_ = &session_->newDocument();
  const host::RegisteredPlugin* p = session_->registry().find(KH_PLUGINTYPE_SHADER, kShaderId);
  record_ = p ? p->as<KhShaderPlugin>() : nullptr;
}

bool ShaderTest::BannerPrinted() {
  for (const std::string& line : session_->console().lines())
    if (line.find(kMakerWebAddress) != std::string::npos) return true;
  return false;
}

bool ShaderTest::MakeShader() {
  DropShader();
  if (!record_ || !record_->node.alloc) return false;
  node_ = host::Object::create(KH_TYPE_NULL);
  data_ = record_->node.alloc();
  if (!data_) return false;
  return record_->node.init(data_, node_->handle()) != 0;
}

void ShaderTest::DropShader() {
  if (data_) {
    record_->node.free(data_, node_->handle());
    record_->node.destructor(data_);
    host::Memory::release(data_);
    data_ = nullptr;
  }
  node_.reset();
}

int32_t ShaderTest::InitRender() { return record_->init_render(data_, node_->handle(), nullptr); }
void ShaderTest::FreeRender() { record_->free_render(data_, node_->handle()); }

Vector ShaderTest::Sample(host::Object* object, float u) {
  KhVolumeData vd{static_cast<int32_t>(sizeof(KhVolumeData)), host::toObjectHandle(object)};
  KhChannelData cd{};
  cd.p = KhVector{u, 0.5f, 0.0f};
  cd.vd = object ? &vd : nullptr;
  KhVector out{-1.0f, -1.0f, -1.0f};
  record_->output(data_, node_->handle(), &cd, &out);
  return FromKh(out);
}

host::Object* ShaderTest::TaggedWithoutCount(int32_t index) {
  host::Object* o = doc().createObject(KH_TYPE_POLYGON);
  host::Tag* tag = doc().addTag(o, kTagType);
  EXPECT_NE(tag, nullptr);
  if (tag) tag->parameters().setLong(1000, index);
  return o;
}

host::Object* ShaderTest::Tagged(int32_t index, int32_t count) {
  host::Object* o = TaggedWithoutCount(index);
  o->findTag(kTagType)->parameters().setLong(1001, count);
  return o;
}

void ShaderTest::UseRampGradient() {
  auto ramp = std::make_unique<host::GradientData>();
  ramp->gradient.InsertKnot({Vector(0, 0, 0), 1.0f, -4.0f, 0.5f, 0});
  ramp->gradient.InsertKnot({Vector(1, 1, 1), 1.0f, 4.0f, 0.5f, 0});
  ShaderParams().set(kGradient).setCustom(std::move(ramp));
  ShaderParams().touched();
}

}  // namespace kurvo::test
