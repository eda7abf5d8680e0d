// A window with one of every kind of control of the window layer.
//   gallery.exe [--ready-file NAME]
// With --ready-file the gallery creates that file once it is drawn and
// closes when the file is removed again (used for screenshots).

#include "controls/BitBtnExt.h"
#include "controls/EditHex.h"
#include "framework/Chart.h"
#include "framework/ComCtrls.h"
#include "framework/Dispatcher.h"
#include "framework/StdCtrls.h"

#include <shellapi.h>

#include <cmath>
#include <string>
#include <thread>

namespace {

const TColor DarkBlue = MakeColor(0, 0, 64);
const TColor LabelBlue = MakeColor(0, 128, 192);
const TColor Grey68 = MakeColor(68, 68, 68);

TFont PanelFont(TColor colour)
{
    TFont f;
    f.Name = L"Lucida Console";
    f.Size = 9;
    f.Color = colour;
    return f;
}

TFont ButtonFont()
{
    TFont f = PanelFont(clWhite);
    f.Bold = true;
    return f;
}

class TFormGallery : public TForm {
public:
    TFormGallery()
        : TForm({.Name = L"FormGallery", .ClassName = L"TFormGallery", .Caption = L"KRV-2400 control gallery",
                 .ClientWidth = 760, .ClientHeight = 520})
    {
        Add<TImage>({.Name = L"Image_Main", .Left = 0, .Top = 0, .Width = 760, .Height = 520,
                     .Picture = L"_Background", .Stretch = true});

        // Transport buttons with pictures.
        auto* transport = Add<TPanel>({.Name = L"Panel_Transport", .Left = 8, .Top = 8, .Width = 360, .Height = 56,
                                       .Color = Grey68, .BevelOuter = bvRaised});
        int x = 6;
        for (auto [name, picture] : {std::pair{L"BitBtnExt_Play", L"_SignalActive"}, {L"BitBtnExt_Stop", L"_Stop"},
                                     {L"BitBtnExt_Rec", L"_WavFileInactive"}, {L"BitBtnExt_Repeat", L"_RepeatActive"},
                                     {L"BitBtnExt_Settings", L"_Settings"}, {L"BitBtnExt_Signals", L"_Signals"},
                                     {L"BitBtnExt_Exit", L"_Exit"}}) {
            transport->Add<TBitBtnExt>({.Name = name, .Left = x, .Top = 6, .Width = 46, .Height = 44,
                                        .Color = MakeColor(96, 96, 96), .Glyph = picture});
            x += 50;
        }

        // Caption buttons: face colours, glyph with caption, disabled, sunk.
        auto* buttons = Add<TPanel>({.Name = L"Panel_Buttons", .Left = 8, .Top = 72, .Width = 360, .Height = 100,
                                     .Color = DarkBlue, .BevelOuter = bvLowered});
        buttons->Add<TBitBtnExt>({.Name = L"BitBtnExt_Mute", .Left = 8, .Top = 8, .Width = 70, .Height = 26,
                                  .Color = TColor{0x8080FF}, .Caption = L"MUTE"});
        buttons->Add<TBitBtnExt>({.Name = L"BitBtnExt_ATT", .Left = 84, .Top = 8, .Width = 70, .Height = 26,
                                  .Color = TColor{0x80FFFF}, .Caption = L"-20dB"});
        buttons->Add<TBitBtnExt>({.Name = L"BitBtnExt_Scope", .Left = 160, .Top = 8, .Width = 90, .Height = 26,
                                  .Color = TColor{0xC0C0C0}, .Caption = L"SCOPE", .Glyph = L"_On"});
        buttons->Add<TBitBtnExt>({.Name = L"BitBtnExt_Lock", .Left = 256, .Top = 8, .Width = 40, .Height = 26,
                                  .Color = TColor{0xC0C0C0}, .Glyph = L"_LockLRActive"});
        buttons->Add<TBitBtnExt>({.Name = L"BitBtnExt_Channel", .Left = 8, .Top = 40, .Width = 90, .Height = 26,
                                  .Color = TColor{0xC0C0C0}, .Caption = L"CHANNEL", .Layout = blGlyphRight});
        buttons->Add<TBitBtnExt>({.Name = L"BitBtnExt_Disabled", .Left = 104, .Top = 40, .Width = 90, .Height = 26,
                                  .Enabled = false, .Caption = L"Disabled", .Glyph = L"_Save"});
        auto* sunk = buttons->Add<TBitBtnExt>({.Name = L"BitBtnExt_Pressed", .Left = 200, .Top = 40, .Width = 96,
                                               .Height = 26, .Color = TColor{0x80FFFF}, .Caption = L"pressed",
                                               .PushSink = true});
        SendMessageW(sunk->Handle(), BM_SETSTATE, TRUE, 0);
        buttons->Add<TBitBtnExt>({.Name = L"BitBtnExt_Load", .Left = 8, .Top = 70, .Width = 30, .Height = 25,
                                  .Color = Grey68, .Glyph = L"_Load"});
        buttons->Add<TBitBtnExt>({.Name = L"BitBtnExt_Save", .Left = 42, .Top = 70, .Width = 30, .Height = 25,
                                  .Color = Grey68, .Glyph = L"_Save"});
        buttons->Add<TBitBtnExt>({.Name = L"BitBtnExt_Cancel", .Left = 196, .Top = 70, .Width = 65, .Height = 25,
                                  .Font = ButtonFont(), .Color = Grey68, .Caption = L"CANCEL"});
        buttons->Add<TBitBtnExt>({.Name = L"BitBtnExt_Close", .Left = 266, .Top = 70, .Width = 65, .Height = 25,
                                  .Font = ButtonFont(), .Color = Grey68, .Caption = L"CLOSE", .SelectSink = true});

        // A page control with edits, lists and a button on its pages.
        auto* pages = Add<TPageControl>({.Name = L"PageControl_Signals", .Left = 8, .Top = 180, .Width = 360,
                                         .Height = 200});
        auto* page1 = pages->AddPage({.Name = L"TabSheet1", .Caption = L"Signal 1"});
        pages->AddPage({.Name = L"TabSheet2", .Caption = L"Sweep"});
        pages->AddPage({.Name = L"TabSheet3", .Caption = L"Noise"});
        auto* panel = page1->Add<TPanel>({.Name = L"Panel1", .Left = 2, .Top = 2, .Width = 346, .Height = 166,
                                          .Font = PanelFont(LabelBlue), .Color = DarkBlue, .BevelOuter = bvLowered});
        int y = 8;
        auto row = [&](const wchar_t* caption, const wchar_t* unit) {
            panel->Add<TLabel>({.Name = std::wstring(L"Label_") + caption, .Left = 8, .Top = y + 3,
                                .Caption = caption});
            if (unit) panel->Add<TLabel>({.Name = std::wstring(L"Label_Unit_") + caption, .Left = 200, .Top = y + 3,
                                          .Caption = unit});
        };
        const TFont aqua = PanelFont(clAqua);
        row(L"Frequency", L"Hz");
        panel->Add<TEditHex>({.Name = L"EditHex_Freq_1", .Left = 110, .Top = y, .Width = 80, .Height = 20,
                              .Font = aqua, .Color = DarkBlue, .Text = L"1000", .MaxLength = 5,
                              .Alignment = taRightJustify, .NumeralOnly = true, .NumericType = Decimal});
        y += 26;
        row(L"Amplitude", L"dB");
        panel->Add<TEditHex>({.Name = L"EditHex_Amp_1", .Left = 110, .Top = y, .Width = 80, .Height = 20,
                              .Font = aqua, .Color = DarkBlue, .Text = L"6", .MaxLength = 4,
                              .Alignment = taRightJustify, .Negative = true, .NumeralOnly = true,
                              .NumericType = Decimal});
        y += 26;
        row(L"Hex", nullptr);
        panel->Add<TEditHex>({.Name = L"EditHex_Hex", .Left = 110, .Top = y, .Width = 110, .Height = 20,
                              .Font = aqua, .Color = DarkBlue, .Text = L"$1F", .FourDigit = true,
                              .NumeralOnly = true});
        y += 26;
        row(L"Waveform", nullptr);
        panel->Add<TComboBoxEx>({.Name = L"ComboBoxEx_Waveform_1", .Left = 110, .Top = y, .Width = 120, .Height = 22,
                                 .Font = aqua, .Color = DarkBlue, .Items = {L"Sine", L"Square", L"Triangle", L"Saw"},
                                 .ItemIndex = 1, .Images = L"_WaveImages"});
        y += 28;
        row(L"Output", nullptr);
        panel->Add<TComboBoxEx>({.Name = L"ComboBoxEx_Output_1", .Left = 110, .Top = y, .Width = 120, .Height = 22,
                                 .Font = aqua, .Color = DarkBlue, .Items = {L"Mute", L"L ch", L"R ch", L"L + R"},
                                 .ItemIndex = 3, .Images = L"_OutputImages"});
        panel->Add<TBitBtnExt>({.Name = L"BitBtnExt_OnPage", .Left = 246, .Top = 128, .Width = 90, .Height = 28,
                                .Font = ButtonFont(), .Color = Grey68, .Caption = L"On page",
                                .Glyph = L"_OpenDialog"});

        // Gains: track bars and progress bars in their colours.
        auto* gains = Add<TPanel>({.Name = L"Panel_Gain", .Left = 8, .Top = 388, .Width = 360, .Height = 124,
                                   .Font = PanelFont(LabelBlue), .Color = DarkBlue, .BevelOuter = bvLowered});
        TrackL = gains->Add<TTrackBar>({.Name = L"TrackBar_L", .Left = 8, .Top = 8, .Width = 34, .Height = 108,
                                        .Color = TColor{0x400000}, .Orientation = trVertical, .Max = 100,
                                        .Position = 20, .Frequency = 10});
        ProgressL = gains->Add<TProgressBar>({.Name = L"ProgressBar_L", .Left = 46, .Top = 8, .Width = 14,
                                              .Height = 108, .Orientation = pbVertical, .Position = 80,
                                              .BarColor = TColor{0xFFFF00}, .BackgroundColor = TColor{0x400000}});
        GainL = gains->Add<TLabel>({.Name = L"Label_Gain_L", .Left = 66, .Top = 50, .Caption = L"-20 dB"});
        auto* trackR = gains->Add<TTrackBar>({.Name = L"TrackBar_R", .Left = 130, .Top = 8, .Width = 34, .Height = 108,
                                              .Color = TColor{0x400000}, .Orientation = trVertical, .Max = 100,
                                              .Position = 50, .Frequency = 10});
        auto* progressR = gains->Add<TProgressBar>({.Name = L"ProgressBar_R", .Left = 168, .Top = 8, .Width = 14,
                                                    .Height = 108, .Orientation = pbVertical, .Position = 50,
                                                    .BarColor = TColor{0xFFFF00},
                                                    .BackgroundColor = TColor{0x400000}});
        auto* gainR = gains->Add<TLabel>({.Name = L"Label_Gain_R", .Left = 188, .Top = 50, .Caption = L"-50 dB"});
        gains->Add<TProgressBar>({.Name = L"ProgressBar_Record", .Left = 230, .Top = 20, .Width = 120, .Height = 16,
                                  .Position = 60, .BarColor = TColor{0xFFFF00}});
        gains->Add<TEdit>({.Name = L"Edit_Record_FileName", .Left = 230, .Top = 50, .Width = 120, .Height = 21,
                           .Text = L"20261205_190522.wav"});
        gains->Add<TButton>({.Name = L"Button_Plain", .Left = 230, .Top = 82, .Width = 120, .Height = 26,
                             .Caption = L"System button"});
        TrackL->OnChange = [this](TControl*) {
            ProgressL->SetPosition(100 - TrackL->Position());
            GainL->SetCaption(std::to_wstring(ProgressL->Position() - 100) + L" dB");
        };
        trackR->OnChange = [trackR, progressR, gainR](TControl*) {
            progressR->SetPosition(100 - trackR->Position());
            gainR->SetCaption(std::to_wstring(progressR->Position() - 100) + L" dB");
        };

        // The scope chart, filled from a worker thread through the dispatcher.
        auto* scope = Add<TPanel>({.Name = L"Panel_Scope", .Left = 376, .Top = 8, .Width = 376, .Height = 504,
                                   .Font = PanelFont(LabelBlue), .Color = DarkBlue, .BevelOuter = bvLowered});
        scope->Add<TLabel>({.Name = L"Label_Scope", .Left = 8, .Top = 6, .Caption = L"Scope (left axis fixed)"});
        ChartL = scope->Add<TChart>({.Name = L"Chart_Lch", .Left = 6, .Top = 24, .Width = 364, .Height = 230,
                                     .Font = PanelFont(LabelBlue), .Color = DarkBlue});
        scope->Add<TLabel>({.Name = L"Label_ScopeAuto", .Left = 8, .Top = 262, .Caption = L"Scope (automatic)"});
        ChartR = scope->Add<TChart>({.Name = L"Chart_Rch", .Left = 6, .Top = 280, .Width = 364, .Height = 216,
                                     .Font = PanelFont(LabelBlue), .Color = DarkBlue});
        ChartL->LeftAxis().SetMaximum(32767);
        ChartL->LeftAxis().SetMinimum(-32767);
        ChartL->BottomAxis().SetMinMax(0, 100);
        ChartR->LeftAxis().SetAutomatic(true);
        ChartR->BottomAxis().SetMinMax(0, 100);
        std::thread([this] {
            std::vector<double> left, right;
            for (int i = 0; i < 1023; ++i) {
                const double t = i * 100.0 / 1022;
                left.push_back(30000 * std::sin(t / 100 * 2 * 3.14159265 * 3));
                right.push_back(1200 * (std::fmod(t, 25) < 12.5 ? 1 : -1) + 300 * std::sin(t));
            }
            TUIDispatcher::Post([this, left, right] {
                for (std::size_t i = 0; i < left.size(); ++i) {
                    ChartL->Model().AddXY(i * 100.0 / 1022, left[i]);
                    ChartR->Model().AddXY(i * 100.0 / 1022, right[i]);
                }
                ChartL->Changed();
                ChartR->Changed();
            });
        }).detach();
    }
    TTrackBar* TrackL;
    TProgressBar* ProgressL;
    TLabel* GainL;
    TChart *ChartL, *ChartR;
};

std::wstring ReadyFileArgument()
{
    int count = 0;
    LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
    std::wstring file;
    for (int i = 1; i + 1 < count; ++i)
        if (std::wstring(args[i]) == L"--ready-file") file = args[i + 1];
    LocalFree(args);
    return file;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    Application.Initialize();
    Application.SetTitle(L"KRV-2400");
    TFormGallery* form = Application.CreateForm<TFormGallery>();
    const std::wstring ready = ReadyFileArgument();
    if (!ready.empty()) {
        form->Show();
        Application.ProcessMessagesUntil([] { return false; }, 1500);
        HANDLE file = CreateFileW(ready.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
        // Close once the file is gone (at most a minute).
        SetTimer(form->Handle(), 1, 200, [](HWND window, UINT, UINT_PTR, DWORD) {
            static int ticks = 0;
            static std::wstring name = ReadyFileArgument();
            if (GetFileAttributesW(name.c_str()) == INVALID_FILE_ATTRIBUTES || ++ticks > 300)
                PostMessageW(window, WM_CLOSE, 0, 0);
        });
    }
    Application.Run();
    return 0;
}
