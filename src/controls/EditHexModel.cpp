#include "controls/EditHexModel.h"

#include <algorithm>

namespace {

bool IsDecimalDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }
bool IsHexDigit(wchar_t c)
{
    return IsDecimalDigit(c) || (c >= L'A' && c <= L'F') || (c >= L'a' && c <= L'f');
}
int HexValue(wchar_t c)
{
    if (IsDecimalDigit(c)) return c - L'0';
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    return c - L'a' + 10;
}

std::wstring HexDigits(std::uint32_t value, int places)
{
    static const wchar_t digits[] = L"0123456789ABCDEF";
    std::wstring out;
    do {
        out.insert(out.begin(), digits[value & 0xF]);
        value >>= 4;
    } while (value != 0);
    if (static_cast<int>(out.size()) < places) out.insert(0, static_cast<std::size_t>(places) - out.size(), L'0');
    return out;
}

}  // namespace

std::wstring TEditHexModel::FilterDecimal(const std::wstring& text)
{
    std::wstring out;
    for (wchar_t c : text)
        if (IsDecimalDigit(c)) out += c;
    return out;
}

std::wstring TEditHexModel::FilterHex(const std::wstring& text)
{
    std::wstring out;
    for (wchar_t c : text)
        if (IsHexDigit(c)) out += c;
    return out;
}

std::wstring TEditHexModel::Normalize(const std::wstring& input) const
{
    std::wstring text = input;
    if (!text.empty() && text.front() == L'-') text.erase(0, 1);
    const std::wstring invalidHex = L"$" + std::wstring(static_cast<std::size_t>(place), L'0');
    if (text.empty()) return L"0";
    if (text.front() == L'$') {
        text.erase(0, 1);
        if (text.empty() || !std::all_of(text.begin(), text.end(), IsHexDigit)) return invalidHex;
        std::size_t first = text.find_first_not_of(L'0');
        if (first == std::wstring::npos) return invalidHex;
        text.erase(0, first);
        if (static_cast<int>(text.size()) > place) return invalidHex;
        std::uint32_t value = 0;
        for (wchar_t c : text) value = (value << 4) | static_cast<std::uint32_t>(HexValue(c));
        return L"$" + HexDigits(value, place);
    }
    if (!std::all_of(text.begin(), text.end(), IsDecimalDigit) || text.size() > 10) return L"0";
    std::int64_t value = 0;
    for (wchar_t c : text) value = value * 10 + (c - L'0');
    if (value > 2147483647) return L"0";
    return std::to_wstring(value);
}

std::wstring TEditHexModel::GroupDigits(const std::wstring& input) const
{
    std::wstring text = input;
    bool minus = false;
    bool dollar = false;
    if (!text.empty() && text.front() == L'-') {
        minus = true;
        text.erase(0, 1);
    }
    if (!text.empty() && text.front() == L'$') {
        dollar = true;
        text.erase(0, 1);
    }
    if (FFourDigit && text.size() >= 5) {
        for (int pos = static_cast<int>(text.size()) - 4; pos > 0; pos -= 4)
            text.insert(static_cast<std::size_t>(pos), 1, L'_');
    }
    if (dollar) text.insert(0, 1, L'$');
    if (minus) text.insert(0, 1, L'-');
    return text;
}

std::wstring TEditHexModel::UngroupDigits(const std::wstring& text)
{
    std::wstring out;
    for (wchar_t c : text)
        if (c != L'_') out += c;
    return out;
}

TEditState TEditHexModel::Reformat(const TEditState& state) const
{
    const int length = static_cast<int>(state.Text.size());
    const int fromEndStart = length - std::clamp(state.SelStart, 0, length);
    const int fromEndEnd = length - std::clamp(state.SelEnd, 0, length);
    std::wstring text;
    if (FNumericType == HexDecimal)
        text = Normalize(L"$" + FilterHex(state.Text));
    else if (FNegative && FilterDecimal(state.Text).empty())
        // A box with the fixed "-" that has lost its last digit stays empty:
        // its "-0" would be a value (0) that the user never typed.
        text.clear();
    else
        text = Normalize(FilterDecimal(state.Text));
    if (FNegative || (FKeepSign && FNumericType == Decimal && !state.Text.empty() && state.Text.front() == L'-'))
        text.insert(0, 1, L'-');
    text = GroupDigits(text);
    const int newLength = static_cast<int>(text.size());
    TEditState result;
    result.Text = text;
    result.SelStart = std::clamp(newLength - fromEndStart, 0, newLength);
    result.SelEnd = std::clamp(newLength - fromEndEnd, 0, newLength);
    return result;
}

TEditState TEditHexModel::AfterUntypedChange(const TEditState& state) const
{
    if (!FNumeralOnly || !FNegative) return state;
    const bool digits = !(FNumericType == HexDecimal ? FilterHex(state.Text) : FilterDecimal(state.Text)).empty();
    return digits ? state : Reformat(state);
}

std::wstring TEditHexModel::TextFromDisplay(const std::wstring& display) const
{
    return FNumeralOnly ? UngroupDigits(display) : display;
}

std::wstring TEditHexModel::DisplayFromText(const std::wstring& value) const
{
    if (!FNumeralOnly) return value;
    if (FNegative && FNumericType == Decimal && (value.empty() || value == L"-")) return L"-";
    std::wstring text = value;
    if (FNumericType == HexDecimal && (text.empty() || text.front() != L'$')) text.insert(0, 1, L'$');
    text = Normalize(text);
    if (FNegative) text.insert(0, 1, L'-');
    return GroupDigits(text);
}

std::wstring TEditHexModel::Reformatted(const std::wstring& raw, bool normalizeFirst) const
{
    std::wstring text = UngroupDigits(raw);
    if (normalizeFirst) text = Normalize(text);
    std::int32_t value = 0;
    if (!ToInteger(text, value)) value = 0;
    if (FNumericType == HexDecimal)
        text = L"$" + HexDigits(static_cast<std::uint32_t>(value), place);
    else
        text = std::to_wstring(value);
    text = Normalize(text);
    if (FNegative) text.insert(0, 1, L'-');
    return FFourDigit ? GroupDigits(text) : text;
}

bool TEditHexModel::ToInteger(const std::wstring& input, std::int32_t& value)
{
    std::wstring text = input;
    while (!text.empty() && (text.front() == L' ' || text.front() == L'\t')) text.erase(0, 1);
    while (!text.empty() && (text.back() == L' ' || text.back() == L'\t')) text.pop_back();
    bool negative = false;
    if (!text.empty() && (text.front() == L'-' || text.front() == L'+')) {
        negative = text.front() == L'-';
        text.erase(0, 1);
    }
    bool hex = false;
    if (!text.empty() && text.front() == L'$') {
        hex = true;
        text.erase(0, 1);
    }
    if (text.empty()) return false;
    std::uint64_t magnitude = 0;
    for (wchar_t c : text) {
        if (hex ? !IsHexDigit(c) : !IsDecimalDigit(c)) return false;
        magnitude = magnitude * (hex ? 16 : 10) + static_cast<std::uint64_t>(hex ? HexValue(c) : c - L'0');
        if (magnitude > 0xFFFFFFFFull) return false;
    }
    if (hex) {
        // Hexadecimal texts give the 32-bit pattern, as "$FFFFFFFF" gives -1.
        std::uint32_t bits = static_cast<std::uint32_t>(magnitude);
        value = static_cast<std::int32_t>(negative ? 0u - bits : bits);
        return true;
    }
    if (negative ? magnitude > 2147483648ull : magnitude > 2147483647ull) return false;
    value = static_cast<std::int32_t>(negative ? -static_cast<std::int64_t>(magnitude)
                                               : static_cast<std::int64_t>(magnitude));
    return true;
}
