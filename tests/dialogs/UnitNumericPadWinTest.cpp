// The numeric keypad window under Wine: its layout and every key reaching
// the keypad model as the key it shows.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <utility>
#include <vector>

#include "dialogs/UnitNumericPad.h"
#include "framework/WinTestSupport.h"

namespace {

class TMainStandIn : public TForm {
 public:
  TMainStandIn() : TForm({.Name = L"FormMainStandIn", .ClassName = L"TFormMainStandIn"}) {}
};

TEST(NumericPadWin, KeysShowTheirCaptionsAndReachTheModel) {
  Application.Initialize();
  Application.CreateForm<TMainStandIn>();
  TFormNumericPad* form = Application.CreateForm<TFormNumericPad>();
  EXPECT_EQ(FormNumericPad, form);
  EXPECT_FALSE(IsWindowVisible(form->Handle()));
  form->Show();
  Pump(50);
  EXPECT_EQ(form->Caption(), L"Numeric Pad");
  RECT client{};
  GetClientRect(form->Handle(), &client);
  EXPECT_EQ(std::make_pair(client.right, client.bottom), std::make_pair(162L, 157L));

  const std::vector<std::pair<TBitBtnExt*, const wchar_t*>> keys = {
      {form->BitBtnExt_7, L"7"}, {form->BitBtnExt_8, L"8"}, {form->BitBtnExt_9, L"9"},
      {form->BitBtnExt_4, L"4"}, {form->BitBtnExt_5, L"5"}, {form->BitBtnExt_6, L"6"},
      {form->BitBtnExt_1, L"1"}, {form->BitBtnExt_2, L"2"}, {form->BitBtnExt_3, L"3"},
      {form->BitBtnExt_Minus, L"-"}, {form->BitBtnExt_Plus, L"+"}, {form->BitBtnExt_Clr, L"CLR"},
      {form->BitBtnExt_0, L"0"}, {form->BitBtnExt_Dot, L"."}, {form->BitBtnExt_Enter, L"Enter"}};
  for (const auto& [key, caption] : keys) EXPECT_EQ(key->Caption(), caption);

  TNumericPadModel& pad = form->Pad;
  pad.FSelectSignalAttribute = TSelectSignalAttributeItem::_Period;
  pad.NumericPad_Period_Max = INT_MAX;
  pad.NumericPad_Period = 5;
  auto click = [](TBitBtnExt* key) { SendMessageW(key->Handle(), BM_CLICK, 0, 0); };
  // The nine digits in the order of the grid, then -, -, + from 0.
  for (std::size_t i = 0; i < 9; ++i) click(keys[i].first);
  EXPECT_EQ(pad.TmpInteger(), 789456123);
  click(form->BitBtnExt_Clr);
  click(form->BitBtnExt_Minus);
  click(form->BitBtnExt_Minus);
  click(form->BitBtnExt_Plus);
  EXPECT_EQ(pad.TmpInteger(), -1);
  click(form->BitBtnExt_Clr);
  click(form->BitBtnExt_1);
  click(form->BitBtnExt_0);
  click(form->BitBtnExt_Enter);
  EXPECT_EQ(pad.NumericPad_Period, 10);
  click(form->BitBtnExt_3);
  click(form->BitBtnExt_Dot);
  EXPECT_EQ(pad.TmpInteger(), 10);
  EXPECT_EQ(pad.KeyData(), TKeyType::_Dot);

  Application.DestroyForms();
  Pump(20);
}

}  // namespace
