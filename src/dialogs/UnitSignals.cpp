#include "dialogs/UnitSignals.h"

#include <stdexcept>

#include "dialogs/SignalsFile.h"
#include "framework/MemIniFile.h"
#include "framework/Messages.h"
#include "framework/Text.h"
#include "synthesis/UnitFunction.h"

TFormSignals* FormSignals = nullptr;

namespace {

// Look of the window (0x00BBGGRR).
constexpr TColor kPanelColor = 0x400000;
constexpr TColor kLabelColor = 0xc08000;
constexpr TColor kValueColor = 0xffff00;
constexpr TColor kButtonFace = 0x444444;
const wchar_t kFontName[] = L"Lucida Console";

constexpr int kRowTop = 10, kRowHeight = 26, kControlLeft = 124, kEditWidth = 90, kUnitLeft = 222;

const wchar_t* ListImages(TSignalField Field) {
  if (Field == TSignalField::_OutputChannel) return L"_OutputImages";
  if (Field == TSignalField::_Waveform) return L"_WaveImages";
  return L"";
}

}  // namespace

TFormSignals::TFormSignals()
    : TForm({.Name = L"FormSignals", .ClassName = L"TFormSignals", .Caption = L"Signals", .Left = 0, .Top = 0,
             .ClientWidth = 287, .ClientHeight = 314, .Position = poDesigned, .BorderStyle = bsSingle,
             .SystemMenu = true, .MinimizeBox = true, .MaximizeBox = false}),
      OpenDialog_Signals({.Filter = Utf8ToWide(kSignalsFileFilter), .DefaultExt = L"sig"}),
      SaveDialog_Signals({.Filter = Utf8ToWide(kSignalsFileFilter), .DefaultExt = L"sig"}) {
  const TFont button{.Name = kFontName, .Size = 8, .Color = clWhite};
  Image_Main = Add<TImage>({.Name = L"Image_Main", .Left = 0, .Top = 0, .Width = 287, .Height = 314,
                            .Picture = L"_Background", .Stretch = true});
  PageControl_Signals = Add<TPageControl>(
      {.Name = L"PageControl_Signals", .Left = 1, .Top = 1, .Width = 285, .Height = 276, .TabOrder = 0});
  TTabSheet** sheets[] = {&TabSheet1, &TabSheet2, &TabSheet3, &TabSheet4, &TabSheet5, &TabSheet6};
  TPanel** panels[] = {&Panel1, &Panel2, &Panel3, &Panel4, &Panel_Extra_Sweep, &Panel_Extra_Noise};
  const wchar_t* captions[] = {L"Signal 1", L"Signal 2", L"Signal 3", L"Signal 4", L"Sweep", L"Noise"};
  const wchar_t* panelNames[] = {L"Panel1", L"Panel2", L"Panel3", L"Panel4", L"Panel_Extra_Sweep",
                                 L"Panel_Extra_Noise"};
  for (std::int32_t r = 0; r < kSignalRecordCount; ++r) {
    *sheets[r] = PageControl_Signals->AddPage({.Name = L"TabSheet" + std::to_wstring(r + 1), .Caption = captions[r]});
    *panels[r] = (*sheets[r])->Add<TPanel>({.Name = panelNames[r], .Left = 0, .Top = 0, .Width = 276, .Height = 248,
                                            .Color = kPanelColor, .BevelOuter = bvLowered});
    CreatePage(r, *panels[r]);
  }
  BitBtnExt_Close = Add<TBitBtnExt>({.Name = L"BitBtnExt_Close", .Left = 218, .Top = 284, .Width = 65,
                                     .Height = 25, .TabOrder = 1, .Font = button, .Color = kButtonFace,
                                     .Caption = L"CLOSE"});
  BitBtnExt_Cancel = Add<TBitBtnExt>({.Name = L"BitBtnExt_Cancel", .Left = 149, .Top = 284, .Width = 65,
                                      .Height = 25, .TabOrder = 2, .Font = button, .Color = kButtonFace,
                                      .Caption = L"CANCEL"});
  BitBtnExt_Load = Add<TBitBtnExt>({.Name = L"BitBtnExt_Load", .Left = 4, .Top = 284, .Width = 30, .Height = 25,
                                    .TabOrder = 3, .Color = kButtonFace, .Glyph = L"_Load"});
  BitBtnExt_Save = Add<TBitBtnExt>({.Name = L"BitBtnExt_Save", .Left = 38, .Top = 284, .Width = 30, .Height = 25,
                                    .TabOrder = 4, .Color = kButtonFace, .Glyph = L"_Save"});

  SignalAttributeArray.resize(kSignalRecordCount);
  SignalAttributeStringArray.resize(kSignalRecordCount);
  OnShow = [this](TControl* sender) { FormShow(sender); };
  OnClose = [this](TControl* sender, TCloseAction& action) { FormClose(sender, action); };
  BitBtnExt_Close->OnClick = [this](TControl* sender) { BitBtnExt_CloseClick(sender); };
  BitBtnExt_Cancel->OnClick = [this](TControl* sender) { BitBtnExt_CancelClick(sender); };
  BitBtnExt_Load->OnClick = [this](TControl* sender) { BitBtnExt_LoadClick(sender); };
  BitBtnExt_Save->OnClick = [this](TControl* sender) { BitBtnExt_SaveClick(sender); };
  FormSignals = this;
}

TFormSignals::~TFormSignals() {
  if (FormSignals == this) FormSignals = nullptr;
}

void TFormSignals::CreatePage(std::int32_t Record, TPanel* Panel) {
  const TFont label{.Name = kFontName, .Size = 8, .Color = kLabelColor};
  const TFont value{.Name = kFontName, .Size = 8, .Color = kValueColor};
  int top = kRowTop;
  for (const TSignalRow& row : SignalPageRows(Record)) {
    const std::string& caption = row.Edit ? row.Edit->Label : row.List->Label;
    const std::string& name = row.Edit ? row.Edit->Name : row.List->Name;
    Panel->Add<TLabel>({.Name = L"Label_" + Utf8ToWide(name), .Left = 8, .Top = top + 4, .Font = label,
                        .Caption = Utf8ToWide(caption), .Transparent = true});
    if (row.Edit) {
      const TSignalEditDef& e = *row.Edit;
      TEditHex* edit = Panel->Add<TEditHex>(
          {.Name = Utf8ToWide(e.Name), .Left = kControlLeft, .Top = top, .Width = kEditWidth, .Height = 20,
           .TabOrder = e.TabOrder, .Font = value, .Color = kPanelColor, .MaxLength = e.MaxLength,
           .Alignment = taRightJustify, .Negative = e.Negative, .NumeralOnly = true, .NumericType = Decimal,
           .KeepSign = e.Family == TRangeFamily::_Phase || e.Family == TRangeFamily::_Offset});
      edit->OnExit = [this](TControl* sender) { EditHexExit(sender); };
      EditHex[e.Name] = edit;
    } else {
      const TSignalListDef& l = *row.List;
      std::vector<std::wstring> items;
      for (const std::string& item : ListItems(l.Field)) items.push_back(Utf8ToWide(item));
      // A list with a unit is as narrow as the edits, its unit where theirs are.
      ComboBoxEx[l.Name] = Panel->Add<TComboBoxEx>(
          {.Name = Utf8ToWide(l.Name), .Left = kControlLeft, .Top = top, .Width = l.Unit.empty() ? 110 : kEditWidth,
           .Height = 22, .TabOrder = l.TabOrder, .Font = value, .Color = kPanelColor, .Items = items,
           .ItemIndex = -1, .Images = ListImages(l.Field)});
    }
    const std::string& unit = row.Edit ? row.Edit->Unit : row.List->Unit;
    if (!unit.empty())
      Panel->Add<TLabel>({.Name = L"Label_Unit_" + Utf8ToWide(name), .Left = kUnitLeft, .Top = top + 4,
                          .Font = label, .Caption = Utf8ToWide(unit), .Transparent = true});
    top += kRowHeight;
  }
}

TSignalsOwner& TFormSignals::Owner() const {
  if (!SignalsOwner) throw std::logic_error("the signal editor has no main window");
  return *SignalsOwner;
}

void TFormSignals::SetWorkingCopy(const TSignalAttributeArray& Records) {
  SignalAttributeArray = Records;
  SignalAttributeStringArray.clear();
  for (const TSignalAttribute& r : Records)
    SignalAttributeStringArray.push_back(TExFunctionLib::StringSignalAttribute(r));
}

void TFormSignals::FormShow(TControl*) {
  SetWorkingCopy(Owner().SignalAttributeArray());
  SetControlsFromAttributes();
}

void TFormSignals::FormClose(TControl*, TCloseAction&) { Owner().SignalsWindowClosed(); }

void TFormSignals::SetControlsFromAttributes() {
  TSignalsControls controls;
  ::SetControlsFromAttributes(SignalAttributeArray, controls);
  for (const auto& [name, text] : controls.Edits) EditHex.at(name)->SetEditText(Utf8ToWide(text));
  for (const auto& [name, index] : controls.Lists) ComboBoxEx.at(name)->SetItemIndex(index);
}

void TFormSignals::GetAttributesFromControls() {
  TSignalsControls controls;
  for (const auto& [name, edit] : EditHex) controls.Edits[name] = WideToUtf8(edit->EditText());
  for (const auto& [name, list] : ComboBoxEx) controls.Lists[name] = list->ItemIndex();
  ::GetAttributesFromControls(controls, SignalAttributeArray);
  SetWorkingCopy(SignalAttributeArray);
}

void TFormSignals::BitBtnExt_CloseClick(TControl*) {
  GetAttributesFromControls();
  // The threads synthesise from copies of their own: nothing changes under them.
  Owner().SetSignalAttributeArray(SignalAttributeArray);
  Close();
}

void TFormSignals::BitBtnExt_CancelClick(TControl*) { Close(); }

void TFormSignals::EditHexExit(TControl* Sender) {
  for (const TSignalEditDef& e : SignalEdits()) {
    TEditHex* edit = EditHex.at(e.Name);
    if (edit != Sender) continue;
    const TPCMFormat format = Owner().PCMFormat();
    const TRangeCheck check =
        CheckSignalEdit(e.Family, WideToUtf8(edit->EditText()), format._SamplingRate, format._Quantization);
    if (Utf8ToWide(check.Text) != edit->EditText()) edit->SetEditText(Utf8ToWide(check.Text));
    for (const std::string& message : check.Messages) ShowMessage(Utf8ToWide(message));
    return;
  }
}

void TFormSignals::BitBtnExt_LoadClick(TControl*) {
  xSignalsFileName = L"Signals.sig";
  OpenDialog_Signals.FileName = xSignalsFileName.wstring();
  if (!OpenDialog_Signals.Execute(this)) return;
  xSignalsFileName = OpenDialog_Signals.FileName;
  LoadSignalsFile(xSignalsFileName);
}

void TFormSignals::BitBtnExt_SaveClick(TControl*) {
  GetAttributesFromControls();
  xSignalsFileName = Utf8ToWide(FileNameStamp(Clock()) + ".sig");
  SaveDialog_Signals.FileName = xSignalsFileName.wstring();
  if (!SaveDialog_Signals.Execute(this)) return;
  xSignalsFileName = SaveDialog_Signals.FileName;
  SaveSignalsFile(xSignalsFileName);
}

void TFormSignals::SaveSignalsFile(const std::filesystem::path& FileName) {
  try {
    const TPCMFormat format = Owner().PCMFormat();
    ::SaveSignalsFile(FileName, SignalAttributeArray, format._SamplingRate, format._Quantization);
  } catch (const EIniFileError& e) {
    ShowMessage(Utf8ToWide(e.what()));
  }
}

void TFormSignals::LoadSignalsFile(const std::filesystem::path& FileName) {
  const TPCMFormat format = Owner().PCMFormat();
  const auto records = ::LoadSignalsFile(FileName, format._SamplingRate, format._Quantization);
  if (!records || records->size() != SignalAttributeArray.size()) {
    ShowMessage(Utf8ToWide(kMsgIllegalSettingFile));
    return;
  }
  SetWorkingCopy(*records);
  SetControlsFromAttributes();
}
