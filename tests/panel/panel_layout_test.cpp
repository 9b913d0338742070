// The deformer's panel: rows from its description, enabling from its plug-in,
// values as text and widgets.
#include <algorithm>

#include "panel_fixture.h"
#include "panel_style.h"

namespace kurvo::panel::test {
namespace {

using kurvo::host::Object;

std::vector<std::string> groupLabels(const AttributePanel& panel) {
  std::vector<std::string> out;
  for (const PanelRow& row : panel.rows())
    if (row.kind == PanelRow::Kind::Group) out.push_back(row.label);
  return out;
}

TEST_F(PanelTest, GroupsAndParametersFollowTheDescription) {
  auto panel = buildPanel();
  ASSERT_TRUE(panel);
  ASSERT_FALSE(panel->rows().empty());
  EXPECT_EQ(panel->rows()[0].kind, PanelRow::Kind::Title);
  EXPECT_EQ(panel->rows()[0].label, "Kurvo2 [Bend]");
  EXPECT_EQ(groupLabels(*panel),
            (std::vector<std::string>{"Kurvo2", "Path", "Orientation", "Shape", "Optimize", "Reserved"}));
  const PanelRow* offset = panel->rowOf(1000);
  ASSERT_NE(offset, nullptr);
  EXPECT_EQ(offset->label, "Offset");
  const PanelRow* title = panel->rowOf(kTitleBar);
  ASSERT_NE(title, nullptr);
  EXPECT_EQ(title->kind, PanelRow::Kind::Element) << "KURVO2_GUI is answered by the title bar";
  // Rows are stacked without overlap, and the picture holds them all.
  int32_t bottom = 0;
  for (const PanelRow& row : panel->rows()) {
    EXPECT_GE(row.y, bottom) << row.label;
    bottom = row.y + row.height;
  }
  EXPECT_GE(panel->height(), bottom);
  const auto image = panel->render();
  EXPECT_EQ(image.width, panel->width());
  EXPECT_EQ(image.height, panel->height());
}

// The plug-in decides: only the offset, roll, path, length, the up vector
// (while the up mode is 0), the bend axis and one reserved switch are enabled.
TEST_F(PanelTest, EnablingFollowsThePlugInAndTheUpMode) {
  auto panel = buildPanel();
  ASSERT_TRUE(panel);
  std::vector<int32_t> enabled;
  for (const PanelRow& row : panel->rows())
    if (row.parameter && row.parameter->type != kurvo::host::ParamType::Separator && row.enabled)
      enabled.push_back(row.parameter->id);
  std::sort(enabled.begin(), enabled.end());
  EXPECT_EQ(enabled, (std::vector<int32_t>{1000, 1001, 1002, 1014, 1023, 1202, 1210, kTitleBar}));

  deformer().parameters().setLong(kUpMode, 1);
  panel = buildPanel();
  ASSERT_TRUE(panel);
  EXPECT_FALSE(panel->rowOf(kUpVector)->enabled) << "up mode 1";
  deformer().parameters().setLong(kUpMode, 0);
  panel = buildPanel();
  EXPECT_TRUE(panel->rowOf(kUpVector)->enabled) << "up mode 0 again";
}

// Disabled labels are drawn grey: nothing in them is as bright as the text
// of an enabled label.
TEST_F(PanelTest, DisabledLabelsAreGreyed) {
  deformer().parameters().setLong(kUpMode, 2);
  auto panel = buildPanel();
  ASSERT_TRUE(panel);
  const auto image = panel->render();
  const int textBrightness = style::kText.r + style::kText.g + style::kText.b;
  auto labelBrightness = [&](int32_t id) {
    const PanelRow* row = panel->rowOf(id);
    return maxBrightness(image, style::kLabelX, row->y, style::kValueX - style::kLabelX - 6, style::kRowHeight);
  };
  EXPECT_GE(labelBrightness(1000), textBrightness - 30) << "offset, enabled";
  const int greyBrightness = style::kTextDisabled.r + style::kTextDisabled.g + style::kTextDisabled.b;
  EXPECT_LE(labelBrightness(kUpVector), greyBrightness) << "up vector with up mode 2";
  EXPECT_LE(labelBrightness(1024), greyBrightness) << "up mode";
  EXPECT_GT(labelBrightness(kUpVector), 0);
}

// The link field shows the linked object's name; an empty link shows none.
TEST_F(PanelTest, LinksShowTheLinkedObjectsName) {
  auto panel = buildPanel();
  ASSERT_TRUE(panel);
  auto fieldText = [&](const kurvo::media::Image& image, int32_t id) {
    const PanelRow* row = panel->rowOf(id);
    return maxBrightness(image, style::kValueX + 3, row->y + 4, 80, style::kRowHeight - 8);
  };
  auto image = panel->render();
  const int fieldOnly = style::kField.r + style::kField.g + style::kField.b;
  EXPECT_GT(fieldText(image, 1002), fieldOnly + 200) << "\"Helix\" is written in the field";
  EXPECT_LE(fieldText(image, 1015), fieldOnly + 60) << "no rail: an empty field";
  document_->destroy(path_);
  path_ = nullptr;
  image = panel->render();
  EXPECT_LE(fieldText(image, 1002), fieldOnly + 60) << "a freed path is no longer named";
}

TEST_F(PanelTest, ObjectsWithoutADescriptionHaveNoPanel) {
  auto panel = AttributePanel::build(session(), *path_);
  ASSERT_FALSE(panel.ok());
  EXPECT_NE(panel.message().find("\"Helix\""), std::string::npos) << panel.message();
  PanelOptions narrow;
  narrow.width = 50;
  auto tooNarrow = AttributePanel::build(session(), deformer(), narrow);
  EXPECT_FALSE(tooNarrow.ok());
}

TEST_F(PanelTest, AMissingFontIsNamed) {
  PanelOptions options;
  options.font = "/no/such/font.ttf";
  auto panel = AttributePanel::build(session(), deformer(), options);
  ASSERT_FALSE(panel.ok());
  EXPECT_NE(panel.message().find("/no/such/font.ttf"), std::string::npos) << panel.message();
  EXPECT_TRUE(session().state().descriptions.count(kDeformerType)) << "nothing else is touched";
}

}  // namespace
}  // namespace kurvo::panel::test
