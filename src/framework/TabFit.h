// How wide the tabs of a page control are, so that every caption reads in
// full and all tabs stand in one row within the control.
#pragma once

#include <optional>
#include <vector>

// The space beside a caption on each side of its tab by default.
inline constexpr int kTabPaddingDefault = 6;

// The tab widths for the captions' text widths: each caption with Padding on
// both sides; with a fixed TabWidth (above 0) every tab is as wide as the
// widest of them, and at least TabWidth.
std::vector<int> TabWidths(const std::vector<int>& CaptionWidths, int Padding, int TabWidth);

// The largest padding from kTabPaddingDefault down to 0 with which the tabs
// together are at most Room wide; none when even no padding is too wide
// (a smaller font is then needed). A fixed TabWidth that would not leave the
// row in the control counts as Room divided among the tabs.
std::optional<int> FitTabPadding(const std::vector<int>& CaptionWidths, int Room, int TabWidth);
