// Resource directories: string tables and descriptions.
#include <cstring>

#include "core/description.h"
#include "core/resource.h"
#include "core/desc_id.h"
#include "core/text_value.h"
#include "test_support.h"

namespace kurvo::host::test {
namespace {

const char* kStrings = R"({"format": "kurvo-strings", "version": 1,
  "strings": {"10000": "Kurvo2", "-5": "negative"}})";

const char* kDescription = R"({
  "format": "kurvo-description", "version": 1, "name": "OTest",
  "groups": [{"id": 2000, "symbol": "TEST_GROUP", "label": "Main", "parameters": [
    {"id": 1000, "symbol": "TEST_OFFSET", "type": "real", "default": 0.5, "min": -1, "max": 1, "unit": "percent"},
    {"id": 1001, "symbol": "TEST_MODE", "type": "long", "default": 2, "options": {"0": "A", "2": "B"}},
    {"id": 1002, "symbol": "TEST_CURVE", "type": "spline", "default": {"knots": [[0, 0], [1, 1]]}},
    {"id": 1003, "symbol": "TEST_UP", "type": "vector", "default": [0, 1, 0]}],
    "groups": [{"id": 2001, "symbol": "TEST_SUB", "parameters": [
      {"id": 1004, "symbol": "TEST_FLAG", "type": "bool", "default": true, "hidden": true}]}]}]})";

class ResourceTest : public SessionTest {
 protected:
  KhResource* load(const std::filesystem::path& moduleDir) {
    KhFilenameValue dir;
    initText(&dir, moduleDir.string());
    KhResource* res = table().resource->load(&dir);
    freeText(&dir);
    return res;
  }
  std::string text(const KhStringValue* s) { return textOf(s); }
  TempDir tmp;
};

TEST_F(ResourceTest, LoadsStringsAndAnswersSharedEmptyForMissingIds) {
  tmp.write("res/strings.json", kStrings);
  KhResource* res = load(tmp.path());
  ASSERT_NE(res, nullptr);
  EXPECT_EQ(text(table().resource->load_string(res, 10000)), "Kurvo2");
  EXPECT_EQ(text(table().resource->load_string(res, -5)), "negative");
  EXPECT_EQ(table().resource->load_string(res, 10001), table().string->shared_empty);
  EXPECT_EQ(table().resource->load_string(nullptr, 10000), table().string->shared_empty);
  table().resource->free(res);
}

TEST_F(ResourceTest, MissingDirectoryOrTableGivesNull) {
  EXPECT_EQ(load(tmp.path()), nullptr);
  std::filesystem::create_directories(tmp.path() / "res");
  EXPECT_EQ(load(tmp.path()), nullptr);
  ASSERT_EQ(session().state().diagnostics().size(), 2u);
  EXPECT_NE(session().state().diagnostics()[1].find("strings.json"), std::string::npos);
}

TEST_F(ResourceTest, MalformedTablesNameFileAndField) {
  struct Case {
    const char* json;
    const char* field;
  } cases[] = {
      {"{", "(syntax)"},
      {R"({"format": "kurvo-strings", "version": 1, "strings": {"x1": "a"}})", "strings.x1"},
      {R"({"format": "kurvo-strings", "version": 1, "strings": {"1": 5}})", "strings.1"},
      {R"({"format": "kurvo-strings", "version": 2, "strings": {}})", "version"},
      {R"({"format": "kurvo-strings", "version": 1, "strings": {}, "extra": 1})", "extra"},
      {R"({"format": "kurvo-strings", "version": 1, "strings": {"99999999999": "a"}})", "strings.99999999999"},
  };
  for (const Case& c : cases) {
    std::string error;
    auto res = Resource::parseStrings(c.json, tmp.path(), tmp.path() / "strings.json", error);
    EXPECT_EQ(res, nullptr) << c.json;
    EXPECT_NE(error.find("strings.json: "), std::string::npos) << error;
    EXPECT_NE(error.find(std::string(c.field) + ":"), std::string::npos) << error;
  }
}

TEST_F(ResourceTest, DescriptionReadsEveryKindOfParameter) {
  auto result = parseDescriptionText(kDescription, "OTest.json");
  ASSERT_TRUE(result.description) << result.error;
  const Description& d = *result.description;
  ASSERT_EQ(d.parameters.size(), 5u);
  const DescParameter* offset = d.findBySymbol("TEST_OFFSET");
  ASSERT_NE(offset, nullptr);
  EXPECT_EQ(offset->type, ParamType::Real);
  EXPECT_DOUBLE_EQ(*offset->defaultNumber, 0.5);
  EXPECT_EQ(offset->unit, "percent");
  EXPECT_EQ(d.findById(1001)->options.size(), 2u);
  EXPECT_EQ(d.findById(1002)->defaultSpline->knots.size(), 2u);
  EXPECT_EQ(d.findById(1003)->defaultVector->y, 1.0f);
  EXPECT_TRUE(d.findById(1004)->hidden);
  EXPECT_EQ(d.findById(1004)->groupId, 2001);
  EXPECT_EQ(d.findById(1004)->label, "TEST_FLAG") << "the label defaults to the symbol";
}

TEST_F(ResourceTest, DescriptionErrorsNameTheField) {
  struct Case {
    const char* from;
    const char* to;
    const char* field;
  } cases[] = {
      {"\"default\": 0.5", "\"default\": \"x\"", "groups[0].parameters[0].default"},
      {"\"unit\": \"percent\"", "\"unit\": \"furlong\"", "groups[0].parameters[0].unit"},
      {"\"id\": 1001", "\"id\": 1000", "groups[0].parameters[1].id"},
      {"\"TEST_MODE\"", "\"test_mode\"", "groups[0].parameters[1].symbol"},
      {"\"type\": \"vector\"", "\"type\": \"colour\"", "groups[0].parameters[3].type"},
      {"\"hidden\": true", "\"hiddden\": true", "groups[0].groups[0].parameters[0].hiddden"},
      {"\"options\": {\"0\": \"A\"", "\"options\": {\"zero\": \"A\"", "groups[0].parameters[1].options.zero"},
  };
  for (const Case& c : cases) {
    std::string text = kDescription;
    const size_t at = text.find(c.from);
    ASSERT_NE(at, std::string::npos) << c.from;
    text.replace(at, std::strlen(c.from), c.to);
    auto result = parseDescriptionText(text, "res/description/OTest.json");
    EXPECT_FALSE(result.description) << c.to;
    EXPECT_EQ(result.error.rfind("res/description/OTest.json: " + std::string(c.field) + ":", 0), 0u)
        << result.error;
  }
}

TEST_F(ResourceTest, DescriptionLibraryRegistersPerNodeType) {
  tmp.write("res/strings.json", kStrings);
  tmp.write("res/description/OTest.json", kDescription);
  tmp.write("res/description/OBroken.json", "{\"format\": 1}");
  KhResource* res = load(tmp.path());
  ASSERT_NE(res, nullptr);
  auto* entry = table().general->registry_find(KH_LIB_DESCRIPTION, KH_REGISTRYTYPE_LIBRARY);
  auto* lib = static_cast<const KhDescriptionLib*>(table().general->registry_get_data(entry));
  ASSERT_NE(lib, nullptr);
  EXPECT_GE(lib->head.size, static_cast<int32_t>(sizeof(KhDescriptionLib)));
  OwnedString name("OTest"), broken("OBroken"), missing("OMissing"), escape("../res/OTest");
  EXPECT_EQ(lib->register_description(555, name.value(), res), 1);
  EXPECT_EQ(lib->register_description(556, broken.value(), res), 0);
  EXPECT_EQ(lib->register_description(557, missing.value(), res), 0);
  EXPECT_EQ(lib->register_description(558, escape.value(), res), 0);
  EXPECT_EQ(lib->register_description(559, name.value(), nullptr), 0);
  ASSERT_EQ(session().state().descriptions.count(555), 1u);
  EXPECT_EQ(session().state().descriptions.at(555).name, "OTest");
  EXPECT_EQ(session().state().descriptions.count(556), 0u);

  DescId id{{{1000, KH_DA_REAL, 0}, {5, 0, 0}}};
  EXPECT_EQ(lib->get_depth(id.handle()), 2);
  EXPECT_EQ(lib->get_level(id.handle(), 0)->id, 1000);
  EXPECT_EQ(lib->get_level(id.handle(), 2), nullptr);
  table().resource->free(res);
}

}  // namespace
}  // namespace kurvo::host::test
