#include "framework/TabFit.h"

#include <gtest/gtest.h>

TEST(TabFit, PaddingShrinksUntilTheRowFitsAndFixedTabsTakeTheWidest)
{
    // The signal editor's captions as Wine's Tahoma 8 measures them, in its
    // 285-pixel control (281 for the tabs: the selected one stands out 2
    // pixels on each side).
    const std::vector<int> signals{42, 42, 42, 42, 34, 29};
    EXPECT_EQ(FitTabPadding(signals, 281, 0), 4);
    EXPECT_EQ(TabWidths(signals, 4, 0), (std::vector<int>{50, 50, 50, 50, 42, 37}));
    EXPECT_EQ(FitTabPadding(signals, 281, 44), 2);  // six tabs of 46
    EXPECT_EQ(TabWidths(signals, 2, 44), std::vector<int>(6, 46));
    EXPECT_EQ(TabWidths(signals, 0, 44), std::vector<int>(6, 44));
    // A fixed width wider than the row allows is not asked for.
    EXPECT_EQ(FitTabPadding(signals, 281, 60), 2);

    const struct {
        std::vector<int> captions;
        int room, tabWidth;
        std::optional<int> padding;
    } cases[] = {
        {{30, 40, 40}, 275, 0, kTabPaddingDefault},  // room to spare: the default
        {{40, 40}, 80, 0, 0},                         // exactly the captions
        {{40, 40}, 79, 0, std::nullopt},              // not even without padding
        {{40, 40}, 79, 30, std::nullopt},
        {{}, 0, 0, kTabPaddingDefault},
    };
    for (const auto& c : cases) EXPECT_EQ(FitTabPadding(c.captions, c.room, c.tabWidth), c.padding) << c.room;
}
