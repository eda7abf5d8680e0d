// The signal editor "TFormSignals": six pages (four tone generators, the
// sweep, the noise source) over a working copy of the main window's signal
// records. CLOSE hands the working copy to the main window, CANCEL and the
// close box drop it; each edit is range-checked as the focus leaves it; Load
// and Save read and write signal set files. The rules live in
// SignalsModel.h and SignalsFile.h; this window shows them.
#pragma once

#include <filesystem>
#include <map>
#include <string>

#include "controls/BitBtnExt.h"
#include "controls/EditHex.h"
#include "dialogs/FileNameStamp.h"
#include "dialogs/SignalsModel.h"
#include "framework/ComCtrls.h"
#include "framework/Dialogs.h"
#include "framework/Forms.h"
#include "framework/StdCtrls.h"
#include "synthesis/UnitType.h"

// The main window as the signal editor uses it (user-interface thread).
class TSignalsOwner {
 public:
  virtual TPCMFormat PCMFormat() const = 0;
  virtual TSignalAttributeArray SignalAttributeArray() const = 0;
  // CLOSE: the records and their strings, then the signal labels of the
  // current channel page.
  virtual void SetSignalAttributeArray(const TSignalAttributeArray& Records) = 0;
  // The window closed by any means: xEnableChangeData := False.
  virtual void SignalsWindowClosed() = 0;

 protected:
  ~TSignalsOwner() = default;
};

class TFormSignals final : public TForm {
 public:
  TFormSignals();
  ~TFormSignals() override;

  // --- Window components ------------------------------------------------------
  TImage* Image_Main;
  TPageControl* PageControl_Signals;
  TTabSheet *TabSheet1, *TabSheet2, *TabSheet3, *TabSheet4, *TabSheet5, *TabSheet6;
  TPanel *Panel1, *Panel2, *Panel3, *Panel4, *Panel_Extra_Sweep, *Panel_Extra_Noise;
  TBitBtnExt *BitBtnExt_Load, *BitBtnExt_Save, *BitBtnExt_Cancel, *BitBtnExt_Close;
  // The 29 edits and 17 lists by component name ("EditHex_Freq_1", ...).
  std::map<std::string, TEditHex*, std::less<>> EditHex;
  std::map<std::string, TComboBoxEx*, std::less<>> ComboBoxEx;
  TOpenDialog OpenDialog_Signals;
  TSaveDialog SaveDialog_Signals;

  // --- Fields -----------------------------------------------------------------
  TSignalAttributeArray SignalAttributeArray;  // the working copy
  TSignalAttributeStringArray SignalAttributeStringArray;
  std::filesystem::path xSignalsFileName;

  // The main window; set once at start-up.
  TSignalsOwner* SignalsOwner = nullptr;
  TLocalClock Clock = SystemLocalTime;

  // --- Event handlers ---------------------------------------------------------
  void FormShow(TControl* Sender);
  void FormClose(TControl* Sender, TCloseAction& Action);
  void BitBtnExt_CloseClick(TControl* Sender);
  void BitBtnExt_CancelClick(TControl* Sender);
  void BitBtnExt_LoadClick(TControl* Sender);
  void BitBtnExt_SaveClick(TControl* Sender);
  // The range check of every edit (EditHex_Freq_1Exit ... EditHex_Period_SweepExit).
  void EditHexExit(TControl* Sender);

  void SetControlsFromAttributes();
  void GetAttributesFromControls();
  void SaveSignalsFile(const std::filesystem::path& FileName);
  void LoadSignalsFile(const std::filesystem::path& FileName);

 private:
  void CreatePage(std::int32_t Record, TPanel* Panel);
  void SetWorkingCopy(const TSignalAttributeArray& Records);
  TSignalsOwner& Owner() const;
};

// The signal editor; null before it is created and after it is destroyed.
extern TFormSignals* FormSignals;
