// Mixing the signal records into left and right, and quantising the two
// channels to integer PCM with rounding, dither and noise shaping.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "synthesis/ExtendedRounding.h"
#include "synthesis/NoiseSources.h"
#include "synthesis/ToneFrame.h"
#include "synthesis/ExtendedPrecision.h"
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

// The magnitude A (0 <= A < M) rounded by the mode to a whole number, as an
// extended value and as an integer in *m; d is the dither value. Every
// rounding is one store of the x87 unit in its own rounding mode, corrected
// by a comparison without a branch (exact below M < 2^31): a conversion to
// an integer type truncates by switching the unit's rounding mode twice,
// whose cost depends on where the code happens to lie, and a branch on the
// sample's fraction would be unpredictable (a signal, and above all dither,
// makes it so).
template <TRounding R>
[[gnu::always_inline]] inline long double RoundMagnitude(long double A, long double d, long double M,
                                                         std::int64_t* m) {
  if constexpr (R == TRounding::_RZ) {
    return krv::FloorOf(A, m);
  } else if constexpr (R == TRounding::_RI) {
    return krv::CeilOf(A, m);
  } else if constexpr (R == TRounding::_RN) {
    return krv::FloorOf(A + 0.5L, m);
  } else if constexpr (R == TRounding::_RNE) {
    *m = krv::NearestInteger(A);
    return static_cast<long double>(*m);
  } else {
    const long double t = A + d;
    if (t < M) {
      if (t > 0) return krv::FloorOf(t, m);
      *m = 0;
      return 0;
    }
    return krv::FloorOf(std::isnan(t) ? A : M, m);
  }
}

// The per-sample quantiser: the magnitude rounded (or held at M when
// Trunc(|x|) >= M), negated unless x > 0 (so x = 0 with a dither value of
// 1.0 gives -1). NaN gives 0. The saturation test compares in floating
// point, so no out-of-range value is ever converted to an integer. The
// integer goes to *q; the value comes back as an extended number (for the
// shaping loops, which feed it back). Inlined into the loops: a call passes
// its extended arguments through memory.
template <TRounding R>
[[gnu::always_inline]] inline long double Quantize(long double x, long double d, long double M, std::int32_t* q) {
  const long double A = std::fabs(x);
  std::int64_t m;
  long double v;
  if (A < M) {
    v = RoundMagnitude<R>(A, d, M, &m);
  } else if (A >= M) {
    v = krv::FloorOf(M, &m);  // M itself: a whole number
  } else {  // NaN
    *q = 0;
    return 0;
  }
  const bool positive = x > 0;
  *q = static_cast<std::int32_t>(positive ? m : -m);
  // v, negated unless x > 0: a multiplication by a sign picked without a
  // branch (a signal's sign is not predictable).
  static constexpr double kSign[2] = {-1.0, 1.0};
  return v * kSign[positive];
}

// put(i, (s[i] + p_1[i] + p_2[i] + ... in record order) scaled), s[i] the
// sum carried over from records mixed before (0 when `From` is false), each
// sample subtracted instead when `Negate`; Count fixed so that the sum
// unrolls. The sum is divided by k, multiplied by k or kept as `S` says.
enum class Scale { Keep, Multiply, Divide };
template <int Count, bool Negate, bool From, Scale S, class Put>
void MixChannel(const long double* s, const long double* const* p, long double k, Put put, std::size_t N) {
  for (std::size_t i = 0; i < N; ++i) {
    long double sum = 0;
    if constexpr (From) sum = s[i];
    for (int r = 0; r < Count; ++r) {
      if constexpr (Negate) sum -= p[r][i];
      else sum += p[r][i];
    }
    if constexpr (S == Scale::Divide) put(i, sum / k);
    else if constexpr (S == Scale::Multiply) put(i, sum * k);
    else put(i, sum);
  }
}

template <bool Negate, bool From, Scale S, class Put>
void MixChannel(const long double* s, const std::vector<const long double*>& p, long double k, Put put,
                std::size_t N) {
  switch (p.size()) {
    case 0: return MixChannel<0, Negate, From, S>(s, p.data(), k, put, N);
    case 1: return MixChannel<1, Negate, From, S>(s, p.data(), k, put, N);
    case 2: return MixChannel<2, Negate, From, S>(s, p.data(), k, put, N);
    case 3: return MixChannel<3, Negate, From, S>(s, p.data(), k, put, N);
    case 4: return MixChannel<4, Negate, From, S>(s, p.data(), k, put, N);
    case 5: return MixChannel<5, Negate, From, S>(s, p.data(), k, put, N);
    case 6: return MixChannel<6, Negate, From, S>(s, p.data(), k, put, N);
    default:
      for (std::size_t i = 0; i < N; ++i) {
        long double sum = 0;
        if constexpr (From) sum = s[i];
        for (const long double* src : p) {
          if constexpr (Negate) sum -= src[i];
          else sum += src[i];
        }
        if constexpr (S == Scale::Divide) put(i, sum / k);
        else if constexpr (S == Scale::Multiply) put(i, sum * k);
        else put(i, sum);
      }
  }
}

// What the other channel gets when it mixes the same records: nothing (it
// has records of its own), the same samples, or the same turned over.
enum class Twin { None, Same, Negated };

// The channel's mix of `total` records into y and, as `T` says, into twin in
// the same pass: the sum carried over in `from` (if any) and the records p
// that follow it, divided by total, or kept as a sum when `keep`.
template <bool Negate, Twin T>
void MixChannel(const long double* from, const std::vector<const long double*>& p, std::size_t total, bool keep,
                long double* y, long double* twin, std::size_t N) {
  const auto put = [=](std::size_t i, long double v) {
    y[i] = v;
    // The same records subtracted from 0 in the same order give the sums
    // negated, and 0 - 0 = +0 where the sum is 0 (as it is +0 then).
    if constexpr (T == Twin::Same) twin[i] = v;
    else if constexpr (T == Twin::Negated) twin[i] = 0.0L - v;
  };
  if (total == 0) {  // silence
    for (std::size_t i = 0; i < N; ++i) put(i, 0.0L);
    return;
  }
  // Dividing by 2 or 4 is exact as a product with the reciprocal; a sum
  // kept and the sum of one record stay as they are; other counts divide.
  const auto n = static_cast<long double>(total);
  const auto run = [&]<Scale S>(long double k) {
    if (from) MixChannel<Negate, true, S>(from, p, k, put, N);
    else MixChannel<Negate, false, S>(from, p, k, put, N);
  };
  if (keep || total == 1) run.template operator()<Scale::Keep>(1);
  else if (total == 2 || total == 4) run.template operator()<Scale::Multiply>(1.0L / n);
  else run.template operator()<Scale::Divide>(n);
}

// Holds state - q within -limit .. +limit; leaves it untouched when it is.
void Hold(long double& state, long double q, long double limit) {
  if (state - q > limit) state = q + limit;
  else if (state - q < -limit) state = q - limit;
}

// One channel's quantisation: v_i = sg * in[i] (sg the scale times the
// gain), d_i the dither value (read only when rounding by dither), q the
// result. The shaping loops carry the quantisation error into the next
// samples. On a sample that saturates the error is no longer small, and
// carried on it would wind the loop up; there the carried state is held to
// the range it has in normal operation (the error within one step). Samples
// that do not saturate see the plain algorithm. The block is run in pieces
// in order (the shaping state carries over), then wrapped once around.
template <TRounding R>
class Channel {
 public:
  Channel(TNoiseShaping shaping, long double sg, long double M, const long double* in, std::int32_t* q)
      : shaping_(shaping), sg_(sg), M_(M), in_(in), q_(q) {}

  // Samples from .. from + n - 1; D[k] is the dither value of sample from + k.
  void Run(std::size_t from, std::size_t n, const long double* D) {
    // The state in locals for the loop: the input is of the same type, so
    // members would be stored and reloaded around every read of it.
    long double x = x_, a = a_, b = b_, last = last_;
    switch (shaping_) {
      case TNoiseShaping::_1st:
        for (std::size_t k = 0; k < n; ++k) {
          const std::size_t i = from + k;
          // x_i = v_i + x_(i-1) - q_(i-1)
          x = i == 0 ? V(0) : V(i) + x - last;
          First(x, last, i, D[k]);
        }
        break;
      case TNoiseShaping::_2nd:
        for (std::size_t k = 0; k < n; ++k) {
          const std::size_t i = from + k;
          if (i == 0) {
            a = b = V(0);
          } else {
            a = a + V(i) - last;
            b = b + a - last;
          }
          Second(a, b, last, i, D[k]);
        }
        break;
      default:
        for (std::size_t k = 0; k < n; ++k) Q(V(from + k), from + k, D[k]);
        break;
    }
    x_ = x, a_ = a, b_ = b, last_ = last;
  }

  // After the last sample N - 1: first order feeds the error left at the end
  // into q_0, second order into q_0 and q_1 (d0, d1 their dither values).
  void Wrap(std::size_t N, long double d0, long double d1) {
    if (shaping_ == TNoiseShaping::_1st) {
      x_ = V(0) + x_ - last_;
      First(x_, last_, 0, d0);
    } else if (shaping_ == TNoiseShaping::_2nd) {
      a_ = a_ + V(0) - last_;
      b_ = b_ + a_ - last_;
      Second(a_, b_, last_, 0, d0);
      if (N < 2) return;
      a_ = a_ + V(1) - last_;
      b_ = b_ + a_ - last_;
      Second(a_, b_, last_, 1, d1);
    }
  }

 private:
  long double V(std::size_t i) const { return sg_ * in_[i]; }
  long double Q(long double x, std::size_t i, long double d) const {
    return Quantize<R>(x, R == TRounding::_DITHER ? d : 0.0L, M_, q_ + i);
  }
  void First(long double& x, long double& last, std::size_t i, long double d) const {
    last = Q(x, i, d);
    if (std::isnan(x)) x = 0;
    else if (std::fabs(x) >= M_) Hold(x, last, 1);
  }
  // In normal operation b - q is the error just made and a - q the
  // difference of the last two errors.
  void Second(long double& a, long double& b, long double& last, std::size_t i, long double d) const {
    last = Q(b, i, d);
    if (std::isnan(a) || std::isnan(b)) {
      a = b = last;
    } else if (std::fabs(b) >= M_) {
      Hold(a, last, 2);
      Hold(b, last, 1);
    }
  }

  TNoiseShaping shaping_;
  long double sg_, M_;
  const long double* in_;
  std::int32_t* q_;
  long double x_ = 0, a_ = 0, b_ = 0, last_ = 0;
};

// Both channels a piece at a time: the dither block (shared by both) is
// drawn for one piece, used by left and right, and drawn on for the next, so
// it never leaves the cache. `fill` draws the next n dither values.
template <TRounding R, class Fill>
void QuantizeStereo(Channel<R> left, Channel<R> right, std::size_t N, Fill fill) {
  constexpr std::size_t kPiece = 1024;
  long double D[kPiece] = {};
  long double d0 = 0, d1 = 0;
  for (std::size_t at = 0; at < N; at += kPiece) {
    const std::size_t n = std::min(kPiece, N - at);
    fill(D, n);
    if (at == 0) {
      d0 = D[0];
      d1 = n > 1 ? D[1] : 0.0L;
    }
    left.Run(at, n, D);
    right.Run(at, n, D);
  }
  left.Wrap(N, d0, d1);
  right.Wrap(N, d0, d1);
}

template <TRounding R>
void QuantizeStereo(const TPCMFormat& f, long double sgL, long double sgR, long double M, const long double* inL,
                    const long double* inR, std::int32_t* qL, std::int32_t* qR, std::size_t N,
                    const std::uint32_t* Seed) {
  const Channel<R> left(f._NoiseShaping, sgL, M, inL, qL), right(f._NoiseShaping, sgR, M, inR, qR);
  if constexpr (R != TRounding::_DITHER) {
    QuantizeStereo(left, right, N, [](long double*, std::size_t) {});
  } else {
    // The clock is read only when no seed is given.
    const std::uint32_t seed = Seed ? *Seed : TExFunctionLib::TimeSeed();
    auto draw = [&](auto source) {
      QuantizeStereo(left, right, N, [&source](long double* D, std::size_t n) { source.Fill(D, n); });
    };
    switch (f._Dither) {
      case TDither::_Pink: draw(krv::KelletSource(seed, N)); break;
      case TDither::_Gauss: draw(krv::GaussSource(seed, N)); break;
      default: draw(krv::UniformSource(seed, N)); break;
    }
  }
}

}  // namespace

TWaveBufferExtendedStereo TExFunctionLib::SynthesizeSignals(const TPCMFormat& PCMFormat, std::int32_t ChannelNumber,
                                                            const TSignalAttributeArray& SignalAttributeArray,
                                                            const TWaveBufferExtendedArray& WaveBufferArray,
                                                            std::int32_t WaveBufferMilliSec) {
  return krv::Returned<TWaveBufferExtendedStereo>([&](TWaveBufferExtendedStereo& mix) {
    SynthesizeSignals(PCMFormat, ChannelNumber, SignalAttributeArray, WaveBufferArray, WaveBufferMilliSec, mix);
  });
}

namespace {

// The mix of SynthesizeSignals, continued from the sums in `from`; or, when
// `keep` is given, the running sums of the first keep[c] records of each
// channel (the right one's subtracted when it is turned over), undivided.
void MixRecords(const TPCMFormat& PCMFormat, std::int32_t ChannelNumber,
                const TSignalAttributeArray& SignalAttributeArray, const TWaveBufferExtendedArray& WaveBufferArray,
                std::int32_t WaveBufferMilliSec, const TExFunctionLib::TMixSums& from, const std::size_t* keep,
                TWaveBufferExtendedStereo& mix) {
  const krv::ExtendedPrecisionScope precision;  // whatever the caller's thread was left with
  const std::size_t N = BlockLength(PCMFormat._SamplingRate, WaveBufferMilliSec);
  const std::size_t records =
      ChannelNumber > 0 ? std::min<std::size_t>(static_cast<std::size_t>(ChannelNumber), SignalAttributeArray.size()) : 0;
  if (records == 0 || N == 0) {
    mix[0].assign(N, 0.0L);
    mix[1].assign(N, 0.0L);
    return;
  }

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
  mix[0].resize(N);
  mix[1].resize(N);
  long double* l = mix[0].data();
  long double* r = mix[1].data();
  const std::vector<const long double*>* lists[2] = {&left, &right};
  if (keep) {
    for (std::size_t c = 0; c < 2; ++c) {
      const std::vector<const long double*> lead(lists[c]->begin(),
                                                 lists[c]->begin() + std::min(keep[c], lists[c]->size()));
      if (c == 1 && turnRight) MixChannel<true, Twin::None>(nullptr, lead, lead.size(), true, r, nullptr, N);
      else MixChannel<false, Twin::None>(nullptr, lead, lead.size(), true, mix[c].data(), nullptr, N);
    }
    return;
  }
  // Each channel's carried sum and the records that follow it.
  const long double* start[2] = {nullptr, nullptr};
  std::vector<const long double*> rest[2];
  for (std::size_t c = 0; c < 2; ++c) {
    std::size_t skip = 0;
    if (from.Sums && (*from.Sums)[c].size() >= N && from.Records[c] > 0) {
      skip = std::min(from.Records[c], lists[c]->size());
      start[c] = (*from.Sums)[c].data();
    }
    rest[c].assign(lists[c]->begin() + static_cast<std::ptrdiff_t>(skip), lists[c]->end());
  }
  if (right != left) {
    MixChannel<false, Twin::None>(start[0], rest[0], left.size(), false, l, nullptr, N);
    if (turnRight) MixChannel<true, Twin::None>(start[1], rest[1], right.size(), false, r, nullptr, N);
    else MixChannel<false, Twin::None>(start[1], rest[1], right.size(), false, r, nullptr, N);
  } else if (!turnRight) {
    MixChannel<false, Twin::Same>(start[0], rest[0], left.size(), false, l, r, N);
  } else {
    MixChannel<false, Twin::Negated>(start[0], rest[0], left.size(), false, l, r, N);
  }
}

}  // namespace

void TExFunctionLib::SynthesizeSignals(const TPCMFormat& PCMFormat, std::int32_t ChannelNumber,
                                       const TSignalAttributeArray& SignalAttributeArray,
                                       const TWaveBufferExtendedArray& WaveBufferArray, std::int32_t WaveBufferMilliSec,
                                       TWaveBufferExtendedStereo& mix) {
  MixRecords(PCMFormat, ChannelNumber, SignalAttributeArray, WaveBufferArray, WaveBufferMilliSec, TMixSums{}, nullptr,
             mix);
}

void TExFunctionLib::SynthesizeSignals(const TPCMFormat& PCMFormat, std::int32_t ChannelNumber,
                                       const TSignalAttributeArray& SignalAttributeArray,
                                       const TWaveBufferExtendedArray& WaveBufferArray, std::int32_t WaveBufferMilliSec,
                                       const TMixSums& From, TWaveBufferExtendedStereo& Mix) {
  MixRecords(PCMFormat, ChannelNumber, SignalAttributeArray, WaveBufferArray, WaveBufferMilliSec, From, nullptr, Mix);
}

void TExFunctionLib::SumLeadingSignals(const TPCMFormat& PCMFormat, std::int32_t ChannelNumber,
                                       const TSignalAttributeArray& SignalAttributeArray,
                                       const TWaveBufferExtendedArray& WaveBufferArray, std::int32_t WaveBufferMilliSec,
                                       const std::size_t (&Records)[2], TWaveBufferExtendedStereo& Sums) {
  MixRecords(PCMFormat, ChannelNumber, SignalAttributeArray, WaveBufferArray, WaveBufferMilliSec, TMixSums{}, Records,
             Sums);
}

std::int32_t TExFunctionLib::QuantizeSample(const TPCMFormat& PCMFormat, long double x, long double d) {
  const long double M = Limit(PCMFormat);
  std::int32_t q = 0;
  switch (PCMFormat._Rounding) {
    case TRounding::_RZ: Quantize<TRounding::_RZ>(x, d, M, &q); break;
    case TRounding::_RI: Quantize<TRounding::_RI>(x, d, M, &q); break;
    case TRounding::_RN: Quantize<TRounding::_RN>(x, d, M, &q); break;
    case TRounding::_RNE: Quantize<TRounding::_RNE>(x, d, M, &q); break;
    default: Quantize<TRounding::_DITHER>(x, d, M, &q); break;
  }
  return q;
}

TWaveBufferIntegerStereo TExFunctionLib::QuantizeSignal(const TPCMFormat& PCMFormat, long double OutputGainL,
                                                        long double OutputGainR,
                                                        const TWaveBufferExtendedStereo& WaveBufferExtendedStereo,
                                                        std::int32_t WaveBufferMilliSec) {
  return krv::Returned<TWaveBufferIntegerStereo>([&](TWaveBufferIntegerStereo& q) {
    QuantizeSignal(PCMFormat, OutputGainL, OutputGainR, WaveBufferExtendedStereo, WaveBufferMilliSec, q);
  });
}

TWaveBufferIntegerStereo TExFunctionLib::QuantizeSignal(const TPCMFormat& PCMFormat, long double OutputGainL,
                                                        long double OutputGainR,
                                                        const TWaveBufferExtendedStereo& WaveBufferExtendedStereo,
                                                        std::int32_t WaveBufferMilliSec, std::uint32_t Seed) {
  return krv::Returned<TWaveBufferIntegerStereo>([&](TWaveBufferIntegerStereo& q) {
    QuantizeSignal(PCMFormat, OutputGainL, OutputGainR, WaveBufferExtendedStereo, WaveBufferMilliSec, Seed, q);
  });
}

void TExFunctionLib::QuantizeSignal(const TPCMFormat& PCMFormat, long double OutputGainL, long double OutputGainR,
                                    const TWaveBufferExtendedStereo& WaveBufferExtendedStereo,
                                    std::int32_t WaveBufferMilliSec, TWaveBufferIntegerStereo& Quantized) {
  QuantizeWithSeed(PCMFormat, OutputGainL, OutputGainR, WaveBufferExtendedStereo, WaveBufferMilliSec, nullptr,
                   Quantized);
}

void TExFunctionLib::QuantizeSignal(const TPCMFormat& PCMFormat, long double OutputGainL, long double OutputGainR,
                                    const TWaveBufferExtendedStereo& WaveBufferExtendedStereo,
                                    std::int32_t WaveBufferMilliSec, std::uint32_t Seed,
                                    TWaveBufferIntegerStereo& Quantized) {
  QuantizeWithSeed(PCMFormat, OutputGainL, OutputGainR, WaveBufferExtendedStereo, WaveBufferMilliSec, &Seed,
                   Quantized);
}

void TExFunctionLib::QuantizeWithSeed(const TPCMFormat& PCMFormat, long double OutputGainL, long double OutputGainR,
                                      const TWaveBufferExtendedStereo& WaveBufferExtendedStereo,
                                      std::int32_t WaveBufferMilliSec, const std::uint32_t* Seed,
                                      TWaveBufferIntegerStereo& Quantized) {
  const krv::ExtendedPrecisionScope precision;  // whatever the caller's thread was left with
  const std::size_t N = BlockLength(PCMFormat._SamplingRate, WaveBufferMilliSec);
  Quantized[0].resize(N);
  Quantized[1].resize(N);
  if (N == 0) return;

  const long double M = Limit(PCMFormat);
  const long double M0 = std::trunc(std::ldexp(1.0L, Bits(PCMFormat) - 1) - 1);
  long double s = M0 - 0.5L;
  if (PCMFormat._NoiseShaping == TNoiseShaping::_1st) s = M0 - 1.5L;
  if (PCMFormat._NoiseShaping == TNoiseShaping::_2nd) s = M0 - 3.5L;

  // A short input is silent past its end.
  TWaveBufferExtended padded[2];
  const long double* in[2];
  for (std::size_t c = 0; c < 2; ++c) {
    const TWaveBufferExtended& input = WaveBufferExtendedStereo[c];
    in[c] = input.data();
    if (input.size() < N) {
      padded[c].assign(N, 0.0L);
      std::copy(input.begin(), input.end(), padded[c].begin());
      in[c] = padded[c].data();
    }
  }
  const long double sgL = s * OutputGainL, sgR = s * OutputGainR;
  std::int32_t* qL = Quantized[0].data();
  std::int32_t* qR = Quantized[1].data();
  switch (PCMFormat._Rounding) {
    case TRounding::_RZ: QuantizeStereo<TRounding::_RZ>(PCMFormat, sgL, sgR, M, in[0], in[1], qL, qR, N, Seed); break;
    case TRounding::_RI: QuantizeStereo<TRounding::_RI>(PCMFormat, sgL, sgR, M, in[0], in[1], qL, qR, N, Seed); break;
    case TRounding::_RN: QuantizeStereo<TRounding::_RN>(PCMFormat, sgL, sgR, M, in[0], in[1], qL, qR, N, Seed); break;
    case TRounding::_RNE: QuantizeStereo<TRounding::_RNE>(PCMFormat, sgL, sgR, M, in[0], in[1], qL, qR, N, Seed); break;
    default: QuantizeStereo<TRounding::_DITHER>(PCMFormat, sgL, sgR, M, in[0], in[1], qL, qR, N, Seed); break;
  }
}
