// Every operation of the engine gives the same samples bit for bit whatever
// control words its caller's thread has (foreign code on the user-interface
// thread, a driver, may leave the x87 unit at 53 bits or rounding down, up
// or toward zero, and SSE rounding or flushing), and gives the caller its
// control words back.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "synthesis/ExtendedPrecision.h"
#include "synthesis/UnitFunction.h"

namespace {

using krv::ReadFpuControlWord;
using krv::ReadSseControl;
using krv::WriteFpuControlWord;
using krv::WriteSseControl;

struct TForeignState {
  const char* Name;
  std::uint16_t Precision;  // x87 precision field
  std::uint16_t Rounding;   // x87 rounding field
  std::uint32_t Sse;        // SSE rounding, flush and denormal fields
};

const TForeignState kForeignStates[] = {
    {"53-bit precision", krv::kFpuPrecision53, krv::kFpuRoundNearest, 0},
    {"rounding down", krv::kFpuPrecision64, krv::kFpuRoundDown, krv::kSseRoundDown},
    {"rounding up", krv::kFpuPrecision64, krv::kFpuRoundUp, krv::kSseRoundUp},
    {"rounding toward zero", krv::kFpuPrecision64, krv::kFpuRoundTowardZero, krv::kSseRoundTowardZero},
    {"53-bit toward zero, flush to zero", krv::kFpuPrecision53, krv::kFpuRoundTowardZero,
     krv::kSseRoundTowardZero | krv::kSseFlushToZero | krv::kSseDenormalsAreZero},
};

// Samples that differ, bit for bit (the 10 bytes of an extended value).
std::size_t Differing(const TWaveBufferExtended& a, const TWaveBufferExtended& b) {
  if (a.size() != b.size()) return std::max(a.size(), b.size());
  std::size_t n = 0;
  for (std::size_t i = 0; i < a.size(); ++i) n += std::memcmp(&a[i], &b[i], 10) != 0;
  return n;
}
std::size_t Differing(const TWaveBufferInteger& a, const TWaveBufferInteger& b) {
  if (a.size() != b.size()) return std::max(a.size(), b.size());
  std::size_t n = 0;
  for (std::size_t i = 0; i < a.size(); ++i) n += a[i] != b[i];
  return n;
}
template <class Stereo>
std::size_t Differing(const Stereo& a, const Stereo& b) {
  return Differing(a[0], b[0]) + Differing(a[1], b[1]);
}

// make() once with the control words of a signal thread, then under each
// foreign state: the same result, and the foreign state still there after
// the call.
template <class Make>
void ExpectSameUnderForeignControlWords(const std::string& What, Make make) {
  const std::uint16_t ownX87 = ReadFpuControlWord();
  const std::uint32_t ownSse = ReadSseControl();
  ASSERT_TRUE(krv::HasExtendedPrecision());
  const auto expected = make();
  for (const TForeignState& state : kForeignStates) {
    const auto x87 = static_cast<std::uint16_t>(
        (ownX87 & ~(krv::kFpuPrecisionMask | krv::kFpuRoundingMask)) | state.Precision | state.Rounding);
    const std::uint32_t sse =
        (ownSse & ~(krv::kSseRoundingMask | krv::kSseFlushToZero | krv::kSseDenormalsAreZero)) | state.Sse;
    WriteFpuControlWord(x87);
    WriteSseControl(sse);
    const auto got = make();
    const std::uint16_t x87After = ReadFpuControlWord();
    const std::uint32_t sseAfter = ReadSseControl();
    WriteFpuControlWord(ownX87);
    WriteSseControl(ownSse);
    EXPECT_EQ(Differing(got, expected), 0u) << What << ", caller at " << state.Name << ": samples differ";
    EXPECT_EQ(x87After, x87) << What << ": the caller's x87 control word is not back";
    EXPECT_EQ(sseAfter & ~krv::kSseExceptionFlags, sse & ~krv::kSseExceptionFlags)
        << What << ": the caller's SSE control is not back";
  }
}

constexpr std::int32_t kRate = 48000;
constexpr std::int32_t kSecond = 1000;

TPCMFormat Format(std::int32_t Bits = 16, TRounding Rounding = TRounding::_RNE,
                  TNoiseShaping Shaping = TNoiseShaping::_Off, TDither Dither = TDither::_White) {
  TPCMFormat f = TExFunctionLib::InitializePCMFormat();
  f._SamplingRate = kRate;
  f._Quantization = Bits;
  f._Rounding = Rounding;
  f._NoiseShaping = Shaping;
  f._Dither = Dither;
  return f;
}

TSignalAttribute Tone(TWaveform Waveform, std::int32_t Frequency) {
  TSignalAttribute a = TExFunctionLib::InitializeSignalAttribute();
  a._Waveform = Waveform;
  a._Frequency = Frequency;
  a._Amplitude = -3;
  a._Phase = 37;
  a._Offset = 5;
  a._OutputChannel = TOutputChannel::_Both;
  return a;
}

const TInternalSetting kSetting = TExFunctionLib::InitializeInternalSetting();

TEST(CallerControlWord, ToneGeneratorsGiveTheSameSamples) {
  TSignalAttribute warble = Tone(TWaveform::_Sine, 997);
  warble._WarbleCycle = TWarbleCycle::_8Hz;
  TSignalAttribute burst = Tone(TWaveform::_Sine, 1000);
  burst._CycleOn = 3;
  burst._CycleOff = 2;
  const TPCMFormat f = Format();
  using Lib = TExFunctionLib;
  ExpectSameUnderForeignControlWords("sine", [&] { return Lib::GenerateWaveDataSine(f, Tone(TWaveform::_Sine, 997), kSecond, kSetting); });
  ExpectSameUnderForeignControlWords("warbled sine", [&] {
    TWaveBufferExtended b;
    Lib::GenerateWaveDataSine(f, warble, kSecond, kSetting, b);
    return b;
  });
  ExpectSameUnderForeignControlWords("sine burst", [&] { return Lib::GenerateWaveDataSine(f, burst, kSecond, kSetting); });
  const TSignalAttribute square = Tone(TWaveform::_Square, 441), triangle = Tone(TWaveform::_Triangle, 1234),
                         sawtooth = Tone(TWaveform::_Sawtooth, 50);
  ExpectSameUnderForeignControlWords("square", [&] { return Lib::GenerateWaveDataSquare(f, square, kSecond, kSetting); });
  ExpectSameUnderForeignControlWords("triangle", [&] {
    TWaveBufferExtended b;
    Lib::GenerateWaveDataTriangle(f, triangle, kSecond, kSetting, b);
    return b;
  });
  ExpectSameUnderForeignControlWords("sawtooth", [&] { return Lib::GenerateWaveDataSawtooth(f, sawtooth, kSecond, kSetting); });
  ExpectSameUnderForeignControlWords("square by inverse transform",
                                     [&] { return Lib::GenerateWaveDataSquareIFFT(f, square, kSecond, kSetting); });
  ExpectSameUnderForeignControlWords("triangle by inverse transform", [&] {
    TWaveBufferExtended b;
    Lib::GenerateWaveDataTriangleIFFT(f, triangle, kSecond, kSetting, b);
    return b;
  });
  ExpectSameUnderForeignControlWords("sawtooth by inverse transform",
                                     [&] { return Lib::GenerateWaveDataSawtoothIFFT(f, sawtooth, kSecond, kSetting); });
}

TEST(CallerControlWord, SweepAndNoiseGiveTheSameSamples) {
  const TPCMFormat f = Format();
  using Lib = TExFunctionLib;
  TSignalAttribute sweep = Tone(TWaveform::_Sweep, 1000);
  sweep._SweepPeriod = 3;
  ExpectSameUnderForeignControlWords("linear sweep", [&] { return Lib::GenerateWaveDataSweep(f, sweep, kSecond, kRate); });
  sweep._SweepType = TSweepType::_Log;
  ExpectSameUnderForeignControlWords("logarithmic sweep", [&] {
    TWaveBufferExtended b;
    Lib::GenerateWaveDataSweep(f, sweep, kSecond, 2 * kRate, b);
    return b;
  });
  TSignalAttribute noise = Tone(TWaveform::_Noise, 1000);
  for (TNoiseType type : {TNoiseType::_WhiteNoise, TNoiseType::_PinkNoise, TNoiseType::_GaussNoise}) {
    noise._NoiseType = type;
    for (TPinkNoiseMethod method : {TPinkNoiseMethod::_Kellet, TPinkNoiseMethod::_LPF}) {
      if (type != TNoiseType::_PinkNoise && method != TPinkNoiseMethod::_Kellet) continue;
      const std::string what = "noise " + std::to_string(static_cast<int>(type)) + " by method " +
                               std::to_string(static_cast<int>(method));
      ExpectSameUnderForeignControlWords(what, [&] { return Lib::GenerateWaveDataNoise(f, noise, kSecond, method, 20071207u); });
      ExpectSameUnderForeignControlWords(what + " in place", [&] {
        TWaveBufferExtended b;
        Lib::GenerateWaveDataNoise(f, noise, kSecond, method, 20071207u, b);
        return b;
      });
    }
  }
}

// Six records as a play mixes them: tones, the sweep and the noise.
struct TMixInputs {
  TSignalAttributeArray Records;
  TWaveBufferExtendedArray Buffers;
};

TMixInputs MixInputs(const TPCMFormat& f) {
  TMixInputs in;
  in.Records = {Tone(TWaveform::_Sine, 997), Tone(TWaveform::_Square, 101), Tone(TWaveform::_Triangle, 3000),
                Tone(TWaveform::_Sawtooth, 20), Tone(TWaveform::_Sweep, 1000), Tone(TWaveform::_Noise, 1000)};
  in.Records[1]._OutputChannel = TOutputChannel::_Lch;
  in.Records[2]._OutputChannel = TOutputChannel::_Rch;
  in.Records[5]._NoiseType = TNoiseType::_PinkNoise;
  using Lib = TExFunctionLib;
  in.Buffers = {Lib::GenerateWaveDataSine(f, in.Records[0], kSecond, kSetting),
                Lib::GenerateWaveDataSquare(f, in.Records[1], kSecond, kSetting),
                Lib::GenerateWaveDataTriangle(f, in.Records[2], kSecond, kSetting),
                Lib::GenerateWaveDataSawtooth(f, in.Records[3], kSecond, kSetting),
                Lib::GenerateWaveDataSweep(f, in.Records[4], kSecond, 0),
                Lib::GenerateWaveDataNoise(f, in.Records[5], kSecond, TPinkNoiseMethod::_Kellet, 7u)};
  return in;
}

TEST(CallerControlWord, MixesGiveTheSameSamples) {
  const TPCMFormat f = Format();
  const TMixInputs in = MixInputs(f);
  using Lib = TExFunctionLib;
  ExpectSameUnderForeignControlWords("mix", [&] { return Lib::SynthesizeSignals(f, 6, in.Records, in.Buffers, kSecond); });
  const std::size_t lead[2] = {2, 1};
  ExpectSameUnderForeignControlWords("leading sums", [&] {
    TWaveBufferExtendedStereo sums;
    Lib::SumLeadingSignals(f, 6, in.Records, in.Buffers, kSecond, lead, sums);
    return sums;
  });
  TWaveBufferExtendedStereo sums;
  Lib::SumLeadingSignals(f, 6, in.Records, in.Buffers, kSecond, lead, sums);
  ExpectSameUnderForeignControlWords("mix from sums", [&] {
    TWaveBufferExtendedStereo mix;
    Lib::SynthesizeSignals(f, 6, in.Records, in.Buffers, kSecond, Lib::TMixSums{&sums, {2, 1}}, mix);
    return mix;
  });
}

TEST(CallerControlWord, QuantisersGiveTheSameSamplesInEveryFormat) {
  const TMixInputs in = MixInputs(Format());
  const TWaveBufferExtendedStereo mix = TExFunctionLib::SynthesizeSignals(Format(), 6, in.Records, in.Buffers, kSecond);
  // A gain of the track bar (-7 dB) with the attenuation, as the roads pass it.
  const long double gainL = 0.1L * 0.44668359215096311L, gainR = 1.0L;
  using Lib = TExFunctionLib;
  for (std::int32_t bits : {16, 24, 32})
    for (TRounding rounding : {TRounding::_RZ, TRounding::_RI, TRounding::_RN, TRounding::_RNE, TRounding::_DITHER})
      for (TNoiseShaping shaping : {TNoiseShaping::_Off, TNoiseShaping::_1st, TNoiseShaping::_2nd}) {
        const TPCMFormat f = Format(bits, rounding, shaping, TDither::_Pink);
        std::ostringstream what;
        what << bits << " bits, rounding " << static_cast<int>(rounding) << ", shaping "
             << static_cast<int>(shaping);
        ExpectSameUnderForeignControlWords(what.str(), [&] {
          TWaveBufferIntegerStereo q;
          Lib::QuantizeSignal(f, gainL, gainR, mix, kSecond, 1207u, q);
          return q;
        });
      }
  ExpectSameUnderForeignControlWords("the returning quantiser", [&] {
    return Lib::QuantizeSignal(Format(24), gainL, gainR, mix, kSecond, 1207u);
  });
  // The time seed changes only between seconds; no rounding that reads it.
  ExpectSameUnderForeignControlWords("the quantiser with the time seed", [&] {
    return Lib::QuantizeSignal(Format(32), gainL, gainR, mix, kSecond);
  });
}

}  // namespace
