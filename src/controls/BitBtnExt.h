// Colour bitmap button: an owner-drawn push button with a caption and a
// glyph from a strip of up to four cells (up, disabled, down, exclusive) on
// a flat face of its own colour. The built state pictures live in image
// lists shared by all buttons whose cells have the same size.
//
//   auto* play = panel->Add<TBitBtnExt>({.Name = L"BitBtnExt_Play", .Left = 8, .Top = 8,
//                                        .Width = 48, .Height = 40, .Glyph = L"_SignalInactive"});
//   play->OnClick = [this](TControl*) { BitBtnExt_PlayClick(); };
//   play->Glyph().LoadFromResourceName(L"_SignalActive");  // keeps the cell count
//   mute->SetColor(0x8080FF);                               // shadow becomes 0x6666CC
#pragma once

#include "controls/ButtonGlyphModel.h"
#include "framework/StdCtrls.h"

#include <commctrl.h>

#include <functional>
#include <memory>
#include <string>

// One shared image list of glyph pictures of one cell size.
class TGlyphList : public TGlyphSlots {
public:
    TGlyphList(int width, int height);
    ~TGlyphList() override;
    TGlyphList(const TGlyphList&) = delete;
    TGlyphList& operator=(const TGlyphList&) = delete;
    HIMAGELIST Handle() const { return FHandle; }
    // Puts a picture into a free slot, masked where it has the mask colour.
    int AddMasked(HBITMAP image, COLORREF maskColor);

private:
    HIMAGELIST FHandle;
};

using TGlyphCache = TGlyphCacheT<TGlyphList>;
// The process-wide cache; none while no glyph exists.
TGlyphCache* GlyphCache();

class TButtonGlyph {
public:
    TButtonGlyph();
    ~TButtonGlyph();
    TButtonGlyph(const TButtonGlyph&) = delete;
    TButtonGlyph& operator=(const TButtonGlyph&) = delete;

    // The strip. Loading into it keeps the number of cells.
    TBitmap& Original() { return FOriginal; }
    // Assigns a strip: the number of cells follows its width and height.
    void SetGlyph(const TBitmap* value);
    int NumGlyphs() const { return FCells.NumGlyphs(); }
    void SetNumGlyphs(int value);
    const TGlyphCells& Cells() const { return FCells; }
    TGlyphList* List() const { return FPictures.List(); }
    int PictureIndex(TButtonState state) const { return FPictures.Index(state); }

    // Builds (once) the picture of a state; -1 when there is no glyph.
    int CreateButtonGlyph(TButtonState state);
    // Drops every built picture.
    void Invalidate();

    // Draws glyph and caption; returns the caption bounds.
    TRectI Draw(HDC dc, const TRectI& client, TPointI offset, const std::wstring& caption, TButtonLayout layout,
                int margin, int spacing, TButtonState state, bool transparent, UINT biDiFlags, TColor baseColor);

    std::function<void()> FOnChange;

private:
    void GlyphChanged();
    void DrawButtonGlyph(HDC dc, TPointI pos, TButtonState state, bool transparent, TColor baseColor);
    void DrawButtonText(HDC dc, const std::wstring& caption, TRectI bounds, TButtonState state, UINT biDiFlags);

    TBitmap FOriginal;
    TGlyphCells FCells;
    TGlyphPictures<TGlyphList> FPictures;
    TColor FTransparentColor = clOlive;
};

struct TBitBtnExtArgs {
    KRV_CONTROL_ARGS  // Color is the face colour (default clBtnFace)
    std::wstring Caption{};
    bool Default = false;
    bool Cancel = false;
    std::wstring Glyph{};    // bitmap resource assigned as the strip
    int NumGlyphs = 0;     // 0: as the strip gives
    TButtonLayout Layout = blGlyphLeft;
    int Margin = -1;
    int Spacing = 4;
    bool PushSink = false;
    bool SelectSink = false;
};

class TBitBtnExt : public TButton {
public:
    using TArgs = TBitBtnExtArgs;
    TBitBtnExt(TWinControl* parent, const TBitBtnExtArgs& args);

    // Face colour; the pressed face's outline becomes 80 % of it.
    void SetColor(TColor color) override;
    TColor ColorShadow() const { return FColorShadow; }

    TBitmap& Glyph() { return FGlyph.Original(); }
    void SetGlyph(const TBitmap* value);
    // Loads a bitmap resource into the glyph (the cell count stays).
    void LoadGlyph(const std::wstring& resourceName) { FGlyph.Original().LoadFromResourceName(resourceName); }
    const TButtonGlyph& ButtonGlyph() const { return FGlyph; }

    TButtonLayout Layout() const { return FLayout; }
    void SetLayout(TButtonLayout value);
    int Margin() const { return FMargin; }
    void SetMargin(int value);
    int NumGlyphs() const { return FGlyph.NumGlyphs(); }
    void SetNumGlyphs(int value);
    bool PushSink() const { return FPushSink; }
    void SetPushSink(bool value);
    bool SelectSink() const { return FSelectSink; }
    void SetSelectSink(bool value);
    int Spacing() const { return FSpacing; }
    void SetSpacing(int value);
    bool IsFocused() const { return FIsFocused; }

    bool Reflected(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

protected:
    void CreateParams(TCreateParams& params) override;
    void CreateWnd() override;
    void SetButtonStyle(bool active) override;
    void DrawItem(const DRAWITEMSTRUCT& item);

private:
    TButtonGlyph FGlyph;
    TColor FColorShadow = clBtnShadow;
    TButtonLayout FLayout;
    bool FPushSink;
    bool FSelectSink;
    int FSpacing;
    int FMargin;
    bool FIsFocused = false;
};
