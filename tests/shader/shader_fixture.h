// A host session with the module started in-process, and a shader node driven
// through the shader's registered record as a renderer would drive it.
//
// The headless host renders nothing, so it has no shader nodes of its own: a
// free null object stands in as the node that carries the shader's
// parameters, which is all the shader reads of its node.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/host_session.h"
#include "scene/document.h"
#include "scene/node.h"
#include "math/vector.h"
#include "support/vector_expect.h"

extern "C" int32_t plugin_main(int32_t action, void* p1, void* p2, void* p3);

namespace kurvo::test {

constexpr int32_t kShaderId = 1024167;
constexpr int32_t kTagType = 1024306;
constexpr int32_t kGradient = 1004;
constexpr int32_t kRandom = 1005;
constexpr int32_t kSeed = 1006;

// A copy of the repository's res/ in a fresh temporary folder, to break.
std::filesystem::path CopyRes(const std::string& name);

class ShaderTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Replaces the session; the module pretends to live beside `resDir`.
  void StartSession(const std::filesystem::path& resDir);
  host::HostSession& session() { return *session_; }
  host::Document& doc() { return *doc_; }
  // Whether the start-up banner (which ends with the maker's address) was
  // printed.
  bool BannerPrinted();

  const KhShaderPlugin& Record() const { return *record_; }
  // A new shader node: alloc and init through the record. False when either
  // fails.
  bool MakeShader();
  host::Container& ShaderParams() { return node_->parameters(); }
  int32_t InitRender();
  void FreeRender();

  // Colour of a sample on `object` (null: a sample without render context at
  // texture coordinate u).
  Vector Sample(host::Object* object, float u = 0.0f);
  // A polygon object with a deformer tag holding index and count (count
  // omitted: the tag's fresh state).
  host::Object* Tagged(int32_t index, int32_t count);
  host::Object* TaggedWithoutCount(int32_t index);

  // Replaces the shader's gradient by a black-to-white ramp over [-4, 4], so
  // that a colour's red component tells the position: red = (position + 4) / 8.
  void UseRampGradient();
  static float PositionOf(const Vector& colour) { return colour.x * 8.0f - 4.0f; }

 private:
  void DropShader();

  std::unique_ptr<host::HostSession> session_;
  host::Document* doc_ = nullptr;
  const KhShaderPlugin* record_ = nullptr;
  std::unique_ptr<host::Object> node_;
  KhNodeData* data_ = nullptr;
};

}  // namespace kurvo::test
