#include "framework/Graphics.h"

#include "framework/Text.h"

#include <map>
#include <stdexcept>
#include <tuple>

COLORREF ColorToRGB(TColor color)
{
    if (IsSystemColor(color)) return GetSysColor(SystemColorIndex(color));
    return color & 0x00FFFFFFu;
}

HBRUSH BrushOf(TColor color)
{
    static std::map<COLORREF, HBRUSH> brushes;
    COLORREF rgb = ColorToRGB(color);
    auto it = brushes.find(rgb);
    if (it != brushes.end()) return it->second;
    HBRUSH brush = CreateSolidBrush(rgb);
    brushes.emplace(rgb, brush);
    return brush;
}

void PaintClient(HWND window, const std::function<void(HDC, const RECT&)>& paint)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    RECT client;
    GetClientRect(window, &client);
    paint(dc, client);
    EndPaint(window, &ps);
}

int TFont::PixelHeight() const
{
    HDC screen = GetDC(nullptr);
    int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return -MulDiv(Size, dpi, 72);
}

HFONT TFont::Handle() const
{
    static std::map<std::tuple<std::wstring, int, bool, bool>, HFONT> fonts;
    auto key = std::make_tuple(Name, Size, Bold, Italic);
    auto it = fonts.find(key);
    if (it != fonts.end()) return it->second;
    LOGFONTW lf{};
    lf.lfHeight = PixelHeight();
    lf.lfWeight = Bold ? FW_BOLD : FW_NORMAL;
    lf.lfItalic = Italic ? TRUE : FALSE;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfQuality = DEFAULT_QUALITY;
    lstrcpynW(lf.lfFaceName, Name.c_str(), LF_FACESIZE);
    HFONT font = CreateFontIndirectW(&lf);
    fonts.emplace(key, font);
    return font;
}

HBITMAP CreateBitmap24(int width, int height, void** bits)
{
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = width;
    bi.bmiHeader.biHeight = height;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 24;
    bi.bmiHeader.biCompression = BI_RGB;
    void* data = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &data, nullptr, 0);
    if (bits) *bits = data;
    return bitmap;
}

TMemoryCanvas::TMemoryCanvas(HBITMAP bitmap) : FDC(CreateCompatibleDC(nullptr)), FOld(SelectObject(FDC, bitmap)) {}

TMemoryCanvas::~TMemoryCanvas()
{
    SelectObject(FDC, FOld);
    DeleteDC(FDC);
}

TBitmap::~TBitmap()
{
    if (FHandle) DeleteObject(FHandle);
}

void TBitmap::Changed()
{
    if (OnChange) OnChange();
}

void TBitmap::Clear()
{
    if (FHandle) DeleteObject(FHandle);
    FHandle = nullptr;
    FWidth = FHeight = 0;
    Changed();
}

void TBitmap::TakeHandle(HBITMAP source)
{
    BITMAP info{};
    if (source == nullptr || GetObjectW(source, sizeof info, &info) == 0 || info.bmWidth <= 0 || info.bmHeight <= 0) {
        if (source) DeleteObject(source);
        Clear();
        return;
    }
    HBITMAP copy = CreateBitmap24(info.bmWidth, info.bmHeight);
    {
        TMemoryCanvas from(source);
        TMemoryCanvas to(copy);
        BitBlt(to.DC(), 0, 0, info.bmWidth, info.bmHeight, from.DC(), 0, 0, SRCCOPY);
    }
    DeleteObject(source);
    if (FHandle) DeleteObject(FHandle);
    FHandle = copy;
    FWidth = info.bmWidth;
    FHeight = info.bmHeight;
    Changed();
}

void TBitmap::LoadFromResourceName(const std::wstring& name)
{
    HBITMAP loaded = static_cast<HBITMAP>(
        LoadImageW(GetModuleHandleW(nullptr), name.c_str(), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    if (loaded == nullptr) throw std::runtime_error("Resource " + WideToUtf8(name) + " not found");
    TakeHandle(loaded);
}

void TBitmap::Assign(const TBitmap* source)
{
    if (source == this) return;
    if (source == nullptr || source->Empty()) {
        Clear();
        return;
    }
    TransparentMode = source->TransparentMode;
    FixedTransparentColor = source->FixedTransparentColor;
    HBITMAP copy = CreateBitmap24(source->FWidth, source->FHeight);
    {
        TMemoryCanvas from(source->FHandle);
        TMemoryCanvas to(copy);
        BitBlt(to.DC(), 0, 0, source->FWidth, source->FHeight, from.DC(), 0, 0, SRCCOPY);
    }
    if (FHandle) DeleteObject(FHandle);
    FHandle = copy;
    FWidth = source->FWidth;
    FHeight = source->FHeight;
    Changed();
}

void TBitmap::SetSize(int width, int height, TColor fill)
{
    if (width <= 0 || height <= 0) {
        Clear();
        return;
    }
    HBITMAP bitmap = CreateBitmap24(width, height);
    {
        TMemoryCanvas canvas(bitmap);
        RECT r{0, 0, width, height};
        FillRect(canvas.DC(), &r, BrushOf(fill));
    }
    if (FHandle) DeleteObject(FHandle);
    FHandle = bitmap;
    FWidth = width;
    FHeight = height;
    Changed();
}

TColor TBitmap::Pixel(int x, int y) const
{
    if (FHandle == nullptr || x < 0 || y < 0 || x >= FWidth || y >= FHeight) return clNone;
    TMemoryCanvas canvas(FHandle);
    return GetPixel(canvas.DC(), x, y);
}

TColor TBitmap::TransparentColor() const
{
    if (TransparentMode == tmFixed) return FixedTransparentColor;
    if (Empty()) return FixedTransparentColor;
    return Pixel(0, FHeight - 1);
}

TImageList::~TImageList()
{
    if (FHandle) ImageList_Destroy(FHandle);
}

void TImageList::LoadFromResourceName(const std::wstring& name, int cellWidth)
{
    TBitmap strip;
    strip.LoadFromResourceName(name);
    if (cellWidth <= 0) cellWidth = strip.Height();
    if (cellWidth <= 0 || strip.Width() < cellWidth) throw std::runtime_error("Image strip " + WideToUtf8(name) + " is too small");
    if (FHandle) ImageList_Destroy(FHandle);
    FWidth = cellWidth;
    FHeight = strip.Height();
    FHandle = ImageList_Create(FWidth, FHeight, ILC_COLOR24 | ILC_MASK, strip.Width() / cellWidth, 4);
    ImageList_AddMasked(FHandle, strip.Handle(), ColorToRGB(strip.TransparentColor()));
}

int TImageList::Count() const { return FHandle ? ImageList_GetImageCount(FHandle) : 0; }
