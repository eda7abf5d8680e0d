#include "app/UnitMain.h"

#include <map>
#include <stdexcept>
#include <vector>

#include "app/ProgramClose.h"
#include "app/WavRecording.h"
#include "dialogs/UnitRecord.h"
#include "framework/Dispatcher.h"
#include "framework/Messages.h"
#include "framework/Text.h"

TFormMain* FormMain = nullptr;

namespace {

// Look of the window.
constexpr TColor kFormColor = MakeColor(44, 46, 54);
constexpr TColor kDisplayColor = 0x400000;  // the gain bars' background too
constexpr TColor kFrameColor = MakeColor(60, 63, 74);
constexpr TColor kCaptionColor = MakeColor(110, 170, 230);
constexpr TColor kValueColor = 0xffff00;
constexpr TColor kTransportFace = MakeColor(78, 82, 96);
constexpr TColor kHeadingColor = MakeColor(200, 204, 214);

TFont MakeFont(int Size, TColor Color, bool Bold = false) {
  TFont font;
  font.Name = L"Tahoma";
  font.Size = Size;
  font.Color = Color;
  font.Bold = Bold;
  return font;
}

const TFont kCaptionFont = MakeFont(9, kCaptionColor);
const TFont kUnitFont = MakeFont(8, kCaptionColor);
const TFont kValueFont = MakeFont(10, kValueColor, true);
const TFont kHeadingFont = MakeFont(8, kHeadingColor, true);
const TFont kButtonFont = MakeFont(8, clBlack, true);

// Display panels: 232 x 176, rows 32 pixels apart.
constexpr int kPanelWidth = 232;
constexpr int kPanelHeight = 176;
constexpr int kRowTop = 14;
constexpr int kRowStep = 32;

// The property that tells which picture a button shows (read by the test
// driver, like the component name).
constexpr wchar_t kGlyphProperty[] = L"KRV.Glyph";

void RecordGlyphName(HWND Button, const std::wstring& Name) {
  if (!Button) return;
  if (const auto old = static_cast<ATOM>(reinterpret_cast<UINT_PTR>(RemovePropW(Button, kGlyphProperty))))
    GlobalDeleteAtom(old);
  if (const ATOM atom = GlobalAddAtomW(Name.c_str()))
    SetPropW(Button, kGlyphProperty, reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(atom)));
}

// Deletes the picture-name atoms of every button of the window.
void ForgetGlyphNames(HWND Window) {
  if (!Window) return;
  EnumChildWindows(
      Window,
      [](HWND Child, LPARAM) -> BOOL {
        if (const auto old = static_cast<ATOM>(reinterpret_cast<UINT_PTR>(RemovePropW(Child, kGlyphProperty))))
          GlobalDeleteAtom(old);
        return TRUE;
      },
      0);
}

// Tasks waiting for their timer (user-interface thread only).
std::map<UINT_PTR, std::function<void()>>& LaterTasks() {
  static std::map<UINT_PTR, std::function<void()>> tasks;
  return tasks;
}

void CALLBACK RunLaterTask(HWND, UINT, UINT_PTR Id, DWORD) {
  KillTimer(nullptr, Id);
  auto& tasks = LaterTasks();
  const auto found = tasks.find(Id);
  if (found == tasks.end()) return;
  const std::function<void()> task = std::move(found->second);
  tasks.erase(found);
  try {
    task();
  } catch (...) {
  }
}

// The process ends at once, from any thread, while another thread may be
// stuck anywhere (the close's bound has passed). The global atoms that the
// windows carry (component and picture names) would outlive it: they go
// first; the system removes the single-instance mutex with the process.
void ForgetWindowAtoms(HWND Window) {
  for (const wchar_t* property : {L"KRV.Name", kGlyphProperty})
    if (const auto atom = static_cast<ATOM>(reinterpret_cast<UINT_PTR>(RemovePropW(Window, property))))
      GlobalDeleteAtom(atom);
}

void EndProcessNow() {
  EnumWindows(
      [](HWND Window, LPARAM) -> BOOL {
        DWORD process = 0;
        GetWindowThreadProcessId(Window, &process);
        if (process != GetCurrentProcessId()) return TRUE;
        ForgetWindowAtoms(Window);
        EnumChildWindows(
            Window,
            [](HWND Child, LPARAM) -> BOOL {
              ForgetWindowAtoms(Child);
              return TRUE;
            },
            0);
        return TRUE;
      },
      0);
  TerminateProcess(GetCurrentProcess(), 0);
}

// The watch over the program's close; it lives as long as the process, so
// that it also covers what runs after the windows have gone.
TProgramClose& ProgramClose() {
  static TProgramClose* const close = new TProgramClose(TProgramClose::kBoundMs, &EndProcessNow);
  return *close;
}

void ForgetLaterTasks() {
  for (const auto& [id, task] : LaterTasks()) KillTimer(nullptr, id);
  LaterTasks().clear();
}

// One row of a value panel: caption, value label (right-aligned) and unit.
TLabel* AddValueRow(TPanel* Panel, int Row, const wchar_t* Caption, const wchar_t* ValueName, const wchar_t* Unit) {
  const int top = kRowTop + Row * kRowStep;
  Panel->Add<TLabel>({.Name = std::wstring(ValueName) + L"_Caption", .Left = 12, .Top = top + 1,
                      .Font = kCaptionFont, .Caption = Caption, .Transparent = true});
  TLabel* value = Panel->Add<TLabel>({.Name = ValueName, .Left = 84, .Top = top, .Width = 92, .Height = 18,
                                      .Font = kValueFont, .Caption = L"", .Alignment = taRight,
                                      .AutoSize = false, .Transparent = true});
  if (Unit)
    Panel->Add<TLabel>({.Name = std::wstring(ValueName) + L"_Unit", .Left = 182, .Top = top + 2,
                        .Font = kUnitFont, .Caption = Unit, .Transparent = true});
  return value;
}

}  // namespace

// ---------------------------------------------------------------------------
// What the worker threads post. Each task checks that the window still
// exists when it runs on the user-interface thread.

void TMainUserInterface::PostPlayTime(std::string Caption) {
  TFormMain* form = &FForm;
  TUIDispatcher::PostLatest(reinterpret_cast<std::uintptr_t>(&form->Label_PlayTime_Value),
                            [form, Caption = std::move(Caption)] {
                              if (FormMain == form) form->ShowPlayTime(Caption);
                            });
}

void TMainUserInterface::PostWaveChart(std::vector<std::int32_t> Left, std::vector<std::int32_t> Right) {
  TFormMain* form = &FForm;
  TUIDispatcher::PostLatest(reinterpret_cast<std::uintptr_t>(&form->Chart_Lch),
                            [form, Left = std::move(Left), Right = std::move(Right)] {
                              if (FormMain == form) form->ShowWaveChart(Left, Right);
                            });
}

void TMainUserInterface::PostSinglePlayEnd() {
  TFormMain* form = &FForm;
  TUIDispatcher::Post([form] {
    if (FormMain == form) form->State().CompleteSinglePlay();
  });
}

void TMainUserInterface::PostErrorMessage(std::string Text) {
  TUIDispatcher::Post([Text = std::move(Text)] { ShowMessage(Utf8ToWide(Text)); });
}

// ---------------------------------------------------------------------------
// Construction

TFormMain::TFormMain()
    : TForm({.Name = L"FormMain", .ClassName = L"TFormMain", .Caption = L"Signal Generator", .ClientWidth = 736,
             .ClientHeight = 298, .Position = poScreenCenter, .BorderStyle = bsSingle, .SystemMenu = true,
             .MinimizeBox = true, .MaximizeBox = false, .Color = kFormColor}) {
  CreateDisplayArea();
  CreatePageControls();
  CreateTransport();
  CreateGainControls();
  ASIOHost = TAsioHostComponent::Create();
  ASIOHost->SetOnBufferSwitch64([this](const TAVDArrayOfDoubleDynArray& in, TAVDArrayOfDoubleDynArray& out) {
    ASIOHostBufferSwitch64(in, out);
  });
  OnCreate = [this](TControl* sender) { FormCreate(sender); };
  OnShow = [this](TControl* sender) { FormShow(sender); };
  OnClose = [this](TControl* sender, TCloseAction& action) { FormClose(sender, action); };
  OnDestroy = [this](TControl* sender) { FormDestroy(sender); };
  OnEndSession = [this](bool Ending) {
    if (Ending) FormEndSession();
  };
  FormMain = this;
}

TFormMain::~TFormMain() {
  if (FormMain == this) FormMain = nullptr;
  ForgetLaterTasks();
  ForgetGlyphNames(Handle());
  ASIOHost->SetActive(false);
  FState.reset();  // ends the threads and closes the road if FormDestroy did not
  ASIOHost->SetOnBufferSwitch64({});
  FAsioRoad.reset();
}

void TFormMain::CreateDisplayArea() {
  struct TRow {
    const wchar_t* Caption;
    const wchar_t* Name;
    const wchar_t* Unit;
    TLabel* TFormMain::*Field;
  };
  struct TValuePanel {
    const wchar_t* Name;
    int Column;
    TPanel* TFormMain::*Field;
    std::vector<TRow> Rows;
  };
  const TValuePanel panels[] = {
      {L"Panel_Setting_Global_1", 0, &TFormMain::Panel_Setting_Global_1,
       {{L"Sampling Rate", L"Label_Fs_Value", L"Hz", &TFormMain::Label_Fs_Value},
        {L"Quantization", L"Label_Quant_Value", L"bit", &TFormMain::Label_Quant_Value},
        {L"Rounding", L"Label_Round_Value", nullptr, &TFormMain::Label_Round_Value},
        {L"Dither", L"Label_Dither_Value", nullptr, &TFormMain::Label_Dither_Value},
        {L"Noise Shaping", L"Label_NS_Value", nullptr, &TFormMain::Label_NS_Value}}},
      {L"Panel_Setting_Global_2", 1, &TFormMain::Panel_Setting_Global_2, {}},
      {L"Panel_Setting_Signal_1", 0, &TFormMain::Panel_Setting_Signal_1,
       {{L"Frequency", L"Label_Freq_Value", L"Hz", &TFormMain::Label_Freq_Value},
        {L"Amplitude", L"Label_Amp_Value", L"dB", &TFormMain::Label_Amp_Value},
        {L"Phase", L"Label_Phase_Value", L"degree", &TFormMain::Label_Phase_Value},
        {L"Offset", L"Label_Offset_Value", L"digit", &TFormMain::Label_Offset_Value},
        {L"Output", L"Label_Output_Value", nullptr, &TFormMain::Label_Output_Value}}},
      {L"Panel_Setting_Signal_2", 1, &TFormMain::Panel_Setting_Signal_2,
       {{L"Waveform", L"Label_Waveform_Value", nullptr, &TFormMain::Label_Waveform_Value},
        {L"Warble", L"Label_Warble_Value", nullptr, &TFormMain::Label_Warble_Value},
        {L"Cycle On", L"Label_CycleOn_Value", L"Cycle", &TFormMain::Label_CycleOn_Value},
        {L"Cycle Off", L"Label_CycleOff_Value", L"Cycle", &TFormMain::Label_CycleOff_Value}}},
      {L"Panel_Setting_SignalEx_1", 0, &TFormMain::Panel_Setting_SignalEx_1,
       {{L"Sweep Period", L"Label_SweepPeriod_Value", L"sec", &TFormMain::Label_SweepPeriod_Value},
        {L"Amplitude", L"Label_AmpEx1_Value", L"dB", &TFormMain::Label_AmpEx1_Value},
        {L"Start Freq.", L"Label_StartFreq_Value", L"Hz", &TFormMain::Label_StartFreq_Value},
        {L"Stop Freq.", L"Label_StopFreq_Value", L"Hz", &TFormMain::Label_StopFreq_Value},
        {L"Output", L"Label_OutputEx1_Value", nullptr, &TFormMain::Label_OutputEx1_Value}}},
      {L"Panel_Setting_SignalEx_2", 1, &TFormMain::Panel_Setting_SignalEx_2,
       {{L"Noise Type", L"Label_Noise_Value", nullptr, &TFormMain::Label_Noise_Value},
        {L"Amplitude", L"Label_AmpEx2_Value", L"dB", &TFormMain::Label_AmpEx2_Value},
        {L"Phase", L"Label_PhaseEx2_Value", L"degree", &TFormMain::Label_PhaseEx2_Value},
        {L"Output", L"Label_OutputEx2_Value", nullptr, &TFormMain::Label_OutputEx2_Value}}},
  };
  for (const TValuePanel& made : panels) {
    // Only the global pair is visible at start.
    TPanel* panel = Add<TPanel>({.Name = made.Name, .Left = 8 + made.Column * (kPanelWidth + 8), .Top = 8,
                                 .Width = kPanelWidth, .Height = kPanelHeight,
                                 .Visible = made.Field == &TFormMain::Panel_Setting_Global_1 ||
                                            made.Field == &TFormMain::Panel_Setting_Global_2,
                                 .Color = kDisplayColor, .BevelOuter = bvLowered});
    this->*made.Field = panel;
    for (std::size_t row = 0; row < made.Rows.size(); ++row)
      this->*made.Rows[row].Field = AddValueRow(panel, static_cast<int>(row), made.Rows[row].Caption,
                                                made.Rows[row].Name, made.Rows[row].Unit);
  }

  // The playing-time counter.
  Panel_Setting_Global_2->Add<TLabel>({.Name = L"Label_PlayTime_Caption", .Left = 12, .Top = kRowTop + 1,
                                       .Font = kCaptionFont, .Caption = L"Playing Time", .Transparent = true});
  Label_PlayTime_Value = Panel_Setting_Global_2->Add<TLabel>(
      {.Name = L"Label_PlayTime_Value", .Left = 16, .Top = 62, .Width = 160, .Height = 52,
       .Font = MakeFont(30, kValueColor, true), .Caption = L"0", .Alignment = taRight, .AutoSize = false,
       .Transparent = true});
  Panel_Setting_Global_2->Add<TLabel>({.Name = L"Label_PlayTime_Unit", .Left = 184, .Top = 92,
                                       .Font = kCaptionFont, .Caption = L"sec", .Transparent = true});

  auto chart = [this](const wchar_t* name, const wchar_t* title, int column) {
    TChart* made = Add<TChart>({.Name = name, .Left = 8 + column * (kPanelWidth + 8), .Top = 8,
                                .Width = kPanelWidth, .Height = kPanelHeight, .Visible = false,
                                .Font = MakeFont(7, kCaptionColor), .Color = kDisplayColor,
                                .SeriesColor = clLime, .BackColor = clBlack, .Title = title});
    made->LeftAxis().SetMinMax(-32768, 32768);
    made->BottomAxis().SetMinMax(0, 100);
    return made;
  };
  Chart_Lch = chart(L"Chart_Lch", L"L ch", 0);
  Chart_Rch = chart(L"Chart_Rch", L"R ch", 1);
}

void TFormMain::CreatePageControls() {
  const int top = 192;
  BitBtnExt_Channel = Add<TBitBtnExt>({.Name = L"BitBtnExt_Channel", .Left = 8, .Top = top, .Width = 104,
                                       .Height = 30, .Font = kButtonFont, .Color = kButtonFaceOff,
                                       .Caption = L"CHANNEL"});
  BitBtnExt_Channel->OnClick = [this](TControl* sender) { BitBtnExt_ChannelClick(sender); };

  Panel_Channel = Add<TPanel>({.Name = L"Panel_Channel", .Left = 118, .Top = top, .Width = 150, .Height = 30,
                               .Color = kDisplayColor, .BevelOuter = bvLowered});
  auto page = [this](const wchar_t* name, const wchar_t* caption, int index) {
    return Panel_Channel->Add<TLabel>({.Name = name, .Left = 6 + index * 28, .Top = 4, .Width = 26, .Height = 22,
                                       .Font = MakeFont(11, kPageLabelColor, true), .Caption = caption,
                                       .Alignment = taCenterText, .AutoSize = false, .Transparent = true});
  };
  Label_Ch1 = page(L"Label_Ch1", L"1", 0);
  Label_Ch2 = page(L"Label_Ch2", L"2", 1);
  Label_Ch3 = page(L"Label_Ch3", L"3", 2);
  Label_Ch4 = page(L"Label_Ch4", L"4", 3);
  Label_ChX = page(L"Label_ChX", L"+", 4);

  BitBtnExt_Scope = Add<TBitBtnExt>({.Name = L"BitBtnExt_Scope", .Left = 376, .Top = top, .Width = 104,
                                     .Height = 30, .Font = kButtonFont, .Color = kButtonFaceOff,
                                     .Caption = L"SCOPE", .Glyph = L"_Off"});
  BitBtnExt_Scope->OnClick = [this](TControl* sender) { BitBtnExt_ScopeClick(sender); };
}

void TFormMain::CreateTransport() {
  auto* transport = Add<TPanel>({.Name = L"Panel_Transport", .Left = 8, .Top = 230, .Width = 472, .Height = 60,
                                 .Color = kFrameColor, .BevelOuter = bvRaised});
  struct TTransportButton {
    TBitBtnExt** Field;
    const wchar_t* Name;
    const wchar_t* Picture;
    const wchar_t* Legend;
    void (TFormMain::*Handler)(TControl*);
  };
  const TTransportButton buttons[] = {
      {&BitBtnExt_Play, L"BitBtnExt_Play", L"_SignalInactive", L"PLAY", &TFormMain::BitBtnExt_PlayClick},
      {&BitBtnExt_Stop, L"BitBtnExt_Stop", L"_Stop", L"STOP", &TFormMain::BitBtnExt_StopClick},
      {&BitBtnExt_Rec, L"BitBtnExt_Rec", L"_WavFileInactive", L"REC", &TFormMain::BitBtnExt_RecClick},
      {&BitBtnExt_Repeat, L"BitBtnExt_Repeat", L"_RepeatActive", L"REPEAT", &TFormMain::BitBtnExt_RepeatClick},
      {&BitBtnExt_Settings, L"BitBtnExt_Settings", L"_Settings", L"SETTINGS",
       &TFormMain::BitBtnExt_SettingsClick},
      {&BitBtnExt_Signals, L"BitBtnExt_Signals", L"_Signals", L"SIGNALS", &TFormMain::BitBtnExt_SignalsClick},
      {&BitBtnExt_Exit, L"BitBtnExt_Exit", L"_Exit", L"EXIT", &TFormMain::BitBtnExt_ExitClick},
  };
  int left = 8;
  for (const TTransportButton& b : buttons) {
    TBitBtnExt* button = transport->Add<TBitBtnExt>({.Name = b.Name, .Left = left, .Top = 4, .Width = 60,
                                                     .Height = 38, .Color = kTransportFace, .Glyph = b.Picture,
                                                     .Layout = blGlyphTop, .Margin = -1});
    const auto handler = b.Handler;
    button->OnClick = [this, handler](TControl* sender) { (this->*handler)(sender); };
    RecordGlyphName(button->Handle(), b.Picture);
    transport->Add<TLabel>({.Name = std::wstring(b.Name) + L"_Legend", .Left = left, .Top = 43, .Width = 60,
                            .Height = 14, .Font = kHeadingFont, .Caption = b.Legend, .Alignment = taCenterText,
                            .AutoSize = false, .Transparent = true});
    *b.Field = button;
    left += 66;
  }
}

void TFormMain::CreateGainControls() {
  auto* gains = Add<TPanel>({.Name = L"Panel_Gain", .Left = 488, .Top = 8, .Width = 240, .Height = 282,
                             .Color = kDisplayColor, .BevelOuter = bvLowered});
  gains->Add<TLabel>({.Name = L"Label_Gain_Heading", .Left = 8, .Top = 6, .Font = kHeadingFont,
                      .Caption = L"OUTPUT LEVEL", .Transparent = true});
  struct TSide {
    const wchar_t* Heading;
    const wchar_t* TrackName;
    const wchar_t* ProgressName;
    const wchar_t* LabelName;
    int Left;
  };
  const TSide sides[] = {{L"L", L"TrackBar_L", L"ProgressBar_L", L"Label_Gain_L", 8},
                         {L"R", L"TrackBar_R", L"ProgressBar_R", L"Label_Gain_R", 76}};
  for (const TSide& side : sides) {
    gains->Add<TLabel>({.Name = std::wstring(side.LabelName) + L"_Heading", .Left = side.Left, .Top = 26,
                        .Width = 52, .Height = 16, .Font = MakeFont(10, kValueColor, true),
                        .Caption = side.Heading, .Alignment = taCenterText, .AutoSize = false,
                        .Transparent = true});
    auto* track = gains->Add<TTrackBar>({.Name = side.TrackName, .Left = side.Left, .Top = 44, .Width = 34,
                                         .Height = 180, .Color = kDisplayColor, .Orientation = trVertical,
                                         .Min = 0, .Max = 100, .Position = 0, .Frequency = 10});
    auto* progress = gains->Add<TProgressBar>({.Name = side.ProgressName, .Left = side.Left + 38, .Top = 52,
                                               .Width = 12, .Height = 164, .Orientation = pbVertical, .Min = 0,
                                               .Max = 100, .Position = 100, .BarColor = kGainProgressColor,
                                               .BackgroundColor = kDisplayColor});
    auto* value = gains->Add<TLabel>({.Name = side.LabelName, .Left = side.Left - 4, .Top = 232, .Width = 36,
                                      .Height = 18, .Font = kValueFont, .Caption = L"0", .Alignment = taRight,
                                      .AutoSize = false, .Transparent = true});
    gains->Add<TLabel>({.Name = std::wstring(side.LabelName) + L"_Unit", .Left = side.Left + 34, .Top = 234,
                        .Font = kUnitFont, .Caption = L"dB", .Transparent = true});
    if (side.Left == 8) {
      TrackBar_L = track;
      ProgressBar_L = progress;
      Label_Gain_L = value;
    } else {
      TrackBar_R = track;
      ProgressBar_R = progress;
      Label_Gain_R = value;
    }
  }
  TrackBar_L->OnChange = [this](TControl* sender) { TrackBar_LChange(sender); };
  TrackBar_R->OnChange = [this](TControl* sender) { TrackBar_RChange(sender); };

  BitBtnExt_Mute = gains->Add<TBitBtnExt>({.Name = L"BitBtnExt_Mute", .Left = 146, .Top = 52, .Width = 84,
                                           .Height = 32, .Font = kButtonFont, .Color = kButtonFaceOff,
                                           .Caption = L"MUTE"});
  BitBtnExt_ATT = gains->Add<TBitBtnExt>({.Name = L"BitBtnExt_ATT", .Left = 146, .Top = 92, .Width = 84,
                                          .Height = 32, .Font = kButtonFont, .Color = kATTFaceOn,
                                          .Caption = L"-20dB"});
  gains->Add<TLabel>({.Name = L"Label_Lock_Heading", .Left = 146, .Top = 150, .Width = 84, .Height = 14,
                      .Font = kHeadingFont, .Caption = L"L/R LOCK", .Alignment = taCenterText, .AutoSize = false,
                      .Transparent = true});
  BitBtnExt_Lock = gains->Add<TBitBtnExt>({.Name = L"BitBtnExt_Lock", .Left = 146, .Top = 166, .Width = 84,
                                           .Height = 32, .Color = kButtonFaceOff, .Glyph = L"_LockLRActive"});
  BitBtnExt_Mute->OnClick = [this](TControl* sender) { BitBtnExt_MuteClick(sender); };
  BitBtnExt_ATT->OnClick = [this](TControl* sender) { BitBtnExt_ATTClick(sender); };
  BitBtnExt_Lock->OnClick = [this](TControl* sender) { BitBtnExt_LockClick(sender); };
}

// ---------------------------------------------------------------------------
// Window events

void TFormMain::FormCreate(TControl*) {
  // The shared state with its defaults, the three call events and the three
  // worker threads, which run from here on.
  TMainWindowView& view = *this;
  FState = std::make_unique<TMainState>(
      TMainServices{Win32EventFactory(), WaveOut, WaveMemory, Engine, UserInterface, view});
  FAsioRoad = std::make_unique<TAsioPlayback>(
      TAsioRoadServices{*FState, *ASIOHost, Engine, Win32EventFactory(), UserInterface, view,
                        [](std::function<void()> Task) { TUIDispatcher::Post(std::move(Task)); }});
  FState->SetAsioRoad(FAsioRoad.get());  // Play, Stop and the close take its branches
  FControls = std::make_unique<TMainControls>(*FState, view);
  FControls->ShowInitialPictures();
}

void TFormMain::FormShow(TControl*) {
  FControls->FormShow();
  for (TTrackBar* bar : {TrackBar_L, TrackBar_R}) bar->SetColor(kGainBarBackground);
  for (TProgressBar* bar : {ProgressBar_L, ProgressBar_R}) {
    bar->SetBackgroundColor(kGainBarBackground);
    bar->SetBarColor(kGainProgressColor);
  }
}

void TFormMain::FormClose(TControl*, TCloseAction& Action) {
  // A running output is stopped before the window closes; the window
  // closes whatever the answer, and the program ends: the worker threads
  // are told to end now and do so while the windows go.
  if (!FState) return;
  if (FState->Rendering()) {
    // A WAV file is being written (this close came through its event
    // handling, or through a message box shown meanwhile): the file is
    // finished first, then the window closes.
    FState->DeferClose([window = Handle()] { PostMessageW(window, WM_CLOSE, 0, 0); });
    Action = caNone;
    return;
  }
  // From here on the program is gone within the close's bound, whatever
  // stays stuck (a driver call below, a thread that does not end).
  ProgramClose().Begin();
  FState->Close();
  FState->BeginShutdown();
}

void TFormMain::FormEndSession() {
  // The system ends the program right after this: a file being written is
  // cancelled now, then the window closes as it does for the user.
  if (FState) FState->EndSession([this] { Close(); });
}

void TFormMain::FormDestroy(TControl*) {
  // Stops the output whatever the state, ends the threads and waits for
  // them, up to one deadline for all from the close; the events and streams
  // go with the state afterwards.
  ForgetLaterTasks();
  if (FState && !FState->Shutdown()) {
    // A thread is stuck inside the audio device (a reset that never
    // returns), or the device would not close. Nothing either may still
    // touch is freed: the windows go (and with them the program's atoms),
    // then the process ends at once.
    ForgetGlyphNames(Handle());
    DestroyWindow(Handle());
    ProgramClose().EndNow();
  }
}

// ---------------------------------------------------------------------------
// Handlers

void TFormMain::BitBtnExt_PlayClick(TControl*) { FControls->PlayClick(); }
void TFormMain::BitBtnExt_StopClick(TControl*) { FControls->StopClick(); }
void TFormMain::BitBtnExt_RecClick(TControl*) { FControls->RecClick(); }
void TFormMain::BitBtnExt_RepeatClick(TControl*) { FControls->RepeatClick(); }
void TFormMain::BitBtnExt_SettingsClick(TControl*) { FControls->SettingsClick(); }
void TFormMain::BitBtnExt_SignalsClick(TControl*) { FControls->SignalsClick(); }
void TFormMain::BitBtnExt_ExitClick(TControl*) { Close(); }
void TFormMain::BitBtnExt_ChannelClick(TControl*) { FControls->ChannelClick(); }
void TFormMain::BitBtnExt_ScopeClick(TControl*) { FControls->ScopeClick(); }
void TFormMain::TrackBar_LChange(TControl*) { FControls->TrackBarChange(TGainSide::_Left); }
void TFormMain::TrackBar_RChange(TControl*) { FControls->TrackBarChange(TGainSide::_Right); }
void TFormMain::BitBtnExt_MuteClick(TControl*) { FControls->MuteClick(); }
void TFormMain::BitBtnExt_ATTClick(TControl*) { FControls->ATTClick(); }
void TFormMain::BitBtnExt_LockClick(TControl*) { FControls->LockClick(); }

void TFormMain::ASIOHostBufferSwitch64(const TAVDArrayOfDoubleDynArray& InBuffer,
                                       TAVDArrayOfDoubleDynArray& OutBuffer) {
  FAsioRoad->ASIOHostBufferSwitch64(InBuffer, OutBuffer);
}

void TFormMain::DisplayPCMFormat() { FControls->DisplayPCMFormat(); }
void TFormMain::DisplaySettings() { FControls->DisplaySettings(); }
void TFormMain::DisplaySignalAttribute(std::int32_t Channel) { FControls->DisplaySignalAttribute(Channel); }

void TFormMain::ShowSoundOutError(TWavMemErr WavMemErr, TWavOutErr WavOutErr) {
  FState->ShowSoundOutError(WavMemErr, WavOutErr);
}

void TFormMain::ShowPlayTime(const std::string& Caption) { Label_PlayTime_Value->SetCaption(Utf8ToWide(Caption)); }

void TFormMain::ShowWaveChart(const std::vector<std::int32_t>& Left, const std::vector<std::int32_t>& Right) {
  Chart_Lch->Series().Assign(std::vector<double>(Left.begin(), Left.end()));
  Chart_Rch->Series().Assign(std::vector<double>(Right.begin(), Right.end()));
}

// ---------------------------------------------------------------------------
// The view

TControl& TFormMain::Component(std::string_view Name) const {
  TControl* control = FindChild(Utf8ToWide(Name));
  if (!control) throw std::logic_error("no component " + std::string(Name));
  return *control;
}

TChart& TFormMain::ChartNamed(std::string_view Name) const {
  auto* chart = dynamic_cast<TChart*>(&Component(Name));
  if (!chart) throw std::logic_error(std::string(Name) + " is no chart");
  return *chart;
}

void TFormMain::SetPlayGlyph(std::string_view ResourceName) { SetGlyph("BitBtnExt_Play", ResourceName); }

void TFormMain::ShowErrorMessage(std::string_view Text) { ShowMessage(Utf8ToWide(Text)); }

void TFormMain::CallLater(std::uint32_t DelayMs, std::function<void()> Task) {
  if (const UINT_PTR id = SetTimer(nullptr, 0, DelayMs, &RunLaterTask)) LaterTasks()[id] = std::move(Task);
}

void TFormMain::SetCaption(std::string_view Name, const std::string& Text) {
  TControl& control = Component(Name);
  if (auto* label = dynamic_cast<TLabel*>(&control))
    label->SetCaption(Utf8ToWide(Text));
  else
    control.SetCaption(Utf8ToWide(Text));
}

void TFormMain::SetVisible(std::string_view Name, bool Visible) { Component(Name).SetVisible(Visible); }

void TFormMain::SetGlyph(std::string_view Name, std::string_view ResourceName) {
  auto* button = dynamic_cast<TBitBtnExt*>(&Component(Name));
  if (!button) throw std::logic_error(std::string(Name) + " is no picture button");
  const std::wstring resource = Utf8ToWide(ResourceName);
  button->LoadGlyph(resource);
  RecordGlyphName(button->Handle(), resource);
}

void TFormMain::SetFontColor(std::string_view Name, TColor Color) {
  TControl& control = Component(Name);
  if (auto* label = dynamic_cast<TLabel*>(&control)) {
    label->SetFontColor(Color);
  } else {
    TFont font = control.Font();
    font.Color = Color;
    control.SetFont(font);
  }
}

void TFormMain::SetFaceColor(std::string_view Name, TColor Color) { Component(Name).SetColor(Color); }

std::int32_t TFormMain::Position(std::string_view Name) const {
  TControl& control = Component(Name);
  if (auto* track = dynamic_cast<TTrackBar*>(&control)) return track->Position();
  if (auto* progress = dynamic_cast<TProgressBar*>(&control)) return progress->Position();
  throw std::logic_error(std::string(Name) + " has no position");
}

void TFormMain::SetPosition(std::string_view Name, std::int32_t Value) {
  TControl& control = Component(Name);
  if (auto* track = dynamic_cast<TTrackBar*>(&control))
    track->SetPosition(Value);  // runs its change handler when the position differs
  else if (auto* progress = dynamic_cast<TProgressBar*>(&control))
    progress->SetPosition(Value);
  else
    throw std::logic_error(std::string(Name) + " has no position");
}

void TFormMain::SetLeftAxisAutomatic(std::string_view Chart, bool Automatic) {
  ChartNamed(Chart).LeftAxis().SetAutomatic(Automatic);
}

void TFormMain::SetLeftAxisMaximum(std::string_view Chart, double Maximum) {
  ChartNamed(Chart).LeftAxis().SetMaximum(Maximum);
}

void TFormMain::SetLeftAxisMinimum(std::string_view Chart, double Minimum) {
  ChartNamed(Chart).LeftAxis().SetMinimum(Minimum);
}

bool TFormMain::ShowDialog(TMainDialog Dialog) {
  const auto found = DialogWindows.find(Dialog);
  if (found == DialogWindows.end() || !found->second) return false;
  found->second();
  return true;
}

TWavRenderResult TFormMain::CreateWavFile() {
  // A close asked for meanwhile follows once the recording window is done.
  return ::CreateWavFile(*FState, *FormRecord);
}
