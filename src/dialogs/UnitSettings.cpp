#include "dialogs/UnitSettings.h"

#include <stdexcept>

#include "framework/Text.h"

TFormSettings* FormSettings = nullptr;

namespace {

// Look of the window.
constexpr TColor kPanelColor = 0x400000;
constexpr TColor kLabelColor = 0xff8000;
constexpr TColor kListColor = 0xffff00;
constexpr TColor kButtonFace = MakeColor(64, 64, 64);

constexpr int kRowTop = 10;
constexpr int kRowStep = 27;
constexpr int kListLeft = 132;
constexpr int kListWidth = 96;
constexpr int kWideListWidth = 124;  // lists of names
constexpr int kUnitListWidth = 80;   // the buffer list, whose unit follows it
constexpr int kUnitGap = 6;          // between a field and its unit
constexpr int kDriverListLeft = 8;   // the ASIO driver list: a row of its own
constexpr int kDriverListWidth = 247;

// Opening a driver may take seconds: the wait cursor shows meanwhile.
class TWaitCursorHost final : public TSettingsAsioHost {
 public:
  explicit TWaitCursorHost(TSettingsAsioHost& Host) : FHost(Host) {}
  std::vector<std::string> DriverList() const override { return FHost.DriverList(); }
  std::int32_t DriverIndex() const override { return FHost.DriverIndex(); }
  void SetDriverIndex(std::int32_t Index) override {
    const HCURSOR previous = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    FHost.SetDriverIndex(Index);
    SetCursor(previous);
  }
  std::int32_t OutputChannelCount() const override { return FHost.OutputChannelCount(); }
  void ControlPanel() override { FHost.ControlPanel(); }

 private:
  TSettingsAsioHost& FHost;
};

std::vector<std::wstring> WideItems(const std::vector<std::string>& Items) {
  std::vector<std::wstring> wide;
  for (const std::string& item : Items) wide.push_back(Utf8ToWide(item));
  return wide;
}

}  // namespace

TFormSettings::TFormSettings()
    : TForm({.Name = L"FormSettings", .ClassName = L"TFormSettings", .Caption = L"Settings", .ClientWidth = 287,
             .ClientHeight = 240, .Position = poScreenCenter, .BorderStyle = bsSingle, .SystemMenu = true,
             .MinimizeBox = true, .MaximizeBox = false, .Font = TFont{.Name = L"Tahoma"}}),
      OpenDialog_Settings({.Filter = kSettingsFileFilter, .DefaultExt = L"cfg"}),
      SaveDialog_Settings({.Filter = kSettingsFileFilter, .DefaultExt = L"cfg"}) {
  const TFont label{.Name = L"Lucida Console", .Size = 8, .Color = kLabelColor};
  const TFont list{.Name = L"Lucida Console", .Size = 8, .Color = kListColor};
  const TFont button{.Size = 8, .Color = clWhite, .Bold = true};

  Image_Main = Add<TImage>({.Name = L"Image_Main", .Left = 0, .Top = 0, .Width = 287, .Height = 240,
                            .Picture = L"_Background", .Stretch = true});
  PageControl_Global =
      Add<TPageControl>({.Name = L"PageControl_Global", .Left = 6, .Top = 6, .Width = 275, .Height = 190});
  Format = PageControl_Global->AddPage({.Name = L"Format", .Caption = L"Format"});
  Output = PageControl_Global->AddPage({.Name = L"Output", .Caption = L"Output"});
  Internal = PageControl_Global->AddPage({.Name = L"Internal", .Caption = L"Internal"});

  const auto panel = [&](TTabSheet* Page, const wchar_t* Name) {
    return Page->Add<TPanel>({.Name = Name, .Left = 2, .Top = 2, .Width = 263, .Height = 156, .Font = label,
                              .Color = kPanelColor, .BevelOuter = bvLowered});
  };
  Panel_Setting_Global = panel(Format, L"Panel_Setting_Global");
  Panel_Setting_Output = panel(Output, L"Panel_Setting_Output");
  Panel_Setting_Internal = panel(Internal, L"Panel_Setting_Internal");

  const auto caption = [&](TPanel* Panel, const wchar_t* Name, int Row, const wchar_t* Text, int Left = 8) {
    return Panel->Add<TLabel>({.Name = Name, .Left = Left, .Top = kRowTop + 4 + Row * kRowStep, .Caption = Text,
                               .Transparent = true});
  };
  // A unit stands just right of its field, on the field's row.
  const auto unit = [&](const wchar_t* Name, int Row, const wchar_t* Text, const TControl* Field) {
    return caption(static_cast<TPanel*>(Field->Parent()), Name, Row, Text, Field->Left() + Field->Width() + kUnitGap);
  };
  const auto combo = [&](TPanel* Panel, TSettingsList Which, const wchar_t* Name, int Row, int Width = kListWidth,
                         bool Visible = true, int Left = kListLeft) {
    TComboBoxEx* box = Panel->Add<TComboBoxEx>({.Name = Name, .Left = Left, .Top = kRowTop + Row * kRowStep,
                                                .Width = Width, .Height = 22, .Visible = Visible, .Font = list,
                                                .Color = kPanelColor});
    FCombos[static_cast<std::size_t>(Which)] = box;
    box->OnChange = [this, Which, box](TControl*) {
      TakeDefaultPeriod();
      Model().Pick(Which, box->ItemIndex());
    };
    return box;
  };

  // Format
  Label_SamplingRate = caption(Panel_Setting_Global, L"Label_SamplingRate", 0, L"Sampling Rate");
  Label_Quantization = caption(Panel_Setting_Global, L"Label_Quantization", 1, L"Quantization");
  Label_Roundings = caption(Panel_Setting_Global, L"Label_Roundings", 2, L"Rounding");
  Label_Dither = caption(Panel_Setting_Global, L"Label_Dither", 3, L"Dither");
  Label_NoiseShaping = caption(Panel_Setting_Global, L"Label_NoiseShaping", 4, L"Noise Shaping");
  ComboBoxEx_SamplingRate = combo(Panel_Setting_Global, TSettingsList::_SamplingRate, L"ComboBoxEx_SamplingRate", 0);
  ComboBoxEx_Quantization = combo(Panel_Setting_Global, TSettingsList::_Quantization, L"ComboBoxEx_Quantization", 1);
  Label_SamplingRate_Unit = unit(L"Label_SamplingRate_Unit", 0, L"Hz", ComboBoxEx_SamplingRate);
  Label_Quantization_Unit = unit(L"Label_Quantization_Unit", 1, L"bit", ComboBoxEx_Quantization);
  ComboBoxEx_Rounding = combo(Panel_Setting_Global, TSettingsList::_Rounding, L"ComboBoxEx_Rounding", 2);
  ComboBoxEx_Dither = combo(Panel_Setting_Global, TSettingsList::_Dither, L"ComboBoxEx_Dither", 3);
  ComboBoxEx_NoiseShaping = combo(Panel_Setting_Global, TSettingsList::_NoiseShaping, L"ComboBoxEx_NoiseShaping", 4);

  // Output
  Label_Device = caption(Panel_Setting_Output, L"Label_Device", 0, L"Output Device");
  Label_AsioDevice = caption(Panel_Setting_Output, L"Label_AsioDevice", 1, L"ASIO Device");
  Label_AsioChannel = caption(Panel_Setting_Output, L"Label_AsioChannel", 3, L"L/R ASIO Channel");
  ComboBoxEx_Device = combo(Panel_Setting_Output, TSettingsList::_Device, L"ComboBoxEx_Device", 0, kWideListWidth);
  // Driver names may be long: their list takes the whole row below its label.
  ComboBoxEx_AsioDevice = combo(Panel_Setting_Output, TSettingsList::_AsioDevice, L"ComboBoxEx_AsioDevice", 2,
                                kDriverListWidth, false, kDriverListLeft);
  ComboBoxEx_AsioChannel =
      combo(Panel_Setting_Output, TSettingsList::_AsioChannel, L"ComboBoxEx_AsioChannel", 3, kListWidth, false);
  BitBtnExt_AsioControl = Panel_Setting_Output->Add<TBitBtnExt>(
      {.Name = L"BitBtnExt_AsioControl", .Left = kListLeft, .Top = kRowTop + 4 * kRowStep, .Width = 60,
       .Height = 24, .Visible = false, .Font = button, .Color = kButtonFace, .Caption = L"ASIO"});
  Label_AsioDevice->SetVisible(false);
  Label_AsioChannel->SetVisible(false);

  // Internal
  Label_Buffer = caption(Panel_Setting_Internal, L"Label_Buffer", 0, L"Buffer Size");
  Label_DeaultPeriod = caption(Panel_Setting_Internal, L"Label_DeaultPeriod", 1, L"Default Period");
  Label_PropertySheet = caption(Panel_Setting_Internal, L"Label_PropertySheet", 2, L"Property Sheet");
  Label_WarbleDeviation = caption(Panel_Setting_Internal, L"Label_WarbleDeviation", 3, L"Warble Deviation");
  Label_FFT = caption(Panel_Setting_Internal, L"Label_FFT", 4, L"FFT - IFFT");
  ComboBoxEx_Buffer = combo(Panel_Setting_Internal, TSettingsList::_Buffer, L"ComboBoxEx_Buffer", 0, kUnitListWidth);
  EditHex_DefaultPeriod = Panel_Setting_Internal->Add<TEditHex>(
      {.Name = L"EditHex_DefaultPeriod", .Left = kListLeft, .Top = kRowTop + kRowStep, .Width = 40, .Height = 21,
       .Font = list, .Color = kPanelColor, .Text = L"10", .MaxLength = 2, .Alignment = taRightJustify,
       .NumeralOnly = true, .NumericType = Decimal});
  Label_Buffer_Unit = unit(L"Label_Buffer_Unit", 0, L"msec", ComboBoxEx_Buffer);
  Label_DefaultPeriod_Unit = unit(L"Label_DefaultPeriod_Unit", 1, L"sec", EditHex_DefaultPeriod);
  ComboBoxEx_PropertySheet =
      combo(Panel_Setting_Internal, TSettingsList::_PropertySheet, L"ComboBoxEx_PropertySheet", 2, kWideListWidth);
  ComboBoxEx_WableDeviation =
      combo(Panel_Setting_Internal, TSettingsList::_WableDeviation, L"ComboBoxEx_WableDeviation", 3, kWideListWidth);
  ComboBoxEx_FFT = combo(Panel_Setting_Internal, TSettingsList::_FFT, L"ComboBoxEx_FFT", 4);

  // Buttons
  BitBtnExt_Load = Add<TBitBtnExt>({.Name = L"BitBtnExt_Load", .Left = 8, .Top = 204, .Width = 32, .Height = 28,
                                    .Color = kButtonFace, .Glyph = L"_Load"});
  BitBtnExt_Save = Add<TBitBtnExt>({.Name = L"BitBtnExt_Save", .Left = 44, .Top = 204, .Width = 32, .Height = 28,
                                    .Color = kButtonFace, .Glyph = L"_Save"});
  BitBtnExt_Cancel = Add<TBitBtnExt>({.Name = L"BitBtnExt_Cancel", .Left = 127, .Top = 204, .Width = 74,
                                      .Height = 28, .Font = button, .Color = kButtonFace, .Caption = L"CANCEL",
                                      .Cancel = true});
  BitBtnExt_Close = Add<TBitBtnExt>({.Name = L"BitBtnExt_Close", .Left = 207, .Top = 204, .Width = 74,
                                     .Height = 28, .Font = button, .Color = kButtonFace, .Caption = L"CLOSE"});

  OnShow = [this](TControl* sender) { FormShow(sender); };
  OnClose = [this](TControl* sender, TCloseAction& action) { FormClose(sender, action); };
  BitBtnExt_Close->OnClick = [this](TControl* sender) { BitBtnExt_CloseClick(sender); };
  BitBtnExt_Cancel->OnClick = [this](TControl* sender) { BitBtnExt_CancelClick(sender); };
  BitBtnExt_Load->OnClick = [this](TControl* sender) { BitBtnExt_LoadClick(sender); };
  BitBtnExt_Save->OnClick = [this](TControl* sender) { BitBtnExt_SaveClick(sender); };
  BitBtnExt_AsioControl->OnClick = [this](TControl* sender) { BitBtnExt_AsioControlClick(sender); };
  EditHex_DefaultPeriod->OnExit = [this](TControl* sender) { EditHex_DefaultPeriodExit(sender); };
  FormSettings = this;
}

TFormSettings::~TFormSettings() {
  if (FormSettings == this) FormSettings = nullptr;
}

void TFormSettings::Connect(TSettingsOwner& Owner, TSettingsAsioHost& AsioHost) {
  FWaitingHost = std::make_unique<TWaitCursorHost>(AsioHost);
  FModel = std::make_unique<TSettingsModel>(Owner, *FWaitingHost);
  FModel->SetView(this);
  ShowSettings();
}

TSettingsModel& TFormSettings::Model() const {
  if (!FModel) throw std::logic_error("the settings window has no main window");
  return *FModel;
}

void TFormSettings::ShowSettings() {
  const TSettingsModel& model = Model();
  for (std::size_t i = 0; i < kSettingsListCount; ++i) {
    TComboBoxEx* box = FCombos[i];
    const TSettingsListState& state = model.Lists[i];
    const std::vector<std::wstring> items = WideItems(state.Items);
    bool same = box->ItemCount() == static_cast<int>(items.size());
    for (int k = 0; same && k < box->ItemCount(); ++k) same = box->Item(k) == items[static_cast<std::size_t>(k)];
    if (!same) box->SetItems(items);
    if (box->ItemIndex() != state.ItemIndex) box->SetItemIndex(state.ItemIndex);
  }
  for (TControl* control : std::initializer_list<TControl*>{Label_AsioDevice, Label_AsioChannel, ComboBoxEx_AsioDevice,
                                                            ComboBoxEx_AsioChannel, BitBtnExt_AsioControl})
    control->SetVisible(model.AsioVisible);
  ComboBoxEx_Device->SetEnabled(model.DeviceEnabled);
  if (EditHex_DefaultPeriod->EditText() != Utf8ToWide(model.DefaultPeriodText))
    EditHex_DefaultPeriod->SetText(Utf8ToWide(model.DefaultPeriodText));
}

void TFormSettings::TakeDefaultPeriod() {
  // What was typed into the edit reaches the working copy before anything
  // else happens, checked as leaving the edit would.
  if (WideToUtf8(EditHex_DefaultPeriod->EditText()) != Model().DefaultPeriodText)
    EditHex_DefaultPeriodExit(EditHex_DefaultPeriod);
}

void TFormSettings::FormShow(TControl*) { Model().FormShow(); }

void TFormSettings::FormClose(TControl*, TCloseAction&) {
  // The close box (or the system menu) acts as CANCEL.
  if (!FButtonCloses) Model().BitBtnExt_CancelClick();
}

void TFormSettings::BitBtnExt_CloseClick(TControl*) {
  TakeDefaultPeriod();
  Model().BitBtnExt_CloseClick();
  FButtonCloses = true;
  Close();
  FButtonCloses = false;
}

void TFormSettings::BitBtnExt_CancelClick(TControl*) {
  Model().BitBtnExt_CancelClick();
  FButtonCloses = true;
  Close();
  FButtonCloses = false;
}

void TFormSettings::BitBtnExt_LoadClick(TControl*) {
  TakeDefaultPeriod();
  Model().xSettingsFileName = kSettingsFilePreset;
  OpenDialog_Settings.FileName = Utf8ToWide(kSettingsFilePreset);
  if (!OpenDialog_Settings.Execute(this)) return;
  Model().LoadSettingsFile(std::filesystem::path(OpenDialog_Settings.FileName));
}

void TFormSettings::BitBtnExt_SaveClick(TControl*) {
  TakeDefaultPeriod();
  SaveDialog_Settings.FileName = Utf8ToWide(Model().BeginSave(Clock()));
  if (!SaveDialog_Settings.Execute(this)) return;
  Model().SaveSettingsFile(std::filesystem::path(SaveDialog_Settings.FileName));
}

void TFormSettings::BitBtnExt_AsioControlClick(TControl*) { Model().BitBtnExt_AsioControlClick(); }

void TFormSettings::EditHex_DefaultPeriodExit(TControl*) {
  Model().EditHex_DefaultPeriodExit(WideToUtf8(EditHex_DefaultPeriod->EditText()));
}
