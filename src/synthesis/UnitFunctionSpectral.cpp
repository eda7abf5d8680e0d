// Square, triangle and sawtooth made from their line spectrum: the
// harmonics are written into a one-second spectrum and turned into samples
// by one inverse transform of the block's length. The frame around the
// spectrum (phase rotation, peak normalisation, burst gate, amplitude and
// offset) is the one of the direct generators.
#include <cmath>
#include <cstdint>
#include <numbers>

#include "synthesis/UnitFunction.h"

namespace {

enum class Shape { Square, Triangle, Sawtooth };

struct Line {
  long double factor;  // A
  bool oddOnly;        // only the odd harmonics
};

Line LineOf(Shape shape) {
  constexpr long double pi = std::numbers::pi_v<long double>;
  switch (shape) {
    case Shape::Square: return {4 / pi, true};
    case Shape::Triangle: return {8 / (pi * pi), true};
    case Shape::Sawtooth:
    default: return {2 / pi, false};
  }
}

// c_h of harmonic h.
long double Coefficient(Shape shape, std::int64_t h) {
  const long double x = static_cast<long double>(h);
  switch (shape) {
    case Shape::Square: return 1 / x;
    case Shape::Triangle: return (h % 4 == 1 ? 1 : -1) / (x * x);
    case Shape::Sawtooth:
    default: return (h % 2 == 1 ? 1 : -1) / x;
  }
}

}  // namespace

// One struct with access to the engine's building blocks.
struct TSpectralTone : TExFunctionLib {
  static TWaveBufferExtended Make(const TPCMFormat& PCMFormat, const TSignalAttribute& SignalAttribute,
                                  std::int32_t WaveBufferMilliSec, Shape shape) {
    const std::int64_t fs = PCMFormat._SamplingRate;
    const std::int64_t F = SignalAttribute._Frequency;
    const std::int64_t samples = fs * WaveBufferMilliSec;
    const std::size_t N = samples > 0 ? static_cast<std::size_t>((samples + 999) / 1000) : 0;
    const long double off = SignalAttribute._Offset / std::pow(2.0L, PCMFormat._Quantization);
    if (N == 0 || F <= 0) return TWaveBufferExtended(N, off);
    const long double amp = std::pow(10.0L, SignalAttribute._Amplitude / 20.0L);

    // The line spectrum: harmonic h at bin h F for h F <= N div 2 - 1, as
    // (0, -A c_h) with its mirror (0, +A c_h) at bin N - h F.
    TWaveBufferExtended R;
    {
      TProgressionComplex Y;
      {
        const Line line = LineOf(shape);
        TProgressionComplex X(N, TComplex{0, 0});
        const auto top = static_cast<std::int64_t>(N / 2) - 1;
        for (std::int64_t h = 1; h * F <= top; h += line.oddOnly ? 2 : 1) {
          const long double v = line.factor * Coefficient(shape, h);
          const auto j = static_cast<std::size_t>(h * F);
          X[j] = {0, -v};
          X[N - j] = {0, v};
        }
        Y = IDFTBluestein(X);
      }
      // Rotated by the phase as a whole number of samples, remainder in
      // 0 .. N-1 (a negative phase rotates the other way).
      const auto n64 = static_cast<std::int64_t>(N);
      const std::int64_t shift = fs * SignalAttribute._Phase / (F * 360);  // Trunc((fs / F) (phase / 360))
      std::size_t k = static_cast<std::size_t>(((shift % n64) + n64) % n64);
      R.resize(N);
      for (std::size_t i = 0; i < N; ++i) {
        R[i] = Y[k].Real;
        if (++k == N) k = 0;
      }
    }
    TWaveBufferExtended y = NormalizeByPeak(R);
    R = {};

    if (SignalAttribute._CycleOff == 0) {
      for (long double& v : y) v = amp * v + off;
    } else {
      // The gate covers one second; a longer block repeats it.
      const TWaveBufferExtended gate = BurstGate(PCMFormat, SignalAttribute);
      if (gate.empty()) return TWaveBufferExtended(N, off);
      for (std::size_t i = 0, g = 0; i < N; ++i) {
        y[i] = gate[g] * amp * y[i] + off;
        if (++g == gate.size()) g = 0;
      }
    }
    return y;
  }
};

TWaveBufferExtended TExFunctionLib::GenerateWaveDataSquareIFFT(const TPCMFormat& PCMFormat,
                                                               const TSignalAttribute& SignalAttribute,
                                                               std::int32_t WaveBufferMilliSec,
                                                               const TInternalSetting&) {
  return TSpectralTone::Make(PCMFormat, SignalAttribute, WaveBufferMilliSec, Shape::Square);
}

TWaveBufferExtended TExFunctionLib::GenerateWaveDataTriangleIFFT(const TPCMFormat& PCMFormat,
                                                                 const TSignalAttribute& SignalAttribute,
                                                                 std::int32_t WaveBufferMilliSec,
                                                                 const TInternalSetting&) {
  return TSpectralTone::Make(PCMFormat, SignalAttribute, WaveBufferMilliSec, Shape::Triangle);
}

TWaveBufferExtended TExFunctionLib::GenerateWaveDataSawtoothIFFT(const TPCMFormat& PCMFormat,
                                                                 const TSignalAttribute& SignalAttribute,
                                                                 std::int32_t WaveBufferMilliSec,
                                                                 const TInternalSetting&) {
  return TSpectralTone::Make(PCMFormat, SignalAttribute, WaveBufferMilliSec, Shape::Sawtooth);
}
