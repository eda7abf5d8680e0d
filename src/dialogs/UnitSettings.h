// The settings window "TFormSettings": the output format on page "Format",
// the output device with the ASIO driver and channel pair on "Output", the
// buffer size, default period, property sheet, warble deviation and FFT use
// on "Internal"; Load and Save of settings files; CANCEL and CLOSE. A view
// over TSettingsModel, which holds the working copy and every rule.
#pragma once

#include <array>
#include <memory>

#include "controls/BitBtnExt.h"
#include "controls/EditHex.h"
#include "dialogs/SettingsModel.h"
#include "framework/ComCtrls.h"
#include "framework/Dialogs.h"
#include "framework/Forms.h"
#include "framework/StdCtrls.h"

inline constexpr wchar_t kSettingsFileFilter[] = L"Configuration File (*.cfg)|*.cfg|All File (*.*)|*.*";

class TFormSettings final : public TForm, private TSettingsView {
 public:
  TFormSettings();
  ~TFormSettings() override;

  // Joins the window to the main window and the ASIO host (once, at
  // start-up); both must outlive the window.
  void Connect(TSettingsOwner& Owner, TSettingsAsioHost& AsioHost);
  TSettingsModel& Model() const;

  // --- Window components ------------------------------------------------------
  TImage* Image_Main;
  TPageControl* PageControl_Global;
  TTabSheet *Format, *Output, *Internal;
  TPanel *Panel_Setting_Global, *Panel_Setting_Output, *Panel_Setting_Internal;
  TLabel *Label_SamplingRate, *Label_Quantization, *Label_Roundings, *Label_Dither, *Label_NoiseShaping,
      *Label_SamplingRate_Unit, *Label_Quantization_Unit;
  TLabel *Label_Device, *Label_AsioDevice, *Label_AsioChannel;
  TLabel *Label_Buffer, *Label_DeaultPeriod, *Label_PropertySheet, *Label_WarbleDeviation, *Label_FFT,
      *Label_Buffer_Unit, *Label_DefaultPeriod_Unit;
  TComboBoxEx *ComboBoxEx_SamplingRate, *ComboBoxEx_Quantization, *ComboBoxEx_Rounding, *ComboBoxEx_Dither,
      *ComboBoxEx_NoiseShaping;
  TComboBoxEx *ComboBoxEx_Device, *ComboBoxEx_AsioDevice, *ComboBoxEx_AsioChannel;
  TComboBoxEx *ComboBoxEx_Buffer, *ComboBoxEx_PropertySheet, *ComboBoxEx_WableDeviation, *ComboBoxEx_FFT;
  TBitBtnExt* BitBtnExt_AsioControl;
  TEditHex* EditHex_DefaultPeriod;
  TBitBtnExt *BitBtnExt_Load, *BitBtnExt_Save, *BitBtnExt_Cancel, *BitBtnExt_Close;
  TOpenDialog OpenDialog_Settings;
  TSaveDialog SaveDialog_Settings;

  // The local date and time the Save preset comes from.
  TLocalClock Clock = SystemLocalTime;

  // --- Event handlers ---------------------------------------------------------
  void FormShow(TControl* Sender);
  void FormClose(TControl* Sender, TCloseAction& Action);
  void BitBtnExt_CloseClick(TControl* Sender);
  void BitBtnExt_CancelClick(TControl* Sender);
  void BitBtnExt_LoadClick(TControl* Sender);
  void BitBtnExt_SaveClick(TControl* Sender);
  void BitBtnExt_AsioControlClick(TControl* Sender);
  void EditHex_DefaultPeriodExit(TControl* Sender);

 private:
  // TSettingsView
  void ShowSettings() override;
  // The default-period edit into the working copy's text, checked.
  void TakeDefaultPeriod();
  TComboBoxEx* Combo(TSettingsList Which) const { return FCombos[static_cast<std::size_t>(Which)]; }

  std::array<TComboBoxEx*, kSettingsListCount> FCombos{};
  std::unique_ptr<TSettingsAsioHost> FWaitingHost;
  std::unique_ptr<TSettingsModel> FModel;
  bool FButtonCloses = false;
};

// The settings window; null before it is created and after it is destroyed.
extern TFormSettings* FormSettings;
