// Numeric edit box: decimal or hexadecimal ("$") whole numbers, an optional
// fixed "-" in front (the number is then a magnitude), optional grouping of
// digits in fours with "_". With NumeralOnly it drops every character that
// cannot belong to its number and rewrites the text into canonical form
// after each typed character and after a paste, so the text is always a
// number; a box with the fixed "-" keeps it however its digits go. Enter,
// Ctrl+Enter, Esc and Tab never enter the text.
//
//   auto* freq = page->Add<TEditHex>({.Name = L"EditHex_Freq_1", .Left = 90, .Top = 8, .Width = 70,
//                                     .Height = 20, .Text = L"1000", .MaxLength = 5,
//                                     .Alignment = taRightJustify, .NumeralOnly = true,
//                                     .NumericType = Decimal});
//   freq->OnExit = [this](TControl* sender) { EditHex_Freq_1Exit(sender); };
#pragma once

#include "controls/EditHexModel.h"
#include "framework/StdCtrls.h"

struct TEditHexArgs {
    KRV_CONTROL_ARGS
    std::wstring Text{};
    int MaxLength = 0;
    TAlignment Alignment = taLeftJustify;
    bool FourDigit = false;
    TNumericalPlace MaxPlaces = places8;
    bool Negative = false;
    bool NumeralOnly = false;
    TNumericalType NumericType = HexDecimal;
    bool KeepSign = false;  // see TEditHexModel::FKeepSign
};

class TEditHex : public TEdit {
public:
    using TArgs = TEditHexArgs;
    TEditHex(TWinControl* parent, const TEditHexArgs& args);

    // The number as text: the display without "_" ("-" and "$" stay).
    std::wstring Text() const;
    // Shows a value in canonical form (raw without NumeralOnly).
    void SetText(const std::wstring& value);
    // The raw displayed text, no processing.
    std::wstring EditText() const { return Caption(); }
    void SetEditText(const std::wstring& text);

    TAlignment Alignment() const { return FModel.FAlignment; }
    void SetAlignment(TAlignment value);
    bool FourDigit() const { return FModel.FFourDigit; }
    void SetFourDigit(bool value);
    TNumericalPlace MaxPlaces() const { return FModel.FMaxPlaces; }
    void SetMaxPlaces(TNumericalPlace value);
    bool Negative() const { return FModel.FNegative; }
    void SetNegative(bool value);
    bool NumeralOnly() const { return FModel.FNumeralOnly; }
    void SetNumeralOnly(bool value);
    TNumericalType NumericType() const { return FModel.FNumericType; }
    void SetNumericType(TNumericalType value);

    const TEditHexModel& Model() const { return FModel; }

protected:
    void CreateParams(TCreateParams& params) override;
    void Loaded() override;
    LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    virtual void Reformat();

private:
    void ShowReformatted(bool normalizeFirst);
    // Shows what the model's rule makes of the text and selection.
    void Show(TEditState (TEditHexModel::*rule)(const TEditState&) const);
    TEditHexModel FModel;
};
