#include "dialogs/UnitRecord.h"

#include <stdexcept>
#include <string>

#include "dialogs/PropertySheet.h"
#include "dialogs/RecordFiles.h"
#include "framework/Messages.h"
#include "framework/Text.h"

TFormRecord* FormRecord = nullptr;

namespace {

// Look of the window.
constexpr TColor kPanelColor = 0x400000;
constexpr TColor kCaptionColor = MakeColor(110, 170, 230);
constexpr TColor kValueColor = 0xffff00;
constexpr TColor kButtonFace = MakeColor(78, 82, 96);

// The name in the system's 8-bit code page, as the property sheet holds it.
std::string AnsiText(const std::wstring& Text) {
  if (Text.empty()) return {};
  const int size = WideCharToMultiByte(CP_ACP, 0, Text.data(), static_cast<int>(Text.size()), nullptr, 0,
                                       nullptr, nullptr);
  std::string out(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_ACP, 0, Text.data(), static_cast<int>(Text.size()), out.data(), size, nullptr, nullptr);
  return out;
}

}  // namespace

TFormRecord::TFormRecord()
    : TForm({.Name = L"FormRecord", .ClassName = L"TFormRecord", .Caption = L"Recording", .ClientWidth = 360,
             .ClientHeight = 168, .Position = poScreenCenter, .BorderStyle = bsSingle, .SystemMenu = true,
             .MinimizeBox = true, .MaximizeBox = false}),
      SaveDialog_WavFile({.Filter = kWavFileFilter, .DefaultExt = L"wav"}) {
  const TFont caption{.Size = 9, .Color = kCaptionColor};
  const TFont value{.Size = 9, .Color = kValueColor, .Bold = true};
  const TFont button{.Size = 8, .Color = clWhite, .Bold = true};

  Image_Record = Add<TImage>({.Name = L"Image_Record", .Left = 0, .Top = 0, .Width = 360, .Height = 168,
                              .Picture = L"_Background", .Stretch = true});
  Panel_Record = Add<TPanel>({.Name = L"Panel_Record", .Left = 8, .Top = 8, .Width = 344, .Height = 112,
                              .TabOrder = 0, .Font = caption, .Color = kPanelColor, .BevelOuter = bvLowered});
  Label_Record_FileName = Panel_Record->Add<TLabel>({.Name = L"Label_Record_FileName", .Left = 10, .Top = 13,
                                                     .Caption = L"File Name", .Transparent = true});
  Edit_Record_FileName = Panel_Record->Add<TEdit>({.Name = L"Edit_Record_FileName", .Left = 92, .Top = 10,
                                                   .Width = 204, .Height = 21, .TabStop = false, .Font = value,
                                                   .Color = kPanelColor, .ReadOnly = true});
  BitBtnExt_Record_OpenDialog = Panel_Record->Add<TBitBtnExt>(
      {.Name = L"BitBtnExt_Record_OpenDialog", .Left = 302, .Top = 8, .Width = 32, .Height = 25,
       .Color = kButtonFace, .Glyph = L"_OpenDialog"});
  Label_Record_Time = Panel_Record->Add<TLabel>({.Name = L"Label_Record_Time", .Left = 10, .Top = 47,
                                                 .Caption = L"Record Time", .Transparent = true});
  EditHex_Record_Time = Panel_Record->Add<TEditHex>(
      {.Name = L"EditHex_Record_Time", .Left = 92, .Top = 44, .Width = 40, .Height = 21, .Font = value,
       .Color = kPanelColor, .Text = L"10", .MaxLength = 2, .Alignment = taRightJustify, .NumeralOnly = true,
       .NumericType = Decimal});
  Label_Record_Time_Unit = Panel_Record->Add<TLabel>({.Name = L"Label_Record_Time_Unit", .Left = 138, .Top = 47,
                                                      .Caption = L"sec", .Transparent = true});
  ProgressBar_Record = Panel_Record->Add<TProgressBar>(
      {.Name = L"ProgressBar_Record", .Left = 10, .Top = 82, .Width = 324, .Height = 16, .Min = 0, .Max = 100,
       .Position = 0, .BarColor = kRecordProgressColor, .BackgroundColor = kPanelColor});
  BitBtnExt_Cancel = Add<TBitBtnExt>({.Name = L"BitBtnExt_Cancel", .Left = 196, .Top = 130, .Width = 74,
                                      .Height = 28, .Font = button, .Color = kButtonFace, .Caption = L"CANCEL",
                                      .Cancel = true});
  BitBtnExt_Record = Add<TBitBtnExt>({.Name = L"BitBtnExt_Record", .Left = 278, .Top = 130, .Width = 74,
                                      .Height = 28, .Font = button, .Color = kButtonFace, .Caption = L"RECORD"});

  OnShow = [this](TControl* sender) { FormShow(sender); };
  OnClose = [this](TControl* sender, TCloseAction& action) { FormClose(sender, action); };
  BitBtnExt_Cancel->OnClick = [this](TControl* sender) { BitBtnExt_CancelClick(sender); };
  BitBtnExt_Record->OnClick = [this](TControl* sender) { BitBtnExt_RecordClick(sender); };
  BitBtnExt_Record_OpenDialog->OnClick = [this](TControl* sender) { BitBtnExt_Record_OpenDialogClick(sender); };
  EditHex_Record_Time->OnExit = [this](TControl* sender) { EditHex_Record_TimeExit(sender); };
  FormRecord = this;
}

TFormRecord::~TFormRecord() {
  if (FormRecord == this) FormRecord = nullptr;
}

TRecordOwner& TFormRecord::Owner() const {
  if (!RecordOwner) throw std::logic_error("the recording window has no main window");
  return *RecordOwner;
}

void TFormRecord::FormShow(TControl*) {
  const TRecordFileNames names = ProposedRecordFileNames(Clock);
  xWavFileName = names.WavFileName;
  xTextFileName = names.TextFileName;
  Edit_Record_FileName->SetText(xWavFileName.wstring());

  const std::int32_t seconds = Owner().InternalSetting()._DefaultPeriod;
  Owner().SetRecordTime(seconds);
  EditHex_Record_Time->SetText(std::to_wstring(seconds));

  ProgressBar_Record->SetPosition(0);
  ProgressBar_Record->SetMax(100);
  ProgressBar_Record->SetBarColor(kRecordProgressColor);
}

void TFormRecord::FormClose(TControl*, TCloseAction& Action) {
  // While a file is written only the writer closes the window.
  if (FRecording && !FWriterCloses) {
    Action = caNone;
    return;
  }
  Owner().RecordWindowClosed();
}

void TFormRecord::BitBtnExt_CancelClick(TControl*) {
  if (FRecording) {
    // The writer looks at it between its steps and closes the window.
    FCancelRequested = true;
    return;
  }
  Close();
}

void TFormRecord::BitBtnExt_Record_OpenDialogClick(TControl*) {
  if (FRecording) return;
  SaveDialog_WavFile.FileName = xWavFileName.wstring();
  if (!SaveDialog_WavFile.Execute(this)) return;
  const TRecordFileNames names = ChosenRecordFileNames(SaveDialog_WavFile.FileName);
  xWavFileName = names.WavFileName;
  xTextFileName = names.TextFileName;
  Edit_Record_FileName->SetText(xWavFileName.wstring());
}

void TFormRecord::EditHex_Record_TimeExit(TControl*) {
  const TRecordTimeCheck check = CheckRecordTime(WideToUtf8(EditHex_Record_Time->Text()));
  if (check.Corrected) {
    EditHex_Record_Time->SetText(std::to_wstring(check.Seconds));
    ShowMessage(Utf8ToWide(kMsgCannotSetZeroRecordTime));
  }
  Owner().SetRecordTime(check.Seconds);
}

void TFormRecord::BitBtnExt_RecordClick(TControl*) {
  // A click that was queued while a file was written, or that reaches the
  // window after it closed, starts nothing.
  if (FRecording || !Visible()) return;
  FRecording = true;
  // Leaving the record-time edit applies its value (a click with the mouse
  // has done so already); its message box must not let a second click in.
  if (EditHex_Record_Time->Focused()) {
    BitBtnExt_Record->SetFocus();
    if (EditHex_Record_Time->Focused()) EditHex_Record_TimeExit(EditHex_Record_Time);
  }
  FCancelRequested = false;
  SetRecording(true);
  TWavRenderResult result;
  try {
    result = Owner().CreateWavFile();
  } catch (...) {
    DiscardQueuedInput();
    SetRecording(false);
    throw;
  }
  DiscardQueuedInput();
  SetRecording(false);
  if (!result.Completed()) {
    // The window stays open for another try; nothing is written beside.
    if (result.Status == TWavRenderStatus::_Failed) ProgressBar_Record->SetPosition(0);
    return;
  }
  if (Owner().InternalSetting()._PropertySheet != TPropertySheet::_PropertyNo) WritePropertySheet();
}

void TFormRecord::WritePropertySheet() {
  const std::vector<std::string> lines = PropertySheetLines(
      Owner().InternalSetting()._PropertySheet, AnsiText(xWavFileName.filename().wstring()),
      Owner().PCMFormatString(), Owner().InternalSettingString(), Owner().SignalAttributeStringArray());
  try {
    WritePropertySheetFile(xTextFileName, PropertySheetText(lines));
  } catch (const EFileError& e) {
    ShowMessage(Utf8ToWide(e.what()));
  }
}

void TFormRecord::StepProgress(std::int32_t Step) {
  ProgressBar_Record->StepBy(Step);
  ProgressBar_Record->Repaint();
}

void TFormRecord::ShowErrorMessage(std::string_view Text) { ShowMessage(Utf8ToWide(Text)); }

void TFormRecord::CloseWindow() {
  FWriterCloses = true;
  Close();
  FWriterCloses = false;
}

bool TFormRecord::KeepResponsive() {
  Application.ProcessMessages();
  return FCancelRequested;
}

void TFormRecord::SetRecording(bool Value) {
  FRecording = Value;
  for (TControl* control :
       std::initializer_list<TControl*>{BitBtnExt_Record, BitBtnExt_Record_OpenDialog, EditHex_Record_Time})
    control->SetEnabled(!Value);
}

void TFormRecord::DiscardQueuedInput() {
  MSG message;
  for (const TControl* window : std::initializer_list<const TControl*>{
           this, BitBtnExt_Record, BitBtnExt_Cancel, BitBtnExt_Record_OpenDialog, EditHex_Record_Time})
    for (const auto& [first, last] : {std::pair<UINT, UINT>{WM_KEYFIRST, WM_KEYLAST},
                                     std::pair<UINT, UINT>{WM_MOUSEFIRST, WM_MOUSELAST},
                                     std::pair<UINT, UINT>{BM_CLICK, BM_CLICK}})
      while (PeekMessageW(&message, window->Handle(), first, last, PM_REMOVE | PM_NOYIELD)) {
      }
}
