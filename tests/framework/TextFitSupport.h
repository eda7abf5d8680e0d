// Whether every text of a window reads in full: each text measured with its
// control's own font against the room the control gives it, every control
// inside its parent's client area, and every unit beside its field. Used by
// the window tests under Wine.
#pragma once

#include "controls/BitBtnExt.h"
#include "framework/ComCtrls.h"
#include "framework/StdCtrls.h"
#include "framework/Text.h"

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

namespace textfit {

// Largest gap between a field and its unit label.
inline constexpr int kUnitGapMax = 8;
// Space a text keeps from its parent's inner edge (inside a panel's bevel).
inline constexpr int kEdgeGap = 1;
// The frame and outline of a bitmap button around its face.
inline constexpr int kButtonFrame = 3;

// Size of a text drawn with a font as DrawText lays it out with Format: one
// line, or broken at words within Width with DT_WORDBREAK.
inline SIZE DrawnTextSize(HFONT Font, const std::wstring& Text, UINT Format, int Width = 0)
{
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, Font);
    RECT r{0, 0, Width, 0};
    DrawTextW(dc, Text.c_str(), -1, &r, Format | DT_CALCRECT | DT_NOPREFIX);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    return {r.right - r.left, r.bottom - r.top};
}

// Width of a one-line text as GetTextExtentPoint32 gives it.
inline int TextWidth(HFONT Font, const std::wstring& Text)
{
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, Font);
    SIZE size{};
    GetTextExtentPoint32W(dc, Text.c_str(), static_cast<int>(Text.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    return size.cx;
}

inline RECT BoundsInParent(HWND Window)
{
    RECT r;
    GetWindowRect(Window, &r);
    MapWindowPoints(nullptr, GetParent(Window), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

inline std::string Describe(const TControl& Control)
{
    std::wstring path = Control.Name();
    for (const TControl* up = Control.Parent(); up; up = up->Parent())
        if (!up->Parent()) path = up->Name() + L"/" + path;
    return WideToUtf8(path);
}

// What a page control's tab row gets wrong with the page shown now: more
// than one row, a caption wider than its tab less the tab's edges (2 pixels
// on each side), a tab (the shown one standing out by 2 pixels) beyond the
// control.
inline std::vector<std::string> TabCaptionFaults(const TPageControl& Pages)
{
    std::vector<std::string> faults;
    HWND tabs = Pages.Handle();
    const auto font = reinterpret_cast<HFONT>(SendMessageW(tabs, WM_GETFONT, 0, 0));
    RECT client;
    GetClientRect(tabs, &client);
    if (SendMessageW(tabs, TCM_GETROWCOUNT, 0, 0) != 1)
        faults.push_back(Describe(Pages) + ": tabs in more than one row");
    const int shown = static_cast<int>(SendMessageW(tabs, TCM_GETCURSEL, 0, 0));
    for (int i = 0; i < Pages.PageCount(); ++i) {
        wchar_t text[128] = {};
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = text;
        item.cchTextMax = 128;
        SendMessageW(tabs, TCM_GETITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
        RECT r{};
        SendMessageW(tabs, TCM_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&r));
        const int outset = i == shown ? 2 : 0;
        const std::string tab = Describe(Pages) + " tab \"" + WideToUtf8(text) + "\"";
        if (TextWidth(font, text) + 2 * 2 > r.right - r.left)
            faults.push_back(tab + ": caption " + std::to_string(TextWidth(font, text)) + " wide in a tab of " +
                             std::to_string(r.right - r.left));
        if (r.left - outset < 0 || r.right + outset > client.right)
            faults.push_back(tab + ": beyond the control (" + std::to_string(r.right + outset) + " of " +
                             std::to_string(client.right) + ")");
    }
    return faults;
}

// A text of Size that must fit Room (width and height).
inline void CheckFit(std::vector<std::string>& Faults, const TControl& Control, const std::wstring& Text, SIZE Size,
                     SIZE Room)
{
    if (Size.cx <= Room.cx && Size.cy <= Room.cy) return;
    Faults.push_back(Describe(Control) + ": \"" + WideToUtf8(Text) + "\" needs " + std::to_string(Size.cx) + "x" +
                     std::to_string(Size.cy) + ", has " + std::to_string(Room.cx) + "x" + std::to_string(Room.cy));
}

// The texts of one control against the room it gives them.
inline void TextFaults(std::vector<std::string>& Faults, const TControl& Control)
{
    HWND window = Control.Handle();
    HFONT font = Control.Font().Handle();
    RECT client;
    GetClientRect(window, &client);
    const SIZE room{client.right, client.bottom};
    if (dynamic_cast<const TLabel*>(&Control)) {
        // Labels draw their caption broken at words within their width.
        const std::wstring text = Control.Caption();
        if (!text.empty()) CheckFit(Faults, Control, text, DrawnTextSize(font, text, DT_WORDBREAK, room.cx), room);
    } else if (const auto* button = dynamic_cast<const TBitBtnExt*>(&Control)) {
        const std::wstring text = Control.Caption();
        if (text.empty()) return;
        const SIZE size = DrawnTextSize(font, text, DT_SINGLELINE);
        const TRectI face = TRectI{0, 0, room.cx, room.cy}.Inflate(-kButtonFrame, -kButtonFrame);
        const TRectI placed = CalcButtonLayout(face, {0, 0}, button->ButtonGlyph().Cells().CellSize(),
                                               {size.cx, size.cy}, button->Layout(), button->Margin(),
                                               button->Spacing(), false)
                                  .TextBounds;
        if (placed.Left < face.Left || placed.Right > face.Right || placed.Top < face.Top ||
            placed.Bottom > face.Bottom)
            Faults.push_back(Describe(Control) + ": \"" + WideToUtf8(text) + "\" drawn at " +
                             std::to_string(placed.Left) + ".." + std::to_string(placed.Right) + " on a face of " +
                             std::to_string(face.Left) + ".." + std::to_string(face.Right));
    } else if (dynamic_cast<const TButton*>(&Control)) {
        const std::wstring text = Control.Caption();
        if (!text.empty())
            CheckFit(Faults, Control, text, DrawnTextSize(font, text, DT_SINGLELINE),
                     {room.cx - 2 * kButtonFrame, room.cy - 2 * kButtonFrame});
    } else if (const auto* list = dynamic_cast<const TComboBoxEx*>(&Control)) {
        // Every item may be the one shown in the field beside the drop-down
        // button; the open list is at least as wide.
        COMBOBOXINFO info{};
        info.cbSize = sizeof info;
        GetComboBoxInfo(window, &info);
        const RECT text = list->ItemTextRect(info.rcItem);
        for (int i = 0; i < list->ItemCount(); ++i) {
            const std::wstring item = list->Item(i);
            CheckFit(Faults, Control, item, DrawnTextSize(font, item, DT_SINGLELINE),
                     {text.right - text.left, text.bottom - text.top});
        }
    } else if (dynamic_cast<const TEdit*>(&Control)) {
        const std::wstring text = Control.Caption();
        const auto margins = static_cast<DWORD>(SendMessageW(window, EM_GETMARGINS, 0, 0));
        if (!text.empty())
            CheckFit(Faults, Control, text, DrawnTextSize(font, text, DT_SINGLELINE),
                     {room.cx - LOWORD(margins) - HIWORD(margins), room.cy});
    } else if (const auto* pages = dynamic_cast<const TPageControl*>(&Control)) {
        for (std::string& fault : TabCaptionFaults(*pages)) Faults.push_back(std::move(fault));
    }
}

inline bool HasText(const TControl& Control)
{
    return dynamic_cast<const TLabel*>(&Control) || dynamic_cast<const TButton*>(&Control) ||
           dynamic_cast<const TComboBoxEx*>(&Control) || dynamic_cast<const TEdit*>(&Control);
}

// A control inside its parent's client area; a control with text also
// clear of the bevel of a panel.
inline void PlaceFaults(std::vector<std::string>& Faults, const TControl& Control)
{
    if (!Control.Parent() || dynamic_cast<const TTabSheet*>(&Control)) return;
    RECT inner;
    GetClientRect(Control.Parent()->Handle(), &inner);
    if (HasText(Control)) {
        const auto* panel = dynamic_cast<const TPanel*>(Control.Parent());
        const int edge = (panel && panel->BevelOuter() != bvNone ? 1 : 0) + kEdgeGap;
        InflateRect(&inner, -edge, -edge);
    }
    // A combo box's window includes its drop-down list.
    RECT r = BoundsInParent(Control.Handle());
    if (dynamic_cast<const TComboBoxEx*>(&Control)) r.bottom = r.top + Control.Height();
    if (r.left < inner.left || r.top < inner.top || r.right > inner.right || r.bottom > inner.bottom)
        Faults.push_back(Describe(Control) + ": at " + std::to_string(r.left) + "," + std::to_string(r.top) + ".." +
                         std::to_string(r.right) + "," + std::to_string(r.bottom) + ", outside its parent's " +
                         std::to_string(inner.left) + "," + std::to_string(inner.top) + ".." +
                         std::to_string(inner.right) + "," + std::to_string(inner.bottom));
}

// A unit label (named "..._Unit...") stands right of the nearest field of
// its row, at most kUnitGapMax pixels from it.
inline void UnitFaults(std::vector<std::string>& Faults, const TControl& Unit)
{
    if (!dynamic_cast<const TLabel*>(&Unit) || Unit.Name().find(L"_Unit") == std::wstring::npos) return;
    const RECT unit = BoundsInParent(Unit.Handle());
    const TControl* field = nullptr;
    RECT nearest{};
    for (const TControl* sibling : Unit.Parent()->Controls()) {
        if (sibling == &Unit || !HasText(*sibling)) continue;
        RECT r = BoundsInParent(sibling->Handle());
        if (dynamic_cast<const TComboBoxEx*>(sibling)) r.bottom = r.top + sibling->Height();
        const bool sameRow = r.top < unit.bottom && unit.top < r.bottom;
        if (sameRow && r.left < unit.left && (!field || r.right > nearest.right)) {
            field = sibling;
            nearest = r;
        }
    }
    if (!field) {
        Faults.push_back(Describe(Unit) + ": a unit without a field");
        return;
    }
    const int gap = unit.left - nearest.right;
    if (gap < 0 || gap > kUnitGapMax)
        Faults.push_back(Describe(Unit) + ": " + std::to_string(gap) + " pixels from " + WideToUtf8(field->Name()) +
                         " (0 to " + std::to_string(kUnitGapMax) + " expected)");
}

// Every fault of a control and of all controls below it.
inline std::vector<std::string> WindowTextFaults(const TControl& Root)
{
    std::vector<std::string> faults;
    TextFaults(faults, Root);
    PlaceFaults(faults, Root);
    UnitFaults(faults, Root);
    if (const auto* parent = dynamic_cast<const TWinControl*>(&Root))
        for (const TControl* child : parent->Controls())
            for (std::string& fault : WindowTextFaults(*child)) faults.push_back(std::move(fault));
    return faults;
}

}  // namespace textfit
