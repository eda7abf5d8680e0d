#include "app/MainControls.h"

#include <array>

namespace {

constexpr std::array<std::string_view, 5> kPageLabels = {"Label_Ch1", "Label_Ch2", "Label_Ch3", "Label_Ch4",
                                                         "Label_ChX"};

struct TPanelPair {
  TDisplayPanel Page;
  std::string_view First, Second;
};
constexpr std::array<TPanelPair, 3> kValuePanels = {{
    {TDisplayPanel::_SettingGlobal, "Panel_Setting_Global_1", "Panel_Setting_Global_2"},
    {TDisplayPanel::_SettingSignal, "Panel_Setting_Signal_1", "Panel_Setting_Signal_2"},
    {TDisplayPanel::_SettingSignalEx, "Panel_Setting_SignalEx_1", "Panel_Setting_SignalEx_2"},
}};

constexpr std::array<std::string_view, 2> kCharts = {"Chart_Lch", "Chart_Rch"};

struct TGainBarNames {
  std::string_view TrackBar, ProgressBar, Label;
};
constexpr TGainBarNames GainBarNames(TGainSide Side) {
  return Side == TGainSide::_Left ? TGainBarNames{"TrackBar_L", "ProgressBar_L", "Label_Gain_L"}
                                  : TGainBarNames{"TrackBar_R", "ProgressBar_R", "Label_Gain_R"};
}

}  // namespace

std::int32_t NextChannel(std::int32_t Current, std::int32_t ChannelNumber) {
  const std::int32_t next = Current + 1;
  return next > ChannelNumber - 2 ? -1 : next;
}

std::string_view PageLabelOf(std::int32_t Channel) {
  if (Channel < 0 || Channel >= static_cast<std::int32_t>(kPageLabels.size())) return {};
  return kPageLabels[static_cast<std::size_t>(Channel)];
}

std::int32_t ScopeAxisMaximum(std::int32_t Quantization) {
  return static_cast<std::int32_t>((std::int64_t{1} << (Quantization - 1)) - 1);
}

TGainBarReading ReadGainBar(std::int32_t TrackBarPosition) {
  const std::int32_t progress = 100 - TrackBarPosition;
  return {progress, std::to_string(progress - 100), TMainState::TrackBarGain(TrackBarPosition)};
}

// ---------------------------------------------------------------------------
// Display

void TMainControls::ShowInitialPictures() {
  FView.SetGlyph("BitBtnExt_Scope", "_Off");
  FView.SetGlyph("BitBtnExt_Repeat", "_RepeatActive");
  FView.SetGlyph("BitBtnExt_Lock", "_LockLRActive");
}

void TMainControls::FormShow() {
  DisplayPCMFormat();
  DisplaySignalAttribute(FState.xCurrentChannel);
  DisplaySettings();
}

void TMainControls::DisplayPCMFormat() {
  const TPCMFormatString strings = FState.PCMFormatString();
  FView.SetCaption("Label_Fs_Value", strings._SamplingRate);
  FView.SetCaption("Label_Quant_Value", strings._Quantization);
  FView.SetCaption("Label_Round_Value", strings._Rounding);
  FView.SetCaption("Label_Dither_Value", strings._Dither);
  FView.SetCaption("Label_NS_Value", strings._NoiseShaping);
}

void TMainControls::DisplaySignalAttribute(std::int32_t Channel) {
  const TSignalAttributeStringArray strings = FState.SignalAttributeStringArray();
  if (Channel >= 0 && Channel <= 3) {
    const TSignalAttributeString& s = strings[static_cast<std::size_t>(Channel)];
    FView.SetCaption("Label_Freq_Value", s._Frequency);
    FView.SetCaption("Label_Amp_Value", s._Amplitude);
    FView.SetCaption("Label_Phase_Value", s._Phase);
    FView.SetCaption("Label_Offset_Value", s._Offset);
    FView.SetCaption("Label_Output_Value", s._OutputChannel);
    FView.SetCaption("Label_Waveform_Value", s._Waveform);
    FView.SetCaption("Label_Warble_Value", s._WarbleCycle);
    FView.SetCaption("Label_CycleOn_Value", s._CycleOn);
    FView.SetCaption("Label_CycleOff_Value", s._CycleOff);
  } else if (Channel == 4) {
    const TSignalAttributeString& sweep = strings[4];
    FView.SetCaption("Label_SweepPeriod_Value", sweep._SweepPeriod);
    FView.SetCaption("Label_AmpEx1_Value", sweep._Amplitude);
    FView.SetCaption("Label_StartFreq_Value", sweep._SweepFrequencyStart);
    FView.SetCaption("Label_StopFreq_Value", sweep._SweepFrequencyStop);
    FView.SetCaption("Label_OutputEx1_Value", sweep._OutputChannel);
    const TSignalAttributeString& noise = strings[5];
    FView.SetCaption("Label_Noise_Value", noise._NoiseType);
    FView.SetCaption("Label_AmpEx2_Value", noise._Amplitude);
    FView.SetCaption("Label_PhaseEx2_Value", noise._Phase);
    FView.SetCaption("Label_OutputEx2_Value", noise._OutputChannel);
  }
}

void TMainControls::ShowPanels(TDisplayPanel Page) {
  // Hide first, so that two pairs are never shown at once.
  for (const TPanelPair& pair : kValuePanels)
    if (pair.Page != Page) {
      FView.SetVisible(pair.First, false);
      FView.SetVisible(pair.Second, false);
    }
  for (const TPanelPair& pair : kValuePanels)
    if (pair.Page == Page) {
      FView.SetVisible(pair.First, true);
      FView.SetVisible(pair.Second, true);
    }
}

void TMainControls::DisplaySettings() {
  const std::int32_t channel = FState.xCurrentChannel;
  if (channel == -1) {
    FState.xCurrentDisplay = TDisplayPanel::_SettingGlobal;
    ShowPanels(TDisplayPanel::_SettingGlobal);
    DisplayPCMFormat();
  } else if (channel >= 0 && channel <= 3) {
    FState.xCurrentDisplay = TDisplayPanel::_SettingSignal;
    ShowPanels(TDisplayPanel::_SettingSignal);
    DisplaySignalAttribute(channel);
  } else if (channel == 4) {
    FState.xCurrentDisplay = TDisplayPanel::_SettingSignalEx;
    ShowPanels(TDisplayPanel::_SettingSignalEx);
    DisplaySignalAttribute(4);
  }
}

// ---------------------------------------------------------------------------
// Buttons

void TMainControls::RecClick() {
  if (FState.xEnableChangeData() || FState.xOperation() != TOperation::_Stop) return;
  FState.SetOperation(TOperation::_Record);
  FView.SetGlyph("BitBtnExt_Rec", "_WavFileActive");
  // Without a recording window nothing can end the recording: it ends at once.
  if (!FView.ShowDialog(TMainDialog::_Record)) RecordWindowClosed();
}

void TMainControls::RecordWindowClosed() {
  FState.SetOperation(TOperation::_Stop);
  FView.SetGlyph("BitBtnExt_Rec", "_WavFileInactive");
}

void TMainControls::OpenEditor(TMainDialog Dialog) {
  if (FState.xEnableChangeData() || FState.xOperation() != TOperation::_Stop) return;
  FState.SetEnableChangeData(true);
  // Without the window nothing would clear the flag again.
  if (!FView.ShowDialog(Dialog)) EditorClosed();
}

void TMainControls::SetFixedAxes() {
  const double maximum = ScopeAxisMaximum(FState.PCMFormat()._Quantization);
  for (std::string_view chart : kCharts) {
    FView.SetLeftAxisMaximum(chart, maximum);
    FView.SetLeftAxisMinimum(chart, -maximum);
  }
}

void TMainControls::SettingsClosed() {
  DisplayPCMFormat();
  if (FScope != TScopeState::_ChartsAutomatic) SetFixedAxes();
  EditorClosed();
}

void TMainControls::RepeatClick() {
  if (FState.xEnableChangeData() || FState.xOperation() != TOperation::_Stop) return;
  TInternalSetting setting = FState.InternalSetting();
  const bool single = setting._Repeat != TRepeat::_Single;
  setting._Repeat = single ? TRepeat::_Single : TRepeat::_Continuous;
  FState.SetInternalSetting(setting);
  FView.SetGlyph("BitBtnExt_Repeat", single ? "_RepeatInactive" : "_RepeatActive");
}

void TMainControls::ChannelClick() {
  if (FState.xEnableChangeData()) return;
  FState.xCurrentChannel = NextChannel(FState.xCurrentChannel, FState.xChannelNumber());
  for (std::string_view label : kPageLabels) FView.SetFontColor(label, kPageLabelColor);
  if (const std::string_view label = PageLabelOf(FState.xCurrentChannel); !label.empty())
    FView.SetFontColor(label, kPageLabelHighlight);
  if (FState.xCurrentDisplay != TDisplayPanel::_Chart) DisplaySettings();
}

void TMainControls::ScopeClick() {
  if (FState.xEnableChangeData()) return;
  switch (FScope) {
    case TScopeState::_Panels:
      FState.xCurrentDisplay = TDisplayPanel::_Chart;
      ShowPanels(TDisplayPanel::_Chart);
      FView.SetGlyph("BitBtnExt_Scope", "_On");
      for (std::string_view chart : kCharts) FView.SetVisible(chart, true);
      FScope = TScopeState::_ChartsFixed;
      break;
    case TScopeState::_ChartsFixed:
      for (std::string_view chart : kCharts) FView.SetLeftAxisAutomatic(chart, true);
      FView.SetGlyph("BitBtnExt_Scope", "_On1");
      FScope = TScopeState::_ChartsAutomatic;
      break;
    case TScopeState::_ChartsAutomatic: {
      for (std::string_view chart : kCharts) FView.SetLeftAxisAutomatic(chart, false);
      SetFixedAxes();
      for (std::string_view chart : kCharts) FView.SetVisible(chart, false);
      DisplaySettings();
      FView.SetGlyph("BitBtnExt_Scope", "_Off");
      FScope = TScopeState::_Panels;
      break;
    }
  }
}

// ---------------------------------------------------------------------------
// Gains

std::int32_t TMainControls::ShowGainBar(TGainSide Side) {
  const TGainBarNames names = GainBarNames(Side);
  const std::int32_t position = FView.Position(names.TrackBar);
  const TGainBarReading reading = ReadGainBar(position);
  FView.SetPosition(names.ProgressBar, reading.Progress);
  FView.SetCaption(names.Label, reading.Label);
  return position;
}

void TMainControls::TrackBarChange(TGainSide Side) {
  const std::int32_t position = ShowGainBar(Side);
  if (FState.xLockLR) {
    const TGainSide other = Side == TGainSide::_Left ? TGainSide::_Right : TGainSide::_Left;
    // Runs the other bar's own handler when its position differs.
    FView.SetPosition(GainBarNames(other).TrackBar, position);
    ShowGainBar(other);
    // Both gains in one step: a gain round never takes one side's new gain
    // with the other's old one.
    FState.SetTrackBarGains(position);
  } else {
    FState.SetTrackBarGain(Side, position);
  }
  FState.ChangeGain();
}

void TMainControls::MuteClick() {
  // Undone (face colour too) when the sound-out thread refuses it.
  const auto face = [this](bool On) { FView.SetFaceColor("BitBtnExt_Mute", On ? kMuteFaceOn : kButtonFaceOff); };
  face(FState.ToggleMute(face));
}

void TMainControls::ATTClick() {
  const auto face = [this](bool On) { FView.SetFaceColor("BitBtnExt_ATT", On ? kATTFaceOn : kButtonFaceOff); };
  face(FState.ToggleAttenuation(face));
}

void TMainControls::LockClick() {
  FState.xLockLR = !FState.xLockLR;
  FView.SetGlyph("BitBtnExt_Lock", FState.xLockLR ? "_LockLRActive" : "_LockLRInactive");
}
