// Portable arithmetic of the colour bitmap button: the face and shadow
// colours, the cells of a glyph strip, the placement of glyph and caption,
// and the bookkeeping of the image lists that all buttons share.
#pragma once

#include "framework/Colors.h"
#include "framework/Geometry.h"

#include <cstdint>
#include <memory>
#include <vector>

enum TButtonLayout : std::uint8_t { blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom };
enum TButtonState : std::uint8_t { bsUp, bsDisabled, bsDown, bsExclusive };

// The outline colour of the pressed face: each channel of the face colour
// (already resolved to RGB) times 80 / 100.
TColor ShadowColorOf(TColor rgb);

// The strip of a button glyph: up to four cells (up, disabled, down,
// exclusive) side by side.
class TGlyphCells {
public:
    int StripWidth() const { return FWidth; }
    int StripHeight() const { return FHeight; }
    int NumGlyphs() const { return FNumGlyphs; }

    // A bitmap assigned to the glyph: a width that is a whole multiple of
    // the height gives that many cells (1 when more than 4); any other
    // width keeps the number of cells.
    void AssignStrip(int width, int height);
    // A bitmap loaded into the glyph (a resource): the number of cells stays.
    void LoadStrip(int width, int height);
    // Returns true when the number changed (0 and the current value are
    // ignored; values above 4 become 4).
    bool SetNumGlyphs(int value);

    // Size of one cell, or (0, 0) when the strip gives no usable cell (no
    // strip, or a strip narrower than its number of cells).
    TPointI CellSize() const;
    bool HasGlyph() const { return CellSize().X > 0; }

    // The state whose picture serves a state: the pressed state of a strip
    // with fewer than three cells shows the up picture.
    TButtonState PictureState(TButtonState state) const;
    // The cell a state's picture is taken from: its own, or the first when
    // the strip has no such cell.
    int SourceCell(TButtonState state) const;

private:
    int FWidth = 0;
    int FHeight = 0;
    int FNumGlyphs = 1;
};

struct TButtonLayoutResult {
    TPointI GlyphPos;
    TRectI TextBounds;
};

// Places glyph and caption on the face. Margin -1 centres, Spacing -1 spreads
// the free space; rightToLeft swaps the left and right layouts.
TButtonLayoutResult CalcButtonLayout(const TRectI& client, TPointI offset, TPointI glyphSize,
                                     TPointI textSize, TButtonLayout layout, int margin, int spacing,
                                     bool rightToLeft);

// Slots of one image list: a slot whose picture was deleted is reused by the
// next picture.
class TGlyphSlots {
public:
    TGlyphSlots(int width, int height) : FWidth(width), FHeight(height) {}
    virtual ~TGlyphSlots() = default;
    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    int Count() const { return FCount; }
    int SlotCount() const { return static_cast<int>(FUsed.size()); }

    // The first free slot (a new one at the end when none is free); marks it
    // used. appended tells whether the list has to grow by one image.
    int AllocateIndex(bool& appended);
    void Delete(int index);

private:
    int FWidth;
    int FHeight;
    std::vector<bool> FUsed;
    int FCount = 0;
};

// The lists of all glyphs, one per cell size.
template <class TList>
class TGlyphCacheT {
public:
    TList* GetList(int width, int height)
    {
        for (auto it = FLists.rbegin(); it != FLists.rend(); ++it)
            if ((*it)->Width() == width && (*it)->Height() == height) return it->get();
        FLists.push_back(std::make_unique<TList>(width, height));
        return FLists.back().get();
    }
    void ReturnList(TList* list)
    {
        if (list == nullptr || list->Count() != 0) return;
        for (auto it = FLists.begin(); it != FLists.end(); ++it) {
            if (it->get() == list) {
                FLists.erase(it);
                return;
            }
        }
    }
    bool Empty() const { return FLists.empty(); }
    std::size_t ListCount() const { return FLists.size(); }

private:
    std::vector<std::unique_ptr<TList>> FLists;
};

// The built pictures of one glyph: an image index per state in a shared
// list, -1 while not built.
template <class TList>
class TGlyphPictures {
public:
    TList* List() const { return FList; }
    int Index(TButtonState state) const { return FIndex[state]; }

    // The list for the cell size, taken from the cache on first use.
    TList* AcquireList(TGlyphCacheT<TList>& cache, int width, int height)
    {
        if (FList == nullptr) FList = cache.GetList(width, height);
        return FList;
    }
    void SetIndex(TButtonState state, int index) { FIndex[state] = index; }

    // Drops every built picture and hands the list back.
    void Invalidate(TGlyphCacheT<TList>& cache)
    {
        for (int& index : FIndex) {
            if (index != -1 && FList != nullptr) FList->Delete(index);
            index = -1;
        }
        cache.ReturnList(FList);
        FList = nullptr;
    }

private:
    TList* FList = nullptr;
    int FIndex[4] = {-1, -1, -1, -1};
};
