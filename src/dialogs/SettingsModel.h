// The settings window without any window: its lists and what each pick
// does, the mapping of the lists to the working copy of the main window's
// PCMFormat and InternalSetting, the 44056 Hz rule, the output device with
// the ASIO driver and channel-pair lists, the default-period check, CLOSE
// and CANCEL, and loading and saving settings files. The Win32 window
// (TFormSettings) shows the lists and hands the user's picks in here.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "dialogs/FileNameStamp.h"
#include "synthesis/UnitType.h"

// The lists of the window, in the order of TSettingsModel::Lists.
enum class TSettingsList : std::uint8_t {
  _SamplingRate, _Quantization, _Rounding, _Dither, _NoiseShaping,
  _Device, _AsioDevice, _AsioChannel,
  _Buffer, _PropertySheet, _WableDeviation, _FFT,
};
inline constexpr std::size_t kSettingsListCount = 12;

struct TSettingsListState {
  std::vector<std::string> Items;
  std::int32_t ItemIndex = -1;  // -1: no selection
};

// What the window needs from the ASIO host. Choosing a driver that cannot be
// opened is not reported here: afterwards it has no output channels.
class TSettingsAsioHost {
 public:
  virtual ~TSettingsAsioHost() = default;
  virtual std::vector<std::string> DriverList() const = 0;
  virtual std::int32_t DriverIndex() const = 0;
  // Closes the open driver and opens the one at Index (-1: none); may take
  // seconds.
  virtual void SetDriverIndex(std::int32_t Index) = 0;
  virtual std::int32_t OutputChannelCount() const = 0;
  // The open driver's own settings window.
  virtual void ControlPanel() = 0;
};

// The main window as the settings window uses it.
class TSettingsOwner {
 public:
  virtual TPCMFormat PCMFormat() const = 0;
  virtual TInternalSetting InternalSetting() const = 0;
  // The records with their display strings.
  virtual void SetPCMFormat(const TPCMFormat& Value) = 0;
  virtual void SetInternalSetting(const TInternalSetting& Value) = 0;
  virtual std::int32_t ActiveAsioChannelL() const = 0;
  virtual std::int32_t ActiveAsioChannelR() const = 0;
  virtual void SetActiveAsioChannels(std::int32_t Left, std::int32_t Right) = 0;
  // CLOSE handed the records back: the format labels and the fixed chart
  // axes follow them, and the main window's controls are usable again.
  virtual void SettingsClosed() = 0;
  // CANCEL or the close box: the main window's controls are usable again.
  virtual void SettingsCancelled() = 0;

 protected:
  ~TSettingsOwner() = default;
};

// The window as the model sees it: shows the model's state (lists, ASIO
// controls, the default-period text) again. Called before any message box.
class TSettingsView {
 public:
  virtual void ShowSettings() = 0;

 protected:
  ~TSettingsView() = default;
};

inline constexpr char kSettingsFilePreset[] = "Settings.cfg";

class TSettingsModel {
 public:
  TSettingsModel(TSettingsOwner& Owner, TSettingsAsioHost& AsioHost);
  void SetView(TSettingsView* View) { FView = View; }

  // --- Working copy and window state ------------------------------------------
  TPCMFormat PCMFormat{};
  TInternalSetting InternalSetting{};
  std::int32_t DefaultBufferItemIndex = 0;
  std::int32_t DefaultSamplingRateItemIndex = 0;
  std::array<TSettingsListState, kSettingsListCount> Lists;
  std::string DefaultPeriodText = "10";
  bool DeviceEnabled = true;
  bool AsioVisible = false;  // the two ASIO lists, their labels and the ASIO button

  TSettingsListState& List(TSettingsList Which) { return Lists[static_cast<std::size_t>(Which)]; }
  const TSettingsListState& List(TSettingsList Which) const { return Lists[static_cast<std::size_t>(Which)]; }

  // --- Mapping between the working copy and the lists -------------------------
  void SetPCMFormatControls();
  void SetInternalSettingControls();
  void GetPCMFormatControls();
  void GetInternalSettingControls();

  // --- Handlers ------------------------------------------------------------------
  void FormShow();
  // A user's pick of item Index in a list.
  void Pick(TSettingsList Which, std::int32_t Index);
  void BitBtnExt_AsioControlClick() { FAsioHost.ControlPanel(); }
  // The default-period edit lost the focus with this raw text.
  void EditHex_DefaultPeriodExit(const std::string& EditText);
  void BitBtnExt_CloseClick();
  // CANCEL and the close box.
  void BitBtnExt_CancelClick();

  // --- Settings files ----------------------------------------------------------
  // The Save button before its dialog: the working copy takes the lists'
  // values; returns the proposed file name ("yyyymmdd_hhnnss.cfg").
  std::string BeginSave(const TLocalDateTime& Now);
  // Writes the working copy, merged into an existing file; a file that
  // cannot be read or written is reported and left as it was.
  void SaveSettingsFile(const std::filesystem::path& FileName);
  // Reads, checks and applies a file; an illegal one is reported and
  // changes nothing. Never writes to the file.
  void LoadSettingsFile(const std::filesystem::path& FileName);
  // The strings of a file into the working copy and the lists; true when
  // they were accepted.
  bool ApplySettingStrings(const TPCMFormatString& PCMFormatString, const TInternalSettingString& InternalSettingString);

  std::filesystem::path xSettingsFileName;

 private:
  void DeviceChange();
  void AsioDeviceChange();
  void FillAsioChannels();
  void ShowAsioControls(std::int32_t DriverIndex);
  void HideAsioControls();
  void Refresh();

  TSettingsOwner& FOwner;
  TSettingsAsioHost& FAsioHost;
  TSettingsView* FView = nullptr;
  // What was open when the window was shown, for CANCEL.
  std::int32_t FShowDriverIndex = -1;
  std::int32_t FShowChannelL = 0, FShowChannelR = 1;
};
