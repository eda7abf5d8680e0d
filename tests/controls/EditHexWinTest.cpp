#include "controls/BitBtnExt.h"
#include "controls/EditHex.h"
#include "framework/WinTestSupport.h"

#include <gtest/gtest.h>

namespace {

class TEditForm : public TForm {
public:
    TEditForm()
        : TForm({.Name = L"FormEdits", .ClassName = L"TFormEditTest", .Caption = L"Edits", .ClientWidth = 300,
                 .ClientHeight = 160})
    {
        Freq = Add<TEditHex>({.Name = L"EditHex_Freq_1", .Left = 8, .Top = 8, .Width = 80, .Height = 21,
                              .Text = L"1000", .MaxLength = 5, .Alignment = taRightJustify, .NumeralOnly = true,
                              .NumericType = Decimal});
        Amp = Add<TEditHex>({.Name = L"EditHex_Amp_1", .Left = 8, .Top = 36, .Width = 80, .Height = 21,
                             .Text = L"6", .MaxLength = 4, .Alignment = taRightJustify, .Negative = true,
                             .NumeralOnly = true, .NumericType = Decimal});
        Hex = Add<TEditHex>({.Name = L"EditHex_Hex", .Left = 8, .Top = 64, .Width = 120, .Height = 21,
                             .Text = L"1", .FourDigit = true, .NumeralOnly = true});
        Close = Add<TBitBtnExt>({.Name = L"BitBtnExt_Close", .Left = 200, .Top = 120, .Width = 65, .Height = 25,
                                 .Caption = L"CLOSE"});
    }
    TEditHex *Freq, *Amp, *Hex;
    TBitBtnExt* Close;
};

class EditHexWin : public TFormTest<TEditForm> {
protected:
    void Caret(TEditHex* e, int at) { e->SetSelection(at, at); }
    int CaretOf(TEditHex* e)
    {
        int s = 0, t = 0;
        e->GetSelection(s, t);
        return s;
    }
};

TEST_F(EditHexWin, InitialTextsAreShownInCanonicalForm)
{
    EXPECT_EQ(Form->Freq->EditText(), L"1000");
    EXPECT_EQ(Form->Amp->EditText(), L"-6");
    EXPECT_EQ(Form->Amp->Text(), L"-6");
    EXPECT_EQ(Form->Hex->EditText(), L"$0000_0001");
    EXPECT_EQ(Form->Hex->Text(), L"$00000001");
    EXPECT_TRUE(GetWindowLongPtrW(Form->Freq->Handle(), GWL_STYLE) & ES_RIGHT);
}

TEST_F(EditHexWin, TypingKeepsOnlyDigitsAndTheCaretsDistanceFromTheEnd)
{
    Form->Freq->SetFocus();
    Form->Freq->SetEditText(L"1234");
    Caret(Form->Freq, 2);
    TypeChars(Form->Freq->Handle(), L"a5");
    EXPECT_EQ(Form->Freq->EditText(), L"12534");
    EXPECT_EQ(CaretOf(Form->Freq), 3);
    // Backspace over the only digit shows 0 at once.
    Form->Freq->SetEditText(L"7");
    Caret(Form->Freq, 1);
    TypeChars(Form->Freq->Handle(), L"\b");
    EXPECT_EQ(Form->Freq->EditText(), L"0");
    // Leading zeros vanish at once.
    Caret(Form->Freq, 0);
    TypeChars(Form->Freq->Handle(), L"9");
    EXPECT_EQ(Form->Freq->EditText(), L"90");
}

TEST_F(EditHexWin, PasteOfLettersLeavesANumber)
{
    Form->Freq->SetFocus();
    Form->Freq->SetEditText(L"");
    SetClipboardText(L"1a2");
    SendMessageW(Form->Freq->Handle(), WM_PASTE, 0, 0);
    EXPECT_EQ(Form->Freq->EditText(), L"12");
    // Shift+Insert as well.
    Form->Freq->SetEditText(L"");
    SetClipboardText(L"x3y4");
    PressKey(VK_INSERT, true);
    EXPECT_EQ(Form->Freq->EditText(), L"34");
    // A single-line box takes a pasted text up to its first line break.
    Form->Freq->SetEditText(L"");
    SetClipboardText(L"5\r\n6");
    SendMessageW(Form->Freq->Handle(), WM_PASTE, 0, 0);
    EXPECT_EQ(Form->Freq->EditText(), L"5");
    // Ctrl+V arrives as a typed character.
    Form->Amp->SetFocus();
    Form->Amp->SelectAll();
    SetClipboardText(L"-1b2");
    TypeChars(Form->Amp->Handle(), L"\x16");
    EXPECT_EQ(Form->Amp->EditText(), L"-12");
}

TEST_F(EditHexWin, EnterCtrlEnterTabAndEscInsertNothing)
{
    Form->Freq->SetFocus();
    Form->Freq->SetEditText(L"440");
    Caret(Form->Freq, 3);
    TypeChars(Form->Freq->Handle(), L"\r\n\t\x1b");
    PressKey(VK_RETURN);
    PressKey(VK_RETURN, false, true);
    EXPECT_EQ(Form->Freq->EditText(), L"440");
    EXPECT_EQ(GetFocus(), Form->Freq->Handle());
}

TEST_F(EditHexWin, TabMovesOnAndRunsTheExitCheck)
{
    int exits = 0;
    Form->Freq->OnExit = [&](TControl*) { ++exits; };
    Form->Freq->SetFocus();
    PressKey(VK_TAB);
    EXPECT_EQ(GetFocus(), Form->Amp->Handle());
    EXPECT_EQ(exits, 1);
    PressKey(VK_TAB, true);
    EXPECT_EQ(GetFocus(), Form->Freq->Handle());
}

TEST_F(EditHexWin, NegativeBoxKeepsItsMinusAndTheLengthLimitCountsIt)
{
    Form->Amp->SetFocus();
    Form->Amp->SetEditText(L"-");
    Caret(Form->Amp, 1);
    TypeChars(Form->Amp->Handle(), L"1234");
    EXPECT_EQ(Form->Amp->EditText(), L"-123");
    // Deleting the minus and typing brings it back.
    Form->Amp->SetEditText(L"6");
    Caret(Form->Amp, 1);
    TypeChars(Form->Amp->Handle(), L"1");
    EXPECT_EQ(Form->Amp->EditText(), L"-61");
    Form->Amp->SetText(L"6");
    EXPECT_EQ(Form->Amp->EditText(), L"-6");
    // Text written by the box itself is not cut to the limit.
    Form->Amp->SetText(L"123456");
    EXPECT_EQ(Form->Amp->EditText(), L"-123456");
}

TEST_F(EditHexWin, EveryWayOfEmptyingTheAmplitudeLeavesItsMinus)
{
    TEditHex* amp = Form->Amp;
    amp->SetFocus();
    const auto emptied = [&](const char* how, auto action) {
        amp->SetText(L"6");
        amp->SelectAll();
        action();
        EXPECT_EQ(amp->EditText(), L"-") << how;
        EXPECT_EQ(CaretOf(amp), 1) << how;
    };
    emptied("Delete", [] { PressKey(VK_DELETE); });
    emptied("Backspace", [&] { TypeChars(amp->Handle(), L"\b"); });
    emptied("a letter typed over", [&] { TypeChars(amp->Handle(), L"x"); });
    emptied("Shift+Delete", [] { PressKey(VK_DELETE, true); });
    emptied("Ctrl+X", [&] { TypeChars(amp->Handle(), L"\x18"); });
    emptied("Cut", [&] { SendMessageW(amp->Handle(), WM_CUT, 0, 0); });
    emptied("Clear", [&] { SendMessageW(amp->Handle(), WM_CLEAR, 0, 0); });
    emptied("an empty paste", [&] {
        SetClipboardText(L"");
        SendMessageW(amp->Handle(), WM_PASTE, 0, 0);
    });
    amp->SetText(L"");
    EXPECT_EQ(amp->EditText(), L"-");
    // Delete over the only digit.
    amp->SetText(L"6");
    Caret(amp, 1);
    PressKey(VK_DELETE);
    EXPECT_EQ(amp->EditText(), L"-");
    // Undo brings the digit back, and undoing the emptying keeps the "-".
    SendMessageW(amp->Handle(), WM_UNDO, 0, 0);
    EXPECT_EQ(amp->EditText().substr(0, 1), L"-");
    // Other deletions wait for the next typed character, as in a box without
    // the fixed "-".
    amp->SetText(L"16");
    Caret(amp, 0);
    PressKey(VK_DELETE);
    EXPECT_EQ(amp->EditText(), L"16");
    Form->Freq->SetFocus();
    Form->Freq->SelectAll();
    PressKey(VK_DELETE);
    EXPECT_EQ(Form->Freq->EditText(), L"");
}

TEST_F(EditHexWin, PropertyChangesReformatAndAlignmentRecreatesTheWindow)
{
    Form->Hex->SetText(L"$1F");
    Form->Hex->SetMaxPlaces(places4);
    EXPECT_EQ(Form->Hex->EditText(), L"$001F");
    Form->Hex->SetNegative(true);
    EXPECT_EQ(Form->Hex->EditText(), L"-$001F");
    HWND before = Form->Hex->Handle();
    Form->Hex->SetAlignment(taRightJustify);
    EXPECT_NE(Form->Hex->Handle(), before);
    EXPECT_TRUE(GetWindowLongPtrW(Form->Hex->Handle(), GWL_STYLE) & ES_RIGHT);
    EXPECT_EQ(Form->Hex->EditText(), L"-$001F");
    EXPECT_EQ(AtomName(Form->Hex->Handle()), L"EditHex_Hex");
}

TEST_F(EditHexWin, TheExitCheckRunsBeforeTheClickOfTheButtonThatTakesTheFocus)
{
    std::vector<std::string> order;
    Form->Freq->OnExit = [&](TControl*) {
        order.push_back("exit");
        Form->Freq->SetEditText(L"23999");
    };
    Form->Close->OnClick = [&](TControl*) { order.push_back("click:" + std::string(Form->Freq->EditText() == L"23999" ? "corrected" : "raw")); };
    Form->Freq->SetFocus();
    Form->Freq->SetEditText(L"30000");
    MouseClicks(Form->Close->Handle(), 1);
    EXPECT_EQ(order, (std::vector<std::string>{"exit", "click:corrected"}));
}

}  // namespace
