#include "controls/ButtonGlyphModel.h"

#include <gtest/gtest.h>

TEST(ButtonColour, ShadowIsEightyPercentOfEachChannel)
{
    EXPECT_EQ(ShadowColorOf(0x8080FF), 0x6666CCu);
    EXPECT_EQ(ShadowColorOf(0xC0C0C0), 0x999999u);
    EXPECT_EQ(ShadowColorOf(0x80FFFF), 0x66CCCCu);
    EXPECT_EQ(ShadowColorOf(MakeColor(68, 68, 68)), MakeColor(54, 54, 54));
    EXPECT_EQ(ShadowColorOf(0x000001), 0x000000u);
}

TEST(GlyphCells, AssignedStripSetsTheCellCount)
{
    struct Case {
        int w, h, before, cells;
    } cases[] = {
        {64, 16, 1, 4},  // four 16 x 16 cells
        {80, 16, 2, 1},  // five would be too many: one 80 x 16 cell
        {40, 16, 3, 3},  // not a multiple: unchanged
        {32, 16, 1, 2},
        {16, 16, 4, 1},
        {0, 16, 2, 2},   // empty: unchanged
    };
    for (const auto& c : cases) {
        TGlyphCells cells;
        cells.SetNumGlyphs(c.before);
        cells.AssignStrip(c.w, c.h);
        EXPECT_EQ(cells.NumGlyphs(), c.cells) << c.w << "x" << c.h;
    }
    TGlyphCells four;
    four.AssignStrip(64, 16);
    EXPECT_EQ(four.CellSize(), (TPointI{16, 16}));
}

TEST(GlyphCells, LoadedStripKeepsTheCellCount)
{
    TGlyphCells cells;
    cells.SetNumGlyphs(2);
    cells.LoadStrip(24, 24);
    EXPECT_EQ(cells.NumGlyphs(), 2);
    EXPECT_EQ(cells.CellSize(), (TPointI{12, 24}));
}

TEST(GlyphCells, NumGlyphsClampsAndIgnoresZero)
{
    TGlyphCells cells;
    EXPECT_TRUE(cells.SetNumGlyphs(6));
    EXPECT_EQ(cells.NumGlyphs(), 4);
    EXPECT_FALSE(cells.SetNumGlyphs(0));
    EXPECT_EQ(cells.NumGlyphs(), 4);
    EXPECT_FALSE(cells.SetNumGlyphs(4));
    EXPECT_FALSE(cells.SetNumGlyphs(-3));
}

TEST(GlyphCells, StripNarrowerThanItsCellsHasNoGlyph)
{
    TGlyphCells cells;
    cells.SetNumGlyphs(4);
    cells.LoadStrip(3, 16);
    EXPECT_EQ(cells.CellSize(), (TPointI{0, 0}));
    EXPECT_FALSE(cells.HasGlyph());
    TGlyphCells none;
    EXPECT_FALSE(none.HasGlyph());
    TGlyphCells flat;
    flat.LoadStrip(16, 0);
    EXPECT_FALSE(flat.HasGlyph());
}

TEST(GlyphCells, PictureAndSourceCellPerState)
{
    TGlyphCells two;
    two.AssignStrip(32, 16);
    EXPECT_EQ(two.PictureState(bsDown), bsUp);  // pressed shows the up cell
    EXPECT_EQ(two.PictureState(bsDisabled), bsDisabled);
    EXPECT_EQ(two.SourceCell(bsDisabled), 1);
    EXPECT_EQ(two.SourceCell(bsExclusive), 0);
    TGlyphCells four;
    four.AssignStrip(64, 16);
    EXPECT_EQ(four.PictureState(bsDown), bsDown);
    EXPECT_EQ(four.SourceCell(bsDown), 2);
    EXPECT_EQ(four.SourceCell(bsExclusive), 3);
    TGlyphCells one;
    one.AssignStrip(16, 16);
    EXPECT_EQ(one.SourceCell(bsDisabled), 0);
}

TEST(ButtonLayout, GlyphAndCaptionPlaces)
{
    struct Case {
        const char* what;
        TRectI face;
        TPointI offset, glyph, text;
        TButtonLayout layout;
        int margin, spacing;
        TPointI glyphPos, textPos;
    } cases[] = {
        // (75 - 50 + 1) / 2 = 13; (25 - 16 + 1) / 2 = 5
        {"left, centred", {0, 0, 75, 25}, {0, 0}, {16, 16}, {30, 13}, blGlyphLeft, -1, 4, {13, 5}, {33, 6}},
        // (100 - 56) / 3 = 14 for the margin and the spacing
        {"thirds", {0, 0, 100, 30}, {0, 0}, {16, 16}, {40, 13}, blGlyphLeft, -1, -1, {14, 7}, {44, 9}},
        // spacing = ((100 - (4 + 16)) - 40) / 2 = 20
        {"right, fixed margin", {0, 0, 100, 30}, {0, 0}, {16, 16}, {40, 13}, blGlyphRight, 4, -1, {80, 7}, {20, 9}},
        // (60 - 33 + 1) / 2 = 14
        {"top", {0, 0, 60, 60}, {0, 0}, {16, 16}, {30, 13}, blGlyphTop, -1, 4, {22, 14}, {15, 34}},
        {"bottom", {0, 0, 60, 60}, {0, 0}, {16, 16}, {30, 13}, blGlyphBottom, 2, 4, {22, 42}, {15, 25}},
        // The glyph alone is centred: (30 - 16 + 1) / 2 = 7, plus left 2 and offset 1.
        {"no caption", {2, 3, 32, 28}, {1, 1}, {16, 16}, {0, 0}, blGlyphLeft, -1, 4, {10, 9}, {}},
        {"no glyph", {0, 0, 65, 25}, {0, 0}, {0, 0}, {35, 13}, blGlyphLeft, -1, 4, {}, {15, 6}},
    };
    for (const Case& c : cases) {
        const auto r = CalcButtonLayout(c.face, c.offset, c.glyph, c.text, c.layout, c.margin, c.spacing, false);
        EXPECT_EQ(c.glyph.X > 0 ? r.GlyphPos : TPointI{}, c.glyphPos) << c.what;
        const TPointI textPos{r.TextBounds.Left, r.TextBounds.Top};
        EXPECT_EQ(c.text.X > 0 ? textPos : TPointI{}, c.textPos) << c.what;
    }
    auto rtl = CalcButtonLayout({0, 0, 75, 25}, {0, 0}, {16, 16}, {30, 13}, blGlyphLeft, -1, 4, true);
    EXPECT_GT(rtl.GlyphPos.X, rtl.TextBounds.Left);
}

namespace {
struct FakeList : TGlyphSlots {
    using TGlyphSlots::TGlyphSlots;
};
}  // namespace

TEST(GlyphSlots, DeletedSlotsAreReused)
{
    TGlyphSlots slots(16, 16);
    bool appended = false;
    EXPECT_EQ(slots.AllocateIndex(appended), 0);
    EXPECT_TRUE(appended);
    EXPECT_EQ(slots.AllocateIndex(appended), 1);
    EXPECT_EQ(slots.AllocateIndex(appended), 2);
    slots.Delete(1);
    slots.Delete(1);  // twice changes nothing
    EXPECT_EQ(slots.Count(), 2);
    EXPECT_EQ(slots.AllocateIndex(appended), 1);
    EXPECT_FALSE(appended);
    EXPECT_EQ(slots.SlotCount(), 3);
    slots.Delete(99);
    EXPECT_EQ(slots.Count(), 3);
}

TEST(GlyphCache, SameCellSizeSharesOneListUntilTheLastGlyphGoes)
{
    TGlyphCacheT<FakeList> cache;
    TGlyphPictures<FakeList> a;
    TGlyphPictures<FakeList> b;
    TGlyphPictures<FakeList> c;
    bool appended = false;
    auto build = [&](TGlyphPictures<FakeList>& g, int w, int h, TButtonState s) {
        FakeList* list = g.AcquireList(cache, w, h);
        g.SetIndex(s, list->AllocateIndex(appended));
    };
    build(a, 16, 16, bsUp);
    build(a, 16, 16, bsDisabled);
    build(b, 16, 16, bsUp);
    build(c, 24, 24, bsUp);
    EXPECT_EQ(a.List(), b.List());
    EXPECT_NE(a.List(), c.List());
    EXPECT_EQ(cache.ListCount(), 2u);
    EXPECT_EQ(b.Index(bsUp), 2);

    a.Invalidate(cache);  // b still uses the list
    EXPECT_EQ(cache.ListCount(), 2u);
    EXPECT_EQ(a.Index(bsUp), -1);
    EXPECT_EQ(b.List()->Count(), 1);
    build(a, 16, 16, bsUp);  // reuses a freed slot
    EXPECT_EQ(a.Index(bsUp), 0);
    EXPECT_EQ(a.List(), b.List());

    a.Invalidate(cache);
    b.Invalidate(cache);
    EXPECT_EQ(cache.ListCount(), 1u);
    c.Invalidate(cache);
    EXPECT_TRUE(cache.Empty());
}
