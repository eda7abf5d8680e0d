// Mixing the signal records into left and right, and quantising the two
// channels to integer PCM with rounding, dither and noise shaping.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "synthesis/ExtendedRounding.h"
#include "synthesis/ToneFrame.h"
#include "synthesis/UnitFunction.h"

namespace {

using krv::BlockLength;

// Bit depths beyond 32 would not fit the 32-bit results.
std::int32_t Bits(const TPCMFormat& f) { return f._Quantization > 32 ? 32 : f._Quantization; }

// The largest magnitude of a quantised value: M = 2^(bits-1) - 2, one below
// the format's maximum.
long double Limit(const TPCMFormat& f) {
  const long double M = std::trunc(std::ldexp(1.0L, Bits(f) - 1) - 2);
  return M < 0 ? 0 : M;
}

// The magnitude A (0 <= A < M) rounded by the mode; d is the dither value.
template <TRounding R>
long double RoundMagnitude(long double A, long double d, long double M) {
  if constexpr (R == TRounding::_RZ) {
    return krv::FloorOf(A);
  } else if constexpr (R == TRounding::_RI) {
    const long double m = krv::NearestEven(A);
    return m < A ? m + 1 : m;
  } else if constexpr (R == TRounding::_RN) {
    return krv::FloorOf(A + 0.5L);
  } else if constexpr (R == TRounding::_RNE) {
    return krv::NearestEven(A);
  } else {
    const long double t = A + d;
    if (t < M) return t > 0 ? krv::FloorOf(t) : 0;
    return std::isnan(t) ? krv::FloorOf(A) : M;
  }
}

// The per-sample quantiser as an integer-valued extended number: the
// magnitude rounded (or held at M when Trunc(|x|) >= M), negated unless
// x > 0 (so x = 0 with a dither value of 1.0 gives -1). NaN gives 0. The
// saturation test compares in floating point, so no out-of-range value is
// ever converted to an integer.
template <TRounding R>
long double Quantize(long double x, long double d, long double M) {
  const long double A = std::fabs(x);
  long double m;
  if (A < M) m = RoundMagnitude<R>(A, d, M);
  else if (A >= M) m = M;
  else return 0;  // NaN
  // m, negated unless x > 0: a multiplication by a sign picked without a
  // branch (a signal's sign is not predictable).
  static constexpr double kSign[2] = {-1.0, 1.0};
  return m * kSign[x > 0];
}

// out[i] = (0 + p_1[i] + p_2[i] + ... in record order) / Count, each sample
// subtracted instead when `Negate`; Count fixed so that the sum unrolls.
template <int Count, bool Negate>
void MixChannel(const long double* const* p, long double* out, std::size_t N) {
  const long double n = Count;
  for (std::size_t i = 0; i < N; ++i) {
    long double sum = 0;
    for (int r = 0; r < Count; ++r) {
      if constexpr (Negate) sum -= p[r][i];
      else sum += p[r][i];
    }
    // Dividing by 1, 2 or 4 is exact as a product; other counts divide.
    if constexpr (Count == 1) out[i] = sum;
    else if constexpr (Count == 2) out[i] = sum * 0.5L;
    else if constexpr (Count == 4) out[i] = sum * 0.25L;
    else out[i] = sum / n;
  }
}

template <bool Negate>
void MixChannel(const std::vector<const long double*>& p, long double* out, std::size_t N) {
  switch (p.size()) {
    case 0: return;  // silence: already zeros
    case 1: return MixChannel<1, Negate>(p.data(), out, N);
    case 2: return MixChannel<2, Negate>(p.data(), out, N);
    case 3: return MixChannel<3, Negate>(p.data(), out, N);
    case 4: return MixChannel<4, Negate>(p.data(), out, N);
    case 5: return MixChannel<5, Negate>(p.data(), out, N);
    case 6: return MixChannel<6, Negate>(p.data(), out, N);
    default: {
      const auto n = static_cast<long double>(p.size());
      for (std::size_t i = 0; i < N; ++i) {
        long double sum = 0;
        for (const long double* src : p) {
          if constexpr (Negate) sum -= src[i];
          else sum += src[i];
        }
        out[i] = sum / n;
      }
    }
  }
}

// Holds state - q within -limit .. +limit; leaves it untouched when it is.
void Hold(long double& state, long double q, long double limit) {
  if (state - q > limit) state = q + limit;
  else if (state - q < -limit) state = q - limit;
}

// One channel's quantisation: v_i = sg * in[i] (sg the scale times the
// gain), D the dither block (read only when rounding by dither), q the
// result. The shaping loops carry the quantisation error into the next
// samples. On a sample that saturates the error is no longer small, and
// carried on it would wind the loop up; there the carried state is held to
// the range it has in normal operation (the error within one step). Samples
// that do not saturate see the plain algorithm.
template <TRounding R>
struct Channel {
  long double sg, M;
  const long double* in;
  const long double* D;
  std::int32_t* q;
  std::size_t N;

  long double V(std::size_t i) const { return sg * in[i]; }
  long double Dither(std::size_t i) const {
    if constexpr (R == TRounding::_DITHER) return D[i];
    else return 0;
  }
  long double Q(long double x, std::size_t i) const {
    const long double r = Quantize<R>(x, Dither(i), M);
    q[i] = static_cast<std::int32_t>(krv::ToInteger(r));
    return r;
  }

  void Off() const {
    for (std::size_t i = 0; i < N; ++i) Q(V(i), i);
  }

  // x_i = v_i + x_(i-1) - q_(i-1), once around the end into q_0.
  void First() const {
    long double x = V(0), last = 0;
    auto step = [&](std::size_t i) {
      last = Q(x, i);
      if (std::isnan(x)) x = 0;
      else if (std::fabs(x) >= M) Hold(x, last, 1);
    };
    step(0);
    for (std::size_t i = 1; i < N; ++i) {
      x = V(i) + x - last;
      step(i);
    }
    x = V(0) + x - last;
    step(0);
  }

  // Two cascaded error integrators a and b, twice around the end into q_0
  // and q_1. In normal operation b - q is the error just made and a - q the
  // difference of the last two errors.
  void Second() const {
    long double a = V(0), b = a, last = 0;
    auto step = [&](std::size_t i) {
      last = Q(b, i);
      if (std::isnan(a) || std::isnan(b)) {
        a = b = last;
      } else if (std::fabs(b) >= M) {
        Hold(a, last, 2);
        Hold(b, last, 1);
      }
    };
    step(0);
    for (std::size_t i = 1; i < N; ++i) {
      a = a + V(i) - last;
      b = b + a - last;
      step(i);
    }
    a = a + V(0) - last;
    b = b + a - last;
    step(0);
    if (N < 2) return;
    a = a + V(1) - last;
    b = b + a - last;
    step(1);
  }

  void Run(TNoiseShaping shaping) const {
    switch (shaping) {
      case TNoiseShaping::_1st: First(); break;
      case TNoiseShaping::_2nd: Second(); break;
      default: Off(); break;
    }
  }
};

template <TRounding R>
void QuantizeChannel(TNoiseShaping shaping, long double sg, long double M, const long double* in, const long double* D,
                     std::int32_t* q, std::size_t N) {
  Channel<R>{sg, M, in, D, q, N}.Run(shaping);
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
  const bool turnRight = SignalAttributeArray[records - 1]._Phase == 180;
  // Each channel's contributing buffers in record order. A missing or short
  // buffer is silent past its end: it is read from a padded copy.
  std::vector<TWaveBufferExtended> padded;
  padded.reserve(records);
  std::vector<const long double*> left, right;
  for (std::size_t r = 0; r < records; ++r) {
    const TOutputChannel channel = SignalAttributeArray[r]._OutputChannel;
    const bool toLeft = channel == TOutputChannel::_Both || channel == TOutputChannel::_Lch;
    const bool toRight = channel == TOutputChannel::_Both || channel == TOutputChannel::_Rch;
    if (!toLeft && !toRight) continue;
    const long double* samples;
    if (r < WaveBufferArray.size() && WaveBufferArray[r].size() >= N) {
      samples = WaveBufferArray[r].data();
    } else {
      padded.emplace_back(N, 0.0L);
      if (r < WaveBufferArray.size()) std::copy(WaveBufferArray[r].begin(), WaveBufferArray[r].end(), padded.back().begin());
      samples = padded.back().data();
    }
    if (toLeft) left.push_back(samples);
    if (toRight) right.push_back(samples);
  }
  MixChannel<false>(left, mix[0].data(), N);
  if (turnRight) MixChannel<true>(right, mix[1].data(), N);
  else MixChannel<false>(right, mix[1].data(), N);
  return mix;
}

std::int32_t TExFunctionLib::QuantizeSample(const TPCMFormat& PCMFormat, long double x, long double d) {
  const long double M = Limit(PCMFormat);
  long double r;
  switch (PCMFormat._Rounding) {
    case TRounding::_RZ: r = Quantize<TRounding::_RZ>(x, d, M); break;
    case TRounding::_RI: r = Quantize<TRounding::_RI>(x, d, M); break;
    case TRounding::_RN: r = Quantize<TRounding::_RN>(x, d, M); break;
    case TRounding::_RNE: r = Quantize<TRounding::_RNE>(x, d, M); break;
    default: r = Quantize<TRounding::_DITHER>(x, d, M); break;
  }
  return static_cast<std::int32_t>(krv::ToInteger(r));
}

TWaveBufferIntegerStereo TExFunctionLib::QuantizeSignal(const TPCMFormat& PCMFormat, long double OutputGainL,
                                                        long double OutputGainR,
                                                        const TWaveBufferExtendedStereo& WaveBufferExtendedStereo,
                                                        std::int32_t WaveBufferMilliSec) {
  const std::size_t N = BlockLength(PCMFormat._SamplingRate, WaveBufferMilliSec);
  TWaveBufferIntegerStereo out{TWaveBufferInteger(N, 0), TWaveBufferInteger(N, 0)};
  if (N == 0) return out;

  // The dither block is shared by both channels and made only when rounding
  // by dither, the one mode that reads it.
  TWaveBufferExtended D;
  if (PCMFormat._Rounding == TRounding::_DITHER) {
    const std::uint32_t seed = TimeSeed();
    const auto count = static_cast<std::int32_t>(N);
    switch (PCMFormat._Dither) {
      case TDither::_Pink: D = PinkNoiseKellet(seed, count); break;
      case TDither::_Gauss: D = GaussNoise(seed, count); break;
      default: D = UniformRandom(seed, count); break;
    }
    D.resize(N, 0.0L);
  }

  const long double M = Limit(PCMFormat);
  const long double M0 = std::trunc(std::ldexp(1.0L, Bits(PCMFormat) - 1) - 1);
  long double s = M0 - 0.5L;
  if (PCMFormat._NoiseShaping == TNoiseShaping::_1st) s = M0 - 1.5L;
  if (PCMFormat._NoiseShaping == TNoiseShaping::_2nd) s = M0 - 3.5L;

  TWaveBufferExtended padded;
  for (int c = 0; c < 2; ++c) {
    const long double sg = s * (c == 0 ? OutputGainL : OutputGainR);
    const TWaveBufferExtended& input = WaveBufferExtendedStereo[static_cast<std::size_t>(c)];
    const long double* in = input.data();
    if (input.size() < N) {  // a short input is silent past its end
      padded.assign(N, 0.0L);
      std::copy(input.begin(), input.end(), padded.begin());
      in = padded.data();
    }
    std::int32_t* q = out[static_cast<std::size_t>(c)].data();
    const TNoiseShaping shaping = PCMFormat._NoiseShaping;
    switch (PCMFormat._Rounding) {
      case TRounding::_RZ: QuantizeChannel<TRounding::_RZ>(shaping, sg, M, in, D.data(), q, N); break;
      case TRounding::_RI: QuantizeChannel<TRounding::_RI>(shaping, sg, M, in, D.data(), q, N); break;
      case TRounding::_RN: QuantizeChannel<TRounding::_RN>(shaping, sg, M, in, D.data(), q, N); break;
      case TRounding::_RNE: QuantizeChannel<TRounding::_RNE>(shaping, sg, M, in, D.data(), q, N); break;
      default: QuantizeChannel<TRounding::_DITHER>(shaping, sg, M, in, D.data(), q, N); break;
    }
  }
  return out;
}
