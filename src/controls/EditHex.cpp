#include "controls/EditHex.h"

namespace {
TEditArgs EditArgsOf(const TEditHexArgs& a)
{
    TEditArgs e;
    CopyControlArgs(e, a);
    e.MaxLength = a.MaxLength;
    e.Alignment = a.Alignment == taRightJustify ? taRight : a.Alignment == taCenter ? taCenterText : taLeft;
    return e;
}
}  // namespace

TEditHex::TEditHex(TWinControl* parent, const TEditHexArgs& args) : TEdit(parent, EditArgsOf(args))
{
    FModel.FAlignment = args.Alignment;
    FModel.FFourDigit = args.FourDigit;
    FModel.SetMaxPlaces(args.MaxPlaces);
    FModel.FNegative = args.Negative;
    FModel.FNumeralOnly = args.NumeralOnly;
    FModel.FNumericType = args.NumericType;
    FModel.FKeepSign = args.KeepSign;
    FInitialCaption = FModel.DisplayFromText(args.Text);
}

void TEditHex::CreateParams(TCreateParams& params)
{
    FEditAlignment = FModel.FAlignment == taRightJustify ? taRight
                     : FModel.FAlignment == taCenter     ? taCenterText
                                                         : taLeft;
    TEdit::CreateParams(params);
}

void TEditHex::Loaded() { SelectAll(); }

std::wstring TEditHex::Text() const { return FModel.TextFromDisplay(Caption()); }

void TEditHex::SetText(const std::wstring& value) { TControl::SetCaption(FModel.DisplayFromText(value)); }

void TEditHex::SetEditText(const std::wstring& text) { TControl::SetCaption(text); }

void TEditHex::ShowReformatted(bool normalizeFirst)
{
    if (!FModel.FNumeralOnly) return;
    TControl::SetCaption(FModel.Reformatted(Caption(), normalizeFirst));
}

void TEditHex::SetAlignment(TAlignment value)
{
    if (value == FModel.FAlignment) return;
    FModel.FAlignment = value;
    RecreateWnd();
}

void TEditHex::SetFourDigit(bool value)
{
    if (value == FModel.FFourDigit) return;
    FModel.FFourDigit = value;
    ShowReformatted(false);
}

void TEditHex::SetMaxPlaces(TNumericalPlace value)
{
    if (value == FModel.FMaxPlaces) return;
    FModel.SetMaxPlaces(value);
    ShowReformatted(false);
}

void TEditHex::SetNegative(bool value)
{
    if (value == FModel.FNegative) return;
    FModel.FNegative = value;
    ShowReformatted(true);
}

void TEditHex::SetNumeralOnly(bool value)
{
    if (value == FModel.FNumeralOnly) return;
    FModel.FNumeralOnly = value;
    ShowReformatted(true);
}

void TEditHex::SetNumericType(TNumericalType value)
{
    if (value == FModel.FNumericType) return;
    FModel.FNumericType = value;
    ShowReformatted(false);
}

void TEditHex::Reformat() { Show(&TEditHexModel::Reformat); }

void TEditHex::Show(TEditState (TEditHexModel::*rule)(const TEditState&) const)
{
    TEditState state;
    state.Text = Caption();
    GetSelection(state.SelStart, state.SelEnd);
    const TEditState result = (FModel.*rule)(state);
    if (result == state) return;
    if (result.Text != state.Text) SetTextQuietly(result.Text);
    SetSelection(result.SelStart, result.SelEnd);
}

LRESULT TEditHex::WndProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CHAR: {
        // Enter, Ctrl+Enter, Esc and Tab insert nothing (the base drops them).
        if (wParam == VK_RETURN || wParam == 10 || wParam == VK_ESCAPE || wParam == VK_TAB) return 0;
        LRESULT result = TEdit::WndProc(message, wParam, lParam);
        if (FModel.FNumeralOnly && FHandle) Reformat();
        return result;
    }
    case WM_PASTE: {
        // Pasted text goes through the same filter as typed text.
        LRESULT result = TEdit::WndProc(message, wParam, lParam);
        if (FModel.FNumeralOnly && FHandle) Reformat();
        return result;
    }
    case WM_KEYDOWN:
        // Shift+Insert pastes without a WM_PASTE message of its own.
        if (wParam == VK_INSERT && GetKeyState(VK_SHIFT) < 0 && GetKeyState(VK_CONTROL) >= 0) {
            SendMessageW(FHandle, WM_PASTE, 0, 0);
            return 0;
        }
        // The Delete key (Shift+Delete: Cut) changes the text without a
        // message of its own.
        if (wParam == VK_DELETE) {
            LRESULT result = TEdit::WndProc(message, wParam, lParam);
            if (FModel.FNumeralOnly && FHandle) Show(&TEditHexModel::AfterUntypedChange);
            return result;
        }
        break;
    case WM_CUT:
    case WM_CLEAR:
    case WM_UNDO:
    case EM_UNDO: {
        // No re-formatting until the next typed character, but the fixed "-"
        // stays.
        LRESULT result = TEdit::WndProc(message, wParam, lParam);
        if (FModel.FNumeralOnly && FHandle) Show(&TEditHexModel::AfterUntypedChange);
        return result;
    }
    default:
        break;
    }
    return TEdit::WndProc(message, wParam, lParam);
}
