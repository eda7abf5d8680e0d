// Colour values of the window layer: 0x00BBGGRR like the Windows COLORREF,
// plus system colours, which carry 0xFF in the top byte and the system
// colour index in the low byte and are resolved when they are drawn.
#pragma once

#include <cstdint>

using TColor = std::uint32_t;

constexpr TColor MakeColor(unsigned r, unsigned g, unsigned b)
{
    return (r & 0xFFu) | ((g & 0xFFu) << 8) | ((b & 0xFFu) << 16);
}
constexpr unsigned ColorRed(TColor c) { return c & 0xFFu; }
constexpr unsigned ColorGreen(TColor c) { return (c >> 8) & 0xFFu; }
constexpr unsigned ColorBlue(TColor c) { return (c >> 16) & 0xFFu; }

constexpr TColor SystemColorFlag = 0xFF000000u;
constexpr bool IsSystemColor(TColor c) { return (c & 0xFF000000u) == SystemColorFlag; }
constexpr int SystemColorIndex(TColor c) { return static_cast<int>(c & 0xFFu); }

// System colours (indices of GetSysColor).
constexpr TColor clScrollBar = SystemColorFlag | 0;
constexpr TColor clBackground = SystemColorFlag | 1;
constexpr TColor clWindow = SystemColorFlag | 5;
constexpr TColor clWindowFrame = SystemColorFlag | 6;
constexpr TColor clWindowText = SystemColorFlag | 8;
constexpr TColor clHighlight = SystemColorFlag | 13;
constexpr TColor clHighlightText = SystemColorFlag | 14;
constexpr TColor clBtnFace = SystemColorFlag | 15;
constexpr TColor clBtnShadow = SystemColorFlag | 16;
constexpr TColor clGrayText = SystemColorFlag | 17;
constexpr TColor clBtnText = SystemColorFlag | 18;
constexpr TColor clBtnHighlight = SystemColorFlag | 20;

// Plain colours.
constexpr TColor clBlack = 0x000000;
constexpr TColor clMaroon = 0x000080;
constexpr TColor clGreen = 0x008000;
constexpr TColor clOlive = 0x008080;
constexpr TColor clNavy = 0x800000;
constexpr TColor clPurple = 0x800080;
constexpr TColor clTeal = 0x808000;
constexpr TColor clGray = 0x808080;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clLime = 0x00FF00;
constexpr TColor clYellow = 0x00FFFF;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clFuchsia = 0xFF00FF;
constexpr TColor clAqua = 0xFFFF00;
constexpr TColor clWhite = 0xFFFFFF;
// "No colour": the control paints no background of its own.
constexpr TColor clNone = 0x1FFFFFFF;
