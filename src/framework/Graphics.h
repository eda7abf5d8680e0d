// Colours, fonts, bitmaps and image lists of the window layer.
#pragma once

#include "framework/Colors.h"

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <string>

// A colour as the system draws it (system colours resolved).
COLORREF ColorToRGB(TColor color);
// A solid brush of a colour, cached for the life of the program.
HBRUSH BrushOf(TColor color);
// Answers WM_PAINT: paint(dc, client rectangle) between BeginPaint and EndPaint.
void PaintClient(HWND window, const std::function<void(HDC, const RECT&)>& paint);

struct TFont {
    std::wstring Name = L"Tahoma";
    int Size = 8;  // points
    TColor Color = clWindowText;
    bool Bold = false;
    bool Italic = false;
    // The font object, cached for the life of the program.
    HFONT Handle() const;
    int PixelHeight() const;
};

enum TTransparentMode : unsigned char { tmAuto, tmFixed };

// A 24-bit bitmap. Its transparent colour is the bottom-left pixel (tmAuto)
// or a fixed colour (tmFixed). OnChange is called after every change.
class TBitmap {
public:
    TBitmap() = default;
    TBitmap(const TBitmap&) = delete;
    TBitmap& operator=(const TBitmap&) = delete;
    ~TBitmap();

    bool Empty() const { return FHandle == nullptr; }
    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    HBITMAP Handle() const { return FHandle; }

    // Loads a bitmap resource of the program by name; throws when there is
    // no such resource.
    void LoadFromResourceName(const std::wstring& name);
    // Copies another bitmap (nullptr or an empty one clears this one).
    void Assign(const TBitmap* source);
    // A new bitmap of that size filled with a colour.
    void SetSize(int width, int height, TColor fill = clWhite);
    void Clear();
    // Takes over a bitmap handle (converted to a 24-bit copy).
    void TakeHandle(HBITMAP bitmap);

    TTransparentMode TransparentMode = tmAuto;
    TColor FixedTransparentColor = clOlive;
    TColor TransparentColor() const;
    TColor Pixel(int x, int y) const;

    std::function<void()> OnChange;

private:
    void Changed();
    HBITMAP FHandle = nullptr;
    int FWidth = 0;
    int FHeight = 0;
};

// A 24-bit bitmap selected into a memory device context for drawing.
class TMemoryCanvas {
public:
    explicit TMemoryCanvas(HBITMAP bitmap);
    ~TMemoryCanvas();
    TMemoryCanvas(const TMemoryCanvas&) = delete;
    TMemoryCanvas& operator=(const TMemoryCanvas&) = delete;
    HDC DC() const { return FDC; }

private:
    HDC FDC;
    HGDIOBJ FOld;
};

// A 24-bit device-independent bitmap of a size.
HBITMAP CreateBitmap24(int width, int height, void** bits = nullptr);

// Image list of equal cells cut from a bitmap resource strip, masked with the
// bottom-left pixel's colour.
class TImageList {
public:
    TImageList() = default;
    TImageList(const TImageList&) = delete;
    TImageList& operator=(const TImageList&) = delete;
    ~TImageList();
    void LoadFromResourceName(const std::wstring& name, int cellWidth);
    HIMAGELIST Handle() const { return FHandle; }
    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    int Count() const;

private:
    HIMAGELIST FHandle = nullptr;
    int FWidth = 0;
    int FHeight = 0;
};
