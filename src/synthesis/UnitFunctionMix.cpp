// Mixing the signal records into left and right, and quantising the two
// channels to integer PCM with rounding, dither and noise shaping.
#include <cmath>
#include <cstdint>

#include "synthesis/UnitFunction.h"

namespace {

std::size_t BlockLength(std::int32_t fs, std::int32_t milliSec) {
  if (fs <= 0 || milliSec <= 0) return 0;
  return static_cast<std::size_t>((static_cast<std::int64_t>(fs) * milliSec + 999) / 1000);
}

// Bit depths beyond 32 would not fit the 32-bit results.
std::int32_t Bits(const TPCMFormat& f) { return f._Quantization > 32 ? 32 : f._Quantization; }

// The per-sample quantiser of one format: rounding of the magnitude and
// saturation at M = 2^(bits-1) - 2, one below the format's maximum.
class Quantizer {
 public:
  explicit Quantizer(const TPCMFormat& f)
      : limit_(std::trunc(std::ldexp(1.0L, Bits(f) - 1) - 2)), rounding_(f._Rounding) {
    if (limit_ < 0) limit_ = 0;
  }

  long double Limit() const { return limit_; }

  // Whether x lies beyond the saturation limit (its magnitude is held at M).
  bool Saturates(long double x) const { return std::fabs(x) >= limit_; }

  // x > 0 gives the magnitude, anything else its negation (so x = 0 with a
  // dither value of 1.0 gives -1). NaN gives 0. The saturation test compares
  // in floating point, so no out-of-range value is ever converted.
  std::int32_t operator()(long double x, long double d) const {
    if (std::isnan(x)) return 0;
    const long double A = std::fabs(x);
    long double m;
    if (A >= limit_) {
      m = limit_;
    } else {
      switch (rounding_) {
        case TRounding::_RZ: m = std::floor(A); break;
        case TRounding::_RI: m = std::ceil(A); break;
        case TRounding::_RN: m = std::trunc(A + 0.5L); break;
        case TRounding::_RNE: {
          m = std::floor(A);
          const long double frac = A - m;
          if (frac > 0.5L || (frac == 0.5L && std::fmod(m, 2.0L) != 0)) m += 1;
          break;
        }
        default: {
          m = std::trunc(A + d);
          if (!(m <= limit_)) m = std::isnan(m) ? std::trunc(A) : limit_;
          if (m < 0) m = 0;
          break;
        }
      }
    }
    const auto magnitude = static_cast<std::int32_t>(m);
    return x > 0 ? magnitude : -magnitude;
  }

 private:
  long double limit_;
  TRounding rounding_;
};

// Holds state - q within -limit .. +limit; leaves it untouched when it is.
void Hold(long double& state, std::int32_t q, long double limit) {
  if (state - q > limit) state = q + limit;
  else if (state - q < -limit) state = q - limit;
}

// The shaping loops carry the quantisation error into the next samples. On a
// sample that saturates the error is no longer small, and carried on it would
// wind the loop up; there the carried state is held to the range it has in
// normal operation (error within one step). Samples that do not saturate see
// the plain algorithm.
void ShapeOff(const Quantizer& Q, const long double* v, const long double* D, std::int32_t* q, std::size_t N) {
  for (std::size_t i = 0; i < N; ++i) q[i] = Q(v[i], D[i]);
}

// x_i = v_i + x_(i-1) - q_(i-1), once around the end into q_0.
void ShapeFirst(const Quantizer& Q, const long double* v, const long double* D, std::int32_t* q, std::size_t N) {
  long double x = v[0];
  auto step = [&](std::size_t i) {
    q[i] = Q(x, D[i]);
    if (std::isnan(x)) {
      x = 0;
    } else if (Q.Saturates(x)) {
      Hold(x, q[i], 1);
    }
  };
  step(0);
  for (std::size_t i = 1; i < N; ++i) {
    x = v[i] + x - q[i - 1];
    step(i);
  }
  x = v[0] + x - q[N - 1];
  step(0);
}

// Two cascaded error integrators a and b, twice around the end into q_0 and
// q_1. In normal operation b - q is the error just made and a - q the
// difference of the last two errors.
void ShapeSecond(const Quantizer& Q, const long double* v, const long double* D, std::int32_t* q, std::size_t N) {
  long double a = v[0], b = v[0];
  auto step = [&](std::size_t i) {
    q[i] = Q(b, D[i]);
    if (std::isnan(a) || std::isnan(b)) {
      a = b = q[i];
    } else if (Q.Saturates(b)) {
      Hold(a, q[i], 2);
      Hold(b, q[i], 1);
    }
  };
  step(0);
  for (std::size_t i = 1; i < N; ++i) {
    a = a + v[i] - q[i - 1];
    b = b + a - q[i - 1];
    step(i);
  }
  a = a + v[0] - q[N - 1];
  b = b + a - q[N - 1];
  step(0);
  if (N < 2) return;
  a = a + v[1] - q[0];
  b = b + a - q[0];
  step(1);
}

}  // namespace

TWaveBufferExtendedStereo TExFunctionLib::SynthesizeSignals(const TPCMFormat& PCMFormat, std::int32_t ChannelNumber,
                                                            const TSignalAttributeArray& SignalAttributeArray,
                                                            const TWaveBufferExtendedArray& WaveBufferArray,
                                                            std::int32_t WaveBufferMilliSec) {
  const std::size_t N = BlockLength(PCMFormat._SamplingRate, WaveBufferMilliSec);
  TWaveBufferExtendedStereo mix{TWaveBufferExtended(N, 0.0L), TWaveBufferExtended(N, 0.0L)};
  const std::size_t records =
      ChannelNumber > 0 ? std::min<std::size_t>(static_cast<std::size_t>(ChannelNumber), SignalAttributeArray.size()) : 0;
  if (records == 0 || N == 0) return mix;

  // The noise record's phase 180 turns the whole right channel over.
  const long double rho = SignalAttributeArray[records - 1]._Phase == 180 ? -1.0L : 1.0L;
  std::int32_t nL = 0, nR = 0;
  for (std::size_t r = 0; r < records; ++r) {
    const TOutputChannel channel = SignalAttributeArray[r]._OutputChannel;
    const bool left = channel == TOutputChannel::_Both || channel == TOutputChannel::_Lch;
    const bool right = channel == TOutputChannel::_Both || channel == TOutputChannel::_Rch;
    if (!left && !right) continue;
    nL += left;
    nR += right;
    // A missing or short buffer contributes silence where it has no samples.
    if (r >= WaveBufferArray.size()) continue;
    const TWaveBufferExtended& buffer = WaveBufferArray[r];
    const std::size_t n = std::min(N, buffer.size());
    if (left)
      for (std::size_t i = 0; i < n; ++i) mix[0][i] += buffer[i];
    if (right)
      for (std::size_t i = 0; i < n; ++i) mix[1][i] += rho * buffer[i];
  }
  for (int c = 0; c < 2; ++c) {
    const std::int32_t count = c == 0 ? nL : nR;
    if (count == 0) continue;  // already zeros
    for (long double& v : mix[static_cast<std::size_t>(c)]) v = v / count;
  }
  return mix;
}

std::int32_t TExFunctionLib::QuantizeSample(const TPCMFormat& PCMFormat, long double x, long double d) {
  return Quantizer(PCMFormat)(x, d);
}

TWaveBufferIntegerStereo TExFunctionLib::QuantizeSignal(const TPCMFormat& PCMFormat, long double OutputGainL,
                                                        long double OutputGainR,
                                                        const TWaveBufferExtendedStereo& WaveBufferExtendedStereo,
                                                        std::int32_t WaveBufferMilliSec) {
  const std::size_t N = BlockLength(PCMFormat._SamplingRate, WaveBufferMilliSec);
  TWaveBufferIntegerStereo out{TWaveBufferInteger(N, 0), TWaveBufferInteger(N, 0)};
  if (N == 0) return out;

  // The dither block is shared by both channels and read only when rounding
  // by dither; the other modes do not draw it at all.
  TWaveBufferExtended D;
  if (PCMFormat._Rounding == TRounding::_DITHER) {
    const std::uint32_t seed = TimeSeed();
    const auto count = static_cast<std::int32_t>(N);
    switch (PCMFormat._Dither) {
      case TDither::_Pink: D = PinkNoiseKellet(seed, count); break;
      case TDither::_Gauss: D = GaussNoise(seed, count); break;
      default: D = UniformRandom(seed, count); break;
    }
  }
  D.resize(N, 0.0L);

  const Quantizer Q(PCMFormat);
  const long double M0 = std::trunc(std::ldexp(1.0L, Bits(PCMFormat) - 1) - 1);
  long double s = M0 - 0.5L;
  if (PCMFormat._NoiseShaping == TNoiseShaping::_1st) s = M0 - 1.5L;
  if (PCMFormat._NoiseShaping == TNoiseShaping::_2nd) s = M0 - 3.5L;

  TWaveBufferExtended v(N);
  for (int c = 0; c < 2; ++c) {
    const long double sg = s * (c == 0 ? OutputGainL : OutputGainR);
    const TWaveBufferExtended& in = WaveBufferExtendedStereo[static_cast<std::size_t>(c)];
    const std::size_t n = std::min(N, in.size());
    for (std::size_t i = 0; i < n; ++i) v[i] = sg * in[i];
    for (std::size_t i = n; i < N; ++i) v[i] = 0;  // a short input is silent past its end
    std::int32_t* q = out[static_cast<std::size_t>(c)].data();
    switch (PCMFormat._NoiseShaping) {
      case TNoiseShaping::_1st: ShapeFirst(Q, v.data(), D.data(), q, N); break;
      case TNoiseShaping::_2nd: ShapeSecond(Q, v.data(), D.data(), q, N); break;
      default: ShapeOff(Q, v.data(), D.data(), q, N); break;
    }
  }
  return out;
}
