// Inputs that once crashed or hung a parser (found by the fuzz targets in
// fuzz/): each must now load or fail with a message, nothing worse.
// fuzz_regressions/<target>/ holds them: scene, description, strings.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "core/description.h"
#include "core/resource.h"
#include "scene_fixture.h"

namespace {

namespace sf = kurvo::scenefile;
const std::filesystem::path kRegressions = KURVO_FUZZ_REGRESSIONS;

std::vector<std::pair<std::string, std::string>> inputs(const std::string& target) {
  std::vector<std::pair<std::string, std::string>> out;
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(kRegressions / target, ec)) {
    std::ifstream in(e.path(), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    out.emplace_back(e.path().filename().string(), text.str());
  }
  return out;
}

TEST_F(SceneTest, SceneLoaderSurvivesEveryKeptInput) {
  sf::LoadOptions options;
  options.limits.allowMeshFiles = false;
  for (const auto& [name, text] : inputs("scene")) {
    auto result = sf::loadSceneText(text, name, newDocument(), host(), options);
    if (!result.ok()) {
      EXPECT_FALSE(result.message().empty()) << name;
    }
  }
}

TEST(FuzzRegression, ResourceParsersSurviveEveryKeptInput) {
  for (const auto& [name, text] : inputs("description")) {
    auto result = kurvo::host::parseDescriptionText(text, name);
    if (!result.description) {
      EXPECT_FALSE(result.error.empty()) << name;
    }
  }
  for (const auto& [name, text] : inputs("strings")) {
    std::string error;
    auto resource = kurvo::host::Resource::parseStrings(text, "res", name, error);
    if (!resource) {
      EXPECT_FALSE(error.empty()) << name;
    }
  }
}

}  // namespace
