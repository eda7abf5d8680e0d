#include "dialogs/SignalsModel.h"

#include "app/PlayableSignals.h"
#include "framework/Text.h"

namespace {

// Rows of the pages, from the top, in the order the pages show them.
std::vector<TSignalEditDef> MakeEdits() {
  std::vector<TSignalEditDef> edits;
  for (int page = 1; page <= 4; ++page) {
    const std::string n = std::to_string(page);
    const std::int32_t r = page - 1;
    edits.push_back({"EditHex_Freq_" + n, r, TSignalField::_Frequency, TRangeFamily::_Frequency, 5, false, 3,
                     "Frequency", "Hz"});
    edits.push_back({"EditHex_Amp_" + n, r, TSignalField::_Amplitude, TRangeFamily::_Amplitude, 4, true, 4,
                     "Amplitude", "dB"});
    edits.push_back({"EditHex_Phase_" + n, r, TSignalField::_Phase, TRangeFamily::_Phase, 4, false, 5, "Phase",
                     "degree"});
    edits.push_back({"EditHex_Offset_" + n, r, TSignalField::_Offset, TRangeFamily::_Offset, 8, false, 6,
                     "Offset", "digit"});
    edits.push_back({"EditHex_CycleOn_" + n, r, TSignalField::_CycleOn, TRangeFamily::_CycleOn, 5, false, 7,
                     "Cycles ON", ""});
    edits.push_back({"EditHex_CycleOff_" + n, r, TSignalField::_CycleOff, TRangeFamily::_CycleOff, 5, false, 8,
                     "Cycles OFF", ""});
  }
  edits.push_back({"EditHex_Period_Sweep", 4, TSignalField::_SweepPeriod, TRangeFamily::_SweepPeriod, 5, false, 2,
                   "Sweep Period", "sec"});
  edits.push_back({"EditHex_Amp_Sweep", 4, TSignalField::_Amplitude, TRangeFamily::_Amplitude, 4, true, 4,
                   "Amplitude", "dB"});
  edits.push_back({"EditHex_Start", 4, TSignalField::_SweepStart, TRangeFamily::_SweepFrequency, 5, false, 0,
                   "Start Frequency", "Hz"});
  edits.push_back({"EditHex_Stop", 4, TSignalField::_SweepStop, TRangeFamily::_SweepFrequency, 5, false, 1,
                   "Stop Frequency", "Hz"});
  edits.push_back({"EditHex_Amp_Noise", 5, TSignalField::_Amplitude, TRangeFamily::_Amplitude, 4, true, 0,
                   "Amplitude", "dB"});
  return edits;
}

std::vector<TSignalListDef> MakeLists() {
  std::vector<TSignalListDef> lists;
  for (int page = 1; page <= 4; ++page) {
    const std::string n = std::to_string(page);
    const std::int32_t r = page - 1;
    lists.push_back({"ComboBoxEx_Output_" + n, r, TSignalField::_OutputChannel, 0, "Output", ""});
    lists.push_back({"ComboBoxEx_Waveform_" + n, r, TSignalField::_Waveform, 1, "Waveform", ""});
    lists.push_back({"ComboBoxEx_Warble_" + n, r, TSignalField::_WarbleCycle, 2, "Warble", ""});
  }
  lists.push_back({"ComboBoxEx_SweepType", 4, TSignalField::_SweepType, 5, "Sweep Type", ""});
  lists.push_back({"ComboBoxEx_Output_Sweep", 4, TSignalField::_OutputChannel, 3, "Output", ""});
  lists.push_back({"ComboBoxEx_NoiseType", 5, TSignalField::_NoiseType, 2, "Noise Type", ""});
  lists.push_back({"ComboBoxEx_Phase_Noise", 5, TSignalField::_NoisePhase, 3, "Phase", "degree"});
  lists.push_back({"ComboBoxEx_Output_Noise", 5, TSignalField::_OutputChannel, 1, "Output", ""});
  return lists;
}

// The fields of each page from the top.
const std::vector<TSignalField>& PageFields(std::int32_t Record) {
  using F = TSignalField;
  static const std::vector<F> tone{F::_Frequency, F::_Amplitude,  F::_Phase,   F::_Offset,  F::_OutputChannel,
                                   F::_Waveform,  F::_WarbleCycle, F::_CycleOn, F::_CycleOff};
  static const std::vector<F> sweep{F::_SweepType, F::_SweepPeriod, F::_Amplitude,
                                    F::_SweepStart, F::_SweepStop,  F::_OutputChannel};
  static const std::vector<F> noise{F::_NoiseType, F::_Amplitude, F::_NoisePhase, F::_OutputChannel};
  return Record < 4 ? tone : Record == 4 ? sweep : noise;
}

// Item index -> enumeration ordinal.
const std::vector<int>& ListValues(TSignalField Field) {
  static const std::vector<int> output{3, 1, 2, 0}, waveform{0, 1, 2, 3}, warble{4, 3, 2, 1, 0}, two{0, 1},
      three{0, 1, 2}, phase{0, 180};
  switch (Field) {
    case TSignalField::_OutputChannel: return output;
    case TSignalField::_Waveform: return waveform;
    case TSignalField::_WarbleCycle: return warble;
    case TSignalField::_SweepType: return two;
    case TSignalField::_NoiseType: return three;
    default: return phase;
  }
}

int ListValueOf(TSignalField Field, const TSignalAttribute& r) {
  switch (Field) {
    case TSignalField::_OutputChannel: return static_cast<int>(r._OutputChannel);
    case TSignalField::_Waveform: return static_cast<int>(r._Waveform);
    case TSignalField::_WarbleCycle: return static_cast<int>(r._WarbleCycle);
    case TSignalField::_SweepType: return static_cast<int>(r._SweepType);
    case TSignalField::_NoiseType: return static_cast<int>(r._NoiseType);
    default: return r._Phase;
  }
}

std::int32_t* IntegerField(TSignalField Field, TSignalAttribute& r) {
  switch (Field) {
    case TSignalField::_Frequency: return &r._Frequency;
    case TSignalField::_Amplitude: return &r._Amplitude;
    case TSignalField::_Phase: return &r._Phase;
    case TSignalField::_Offset: return &r._Offset;
    case TSignalField::_CycleOn: return &r._CycleOn;
    case TSignalField::_CycleOff: return &r._CycleOff;
    case TSignalField::_SweepPeriod: return &r._SweepPeriod;
    case TSignalField::_SweepStart: return &r._SweepFrequency._Start;
    case TSignalField::_SweepStop: return &r._SweepFrequency._Stop;
    default: return nullptr;
  }
}

struct TFamilyBounds {
  std::int64_t Lower, Upper;
  const char* Word;
};

TFamilyBounds BoundsOf(TRangeFamily Family, std::int32_t SamplingRate, std::int32_t Quantization) {
  const TFormatBounds f = FormatBounds(SamplingRate, Quantization);
  switch (Family) {
    case TRangeFamily::_Amplitude: return {f.MinAmplitude, 0, "Amplitude"};
    case TRangeFamily::_Frequency:
    case TRangeFamily::_SweepFrequency: return {10, f.MaxFrequency, "Frequency"};
    case TRangeFamily::_Phase: return {-360, 360, "Phase"};
    case TRangeFamily::_Offset: return {-static_cast<std::int64_t>(f.MaxSample), f.MaxSample, "Offset"};
    case TRangeFamily::_CycleOn: return {1, f.MaxCycles, "CycleOn"};
    case TRangeFamily::_CycleOff: return {0, f.MaxCycles, "CycleOff"};
    case TRangeFamily::_SweepPeriod: return {1, 180, "Period"};
  }
  return {0, 0, ""};
}

}  // namespace

const std::vector<TSignalEditDef>& SignalEdits() {
  static const std::vector<TSignalEditDef> edits = MakeEdits();
  return edits;
}

const std::vector<TSignalListDef>& SignalLists() {
  static const std::vector<TSignalListDef> lists = MakeLists();
  return lists;
}

std::vector<TSignalRow> SignalPageRows(std::int32_t Record) {
  std::vector<TSignalRow> rows;
  for (TSignalField field : PageFields(Record)) {
    for (const TSignalEditDef& e : SignalEdits())
      if (e.Record == Record && e.Field == field) rows.push_back({&e, nullptr});
    for (const TSignalListDef& l : SignalLists())
      if (l.Record == Record && l.Field == field) rows.push_back({nullptr, &l});
  }
  return rows;
}

const std::vector<std::string>& ListItems(TSignalField Field) {
  static const std::vector<std::string> output{"Mute", "L ch", "R ch", "L + R"},
      waveform{"Sine", "Square", "Triangle", "Saw"}, warble{"0 Hz", "4 Hz", "8 Hz", "12 Hz", "16 Hz"},
      sweep{"Linear", "Log"}, noise{"White", "Pink", "Gauss"}, phase{"0", "180"};
  switch (Field) {
    case TSignalField::_OutputChannel: return output;
    case TSignalField::_Waveform: return waveform;
    case TSignalField::_WarbleCycle: return warble;
    case TSignalField::_SweepType: return sweep;
    case TSignalField::_NoiseType: return noise;
    default: return phase;
  }
}

int ListIndexOf(TSignalField Field, const TSignalAttribute& Record) {
  const std::vector<int>& values = ListValues(Field);
  const int value = ListValueOf(Field, Record);
  for (std::size_t i = 0; i < values.size(); ++i)
    if (values[i] == value) return static_cast<int>(i);
  return -1;
}

void ApplyListIndex(TSignalField Field, int Index, TSignalAttribute& r) {
  const std::vector<int>& values = ListValues(Field);
  if (Index < 0 || Index >= static_cast<int>(values.size())) return;
  const int v = values[static_cast<std::size_t>(Index)];
  switch (Field) {
    case TSignalField::_OutputChannel: r._OutputChannel = static_cast<TOutputChannel>(v); break;
    case TSignalField::_Waveform: r._Waveform = static_cast<TWaveform>(v); break;
    case TSignalField::_WarbleCycle: r._WarbleCycle = static_cast<TWarbleCycle>(v); break;
    case TSignalField::_SweepType: r._SweepType = static_cast<TSweepType>(v); break;
    case TSignalField::_NoiseType: r._NoiseType = static_cast<TNoiseType>(v); break;
    default: r._Phase = v; break;
  }
}

void SetControlsFromAttributes(const TSignalAttributeArray& Records, TSignalsControls& Controls) {
  for (const TSignalEditDef& e : SignalEdits()) {
    if (e.Record >= static_cast<std::int32_t>(Records.size())) continue;
    TSignalAttribute r = Records[static_cast<std::size_t>(e.Record)];
    Controls.Edits[e.Name] = std::to_string(*IntegerField(e.Field, r));
  }
  for (const TSignalListDef& l : SignalLists())
    if (l.Record < static_cast<std::int32_t>(Records.size()))
      Controls.Lists[l.Name] = ListIndexOf(l.Field, Records[static_cast<std::size_t>(l.Record)]);
}

void GetAttributesFromControls(const TSignalsControls& Controls, TSignalAttributeArray& Records) {
  for (const TSignalEditDef& e : SignalEdits()) {
    const auto text = Controls.Edits.find(e.Name);
    if (text == Controls.Edits.end() || e.Record >= static_cast<std::int32_t>(Records.size())) continue;
    const std::optional<std::int32_t> value = ParseInteger32(text->second);
    if (!value) continue;
    // The amplitude edits show their number as a magnitude after a fixed "-".
    *IntegerField(e.Field, Records[static_cast<std::size_t>(e.Record)]) =
        e.Negative && *value > 0 ? -*value : *value;
  }
  for (const TSignalListDef& l : SignalLists()) {
    const auto index = Controls.Lists.find(l.Name);
    if (index != Controls.Lists.end() && l.Record < static_cast<std::int32_t>(Records.size()))
      ApplyListIndex(l.Field, index->second, Records[static_cast<std::size_t>(l.Record)]);
  }
}

std::optional<std::int32_t> ParseInteger32(std::string_view Text) { return StrToInt32(Text); }

TRangeCheck CheckSignalEdit(TRangeFamily Family, std::string_view Text, std::int32_t SamplingRate,
                            std::int32_t Quantization) {
  const TFamilyBounds b = BoundsOf(Family, SamplingRate, Quantization);
  const std::string lower = std::to_string(b.Lower), upper = std::to_string(b.Upper);
  const std::string lowerMessage = "Error - Cannot set less than " + lower + " to " + b.Word + ".";
  std::optional<std::int32_t> value = ParseInteger32(Text);
  TRangeCheck check{value ? std::string(Text) : std::string(1, '0'), {}};
  if (Family == TRangeFamily::_Amplitude) {
    // Text that is no number never becomes full scale.
    if (!value) return {lower, {lowerMessage}};
    if (*value > b.Upper) {
      check = {upper, {"Error - Cannot set positive value to Amplitude."}};
      value = static_cast<std::int32_t>(b.Upper);
    }
    if (*value < b.Lower) check = {lower, {lowerMessage}};
    return check;
  }
  if (!value) value = 0;
  if (*value < b.Lower) {
    check = {lower, {lowerMessage}};
    value = static_cast<std::int32_t>(b.Lower);
  }
  if (*value > b.Upper) {
    check.Text = upper;
    check.Messages.push_back("Error - Cannot set more than " + upper + " to " + b.Word + ".");
  }
  return check;
}
