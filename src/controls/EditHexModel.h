// Portable rules of the numeric edit box: which characters it keeps, the
// canonical form of its number, digit grouping, and where the caret goes
// after the text has been rewritten.
//
// Display form: "-" when Negative; "$" when hexadecimal; the digits, in
// groups of four separated by "_" when FourDigit and there are five digits
// or more. Decimal digits have no leading zeros; hexadecimal digits are
// exactly `place` upper-case digits.
#pragma once

#include <cstdint>
#include <string>

enum TAlignment : std::uint8_t { taLeftJustify, taRightJustify, taCenter };
enum TNumericalPlace : std::uint8_t { places2, places4, places8 };
enum TNumericalType : std::uint8_t { Decimal, HexDecimal };

struct TEditState {
    std::wstring Text;
    int SelStart = 0;
    int SelEnd = 0;
    friend bool operator==(const TEditState&, const TEditState&) = default;
};

class TEditHexModel {
public:
    TAlignment FAlignment = taLeftJustify;
    bool FFourDigit = false;
    TNumericalPlace FMaxPlaces = places8;
    bool FNegative = false;
    bool FNumeralOnly = false;
    TNumericalType FNumericType = HexDecimal;
    // Decimal boxes whose range reaches below zero: a leading "-" that the
    // text has stays when it is rewritten.
    bool FKeepSign = false;
    int place = 8;

    static int PlacesOf(TNumericalPlace places) { return places == places2 ? 2 : places == places4 ? 4 : 8; }
    void SetMaxPlaces(TNumericalPlace value)
    {
        FMaxPlaces = value;
        place = PlacesOf(value);
    }

    // Keep only the digits of the base (every other character, control
    // characters included, is dropped).
    static std::wstring FilterDecimal(const std::wstring& text);
    static std::wstring FilterHex(const std::wstring& text);
    // Canonical form of a number (one leading "-" dropped); "0" or "$" and
    // `place` zeros for anything invalid.
    std::wstring Normalize(const std::wstring& text) const;
    std::wstring GroupDigits(const std::wstring& text) const;
    static std::wstring UngroupDigits(const std::wstring& text);

    // The text rewritten after a typed character or a paste; the caret and
    // selection keep their distance from the end of the text, clamped into
    // the new text. A decimal box without digits shows "0", one with the
    // fixed "-" shows the "-" alone (emptied, not zero).
    TEditState Reformat(const TEditState& state) const;
    // The text after a change that comes without a typed character (the
    // Delete key, Cut, Clear, Undo): left as the edit made it, except that a
    // box with the fixed "-" that has lost every digit is re-formatted at
    // once, so that it never shows less than its "-".
    TEditState AfterUntypedChange(const TEditState& state) const;

    // What the Text property reads from a displayed text.
    std::wstring TextFromDisplay(const std::wstring& display) const;
    // What the box shows when the Text property is written; an empty text
    // (or "-" alone) leaves a decimal box with the fixed "-" emptied, as
    // deleting its digits does.
    std::wstring DisplayFromText(const std::wstring& text) const;
    // What the box shows after a property change re-formats the raw text;
    // normalizeFirst for the Negative and NumeralOnly properties.
    std::wstring Reformatted(const std::wstring& raw, bool normalizeFirst) const;

    // Integer value of a text: optional "-", then decimal digits or "$" and
    // hexadecimal digits, within 32 bits; false when the text is no number.
    static bool ToInteger(const std::wstring& text, std::int32_t& value);
};
