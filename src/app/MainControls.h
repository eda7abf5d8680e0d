// The main window's controls without any window: what each button, gain bar
// and page control does to the shared state (TMainState) and to what the
// window shows. The window (TFormMain) is a view that finds its controls by
// component name; everything here runs on the user-interface thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "app/MainState.h"
#include "framework/Colors.h"

// Colours of the main window (0x00BBGGRR).
inline constexpr TColor kPageLabelColor = 0xc08000;
inline constexpr TColor kPageLabelHighlight = 0xffff00;
inline constexpr TColor kButtonFaceOff = 0xc0c0c0;
inline constexpr TColor kMuteFaceOn = 0x8080ff;
inline constexpr TColor kATTFaceOn = 0x80ffff;
inline constexpr TColor kGainBarBackground = 0x400000;
inline constexpr TColor kGainProgressColor = 0xffff00;

// The dialogs the main window opens.
enum class TMainDialog : std::uint8_t { _Settings, _Signals, _Record };

// The main window as the controls see it. Components are named as in the
// window ("Label_Fs_Value", "TrackBar_L", ...).
class TMainWindowView : public TMainView {
 public:
  virtual void SetCaption(std::string_view Component, const std::string& Text) = 0;
  virtual void SetVisible(std::string_view Component, bool Visible) = 0;
  // Loads the named bitmap resource into a button's glyph.
  virtual void SetGlyph(std::string_view Component, std::string_view ResourceName) = 0;
  virtual void SetFontColor(std::string_view Component, TColor Color) = 0;
  virtual void SetFaceColor(std::string_view Component, TColor Color) = 0;
  // Track and progress bars. Giving a track bar a different position runs
  // its change handler, as a move by the user does.
  virtual std::int32_t Position(std::string_view Component) const = 0;
  virtual void SetPosition(std::string_view Component, std::int32_t Position) = 0;
  // The left axis of a chart: automatic, or fixed at Minimum..Maximum.
  virtual void SetLeftAxisAutomatic(std::string_view Chart, bool Automatic) = 0;
  virtual void SetLeftAxisMaximum(std::string_view Chart, double Maximum) = 0;
  virtual void SetLeftAxisMinimum(std::string_view Chart, double Minimum) = 0;
  // Shows a dialog modeless; false when the program has no such window.
  virtual bool ShowDialog(TMainDialog Dialog) = 0;

 protected:
  ~TMainWindowView() = default;
};

// Pages of the display area: -1 global, 0 to 3 the tone records, 4 the
// sweep and noise records; after the last page comes the global one again.
std::int32_t NextChannel(std::int32_t Current, std::int32_t ChannelNumber);
// The page label that marks a page ("Label_Ch1" ... "Label_ChX"); empty for
// the global page.
std::string_view PageLabelOf(std::int32_t Channel);

// The three states of the scope button.
enum class TScopeState : std::uint8_t { _Panels, _ChartsFixed, _ChartsAutomatic };
// Full scale of a chart's fixed left axis: 2^(bits - 1) - 1.
std::int32_t ScopeAxisMaximum(std::int32_t Quantization);

// What a gain bar at a position shows: the progress bar's position, the
// label (the gain in dB, 0 down to -100) and the linear gain.
struct TGainBarReading {
  std::int32_t Progress;
  std::string Label;
  long double Gain;
};
TGainBarReading ReadGainBar(std::int32_t TrackBarPosition);

class TMainControls {
 public:
  TMainControls(TMainState& State, TMainWindowView& View) : FState(State), FView(View) {}

  // The button pictures set when the window is created.
  void ShowInitialPictures();
  // When the window is first shown: every value label and the page's panels.
  void FormShow();

  void DisplayPCMFormat();
  void DisplaySettings();
  void DisplaySignalAttribute(std::int32_t Channel);

  // --- Handlers -------------------------------------------------------------
  void PlayClick() { FState.Play(); }
  void StopClick() { FState.Stop(); }
  void RecClick();
  void RepeatClick();
  void SettingsClick() { OpenEditor(TMainDialog::_Settings); }
  void SignalsClick() { OpenEditor(TMainDialog::_Signals); }
  void ChannelClick();
  void ScopeClick();
  void TrackBarChange(TGainSide Side);
  void MuteClick();
  void ATTClick();
  void LockClick();

  // The recording window closed: back to _Stop.
  void RecordWindowClosed();
  // The settings or signal window closed: the tones of the set that may
  // have changed are made ahead where a Play would wait for them.
  void EditorClosed() {
    FState.SetEnableChangeData(false);
    FState.WarmUpCreateWave();
  }
  // The settings window's CLOSE handed new records back: the format labels
  // and fixed chart axes follow them; then as EditorClosed.
  void SettingsClosed();

  TScopeState ScopeState() const { return FScope; }

 private:
  void OpenEditor(TMainDialog Dialog);
  void ShowPanels(TDisplayPanel Page);
  // Shows the bar's level; returns its position.
  std::int32_t ShowGainBar(TGainSide Side);
  // Both charts' left axes fixed at the full scale of the format.
  void SetFixedAxes();

  TMainState& FState;
  TMainWindowView& FView;
  TScopeState FScope = TScopeState::_Panels;
};
