// The main window's controls over the shared state, with a view that keeps
// what each named component shows.
#include <gtest/gtest.h>

#include <functional>
#include <atomic>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "Fakes.h"
#include "app/MainControls.h"

namespace {

using namespace std::chrono_literals;
using fakes::WaitUntil;

// Keeps captions, visibility, pictures, colours, positions and chart axes by
// component name. A track bar given a new position runs its change handler.
class TFakeWindow final : public TMainWindowView {
 public:
  struct TAxis {
    bool Automatic = false;
    double Minimum = -32768, Maximum = 32768;
  };

  TMainControls* Controls = nullptr;
  // Runs at every caption, picture and position the handlers set: a moment
  // at which another thread may read the shared state.
  std::function<void()> OnShow;
  std::map<TMainDialog, bool> Dialogs;  // which windows exist
  std::vector<TMainDialog> Shown;

  void SetPlayGlyph(std::string_view ResourceName) override { SetGlyph("BitBtnExt_Play", ResourceName); }
  void ShowErrorMessage(std::string_view Text) override { Messages.emplace_back(Text); }
  void CallLater(std::uint32_t, std::function<void()> Task) override { Later.push_back(std::move(Task)); }
  void SetCaption(std::string_view Component, const std::string& Text) override {
    if (OnShow) OnShow();
    Captions[Key(Component)] = Text;
  }
  void SetVisible(std::string_view Component, bool Visible) override { Visibility[Key(Component)] = Visible; }
  void SetGlyph(std::string_view Component, std::string_view ResourceName) override {
    Glyphs[Key(Component)] = std::string(ResourceName);
  }
  void SetFontColor(std::string_view Component, TColor Color) override { FontColors[Key(Component)] = Color; }
  void SetFaceColor(std::string_view Component, TColor Color) override { FaceColors[Key(Component)] = Color; }
  std::int32_t Position(std::string_view Component) const override {
    const auto found = Positions.find(Key(Component));
    return found == Positions.end() ? 0 : found->second;
  }
  void SetPosition(std::string_view Component, std::int32_t Value) override {
    if (OnShow) OnShow();
    const bool changed = Position(Component) != Value;
    Positions[Key(Component)] = Value;
    if (!changed || !Controls) return;
    if (Component == "TrackBar_L") Controls->TrackBarChange(TGainSide::_Left);
    if (Component == "TrackBar_R") Controls->TrackBarChange(TGainSide::_Right);
  }
  void SetLeftAxisAutomatic(std::string_view Chart, bool Automatic) override { Axes[Key(Chart)].Automatic = Automatic; }
  void SetLeftAxisMaximum(std::string_view Chart, double Maximum) override { Axes[Key(Chart)].Maximum = Maximum; }
  void SetLeftAxisMinimum(std::string_view Chart, double Minimum) override { Axes[Key(Chart)].Minimum = Minimum; }
  bool ShowDialog(TMainDialog Dialog) override {
    Shown.push_back(Dialog);
    return Dialogs[Dialog];
  }

  // A move of a track bar by the user.
  void MoveTrackBar(std::string_view Component, std::int32_t Value) { SetPosition(Component, Value); }
  bool IsVisible(const std::string& Component) const {
    const auto found = Visibility.find(Component);
    return found != Visibility.end() && found->second;
  }
  // The page label drawn in the highlight colour, or "" for none.
  std::string HighlightedPageLabel() const {
    std::string found;
    for (const auto& [name, color] : FontColors)
      if (color == kPageLabelHighlight) found += name;
    return found;
  }

  std::map<std::string, std::string> Captions, Glyphs;
  std::map<std::string, bool> Visibility;
  std::map<std::string, TColor> FontColors, FaceColors;
  std::map<std::string, std::int32_t> Positions;
  std::map<std::string, TAxis> Axes;
  std::vector<std::string> Messages;
  std::vector<std::function<void()>> Later;

 private:
  static std::string Key(std::string_view Name) { return std::string(Name); }
};

class MainControlsTest : public ::testing::Test {
 protected:
  MainControlsTest()
      : state(TMainServices{PortableEventFactory(), device, memory, engine, ui, window, {}}),
        controls(state, window) {
    window.Controls = &controls;
    controls.ShowInitialPictures();
    controls.FormShow();
  }

  // The six value panels that are visible.
  std::vector<std::string> VisiblePanels() const {
    std::vector<std::string> visible;
    for (const char* panel : {"Panel_Setting_Global_1", "Panel_Setting_Global_2", "Panel_Setting_Signal_1",
                              "Panel_Setting_Signal_2", "Panel_Setting_SignalEx_1", "Panel_Setting_SignalEx_2"})
      if (window.IsVisible(panel)) visible.emplace_back(panel);
    return visible;
  }

  fakes::TFakeWaveOutDevice device;
  fakes::TFakeWaveMemory memory;
  fakes::TFakeEngine engine;
  fakes::TFakeUserInterface ui;
  TFakeWindow window;
  TMainState state;
  TMainControls controls;
};

TEST_F(MainControlsTest, FirstShowShowsTheDefaultsOnTheGlobalPanels) {
  const std::map<std::string, std::string> expected = {
      {"Label_Fs_Value", "48000"},   {"Label_Quant_Value", "16"}, {"Label_Round_Value", "NEAR EVEN"},
      {"Label_Dither_Value", "WHITE"}, {"Label_NS_Value", "OFF"},
  };
  // Page -1 fills no signal label.
  EXPECT_EQ(window.Captions, expected);
  EXPECT_EQ(VisiblePanels(), (std::vector<std::string>{"Panel_Setting_Global_1", "Panel_Setting_Global_2"}));
  EXPECT_EQ(window.HighlightedPageLabel(), "");
  EXPECT_EQ(window.Glyphs, (std::map<std::string, std::string>{{"BitBtnExt_Lock", "_LockLRActive"},
                                                               {"BitBtnExt_Repeat", "_RepeatActive"},
                                                               {"BitBtnExt_Scope", "_Off"}}));
}

TEST_F(MainControlsTest, SweepAndNoisePageFillsBothPanels) {
  controls.DisplaySignalAttribute(4);
  EXPECT_EQ(window.Captions["Label_SweepPeriod_Value"], "10");
  EXPECT_EQ(window.Captions["Label_StartFreq_Value"], "20");
  EXPECT_EQ(window.Captions["Label_StopFreq_Value"], "20000");
  EXPECT_EQ(window.Captions["Label_OutputEx1_Value"], state.SignalAttributeStringArray()[4]._OutputChannel);
  EXPECT_EQ(window.Captions["Label_Noise_Value"], state.SignalAttributeStringArray()[5]._NoiseType);
  EXPECT_EQ(window.Captions["Label_AmpEx2_Value"], state.SignalAttributeStringArray()[5]._Amplitude);
  EXPECT_EQ(window.Captions.count("Label_Freq_Value"), 0u);  // the tone panels stay as they were
}

TEST_F(MainControlsTest, ChannelCyclesThePagesAndHighlightsTheirLabels) {
  struct TStep {
    std::int32_t Channel;
    const char* Highlight;
    const char* Panel;
  };
  const TStep steps[] = {
      {0, "Label_Ch1", "Panel_Setting_Signal_1"}, {1, "Label_Ch2", "Panel_Setting_Signal_1"},
      {2, "Label_Ch3", "Panel_Setting_Signal_1"}, {3, "Label_Ch4", "Panel_Setting_Signal_1"},
      {4, "Label_ChX", "Panel_Setting_SignalEx_1"}, {-1, "", "Panel_Setting_Global_1"},
  };
  for (const TStep& step : steps) {
    controls.ChannelClick();
    if (step.Channel == 0) {
      // Record 0: the audible 1000 Hz sine on both channels.
      EXPECT_EQ(window.Captions["Label_Freq_Value"], "1000");
      EXPECT_EQ(window.Captions["Label_Output_Value"], "L R");
    }
    EXPECT_EQ(state.xCurrentChannel, step.Channel);
    EXPECT_EQ(window.HighlightedPageLabel(), step.Highlight);
    ASSERT_EQ(VisiblePanels().size(), 2u);
    EXPECT_EQ(VisiblePanels()[0], step.Panel);
  }
  EXPECT_EQ(state.xCurrentDisplay, TDisplayPanel::_SettingGlobal);
  EXPECT_EQ(window.FontColors["Label_Ch1"], kPageLabelColor);
  EXPECT_EQ(window.Captions["Label_Output_Value"], "MUTE");  // record 3, the last tone page shown
}

TEST_F(MainControlsTest, ScopeCyclesChartsFixedAutomaticAndBackWithFullScaleAxes) {
  TPCMFormat format = state.PCMFormat();
  format._Quantization = 24;
  state.SetPCMFormat(format);

  controls.ScopeClick();
  EXPECT_EQ(state.xCurrentDisplay, TDisplayPanel::_Chart);
  EXPECT_TRUE(VisiblePanels().empty());
  EXPECT_TRUE(window.IsVisible("Chart_Lch") && window.IsVisible("Chart_Rch"));
  EXPECT_EQ(window.Glyphs["BitBtnExt_Scope"], "_On");
  EXPECT_FALSE(window.Axes["Chart_Lch"].Automatic);

  controls.ScopeClick();
  EXPECT_TRUE(window.Axes["Chart_Lch"].Automatic && window.Axes["Chart_Rch"].Automatic);
  EXPECT_EQ(window.Glyphs["BitBtnExt_Scope"], "_On1");

  controls.ScopeClick();
  for (const char* chart : {"Chart_Lch", "Chart_Rch"}) {
    EXPECT_FALSE(window.Axes[chart].Automatic) << chart;
    EXPECT_EQ(window.Axes[chart].Maximum, 8388607) << chart;
    EXPECT_EQ(window.Axes[chart].Minimum, -8388607) << chart;
    EXPECT_FALSE(window.IsVisible(chart)) << chart;
  }
  EXPECT_EQ(window.Glyphs["BitBtnExt_Scope"], "_Off");
  EXPECT_EQ(state.xCurrentDisplay, TDisplayPanel::_SettingGlobal);
  EXPECT_EQ(VisiblePanels(), (std::vector<std::string>{"Panel_Setting_Global_1", "Panel_Setting_Global_2"}));
  EXPECT_EQ(ScopeAxisMaximum(16), 32767);
  EXPECT_EQ(ScopeAxisMaximum(20), 524287);
  EXPECT_EQ(ScopeAxisMaximum(32), 2147483647);
}

TEST_F(MainControlsTest, SettingsCloseShowsTheFormatAndFixesOnlyFixedAxes) {
  TPCMFormat format = state.PCMFormat();
  format._Quantization = 20;
  format._SamplingRate = 96000;
  state.SetPCMFormat(format);
  state.SetEnableChangeData(true);
  controls.SettingsClosed();
  EXPECT_EQ(window.Axes["Chart_Rch"].Maximum, 524287);
  EXPECT_EQ(window.Axes["Chart_Lch"].Minimum, -524287);
  EXPECT_EQ(window.Captions["Label_Fs_Value"], "96000");
  EXPECT_FALSE(state.xEnableChangeData());

  controls.ScopeClick();
  controls.ScopeClick();  // automatic axes
  format._Quantization = 24;
  state.SetPCMFormat(format);
  controls.SettingsClosed();
  EXPECT_TRUE(window.Axes["Chart_Lch"].Automatic);
  EXPECT_EQ(window.Axes["Chart_Lch"].Maximum, 524287);
}

TEST_F(MainControlsTest, ChannelWhileTheChartsShowOnlyMovesTheHighlightUntilScopeReturns) {
  controls.ScopeClick();
  controls.ChannelClick();
  EXPECT_EQ(window.HighlightedPageLabel(), "Label_Ch1");
  EXPECT_TRUE(VisiblePanels().empty());
  EXPECT_EQ(state.xCurrentDisplay, TDisplayPanel::_Chart);
  controls.ScopeClick();
  controls.ScopeClick();
  EXPECT_EQ(VisiblePanels(), (std::vector<std::string>{"Panel_Setting_Signal_1", "Panel_Setting_Signal_2"}));
  EXPECT_EQ(state.xCurrentDisplay, TDisplayPanel::_SettingSignal);
}

TEST_F(MainControlsTest, GainBarsShowTheirLevelAndSetTheGain) {
  controls.LockClick();  // off: each bar on its own
  EXPECT_EQ(window.Glyphs["BitBtnExt_Lock"], "_LockLRInactive");
  window.MoveTrackBar("TrackBar_L", 20);
  EXPECT_EQ(window.Captions["Label_Gain_L"], "-20");
  EXPECT_EQ(window.Positions["ProgressBar_L"], 80);
  EXPECT_NEAR(static_cast<double>(state.OutputGains().OutputGainL), 0.1, 1e-18);
  EXPECT_EQ(window.Positions.count("TrackBar_R"), 0u);  // the right bar stays
  EXPECT_EQ(state.OutputGains().OutputGainR, 1.0L);

  window.MoveTrackBar("TrackBar_R", 100);
  EXPECT_EQ(window.Captions["Label_Gain_R"], "-100");
  EXPECT_EQ(window.Positions["ProgressBar_R"], 0);
  EXPECT_NEAR(static_cast<double>(state.OutputGains().OutputGainR), 0.00001, 1e-21);
  EXPECT_NEAR(static_cast<double>(state.OutputGains().OutputGainL), 0.1, 1e-15);

  const TGainBarReading top = ReadGainBar(0);
  EXPECT_EQ(top.Progress, 100);
  EXPECT_EQ(top.Label, "0");
  EXPECT_EQ(top.Gain, 1.0L);
}

TEST_F(MainControlsTest, WithTheLockOnOneMoveMovesBothBars) {
  window.MoveTrackBar("TrackBar_L", 35);
  EXPECT_EQ(window.Positions["TrackBar_R"], 35);
  EXPECT_EQ(window.Captions["Label_Gain_L"], "-35");
  EXPECT_EQ(window.Captions["Label_Gain_R"], "-35");
  EXPECT_EQ(window.Positions["ProgressBar_R"], 65);
  EXPECT_EQ(state.OutputGains().OutputGainL, state.OutputGains().OutputGainR);
  window.MoveTrackBar("TrackBar_R", 60);
  EXPECT_EQ(window.Positions["TrackBar_L"], 60);
  EXPECT_EQ(window.Captions["Label_Gain_L"], "-60");

  // Turning the lock on again does not align the bars; the next move does.
  controls.LockClick();
  window.MoveTrackBar("TrackBar_L", 10);
  controls.LockClick();
  EXPECT_EQ(window.Glyphs["BitBtnExt_Lock"], "_LockLRActive");
  EXPECT_EQ(window.Positions["TrackBar_R"], 60);
  window.MoveTrackBar("TrackBar_R", 50);
  EXPECT_EQ(window.Positions["TrackBar_L"], 50);
}

// With the lock on, a move stores both gains as one: whatever moment of the
// handlers a gain round reads at (here: every caption and position they set),
// it finds the left gain equal to the right one, and after the move both are
// the moved bar's gain, bit for bit.
TEST_F(MainControlsTest, WithTheLockOnNoMomentOfAMoveHasUnequalGains) {
  std::vector<TOutputGains> seen;
  window.OnShow = [&] { seen.push_back(state.OutputGains()); };
  const struct {
    const char* Bar;
    std::int32_t Position;
  } moves[] = {{"TrackBar_L", 35}, {"TrackBar_R", 0}, {"TrackBar_L", 100}, {"TrackBar_R", 61}, {"TrackBar_L", 1}};
  for (const auto& move : moves) {
    window.MoveTrackBar(move.Bar, move.Position);
    const TOutputGains after = state.OutputGains();
    EXPECT_EQ(after.OutputGainL, TMainState::TrackBarGain(move.Position)) << move.Bar << " to " << move.Position;
    EXPECT_EQ(after.OutputGainR, TMainState::TrackBarGain(move.Position)) << move.Bar << " to " << move.Position;
  }
  window.OnShow = nullptr;
  ASSERT_FALSE(seen.empty());
  std::size_t unequal = 0;
  for (const TOutputGains& gains : seen) unequal += gains.OutputGainL != gains.OutputGainR;
  EXPECT_EQ(unequal, 0u) << "of " << seen.size() << " moments of five moves";
}

// The same with a real reader: a thread that takes the gains as both roads
// do (the sound-out thread's gain round, the driver road's second), while the
// lock-on bars move on this one.
TEST_F(MainControlsTest, WithTheLockOnAConcurrentGainRoundNeverTakesUnequalSides) {
  std::atomic<bool> done{false};
  std::atomic<std::uint64_t> rounds{0}, unequal{0};
  std::thread reader([&] {
    while (!done.load(std::memory_order_relaxed)) {
      const TOutputGains gains = state.OutputGains();
      unequal.fetch_add(gains.OutputGainL != gains.OutputGainR, std::memory_order_relaxed);
      rounds.fetch_add(1, std::memory_order_relaxed);
    }
  });
  for (int move = 0; move < 20000; ++move)
    window.MoveTrackBar(move % 2 ? "TrackBar_R" : "TrackBar_L", move % 101);
  done = true;
  reader.join();
  EXPECT_EQ(unequal.load(), 0u) << "of " << rounds.load() << " gain rounds during 20000 moves";
}

TEST_F(MainControlsTest, MuteAndAttenuationToggleTheirFactorsAndFaceColours) {
  controls.MuteClick();
  EXPECT_TRUE(state.xMute);
  EXPECT_EQ(state.OutputGains().OutputMute, 0.0L);
  EXPECT_EQ(window.FaceColors["BitBtnExt_Mute"], kMuteFaceOn);
  controls.MuteClick();
  EXPECT_EQ(state.OutputGains().OutputMute, 1.0L);
  EXPECT_EQ(window.FaceColors["BitBtnExt_Mute"], kButtonFaceOff);

  controls.ATTClick();  // on at start
  EXPECT_FALSE(state.xAttenuation);
  EXPECT_EQ(state.OutputGains().OutputATT, 1.0L);
  EXPECT_EQ(window.FaceColors["BitBtnExt_ATT"], kButtonFaceOff);
  controls.ATTClick();
  EXPECT_EQ(state.OutputGains().OutputATT, 0.1L);
  EXPECT_EQ(window.FaceColors["BitBtnExt_ATT"], kATTFaceOn);
  EXPECT_TRUE(window.Messages.empty());
}

TEST_F(MainControlsTest, RepeatSwitchesBetweenContinuousAndSingle) {
  controls.RepeatClick();
  EXPECT_EQ(state.InternalSetting()._Repeat, TRepeat::_Single);
  EXPECT_EQ(window.Glyphs["BitBtnExt_Repeat"], "_RepeatInactive");
  controls.RepeatClick();
  EXPECT_EQ(state.InternalSetting()._Repeat, TRepeat::_Continuous);
  EXPECT_EQ(window.Glyphs["BitBtnExt_Repeat"], "_RepeatActive");
}

TEST_F(MainControlsTest, DialogsOpenOnlyWhenStoppedAndAMissingWindowLeavesNoFlagBehind) {
  window.Dialogs[TMainDialog::_Settings] = true;
  controls.SettingsClick();
  EXPECT_TRUE(state.xEnableChangeData());
  // While a dialog is open the others, the pages, the scope and Play refuse.
  controls.SignalsClick();
  controls.ChannelClick();
  controls.ScopeClick();
  controls.RepeatClick();
  controls.RecClick();
  controls.PlayClick();
  EXPECT_EQ(window.Shown, std::vector<TMainDialog>{TMainDialog::_Settings});
  EXPECT_EQ(state.xCurrentChannel, -1);
  EXPECT_EQ(controls.ScopeState(), TScopeState::_Panels);
  EXPECT_EQ(state.InternalSetting()._Repeat, TRepeat::_Continuous);
  EXPECT_EQ(device.OpenCalls(), 0);
  // Lock and the gains still work.
  controls.LockClick();
  EXPECT_FALSE(state.xLockLR);
  controls.EditorClosed();
  EXPECT_FALSE(state.xEnableChangeData());

  controls.SignalsClick();  // no signal window yet
  EXPECT_FALSE(state.xEnableChangeData());
  EXPECT_EQ(window.Shown.back(), TMainDialog::_Signals);
}

// A set edited for the driver road with a harmonic tone is made ahead when
// the editor closes, so the first Play's first second makes no tone; on
// wave-out (its maker makes its own seconds), with sines only or with the
// harmonic tone muted, nothing is made ahead.
TEST_F(MainControlsTest, AfterAnEditorClosesTheDriverRoadsCostlyTonesAreMadeAheadAndNowhereElse) {
  struct Case {
    const char* Name;
    TOutputDevice Device;
    TWaveform Waveform;
    TOutputChannel Channel;
    std::size_t Ahead;  // tones made before the Play
  };
  const Case cases[] = {
      {"driver road, a square", TOutputDevice::_ASIO, TWaveform::_Square, TOutputChannel::_Lch, 2},
      {"driver road, sines only", TOutputDevice::_ASIO, TWaveform::_Sine, TOutputChannel::_Lch, 0},
      {"driver road, the square muted", TOutputDevice::_ASIO, TWaveform::_Square, TOutputChannel::_Mute, 0},
      {"wave-out, a square", TOutputDevice::_WaveMapper, TWaveform::_Square, TOutputChannel::_Lch, 0},
  };
  window.Dialogs[TMainDialog::_Settings] = true;
  std::int32_t frequency = 100;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TInternalSetting setting = state.InternalSetting();
    setting._OutputDevice = c.Device;
    setting._FFTuse = TFFTuse::_Use;
    state.SetInternalSetting(setting);
    // New tones for each case: nothing kept from the case before.
    frequency += 100;
    TSignalAttribute tone = state.SignalAttributeArray()[0];
    tone._Frequency = frequency;
    state.SetSignalAttribute(0, tone);
    tone._Waveform = c.Waveform;
    tone._OutputChannel = c.Channel;
    state.SetSignalAttribute(1, tone);
    const std::size_t audible = c.Channel == TOutputChannel::_Mute ? 1 : 2;

    const std::size_t before = engine.ToneCalls().size();
    controls.SettingsClick();
    controls.EditorClosed();
    if (c.Ahead > 0) {
      ASSERT_TRUE(WaitUntil([&] { return engine.ToneCalls().size() == before + c.Ahead; }))
          << "tones made ahead: " << engine.ToneCalls().size() - before;
    } else {
      std::this_thread::sleep_for(50ms);  // time enough for a warm-up to begin
      EXPECT_EQ(engine.ToneCalls().size(), before);
    }
    // The driver road's first second (its Play asks it with command 0).
    state.RequestCreateWave(kCreateWaveAll);
    ASSERT_NE(state.FetchMixedSecond(), nullptr);
    EXPECT_EQ(engine.ToneCalls().size() - before, audible) << "every tone is made once";
  }
}

TEST_F(MainControlsTest, RecordEntersRecordUntilItsWindowCloses) {
  controls.RecClick();  // no recording window: it ends at once
  EXPECT_EQ(state.xOperation(), TOperation::_Stop);
  EXPECT_EQ(window.Glyphs["BitBtnExt_Rec"], "_WavFileInactive");

  window.Dialogs[TMainDialog::_Record] = true;
  controls.RecClick();
  EXPECT_EQ(state.xOperation(), TOperation::_Record);
  EXPECT_EQ(window.Glyphs["BitBtnExt_Rec"], "_WavFileActive");
  controls.StopClick();  // does nothing while recording
  controls.SettingsClick();
  controls.RepeatClick();
  EXPECT_EQ(state.xOperation(), TOperation::_Record);
  EXPECT_FALSE(state.xEnableChangeData());
  controls.RecordWindowClosed();
  EXPECT_EQ(state.xOperation(), TOperation::_Stop);
  EXPECT_EQ(window.Glyphs["BitBtnExt_Rec"], "_WavFileInactive");
}

TEST_F(MainControlsTest, WhilePlayingRecordSettingsSignalsAndRepeatDoNothing) {
  window.Dialogs[TMainDialog::_Settings] = window.Dialogs[TMainDialog::_Signals] =
      window.Dialogs[TMainDialog::_Record] = true;
  state.SetOperation(TOperation::_Play);
  controls.RecClick();
  controls.SettingsClick();
  controls.SignalsClick();
  controls.RepeatClick();
  EXPECT_TRUE(window.Shown.empty());
  EXPECT_EQ(state.xOperation(), TOperation::_Play);
  EXPECT_EQ(state.InternalSetting()._Repeat, TRepeat::_Continuous);
  // The pages and the scope work in any state.
  controls.ChannelClick();
  controls.ScopeClick();
  EXPECT_EQ(state.xCurrentChannel, 0);
  EXPECT_EQ(controls.ScopeState(), TScopeState::_ChartsFixed);
  state.SetOperation(TOperation::_Stop);
}

TEST(MainControls, NextChannelAndPageLabels) {
  EXPECT_EQ(NextChannel(-1, 6), 0);
  EXPECT_EQ(NextChannel(3, 6), 4);
  EXPECT_EQ(NextChannel(4, 6), -1);
  EXPECT_EQ(PageLabelOf(-1), "");
  EXPECT_EQ(PageLabelOf(0), "Label_Ch1");
  EXPECT_EQ(PageLabelOf(4), "Label_ChX");
}

}  // namespace
