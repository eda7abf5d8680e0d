#include "controls/BitBtnExt.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

std::unique_ptr<TGlyphCache>& CacheSlot()
{
    static std::unique_ptr<TGlyphCache> cache;
    return cache;
}

// Pixel access to a 24-bit device-independent bitmap.
struct TPixels {
    explicit TPixels(HBITMAP bitmap)
    {
        DIBSECTION ds{};
        GetObjectW(bitmap, sizeof ds, &ds);
        Bits = static_cast<unsigned char*>(ds.dsBm.bmBits);
        Width = ds.dsBm.bmWidth;
        Height = ds.dsBm.bmHeight;
        Stride = ds.dsBm.bmWidthBytes;
        GdiFlush();
    }
    COLORREF Get(int x, int y) const
    {
        const unsigned char* p = Bits + static_cast<std::ptrdiff_t>(Height - 1 - y) * Stride + x * 3;
        return RGB(p[2], p[1], p[0]);
    }
    void Set(int x, int y, COLORREF c)
    {
        unsigned char* p = Bits + static_cast<std::ptrdiff_t>(Height - 1 - y) * Stride + x * 3;
        p[0] = GetBValue(c);
        p[1] = GetGValue(c);
        p[2] = GetRValue(c);
    }
    unsigned char* Bits;
    int Width, Height, Stride;
};

}  // namespace

TGlyphCache* GlyphCache() { return CacheSlot().get(); }

// --- TGlyphList -----------------------------------------------------------

TGlyphList::TGlyphList(int width, int height)
    : TGlyphSlots(width, height), FHandle(ImageList_Create(width, height, ILC_COLOR24 | ILC_MASK, 4, 4))
{
}

TGlyphList::~TGlyphList()
{
    if (FHandle) ImageList_Destroy(FHandle);
}

int TGlyphList::AddMasked(HBITMAP image, COLORREF maskColor)
{
    bool appended = false;
    const int index = AllocateIndex(appended);
    const int w = Width();
    const int h = Height();
    // Image with black where it is transparent, and its mask.
    HBITMAP picture = CreateBitmap24(w, h);
    {
        TMemoryCanvas from(image);
        TMemoryCanvas to(picture);
        BitBlt(to.DC(), 0, 0, w, h, from.DC(), 0, 0, SRCCOPY);
    }
    std::vector<unsigned char> maskBits(static_cast<std::size_t>(((w + 15) / 16) * 2 * h), 0);
    const int maskStride = ((w + 15) / 16) * 2;
    {
        TPixels pixels(picture);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                if (pixels.Get(x, y) == maskColor) {
                    maskBits[static_cast<std::size_t>(y * maskStride + x / 8)] |= static_cast<unsigned char>(0x80 >> (x % 8));
                    pixels.Set(x, y, RGB(0, 0, 0));
                }
            }
        }
    }
    HBITMAP mask = CreateBitmap(w, h, 1, 1, maskBits.data());
    if (appended) {
        ImageList_Add(FHandle, picture, mask);
    } else {
        ImageList_Replace(FHandle, index, picture, mask);
    }
    DeleteObject(mask);
    DeleteObject(picture);
    return index;
}

// --- TButtonGlyph ---------------------------------------------------------

TButtonGlyph::TButtonGlyph()
{
    FOriginal.OnChange = [this] { GlyphChanged(); };
    if (!CacheSlot()) CacheSlot() = std::make_unique<TGlyphCache>();
}

TButtonGlyph::~TButtonGlyph()
{
    FOriginal.OnChange = nullptr;
    Invalidate();
    if (CacheSlot() && CacheSlot()->Empty()) CacheSlot().reset();
}

void TButtonGlyph::Invalidate()
{
    if (CacheSlot()) {
        FPictures.Invalidate(*CacheSlot());
    }
}

void TButtonGlyph::GlyphChanged()
{
    FTransparentColor = FOriginal.TransparentColor();
    FCells.LoadStrip(FOriginal.Width(), FOriginal.Height());
    Invalidate();
    if (FOnChange) FOnChange();
}

void TButtonGlyph::SetGlyph(const TBitmap* value)
{
    Invalidate();
    FOriginal.Assign(value);
    if (value && value->Height() >= 1) {
        FTransparentColor = value->TransparentColor();
        const int before = FCells.NumGlyphs();
        FCells.AssignStrip(value->Width(), value->Height());
        if (FCells.NumGlyphs() != before) GlyphChanged();
    }
}

void TButtonGlyph::SetNumGlyphs(int value)
{
    if (value <= 0 || value == FCells.NumGlyphs()) return;
    Invalidate();
    FCells.SetNumGlyphs(value);
    GlyphChanged();
}

int TButtonGlyph::CreateButtonGlyph(TButtonState requested)
{
    const TButtonState state = FCells.PictureState(requested);
    if (FPictures.Index(state) != -1) return FPictures.Index(state);
    const TPointI cell = FCells.CellSize();
    if (cell.X <= 0 || cell.Y <= 0 || FOriginal.Empty()) return -1;  // no usable cell
    if (!CacheSlot()) CacheSlot() = std::make_unique<TGlyphCache>();
    TGlyphList* list = FPictures.AcquireList(*CacheSlot(), cell.X, cell.Y);

    const int w = cell.X;
    const int h = cell.Y;
    HBITMAP work = CreateBitmap24(w, h);
    const int source = FCells.SourceCell(state);
    {
        TMemoryCanvas to(work);
        RECT r{0, 0, w, h};
        FillRect(to.DC(), &r, BrushOf(clBtnFace));
        if (state != bsDisabled || FCells.NumGlyphs() > 1) {
            TMemoryCanvas from(FOriginal.Handle());
            BitBlt(to.DC(), 0, 0, w, h, from.DC(), source * w, 0, SRCCOPY);
        }
    }
    const COLORREF transparent = ColorToRGB(FTransparentColor);
    const COLORREF face = ColorToRGB(clBtnFace);
    COLORREF mask;
    if (state != bsDisabled) {
        mask = FOriginal.TransparentMode == tmFixed ? transparent : TPixels(work).Get(0, h - 1);
    } else if (FCells.NumGlyphs() > 1) {
        // Own disabled cell: white, grey and the transparent colour take the
        // system's highlight, shadow and face colours.
        TPixels pixels(work);
        const COLORREF highlight = ColorToRGB(clBtnHighlight);
        const COLORREF shadow = ColorToRGB(clBtnShadow);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                COLORREF c = pixels.Get(x, y);
                if (c == RGB(255, 255, 255)) pixels.Set(x, y, highlight);
                else if (c == RGB(128, 128, 128)) pixels.Set(x, y, shadow);
                else if (c == transparent) pixels.Set(x, y, face);
            }
        mask = pixels.Get(0, h - 1);
    } else {
        // One cell: an embossed picture of everything that is neither
        // transparent nor white, in highlight (moved by one pixel) and shadow.
        std::vector<bool> ink(static_cast<std::size_t>(w * h), false);
        {
            TMemoryCanvas from(FOriginal.Handle());
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    COLORREF c = GetPixel(from.DC(), x, y);
                    ink[static_cast<std::size_t>(y * w + x)] = c != transparent && c != RGB(255, 255, 255);
                }
        }
        TPixels pixels(work);
        const COLORREF highlight = ColorToRGB(clBtnHighlight);
        const COLORREF shadow = ColorToRGB(clBtnShadow);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if (x >= 1 && y >= 1 && ink[static_cast<std::size_t>((y - 1) * w + (x - 1))]) pixels.Set(x, y, highlight);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if (ink[static_cast<std::size_t>(y * w + x)]) pixels.Set(x, y, shadow);
        mask = face;
    }
    const int index = list->AddMasked(work, mask);
    FPictures.SetIndex(state, index);
    DeleteObject(work);
    return index;
}

void TButtonGlyph::DrawButtonGlyph(HDC dc, TPointI pos, TButtonState state, bool transparent, TColor baseColor)
{
    if (FOriginal.Empty() || FOriginal.Width() == 0 || FOriginal.Height() == 0) return;
    const int index = CreateButtonGlyph(state);
    if (index < 0 || FPictures.List() == nullptr) return;
    if (transparent || state == bsExclusive)
        ImageList_DrawEx(FPictures.List()->Handle(), index, dc, pos.X, pos.Y, 0, 0, CLR_NONE, CLR_NONE, ILD_TRANSPARENT);
    else
        ImageList_DrawEx(FPictures.List()->Handle(), index, dc, pos.X, pos.Y, 0, 0, ColorToRGB(baseColor), CLR_NONE,
                         ILD_NORMAL);
}

void TButtonGlyph::DrawButtonText(HDC dc, const std::wstring& caption, TRectI bounds, TButtonState state, UINT biDiFlags)
{
    SetBkMode(dc, TRANSPARENT);
    const UINT flags = biDiFlags | DT_CENTER | DT_VCENTER | DT_SINGLELINE;
    RECT r{bounds.Left, bounds.Top, bounds.Right, bounds.Bottom};
    if (state == bsDisabled) {
        OffsetRect(&r, 1, 1);
        SetTextColor(dc, ColorToRGB(clBtnHighlight));
        DrawTextW(dc, caption.c_str(), -1, &r, flags);
        OffsetRect(&r, -1, -1);
        SetTextColor(dc, ColorToRGB(clBtnShadow));
        DrawTextW(dc, caption.c_str(), -1, &r, flags);
    } else {
        DrawTextW(dc, caption.c_str(), -1, &r, flags);
    }
}

TRectI TButtonGlyph::Draw(HDC dc, const TRectI& client, TPointI offset, const std::wstring& caption,
                          TButtonLayout layout, int margin, int spacing, TButtonState state, bool transparent,
                          UINT biDiFlags, TColor baseColor)
{
    TPointI textSize{0, 0};
    if (!caption.empty()) {
        RECT r{0, 0, client.Width(), 0};
        DrawTextW(dc, caption.c_str(), -1, &r, DT_CALCRECT | DT_SINGLELINE | biDiFlags);
        textSize = {r.right - r.left, r.bottom - r.top};
    }
    const TButtonLayoutResult placed = CalcButtonLayout(client, offset, FCells.CellSize(), textSize, layout, margin,
                                                        spacing, (biDiFlags & DT_RIGHT) != 0);
    DrawButtonGlyph(dc, placed.GlyphPos, state, transparent, baseColor);
    if (!caption.empty()) DrawButtonText(dc, caption, placed.TextBounds, state, biDiFlags);
    return placed.TextBounds;
}

// --- TBitBtnExt -----------------------------------------------------------

namespace {
TButtonArgs ButtonArgsOf(const TBitBtnExtArgs& a)
{
    TButtonArgs b;
    CopyControlArgs(b, a);
    b.Caption = a.Caption;
    b.Default = a.Default;
    b.Cancel = a.Cancel;
    return b;
}
}  // namespace

TBitBtnExt::TBitBtnExt(TWinControl* parent, const TBitBtnExtArgs& args)
    : TButton(parent, ButtonArgsOf(args)),
      FLayout(args.Layout),
      FPushSink(args.PushSink),
      FSelectSink(args.SelectSink),
      FSpacing(args.Spacing),
      FMargin(args.Margin < -1 ? -1 : args.Margin)
{
    FGlyph.FOnChange = [this] { Invalidate(); };
    FColor = clBtnFace;
    if (args.Color) SetColor(*args.Color);
    if (!args.Glyph.empty()) {
        TBitmap strip;
        strip.LoadFromResourceName(args.Glyph);
        FGlyph.SetGlyph(&strip);
    }
    if (args.NumGlyphs > 0) FGlyph.SetNumGlyphs(std::min(args.NumGlyphs, 4));
}

void TBitBtnExt::CreateParams(TCreateParams& params)
{
    TButton::CreateParams(params);
    params.Style = (params.Style & ~static_cast<DWORD>(BS_TYPEMASK)) | BS_OWNERDRAW;
}

void TBitBtnExt::CreateWnd()
{
    TButton::CreateWnd();
    FGlyph.CreateButtonGlyph(FEnabled ? bsUp : bsDisabled);
}

void TBitBtnExt::SetColor(TColor color)
{
    FColor = color;
    FColorShadow = ShadowColorOf(ColorToRGB(color));
    Invalidate();
}

void TBitBtnExt::SetGlyph(const TBitmap* value)
{
    FGlyph.SetGlyph(value);
    Invalidate();
}

void TBitBtnExt::SetLayout(TButtonLayout value)
{
    if (value == FLayout) return;
    FLayout = value;
    Invalidate();
}

void TBitBtnExt::SetMargin(int value)
{
    if (value == FMargin || value < -1) return;
    FMargin = value;
    Invalidate();
}

void TBitBtnExt::SetNumGlyphs(int value)
{
    if (value > 4) value = 4;
    if (value == FGlyph.NumGlyphs()) return;
    FGlyph.SetNumGlyphs(value);
    Invalidate();
}

void TBitBtnExt::SetPushSink(bool value)
{
    FPushSink = value;
    Invalidate();
}

void TBitBtnExt::SetSelectSink(bool value)
{
    FSelectSink = value;
    Invalidate();
}

void TBitBtnExt::SetSpacing(int value)
{
    if (value == FSpacing) return;
    FSpacing = value;
    Invalidate();
}

void TBitBtnExt::SetButtonStyle(bool active)
{
    if (active == FIsFocused) return;
    FIsFocused = active;
    Invalidate();
}

bool TBitBtnExt::Reflected(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    switch (message) {
    case WM_DRAWITEM:
        DrawItem(*reinterpret_cast<DRAWITEMSTRUCT*>(lParam));
        result = TRUE;
        return true;
    case WM_MEASUREITEM: {
        auto* measure = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
        measure->itemWidth = static_cast<UINT>(FWidth);
        measure->itemHeight = static_cast<UINT>(FHeight);
        result = TRUE;
        return true;
    }
    default:
        return TButton::Reflected(message, wParam, lParam, result);
    }
}

void TBitBtnExt::DrawItem(const DRAWITEMSTRUCT& item)
{
    HDC dc = item.hDC;
    RECT client;
    GetClientRect(FHandle, &client);
    RECT r = client;
    const bool isDown = (item.itemState & ODS_SELECTED) != 0;
    const bool isDefault = (item.itemState & ODS_FOCUS) != 0;
    const TButtonState state = !FEnabled ? bsDisabled : isDown ? bsDown : bsUp;
    UINT flags = DFCS_BUTTONPUSH | DFCS_ADJUSTRECT;
    if (isDown) flags |= DFCS_PUSHED;
    if (item.itemState & ODS_DISABLED) flags |= DFCS_INACTIVE;

    const int saved = SaveDC(dc);
    if (FSelectSink && (FIsFocused || isDefault)) {
        SelectObject(dc, GetStockObject(NULL_BRUSH));
        HPEN frame = CreatePen(PS_SOLID, 1, ColorToRGB(clWindowFrame));
        HGDIOBJ old = SelectObject(dc, frame);
        Rectangle(dc, r.left, r.top, r.right, r.bottom);
        SelectObject(dc, old);
        DeleteObject(frame);
        InflateRect(&r, -1, -1);
    }
    TColor outline;
    if (isDown) {
        if (FPushSink) InflateRect(&r, -1, -1);
        outline = FColorShadow;
    } else {
        const RECT before = r;
        DrawFrameControl(dc, &r, DFC_BUTTON, flags);
        if (EqualRect(&before, &r)) InflateRect(&r, -2, -2);
        outline = FColor;
    }
    {
        HPEN pen = CreatePen(PS_SOLID, 1, ColorToRGB(outline));
        HGDIOBJ oldPen = SelectObject(dc, pen);
        HGDIOBJ oldBrush = SelectObject(dc, BrushOf(FColor));
        Rectangle(dc, r.left, r.top, r.right, r.bottom);
        SelectObject(dc, oldBrush);
        SelectObject(dc, oldPen);
        DeleteObject(pen);
        InflateRect(&r, -1, -1);
    }
    if (FIsFocused && FSelectSink) {
        r = client;
        InflateRect(&r, -1, -1);
    }
    SelectObject(dc, FFont.Handle());
    SetTextColor(dc, ColorToRGB(FFont.Color));
    if (isDown) OffsetRect(&r, 1, 1);
    FGlyph.Draw(dc, {r.left, r.top, r.right, r.bottom}, {0, 0}, Caption(), FLayout, FMargin, FSpacing, state, false, 0,
                FColor);
    if (FIsFocused && isDefault) {
        r = client;
        InflateRect(&r, -4, -4);
        SetTextColor(dc, ColorToRGB(clWindowFrame));
        SetBkColor(dc, ColorToRGB(FColor));
        DrawFocusRect(dc, &r);
    }
    RestoreDC(dc, saved);
}
