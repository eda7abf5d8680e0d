// What the numeric keypad does with its keys: one integer attribute of a
// signal (frequency, amplitude, phase, offset, cycle or period) is entered
// digit by digit and stored on Enter when it lies within that attribute's
// bounds. The window (UnitNumericPad) is a thin view over this model.
#pragma once

#include <cstdint>

#include "synthesis/UnitType.h"

// The outcome of one key: Done when the entry ended (Enter, or "." and other
// keys that take the stored value back); Value is the new entry, and on Enter
// the new stored value.
struct TNumericKeyResult {
  bool Done = false;
  std::int32_t Value = 0;
  bool operator==(const TNumericKeyResult&) const = default;
};

class TNumericPadModel {
 public:
  // Everything back to its state when the window shows: no key, no
  // attribute, entry 0, every stored value and bound 0.
  void FormShow();
  // A key clicked: remembered, then dispatched to the selected attribute.
  void KeyClick(TKeyType Key);

  // One key applied to an entry. The arithmetic runs in 64 bits: an entry
  // that would leave the 32-bit range gives no result (not done, 0), so the
  // entry starts again from 0.
  TNumericKeyResult InterpretKey(std::int32_t Min, std::int32_t Max, std::int32_t Entry, std::int32_t Stored);

  bool EnableNumericKey() const { return FEnableNumericKey; }
  TKeyType KeyData() const { return FKeyData; }
  std::int32_t TmpInteger() const { return FTmpInteger; }

  TSelectSignalAttributeItem FSelectSignalAttribute = TSelectSignalAttributeItem::_Unselected;
  std::int32_t NumericPad_Frequency = 0, NumericPad_Frequency_Min = 0, NumericPad_Frequency_Max = 0;
  std::int32_t NumericPad_Amplitude = 0, NumericPad_Amplitude_Min = 0, NumericPad_Amplitude_Max = 0;
  std::int32_t NumericPad_Phase = 0, NumericPad_Phase_Min = 0, NumericPad_Phase_Max = 0;
  std::int32_t NumericPad_Offset = 0, NumericPad_Offset_Min = 0, NumericPad_Offset_Max = 0;
  std::int32_t NumericPad_Cycle = 0, NumericPad_Cycle_Min = 0, NumericPad_Cycle_Max = 0;
  std::int32_t NumericPad_Period = 0, NumericPad_Period_Min = 0, NumericPad_Period_Max = 0;

 private:
  void DispatchKey();
  void EnterFrequency() { EnterValue(NumericPad_Frequency_Min, NumericPad_Frequency_Max, NumericPad_Frequency); }
  void EnterAmplitude() { EnterValue(NumericPad_Amplitude_Min, NumericPad_Amplitude_Max, NumericPad_Amplitude); }
  void EnterPhase() { EnterValue(NumericPad_Phase_Min, NumericPad_Phase_Max, NumericPad_Phase); }
  void EnterOffset() { EnterValue(NumericPad_Offset_Min, NumericPad_Offset_Max, NumericPad_Offset); }
  void EnterCycle() { EnterValue(NumericPad_Cycle_Min, NumericPad_Cycle_Max, NumericPad_Cycle); }
  void EnterPeriod() { EnterValue(NumericPad_Period_Min, NumericPad_Period_Max, NumericPad_Period); }
  void EnterValue(std::int32_t Min, std::int32_t Max, std::int32_t& Stored);

  bool FEnableNumericKey = true;
  bool FInputDecimal = false;  // reset on show, not used otherwise
  TKeyType FKeyData = TKeyType::_Invalid;
  long double FTmpExtended = 0;  // reset on show, not used otherwise
  std::int32_t FTmpInteger = 0;
};
