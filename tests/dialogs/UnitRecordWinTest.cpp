// The recording window under Wine with a main window that writes a small
// stand-in file: names, record time check, RECORD, CANCEL, the property sheet
// and the lock while a file is written.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "app/WavTestSupport.h"
#include "dialogs/UnitRecord.h"
#include "framework/Messages.h"
#include "framework/Text.h"
#include "framework/WinTestSupport.h"
#include "synthesis/UnitType.h"

#include <commctrl.h>

namespace {

class TFakeOwner final : public TRecordOwner {
 public:
  TInternalSetting Setting{};
  TFormRecord* Form = nullptr;
  int Writes = 0;
  int Closes = 0;
  std::vector<std::int32_t> WrittenSeconds;
  TWavRenderStatus Outcome = TWavRenderStatus::_Completed;
  std::function<void()> DuringWrite;

  TInternalSetting InternalSetting() const override { return Setting; }
  void SetRecordTime(std::int32_t Seconds) override { Setting._RecordTime = Seconds; }
  TPCMFormatString PCMFormatString() const override { return DefaultPCMFormatString(); }
  TInternalSettingString InternalSettingString() const override { return DefaultInternalSettingString(); }
  TSignalAttributeStringArray SignalAttributeStringArray() const override {
    return DefaultSignalAttributeStringArray();
  }
  TWavRenderResult CreateWavFile() override {
    ++Writes;
    WrittenSeconds.push_back(Setting._RecordTime);
    if (DuringWrite) DuringWrite();
    if (Outcome != TWavRenderStatus::_Completed) return {Outcome, 0, "Error - Cannot write."};
    std::ofstream(Form->WavFileName(), std::ios::binary) << "RIFF";
    for (std::int32_t i = 0; i < Setting._RecordTime; ++i) Form->StepProgress(Form->ProgressMax() / Setting._RecordTime);
    Form->CloseWindow();
    return {TWavRenderStatus::_Completed, 0, {}};
  }
  void RecordWindowClosed() override { ++Closes; }

 private:
  static TPCMFormatString DefaultPCMFormatString() {
    return {"48000", "16", "NEAR EVEN", "WHITE", "OFF"};
  }
  static TInternalSettingString DefaultInternalSettingString() {
    TInternalSettingString s{};
    s._WableDeviation = "1/3 Oct";
    return s;
  }
  static TSignalAttributeStringArray DefaultSignalAttributeStringArray() {
    return TSignalAttributeStringArray(6);
  }
};

class TMainStandIn : public TForm {
 public:
  TMainStandIn() : TForm({.Name = L"FormMainStandIn", .ClassName = L"TFormMainStandIn"}) {}
};

class RecordWin : public ::testing::Test {
 protected:
  void SetUp() override {
    Application.Initialize();
    Application.CreateForm<TMainStandIn>();
    Form = Application.CreateForm<TFormRecord>();
    Owner.Form = Form;
    Owner.Setting._DefaultPeriod = 10;
    Owner.Setting._RecordTime = 7;
    Form->RecordOwner = &Owner;
    Form->Clock = [] { return TLocalDateTime{2026, 12, 5, 19, 5, 22}; };
    Form->Show();
    Pump(100);
  }
  void TearDown() override {
    Application.DestroyForms();
    Pump(20);
  }

  // The names the save dialog would have given.
  void ChooseFile(const std::wstring& Name) {
    Form->xWavFileName = Dir / (Name + L".wav");
    Form->xTextFileName = Dir / (Name + L".txt");
  }
  // Leaves the record-time edit with Text in it.
  void LeaveRecordTime(const std::wstring& Text) {
    Form->EditHex_Record_Time->SetFocus();
    Form->EditHex_Record_Time->SetEditText(Text);
    Form->BitBtnExt_Cancel->SetFocus();
    Pump(20);
  }
  static std::vector<std::string> Lines(const std::filesystem::path& File) {
    std::ifstream in(File, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  wavtest::TScratchDir Scratch{"record"};
  const std::filesystem::path& Dir = Scratch.Path();
  TFakeOwner Owner;
  TFormRecord* Form = nullptr;
};

TEST_F(RecordWin, ShowingProposesNamesFromTheClockAndResetsTimeAndBar) {
  EXPECT_EQ(Form->Caption(), L"Recording");
  EXPECT_EQ(Form->Edit_Record_FileName->Text(), L"20261205_190522.wav");
  EXPECT_EQ(Form->xWavFileName, std::filesystem::path(L"20261205_190522.wav"));
  EXPECT_EQ(Form->xTextFileName, std::filesystem::path(L"20261205_190522.txt"));
  EXPECT_EQ(Owner.Setting._RecordTime, 10);
  EXPECT_EQ(Form->EditHex_Record_Time->Text(), L"10");
  EXPECT_EQ(Form->ProgressBar_Record->Position(), 0);
  EXPECT_EQ(Form->ProgressBar_Record->Max(), 100);
  EXPECT_EQ(SendMessageW(Form->ProgressBar_Record->Handle(), PBM_GETRANGE, FALSE, 0), 100);
}

TEST_F(RecordWin, LeavingTheRecordTimeChecksItsRange) {
  struct TCase {
    std::wstring Typed;
    std::wstring Shown;
    std::int32_t Applied;
    bool Message;
  } cases[] = {{L"", L"1", 1, true}, {L"0", L"1", 1, true}, {L"5", L"5", 5, false}, {L"99", L"99", 99, false}};
  for (const TCase& c : cases) {
    TMessageRecorder messages;
    LeaveRecordTime(c.Typed);
    EXPECT_EQ(Form->EditHex_Record_Time->Text(), c.Shown) << "typed \"" << WideToUtf8(c.Typed) << "\"";
    EXPECT_EQ(Owner.Setting._RecordTime, c.Applied);
    const std::vector<std::wstring> expected =
        c.Message ? std::vector<std::wstring>{L"Error - Cannot set 0 to Default Period."} : std::vector<std::wstring>{};
    EXPECT_EQ(messages.Messages(), expected);
  }
}

TEST_F(RecordWin, ZeroTypedThenRecordRecordsOneSecondAfterTheMessage) {
  TMessageRecorder messages;
  ChooseFile(L"one");
  Form->EditHex_Record_Time->SetFocus();
  Form->EditHex_Record_Time->SetEditText(L"0");
  Form->BitBtnExt_Record->Click();
  Pump(20);
  EXPECT_EQ(messages.Messages(), std::vector<std::wstring>{L"Error - Cannot set 0 to Default Period."});
  EXPECT_EQ(Owner.WrittenSeconds, std::vector<std::int32_t>{1});
}

TEST_F(RecordWin, RecordWritesTheFileClosesTheWindowAndWritesTheSheetAsAsked) {
  struct TCase {
    TPropertySheet Mode;
    std::size_t Lines;  // 0: no sheet
  } cases[] = {{TPropertySheet::_PropertyNo, 0}, {TPropertySheet::_PropertySignal, 73}, {TPropertySheet::_PropertyAll, 81}};
  int n = 0;
  for (const TCase& c : cases) {
    if (!Form->Visible()) Form->Show();
    Owner.Setting._PropertySheet = c.Mode;
    Owner.Setting._RecordTime = 3;  // 33 per second
    ChooseFile(L"tone" + std::to_wstring(++n));
    Form->BitBtnExt_Record->Click();
    Pump(20);
    EXPECT_FALSE(Form->Visible());
    EXPECT_EQ(Owner.Closes, n);
    EXPECT_EQ(Form->ProgressBar_Record->Position(), 99);
    EXPECT_TRUE(std::filesystem::exists(Form->xWavFileName));
    if (c.Lines == 0) {
      EXPECT_FALSE(std::filesystem::exists(Form->xTextFileName));
      continue;
    }
    const std::vector<std::string> lines = Lines(Form->xTextFileName);
    ASSERT_EQ(lines.size(), c.Lines);
    EXPECT_EQ(lines[0], "//-------------\r");
    EXPECT_EQ(lines[1], "//WavFile Name : tone" + std::to_string(n) + ".wav\r");
  }
}

TEST_F(RecordWin, AFailedFileLeavesTheWindowOpenAndWritesNoSheet) {
  Owner.Setting._PropertySheet = TPropertySheet::_PropertyAll;
  Owner.Outcome = TWavRenderStatus::_Failed;
  ChooseFile(L"failed");
  Form->BitBtnExt_Record->Click();
  Pump(20);
  EXPECT_TRUE(Form->Visible());
  EXPECT_EQ(Owner.Closes, 0);
  EXPECT_FALSE(std::filesystem::exists(Form->xTextFileName));
  EXPECT_TRUE(IsWindowEnabled(Form->BitBtnExt_Record->Handle()));
  EXPECT_TRUE(IsWindowEnabled(Form->BitBtnExt_Cancel->Handle()));
  EXPECT_FALSE(Form->Recording());
}

TEST_F(RecordWin, ASheetThatCannotBeWrittenIsReportedAfterTheFile) {
  TMessageRecorder messages;
  Owner.Setting._PropertySheet = TPropertySheet::_PropertySignal;
  Form->xWavFileName = Dir / L"tone.wav";
  Form->xTextFileName = Dir / L"no such folder" / L"tone.txt";
  Form->BitBtnExt_Record->Click();
  Pump(20);
  EXPECT_TRUE(std::filesystem::exists(Form->xWavFileName));
  EXPECT_FALSE(Form->Visible());
  ASSERT_EQ(messages.Messages().size(), 1u);
  EXPECT_EQ(messages.Messages()[0].rfind(L"Error - ", 0), 0u);
}

TEST_F(RecordWin, ClicksQueuedWhileAFileIsWrittenStartNothing) {
  ChooseFile(L"busy");
  Owner.Outcome = TWavRenderStatus::_Failed;  // the window stays open afterwards
  bool lockedDuringWrite = false;
  Owner.DuringWrite = [&] {
    // Only CANCEL stays enabled: it ends the file being written.
    lockedDuringWrite = Form->Recording() && !IsWindowEnabled(Form->BitBtnExt_Record->Handle()) &&
                        IsWindowEnabled(Form->BitBtnExt_Cancel->Handle());
    // Clicks and a close arrive; a message box shown now would run them.
    PostMessageW(Form->BitBtnExt_Record->Handle(), BM_CLICK, 0, 0);
    PostMessageW(Form->BitBtnExt_Cancel->Handle(), BM_CLICK, 0, 0);
    PostMessageW(Form->Handle(), WM_CLOSE, 0, 0);
    Pump(50);
    // Queued again, to be handled only after the write.
    PostMessageW(Form->BitBtnExt_Record->Handle(), BM_CLICK, 0, 0);
  };
  Form->BitBtnExt_Record->Click();
  Pump(100);
  EXPECT_TRUE(lockedDuringWrite);
  EXPECT_EQ(Owner.Writes, 1);
  EXPECT_EQ(Owner.Closes, 0);
  EXPECT_TRUE(Form->Visible());
}

TEST_F(RecordWin, CancelAndTheCloseBoxReturnToStopWithoutWriting) {
  ChooseFile(L"cancelled");
  Owner.Setting._PropertySheet = TPropertySheet::_PropertyAll;
  Form->BitBtnExt_Cancel->Click();
  Pump(20);
  EXPECT_FALSE(Form->Visible());
  EXPECT_EQ(Owner.Closes, 1);
  Form->Show();
  Pump(20);
  SendMessageW(Form->Handle(), WM_CLOSE, 0, 0);
  Pump(20);
  EXPECT_FALSE(Form->Visible());
  EXPECT_EQ(Owner.Closes, 2);
  EXPECT_EQ(Owner.Writes, 0);
  EXPECT_TRUE(std::filesystem::is_empty(Dir));
}

}  // namespace
