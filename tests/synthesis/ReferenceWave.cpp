#include "synthesis/ReferenceWave.h"

#include <cmath>
#include <numbers>

namespace ref {

namespace {

constexpr long double kPi = std::numbers::pi_v<long double>;

std::int64_t Length(std::int32_t fs, std::int32_t milliSec) {
  return static_cast<std::int64_t>(std::ceil(static_cast<long double>(fs) * milliSec / 1000));
}

long double Amp(const TSignalAttribute& a) { return std::pow(10.0L, a._Amplitude / 20.0L); }
long double Off(const TPCMFormat& f, const TSignalAttribute& a) { return a._Offset / std::pow(2.0L, f._Quantization); }

std::int64_t Mod(std::int64_t a, std::int64_t n) { return ((a % n) + n) % n; }

}  // namespace

std::int32_t RoundHalfAway(long double x) {
  return x >= 0 ? static_cast<std::int32_t>(std::trunc(x + 0.5L)) : static_cast<std::int32_t>(std::trunc(x - 0.5L));
}

Wave NormalizeByPeak(const Wave& x) {
  long double peak = 1.0L;
  for (const long double v : x)
    if (v > peak) peak = v;
  Wave out(x.size());
  for (std::size_t i = 0; i < x.size(); ++i) out[i] = x[i] / peak;
  return out;
}

std::int64_t Shift(std::int32_t fs, std::int32_t F, std::int32_t phase) {
  return static_cast<std::int64_t>(std::trunc((static_cast<long double>(fs) / F) * (phase / 360.0L)));
}

Wave BurstGate(const TPCMFormat& f, const TSignalAttribute& a) {
  const std::int64_t fs = f._SamplingRate, F = a._Frequency, on = a._CycleOn, off = a._CycleOff;
  std::int64_t repeats, onLen, offLen;
  if (on + off > F) {
    repeats = 1;
    if (F < on) {
      onLen = fs;
      offLen = 0;
    } else {
      onLen = static_cast<std::int64_t>(std::trunc(static_cast<long double>(on) * fs / F));
      offLen = fs - onLen;
    }
  } else {
    repeats = static_cast<std::int64_t>(std::trunc(static_cast<long double>(F) / (on + off)));
    onLen = static_cast<std::int64_t>(std::trunc(static_cast<long double>(on) * fs / F));
    offLen = static_cast<std::int64_t>(std::trunc(static_cast<long double>(on + off) * fs / F)) - onLen;
  }
  Wave pattern;
  for (std::int64_t r = 0; r < repeats; ++r) {
    pattern.insert(pattern.end(), static_cast<std::size_t>(onLen), 1.0L);
    pattern.insert(pattern.end(), static_cast<std::size_t>(offLen), 0.0L);
  }
  pattern.resize(static_cast<std::size_t>(fs), 0.0L);
  const std::int64_t shift = Shift(f._SamplingRate, a._Frequency, a._Phase);
  Wave gate(static_cast<std::size_t>(fs));
  for (std::int64_t i = 0; i < fs; ++i) gate[static_cast<std::size_t>(i)] = pattern[static_cast<std::size_t>(Mod(shift + i, fs))];
  return gate;
}

Wave Sine(const TPCMFormat& f, const TSignalAttribute& a, std::int32_t milliSec, const TInternalSetting& s) {
  const std::int64_t N = Length(f._SamplingRate, milliSec);
  const long double fs = f._SamplingRate, F = a._Frequency, amp = Amp(a), off = Off(f, a);
  const long double phase = 2 * kPi * a._Phase / 360;
  Wave y(static_cast<std::size_t>(N));
  if (a._WarbleCycle == TWarbleCycle::_0Hz) {
    const Wave gate = a._CycleOff != 0 ? BurstGate(f, a) : Wave{};
    for (std::int64_t i = 0; i < N; ++i) {
      const long double t = i / fs;
      const long double sine = std::sin(2 * kPi * F * t + phase);
      y[static_cast<std::size_t>(i)] = gate.empty() ? amp * sine + off : gate[static_cast<std::size_t>(i)] * amp * sine + off;
    }
    return y;
  }
  long double dev, fc;
  if (s._WableDeviation == TWableDeviation::_1d3) {
    const long double A = std::pow(2.0L, 1.0L / 6), B = std::pow(2.0L, 1.0L / 3);
    dev = F * (B - 1) / (2 * A);
    fc = RoundHalfAway(F * (B + 1) / (2 * A));
  } else {
    dev = std::sqrt(2.0L) * F / 4;
    fc = RoundHalfAway(std::sqrt(2.0L) * 3 * F / 4);
  }
  const long double W = a._WarbleCycle == TWarbleCycle::_16Hz   ? 16
                        : a._WarbleCycle == TWarbleCycle::_12Hz ? 12
                        : a._WarbleCycle == TWarbleCycle::_8Hz  ? 8
                                                                : 4;
  for (std::int64_t i = 0; i < N; ++i) {
    const long double t = i / fs;
    y[static_cast<std::size_t>(i)] =
        amp * std::sin(2 * kPi * fc * t + (dev / W) * std::sin(2 * kPi * W * t) + phase) + off;
  }
  return y;
}

long double HarmonicSum(TWaveform w, std::int32_t fs, std::int32_t F, std::int64_t i) {
  const std::int64_t K = static_cast<std::int64_t>(std::trunc(((fs - 1) / 2.0L) / F));
  const long double t = static_cast<long double>(i) / fs;
  long double sum = 0;
  switch (w) {
    case TWaveform::_Square:
      for (std::int64_t k = 1; k <= K; k += 2) sum += std::sin(2 * kPi * k * F * t) / k;
      return (4 / kPi) * sum;
    case TWaveform::_Triangle:
      for (std::int64_t k = 1; k <= K; k += 2) {
        const long double sk = (k + 1) % 4 != 0 ? 1 : -1;
        sum += sk * std::sin(2 * kPi * k * F * t) / (static_cast<long double>(k) * k);
      }
      return (8 / (kPi * kPi)) * sum;
    default:
      for (std::int64_t k = 1; k <= K; ++k) {
        const long double sign = (k + 1) % 2 == 0 ? 1 : -1;  // (-1)^(k+1)
        sum += sign * std::sin(2 * kPi * k * F * t) / k;
      }
      return (2 / kPi) * sum;
  }
}

Wave Harmonic(TWaveform w, const TPCMFormat& f, const TSignalAttribute& a, std::int32_t milliSec) {
  const std::int64_t N = Length(f._SamplingRate, milliSec);
  Wave S(static_cast<std::size_t>(N)), R(static_cast<std::size_t>(N));
  for (std::int64_t i = 0; i < N; ++i) S[static_cast<std::size_t>(i)] = HarmonicSum(w, f._SamplingRate, a._Frequency, i);
  const std::int64_t shift = Shift(f._SamplingRate, a._Frequency, a._Phase);
  for (std::int64_t i = 0; i < N; ++i) R[static_cast<std::size_t>(i)] = S[static_cast<std::size_t>(Mod(shift + i, N))];
  const Wave P = NormalizeByPeak(R);
  const Wave gate = a._CycleOff != 0 ? BurstGate(f, a) : Wave{};
  const long double amp = Amp(a), off = Off(f, a);
  Wave y(static_cast<std::size_t>(N));
  for (std::size_t i = 0; i < y.size(); ++i) y[i] = gate.empty() ? amp * P[i] + off : gate[i] * amp * P[i] + off;
  return y;
}

Wave Sweep(const TPCMFormat& f, const TSignalAttribute& a, std::int32_t milliSec, std::int32_t timeStart) {
  const std::int64_t N = Length(f._SamplingRate, milliSec);
  const long double fs = f._SamplingRate, amp = Amp(a), P = a._SweepPeriod;
  const long double f0 = a._SweepFrequency._Start, f1 = a._SweepFrequency._Stop;
  Wave y(static_cast<std::size_t>(N));
  for (std::int64_t i = 0; i < N; ++i) {
    const long double tau = (timeStart + i) / fs;
    long double phi;
    if (a._SweepType == TSweepType::_Linear) {
      phi = 2 * kPi * (f0 * tau + ((f1 - f0) / P) * tau * tau / 2);
    } else {
      const long double r = f1 / f0;
      phi = 2 * kPi * f0 * P * (std::pow(r, tau / P) - 1) / std::log(r);
    }
    y[static_cast<std::size_t>(i)] = amp * std::sin(phi);
  }
  return y;
}

TWaveBufferExtendedStereo Mix(const TPCMFormat& f, std::int32_t channels, const TSignalAttributeArray& a,
                              const TWaveBufferExtendedArray& w, std::int32_t milliSec) {
  const std::int64_t N = Length(f._SamplingRate, milliSec);
  Wave left(static_cast<std::size_t>(N), 0.0L), right(static_cast<std::size_t>(N), 0.0L);
  int nL = 0, nR = 0;
  const long double rho = a[static_cast<std::size_t>(channels - 1)]._Phase == 180 ? -1 : 1;
  for (int r = 0; r < channels; ++r) {
    const auto ch = a[static_cast<std::size_t>(r)]._OutputChannel;
    const Wave& b = w[static_cast<std::size_t>(r)];
    if (ch == TOutputChannel::_Both || ch == TOutputChannel::_Lch) {
      for (std::int64_t i = 0; i < N; ++i) left[static_cast<std::size_t>(i)] += b[static_cast<std::size_t>(i)];
      ++nL;
    }
    if (ch == TOutputChannel::_Both || ch == TOutputChannel::_Rch) {
      for (std::int64_t i = 0; i < N; ++i) right[static_cast<std::size_t>(i)] += rho * b[static_cast<std::size_t>(i)];
      ++nR;
    }
  }
  for (std::int64_t i = 0; i < N; ++i) {
    left[static_cast<std::size_t>(i)] = nL == 0 ? 0.0L : left[static_cast<std::size_t>(i)] / nL;
    right[static_cast<std::size_t>(i)] = nR == 0 ? 0.0L : right[static_cast<std::size_t>(i)] / nR;
  }
  return {left, right};
}

std::int32_t QuantizeSample(const TPCMFormat& f, long double x, long double d) {
  const long double M = std::trunc(std::pow(2.0L, f._Quantization - 1) - 2);
  const long double A = std::fabs(x);
  long double m;
  if (std::trunc(A) >= M) {
    m = M;
  } else {
    switch (f._Rounding) {
      case TRounding::_RZ: m = std::floor(A); break;
      case TRounding::_RI: m = std::ceil(A); break;
      case TRounding::_RN: m = RoundHalfAway(A); break;
      case TRounding::_RNE: {
        // nearest, halves to the even neighbour
        const long double lo = std::floor(A);
        const long double diff = A - lo;
        if (diff < 0.5L) m = lo;
        else if (diff > 0.5L) m = lo + 1;
        else m = std::fmod(lo, 2.0L) == 0 ? lo : lo + 1;
        break;
      }
      default: m = std::trunc(A + d); break;
    }
  }
  return x > 0 ? static_cast<std::int32_t>(m) : -static_cast<std::int32_t>(m);
}

TWaveBufferIntegerStereo Quantize(const TPCMFormat& f, long double gainL, long double gainR,
                                  const TWaveBufferExtendedStereo& in, std::int32_t milliSec, const Wave& D) {
  const std::int64_t N = Length(f._SamplingRate, milliSec);
  const long double M0 = std::trunc(std::pow(2.0L, f._Quantization - 1) - 1);
  const long double s = f._NoiseShaping == TNoiseShaping::_Off   ? M0 - 0.5L
                        : f._NoiseShaping == TNoiseShaping::_1st ? M0 - 1.5L
                                                                 : M0 - 3.5L;
  TWaveBufferIntegerStereo out;
  for (int c = 0; c < 2; ++c) {
    const long double gain = c == 0 ? gainL : gainR;
    Wave v(static_cast<std::size_t>(N));
    for (std::int64_t i = 0; i < N; ++i) v[static_cast<std::size_t>(i)] = s * gain * in[static_cast<std::size_t>(c)][static_cast<std::size_t>(i)];
    TWaveBufferInteger q(static_cast<std::size_t>(N));
    auto Q = [&](long double x, std::int64_t i) { return QuantizeSample(f, x, D[static_cast<std::size_t>(i)]); };
    if (f._NoiseShaping == TNoiseShaping::_Off) {
      for (std::int64_t i = 0; i < N; ++i) q[static_cast<std::size_t>(i)] = Q(v[static_cast<std::size_t>(i)], i);
    } else if (f._NoiseShaping == TNoiseShaping::_1st) {
      std::vector<long double> x(static_cast<std::size_t>(N));
      x[0] = v[0];
      q[0] = Q(x[0], 0);
      for (std::int64_t i = 1; i < N; ++i) {
        const auto k = static_cast<std::size_t>(i);
        x[k] = v[k] + x[k - 1] - q[k - 1];
        q[k] = Q(x[k], i);
      }
      const long double xw = v[0] + x[static_cast<std::size_t>(N - 1)] - q[static_cast<std::size_t>(N - 1)];
      q[0] = Q(xw, 0);
    } else {
      long double a = v[0], b = v[0];
      q[0] = Q(b, 0);
      for (std::int64_t i = 1; i < N; ++i) {
        const auto k = static_cast<std::size_t>(i);
        a = a + v[k] - q[k - 1];
        b = b + a - q[k - 1];
        q[k] = Q(b, i);
      }
      a = a + v[0] - q[static_cast<std::size_t>(N - 1)];
      b = b + a - q[static_cast<std::size_t>(N - 1)];
      q[0] = Q(b, 0);
      a = a + v[1] - q[0];
      b = b + a - q[0];
      q[1] = Q(b, 1);
    }
    out[static_cast<std::size_t>(c)] = q;
  }
  return out;
}

}  // namespace ref
