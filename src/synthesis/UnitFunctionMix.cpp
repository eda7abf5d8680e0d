// Mixing the signal records into left and right, and quantising the two
// channels to integer PCM with rounding, dither and noise shaping.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "synthesis/ExtendedRounding.h"
#include "synthesis/UnitFunction.h"

namespace {

std::size_t BlockLength(std::int32_t fs, std::int32_t milliSec) {
  if (fs <= 0 || milliSec <= 0) return 0;
  return static_cast<std::size_t>((static_cast<std::int64_t>(fs) * milliSec + 999) / 1000);
}

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
  if (std::isnan(x)) return 0;
  const long double A = std::fabs(x);
  const long double m = A >= M ? M : RoundMagnitude<R>(A, d, M);
  return x > 0 ? m : -m;
}

// One record feeding the mix: its samples and the channels it feeds.
struct MixSource {
  const long double* samples;
  bool left, right;
};

// Left[i] and Right[i]: the sums of the sources' samples i in record order,
// the right one's taken negated when `turnRight`, each divided by its number
// of sources (silence when there is none). Every source is read once for
// both channels, two samples at a time so that the sums do not wait on each
// other.
void MixInto(const std::vector<MixSource>& sources, bool turnRight, long double* left, long double* right,
             std::size_t N) {
  long double nL = 0, nR = 0;
  for (const MixSource& s : sources) {
    nL += s.left;
    nR += s.right;
  }
  auto addRight = [turnRight](long double& sum, long double x) {
    if (turnRight) sum -= x;
    else sum += x;
  };
  std::size_t i = 0;
  for (; i + 2 <= N; i += 2) {
    long double l0 = 0, l1 = 0, r0 = 0, r1 = 0;
    for (const MixSource& s : sources) {
      const long double x0 = s.samples[i], x1 = s.samples[i + 1];
      if (s.left) {
        l0 += x0;
        l1 += x1;
      }
      if (s.right) {
        addRight(r0, x0);
        addRight(r1, x1);
      }
    }
    if (nL > 0) {
      left[i] = l0 / nL;
      left[i + 1] = l1 / nL;
    }
    if (nR > 0) {
      right[i] = r0 / nR;
      right[i + 1] = r1 / nR;
    }
  }
  for (; i < N; ++i) {
    long double l = 0, r = 0;
    for (const MixSource& s : sources) {
      if (s.left) l += s.samples[i];
      if (s.right) addRight(r, s.samples[i]);
    }
    if (nL > 0) left[i] = l / nL;
    if (nR > 0) right[i] = r / nR;
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
  std::vector<MixSource> sources;
  for (std::size_t r = 0; r < records; ++r) {
    const TOutputChannel channel = SignalAttributeArray[r]._OutputChannel;
    const bool left = channel == TOutputChannel::_Both || channel == TOutputChannel::_Lch;
    const bool right = channel == TOutputChannel::_Both || channel == TOutputChannel::_Rch;
    if (!left && !right) continue;
    const long double* samples;
    if (r < WaveBufferArray.size() && WaveBufferArray[r].size() >= N) {
      samples = WaveBufferArray[r].data();
    } else {
      padded.emplace_back(N, 0.0L);
      if (r < WaveBufferArray.size()) std::copy(WaveBufferArray[r].begin(), WaveBufferArray[r].end(), padded.back().begin());
      samples = padded.back().data();
    }
    sources.push_back({samples, left, right});
  }
  MixInto(sources, turnRight, mix[0].data(), mix[1].data(), N);
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
