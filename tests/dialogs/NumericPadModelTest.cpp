// The numeric keypad: key sequences on each attribute, the bounds, the full
// entry, "." and CLR, and an entry that would leave the 32-bit range.
#include <gtest/gtest.h>

#include <string>

#include "dialogs/NumericPadModel.h"

namespace {

using TSelect = TSelectSignalAttributeItem;
using TField = std::int32_t TNumericPadModel::*;

struct TAttribute {
  TSelect Item;
  TField Stored, Min, Max;
};
#define KRV_ATTRIBUTE(Name)                                                                      \
  {TSelect::_##Name, &TNumericPadModel::NumericPad_##Name, &TNumericPadModel::NumericPad_##Name##_Min, \
   &TNumericPadModel::NumericPad_##Name##_Max}
const TAttribute kAttributes[] = {KRV_ATTRIBUTE(Frequency), KRV_ATTRIBUTE(Amplitude), KRV_ATTRIBUTE(Phase),
                                  KRV_ATTRIBUTE(Offset),    KRV_ATTRIBUTE(Cycle),     KRV_ATTRIBUTE(Period)};
#undef KRV_ATTRIBUTE

// Keys as characters: digits, '+', '-', '.', 'C' (CLR), 'E' (Enter).
void Press(TNumericPadModel& pad, const std::string& keys) {
  for (char c : keys) {
    TKeyType key = c == 'E' ? TKeyType::_Enter : c == 'C' ? TKeyType::_CLR : c == '.' ? TKeyType::_Dot
                 : c == '+' ? TKeyType::_Plus : c == '-' ? TKeyType::_Minus
                            : TKeyType(int(TKeyType::_0) + (c - '0'));
    pad.KeyClick(key);
  }
}

struct TCase {
  const char* What;
  std::int32_t Min, Max, Stored;
  const char* Keys;
  std::int32_t Entry, StoredAfter;
};

TEST(NumericPad, KeySequencesOnEveryAttribute) {
  const TCase cases[] = {
      {"440 entered and stored; the entry stays", 10, 20000, 1000, "440E", 440, 440},
      {"the entry extends after Enter", 10, 20000, 1000, "440E1", 4401, 440},
      {"below the minimum: the stored value stays", 10, 20000, 440, "C5E", 440, 440},
      {"a negative entry below the minimum", 0, 20000, 440, "-E", 440, 440},
      {"2000 is full: the next digit starts again", 10, 20000, 7, "20001", 0, 7},
      {"1999 takes a fifth digit", 10, 20000, 7, "19999E", 19999, 19999},
      {"'.' abandons the entry", 10, 20000, 1000, "12.", 1000, 1000},
      {"plus and minus step the entry", 0, 20000, 0, "5++-E", 6, 6},
      {"bounds left at 0: every key leaves 0", 0, 0, 0, "5+-.C", 0, 0},
      {"bounds left at 0: Enter stores 0", 0, 0, 9, "5E", 0, 0},
      // -1 then twelve digits: the tenth would leave the 32-bit range.
      {"minus and twelve digits", -2000000000, 20000, 3, "-111111111111", 11, 3},
      {"nine digits stay within 32 bits", -2000000000, 20000, 3, "-111111111E", -888888889, -888888889},
  };
  for (const TAttribute& a : kAttributes) {
    for (const TCase& c : cases) {
      SCOPED_TRACE(std::string(c.What) + ", attribute " + std::to_string(int(a.Item)));
      TNumericPadModel pad;
      pad.FormShow();
      pad.FSelectSignalAttribute = a.Item;
      pad.*a.Min = c.Min;
      pad.*a.Max = c.Max;
      pad.*a.Stored = c.Stored;
      Press(pad, c.Keys);
      EXPECT_EQ(pad.TmpInteger(), c.Entry);
      EXPECT_EQ(pad.*a.Stored, c.StoredAfter);
      for (const TAttribute& other : kAttributes) {
        if (other.Item != a.Item) {
          EXPECT_EQ(pad.*other.Stored, 0);
        }
      }
    }
  }
}

TEST(NumericPad, EnterEndsAndShowResetsWithoutAnAttributeNothingChanges) {
  TNumericPadModel pad;
  pad.FormShow();
  Press(pad, "123");
  EXPECT_EQ(pad.KeyData(), TKeyType::_3);
  EXPECT_EQ(pad.TmpInteger(), 0);
  EXPECT_TRUE(pad.EnableNumericKey());

  pad.FSelectSignalAttribute = TSelect::_Cycle;
  pad.NumericPad_Cycle_Max = 100;
  Press(pad, "5E");
  EXPECT_FALSE(pad.EnableNumericKey());
  EXPECT_EQ(pad.NumericPad_Cycle, 5);
  pad.FormShow();
  EXPECT_EQ(pad.FSelectSignalAttribute, TSelect::_Unselected);
  EXPECT_EQ(pad.KeyData(), TKeyType::_Invalid);
  EXPECT_EQ(pad.NumericPad_Cycle, 0);
  EXPECT_EQ(pad.NumericPad_Cycle_Max, 0);
}

}  // namespace
