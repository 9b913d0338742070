// Drawing the panel: title, group bars, labels and value widgets, and the
// custom GUI elements' canvases.
#include <algorithm>
#include <cmath>

#include "attribute_panel.h"
#include "core/custom_types.h"
#include "panel_style.h"
#include "scene/document.h"
#include "value_format.h"

namespace kurvo::panel {

using kurvo::host::ParamType;

namespace {

// The baseline that centres a line of `font` in a box from y of height h.
int32_t baselineIn(Font& font, int32_t y, int32_t h) {
  return y + (h - font.lineHeight()) / 2 + font.ascent();
}

void field(Painter& painter, int32_t x, int32_t y, int32_t w, bool enabled) {
  painter.fill(x, y, w, style::kFieldHeight, enabled ? style::kField : style::kFieldDisabled);
  painter.frame(x, y, w, style::kFieldHeight, style::kFieldBorder);
}

// A filled triangle pointing down, `size` wide, top left at (x, y).
void downTriangle(Painter& painter, int32_t x, int32_t y, int32_t size, Colour c) {
  for (int32_t r = 0; r <= size / 2; ++r) painter.fill(x + r, y + r, size - 2 * r, 1, c);
}

}  // namespace

kurvo::media::Image AttributePanel::render() {
  kurvo::media::Image image = blankImage(width_, height_, style::kBackground);
  Painter painter(image);
  for (const PanelRow& row : rows_) {
    switch (row.kind) {
      case PanelRow::Kind::Title:
        paintTitle(painter, row);
        break;
      case PanelRow::Kind::Group:
        paintGroup(painter, row);
        break;
      case PanelRow::Kind::Parameter:
        paintParameter(painter, row);
        break;
      case PanelRow::Kind::Separator: {
        const int32_t x = style::kLabelX + row.depth * style::kIndent;
        painter.fill(x, row.y + row.height / 2, width_ - x - style::kRightMargin, 1, style::kGuide);
        break;
      }
      case PanelRow::Kind::Element:
        if (!row.label.empty()) {
          const int32_t x = style::kLabelX + row.depth * style::kIndent;
          painter.text(*font_, x, baselineIn(*font_, row.y, style::kRowHeight), row.label,
                       row.enabled ? style::kText : style::kTextDisabled, style::kValueX - 6);
        }
        row.element->paint(painter);
        break;
    }
  }
  return image;
}

void AttributePanel::paintTitle(Painter& painter, const PanelRow& row) {
  painter.fill(0, row.y, width_, row.height, style::kTitleBackground);
  painter.text(*bold_, 10, baselineIn(*bold_, row.y, row.height), row.label, style::kText, width_ - 10);
}

void AttributePanel::paintGroup(Painter& painter, const PanelRow& row) {
  const int32_t x = row.depth * style::kIndent;
  painter.fill(x, row.y, width_ - x, row.height, style::kGroupBackground);
  downTriangle(painter, x + 7, row.y + row.height / 2 - 2, 9, style::kText);
  painter.text(*bold_, x + 22, baselineIn(*bold_, row.y, row.height), row.label, style::kText, width_ - 6);
}

void AttributePanel::paintParameter(Painter& painter, const PanelRow& row) {
  const int32_t x = style::kLabelX + (row.depth > 0 ? row.depth - 1 : 0) * style::kIndent;
  painter.text(*font_, x, baselineIn(*font_, row.y, style::kRowHeight), row.label,
               row.enabled ? style::kText : style::kTextDisabled, style::kValueX - 6);
  paintValue(painter, row, style::kValueX, width_ - style::kValueX - style::kRightMargin);
}

void AttributePanel::paintValue(Painter& painter, const PanelRow& row, int32_t x, int32_t w) {
  const kurvo::host::DescParameter& p = *row.parameter;
  const kurvo::host::Container& params = object_.parameters();
  const Colour text = row.enabled ? style::kText : style::kTextDisabled;
  const Colour accent = row.enabled ? style::kAccent : style::kAccentDisabled;
  const int32_t fy = row.y + (style::kRowHeight - style::kFieldHeight) / 2;
  const int32_t baseline = baselineIn(*font_, fy, style::kFieldHeight);
  auto textField = [&](int32_t fx, int32_t fw, const std::string& value) {
    field(painter, fx, fy, fw, row.enabled);
    painter.text(*font_, fx + 5, baseline, value, text, fx + fw - 3);
  };

  switch (p.type) {
    case ParamType::Bool: {
      const int32_t by = row.y + (style::kRowHeight - style::kCheckSize) / 2;
      painter.fill(x, by, style::kCheckSize, style::kCheckSize, row.enabled ? style::kField : style::kFieldDisabled);
      painter.frame(x, by, style::kCheckSize, style::kCheckSize, style::kFieldBorder);
      if (params.getLong(p.id) != 0) {
        // A tick: short stroke down, long stroke up, two pixels thick.
        for (int k = 0; k < 2; ++k) {
          const auto fx = static_cast<float>(x), fby = static_cast<float>(by + k);
          painter.line(fx + 3, fby + 7, fx + 6, fby + 10, accent);
          painter.line(fx + 6, fby + 10, fx + 11, fby + 3, accent);
        }
      }
      break;
    }
    case ParamType::Long:
      if (!p.options.empty()) {
        const int32_t fw = std::min(w, 170);
        textField(x, fw, optionLabel(p, params.getLong(p.id)));
        downTriangle(painter, x + fw - 14, fy + 7, 8, text);
      } else {
        textField(x, std::min(w, style::kNumberFieldWidth), std::to_string(params.getLong(p.id)));
      }
      break;
    case ParamType::Real:
      textField(x, std::min(w, style::kNumberFieldWidth), formatReal(params.getReal(p.id), p.unit));
      break;
    case ParamType::Vector: {
      const KhVector v = params.getVector(p.id);
      const float parts[3] = {v.x, v.y, v.z};
      const char* names[3] = {"X", "Y", "Z"};
      const int32_t gap = 6;
      const int32_t fw = (w - 2 * gap) / 3;
      for (int i = 0; i < 3; ++i) {
        const int32_t fx = x + i * (fw + gap);
        field(painter, fx, fy, fw, row.enabled);
        const int32_t after = painter.text(*font_, fx + 5, baseline, names[i], style::kTextDisabled, fx + fw - 3);
        painter.text(*font_, after + 6, baseline, formatReal(parts[i], p.unit), text, fx + fw - 3);
      }
      break;
    }
    case ParamType::Link: {
      std::string name;
      const kurvo::host::Data* d = params.find(p.id);
      kurvo::host::Document* doc = object_.document();
      if (d && doc)
        if (kurvo::host::Node* target = doc->findLive(d->getLink())) name = target->name();
      textField(x, w, name);
      break;
    }
    case ParamType::String:
    case ParamType::Filename: {
      const kurvo::host::Data* d = params.find(p.id);
      textField(x, w, d ? d->getText() : std::string());
      break;
    }
    case ParamType::Matrix:
      textField(x, w, "(matrix)");
      break;
    case ParamType::Spline: {
      // The curve over [0, 1], scaled so that 0 and 1 always show.
      const int32_t h = style::kCurveRowHeight - 6;
      const int32_t top = row.y + 3;
      const int32_t pw = std::min(w, 200);
      painter.fill(x, top, pw, h, row.enabled ? style::kField : style::kFieldDisabled);
      painter.frame(x, top, pw, h, style::kFieldBorder);
      const kurvo::host::Data* d = params.find(p.id);
      const auto* curve = d ? static_cast<const kurvo::host::CurveData*>(d->getCustom(KH_CUSTOMDATA_SPLINE)) : nullptr;
      if (!curve) {
        painter.text(*font_, x + 6, baselineIn(*font_, top, h), "(no curve)", text, x + pw - 3);
        break;
      }
      const int32_t samples = pw - 6;
      std::vector<float> ys(static_cast<size_t>(samples) + 1);
      float lo = 0.0f, hi = 1.0f;
      for (int32_t i = 0; i <= samples; ++i) {
        ys[static_cast<size_t>(i)] = curve->curve.Evaluate(static_cast<float>(i) / static_cast<float>(samples));
        if (std::isfinite(ys[static_cast<size_t>(i)])) {
          lo = std::min(lo, ys[static_cast<size_t>(i)]);
          hi = std::max(hi, ys[static_cast<size_t>(i)]);
        }
      }
      const float innerTop = static_cast<float>(top + 4), innerH = static_cast<float>(h - 8);
      auto screenY = [&](float v) { return innerTop + (hi - v) / (hi - lo) * innerH; };
      painter.line(static_cast<float>(x + 3), screenY(0.0f), static_cast<float>(x + pw - 4), screenY(0.0f),
                   style::kGuide);
      painter.line(static_cast<float>(x + 3), screenY(1.0f), static_cast<float>(x + pw - 4), screenY(1.0f),
                   style::kGuide);
      for (int32_t i = 0; i < samples; ++i) {
        const float a = ys[static_cast<size_t>(i)], b = ys[static_cast<size_t>(i) + 1];
        if (!std::isfinite(a) || !std::isfinite(b)) continue;
        painter.line(static_cast<float>(x + 3 + i), screenY(a), static_cast<float>(x + 4 + i), screenY(b), accent);
      }
      break;
    }
    case ParamType::Gradient: {
      const int32_t top = row.y + 3;
      const int32_t h = style::kGradientRowHeight - 6;
      const int32_t pw = std::min(w, 200);
      const kurvo::host::Data* d = params.find(p.id);
      const auto* g = d ? static_cast<const kurvo::host::GradientData*>(d->getCustom(KH_CUSTOMDATA_GRADIENT)) : nullptr;
      if (!g) {
        textField(x, pw, "(no gradient)");
        break;
      }
      kurvo::geo::Gradient copy = g->gradient;
      if (copy.InitRender()) {
        for (int32_t i = 0; i < pw; ++i) {
          const Vector c = copy.CalcGradientPixel(static_cast<float>(i) / static_cast<float>(std::max(1, pw - 1)));
          painter.fill(x + i, top, 1, h, colourOf(c.x, c.y, c.z));
        }
        copy.FreeRender();
      }
      painter.frame(x, top, pw, h, style::kFieldBorder);
      break;
    }
    case ParamType::Separator:
      break;
  }
}

}  // namespace kurvo::panel
