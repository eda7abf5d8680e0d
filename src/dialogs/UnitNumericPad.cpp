#include "dialogs/UnitNumericPad.h"

TFormNumericPad* FormNumericPad = nullptr;

namespace {

constexpr TColor kPanelColor = 0x400000;
constexpr TColor kKeyFace = MakeColor(64, 64, 64);
// Keys 36 x 34 with 2 pixels between them, the grid centred on the panel.
constexpr int kPanelWidth = 158, kPanelHeight = 153;
constexpr int kKeyWidth = 36, kKeyHeight = 34, kKeyGap = 2;
constexpr int kMarginX = (kPanelWidth - 4 * kKeyWidth - 3 * kKeyGap) / 2;
constexpr int kMarginY = (kPanelHeight - 4 * kKeyHeight - 3 * kKeyGap) / 2;

}  // namespace

TFormNumericPad::TFormNumericPad()
    : TForm({.Name = L"FormNumericPad", .ClassName = L"TFormNumericPad", .Caption = L"Numeric Pad",
             .ClientWidth = 162, .ClientHeight = 157, .Position = poScreenCenter, .BorderStyle = bsSingle,
             .SystemMenu = true, .MinimizeBox = false, .MaximizeBox = false}) {
  const TFont font{.Size = 9, .Color = clWhite, .Bold = true};
  Image_NumericPad = Add<TImage>({.Name = L"Image_NumericPad", .Left = 0, .Top = 0, .Width = 162, .Height = 157,
                                  .Picture = L"_Background", .Stretch = true});
  Panel_NumericPad = Add<TPanel>({.Name = L"Panel_NumericPad", .Left = 2, .Top = 2, .Width = kPanelWidth,
                                  .Height = kPanelHeight, .Font = font, .Color = kPanelColor,
                                  .BevelOuter = bvLowered});
  // Four rows of keys; Enter takes two cells.
  auto key = [this, &font](const wchar_t* name, const wchar_t* caption, int row, int column, TKeyType type,
                           int cells = 1) {
    TBitBtnExt* button = Panel_NumericPad->Add<TBitBtnExt>(
        {.Name = name, .Left = kMarginX + column * (kKeyWidth + kKeyGap),
         .Top = kMarginY + row * (kKeyHeight + kKeyGap), .Width = kKeyWidth + (cells - 1) * (kKeyWidth + kKeyGap),
         .Height = kKeyHeight, .Font = font, .Color = kKeyFace, .Caption = caption});
    button->OnClick = [this, type](TControl*) { Pad.KeyClick(type); };
    return button;
  };
  BitBtnExt_7 = key(L"BitBtnExt_7", L"7", 0, 0, TKeyType::_7);
  BitBtnExt_8 = key(L"BitBtnExt_8", L"8", 0, 1, TKeyType::_8);
  BitBtnExt_9 = key(L"BitBtnExt_9", L"9", 0, 2, TKeyType::_9);
  BitBtnExt_Minus = key(L"BitBtnExt_Minus", L"-", 0, 3, TKeyType::_Minus);
  BitBtnExt_4 = key(L"BitBtnExt_4", L"4", 1, 0, TKeyType::_4);
  BitBtnExt_5 = key(L"BitBtnExt_5", L"5", 1, 1, TKeyType::_5);
  BitBtnExt_6 = key(L"BitBtnExt_6", L"6", 1, 2, TKeyType::_6);
  BitBtnExt_Plus = key(L"BitBtnExt_Plus", L"+", 1, 3, TKeyType::_Plus);
  BitBtnExt_1 = key(L"BitBtnExt_1", L"1", 2, 0, TKeyType::_1);
  BitBtnExt_2 = key(L"BitBtnExt_2", L"2", 2, 1, TKeyType::_2);
  BitBtnExt_3 = key(L"BitBtnExt_3", L"3", 2, 2, TKeyType::_3);
  BitBtnExt_Clr = key(L"BitBtnExt_Clr", L"CLR", 2, 3, TKeyType::_CLR);
  BitBtnExt_0 = key(L"BitBtnExt_0", L"0", 3, 0, TKeyType::_0);
  BitBtnExt_Dot = key(L"BitBtnExt_Dot", L".", 3, 1, TKeyType::_Dot);
  BitBtnExt_Enter = key(L"BitBtnExt_Enter", L"Enter", 3, 2, TKeyType::_Enter, 2);

  OnShow = [this](TControl* sender) { FormShow(sender); };
  FormNumericPad = this;
}

TFormNumericPad::~TFormNumericPad() {
  if (FormNumericPad == this) FormNumericPad = nullptr;
}
