// A quiet host session with the built module loaded, for scene-file tests.
#ifndef KURVO_TESTS_TOOL_SCENE_FIXTURE_H
#define KURVO_TESTS_TOOL_SCENE_FIXTURE_H

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "core/host_session.h"
#include "scene/document.h"
#include "scene_file.h"

class SceneTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::filesystem::path plugins = KURVO_PLUGIN_DIR;
    if (!std::filesystem::exists(plugins / "Kurvo2" / "Kurvo2.so")) GTEST_SKIP() << "Kurvo2 is not built";
    kurvo::host::HostSession::Options options;
    options.quiet = true;
    session_ = std::make_unique<kurvo::host::HostSession>(options);
    std::string error;
    ASSERT_TRUE(session_->loadPluginFolder(plugins, error)) << error;
  }

  kurvo::host::HostState& host() { return session_->state(); }
  kurvo::host::Document& newDocument() { return session_->newDocument(); }

  // Loads `text` as "<dir>/scene.json" into a new document; fails the test on error.
  kurvo::host::Document& load(const std::string& text, kurvo::scenefile::Scene& scene,
                              const std::filesystem::path& file = "scene.json") {
    kurvo::host::Document& doc = newDocument();
    auto result = kurvo::scenefile::loadSceneText(text, file, doc, host());
    EXPECT_TRUE(result.ok()) << result.message();
    if (result.ok()) scene = std::move(result.value());
    return doc;
  }

  // The load's failure message ("" when it loaded).
  std::string loadError(const std::string& text, const std::filesystem::path& file = "bad.json") {
    auto result = kurvo::scenefile::loadSceneText(text, file, newDocument(), host());
    return result.ok() ? std::string() : result.message();
  }

  static kurvo::host::Object* find(kurvo::host::Document& doc, const std::string& name) {
    kurvo::host::Object* found = nullptr;
    doc.forEachObject([&](kurvo::host::Object& o) {
      if (o.name() == name) found = &o;
    });
    return found;
  }

  std::unique_ptr<kurvo::host::HostSession> session_;
};

// A scene with one object list given as JSON text.
inline std::string sceneWith(const std::string& objects) {
  return R"({"format": "kurvo-scene", "version": 1, "objects": [)" + objects + "]}";
}

#endif
