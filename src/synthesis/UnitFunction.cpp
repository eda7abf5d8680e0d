// Defaults of the three setting records and their display strings.
#include "synthesis/UnitFunction.h"

#include <array>

namespace {

template <class E, std::size_t N>
using TextTable = std::array<TEnumText<E>, N>;

constexpr TextTable<TOutputChannel, 4> kOutputChannel{{
    {TOutputChannel::_Both, "L R"}, {TOutputChannel::_Lch, "Lch"},
    {TOutputChannel::_Rch, "Rch"}, {TOutputChannel::_Mute, "MUTE"}}};
constexpr TextTable<TWaveform, 6> kWaveform{{
    {TWaveform::_Sine, "SINE"}, {TWaveform::_Square, "SQUARE"},
    {TWaveform::_Triangle, "TRIANGLE"}, {TWaveform::_Sawtooth, "SAW"},
    {TWaveform::_Sweep, "SWEEP"}, {TWaveform::_Noise, "NOISE"}}};
constexpr TextTable<TWarbleCycle, 5> kWarbleCycle{{
    {TWarbleCycle::_16Hz, "16 Hz"}, {TWarbleCycle::_12Hz, "12 Hz"}, {TWarbleCycle::_8Hz, "8 Hz"},
    {TWarbleCycle::_4Hz, "4 Hz"}, {TWarbleCycle::_0Hz, "OFF"}}};
constexpr TextTable<TSweepType, 2> kSweepType{{
    {TSweepType::_Linear, "LINEAR"}, {TSweepType::_Log, "LOG"}}};
constexpr TextTable<TNoiseType, 3> kNoiseType{{
    {TNoiseType::_WhiteNoise, "WHITE"}, {TNoiseType::_PinkNoise, "PINK"},
    {TNoiseType::_GaussNoise, "GAUSS"}}};
constexpr TextTable<TRounding, 5> kRounding{{
    {TRounding::_RZ, "ZERO"}, {TRounding::_RI, "INFINITY"}, {TRounding::_RN, "NEAREST"},
    {TRounding::_RNE, "NEAR EVEN"}, {TRounding::_DITHER, "DITHER"}}};
constexpr TextTable<TDither, 3> kDither{{
    {TDither::_White, "WHITE"}, {TDither::_Pink, "PINK"}, {TDither::_Gauss, "GAUSS"}}};
constexpr TextTable<TNoiseShaping, 3> kNoiseShaping{{
    {TNoiseShaping::_2nd, "2nd"}, {TNoiseShaping::_1st, "1st"}, {TNoiseShaping::_Off, "OFF"}}};
constexpr TextTable<TOutputDevice, 3> kOutputDevice{{
    {TOutputDevice::_NoDevice, "No Device"}, {TOutputDevice::_WaveMapper, "WaveMapper"},
    {TOutputDevice::_ASIO, "ASIO"}}};
constexpr TextTable<TWavBufferSize, 6> kWavBufferSize{{
    {TWavBufferSize::_50ms, "50"}, {TWavBufferSize::_100ms, "100"},
    {TWavBufferSize::_125ms, "125"}, {TWavBufferSize::_200ms, "200"},
    {TWavBufferSize::_250ms, "250"}, {TWavBufferSize::_500ms, "500"}}};
constexpr TextTable<TRepeat, 2> kRepeat{{
    {TRepeat::_Continuous, "ON"}, {TRepeat::_Single, "OFF"}}};
constexpr TextTable<TWableDeviation, 2> kWableDeviation{{
    {TWableDeviation::_1d3, "1/3 Octave"}, {TWableDeviation::_1d1, "1/1 Octave"}}};
constexpr TextTable<TPropertySheet, 3> kPropertySheet{{
    {TPropertySheet::_PropertyNo, "No Sheet"}, {TPropertySheet::_PropertySignal, "Signal Only"},
    {TPropertySheet::_PropertyAll, "All"}}};
constexpr TextTable<TFFTuse, 2> kFFTuse{{{TFFTuse::_Use, "Use"}, {TFFTuse::_NoUse, "No"}}};

template <class E, std::size_t N>
std::string_view Lookup(const TextTable<E, N>& table, E v) {
  for (const auto& entry : table)
    if (entry.Value == v) return entry.Text;
  return {};  // only reachable with a value outside the enumeration
}

template <class E, std::size_t N>
std::optional<E> ReverseLookup(const TextTable<E, N>& table, std::string_view text) {
  for (const auto& entry : table)
    if (entry.Text == text) return entry.Value;
  return std::nullopt;
}


std::string Int(std::int32_t v) { return std::to_string(v); }

}  // namespace

#define KRV_ENUM_TEXT(E, table)                                                     \
  std::string_view EnumText(E v) { return Lookup(table, v); }                       \
  template <>                                                                       \
  std::optional<E> EnumFromText<E>(std::string_view t) { return ReverseLookup(table, t); }

KRV_ENUM_TEXT(TOutputChannel, kOutputChannel)
KRV_ENUM_TEXT(TWaveform, kWaveform)
KRV_ENUM_TEXT(TWarbleCycle, kWarbleCycle)
KRV_ENUM_TEXT(TSweepType, kSweepType)
KRV_ENUM_TEXT(TNoiseType, kNoiseType)
KRV_ENUM_TEXT(TRounding, kRounding)
KRV_ENUM_TEXT(TDither, kDither)
KRV_ENUM_TEXT(TNoiseShaping, kNoiseShaping)
KRV_ENUM_TEXT(TOutputDevice, kOutputDevice)
KRV_ENUM_TEXT(TWavBufferSize, kWavBufferSize)
KRV_ENUM_TEXT(TRepeat, kRepeat)
KRV_ENUM_TEXT(TWableDeviation, kWableDeviation)
KRV_ENUM_TEXT(TPropertySheet, kPropertySheet)
KRV_ENUM_TEXT(TFFTuse, kFFTuse)
#undef KRV_ENUM_TEXT

TSignalAttribute TExFunctionLib::InitializeSignalAttribute() {
  TSignalAttribute a{};
  a._Frequency = 1000;
  a._Amplitude = -6;
  a._OutputChannel = TOutputChannel::_Mute;
  a._Phase = 0;
  a._Offset = 0;
  a._Waveform = TWaveform::_Sine;
  a._WarbleCycle = TWarbleCycle::_0Hz;
  a._CycleOn = 1;
  a._CycleOff = 0;
  a._SweepType = TSweepType::_Linear;
  a._SweepPeriod = 10;
  a._SweepFrequency = {20, 20000};
  a._NoiseType = TNoiseType::_WhiteNoise;
  return a;
}

TPCMFormat TExFunctionLib::InitializePCMFormat() {
  return TPCMFormat{48000, 16, TRounding::_RNE, TDither::_White, TNoiseShaping::_Off};
}

TInternalSetting TExFunctionLib::InitializeInternalSetting() {
  TInternalSetting s{};
  s._OutputDevice = TOutputDevice::_WaveMapper;
  s._WavBufferSize = TWavBufferSize::_250ms;
  s._DefaultPeriod = 10;
  s._RecordTime = 10;
  s._PlayTime = 10;
  s._Repeat = TRepeat::_Continuous;
  s._PropertySheet = TPropertySheet::_PropertyNo;
  s._WableDeviation = TWableDeviation::_1d3;
  s._FFTuse = TFFTuse::_NoUse;
  return s;
}

TSignalAttributeString TExFunctionLib::StringSignalAttribute(const TSignalAttribute& a) {
  TSignalAttributeString s;
  s._Frequency = Int(a._Frequency);
  s._Amplitude = Int(a._Amplitude);
  s._OutputChannel = EnumText(a._OutputChannel);
  s._Phase = Int(a._Phase);
  s._Offset = Int(a._Offset);
  s._Waveform = EnumText(a._Waveform);
  s._WarbleCycle = EnumText(a._WarbleCycle);
  s._CycleOn = Int(a._CycleOn);
  s._CycleOff = Int(a._CycleOff);
  s._SweepType = EnumText(a._SweepType);
  s._SweepPeriod = Int(a._SweepPeriod);
  s._SweepFrequencyStart = Int(a._SweepFrequency._Start);
  s._SweepFrequencyStop = Int(a._SweepFrequency._Stop);
  s._NoiseType = EnumText(a._NoiseType);
  return s;
}

TPCMFormatString TExFunctionLib::StringPCMFormat(const TPCMFormat& f) {
  return TPCMFormatString{Int(f._SamplingRate), Int(f._Quantization),
                          std::string(EnumText(f._Rounding)), std::string(EnumText(f._Dither)),
                          std::string(EnumText(f._NoiseShaping))};
}

TInternalSettingString TExFunctionLib::StringInternalSetting(const TInternalSetting& s) {
  return TInternalSettingString{
      std::string(EnumText(s._OutputDevice)), std::string(EnumText(s._WavBufferSize)),
      Int(s._DefaultPeriod),                  std::string(EnumText(s._Repeat)),
      std::string(EnumText(s._WableDeviation)), std::string(EnumText(s._PropertySheet)),
      std::string(EnumText(s._FFTuse))};
}
