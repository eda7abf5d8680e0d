// The main window "TFormMain": the owner of the shared state, the worker
// threads and every output control. The window is a thin view: the state
// and the protocol live in TMainState, the controls' logic in TMainControls.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>

#include "app/AsioRoadHost.h"
#include "app/MainControls.h"
#include "app/MainState.h"
#include "app/OneSecond.h"
#include "app/WavRender.h"
#include "app/Win32ThreadPlatform.h"
#include "controls/BitBtnExt.h"
#include "framework/Chart.h"
#include "framework/ComCtrls.h"
#include "framework/Forms.h"
#include "framework/StdCtrls.h"

class TFormMain;

// What the worker threads hand to the window, posted to the user-interface
// thread (a worker never waits for it).
class TMainUserInterface final : public TUserInterfaceSink {
 public:
  explicit TMainUserInterface(TFormMain& Form) : FForm(Form) {}
  void PostPlayTime(std::string Caption) override;
  void PostWaveChart(std::vector<std::int32_t> Left, std::vector<std::int32_t> Right) override;
  void PostSinglePlayEnd() override;
  void PostErrorMessage(std::string Text) override;

 private:
  TFormMain& FForm;
};

class TFormMain final : public TForm, private TMainWindowView {
 public:
  TFormMain();
  ~TFormMain() override;

  // --- Window components ----------------------------------------------------
  // Display area: three pairs of value panels and the two scope charts.
  TPanel *Panel_Setting_Global_1, *Panel_Setting_Global_2;
  TPanel *Panel_Setting_Signal_1, *Panel_Setting_Signal_2;
  TPanel *Panel_Setting_SignalEx_1, *Panel_Setting_SignalEx_2;
  TLabel *Label_Fs_Value, *Label_Quant_Value, *Label_Round_Value, *Label_Dither_Value, *Label_NS_Value;
  TLabel* Label_PlayTime_Value;
  TLabel *Label_Freq_Value, *Label_Amp_Value, *Label_Phase_Value, *Label_Offset_Value, *Label_Output_Value;
  TLabel *Label_Waveform_Value, *Label_Warble_Value, *Label_CycleOn_Value, *Label_CycleOff_Value;
  TLabel *Label_SweepPeriod_Value, *Label_AmpEx1_Value, *Label_StartFreq_Value, *Label_StopFreq_Value,
      *Label_OutputEx1_Value;
  TLabel *Label_Noise_Value, *Label_AmpEx2_Value, *Label_PhaseEx2_Value, *Label_OutputEx2_Value;
  TChart *Chart_Lch, *Chart_Rch;
  // Pages and scope.
  TBitBtnExt* BitBtnExt_Channel;
  TPanel* Panel_Channel;
  TLabel *Label_Ch1, *Label_Ch2, *Label_Ch3, *Label_Ch4, *Label_ChX;
  TBitBtnExt* BitBtnExt_Scope;
  // Transport.
  TBitBtnExt *BitBtnExt_Play, *BitBtnExt_Stop, *BitBtnExt_Rec, *BitBtnExt_Repeat;
  TBitBtnExt *BitBtnExt_Settings, *BitBtnExt_Signals, *BitBtnExt_Exit;
  // Output gains.
  TTrackBar *TrackBar_L, *TrackBar_R;
  TProgressBar *ProgressBar_L, *ProgressBar_R;
  TLabel *Label_Gain_L, *Label_Gain_R;
  TBitBtnExt *BitBtnExt_Mute, *BitBtnExt_ATT, *BitBtnExt_Lock;

  // --- Event handlers ---------------------------------------------------------
  void FormCreate(TControl* Sender);
  void FormShow(TControl* Sender);
  void FormClose(TControl* Sender, TCloseAction& Action);
  void FormDestroy(TControl* Sender);
  // The user's session ends (WM_ENDSESSION).
  void FormEndSession();
  void BitBtnExt_PlayClick(TControl* Sender);
  void BitBtnExt_StopClick(TControl* Sender);
  void BitBtnExt_RecClick(TControl* Sender);
  void BitBtnExt_RepeatClick(TControl* Sender);
  void BitBtnExt_SettingsClick(TControl* Sender);
  void BitBtnExt_SignalsClick(TControl* Sender);
  void BitBtnExt_ExitClick(TControl* Sender);
  void BitBtnExt_ChannelClick(TControl* Sender);
  void BitBtnExt_ScopeClick(TControl* Sender);
  void TrackBar_LChange(TControl* Sender);
  void TrackBar_RChange(TControl* Sender);
  void BitBtnExt_MuteClick(TControl* Sender);
  void BitBtnExt_ATTClick(TControl* Sender);
  void BitBtnExt_LockClick(TControl* Sender);

  // --- For the dialogs ----------------------------------------------------------
  void DisplayPCMFormat();
  void DisplaySettings();
  void DisplaySignalAttribute(std::int32_t Channel);
  // The shared state: records, gains, flags, the worker threads.
  TMainState& State() { return *FState; }
  TMainControls& Controls() { return *FControls; }
  // Writes the recording window's WAV file (its RECORD button).
  TWavRenderResult CreateWavFile();
  // How the settings, signal and recording windows are shown, once they
  // exist; they report their close through Controls().EditorClosed() and
  // Controls().RecordWindowClosed().
  std::map<TMainDialog, std::function<void()>> DialogWindows;
  // The ASIO host component, created with the window (it lists the
  // installed drivers once); the settings window chooses its driver. The
  // ASIO road that plays through it is the state's, set once.
  std::unique_ptr<TAsioHostComponent> ASIOHost;
  // The host's 64-bit buffer-switch event, on the driver's thread.
  void ASIOHostBufferSwitch64(const TAVDArrayOfDoubleDynArray& InBuffer, TAVDArrayOfDoubleDynArray& OutBuffer);

 private:
  friend class TMainUserInterface;

  void CreateDisplayArea();
  void CreatePageControls();
  void CreateTransport();
  void CreateGainControls();
  void ShowSoundOutError(TWavMemErr WavMemErr, TWavOutErr WavOutErr);
  void ShowPlayTime(const std::string& Caption);
  void ShowWaveChart(const std::vector<std::int32_t>& Left, const std::vector<std::int32_t>& Right);

  // TMainWindowView
  void SetPlayGlyph(std::string_view ResourceName) override;
  void ShowErrorMessage(std::string_view Text) override;
  void CallLater(std::uint32_t DelayMs, std::function<void()> Task) override;
  void SetCaption(std::string_view Component, const std::string& Text) override;
  void SetVisible(std::string_view Component, bool Visible) override;
  void SetGlyph(std::string_view Component, std::string_view ResourceName) override;
  void SetFontColor(std::string_view Component, TColor Color) override;
  void SetFaceColor(std::string_view Component, TColor Color) override;
  std::int32_t Position(std::string_view Component) const override;
  void SetPosition(std::string_view Component, std::int32_t Value) override;
  void SetLeftAxisAutomatic(std::string_view Chart, bool Automatic) override;
  void SetLeftAxisMaximum(std::string_view Chart, double Maximum) override;
  void SetLeftAxisMinimum(std::string_view Chart, double Minimum) override;
  bool ShowDialog(TMainDialog Dialog) override;

  TControl& Component(std::string_view Name) const;
  TChart& ChartNamed(std::string_view Name) const;

  // The platform the state and the threads run on.
  TWin32WaveOutDevice WaveOut;
  TWin32WaveMemory WaveMemory;
  TExFunctionEngine Engine;
  TMainUserInterface UserInterface{*this};
  std::unique_ptr<TMainState> FState;
  std::unique_ptr<TMainControls> FControls;
  std::unique_ptr<TAsioPlayback> FAsioRoad;
};

// The main window; null before it is created and after it is destroyed.
extern TFormMain* FormMain;
