#include "framework/Text.h"

#include <gtest/gtest.h>

TEST(Text, RoundTripsAndReplacesBrokenBytes)
{
    const std::string s = "Error - caf\xC3\xA9 \xF0\x9F\x8E\xB5";
    EXPECT_EQ(WideToUtf8(Utf8ToWide(s)), s);
    EXPECT_EQ(Utf8ToWide("a\xFF" "b"), L"a\uFFFDb");
    EXPECT_EQ(Utf8ToWide("a\xC3"), L"a\uFFFD");
}
