// The waveform generators: sine (with warble or tone bursts), band-limited
// square, triangle and sawtooth, and the linear or logarithmic sweep.
//
// Every phase is reduced in integers before a sine is read: a tone of F Hz
// at fs samples per second reads sample i at index (F * i) mod fs of a
// one-second sine table, and the harmonic tones are computed over one period
// P = fs / gcd(F, fs) only (directly, or by one inverse transform of length
// P when that is cheaper) and then tiled.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <utility>

#include "synthesis/ToneFrame.h"
#include "synthesis/ToneSeries.h"
#include "synthesis/ToneTable.h"
#include "synthesis/ExtendedPrecision.h"
#include "synthesis/UnitFunction.h"

namespace {

using krv::Amplitude;
using krv::BlockLength;
using krv::Mod;
using krv::Offset;
using krv::PhaseShift;
using krv::SeriesKind;
using krv::ToneTable;

constexpr long double kPi = std::numbers::pi_v<long double>;
constexpr long double kTwoPi = 2 * kPi;

// A tone at or above half the sampling rate (or no tone at all) leaves only
// the offset.
bool Audible(std::int64_t fs, std::int64_t F) { return F > 0 && 2 * F < fs; }

// One period of the harmonic series of a tone with q cycles in P samples,
// times the waveform's factor, by the cheaper exact road.
std::vector<long double> SeriesPeriod(SeriesKind kind, std::int64_t K, std::int64_t q, std::int64_t P,
                                      const ToneTable& table) {
  return krv::SeriesDirectCost(kind, K, P, table.Length()) <= krv::SeriesTransformCost(P)
             ? krv::SeriesPeriodDirect(kind, K, q, P, table)
             : krv::SeriesPeriodTransform(kind, K, q, P, table);
}

}  // namespace

// --- building blocks ----------------------------------------------------------

std::int32_t TExFunctionLib::RoundHalfAway(long double x) {
  const long double r = x >= 0 ? std::trunc(x + 0.5L) : std::trunc(x - 0.5L);
  if (std::isnan(r)) return 0;
  if (r >= static_cast<long double>(std::numeric_limits<std::int32_t>::max()))
    return std::numeric_limits<std::int32_t>::max();
  if (r <= static_cast<long double>(std::numeric_limits<std::int32_t>::min()))
    return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(r);
}

TWaveBufferExtended TExFunctionLib::NormalizeByPeak(const TWaveBufferExtended& Buffer) {
  TWaveBufferExtended out = Buffer;
  krv::NormalizeInPlace(out.data(), out.size());
  return out;
}

TWaveBufferExtended TExFunctionLib::BurstGate(const TPCMFormat& PCMFormat, const TSignalAttribute& SignalAttribute) {
  const std::int64_t fs = PCMFormat._SamplingRate;
  if (fs <= 0) return {};
  TWaveBufferExtended gate(static_cast<std::size_t>(fs), 1.0L);
  const std::int64_t F = SignalAttribute._Frequency;
  const std::int64_t on = std::max<std::int64_t>(SignalAttribute._CycleOn, 0);
  const std::int64_t off = std::max<std::int64_t>(SignalAttribute._CycleOff, 0);
  if (F <= 0 || on + off == 0) return gate;  // no cycles to count: continuous

  // Products in 64 bits: On * fs reaches 10^10 and more.
  std::int64_t repeats = 1, onLength = fs, offLength = 0;
  if (on + off > F) {
    if (F >= on) {
      onLength = on * fs / F;
      offLength = fs - onLength;
    }
  } else {
    repeats = F / (on + off);
    onLength = on * fs / F;
    offLength = (on + off) * fs / F - onLength;
  }
  std::vector<long double> pattern(static_cast<std::size_t>(fs), 0.0L);
  std::int64_t pos = 0;
  for (std::int64_t r = 0; r < repeats && pos < fs; ++r) {
    const std::int64_t end = std::min(fs, pos + onLength);
    std::fill(pattern.begin() + pos, pattern.begin() + end, 1.0L);
    pos = end + offLength;
  }
  const std::int64_t shift = Mod(PhaseShift(fs, F, SignalAttribute._Phase), fs);
  std::rotate_copy(pattern.begin(), pattern.begin() + shift, pattern.end(), gate.begin());
  return gate;
}

// --- tone generators --------------------------------------------------------------

TWaveBufferExtended TExFunctionLib::GenerateWaveDataSine(const TPCMFormat& PCMFormat,
                                                         const TSignalAttribute& SignalAttribute,
                                                         std::int32_t WaveBufferMilliSec,
                                                         const TInternalSetting& InternalSetting) {
  return krv::Returned<TWaveBufferExtended>([&](TWaveBufferExtended& b) {
    GenerateWaveDataSine(PCMFormat, SignalAttribute, WaveBufferMilliSec, InternalSetting, b);
  });
}

void TExFunctionLib::GenerateWaveDataSine(const TPCMFormat& PCMFormat, const TSignalAttribute& SignalAttribute,
                                          std::int32_t WaveBufferMilliSec, const TInternalSetting& InternalSetting,
                                          TWaveBufferExtended& Buffer) {
  const krv::ExtendedPrecisionScope precision;  // whatever the caller's thread was left with
  const std::size_t N = BlockLength(PCMFormat._SamplingRate, WaveBufferMilliSec);
  const long double off = Offset(PCMFormat, SignalAttribute);
  const std::int64_t fs = PCMFormat._SamplingRate;
  const std::int64_t F = SignalAttribute._Frequency;
  if (N == 0 || !Audible(fs, F)) {
    Buffer.assign(N, off);
    return;
  }
  Buffer.resize(N);
  long double* y = Buffer.data();  // written through a pointer: no copy per sample
  const long double amp = Amplitude(SignalAttribute);
  const auto tablePtr = krv::ToneTableFor(fs);
  const ToneTable& table = *tablePtr;
  const std::int64_t phase = SignalAttribute._Phase;

  if (SignalAttribute._WarbleCycle != TWarbleCycle::_0Hz) {
    // Frequency modulation around the whole-hertz centre fc by +-dev at W Hz:
    // phase in cycles fc t + (dev / W) sin(2 pi W t) / (2 pi) + phase / 360.
    long double dev, centre;
    if (InternalSetting._WableDeviation == TWableDeviation::_1d3) {
      const long double a = std::pow(2.0L, 1.0L / 6), b = std::pow(2.0L, 1.0L / 3);
      dev = F * (b - 1) / (2 * a);
      centre = F * (b + 1) / (2 * a);
    } else {
      dev = std::sqrt(2.0L) * F / 4;
      centre = std::sqrt(2.0L) * 3 * F / 4;
    }
    const std::int64_t fc = RoundHalfAway(centre);
    std::int64_t W = 16;
    switch (SignalAttribute._WarbleCycle) {
      case TWarbleCycle::_16Hz: W = 16; break;
      case TWarbleCycle::_12Hz: W = 12; break;
      case TWarbleCycle::_8Hz: W = 8; break;
      default: W = 4; break;
    }
    const long double swing = dev / W / kTwoPi;  // modulation index in cycles
    const long double phaseCycles = phase / 360.0L;
    const long double invFs = 1.0L / static_cast<long double>(fs);
    const krv::CycleSine& sinCycles = krv::CycleSine::Get();
    const std::int64_t fcStep = Mod(fc, fs), wStep = Mod(W, fs);
    std::int64_t a = 0, m = 0;
    for (std::size_t i = 0; i < N; ++i) {
      const long double u = static_cast<long double>(a) * invFs + phaseCycles + swing * table.Sin(m);
      y[i] = amp * sinCycles(u) + off;
      if ((a += fcStep) >= fs) a -= fs;
      if ((m += wStep) >= fs) m -= fs;
    }
    return;
  }

  TWaveBufferExtended gate;
  if (SignalAttribute._CycleOff != 0) gate = BurstGate(PCMFormat, SignalAttribute);
  const std::size_t gateLength = gate.size();
  const std::int64_t step = F;  // F < fs/2
  std::size_t g = 0;
  auto put = [&](std::size_t i, long double s) {
    if (gateLength) {
      y[i] = gate[g] * amp * s + off;
      if (++g == gateLength) g = 0;
    } else {
      y[i] = amp * s + off;
    }
  };
  if ((fs * phase) % 360 == 0) {
    // The phase is a whole number of table steps.
    std::int64_t idx = Mod(fs * phase / 360, fs);
    for (std::size_t i = 0; i < N; ++i) {
      put(i, table.Sin(idx));
      if ((idx += step) >= fs) idx -= fs;
    }
  } else {
    const long double theta = kTwoPi * (phase / 360.0L);
    const long double sinTheta = std::sin(theta), cosTheta = std::cos(theta);
    std::int64_t idx = 0;
    for (std::size_t i = 0; i < N; ++i) {
      put(i, table.Sin(idx) * cosTheta + table.Cos(idx) * sinTheta);
      if ((idx += step) >= fs) idx -= fs;
    }
  }
}

namespace {

// Square, triangle and sawtooth: the series over one period
// P = fs / gcd(F, fs) (the tone makes F / gcd cycles in it) with its
// K = Trunc(((fs - 1) / 2) / F) harmonics.
std::vector<long double> DirectPeriod(SeriesKind kind, std::int64_t fs, std::int64_t F, std::size_t) {
  if (!Audible(fs, F)) return {};
  const std::int64_t K = (fs - 1) / (2 * F);
  const std::int64_t g = krv::Gcd(F, fs);
  const auto table = krv::ToneTableFor(fs);
  return SeriesPeriod(kind, K, F / g, fs / g, *table);
}

}  // namespace

TWaveBufferExtended TExFunctionLib::GenerateWaveDataSquare(const TPCMFormat& PCMFormat,
                                                           const TSignalAttribute& SignalAttribute,
                                                           std::int32_t WaveBufferMilliSec,
                                                           const TInternalSetting& InternalSetting) {
  return krv::Returned<TWaveBufferExtended>([&](TWaveBufferExtended& b) {
    GenerateWaveDataSquare(PCMFormat, SignalAttribute, WaveBufferMilliSec, InternalSetting, b);
  });
}

void TExFunctionLib::GenerateWaveDataSquare(const TPCMFormat& PCMFormat, const TSignalAttribute& SignalAttribute,
                                            std::int32_t WaveBufferMilliSec, const TInternalSetting&,
                                            TWaveBufferExtended& Buffer) {
  krv::HarmonicTone(PCMFormat, SignalAttribute, WaveBufferMilliSec, SeriesKind::Square, &DirectPeriod, &BurstGate,
                    Buffer);
}

TWaveBufferExtended TExFunctionLib::GenerateWaveDataTriangle(const TPCMFormat& PCMFormat,
                                                             const TSignalAttribute& SignalAttribute,
                                                             std::int32_t WaveBufferMilliSec,
                                                             const TInternalSetting& InternalSetting) {
  return krv::Returned<TWaveBufferExtended>([&](TWaveBufferExtended& b) {
    GenerateWaveDataTriangle(PCMFormat, SignalAttribute, WaveBufferMilliSec, InternalSetting, b);
  });
}

void TExFunctionLib::GenerateWaveDataTriangle(const TPCMFormat& PCMFormat, const TSignalAttribute& SignalAttribute,
                                              std::int32_t WaveBufferMilliSec, const TInternalSetting&,
                                              TWaveBufferExtended& Buffer) {
  krv::HarmonicTone(PCMFormat, SignalAttribute, WaveBufferMilliSec, SeriesKind::Triangle, &DirectPeriod, &BurstGate,
                    Buffer);
}

TWaveBufferExtended TExFunctionLib::GenerateWaveDataSawtooth(const TPCMFormat& PCMFormat,
                                                             const TSignalAttribute& SignalAttribute,
                                                             std::int32_t WaveBufferMilliSec,
                                                             const TInternalSetting& InternalSetting) {
  return krv::Returned<TWaveBufferExtended>([&](TWaveBufferExtended& b) {
    GenerateWaveDataSawtooth(PCMFormat, SignalAttribute, WaveBufferMilliSec, InternalSetting, b);
  });
}

void TExFunctionLib::GenerateWaveDataSawtooth(const TPCMFormat& PCMFormat, const TSignalAttribute& SignalAttribute,
                                              std::int32_t WaveBufferMilliSec, const TInternalSetting&,
                                              TWaveBufferExtended& Buffer) {
  krv::HarmonicTone(PCMFormat, SignalAttribute, WaveBufferMilliSec, SeriesKind::Sawtooth, &DirectPeriod, &BurstGate,
                    Buffer);
}

// --- sweep --------------------------------------------------------------------------

TWaveBufferExtended TExFunctionLib::GenerateWaveDataSweep(const TPCMFormat& PCMFormat,
                                                          const TSignalAttribute& SignalAttribute,
                                                          std::int32_t WaveBufferMilliSec,
                                                          std::int32_t TimeStart) {
  return krv::Returned<TWaveBufferExtended>([&](TWaveBufferExtended& b) {
    GenerateWaveDataSweep(PCMFormat, SignalAttribute, WaveBufferMilliSec, TimeStart, b);
  });
}

void TExFunctionLib::GenerateWaveDataSweep(const TPCMFormat& PCMFormat, const TSignalAttribute& SignalAttribute,
                                           std::int32_t WaveBufferMilliSec, std::int32_t TimeStart,
                                           TWaveBufferExtended& Buffer) {
  const krv::ExtendedPrecisionScope precision;  // whatever the caller's thread was left with
  const std::size_t N = BlockLength(PCMFormat._SamplingRate, WaveBufferMilliSec);
  Buffer.resize(N);
  if (N == 0) return;
  long double* y = Buffer.data();  // written through a pointer: no copy per sample
  const std::int64_t fs = PCMFormat._SamplingRate;
  const long double amp = Amplitude(SignalAttribute);
  const std::int64_t P = std::max<std::int32_t>(SignalAttribute._SweepPeriod, 1);
  const std::int64_t f0 = SignalAttribute._SweepFrequency._Start;
  const std::int64_t f1 = SignalAttribute._SweepFrequency._Stop;
  const krv::CycleSine& sinCycles = krv::CycleSine::Get();

  if (SignalAttribute._SweepType == TSweepType::_Log && f0 != f1 && f0 > 0 && f1 > 0) {
    // Cycles since the sweep began: f0 P (r^(tau/P) - 1) / ln r, with
    // r^(tau/P) - 1 = expm1(n lambda) for sample n. expm1 is evaluated at
    // every 64th sample and the steps between come from a small table:
    // e^(A+B) - 1 = (e^A - 1) e^B + (e^B - 1).
    const long double lnr = std::log(static_cast<long double>(f1) / static_cast<long double>(f0));
    const long double lambda = lnr / (static_cast<long double>(P) * static_cast<long double>(fs));
    const long double cycles = static_cast<long double>(f0) * static_cast<long double>(P) / lnr;
    constexpr std::size_t kRun = 64;
    long double stepMinusOne[kRun];
    for (std::size_t j = 0; j < kRun; ++j) stepMinusOne[j] = std::expm1(static_cast<long double>(j) * lambda);
    for (std::size_t a = 0; a < N; a += kRun) {
      const long double e = std::expm1((static_cast<long double>(TimeStart) + static_cast<long double>(a)) * lambda);
      // cycles * (e (1 + q) + q) = base + slope * q
      const long double base = cycles * e, slope = cycles * (e + 1);
      const std::size_t end = std::min(N, a + kRun);
      if (base > -krv::CycleSine::kNear && base < krv::CycleSine::kNear && slope < krv::CycleSine::kNear) {
        for (std::size_t i = a; i < end; ++i) y[i] = amp * sinCycles.Near(base + slope * stepMinusOne[i - a]);
      } else {
        for (std::size_t i = a; i < end; ++i) y[i] = amp * sinCycles(base + slope * stepMinusOne[i - a]);
      }
    }
    return;
  }

  // Linear (and the logarithmic sweep with equal ends, whose limit is the
  // steady tone f0): cycles since the sweep began, for sample n,
  //   (2 f0 P fs n + (f1 - f0) n^2) / (2 P fs^2),
  // kept as an exact remainder modulo the denominator D.
  const __int128 D = static_cast<__int128>(2) * P * fs * fs;
  if (fs <= 0 || D >= (static_cast<__int128>(1) << 62)) {
    Buffer.assign(N, 0.0L);
    return;
  }
  const auto d = static_cast<std::int64_t>(D);
  auto modD = [&](__int128 v) {
    v %= D;
    return static_cast<std::int64_t>(v < 0 ? v + D : v);
  };
  const __int128 n0 = TimeStart;
  std::int64_t rem = modD(2 * static_cast<__int128>(f0) * P * fs * n0 + static_cast<__int128>(f1 - f0) * n0 * n0);
  std::int64_t delta = modD(2 * static_cast<__int128>(f0) * P * fs + static_cast<__int128>(f1 - f0) * (2 * n0 + 1));
  const std::int64_t accel = modD(2 * static_cast<__int128>(f1 - f0));
  const long double invD = 1.0L / static_cast<long double>(d);
  for (std::size_t i = 0; i < N; ++i) {
    y[i] = amp * sinCycles.Near(static_cast<long double>(rem) * invD);  // in 0 .. 1
    if ((rem += delta) >= d) rem -= d;
    if ((delta += accel) >= d) delta -= d;
  }
}
