#include "dialogs/SettingsModel.h"

#include <algorithm>

#include "dialogs/RecordFiles.h"
#include "dialogs/SettingsFile.h"
#include "framework/MemIniFile.h"
#include "framework/Messages.h"
#include "framework/Text.h"

namespace {

// The items of a list and the value of each position; a list may know more
// values than it has items (a position beyond the last item shows no
// selection).
struct TListMap {
  std::vector<std::string> Items;
  std::vector<std::int32_t> Values;
};

template <class E>
constexpr std::int32_t V(E Value) {
  return static_cast<std::int32_t>(Value);
}

const std::array<TListMap, kSettingsListCount>& ListMaps() {
  static const std::array<TListMap, kSettingsListCount> maps{{
      {{"32000", "44056", "44100", "48000", "88200", "96000", "176400", "192000"},
       {32000, 44056, 44100, 48000, 88200, 96000, 176400, 192000, 352800, 384000}},
      {{"16", "20", "24"}, {16, 20, 24, 32}},
      {{"RZ", "RI", "RN", "RNE", "Dither"},
       {V(TRounding::_RZ), V(TRounding::_RI), V(TRounding::_RN), V(TRounding::_RNE), V(TRounding::_DITHER)}},
      {{"White", "Pink", "Gauss"}, {V(TDither::_White), V(TDither::_Pink), V(TDither::_Gauss)}},
      {{"None", "1st"}, {V(TNoiseShaping::_Off), V(TNoiseShaping::_1st), V(TNoiseShaping::_2nd)}},
      {{"WaveMapper", "ASIO"}, {V(TOutputDevice::_WaveMapper), V(TOutputDevice::_ASIO)}},
      {{}, {}},
      {{}, {}},
      {{"50", "100", "125", "200", "250", "500"},
       {V(TWavBufferSize::_50ms), V(TWavBufferSize::_100ms), V(TWavBufferSize::_125ms), V(TWavBufferSize::_200ms),
        V(TWavBufferSize::_250ms), V(TWavBufferSize::_500ms)}},
      {{"No Sheet", "Signal Only", "All"},
       {V(TPropertySheet::_PropertyNo), V(TPropertySheet::_PropertySignal), V(TPropertySheet::_PropertyAll)}},
      {{"1/3 Octave", "1/1 Octave"}, {V(TWableDeviation::_1d3), V(TWableDeviation::_1d1)}},
      {{"No", "Use"}, {V(TFFTuse::_NoUse), V(TFFTuse::_Use)}},
  }};
  return maps;
}

const TListMap& MapOf(TSettingsList Which) { return ListMaps()[static_cast<std::size_t>(Which)]; }

// A value without a position leaves the selection as it was.
template <class T>
void SetList(TSettingsListState& List, TSettingsList Which, T Value) {
  const std::vector<std::int32_t>& values = MapOf(Which).Values;
  const auto found = std::find(values.begin(), values.end(), V(Value));
  if (found == values.end()) return;
  const auto position = static_cast<std::int32_t>(found - values.begin());
  List.ItemIndex = position < static_cast<std::int32_t>(List.Items.size()) ? position : -1;
}

// A list without a selection leaves the field as it was.
template <class T>
void GetList(const TSettingsListState& List, TSettingsList Which, T& Field) {
  const std::vector<std::int32_t>& values = MapOf(Which).Values;
  if (List.ItemIndex >= 0 && List.ItemIndex < static_cast<std::int32_t>(values.size()))
    Field = static_cast<T>(values[static_cast<std::size_t>(List.ItemIndex)]);
}

// At 44056 Hz one segment holds a whole number of frames only for 125, 250
// and 500 ms.
constexpr std::int32_t k44056Position = 1;
bool ForbiddenPair(std::int32_t RatePosition, std::int32_t BufferPosition) {
  return RatePosition == k44056Position && (BufferPosition == 0 || BufferPosition == 1 || BufferPosition == 3);
}

constexpr std::int32_t kAsioPosition = 1;

}  // namespace

TSettingsModel::TSettingsModel(TSettingsOwner& Owner, TSettingsAsioHost& AsioHost)
    : FOwner(Owner), FAsioHost(AsioHost) {
  for (std::size_t i = 0; i < kSettingsListCount; ++i) Lists[i].Items = ListMaps()[i].Items;
}

void TSettingsModel::Refresh() {
  if (FView) FView->ShowSettings();
}

// ---------------------------------------------------------------------------
// Mapping

void TSettingsModel::SetPCMFormatControls() {
  SetList(List(TSettingsList::_SamplingRate), TSettingsList::_SamplingRate, PCMFormat._SamplingRate);
  SetList(List(TSettingsList::_Quantization), TSettingsList::_Quantization, PCMFormat._Quantization);
  SetList(List(TSettingsList::_Rounding), TSettingsList::_Rounding, PCMFormat._Rounding);
  SetList(List(TSettingsList::_Dither), TSettingsList::_Dither, PCMFormat._Dither);
  SetList(List(TSettingsList::_NoiseShaping), TSettingsList::_NoiseShaping, PCMFormat._NoiseShaping);
}

void TSettingsModel::SetInternalSettingControls() {
  SetList(List(TSettingsList::_Device), TSettingsList::_Device, InternalSetting._OutputDevice);
  SetList(List(TSettingsList::_Buffer), TSettingsList::_Buffer, InternalSetting._WavBufferSize);
  DefaultPeriodText = std::to_string(InternalSetting._DefaultPeriod);
  SetList(List(TSettingsList::_PropertySheet), TSettingsList::_PropertySheet, InternalSetting._PropertySheet);
  SetList(List(TSettingsList::_WableDeviation), TSettingsList::_WableDeviation, InternalSetting._WableDeviation);
  SetList(List(TSettingsList::_FFT), TSettingsList::_FFT, InternalSetting._FFTuse);
}

void TSettingsModel::GetPCMFormatControls() {
  GetList(List(TSettingsList::_SamplingRate), TSettingsList::_SamplingRate, PCMFormat._SamplingRate);
  GetList(List(TSettingsList::_Quantization), TSettingsList::_Quantization, PCMFormat._Quantization);
  GetList(List(TSettingsList::_Rounding), TSettingsList::_Rounding, PCMFormat._Rounding);
  GetList(List(TSettingsList::_Dither), TSettingsList::_Dither, PCMFormat._Dither);
  GetList(List(TSettingsList::_NoiseShaping), TSettingsList::_NoiseShaping, PCMFormat._NoiseShaping);
}

void TSettingsModel::GetInternalSettingControls() {
  GetList(List(TSettingsList::_Device), TSettingsList::_Device, InternalSetting._OutputDevice);
  GetList(List(TSettingsList::_Buffer), TSettingsList::_Buffer, InternalSetting._WavBufferSize);
  if (const std::optional<std::int32_t> period = ParseInteger(DefaultPeriodText)) InternalSetting._DefaultPeriod = *period;
  GetList(List(TSettingsList::_PropertySheet), TSettingsList::_PropertySheet, InternalSetting._PropertySheet);
  GetList(List(TSettingsList::_WableDeviation), TSettingsList::_WableDeviation, InternalSetting._WableDeviation);
  GetList(List(TSettingsList::_FFT), TSettingsList::_FFT, InternalSetting._FFTuse);
}

// ---------------------------------------------------------------------------
// Showing and leaving the window

void TSettingsModel::FormShow() {
  PCMFormat = FOwner.PCMFormat();
  SetPCMFormatControls();
  InternalSetting = FOwner.InternalSetting();
  // Without a wave-out device only ASIO can play: the device list stays
  // usable while there is a driver to choose.
  if (InternalSetting._OutputDevice == TOutputDevice::_NoDevice) {
    if (FAsioHost.DriverList().empty()) DeviceEnabled = false;
    InternalSetting._OutputDevice = TOutputDevice::_WaveMapper;
  }
  SetInternalSettingControls();
  DefaultSamplingRateItemIndex = List(TSettingsList::_SamplingRate).ItemIndex;
  DefaultBufferItemIndex = List(TSettingsList::_Buffer).ItemIndex;

  // The ASIO controls show the live state: the driver the host has open and
  // its own channel pairs, with the main window's pair selected.
  FShowDriverIndex = FAsioHost.DriverIndex();
  FShowChannelL = FOwner.ActiveAsioChannelL();
  FShowChannelR = FOwner.ActiveAsioChannelR();
  if (List(TSettingsList::_Device).ItemIndex == kAsioPosition && !FAsioHost.DriverList().empty()) {
    ShowAsioControls(FShowDriverIndex);
    TSettingsListState& pairs = List(TSettingsList::_AsioChannel);
    const std::int32_t pair = FShowChannelL / 2;
    if (FShowChannelL % 2 == 0 && FShowChannelR == FShowChannelL + 1 && pair < std::int32_t(pairs.Items.size()))
      pairs.ItemIndex = pair;
  } else {
    HideAsioControls();
  }
  Refresh();
}

void TSettingsModel::BitBtnExt_CloseClick() {
  GetPCMFormatControls();
  FOwner.SetPCMFormat(PCMFormat);
  GetInternalSettingControls();
  TInternalSetting setting = InternalSetting;
  setting._RecordTime = setting._DefaultPeriod;
  setting._PlayTime = setting._DefaultPeriod;
  FOwner.SetInternalSetting(setting);

  const TSettingsListState& drivers = List(TSettingsList::_AsioDevice);
  const TSettingsListState& pairs = List(TSettingsList::_AsioChannel);
  if (drivers.Items.empty()) {
    FAsioHost.SetDriverIndex(-1);
  } else if (drivers.ItemIndex >= 0) {
    FAsioHost.SetDriverIndex(drivers.ItemIndex);
    // Without a pair (a driver with fewer than two outputs) the pair stays.
    if (pairs.ItemIndex >= 0) FOwner.SetActiveAsioChannels(2 * pairs.ItemIndex, 2 * pairs.ItemIndex + 1);
  }
  FOwner.SettingsClosed();
}

void TSettingsModel::BitBtnExt_CancelClick() {
  // A driver chosen during this visit is given up again, with its pair.
  if (FAsioHost.DriverIndex() != FShowDriverIndex) {
    FAsioHost.SetDriverIndex(FShowDriverIndex);
    FOwner.SetActiveAsioChannels(FShowChannelL, FShowChannelR);
  }
  FOwner.SettingsCancelled();
}

// ---------------------------------------------------------------------------
// Picks

void TSettingsModel::Pick(TSettingsList Which, std::int32_t Index) {
  TSettingsListState& list = List(Which);
  if (Index < 0 || Index >= static_cast<std::int32_t>(list.Items.size())) return;
  list.ItemIndex = Index;
  const std::int32_t rate = List(TSettingsList::_SamplingRate).ItemIndex;
  const std::int32_t buffer = List(TSettingsList::_Buffer).ItemIndex;
  switch (Which) {
    case TSettingsList::_SamplingRate:
      if (ForbiddenPair(rate, buffer)) list.ItemIndex = DefaultSamplingRateItemIndex;
      DefaultSamplingRateItemIndex = list.ItemIndex;
      break;
    case TSettingsList::_Buffer:
      if (ForbiddenPair(rate, buffer)) list.ItemIndex = DefaultBufferItemIndex;
      DefaultBufferItemIndex = list.ItemIndex;
      break;
    case TSettingsList::_Device:
      DeviceChange();
      break;
    case TSettingsList::_AsioDevice:
      AsioDeviceChange();
      break;
    case TSettingsList::_AsioChannel:
      FOwner.SetActiveAsioChannels(2 * Index, 2 * Index + 1);
      break;
    default:
      break;
  }
  Refresh();
}

void TSettingsModel::DeviceChange() {
  if (List(TSettingsList::_Device).ItemIndex == kAsioPosition && !FAsioHost.DriverList().empty()) {
    ShowAsioControls(0);
    FAsioHost.SetDriverIndex(0);
    FillAsioChannels();
  } else {
    HideAsioControls();
  }
}

void TSettingsModel::AsioDeviceChange() {
  FAsioHost.SetDriverIndex(List(TSettingsList::_AsioDevice).ItemIndex);
  FillAsioChannels();
}

void TSettingsModel::ShowAsioControls(std::int32_t DriverIndex) {
  AsioVisible = true;
  TSettingsListState& drivers = List(TSettingsList::_AsioDevice);
  drivers.Items = FAsioHost.DriverList();
  drivers.ItemIndex = DriverIndex >= 0 && DriverIndex < std::int32_t(drivers.Items.size()) ? DriverIndex : -1;
  FillAsioChannels();
}

void TSettingsModel::HideAsioControls() {
  AsioVisible = false;
  List(TSettingsList::_AsioDevice) = {};
  List(TSettingsList::_AsioChannel) = {};
}

void TSettingsModel::FillAsioChannels() {
  TSettingsListState& pairs = List(TSettingsList::_AsioChannel);
  pairs = {};
  for (std::int32_t k = 0; k < FAsioHost.OutputChannelCount() / 2; ++k)
    pairs.Items.push_back(std::to_string(2 * k) + " / " + std::to_string(2 * k + 1));
  if (!pairs.Items.empty()) pairs.ItemIndex = 0;
}

void TSettingsModel::EditHex_DefaultPeriodExit(const std::string& EditText) {
  // An empty edit counts as 0.
  const TRecordTimeCheck check = CheckRecordTime(EditText);
  DefaultPeriodText = check.Corrected ? std::to_string(check.Seconds) : EditText;
  if (!check.Corrected) return;
  Refresh();
  ShowMessage(Utf8ToWide(kMsgCannotSetZeroRecordTime));
}

// ---------------------------------------------------------------------------
// Settings files

std::string TSettingsModel::BeginSave(const TLocalDateTime& Now) {
  GetPCMFormatControls();
  GetInternalSettingControls();
  xSettingsFileName = FileNameStamp(Now) + ".cfg";
  return xSettingsFileName.string();
}

void TSettingsModel::SaveSettingsFile(const std::filesystem::path& FileName) {
  xSettingsFileName = FileName;
  try {
    TMemIniFile document(FileName);
    WriteSettingStrings(document, PCMFormat, InternalSetting);
    document.UpdateFile();
  } catch (const EIniFileError& e) {
    Refresh();
    ShowMessage(Utf8ToWide(e.what()));
  }
}

void TSettingsModel::LoadSettingsFile(const std::filesystem::path& FileName) {
  xSettingsFileName = FileName;
  bool accepted = false;
  try {
    const TMemIniFile document(FileName);
    const TSettingsFileStrings strings = ReadSettingStrings(document);
    accepted = strings.FileAttribute == kSettingsFileAttribute &&
               ApplySettingStrings(strings.PCMFormatString, strings.InternalSettingString);
  } catch (const EIniFileError&) {
    accepted = false;  // too large or unreadable: illegal like any other bad file
  }
  if (!accepted) {
    Refresh();
    ShowMessage(Utf8ToWide(kMsgIllegalSettingFile));
  }
}

bool TSettingsModel::ApplySettingStrings(const TPCMFormatString& PCMFormatString,
                                         const TInternalSettingString& InternalSettingString) {
  if (!ConvertSettingStrings(PCMFormatString, InternalSettingString, PCMFormat, InternalSetting)) return false;
  const std::int32_t device = List(TSettingsList::_Device).ItemIndex;
  SetPCMFormatControls();
  SetInternalSettingControls();
  // The remembered positions follow the loaded values, and the ASIO
  // controls follow the loaded device as a user's pick of it would.
  DefaultSamplingRateItemIndex = List(TSettingsList::_SamplingRate).ItemIndex;
  DefaultBufferItemIndex = List(TSettingsList::_Buffer).ItemIndex;
  if (InternalSetting._OutputDevice != TOutputDevice::_NoDevice &&
      (List(TSettingsList::_Device).ItemIndex != device || !AsioVisible ||
       InternalSetting._OutputDevice != TOutputDevice::_ASIO))
    DeviceChange();
  Refresh();
  return true;
}
