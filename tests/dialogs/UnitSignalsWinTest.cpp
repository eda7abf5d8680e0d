// The signal editor under Wine with a stand-in main window: the tab captions
// in its page control, the noise page's units, an amplitude edit emptied
// either way, and a set saved at 32000 Hz loaded back.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/OneSecond.h"
#include "app/WavTestSupport.h"
#include "dialogs/UnitSignals.h"
#include "framework/Messages.h"
#include "framework/WinTestSupport.h"
#include "synthesis/UnitFunction.h"

#include <commctrl.h>

namespace {

class TFakeOwner final : public TSignalsOwner {
 public:
  TPCMFormat Format = TExFunctionLib::InitializePCMFormat();
  TSignalAttributeArray Records = StartUpSignalAttributeArray();
  TPCMFormat PCMFormat() const override { return Format; }
  TSignalAttributeArray SignalAttributeArray() const override { return Records; }
  void SetSignalAttributeArray(const TSignalAttributeArray& Value) override { Records = Value; }
  void SignalsWindowClosed() override {}
};

class TMainStandIn : public TForm {
 public:
  TMainStandIn() : TForm({.Name = L"FormMainStandIn", .ClassName = L"TFormMainStandIn"}) {}
};

// The child window of Root that carries the component name.
HWND Named(HWND Root, const std::wstring& Name) {
  struct TSearch {
    const std::wstring* Name;
    HWND Found;
  } search{&Name, nullptr};
  EnumChildWindows(
      Root,
      [](HWND window, LPARAM data) -> BOOL {
        auto* s = reinterpret_cast<TSearch*>(data);
        if (AtomName(window) != *s->Name) return TRUE;
        s->Found = window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.Found;
}

RECT BoundsIn(HWND Window, HWND Parent) {
  RECT r;
  GetWindowRect(Window, &r);
  MapWindowPoints(nullptr, Parent, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

class SignalsWin : public ::testing::Test {
 protected:
  void SetUp() override {
    Application.Initialize();
    Application.CreateForm<TMainStandIn>();
    Form = Application.CreateForm<TFormSignals>();
    Form->SignalsOwner = &Owner;
    Form->Show();
    Pump(100);
  }
  void TearDown() override {
    Application.DestroyForms();
    Pump(20);
  }
  // Takes the focus from an edit as a click elsewhere does: its check runs.
  void Leave(TEditHex* Edit, TControl* Next) {
    Next->SetFocus();
    Pump(20);
    EXPECT_NE(GetFocus(), Edit->Handle());
  }

  wavtest::TScratchDir Scratch{"signals-win"};
  TFakeOwner Owner;
  TFormSignals* Form = nullptr;
};

// Every caption is as wide as its tab allows, with room for the tab's edges,
// and the six tabs stand in one row inside the 285-pixel control whichever
// page is shown (the shown tab stands out on both sides).
TEST_F(SignalsWin, EveryTabCaptionReadsInFullInOneRow) {
  HWND tabs = Form->PageControl_Signals->Handle();
  RECT client;
  GetClientRect(tabs, &client);
  ASSERT_EQ(client.right, 285);
  const wchar_t* captions[] = {L"Signal 1", L"Signal 2", L"Signal 3", L"Signal 4", L"Sweep", L"Noise"};
  ASSERT_EQ(SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0), 6);
  for (int shown = 0; shown < 6; ++shown) {
    Form->PageControl_Signals->SetActivePageIndex(shown);
    Pump(20);
    EXPECT_EQ(SendMessageW(tabs, TCM_GETROWCOUNT, 0, 0), 1);
    HWND arrows = FindWindowExW(tabs, nullptr, UPDOWN_CLASSW, nullptr);
    EXPECT_FALSE(arrows && IsWindowVisible(arrows)) << "scroll arrows over the tabs";
    HDC dc = GetDC(tabs);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(tabs, WM_GETFONT, 0, 0)));
    for (int i = 0; i < 6; ++i) {
      SIZE text{};
      GetTextExtentPoint32W(dc, captions[i], static_cast<int>(wcslen(captions[i])), &text);
      RECT r{};
      SendMessageW(tabs, TCM_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&r));
      const int outset = i == shown ? 2 : 0;
      EXPECT_GE(r.right - r.left, text.cx + 2 * 2) << "tab " << i << " with page " << shown << " shown";
      EXPECT_GE(r.left - outset, 0) << "tab " << i;
      EXPECT_LE(r.right + outset, client.right) << "tab " << i << " with page " << shown << " shown";
    }
    SelectObject(dc, old);
    ReleaseDC(tabs, dc);
  }
  // The captions keep the size they had unless they could not fit.
  LOGFONTW font{};
  GetObjectW(reinterpret_cast<HFONT>(SendMessageW(tabs, WM_GETFONT, 0, 0)), sizeof font, &font);
  EXPECT_EQ(font.lfHeight, Form->Font().PixelHeight());
}

// Like every phase edit, the noise page's phase list has "degree" at its
// right, where the other units stand, clear of the list.
TEST_F(SignalsWin, TheNoisePhaseListShowsItsUnit) {
  HWND page = Form->TabSheet6->Handle();
  HWND unit = Named(page, L"Label_Unit_ComboBoxEx_Phase_Noise");
  ASSERT_NE(unit, nullptr);
  wchar_t text[32] = {};
  GetWindowTextW(unit, text, 32);
  EXPECT_STREQ(text, L"degree");
  const RECT list = BoundsIn(Form->ComboBoxEx.at("ComboBoxEx_Phase_Noise")->Handle(), page);
  const RECT label = BoundsIn(unit, page);
  const RECT amplitudeUnit = BoundsIn(Named(page, L"Label_Unit_EditHex_Amp_Noise"), page);
  EXPECT_GE(label.left, list.right);
  EXPECT_EQ(label.left, amplitudeUnit.left);
  EXPECT_GT(label.top, amplitudeUnit.top);
}

// Backspace over the last digit and Delete over a selection both empty the
// box down to its fixed "-"; either way leaving it gives the lower bound with
// its message.
TEST_F(SignalsWin, AnAmplitudeEmptiedEitherWayBecomesTheLowerBound) {
  TEditHex* amplitude = Form->EditHex.at("EditHex_Amp_1");
  TEditHex* frequency = Form->EditHex.at("EditHex_Freq_1");
  for (const bool backspace : {true, false}) {
    SCOPED_TRACE(backspace ? "Backspace" : "Delete");
    TMessageRecorder messages;
    amplitude->SetFocus();
    amplitude->SetEditText(L"-6");
    if (backspace) {
      amplitude->SetSelection(2, 2);
      TypeChars(amplitude->Handle(), L"\b");
    } else {
      amplitude->SetSelection(0, 2);
      PressKey(VK_DELETE);
    }
    EXPECT_EQ(amplitude->EditText(), L"-");
    Leave(amplitude, frequency);
    EXPECT_EQ(amplitude->EditText(), L"-96");
    EXPECT_EQ(messages.Messages(), std::vector<std::wstring>{L"Error - Cannot set less than -96 to Amplitude."});
  }
  // A typed 0 is full scale, and says nothing.
  TMessageRecorder messages;
  amplitude->SetFocus();
  amplitude->SetEditText(L"-");
  amplitude->SetSelection(1, 1);
  TypeChars(amplitude->Handle(), L"0");
  Leave(amplitude, frequency);
  EXPECT_EQ(amplitude->EditText(), L"-0");
  EXPECT_TRUE(messages.Messages().empty());
}

// The start-up set, untouched, saved at 32000 Hz: its sweep record's stop of
// 20000 Hz is saved as 15999 and the file loads back.
TEST_F(SignalsWin, TheStartUpSetSavedAt32000HzLoadsBack) {
  Owner.Format._SamplingRate = 32000;
  Form->FormShow(Form);
  TMessageRecorder messages;
  const std::filesystem::path file = Scratch.Path() / "start.sig";
  Form->SaveSignalsFile(file);
  Form->LoadSignalsFile(file);
  EXPECT_TRUE(messages.Messages().empty());
  EXPECT_EQ(Form->EditHex.at("EditHex_Stop")->EditText(), L"15999");
  EXPECT_EQ(Form->SignalAttributeArray[4]._SweepFrequency._Stop, 15999);
  EXPECT_EQ(Form->SignalAttributeArray[0]._SweepFrequency._Stop, 20000);  // a tone page shows no sweep
}

// A set saved onto a read-only file: the message every window shows for a
// file that cannot be written, and the file as it was.
TEST_F(SignalsWin, AReadOnlyFileIsRefusedWithTheMessageOfEveryWindow) {
  const std::filesystem::path file = Scratch.Path() / "ro.sig";
  wavtest::WriteText(file, "old");
  ASSERT_TRUE(SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY));
  Form->FormShow(Form);
  TMessageRecorder messages;
  Form->SaveSignalsFile(file);
  EXPECT_EQ(messages.Messages(), std::vector<std::wstring>{L"Error - Cannot write the file \"" + file.wstring() +
                                                            L"\": it is read-only."});
  SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(wavtest::ReadText(file), "old");
}

}  // namespace
