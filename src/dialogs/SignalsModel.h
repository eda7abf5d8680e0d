// The signal editor without its window: which control edits which field of
// which record, the lists and their mapping to the enumerations (the output
// and warble lists run opposite to their enumerations), the reading and
// writing of the six records from and to the controls' values, and the range
// checks that run when the focus leaves an edit.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "synthesis/UnitType.h"

// The field a control edits.
enum class TSignalField : std::uint8_t {
  _Frequency, _Amplitude, _Phase, _Offset, _CycleOn, _CycleOff, _SweepPeriod, _SweepStart, _SweepStop,
  _OutputChannel, _Waveform, _WarbleCycle, _SweepType, _NoiseType, _NoisePhase
};

// The eight families of range checks.
enum class TRangeFamily : std::uint8_t {
  _Amplitude, _Frequency, _SweepFrequency, _Phase, _Offset, _CycleOn, _CycleOff, _SweepPeriod
};

struct TSignalEditDef {
  std::string Name;  // component name, "EditHex_Freq_1"
  std::int32_t Record;
  TSignalField Field;
  TRangeFamily Family;
  int MaxLength;
  bool Negative;  // fixed "-" before the digits: the amplitudes
  int TabOrder;
  std::string Label, Unit;
};

struct TSignalListDef {
  std::string Name;  // component name, "ComboBoxEx_Output_1"
  std::int32_t Record;
  TSignalField Field;
  int TabOrder;
  std::string Label, Unit;
};

// A row of a page: an edit or a list.
struct TSignalRow {
  const TSignalEditDef* Edit = nullptr;
  const TSignalListDef* List = nullptr;
};

// The 29 edits and 18 lists of the six pages; record 0 to 3 the tone pages,
// 4 the sweep page, 5 the noise page.
const std::vector<TSignalEditDef>& SignalEdits();
const std::vector<TSignalListDef>& SignalLists();
// The rows of one record's page from the top.
std::vector<TSignalRow> SignalPageRows(std::int32_t Record);
inline constexpr std::int32_t kSignalRecordCount = 6;
// The captions of a list's items.
const std::vector<std::string>& ListItems(TSignalField Field);

// The item that shows a record's value, or -1 when the list has none for it
// (a tone record with _Sweep or _Noise, a noise phase other than 0 and 180).
int ListIndexOf(TSignalField Field, const TSignalAttribute& Record);
// The record with the value of a list's item; an item out of range (no
// selection) leaves it as it is.
void ApplyListIndex(TSignalField Field, int Index, TSignalAttribute& Record);

// What the controls show: raw edit texts and list selections, by name.
struct TSignalsControls {
  std::map<std::string, std::string, std::less<>> Edits;
  std::map<std::string, int, std::less<>> Lists;
};

// The controls from the records: every edit gets its field's display text;
// every list the item of its field's value, or no selection where it has none,
// so that the record keeps that value when it is read back.
void SetControlsFromAttributes(const TSignalAttributeArray& Records, TSignalsControls& Controls);
// The records from the controls. Fields that no control shows, lists without
// selection and edits whose text is no 32-bit integer keep their values.
void GetAttributesFromControls(const TSignalsControls& Controls, TSignalAttributeArray& Records);

// A number of the file and of the edits: StrToInt32 (the settings file
// reads the same).
std::optional<std::int32_t> ParseInteger32(std::string_view Text);

// The result of a range check: the edit's new text and the message shown
// after it was written (empty: none).
struct TRangeCheck {
  std::string Text;
  std::vector<std::string> Messages;
};

// The check of one edit as the focus leaves it, against the sampling rate and
// bit depth of the moment. Text that is no integer counts as empty ("0");
// in the amplitude edits, whose empty text would be full scale, it counts as
// below the lower bound. A value beyond a bound becomes the bound, with the
// bound's message; a value on a bound passes.
TRangeCheck CheckSignalEdit(TRangeFamily Family, std::string_view Text, std::int32_t SamplingRate,
                            std::int32_t Quantization);
