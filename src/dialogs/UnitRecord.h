// The recording window "TFormRecord": proposes a WAV file name from the local
// date and time, takes the record time in whole seconds and, on RECORD, has
// the main window write the file while its progress bar advances; then, when
// the settings ask for it, writes the property sheet beside the file.
// Closing the window by any means returns the main window to _Stop.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string_view>

#include "app/WavRecording.h"
#include "controls/BitBtnExt.h"
#include "controls/EditHex.h"
#include "dialogs/FileNameStamp.h"
#include "framework/ComCtrls.h"
#include "framework/Dialogs.h"
#include "framework/Forms.h"
#include "framework/StdCtrls.h"
#include "synthesis/UnitType.h"

// The main window as the recording window uses it (user-interface thread).
class TRecordOwner {
 public:
  virtual TInternalSetting InternalSetting() const = 0;
  // InternalSetting._RecordTime := Seconds.
  virtual void SetRecordTime(std::int32_t Seconds) = 0;
  // The display strings the property sheet lists.
  virtual TPCMFormatString PCMFormatString() const = 0;
  virtual TInternalSettingString InternalSettingString() const = 0;
  virtual TSignalAttributeStringArray SignalAttributeStringArray() const = 0;
  // TFormMain.CreateWavFile: writes xWavFileName, steps the progress bar and
  // closes this window when the file is complete.
  virtual TWavRenderResult CreateWavFile() = 0;
  // The window closed: state _Stop, REC picture "_WavFileInactive".
  virtual void RecordWindowClosed() = 0;

 protected:
  ~TRecordOwner() = default;
};

inline constexpr TColor kRecordProgressColor = 0xffff00;
inline constexpr wchar_t kWavFileFilter[] = L"wav File (*.wav)|*.wav|All File (*.*)|*.*";

class TFormRecord final : public TForm, public TWavRecordingWindow {
 public:
  TFormRecord();
  ~TFormRecord() override;

  // --- Window components ------------------------------------------------------
  TImage* Image_Record;
  TPanel* Panel_Record;
  TLabel *Label_Record_FileName, *Label_Record_Time, *Label_Record_Time_Unit;
  TEdit* Edit_Record_FileName;
  TBitBtnExt* BitBtnExt_Record_OpenDialog;
  TEditHex* EditHex_Record_Time;
  TProgressBar* ProgressBar_Record;
  TBitBtnExt *BitBtnExt_Cancel, *BitBtnExt_Record;
  TSaveDialog SaveDialog_WavFile;

  // --- Fields -----------------------------------------------------------------
  std::filesystem::path xWavFileName;  // the WAV file to write
  std::filesystem::path xTextFileName;  // the property sheet

  // The main window; set once at start-up.
  TRecordOwner* RecordOwner = nullptr;
  // The local date and time the proposed names come from.
  TLocalClock Clock = SystemLocalTime;

  // --- Event handlers ---------------------------------------------------------
  void FormShow(TControl* Sender);
  void FormClose(TControl* Sender, TCloseAction& Action);
  void BitBtnExt_CancelClick(TControl* Sender);
  void BitBtnExt_RecordClick(TControl* Sender);
  void BitBtnExt_Record_OpenDialogClick(TControl* Sender);
  void EditHex_Record_TimeExit(TControl* Sender);

  // True while RECORD is writing a file.
  bool Recording() const { return FRecording; }

  // --- TWavRecordingWindow (driven by the main window's writer) ---------------
  std::filesystem::path WavFileName() const override { return xWavFileName; }
  std::int32_t ProgressMax() const override { return ProgressBar_Record->Max(); }
  void StepProgress(std::int32_t Step) override;
  void ShowErrorMessage(std::string_view Text) override;
  void CloseWindow() override;
  bool KeepResponsive() override;

 private:
  void WritePropertySheet();
  // Locks RECORD, the dialog button and the record time while a file is
  // written; CANCEL then cancels the file.
  void SetRecording(bool Value);
  // Drops the clicks and keys that reached the window while a file was
  // written, so that none of them starts the work again.
  void DiscardQueuedInput();
  TRecordOwner& Owner() const;

  bool FRecording = false;
  bool FWriterCloses = false;
  bool FCancelRequested = false;  // CANCEL during RECORD
};

// The recording window; null before it is created and after it is destroyed.
extern TFormRecord* FormRecord;
