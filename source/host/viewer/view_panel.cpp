// The attribute panel of the selected object, for the page: its rows as the
// headless panel lays them out, with values in scene-file form, and its
// custom elements as pixels that follow the pointer and the clock.
#include <cstring>

#include "param_json.h"
#include "view_session.h"

namespace kurvo::viewer {
namespace {

using kurvo::host::ParamType;
using kurvo::panel::PanelRow;

const char* rowKind(PanelRow::Kind kind) {
  switch (kind) {
    case PanelRow::Kind::Title: return "title";
    case PanelRow::Kind::Group: return "group";
    case PanelRow::Kind::Parameter: return "parameter";
    case PanelRow::Kind::Separator: return "separator";
    case PanelRow::Kind::Element: return "element";
  }
  return "parameter";
}

// The description's type names, but "curve" for a spline curve, as the page
// calls it.
const char* typeName(ParamType type) {
  return type == ParamType::Spline ? "curve" : kurvo::host::paramTypeName(type);
}

std::string keyOf(const kurvo::host::DescParameter& p) { return p.symbol.empty() ? std::to_string(p.id) : p.symbol; }

}  // namespace

void ViewSession::closePanel() {
  if (panel_) panel_->close();
  panel_.reset();
  panelSerial_ = 0;
}

kurvo::media::Result<nlohmann::json> ViewSession::panel(uint64_t serial) {
  kurvo::host::Object* object = find(serial);
  if (!object) return kurvo::media::Status::failure("no object with id " + std::to_string(serial) + " in the scene");
  closePanel();
  auto built = kurvo::panel::AttributePanel::build(session_, *object);
  if (!built) return built.status();
  panel_ = std::move(built.value());
  panelSerial_ = serial;
  return panelRows();
}

nlohmann::json ViewSession::panelRows() {
  kurvo::host::Object* object = find(panelSerial_);
  if (!panel_ || !object) return nlohmann::json::object();
  const auto& descriptions = session_.state().descriptions;
  const auto it = descriptions.find(object->type());
  const kurvo::host::Description* description = it == descriptions.end() ? nullptr : &it->second;
  const nlohmann::ordered_json values =
      kurvo::scenefile::writeParams(object->parameters(), description, *document_, [](int32_t) { return false; });

  nlohmann::json links = nlohmann::json::array();
  document_->forEachObject([&](kurvo::host::Object& o) {
    if (!o.isGenerated() && o.role() != kurvo::host::ObjectRole::arrayGeometry) links.push_back(o.name());
  });

  nlohmann::json rows = nlohmann::json::array();
  size_t elementIndex = 0;
  for (const PanelRow& row : panel_->rows()) {
    nlohmann::json r = {{"kind", rowKind(row.kind)}, {"label", row.label}, {"depth", row.depth},
                        {"enabled", row.enabled}, {"y", row.y},         {"height", row.height}};
    if (const auto* p = row.parameter) {
      const std::string key = keyOf(*p);
      r["key"] = key;
      r["id"] = p->id;
      r["type"] = typeName(p->type);
      r["unit"] = p->unit;
      if (p->readout) r["readonly"] = true;
      // Animated: an edit sets the track's key at the current frame.
      if (trackOf(panelSerial_, p->id)) r["animated"] = true;
      if (p->min) r["min"] = *p->min;
      if (p->max) r["max"] = *p->max;
      if (p->step) r["step"] = *p->step;
      if (!p->options.empty()) {
        nlohmann::json options = nlohmann::json::array();
        for (const auto& [value, label] : p->options) options.push_back({{"value", value}, {"label", label}});
        r["options"] = std::move(options);
      }
      if (values.contains(key)) r["value"] = nlohmann::json::parse(values[key].dump());
    }
    if (row.kind == PanelRow::Kind::Element) r["element"] = elementIndex++;
    rows.push_back(std::move(r));
  }
  return {{"object", panelSerial_}, {"name", object->name()}, {"width", panel_->width()}, {"frame", frame_},
          {"rows", std::move(rows)}, {"objects", std::move(links)}};
}

std::string ViewSession::elementPixels(size_t index) {
  if (!panel_) return {};
  const PanelRow* found = nullptr;
  size_t seen = 0;
  for (const PanelRow& row : panel_->rows())
    if (row.kind == PanelRow::Kind::Element && seen++ == index) found = &row;
  if (!found) return {};
  const kurvo::media::Image image = panel_->render();
  const int32_t top = std::max(0, found->y);
  const int32_t bottom = std::min(image.height, found->y + found->height);
  const uint32_t width = static_cast<uint32_t>(image.width);
  const uint32_t height = static_cast<uint32_t>(std::max(0, bottom - top));
  std::string out(8 + size_t(width) * height * 4, '\0');
  std::memcpy(out.data(), &width, 4);
  std::memcpy(out.data() + 4, &height, 4);
  auto* rgba = reinterpret_cast<uint8_t*>(out.data() + 8);
  for (uint32_t y = 0; y < height; ++y)
    for (uint32_t x = 0; x < width; ++x) {
      const auto p = image.pixel(static_cast<int>(x), static_cast<int>(top + y));
      uint8_t* o = rgba + (size_t(y) * width + x) * 4;
      o[0] = p[0];
      o[1] = p[1];
      o[2] = p[2];
      o[3] = 255;
    }
  return out;
}

void ViewSession::pointer(int32_t x, int32_t y) {
  if (panel_) panel_->movePointer(x, y);
}

std::string ViewSession::click(int32_t x, int32_t y) {
  if (!panel_) return {};
  const size_t before = session_.console().lines().size();
  panel_->click(x, y);
  const std::vector<std::string> lines = session_.console().lines();
  static constexpr std::string_view kOpen = "Open HTML: ";
  for (size_t i = before; i < lines.size(); ++i)
    if (lines[i].rfind(kOpen, 0) == 0) return lines[i].substr(kOpen.size());
  return {};
}

void ViewSession::tick(int32_t ms) {
  if (panel_) panel_->advanceClock(ms);
}

}  // namespace kurvo::viewer
