// Conversions between the UTF-8 strings of the portable code and the wide
// strings of the window layer.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

std::wstring Utf8ToWide(std::string_view text);
std::string WideToUtf8(std::wstring_view text);

// The number syntax of the program's text files and edits: an optional "+"
// or "-", then one or more decimal digits and nothing else, within 32 bits.
// Nothing for any other text ("", "-", "+-5", " 5", "5a", "2147483648").
std::optional<std::int32_t> StrToInt32(std::string_view text);
