#include "dialogs/SettingsFile.h"

#include <algorithm>
#include <array>

#include "framework/Text.h"
#include "synthesis/UnitFunction.h"

namespace {

struct TKey {
  std::string_view Section;
  std::string_view Ident;
  std::string& (*Field)(TSettingsFileStrings&);
};

// In the order they are written.
const std::array<TKey, 14> kKeys{{
    {"FileAttribute", "VenderString", [](TSettingsFileStrings& s) -> std::string& { return s.FileAttribute._VenderString; }},
    {"FileAttribute", "Version", [](TSettingsFileStrings& s) -> std::string& { return s.FileAttribute._Version; }},
    {"FileAttribute", "FileType", [](TSettingsFileStrings& s) -> std::string& { return s.FileAttribute._FileType; }},
    {"PCMFormat", "SamplingRate", [](TSettingsFileStrings& s) -> std::string& { return s.PCMFormatString._SamplingRate; }},
    {"PCMFormat", "Quantization", [](TSettingsFileStrings& s) -> std::string& { return s.PCMFormatString._Quantization; }},
    {"PCMFormat", "Rounding", [](TSettingsFileStrings& s) -> std::string& { return s.PCMFormatString._Rounding; }},
    {"PCMFormat", "Dither", [](TSettingsFileStrings& s) -> std::string& { return s.PCMFormatString._Dither; }},
    {"PCMFormat", "NoiseShaping", [](TSettingsFileStrings& s) -> std::string& { return s.PCMFormatString._NoiseShaping; }},
    {"InternalSetting", "OutputDevice",
     [](TSettingsFileStrings& s) -> std::string& { return s.InternalSettingString._OutputDevice; }},
    {"InternalSetting", "WavBufferSize",
     [](TSettingsFileStrings& s) -> std::string& { return s.InternalSettingString._WavBufferSize; }},
    {"InternalSetting", "DefaultPeriod",
     [](TSettingsFileStrings& s) -> std::string& { return s.InternalSettingString._DefaultPeriod; }},
    {"InternalSetting", "WableDeviation",
     [](TSettingsFileStrings& s) -> std::string& { return s.InternalSettingString._WableDeviation; }},
    {"InternalSetting", "PropertySheet",
     [](TSettingsFileStrings& s) -> std::string& { return s.InternalSettingString._PropertySheet; }},
    {"InternalSetting", "FFTuse", [](TSettingsFileStrings& s) -> std::string& { return s.InternalSettingString._FFTuse; }},
}};

constexpr std::array<std::int32_t, 10> kFileSamplingRates{32000,  44056,  44100,  48000,  88200,
                                                          96000,  176400, 192000, 352800, 384000};
constexpr std::array<std::int32_t, 4> kFileQuantizations{16, 20, 24, 32};
constexpr std::int32_t kDefaultPeriodMin = 1;
constexpr std::int32_t kDefaultPeriodMax = 99;

template <class E>
void SetFromText(E& Field, std::string_view Text) {
  if (const std::optional<E> value = EnumFromText<E>(Text)) Field = *value;
}

template <std::size_t N>
bool OneOf(const std::array<std::int32_t, N>& Values, std::int32_t Value) {
  return std::find(Values.begin(), Values.end(), Value) != Values.end();
}

}  // namespace

TSettingsFileStrings ReadSettingStrings(const TMemIniFile& Document) {
  TSettingsFileStrings strings;
  for (const TKey& key : kKeys) key.Field(strings) = Document.ReadString(key.Section, key.Ident, kNoData);
  return strings;
}

void WriteSettingStrings(TMemIniFile& Document, const TPCMFormat& PCMFormat, const TInternalSetting& InternalSetting) {
  TSettingsFileStrings strings{kSettingsFileAttribute, TExFunctionLib::StringPCMFormat(PCMFormat),
                               TExFunctionLib::StringInternalSetting(InternalSetting)};
  for (const TKey& key : kKeys) Document.WriteString(key.Section, key.Ident, key.Field(strings));
}

std::optional<std::int32_t> ParseInteger(std::string_view Text) { return StrToInt32(Text); }

bool ConvertSettingStrings(const TPCMFormatString& PCMFormatString, const TInternalSettingString& InternalSettingString,
                           TPCMFormat& PCMFormat, TInternalSetting& InternalSetting) {
  TPCMFormat format = PCMFormat;
  TInternalSetting setting = InternalSetting;
  const TPCMFormatString& p = PCMFormatString;
  const TInternalSettingString& s = InternalSettingString;
  for (const std::string* text : {&p._SamplingRate, &p._Quantization, &p._Rounding, &p._Dither, &p._NoiseShaping,
                                  &s._OutputDevice, &s._WavBufferSize, &s._DefaultPeriod, &s._WableDeviation,
                                  &s._PropertySheet, &s._FFTuse})
    if (*text == kNoData) return false;

  const std::optional<std::int32_t> rate = ParseInteger(p._SamplingRate);
  const std::optional<std::int32_t> bits = ParseInteger(p._Quantization);
  const std::optional<std::int32_t> period = ParseInteger(s._DefaultPeriod);
  if (!rate || !OneOf(kFileSamplingRates, *rate) || !bits || !OneOf(kFileQuantizations, *bits) || !period ||
      *period < kDefaultPeriodMin || *period > kDefaultPeriodMax)
    return false;

  format._SamplingRate = *rate;
  format._Quantization = *bits;
  SetFromText(format._Rounding, p._Rounding);
  SetFromText(format._Dither, p._Dither);
  SetFromText(format._NoiseShaping, p._NoiseShaping);
  SetFromText(setting._OutputDevice, s._OutputDevice);
  SetFromText(setting._WavBufferSize, s._WavBufferSize);
  setting._DefaultPeriod = *period;
  SetFromText(setting._WableDeviation, s._WableDeviation);
  SetFromText(setting._PropertySheet, s._PropertySheet);
  SetFromText(setting._FFTuse, s._FFTuse);
  PCMFormat = format;
  InternalSetting = setting;
  return true;
}

bool ReadSettingsDocument(const TMemIniFile& Document, TPCMFormat& PCMFormat, TInternalSetting& InternalSetting) {
  const TSettingsFileStrings strings = ReadSettingStrings(Document);
  return strings.FileAttribute == kSettingsFileAttribute &&
         ConvertSettingStrings(strings.PCMFormatString, strings.InternalSettingString, PCMFormat, InternalSetting);
}
