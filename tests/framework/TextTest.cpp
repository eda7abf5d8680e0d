#include "framework/Text.h"

#include "framework/NumberSyntaxCases.h"

#include <gtest/gtest.h>

TEST(Text, RoundTripsAndReplacesBrokenBytes)
{
    const std::string s = "Error - caf\xC3\xA9 \xF0\x9F\x8E\xB5";
    EXPECT_EQ(WideToUtf8(Utf8ToWide(s)), s);
    EXPECT_EQ(Utf8ToWide("a\xFF" "b"), L"a\uFFFDb");
    EXPECT_EQ(Utf8ToWide("a\xC3"), L"a\uFFFD");
    // Overlong forms are invalid, not another way to write "/" or U+0000.
    for (const char* overlong : {"\xC0\xAF", "\xC0\x80", "\xC1\xBF", "\xE0\x80\xAF", "\xE0\x9F\xBF",
                                 "\xF0\x80\x80\xAF", "\xF0\x8F\xBF\xBF"}) {
        const std::wstring wide = Utf8ToWide(overlong);
        EXPECT_EQ(wide.find_first_not_of(L'\uFFFD'), std::wstring::npos) << overlong;
    }
    EXPECT_EQ(Utf8ToWide("\xC2\x80\xE0\xA0\x80\xF0\x90\x80\x80"), std::wstring(L"\u0080\u0800\U00010000"));
}

TEST(Text, StrToInt32TakesAnOptionalSignAndDigitsOnly)
{
    for (const TNumberSyntaxCase& c : kNumberSyntaxCases) EXPECT_EQ(StrToInt32(c.Text), c.Value) << '"' << c.Text << '"';
}
