// Conversions between the UTF-8 strings of the portable code and the wide
// strings of the window layer.
#pragma once

#include <string>
#include <string_view>

std::wstring Utf8ToWide(std::string_view text);
std::string WideToUtf8(std::wstring_view text);
