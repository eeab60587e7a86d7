#pragma once
// Colours as the program's controls keep them: 32-bit TColor values laid out
// 0x00BBGGRR (red in the lowest byte, blue in the third). A top byte of 0x80
// marks a system colour instead, whose number is in the lowest byte; it takes
// its value from the desktop's palette when it is drawn.

#include <QColor>
#include <QPalette>
#include <cstdint>

namespace shell {

using TColor = std::uint32_t;

constexpr TColor ColorFromRgb(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
  return TColor{red} | TColor{green} << 8 | TColor{blue} << 16;
}

constexpr TColor kSystemColorFlag = 0x80000000;
constexpr bool IsSystemColor(TColor color) {
  return (color & 0xFF000000) == kSystemColorFlag;
}

constexpr TColor clBlack = ColorFromRgb(0, 0, 0);
constexpr TColor clWhite = ColorFromRgb(255, 255, 255);
constexpr TColor clRed = ColorFromRgb(255, 0, 0);        // 0x0000FF
constexpr TColor clBlue = ColorFromRgb(0, 0, 255);       // 0xFF0000
constexpr TColor clFuchsia = ColorFromRgb(255, 0, 255);  // 0xFF00FF
constexpr TColor clWindow = kSystemColorFlag | 5;
constexpr TColor clWindowText = kSystemColorFlag | 8;
constexpr TColor clHighlight = kSystemColorFlag | 13;
constexpr TColor clHighlightText = kSystemColorFlag | 14;
constexpr TColor clBtnFace = kSystemColorFlag | 15;  // 0x8000000F
constexpr TColor clBtnShadow = kSystemColorFlag | 16;
constexpr TColor clGrayText = kSystemColorFlag | 17;
constexpr TColor clBtnText = kSystemColorFlag | 18;
constexpr TColor clBtnHighlight = kSystemColorFlag | 20;
constexpr TColor clInfoText = kSystemColorFlag | 23;
constexpr TColor clInfoBk = kSystemColorFlag | 24;

// The colour to draw with. System colours come from `palette`; a system
// colour without a counterpart here is black, as the system gives for an
// unknown number.
inline QColor ToQColor(TColor color, const QPalette& palette) {
  if (!IsSystemColor(color)) return QColor(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
  switch (color & 0xFF) {
    case 5:
      return palette.color(QPalette::Base);
    case 8:
      return palette.color(QPalette::WindowText);
    case 13:
      return palette.color(QPalette::Highlight);
    case 14:
      return palette.color(QPalette::HighlightedText);
    case 15:
      return palette.color(QPalette::Button);
    case 16:
      return palette.color(QPalette::Dark);
    case 17:
      return palette.color(QPalette::Disabled, QPalette::Text);
    case 18:
      return palette.color(QPalette::ButtonText);
    case 20:
      return palette.color(QPalette::Light);
    case 23:
      return palette.color(QPalette::ToolTipText);
    case 24:
      return palette.color(QPalette::ToolTipBase);
    default:
      return QColor(Qt::black);
  }
}

}  // namespace shell
