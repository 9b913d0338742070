// The attribute panel of a scene object, as the headless host shows it: the
// object's description laid out as titled groups of rows, each with its
// label and its value, greyed where the object's plug-in answers that the
// parameter is disabled, and custom GUI elements wherever the description
// names a registered GUI's resource symbol.
//
// The panel is a picture of fixed width; its height follows the rows. Panel
// pixels are also the "screen" coordinates of the user areas inside it, so a
// pointer position given in panel pixels is what the areas poll.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/description.h"
#include "core/host_session.h"
#include "font.h"
#include "gui_element.h"
#include "painter.h"
#include "raster.h"
#include "result.h"
#include "scene/node.h"

namespace kurvo::panel {

struct PanelOptions {
  int32_t width = 460;
  int32_t fontSize = 12;       // pixels
  std::filesystem::path font;  // empty: the first of regularFontCandidates() found
  std::filesystem::path boldFont;
};

struct PanelRow {
  enum class Kind { Title, Group, Parameter, Separator, Element };
  Kind kind = Kind::Parameter;
  int32_t y = 0;
  int32_t height = 0;
  int32_t depth = 0;  // group nesting, for the indent
  std::string label;
  const kurvo::host::DescParameter* parameter = nullptr;
  bool enabled = true;
  GuiElement* element = nullptr;  // Element rows
};

class AttributePanel {
 public:
  // Lays out the panel of `object` (a plug-in object whose node type has a
  // description). Fails with a message naming the object when it has none,
  // or naming the font when no font can be opened.
  static kurvo::media::Result<std::unique_ptr<AttributePanel>> build(kurvo::host::HostSession& session,
                                                                     kurvo::host::Object& object,
                                                                     const PanelOptions& options = {});
  ~AttributePanel();
  AttributePanel(const AttributePanel&) = delete;
  AttributePanel& operator=(const AttributePanel&) = delete;

  int32_t width() const noexcept { return width_; }
  int32_t height() const noexcept { return height_; }
  const std::vector<PanelRow>& rows() const noexcept { return rows_; }
  // The row of the parameter `id`, or null.
  const PanelRow* rowOf(int32_t id) const noexcept;
  const std::vector<std::unique_ptr<GuiElement>>& elements() const noexcept { return elements_; }

  // The panel as it looks now.
  kurvo::media::Image render();

  // Moves the pointer to panel position (x, y): the host's input state
  // follows, and the user area under the pointer (if any) gets "cinf".
  void movePointer(int32_t x, int32_t y);
  // A left click at (x, y): the pointer moves there, then the area under it
  // gets the mouse event. Answers the area's answer (0 when none is there).
  int32_t click(int32_t x, int32_t y);
  // Lets `ms` of clock time pass for every element's timers.
  int32_t advanceClock(int32_t ms);
  // The user area at (x, y), or null.
  kurvo::host::UserArea* areaAt(int32_t x, int32_t y) const noexcept;

  // Takes the elements down ("dsty", then the GUI's free). Runs at
  // destruction too.
  void close();

 private:
  AttributePanel(kurvo::host::HostSession& session, kurvo::host::Object& object);
  kurvo::media::Status openFonts(const PanelOptions& options);
  void layout(const kurvo::host::Description& description);
  void addGroup(const kurvo::host::Description& description, const kurvo::host::DescGroup* group, int32_t depth,
                int32_t& y);
  void addParameter(const kurvo::host::DescParameter& p, int32_t depth, int32_t& y);
  bool enabled(const kurvo::host::DescParameter& p) const;

  void paintTitle(Painter& painter, const PanelRow& row);
  void paintGroup(Painter& painter, const PanelRow& row);
  void paintParameter(Painter& painter, const PanelRow& row);
  void paintValue(Painter& painter, const PanelRow& row, int32_t x, int32_t w);

  kurvo::host::HostSession& session_;
  kurvo::host::Object& object_;
  std::unique_ptr<Font> font_;
  std::unique_ptr<Font> bold_;
  int32_t width_ = 0;
  int32_t height_ = 0;
  std::vector<PanelRow> rows_;
  std::vector<std::unique_ptr<GuiElement>> elements_;
};

// The first existing file of `candidates`, or an empty path.
std::filesystem::path firstExisting(const std::vector<std::filesystem::path>& candidates);

}  // namespace kurvo::panel
