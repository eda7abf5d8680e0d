#include "dialogs/SignalsFile.h"

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "app/PlayableSignals.h"
#include "dialogs/SignalsModel.h"
#include "framework/MemIniFile.h"
#include "synthesis/UnitFunction.h"

namespace {

constexpr std::string_view kHeaderSection = "FileAttribute";
constexpr std::string_view kNoData = "NoData";

struct TKey {
  const char* Name;
  std::string TSignalAttributeString::*String;
};

constexpr std::array<TKey, 14> kKeys{{
    {"Frequency", &TSignalAttributeString::_Frequency},
    {"Amplitude", &TSignalAttributeString::_Amplitude},
    {"OutputChannel", &TSignalAttributeString::_OutputChannel},
    {"Phase", &TSignalAttributeString::_Phase},
    {"Offset", &TSignalAttributeString::_Offset},
    {"Waveform", &TSignalAttributeString::_Waveform},
    {"WarbleCycle", &TSignalAttributeString::_WarbleCycle},
    {"CycleOn", &TSignalAttributeString::_CycleOn},
    {"CycleOff", &TSignalAttributeString::_CycleOff},
    {"SweepType", &TSignalAttributeString::_SweepType},
    {"SweepPeriod", &TSignalAttributeString::_SweepPeriod},
    {"SweepFrequencyStart", &TSignalAttributeString::_SweepFrequencyStart},
    {"SweepFrequencyStop", &TSignalAttributeString::_SweepFrequencyStop},
    {"NoiseType", &TSignalAttributeString::_NoiseType},
}};

std::string SectionOf(std::size_t Record) { return "SignalAttribute" + std::to_string(Record); }

// The enumeration value whose display text is Text; the first value when
// none is.
template <class TEnum>
TEnum FromText(std::string_view Text, int Count, std::string TSignalAttributeString::*String,
               TEnum TSignalAttribute::*Field) {
  TSignalAttribute r{};
  for (int v = 0; v < Count; ++v) {
    r.*Field = static_cast<TEnum>(v);
    if (TExFunctionLib::StringSignalAttribute(r).*String == Text) return r.*Field;
  }
  return static_cast<TEnum>(0);
}

// A number of a record that the loader checks, with its bounds.
struct TBoundedField {
  std::int32_t* Value;
  std::int64_t Lower, Upper;
};

// The fields the loader checks: amplitude, phase, offset, frequency and cycle
// counts on every record (the editor can make any tone record's waveform a
// tone, so a noise or sweep waveform does not excuse them); sweep period and
// sweep frequencies on the sweep record and on any record with the sweep
// waveform (the tone and noise records all carry the start-up sweep to
// 20000 Hz, which no page of theirs shows).
std::vector<TBoundedField> CheckedFields(TSignalAttribute& r, bool SweepRecord, const TFormatBounds& b) {
  std::vector<TBoundedField> fields{{&r._Amplitude, b.MinAmplitude, 0},
                                    {&r._Phase, -360, 360},
                                    {&r._Offset, -static_cast<std::int64_t>(b.MaxSample), b.MaxSample},
                                    {&r._Frequency, 10, b.MaxFrequency},
                                    {&r._CycleOn, 1, b.MaxCycles},
                                    {&r._CycleOff, 0, b.MaxCycles}};
  if (SweepRecord || r._Waveform == TWaveform::_Sweep) {
    fields.push_back({&r._SweepPeriod, 1, 180});
    fields.push_back({&r._SweepFrequency._Start, 10, b.MaxFrequency});
    fields.push_back({&r._SweepFrequency._Stop, 10, b.MaxFrequency});
  }
  return fields;
}

constexpr std::size_t kSweepRecord = 4;

bool Accepted(TSignalAttribute r, bool SweepRecord, const TFormatBounds& b) {
  for (const TBoundedField& f : CheckedFields(r, SweepRecord, b))
    if (*f.Value < f.Lower || *f.Value > f.Upper) return false;
  return true;
}

std::optional<TSignalAttributeArray> FromDocument(const TMemIniFile& Ini, std::int32_t SamplingRate,
                                                  std::int32_t Quantization) {
  const TFileAttribute header{Ini.ReadString(kHeaderSection, "VenderString", kNoData),
                              Ini.ReadString(kHeaderSection, "Version", kNoData),
                              Ini.ReadString(kHeaderSection, "FileType", kNoData)};
  if (header._VenderString != "KRV-2400" || header._Version != "1.0" || header._FileType != kSignalsFileType)
    return std::nullopt;
  TSignalAttributeStringArray strings(kSignalRecordCount);
  for (std::size_t i = 0; i < strings.size(); ++i)
    for (const TKey& key : kKeys) strings[i].*key.String = Ini.ReadString(SectionOf(i), key.Name, kNoData);
  return SignalAttributesFromStrings(strings, SamplingRate, Quantization);
}

void WriteRecords(TMemIniFile& ini, const TSignalAttributeArray& Records) {
  ini.WriteString(kHeaderSection, "VenderString", "KRV-2400");
  ini.WriteString(kHeaderSection, "Version", "1.0");
  ini.WriteString(kHeaderSection, "FileType", kSignalsFileType);
  for (std::size_t i = 0; i < Records.size(); ++i) {
    const TSignalAttributeString strings = TExFunctionLib::StringSignalAttribute(Records[i]);
    for (const TKey& key : kKeys) ini.WriteString(SectionOf(i), key.Name, strings.*key.String);
  }
}

}  // namespace

void SaveSignalsFile(const std::filesystem::path& FileName, const TSignalAttributeArray& Records) {
  TMemIniFile ini(FileName);
  WriteRecords(ini, Records);
  ini.UpdateFile();
}

TSignalAttributeArray SavableSignalAttributeArray(TSignalAttributeArray Records, std::int32_t SamplingRate,
                                                  std::int32_t Quantization) {
  const TFormatBounds bounds = FormatBounds(SamplingRate, Quantization);
  for (std::size_t i = 0; i < Records.size(); ++i)
    for (const TBoundedField& f : CheckedFields(Records[i], i == kSweepRecord, bounds))
      // The upper bound first: bounds that cross (no rate of the program
      // gives them) end on the lower one.
      *f.Value = static_cast<std::int32_t>(std::max(f.Lower, std::min<std::int64_t>(*f.Value, f.Upper)));
  return Records;
}

void SaveSignalsFile(const std::filesystem::path& FileName, const TSignalAttributeArray& Records,
                     std::int32_t SamplingRate, std::int32_t Quantization) {
  SaveSignalsFile(FileName, SavableSignalAttributeArray(Records, SamplingRate, Quantization));
}

std::string SignalsFileText(const TSignalAttributeArray& Records) {
  TMemIniFile ini;
  WriteRecords(ini, Records);
  return ini.GetText();
}

std::optional<TSignalAttributeArray> SignalAttributesFromStrings(const TSignalAttributeStringArray& Strings,
                                                                 std::int32_t SamplingRate,
                                                                 std::int32_t Quantization) {
  const TFormatBounds bounds = FormatBounds(SamplingRate, Quantization);
  TSignalAttributeArray records(Strings.size(), TSignalAttribute{});
  for (std::size_t i = 0; i < Strings.size(); ++i) {
    const TSignalAttributeString& s = Strings[i];
    for (const TKey& key : kKeys)
      if (s.*key.String == kNoData) return std::nullopt;
    TSignalAttribute& r = records[i];
    const std::pair<const std::string*, std::int32_t*> numbers[] = {
        {&s._Frequency, &r._Frequency},         {&s._Amplitude, &r._Amplitude},
        {&s._Phase, &r._Phase},                 {&s._Offset, &r._Offset},
        {&s._CycleOn, &r._CycleOn},             {&s._CycleOff, &r._CycleOff},
        {&s._SweepPeriod, &r._SweepPeriod},     {&s._SweepFrequencyStart, &r._SweepFrequency._Start},
        {&s._SweepFrequencyStop, &r._SweepFrequency._Stop}};
    for (const auto& [text, field] : numbers) {
      const std::optional<std::int32_t> value = ParseInteger32(*text);
      if (!value) return std::nullopt;
      *field = *value;
    }
    using S = TSignalAttributeString;
    using A = TSignalAttribute;
    r._OutputChannel = FromText(s._OutputChannel, 4, &S::_OutputChannel, &A::_OutputChannel);
    r._Waveform = FromText(s._Waveform, 6, &S::_Waveform, &A::_Waveform);
    r._WarbleCycle = FromText(s._WarbleCycle, 5, &S::_WarbleCycle, &A::_WarbleCycle);
    r._SweepType = FromText(s._SweepType, 2, &S::_SweepType, &A::_SweepType);
    r._NoiseType = FromText(s._NoiseType, 3, &S::_NoiseType, &A::_NoiseType);
    if (!Accepted(r, i == kSweepRecord, bounds)) return std::nullopt;
  }
  return records;
}

std::optional<TSignalAttributeArray> LoadSignalsFile(const std::filesystem::path& FileName,
                                                     std::int32_t SamplingRate, std::int32_t Quantization) {
  try {
    return FromDocument(TMemIniFile(FileName), SamplingRate, Quantization);
  } catch (const EIniFileError&) {
    return std::nullopt;
  }
}

std::optional<TSignalAttributeArray> ParseSignalsText(std::string_view Text, std::int32_t SamplingRate,
                                                      std::int32_t Quantization) {
  TMemIniFile ini;
  ini.SetText(Text);
  return FromDocument(ini, SamplingRate, Quantization);
}
