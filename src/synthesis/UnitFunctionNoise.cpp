// Randomness of the engine: the time seed, MT19937 uniform values, pink noise
// (Kellet's filter, the Voss-McCartney rows, spectral shaping) and Gaussian
// noise, and the noise record's second of samples.
#include <algorithm>
#include <bit>
#include <array>
#include <atomic>
#include <cmath>
#include <ctime>
#include <memory>
#include <mutex>
#include <numbers>

#include "synthesis/EngineCache.h"
#include "synthesis/ExtendedPrecision.h"
#include "synthesis/FourierPlan.h"
#include "synthesis/MersenneTwister.h"
#include "synthesis/NoiseSources.h"
#include "synthesis/UnitFunction.h"

namespace {

using krv::MersenneTwister;

std::atomic<TExFunctionLib::TLocalClock> gLocalClock{nullptr};

TExFunctionLib::TClockTime SystemLocalClock() {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
#ifdef _WIN32
  localtime_s(&tm, &now);
#else
  localtime_r(&now, &tm);
#endif
  return {tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

std::size_t CountOf(std::int32_t Count) { return Count > 0 ? static_cast<std::size_t>(Count) : 0; }

// --- Gaussian noise ---------------------------------------------------------
// The first uniform stream of the Box-Muller pair is the same at every call
// (seed 0), so its radii sqrt(-2 ln u1) are computed once and kept in the
// engine's cache (up to kRadiusCacheLimit of them).
constexpr std::size_t kRadiusCacheLimit = std::size_t{1} << 19;

long double Radius(long double u1) { return std::sqrt(-2.0L * std::log(u1)); }

// cos(2 pi u) for u = (y + 0.5) / 2^32: the angle is 2 pi j / 2^33 with the
// odd integer j = 2y + 1, split into three 11-bit digits whose rotations come
// from small tables. Exact phase, no large-argument reduction.
class UnitCosine {
 public:
  static const UnitCosine& Instance() {
    static const UnitCosine instance = [] {
      krv::ExtendedPrecisionScope precision;
      return UnitCosine();
    }();
    return instance;
  }

  long double operator()(std::uint32_t y) const {
    const std::uint64_t j = 2 * static_cast<std::uint64_t>(y) + 1;
    const Rot& a = coarse_[j >> 22];
    const Rot& b = middle_[(j >> 11) & 2047];
    const Rot& c = fine_[j & 2047];
    const long double re = b.c * c.c - b.s * c.s;
    const long double im = b.s * c.c + b.c * c.s;
    return a.c * re - a.s * im;
  }

 private:
  struct Rot {
    long double c, s;
  };
  UnitCosine() {
    constexpr long double twoPi = 2.0L * std::numbers::pi_v<long double>;
    for (int i = 0; i < 2048; ++i) {
      const long double t = static_cast<long double>(i);
      coarse_[i] = {std::cos(twoPi * t * 0x1p-11L), std::sin(twoPi * t * 0x1p-11L)};
      middle_[i] = {std::cos(twoPi * t * 0x1p-22L), std::sin(twoPi * t * 0x1p-22L)};
      fine_[i] = {std::cos(twoPi * t * 0x1p-33L), std::sin(twoPi * t * 0x1p-33L)};
    }
  }
  std::array<Rot, 2048> coarse_{}, middle_{}, fine_{};
};

// --- spectral pink noise -----------------------------------------------------------
constexpr std::size_t kPinkBlock = 16384;

// Shapes white blocks of kPinkBlock values two at a time: the first block in
// the real part, the second in the imaginary part of one transform. The gain
// is real and the same on bins k and N - k, so the two stay apart and both
// come back real. Each block gives values C / 2 + 0.5 of the shaped block C.
class PinkShaper {
 public:
  explicit PinkShaper(std::int32_t corner)
      : plan_(krv::Radix2Plan::Get(kPinkBlock)), work_(kPinkBlock) {
    // The gain by bin (both parts alike), moved to the bin's bit-reversed
    // position where the unscaled forward transform leaves it; the 1/N of
    // the inverse folded in. Bins 0 and N/2 keep their value.
    const long double c = std::max(corner, 1);
    const long double inv = 1.0L / kPinkBlock;
    gain_.assign(kPinkBlock, TComplex{inv, inv});
    for (std::size_t k = 1; k < kPinkBlock / 2; ++k) {
      const long double g = ((k + 1 < c) ? 1.0L : std::sqrt(c / static_cast<long double>(k + 1))) * inv;
      gain_[k] = gain_[kPinkBlock - k] = {g, g};
    }
    plan_->BitReverse(gain_.data());
  }

  // Shapes first (and second, when given) and writes value k of each shaped
  // block to outFirst[k] / outSecond[k] for k in from .. kPinkBlock - 1.
  void Shape(const long double* first, const long double* second, long double* outFirst, long double* outSecond,
             std::size_t fromFirst, std::size_t fromSecond) {
    TComplex* a = work_.data();
    for (std::size_t k = 0; k < kPinkBlock; ++k)
      a[k] = {(first[k] - 0.5L) * 2, second ? (second[k] - 0.5L) * 2 : 0.0L};
    plan_->Forward(a);
    for (std::size_t p = 0; p < kPinkBlock; ++p) {
      a[p].Real *= gain_[p].Real;
      a[p].Imaginary *= gain_[p].Imaginary;
    }
    plan_->Inverse(a);
    for (std::size_t k = fromFirst; k < kPinkBlock; ++k) outFirst[k] = a[k].Real / 2 + 0.5L;
    if (second)
      for (std::size_t k = fromSecond; k < kPinkBlock; ++k) outSecond[k] = a[k].Imaginary / 2 + 0.5L;
  }

 private:
  std::shared_ptr<const krv::Radix2Plan> plan_;
  std::vector<TComplex> gain_;
  std::vector<TComplex> work_;
};

}  // namespace

// --- stream sources -------------------------------------------------------------

namespace krv {

namespace {

// Two poles of Kellet's filter over a block: a := cA a + dA w and
// b := cB b + dB w, added in that order to the running sum s (or starting
// it). Two poles at a time keep their constants and states in the x87
// registers and overlap their dependency chains; the sum is formed in the
// same order as sample by sample, so the values are the same.
template <bool First>
void PolePair(long double* state, long double cA, long double dA, long double cB, long double dB, const double* w,
              long double* s, std::size_t n) {
  long double a = state[0], b = state[1];
  for (std::size_t i = 0; i < n; ++i) {
    const long double x = w[i];
    a = cA * a + dA * x;
    b = cB * b + dB * x;
    if constexpr (First) s[i] = a + b;
    else s[i] = s[i] + a + b;
  }
  state[0] = a;
  state[1] = b;
}

}  // namespace

template <bool Scaled>
void KelletSource::Run(long double* out, std::size_t n, long double amp) {
  constexpr std::size_t kBlock = 512;
  double w[kBlock];  // (u - 0.5) * 2 has 33 significant bits: exact as a double
  for (std::size_t at = 0; at < n; at += kBlock) {
    const std::size_t m = std::min(kBlock, n - at);
    long double* s = out + at;
    for (std::size_t i = 0; i < m; ++i) w[i] = static_cast<double>((MtOpenUnit(mt_.Next()) - 0.5L) * 2);
    PolePair<true>(b_ + 0, 0.99886L, 0.0555179L, 0.99332L, 0.0750759L, w, s, m);
    PolePair<false>(b_ + 2, 0.969L, 0.153852L, 0.8665L, 0.3104856L, w, s, m);
    // The last: -0.7616 b - 0.016898 w, as a sum of the negated product.
    PolePair<false>(b_ + 4, 0.55L, 0.5329522L, -0.7616L, -0.016898L, w, s, m);
    for (std::size_t i = 0; i < m; ++i) {
      const long double x = w[i];
      // The sum / 32 and p / 2 as exact power-of-two products.
      long double p = (s[i] + 0.115926L * x + 0.5362L * x) * 0.03125L;
      p = std::clamp(p, -1.0L, 1.0L);
      const long double v = p * 0.5L + 0.5L;
      if constexpr (Scaled) s[i] = (v - 0.5L) * 2 * amp;
      else s[i] = v;
    }
  }
}

void KelletSource::Fill(long double* out, std::size_t n) { Run<false>(out, n, 1); }
void KelletSource::FillNoise(long double* out, std::size_t n, long double amp) { Run<true>(out, n, amp); }

struct RadiusTable {
  std::vector<long double> radius;
  std::size_t Bytes() const { return radius.size() * sizeof(long double); }
};

namespace {

std::shared_ptr<const RadiusTable> Radii(std::size_t n) {
  n = std::min(n, kRadiusCacheLimit);
  return Cached<RadiusTable>(CacheKind::GaussRadius, n, [n] {
    auto table = std::make_shared<RadiusTable>();
    table->radius.resize(n);
    MersenneTwister mt(0);
    for (long double& r : table->radius) r = Radius(MtOpenUnit(mt.Next()));
    return std::shared_ptr<const RadiusTable>(std::move(table));
  });
}

}  // namespace

GaussSource::GaussSource(std::uint32_t Seed, std::size_t Count) : u1_(0), u2_(Seed) {
  if (Count > 0) radius_ = Radii(Count);
}

void GaussSource::Fill(long double* out, std::size_t n) {
  if (n == 0) return;
  if (!radius_) radius_ = Radii(n);
  const std::size_t cached = radius_->radius.size();
  const UnitCosine& cosine = UnitCosine::Instance();
  for (std::size_t k = 0; k < n; ++k, ++index_) {
    long double r;
    if (index_ < cached) {
      r = radius_->radius[index_];
    } else {
      if (index_ == cached)
        for (std::size_t skip = 0; skip < cached; ++skip) u1_.Next();
      r = Radius(MtOpenUnit(u1_.Next()));
    }
    long double z = r * cosine(u2_.Next()) * 0.3L;
    if (std::fabs(z) > 1.0L) z = z > 0 ? 1.0L : -1.0L;
    out[k] = z / 2 + 0.5L;
  }
}

}  // namespace krv

namespace {

// Returns Count values of a stream source.
template <class Source>
TWaveBufferExtended Drawn(std::uint32_t Seed, std::int32_t Count) {
  TWaveBufferExtended out(CountOf(Count));
  Source(Seed, out.size()).Fill(out.data(), out.size());
  return out;
}

}  // namespace

// --- time seed ----------------------------------------------------------------

void TExFunctionLib::SetLocalClock(TLocalClock Clock) { gLocalClock.store(Clock, std::memory_order_release); }

TExFunctionLib::TClockTime TExFunctionLib::LocalClock() {
  const TLocalClock clock = gLocalClock.load(std::memory_order_acquire);
  return clock ? clock() : SystemLocalClock();
}

std::uint32_t TExFunctionLib::TimeSeed(const TClockTime& Time) {
  return static_cast<std::uint32_t>(Time.Day) * 1000000u + static_cast<std::uint32_t>(Time.Hour) * 10000u +
         static_cast<std::uint32_t>(Time.Minute) * 100u + static_cast<std::uint32_t>(Time.Second);
}

std::uint32_t TExFunctionLib::TimeSeed() { return TimeSeed(LocalClock()); }

// --- MT19937 helpers ----------------------------------------------------------

std::uint32_t TExFunctionLib::AddModulo32(std::uint32_t A, std::uint32_t B) { return krv::MtAddModulo32(A, B); }
std::uint32_t TExFunctionLib::MulModulo32(std::uint32_t A, std::uint32_t B) { return krv::MtMulModulo32(A, B); }
std::uint32_t TExFunctionLib::MixBits(std::uint32_t U, std::uint32_t V) { return krv::MtMixBits(U, V); }
std::uint32_t TExFunctionLib::Twist(std::uint32_t U, std::uint32_t V) { return krv::MtTwist(U, V); }
std::uint32_t TExFunctionLib::Temper(std::uint32_t Y) { return krv::MtTemper(Y); }

// --- sources --------------------------------------------------------------------

TWaveBufferExtended TExFunctionLib::UniformRandom(std::uint32_t Seed, std::int32_t Count) {
  return Drawn<krv::UniformSource>(Seed, Count);
}

TWaveBufferExtended TExFunctionLib::PinkNoiseKellet(std::uint32_t Seed, std::int32_t Count) {
  return Drawn<krv::KelletSource>(Seed, Count);
}

TWaveBufferExtended TExFunctionLib::GaussNoise(std::uint32_t Seed, std::int32_t Count) {
  return Drawn<krv::GaussSource>(Seed, Count);
}

TWaveBufferExtended TExFunctionLib::PinkNoiseVoss(std::uint32_t Seed, std::int32_t Count, std::int32_t Rows) {
  const std::size_t n = CountOf(Count);
  TWaveBufferExtended out(n);
  if (n == 0) return out;
  // Draws read the generator's values in order and start again from the
  // first after the last; a draw is the value's top 24 bits.
  std::vector<std::uint32_t> draws(n);
  MersenneTwister mt(Seed);
  for (auto& d : draws) d = mt.Next() >> 8;
  std::size_t next = 0;
  auto draw = [&] {
    const std::uint32_t r = draws[next];
    if (++next == n) next = 0;
    return r;
  };

  const std::int32_t rows = std::clamp(Rows, 0, 30);
  TPinkNoise state{std::vector<std::uint32_t>(30, 0), 0, 0, static_cast<std::int32_t>((1u << rows) - 1),
                   1.0L / ((rows + 1) * 8388608.0L)};
  for (long double& v : out) {
    state.Index = (state.Index + 1) & state.indexMask;
    if (state.Index != 0) {
      const int z = std::countr_zero(static_cast<std::uint32_t>(state.Index));
      state.RunningSum -= state.Rows[z];
      const std::uint32_t r = draw();
      state.RunningSum += r;
      state.Rows[z] = r;
    }
    const std::uint32_t sum = state.RunningSum + draw();
    const long double x = sum * state.Scaler;
    v = (x * 0.5L - 0.5L) * 0.25L + 0.5L;
  }
  return out;
}

TWaveBufferExtended TExFunctionLib::PinkNoiseLPF(std::uint32_t Seed, std::int32_t Count, std::int32_t Corner) {
  const std::size_t n = CountOf(Count);
  TWaveBufferExtended out(n);
  if (n == 0) return out;
  // Fewer values than one block: the block is made from the first
  // kPinkBlock white values and the last n of it are used.
  const TWaveBufferExtended u = UniformRandom(Seed, static_cast<std::int32_t>(std::max(n, kPinkBlock)));
  const std::size_t blocks = n / kPinkBlock;
  const std::size_t rem = n - kPinkBlock * blocks;

  // Jobs: every full block, then the block of the last kPinkBlock values,
  // which gives the last rem values (and is skipped when rem is 0).
  struct Job {
    const long double* in;
    long double* out;  // where value 0 of the block goes
    std::size_t from;  // first value of the block that is kept
  };
  std::vector<Job> jobs;
  for (std::size_t b = 0; b < blocks; ++b) jobs.push_back({u.data() + kPinkBlock * b, out.data() + kPinkBlock * b, 0});
  if (rem > 0) jobs.push_back({u.data() + u.size() - kPinkBlock, out.data() + n - kPinkBlock, kPinkBlock - rem});

  PinkShaper shaper(Corner);
  for (std::size_t j = 0; j < jobs.size(); j += 2) {
    const Job& a = jobs[j];
    const Job* b = j + 1 < jobs.size() ? &jobs[j + 1] : nullptr;
    shaper.Shape(a.in, b ? b->in : nullptr, a.out, b ? b->out : nullptr, a.from, b ? b->from : 0);
  }
  return out;
}

std::int32_t TExFunctionLib::PinkNoiseCorner(std::int32_t SamplingRate) {
  // The transform bin of 10 Hz at a bin width of 44100 / 16384 Hz, scaled by
  // the whole multiple of 44100 Hz; never below bin 1.
  const std::int32_t r = SamplingRate >= 44100 ? SamplingRate / 44100 : 1;
  const auto corner = static_cast<std::int32_t>(10.0L / (r * 2.691650390625L));
  return std::max(corner, 1);
}

TWaveBufferExtended TExFunctionLib::GenerateWaveDataNoise(const TPCMFormat& PCMFormat,
                                                          const TSignalAttribute& SignalAttribute,
                                                          std::int32_t WaveBufferMilliSec,
                                                          TPinkNoiseMethod PinkNoiseMethod) {
  TWaveBufferExtended buffer;
  GenerateWaveDataNoise(PCMFormat, SignalAttribute, WaveBufferMilliSec, PinkNoiseMethod, buffer);
  return buffer;
}

void TExFunctionLib::GenerateWaveDataNoise(const TPCMFormat& PCMFormat, const TSignalAttribute& SignalAttribute,
                                           std::int32_t WaveBufferMilliSec, TPinkNoiseMethod PinkNoiseMethod,
                                           TWaveBufferExtended& Buffer) {
  GenerateWaveDataNoise(PCMFormat, SignalAttribute, WaveBufferMilliSec, PinkNoiseMethod, TimeSeed(), Buffer);
}

TWaveBufferExtended TExFunctionLib::GenerateWaveDataNoise(const TPCMFormat& PCMFormat,
                                                          const TSignalAttribute& SignalAttribute,
                                                          std::int32_t WaveBufferMilliSec,
                                                          TPinkNoiseMethod PinkNoiseMethod, std::uint32_t Seed) {
  TWaveBufferExtended buffer;
  GenerateWaveDataNoise(PCMFormat, SignalAttribute, WaveBufferMilliSec, PinkNoiseMethod, Seed, buffer);
  return buffer;
}

void TExFunctionLib::GenerateWaveDataNoise(const TPCMFormat& PCMFormat, const TSignalAttribute& SignalAttribute,
                                           std::int32_t WaveBufferMilliSec, TPinkNoiseMethod PinkNoiseMethod,
                                           std::uint32_t Seed, TWaveBufferExtended& Buffer) {
  const krv::ExtendedPrecisionScope precision;  // whatever the caller's thread was left with
  const std::uint32_t seed = Seed;
  const std::int64_t samples = static_cast<std::int64_t>(PCMFormat._SamplingRate) * WaveBufferMilliSec;
  const auto n = static_cast<std::int32_t>(samples > 0 ? (samples + 999) / 1000 : 0);
  const long double amp = std::pow(10.0L, SignalAttribute._Amplitude / 20.0L);
  Buffer.resize(CountOf(n));
  long double* y = Buffer.data();  // written through a pointer: no copy per sample
  switch (SignalAttribute._NoiseType) {
    case TNoiseType::_PinkNoise:
      switch (PinkNoiseMethod) {
        case TPinkNoiseMethod::_Voss: Buffer = PinkNoiseVoss(seed, n, 12); break;
        case TPinkNoiseMethod::_LPF: Buffer = PinkNoiseLPF(seed, n, PinkNoiseCorner(PCMFormat._SamplingRate)); break;
        case TPinkNoiseMethod::_Kellet:
        default:
          // Scaled as it is drawn: one pass over the block.
          krv::KelletSource(seed, Buffer.size()).FillNoise(y, Buffer.size(), amp);
          return;
      }
      break;
    case TNoiseType::_GaussNoise: krv::GaussSource(seed, Buffer.size()).Fill(y, Buffer.size()); break;
    case TNoiseType::_WhiteNoise:
    default: {
      // The uniform values scaled as they are drawn: one pass over the block.
      MersenneTwister mt(seed);
      for (std::size_t i = 0; i < Buffer.size(); ++i) y[i] = (krv::MtOpenUnit(mt.Next()) - 0.5L) * 2 * amp;
      return;
    }
  }
  for (long double& v : Buffer) v = (v - 0.5L) * 2 * amp;
}
