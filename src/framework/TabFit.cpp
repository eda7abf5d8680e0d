#include "framework/TabFit.h"

#include <algorithm>
#include <numeric>

std::vector<int> TabWidths(const std::vector<int>& CaptionWidths, int Padding, int TabWidth)
{
    std::vector<int> widths;
    for (int caption : CaptionWidths) widths.push_back(caption + 2 * Padding);
    if (TabWidth > 0 && !widths.empty()) {
        const int widest = std::max(TabWidth, *std::max_element(widths.begin(), widths.end()));
        std::fill(widths.begin(), widths.end(), widest);
    }
    return widths;
}

std::optional<int> FitTabPadding(const std::vector<int>& CaptionWidths, int Room, int TabWidth)
{
    // A fixed width asks for at least that much, never for more than the row.
    const int count = static_cast<int>(CaptionWidths.size());
    const int minimum = TabWidth > 0 && count > 0 ? std::min(TabWidth, Room / count) : 0;
    for (int padding = kTabPaddingDefault; padding >= 0; --padding) {
        const std::vector<int> widths = TabWidths(CaptionWidths, padding, minimum);
        if (std::accumulate(widths.begin(), widths.end(), 0) <= Room) return padding;
    }
    return std::nullopt;
}
