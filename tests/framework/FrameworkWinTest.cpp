#include "framework/Chart.h"
#include "framework/ComCtrls.h"
#include "framework/Dispatcher.h"
#include "framework/Messages.h"
#include "framework/StdCtrls.h"
#include "framework/TextFitSupport.h"
#include "framework/WinTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <string>
#include <stdexcept>
#include <thread>

#include <commctrl.h>

namespace {

class TTestForm : public TForm {
public:
    TTestForm()
        : TForm({.Name = L"FormTest", .ClassName = L"TFormFrameworkTest", .Caption = L"Framework test",
                 .ClientWidth = 420, .ClientHeight = 300})
    {
        Edit1 = Add<TEdit>({.Name = L"Edit_1", .Left = 8, .Top = 8, .Width = 80, .Height = 21, .Text = L"one"});
        Panel = Add<TPanel>({.Name = L"Panel_1", .Left = 8, .Top = 40, .Width = 120, .Height = 60,
                             .Color = MakeColor(0, 0, 64), .BevelOuter = bvLowered});
        Edit2 = Panel->Add<TEdit>({.Name = L"Edit_2", .Left = 8, .Top = 8, .Width = 80, .Height = 21});
        Label = Panel->Add<TLabel>({.Name = L"Label_1", .Left = 8, .Top = 36, .Caption = L"Label"});
        Pages = Add<TPageControl>({.Name = L"PageControl_1", .Left = 140, .Top = 8, .Width = 200, .Height = 120});
        Page1 = Pages->AddPage({.Name = L"TabSheet1", .Caption = L"First"});
        Page2 = Pages->AddPage({.Name = L"TabSheet2", .Caption = L"Second"});
        Edit3 = Page1->Add<TEdit>({.Name = L"Edit_3", .Left = 8, .Top = 8, .Width = 80, .Height = 21});
        Edit4 = Page2->Add<TEdit>({.Name = L"Edit_4", .Left = 8, .Top = 8, .Width = 80, .Height = 21});
        Button = Add<TButton>({.Name = L"Button_1", .Left = 8, .Top = 110, .Width = 75, .Height = 25,
                               .Caption = L"OK"});
        Progress = Add<TProgressBar>({.Name = L"ProgressBar_1", .Left = 8, .Top = 150, .Width = 100, .Height = 20,
                                      .Position = 50, .BarColor = TColor{0xFFFF00},
                                      .BackgroundColor = TColor{0x400000}});
        Track = Add<TTrackBar>({.Name = L"TrackBar_1", .Left = 120, .Top = 140, .Width = 40, .Height = 120,
                                .Color = TColor{0x400000}, .Orientation = trVertical, .Min = 0, .Max = 100});
        Combo = Add<TComboBoxEx>({.Name = L"ComboBoxEx_1", .Left = 180, .Top = 140, .Width = 120, .Height = 22,
                                  .Items = {L"Mute", L"L ch", L"R ch", L"L + R"}, .ItemIndex = 0,
                                  .Images = L"_OutputImages"});
        Chart = Add<TChart>({.Name = L"Chart_1", .Left = 180, .Top = 180, .Width = 220, .Height = 110});
    }
    TEdit *Edit1, *Edit2, *Edit3, *Edit4;
    TPanel* Panel;
    TLabel* Label;
    TPageControl* Pages;
    TTabSheet *Page1, *Page2;
    TButton* Button;
    TProgressBar* Progress;
    TTrackBar* Track;
    TComboBoxEx* Combo;
    TChart* Chart;
};

using FrameworkWin = TFormTest<TTestForm>;

TEST_F(FrameworkWin, ControlsCarryTheirComponentNameAndFormsTheirClass)
{
    EXPECT_EQ(AtomName(Form->Edit2->Handle()), L"Edit_2");
    EXPECT_EQ(AtomName(Form->Pages->Handle()), L"PageControl_1");
    EXPECT_EQ(AtomName(Form->Handle()), L"FormTest");
    EXPECT_EQ(FindWindowW(L"TFormFrameworkTest", nullptr), Form->Handle());
    EXPECT_EQ(Form->FindChild(L"Edit_4"), Form->Edit4);
    Application.DestroyForms();
    EXPECT_EQ(GlobalFindAtomW(L"Edit_2"), 0);
    Form = nullptr;
}

TEST_F(FrameworkWin, TabAndShiftTabMoveAcrossPanelsAndPages)
{
    Form->Edit1->SetFocus();
    Pump();
    const std::vector<TControl*> expected{Form->Edit2, Form->Pages, Form->Edit3, Form->Button, Form->Track,
                                          Form->Combo, Form->Edit1};
    for (TControl* next : expected) {
        PressKey(VK_TAB);
        EXPECT_EQ(GetFocus(), next->Handle()) << std::string(next->Name().begin(), next->Name().end());
    }
    PressKey(VK_TAB, true);
    EXPECT_EQ(GetFocus(), Form->Combo->Handle());
    // Ctrl+Tab turns the page; the controls of the hidden page are skipped.
    Form->Pages->SetFocus();
    PressKey(VK_TAB, false, true);
    EXPECT_EQ(Form->Pages->ActivePageIndex(), 1);
    PressKey(VK_TAB);
    EXPECT_EQ(GetFocus(), Form->Edit4->Handle());
}

// Tabs are as wide as their captions need, in one row inside the control:
// a fixed width too narrow for the captions is widened, and captions that
// do not stand in one row even without padding get a smaller font.
TEST_F(FrameworkWin, EveryTabCaptionFitsItsTabInOneRow)
{
    const wchar_t* captions[] = {L"Signal 1", L"Signal 2", L"Signal 3", L"Signal 4"};
    const struct {
        int width, tabWidth;
        bool smaller;
    } cases[] = {{300, 30, false}, {300, 0, false}, {150, 0, true}};
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.width);
        auto* pages = Form->Add<TPageControl>({.Name = L"PageControl_Fit" + std::to_wstring(++n), .Left = 8,
                                               .Top = 180, .Width = c.width, .Height = 60, .TabWidth = c.tabWidth});
        for (const wchar_t* caption : captions) pages->AddPage({.Name = std::wstring(L"Page_") + caption, .Caption = caption});
        Pump(20);
        HWND tabs = pages->Handle();
        HFONT font = reinterpret_cast<HFONT>(SendMessageW(tabs, WM_GETFONT, 0, 0));
        LOGFONTW shown{};
        GetObjectW(font, sizeof shown, &shown);
        EXPECT_EQ(std::abs(shown.lfHeight) < std::abs(pages->Font().PixelHeight()), c.smaller);
        EXPECT_EQ(textfit::TabCaptionFaults(*pages), std::vector<std::string>{});
        for (int i = 0; i < 4; ++i) {
            RECT r{};
            SendMessageW(tabs, TCM_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&r));
            EXPECT_GE(r.right - r.left, c.tabWidth) << i;
        }
    }
}

TEST_F(FrameworkWin, EnterEscAndLineBreaksNeverEnterAnEdit)
{
    Form->Edit1->SetFocus();
    Form->Edit1->SetText(L"ab");
    Form->Edit1->SetSelection(2, 2);
    PressKey(VK_RETURN);
    PressKey(VK_ESCAPE);
    TypeChars(Form->Edit1->Handle(), L"\r\n\t\x1b");
    EXPECT_EQ(Form->Edit1->Text(), L"ab");
    EXPECT_EQ(GetFocus(), Form->Edit1->Handle());
}

TEST_F(FrameworkWin, EnterClicksTheFocusedButton)
{
    int clicks = 0;
    Form->Button->OnClick = [&](TControl*) { ++clicks; };
    Form->Button->SetFocus();
    PressKey(VK_RETURN);
    EXPECT_EQ(clicks, 1);
}

TEST_F(FrameworkWin, ExitRunsOnlyWhenTheFocusMovesWithinTheForm)
{
    std::vector<std::wstring> exits;
    Form->Edit1->OnExit = [&](TControl* c) { exits.push_back(c->Name()); };
    Form->Edit1->SetFocus();
    Pump();
    // Another window takes the focus: no exit.
    HWND other = CreateWindowExW(0, L"EDIT", L"", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 500, 10, 100, 60, nullptr,
                                 nullptr, GetModuleHandleW(nullptr), nullptr);
    SetForegroundWindow(other);
    ::SetFocus(other);
    Pump();
    EXPECT_TRUE(exits.empty());
    DestroyWindow(other);
    SetForegroundWindow(Form->Handle());
    Pump(100);
    EXPECT_EQ(GetFocus(), Form->Edit1->Handle());  // given back on activation
    EXPECT_TRUE(exits.empty());
    Form->Edit2->SetFocus();
    Pump();
    EXPECT_EQ(exits, (std::vector<std::wstring>{L"Edit_1"}));
}

TEST_F(FrameworkWin, RangeCheckBoxOnExitStillLetsTheButtonClickThrough)
{
    // The real message box: a helper closes it once it is up.
    int clicks = 0;
    int exits = 0;
    Form->Button->OnClick = [&](TControl*) { ++clicks; };
    Form->Edit1->OnExit = [&](TControl*) {
        ++exits;
        Form->Edit1->SetText(L"10");
        ShowMessage(L"Error - Cannot set less than 10 to Frequency.");
    };
    std::atomic<bool> closed{false};
    std::thread closer([&] {
        for (int i = 0; i < 300 && !closed; ++i) {
            HWND box = FindWindowW(L"#32770", L"Error");
            if (box) {
                Sleep(100);
                PostMessageW(box, WM_COMMAND, IDOK, 0);
                closed = true;
            }
            Sleep(20);
        }
    });
    Form->Edit1->SetFocus();
    Pump();
    HWND button = Form->Button->Handle();
    PostMessageW(button, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
    PostMessageW(button, WM_LBUTTONUP, 0, MAKELPARAM(10, 10));
    PumpUntil([&] { return clicks > 0; }, 5000);
    closer.join();
    EXPECT_TRUE(closed);
    EXPECT_EQ(exits, 1);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(Form->Edit1->Text(), L"10");
    EXPECT_EQ(GetCapture(), nullptr);
}

TEST_F(FrameworkWin, ExceptionsAreReportedNotUnwoundThroughTheSystem)
{
    TMessageRecorder recorder;
    Form->Button->OnClick = [](TControl*) { throw std::runtime_error("ASIO Driver Failed!"); };
    SendMessageW(Form->Button->Handle(), BM_CLICK, 0, 0);
    Pump();
    EXPECT_EQ(recorder.Messages(), (std::vector<std::wstring>{L"ASIO Driver Failed!"}));
    EXPECT_TRUE(IsWindow(Form->Handle()));
}

TEST_F(FrameworkWin, WorkersPostToTheUserInterfaceThreadWithoutWaiting)
{
    const DWORD ui = GetCurrentThreadId();
    std::atomic<int> ran{0};
    std::atomic<bool> wrongThread{false};
    std::thread worker([&] {
        for (int i = 0; i < 200; ++i)
            TUIDispatcher::Post([&] {
                if (GetCurrentThreadId() != ui) wrongThread = true;
                ++ran;
            });
        TUIDispatcher::PostLatest(1, [&] { Form->Label->SetCaption(L"stale"); });
        TUIDispatcher::PostLatest(1, [&] { Form->Label->SetCaption(L"12 sec"); });
    });
    worker.join();  // the worker never waited for the user-interface thread
    EXPECT_TRUE(PumpUntil([&] { return ran == 200; }));
    EXPECT_FALSE(wrongThread);
    EXPECT_EQ(Form->Label->Caption(), L"12 sec");
}

TEST_F(FrameworkWin, ProgressAndTrackBarsShowTheirColours)
{
    Pump(100);
    HWND bar = Form->Progress->Handle();
    RECT r;
    GetClientRect(bar, &r);
    EXPECT_EQ(PixelOf(bar, r.right / 4, r.bottom / 2), RGB(0, 255, 255));
    EXPECT_EQ(PixelOf(bar, r.right * 3 / 4, r.bottom / 2), RGB(0, 0, 64));
    EXPECT_GT(CountPixels(Form->Track->Handle(), RGB(0, 0, 64)), 100);
}

TEST_F(FrameworkWin, TrackBarPositionFromCodeRunsOnChangeWhenItDiffers)
{
    int changes = 0;
    Form->Track->OnChange = [&](TControl*) { ++changes; };
    Form->Track->SetPosition(35);
    Form->Track->SetPosition(35);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(SendMessageW(Form->Track->Handle(), TBM_GETPOS, 0, 0), 35);
}

TEST_F(FrameworkWin, ComboBoxSelectionFromCodeIsQuietFromTheUserRunsOnChange)
{
    int changes = 0;
    Form->Combo->OnChange = [&](TControl*) { ++changes; };
    Form->Combo->SetItemIndex(2);
    EXPECT_EQ(Form->Combo->ItemIndex(), 2);
    Form->Combo->SetItemIndex(9);  // beyond the last item: no selection
    EXPECT_EQ(Form->Combo->ItemIndex(), -1);
    EXPECT_EQ(changes, 0);
    Form->Combo->SetItemIndex(0);
    Form->Combo->SetFocus();
    SendMessageW(Form->Combo->Handle(), WM_KEYDOWN, VK_DOWN, 0);
    Pump();
    EXPECT_EQ(Form->Combo->ItemIndex(), 1);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(Form->Combo->Item(3), L"L + R");
}

TEST_F(FrameworkWin, ChartDrawsItsSeries)
{
    Form->Chart->LeftAxis().SetMinMax(-100, 100);
    for (int i = 0; i < 1023; ++i) Form->Chart->Series().AddXY(i * 100.0 / 1022, 90 * std::sin(i / 50.0));
    Form->Chart->Repaint();
    EXPECT_GT(CountPixels(Form->Chart->Handle(), RGB(0, 255, 0)), 100);
    Form->Chart->LeftAxis().SetAutomatic(true);
    EXPECT_NEAR(Form->Chart->Model().LeftRange().Max, 90, 0.5);
}

}  // namespace
