// Square, triangle and sawtooth made from their line spectrum: the
// harmonics are written into a spectrum of the block's length and turned
// into samples by one inverse transform. The frame around it (phase
// rotation, peak normalisation, burst gate, amplitude and offset) is the
// one of the direct generators.
#include <cstdint>

#include "synthesis/FourierPlan.h"
#include "synthesis/ToneFrame.h"
#include "synthesis/ToneSeries.h"
#include "synthesis/UnitFunction.h"

namespace {

using krv::SeriesKind;

}  // namespace

// One struct with access to the engine's building blocks.
struct TSpectralTone : TExFunctionLib {
  // The block of N samples as one period: harmonic h at bin h F for
  // h F <= N div 2 - 1, as (0, -A c_h) with its mirror (0, +A c_h) at bin
  // N - h F, through the inverse transform.
  static std::vector<long double> Period(SeriesKind kind, std::int64_t, std::int64_t F, std::size_t N) {
    const auto n64 = static_cast<std::int64_t>(N);
    const std::int64_t top = n64 / 2 - 1;
    const std::int64_t K = top >= F ? top / F : 0;
    const auto lines = krv::SeriesLines(kind, K, F, n64);
    std::vector<long double> S(N);
    if (N % 2 == 0) {
      // The spectrum of a real tone is conjugate-symmetric: the inverse
      // reads its lines where they are and writes the real samples only.
      std::vector<long double> im(static_cast<std::size_t>(K) + 1, 0.0L);
      for (const auto& [j, v] : lines) im[static_cast<std::size_t>(j / F)] = v;
      krv::BluesteinPlan::Get(N / 2)->InverseOfLines(im.data(), im.size(), kind == SeriesKind::Sawtooth ? 1 : 2,
                                                     static_cast<std::size_t>(F), S.data());
      return S;
    }
    TProgressionComplex X(N, TComplex{0, 0});
    for (const auto& [j, v] : lines) {
      X[static_cast<std::size_t>(j)] = {0, -v};
      X[static_cast<std::size_t>(n64 - j)] = {0, v};
    }
    const TProgressionComplex Y = IDFTBluestein(X);
    for (std::size_t i = 0; i < N; ++i) S[i] = Y[i].Real;
    return S;
  }

  static void Make(const TPCMFormat& PCMFormat, const TSignalAttribute& SignalAttribute,
                   std::int32_t WaveBufferMilliSec, SeriesKind kind, TWaveBufferExtended& Buffer) {
    krv::HarmonicTone(PCMFormat, SignalAttribute, WaveBufferMilliSec, kind, &Period, &BurstGate, Buffer);
  }
  static TWaveBufferExtended Make(const TPCMFormat& PCMFormat, const TSignalAttribute& SignalAttribute,
                                  std::int32_t WaveBufferMilliSec, SeriesKind kind) {
    return krv::Returned<TWaveBufferExtended>(
        [&](TWaveBufferExtended& b) { Make(PCMFormat, SignalAttribute, WaveBufferMilliSec, kind, b); });
  }
};

TWaveBufferExtended TExFunctionLib::GenerateWaveDataSquareIFFT(const TPCMFormat& PCMFormat,
                                                               const TSignalAttribute& SignalAttribute,
                                                               std::int32_t WaveBufferMilliSec,
                                                               const TInternalSetting&) {
  return TSpectralTone::Make(PCMFormat, SignalAttribute, WaveBufferMilliSec, SeriesKind::Square);
}

TWaveBufferExtended TExFunctionLib::GenerateWaveDataTriangleIFFT(const TPCMFormat& PCMFormat,
                                                                 const TSignalAttribute& SignalAttribute,
                                                                 std::int32_t WaveBufferMilliSec,
                                                                 const TInternalSetting&) {
  return TSpectralTone::Make(PCMFormat, SignalAttribute, WaveBufferMilliSec, SeriesKind::Triangle);
}

TWaveBufferExtended TExFunctionLib::GenerateWaveDataSawtoothIFFT(const TPCMFormat& PCMFormat,
                                                                 const TSignalAttribute& SignalAttribute,
                                                                 std::int32_t WaveBufferMilliSec,
                                                                 const TInternalSetting&) {
  return TSpectralTone::Make(PCMFormat, SignalAttribute, WaveBufferMilliSec, SeriesKind::Sawtooth);
}

void TExFunctionLib::GenerateWaveDataSquareIFFT(const TPCMFormat& PCMFormat, const TSignalAttribute& SignalAttribute,
                                                std::int32_t WaveBufferMilliSec, const TInternalSetting&,
                                                TWaveBufferExtended& Buffer) {
  TSpectralTone::Make(PCMFormat, SignalAttribute, WaveBufferMilliSec, SeriesKind::Square, Buffer);
}

void TExFunctionLib::GenerateWaveDataTriangleIFFT(const TPCMFormat& PCMFormat, const TSignalAttribute& SignalAttribute,
                                                  std::int32_t WaveBufferMilliSec, const TInternalSetting&,
                                                  TWaveBufferExtended& Buffer) {
  TSpectralTone::Make(PCMFormat, SignalAttribute, WaveBufferMilliSec, SeriesKind::Triangle, Buffer);
}

void TExFunctionLib::GenerateWaveDataSawtoothIFFT(const TPCMFormat& PCMFormat, const TSignalAttribute& SignalAttribute,
                                                  std::int32_t WaveBufferMilliSec, const TInternalSetting&,
                                                  TWaveBufferExtended& Buffer) {
  TSpectralTone::Make(PCMFormat, SignalAttribute, WaveBufferMilliSec, SeriesKind::Sawtooth, Buffer);
}
