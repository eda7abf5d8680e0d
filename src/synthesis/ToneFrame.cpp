#include "synthesis/ToneFrame.h"

#include <cmath>
#include <utility>

#include "synthesis/ExtendedPrecision.h"

namespace krv {

std::size_t BlockLength(std::int32_t fs, std::int32_t milliSec) {
  if (fs <= 0 || milliSec <= 0) return 0;
  return static_cast<std::size_t>((static_cast<std::int64_t>(fs) * milliSec + 999) / 1000);
}

long double Amplitude(const TSignalAttribute& a) { return std::pow(10.0L, a._Amplitude / 20.0L); }

long double Offset(const TPCMFormat& f, const TSignalAttribute& a) {
  return a._Offset / std::ldexp(1.0L, f._Quantization);
}

std::int64_t Mod(std::int64_t a, std::int64_t n) {
  a %= n;
  return a < 0 ? a + n : a;
}

// A real-number evaluation of the quotient truncates one sample short
// whenever it is whole but rounds just below (-303 degrees of 10 Hz at
// 48000 Hz is exactly -4040 samples); the integer one cannot.
std::int64_t PhaseShift(std::int64_t fs, std::int64_t F, std::int64_t phase) {
  return fs * phase / (F * 360);  // C++ division truncates toward zero
}

void NormalizeInPlace(long double* x, std::size_t n) {
  long double peak = 1.0L;
  for (std::size_t i = 0; i < n; ++i)
    if (x[i] > peak) peak = x[i];
  if (peak == 1.0L) return;
  for (std::size_t i = 0; i < n; ++i) x[i] /= peak;
}

void FrameTone(std::vector<long double> S, std::size_t N, std::int64_t shift, long double amp, long double off,
               const TWaveBufferExtended& gate, TWaveBufferExtended& out) {
  if (N == 0 || S.empty()) {
    out.assign(N, off);
    return;
  }
  if (N < S.size()) S.resize(N);
  NormalizeInPlace(S.data(), S.size());

  out.resize(N);
  long double* y = out.data();  // written through a pointer: no copy per sample
  const auto n64 = static_cast<std::int64_t>(N);
  const auto period = static_cast<std::int64_t>(S.size());
  std::int64_t idx = Mod(shift, n64);
  std::int64_t n = idx % period;
  std::size_t gi = 0;
  for (std::size_t i = 0; i < N; ++i) {
    const long double v = S[static_cast<std::size_t>(n)];
    if (gate.empty()) {
      y[i] = amp * v + off;
    } else {
      y[i] = gate[gi] * amp * v + off;
      if (++gi == gate.size()) gi = 0;
    }
    ++idx;
    if (++n == period) n = 0;
    if (idx == n64) idx = n = 0;
  }
}

void HarmonicTone(const TPCMFormat& PCMFormat, const TSignalAttribute& SignalAttribute, std::int32_t milliSec,
                  SeriesKind Kind, TonePeriod period, BurstGateMaker burstGate, TWaveBufferExtended& out) {
  const ExtendedPrecisionScope precision;  // whatever the caller's thread was left with
  const std::size_t N = BlockLength(PCMFormat._SamplingRate, milliSec);
  const long double off = Offset(PCMFormat, SignalAttribute);
  const std::int64_t fs = PCMFormat._SamplingRate;
  const std::int64_t F = SignalAttribute._Frequency;
  std::vector<long double> S;
  if (N > 0 && F > 0) S = period(Kind, fs, F, N);
  const TWaveBufferExtended gate = !S.empty() && SignalAttribute._CycleOff != 0
                                       ? burstGate(PCMFormat, SignalAttribute)
                                       : TWaveBufferExtended{};
  FrameTone(std::move(S), N, F > 0 ? PhaseShift(fs, F, SignalAttribute._Phase) : 0, Amplitude(SignalAttribute),
            off, gate, out);
}

}  // namespace krv
