#include "controls/EditHexModel.h"

#include <gtest/gtest.h>

namespace {

TEditHexModel DecimalBox(bool negative = false, bool fourDigit = false)
{
    TEditHexModel m;
    m.FNumeralOnly = true;
    m.FNumericType = Decimal;
    m.FNegative = negative;
    m.FFourDigit = fourDigit;
    return m;
}

TEditHexModel HexBox(TNumericalPlace places, bool fourDigit = false)
{
    TEditHexModel m;
    m.FNumeralOnly = true;
    m.FNumericType = HexDecimal;
    m.SetMaxPlaces(places);
    m.FFourDigit = fourDigit;
    return m;
}

// A character typed at the caret, as the edit inserts it before the box
// re-formats.
TEditState Type(const TEditHexModel& m, const std::wstring& text, int caret, wchar_t c)
{
    std::wstring typed = text;
    typed.insert(static_cast<std::size_t>(caret), 1, c);
    return m.Reformat({typed, caret + 1, caret + 1});
}

}  // namespace

TEST(EditHexModel, FiltersDropEverythingButDigits)
{
    EXPECT_EQ(TEditHexModel::FilterDecimal(L"1a2-3$_4 "), L"1234");
    EXPECT_EQ(TEditHexModel::FilterHex(L"$1fG_Zc9"), L"1fc9");
    // Line breaks and tabs never stay in the text.
    EXPECT_EQ(TEditHexModel::FilterDecimal(L"1\n2\r3\t4"), L"1234");
    EXPECT_EQ(TEditHexModel::FilterHex(L"a\nb"), L"ab");
}

TEST(EditHexModel, NormalizeDecimal)
{
    auto m = DecimalBox();
    struct Case {
        const wchar_t* in;
        const wchar_t* out;
    } cases[] = {
        {L"2147483647", L"2147483647"}, {L"2147483648", L"0"}, {L"12345678901", L"0"},
        {L"3000000000", L"0"},          {L"0999999999", L"999999999"}, {L"", L"0"},
        {L"-6", L"6"},                  {L"007", L"7"},  {L"1a", L"0"}, {L"--6", L"0"},
        {L"0", L"0"},
    };
    for (const auto& c : cases) EXPECT_EQ(m.Normalize(c.in), c.out) << c.in;
}

TEST(EditHexModel, NormalizeHex)
{
    auto m4 = HexBox(places4);
    EXPECT_EQ(m4.Normalize(L"$1f"), L"$001F");
    EXPECT_EQ(m4.Normalize(L"$12345"), L"$0000");
    EXPECT_EQ(m4.Normalize(L"$0000ABCD"), L"$ABCD");
    EXPECT_EQ(m4.Normalize(L"$"), L"$0000");
    EXPECT_EQ(m4.Normalize(L"$000"), L"$0000");
    EXPECT_EQ(m4.Normalize(L"$1G"), L"$0000");
    auto m2 = HexBox(places2);
    EXPECT_EQ(m2.Normalize(L"$ff"), L"$FF");
    EXPECT_EQ(m2.Normalize(L"$100"), L"$00");
}

TEST(EditHexModel, GroupingInFours)
{
    auto m = DecimalBox(false, true);
    EXPECT_EQ(m.GroupDigits(L"123456789"), L"1_2345_6789");
    EXPECT_EQ(m.GroupDigits(L"1234"), L"1234");
    EXPECT_EQ(m.GroupDigits(L"12345"), L"1_2345");
    EXPECT_EQ(m.GroupDigits(L"-$00000001"), L"-$0000_0001");
    EXPECT_EQ(TEditHexModel::UngroupDigits(L"-$0000_0001"), L"-$00000001");
    auto plain = DecimalBox();
    EXPECT_EQ(plain.GroupDigits(L"123456789"), L"123456789");
}

TEST(EditHexModel, TypingTable)
{
    auto dec = DecimalBox();
    EXPECT_EQ(Type(dec, L"12", 2, L'a').Text, L"12");
    EXPECT_EQ(Type(dec, L"7", 0, L'0').Text, L"7");
    // The caret keeps its distance from the end: 12|34 + 5 gives 125|34.
    EXPECT_EQ(Type(dec, L"1234", 2, L'5'), (TEditState{L"12534", 3, 3}));
    // Backspace over the only digit shows 0 at once.
    EXPECT_EQ(dec.Reformat({L"", 0, 0}).Text, L"0");

    auto neg = DecimalBox(true);
    EXPECT_EQ(neg.Reformat({L"6", 1, 1}), (TEditState{L"-6", 2, 2}));
    EXPECT_EQ(Type(neg, L"6", 0, L'1').Text, L"-16");
    // A box with the fixed "-" that loses its last digit is empty, not 0
    // (the amplitude's exit check then gives its lower bound); a typed 0 is 0.
    const struct {
        TEditState typed;
        TEditState shown;
    } emptied[] = {
        {{L"-", 1, 1}, {L"-", 1, 1}},  // Backspace over "-6"
        {{L"", 0, 0}, {L"-", 1, 1}},   // select all, Backspace
        {{L"-a", 2, 2}, {L"-", 1, 1}}, // a letter into the emptied box
        {{L"-0", 2, 2}, {L"-0", 2, 2}},
        {{L"-00", 3, 3}, {L"-0", 2, 2}},
    };
    for (const auto& c : emptied) EXPECT_EQ(neg.Reformat(c.typed), c.shown) << c.typed.Text;

    auto hex = HexBox(places4);
    EXPECT_EQ(hex.Reformat({L"1f", 2, 2}).Text, L"$001F");
    EXPECT_EQ(hex.Reformat({L"12345", 5, 5}).Text, L"$0000");

    auto grouped = DecimalBox(false, true);
    EXPECT_EQ(Type(grouped, L"1234", 4, L'5'), (TEditState{L"1_2345", 6, 6}));
    auto hex8 = HexBox(places8, true);
    EXPECT_EQ(hex8.Reformat({L"1", 1, 1}).Text, L"$0000_0001");

    // A signed box keeps the sign a loaded "-90" has: backspacing gives -9.
    auto sign = DecimalBox();
    sign.FKeepSign = true;
    EXPECT_EQ(sign.Reformat({L"-9", 2, 2}), (TEditState{L"-9", 2, 2}));
    EXPECT_EQ(Type(sign, L"-9", 2, L'5').Text, L"-95");
    EXPECT_EQ(sign.Reformat({L"9-", 2, 2}).Text, L"9");
}

TEST(EditHexModel, EveryWayOfEmptyingABoxWithTheFixedMinusLeavesTheMinus)
{
    auto neg = DecimalBox(true);
    const TEditState minus{L"-", 1, 1};
    // Typed: select all and Backspace, or a letter typed over everything; a
    // paste of an empty text.
    EXPECT_EQ(neg.Reformat({L"", 0, 0}), minus);
    EXPECT_EQ(Type(neg, L"", 0, L'x'), minus);
    // Without a typed character: select all and Delete, or Cut.
    EXPECT_EQ(neg.AfterUntypedChange({L"", 0, 0}), minus);
    EXPECT_EQ(neg.AfterUntypedChange({L"-", 1, 1}), minus);
    // Writing the Text property.
    EXPECT_EQ(neg.DisplayFromText(L""), L"-");
    EXPECT_EQ(neg.DisplayFromText(L"-"), L"-");
    EXPECT_EQ(neg.DisplayFromText(L"0"), L"-0");
    // A change that leaves a digit is not re-formatted until the next typed
    // character, not even one that took the "-".
    EXPECT_EQ(neg.AfterUntypedChange({L"6", 0, 0}), (TEditState{L"6", 0, 0}));
    EXPECT_EQ(neg.AfterUntypedChange({L"-012", 1, 1}), (TEditState{L"-012", 1, 1}));
    // Boxes without the fixed "-" stay empty until then.
    EXPECT_EQ(DecimalBox().AfterUntypedChange({L"", 0, 0}), (TEditState{L"", 0, 0}));
    EXPECT_EQ(DecimalBox().DisplayFromText(L""), L"0");
    auto hexNeg = HexBox(places4);
    hexNeg.FNegative = true;
    EXPECT_EQ(hexNeg.AfterUntypedChange({L"-$", 2, 2}), (TEditState{L"-$0000", 6, 6}));
}

TEST(EditHexModel, CaretAfterADeletionIsClampedIntoTheText)
{
    auto grouped = DecimalBox(false, true);
    // 1|_0000 and Backspace: "_0000" with the caret at 0 becomes "0".
    EXPECT_EQ(grouped.Reformat({L"_0000", 0, 0}), (TEditState{L"0", 0, 0}));
    auto dec = DecimalBox();
    EXPECT_EQ(dec.Reformat({L"0005", 0, 4}), (TEditState{L"5", 0, 1}));
    // A selection given past the text is taken as the end.
    EXPECT_EQ(dec.Reformat({L"12", 5, 9}), (TEditState{L"12", 2, 2}));
}

TEST(EditHexModel, TextPropertyReadAndWrite)
{
    auto neg = DecimalBox(true);
    EXPECT_EQ(neg.TextFromDisplay(L"-6"), L"-6");
    EXPECT_EQ(neg.DisplayFromText(L"-6"), L"-6");
    EXPECT_EQ(neg.DisplayFromText(L"6"), L"-6");
    auto grouped = DecimalBox(false, true);
    EXPECT_EQ(grouped.DisplayFromText(L"123456789"), L"1_2345_6789");
    EXPECT_EQ(grouped.TextFromDisplay(L"1_2345_6789"), L"123456789");
    auto hex = HexBox(places4);
    EXPECT_EQ(hex.DisplayFromText(L""), L"$0000");
    EXPECT_EQ(hex.DisplayFromText(L"1f"), L"$001F");
    EXPECT_EQ(hex.DisplayFromText(L"$1f"), L"$001F");
    TEditHexModel plain;
    EXPECT_EQ(plain.DisplayFromText(L"abc"), L"abc");
    EXPECT_EQ(plain.TextFromDisplay(L"a_b"), L"a_b");
}

TEST(EditHexModel, PropertyChangesReformat)
{
    auto m = DecimalBox();
    m.FNegative = true;
    EXPECT_EQ(m.Reformatted(L"6", true), L"-6");
    m.FNegative = false;
    EXPECT_EQ(m.Reformatted(L"-6", true), L"6");
    m.FFourDigit = true;
    EXPECT_EQ(m.Reformatted(L"123456789", false), L"1_2345_6789");
    m.FNumericType = HexDecimal;
    m.SetMaxPlaces(places4);
    EXPECT_EQ(m.Reformatted(L"31", false), L"$001F");
    // Text that is no number counts as 0.
    EXPECT_EQ(m.Reformatted(L"abc", true), L"$0000");
}

TEST(EditHexModel, ToInteger)
{
    const struct {
        const wchar_t* text;
        bool ok;
        std::int32_t value;
    } cases[] = {
        {L"-6", true, -6}, {L"$001F", true, 31}, {L"$FFFFFFFF", true, -1}, {L"-2147483648", true, INT32_MIN},
        {L"2147483648", false, 0}, {L"", false, 0}, {L"-", false, 0}, {L"1_2", false, 0},
    };
    for (const auto& c : cases) {
        std::int32_t v = 0;
        EXPECT_EQ(TEditHexModel::ToInteger(c.text, v), c.ok) << c.text;
        EXPECT_EQ(c.ok ? v : 0, c.value) << c.text;
    }
}
