// The numbers of the program's text files, one table for every reader that
// takes them (the settings file, the signal set file, the edits' texts).
#pragma once

#include <cstdint>
#include <optional>

struct TNumberSyntaxCase {
  const char* Text;
  std::optional<std::int32_t> Value;  // none: not a number
};

inline constexpr TNumberSyntaxCase kNumberSyntaxCases[] = {
    {"5", 5},        {"+5", 5},       {"-5", -5},      {"05", 5},       {"+05", 5},          {"-0", 0},
    {"+0", 0},       {"", {}},        {"+", {}},       {"-", {}},       {"+-5", {}},         {"-+5", {}},
    {"++5", {}},     {"--5", {}},     {"5+", {}},      {"5a", {}},      {"0x5", {}},         {"$5", {}},
    {"5.0", {}},     {"1e2", {}},     {"+ 5", {}},     {"2147483647", 2147483647},
    {"+2147483647", 2147483647},      {"2147483648", {}},               {"-2147483648", INT32_MIN},
    {"-2147483649", {}},              {"99999999999", {}},
};
