// Building the panel: fonts, the rows from the description, the enabling
// answers of the object's plug-in, and the custom GUI elements.
#include <algorithm>
#include <system_error>

#include "attribute_panel.h"
#include "core/desc_id.h"
#include "kh_plugin.h"
#include "panel_style.h"
#include "scene/document.h"
#include "value_format.h"

namespace kurvo::panel {

using kurvo::host::DescGroup;
using kurvo::host::Description;
using kurvo::host::DescParameter;
using kurvo::host::ParamType;
using kurvo::media::Result;
using kurvo::media::Status;

std::filesystem::path firstExisting(const std::vector<std::filesystem::path>& candidates) {
  for (const auto& file : candidates) {
    std::error_code ec;
    if (std::filesystem::is_regular_file(file, ec)) return file;
  }
  return {};
}

AttributePanel::AttributePanel(kurvo::host::HostSession& session, kurvo::host::Object& object)
    : session_(session), object_(object) {}

AttributePanel::~AttributePanel() { close(); }

Result<std::unique_ptr<AttributePanel>> AttributePanel::build(kurvo::host::HostSession& session,
                                                             kurvo::host::Object& object,
                                                             const PanelOptions& options) {
  const std::string who = "object \"" + object.name() + "\"";
  const auto& descriptions = session.state().descriptions;
  const auto found = descriptions.find(object.type());
  if (found == descriptions.end())
    return Status::failure(who + ": has no attribute description (only objects, tags and shaders of plug-ins have "
                                 "a panel)");
  if (options.width < kurvo::panel::style::kValueX + 80 || options.width > 4096)
    return Status::failure("panel width " + std::to_string(options.width) + " is out of range (" +
                           std::to_string(kurvo::panel::style::kValueX + 80) + " to 4096)");
  std::unique_ptr<AttributePanel> panel(new AttributePanel(session, object));
  panel->width_ = options.width;
  if (auto s = panel->openFonts(options); !s) return s;
  panel->layout(found->second);
  return panel;
}

Status AttributePanel::openFonts(const PanelOptions& options) {
  const std::filesystem::path regular = options.font.empty() ? firstExisting(regularFontCandidates()) : options.font;
  if (regular.empty())
    return Status::failure("no font found (looked for " + regularFontCandidates().front().string() +
                           "; install fonts-dejavu-core)");
  auto font = Font::open(regular, options.fontSize);
  if (!font) return font.status();
  font_ = std::move(font.value());
  // Titles fall back to the regular face when there is no bold one.
  std::filesystem::path bold = options.boldFont.empty() ? firstExisting(boldFontCandidates()) : options.boldFont;
  if (bold.empty()) bold = regular;
  auto boldFont = Font::open(bold, options.fontSize);
  if (!boldFont) return boldFont.status();
  bold_ = std::move(boldFont.value());
  return Status::success();
}

void AttributePanel::layout(const Description& description) {
  int32_t y = 0;
  PanelRow title;
  title.kind = PanelRow::Kind::Title;
  title.y = y;
  title.height = style::kTitleHeight;
  const std::string typeName = object_.plugin() ? object_.plugin()->name : description.name;
  title.label = typeName + " [" + object_.name() + "]";
  rows_.push_back(title);
  y += title.height;

  // Parameters outside every group come first, then the groups in file order
  // (a nested group follows its parent's own rows).
  for (const DescParameter& p : description.parameters)
    if (p.groupId == 0) addParameter(p, 0, y);
  for (const DescGroup& g : description.groups)
    if (g.parentId == 0) addGroup(description, &g, 0, y);
  height_ = y + style::kGroupGap;
}

void AttributePanel::addGroup(const Description& description, const DescGroup* group, int32_t depth, int32_t& y) {
  PanelRow row;
  row.kind = PanelRow::Kind::Group;
  row.y = y;
  row.height = style::kGroupHeight;
  row.depth = depth;
  row.label = group->label.empty() ? group->symbol : group->label;
  rows_.push_back(row);
  y += row.height + 2;
  for (const DescParameter& p : description.parameters)
    if (p.groupId == group->id) addParameter(p, depth + 1, y);
  for (const DescGroup& g : description.groups)
    if (g.parentId == group->id) addGroup(description, &g, depth + 1, y);
  y += style::kGroupGap;
}

void AttributePanel::addParameter(const DescParameter& p, int32_t depth, int32_t& y) {
  if (p.hidden) return;
  PanelRow row;
  row.y = y;
  row.depth = depth;
  row.parameter = &p;
  row.label = p.label;
  row.enabled = enabled(p);
  if (p.type == ParamType::Separator) {
    row.kind = PanelRow::Kind::Separator;
    row.height = style::kSeparatorHeight;
  } else if (!p.gui.empty()) {
    // A named GUI that no plug-in answers, or whose plug-in makes no
    // element, leaves the plain row.
    const auto* gui = findCustomGui(session_.registry(), p.gui, dataTypeOf(p.type));
    if (gui) {
      static const kurvo::host::Data kEmpty;
      const kurvo::host::Data* value = object_.parameters().find(p.id);
      // A label puts the element in the value column; without one (the
      // description then reads the symbol as the label) it spans the panel,
      // as a banner should.
      const bool spans = p.label.empty() || p.label == p.symbol;
      if (spans) row.label.clear();
      const int32_t x = spans ? 0 : style::kValueX;
      const int32_t w = width_ - x - (spans ? 0 : style::kRightMargin);
      auto element =
          GuiElement::create(session_, *gui, value ? *value : kEmpty, x, y, w, style::kBackground);
      if (element) {
        row.kind = PanelRow::Kind::Element;
        row.element = element.value().get();
        row.height = row.element->height() + style::kElementGap;
        elements_.push_back(std::move(element.value()));
      } else {
        row.label = p.label;
      }
    }
  }
  if (row.height == 0) {
    row.kind = PanelRow::Kind::Parameter;
    row.height = p.type == ParamType::Spline     ? style::kCurveRowHeight
                 : p.type == ParamType::Gradient ? style::kGradientRowHeight
                                                 : style::kRowHeight;
  }
  rows_.push_back(row);
  y += row.height;
}

bool AttributePanel::enabled(const DescParameter& p) const {
  const KhNodePlugin* record = object_.nodeRecord();
  // Without the plug-in's answer the host shows a parameter enabled.
  if (!record || !record->get_d_enabling || !object_.pluginData()) return true;
  kurvo::host::DescId id;
  id.levels.push_back(KhDescLevel{p.id, dataTypeOf(p.type), 0});
  static const kurvo::host::Data kEmpty;
  const kurvo::host::Data* value = object_.parameters().find(p.id);
  const kurvo::host::Container itemDescription;
  return record->get_d_enabling(object_.pluginData(), object_.handle(), id.handle(), &(value ? *value : kEmpty).self,
                                0, &itemDescription.self) != 0;
}

const PanelRow* AttributePanel::rowOf(int32_t id) const noexcept {
  for (const PanelRow& row : rows_)
    if (row.parameter && row.parameter->id == id) return &row;
  return nullptr;
}

}  // namespace kurvo::panel
