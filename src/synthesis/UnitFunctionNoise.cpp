// Randomness of the engine: the time seed, MT19937 uniform values, pink noise
// (Kellet's filter, the Voss-McCartney rows, spectral shaping) and Gaussian
// noise, and the noise record's second of samples.
#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <ctime>
#include <memory>
#include <mutex>
#include <numbers>

#include "synthesis/MersenneTwister.h"
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

// Fills out[0 .. n) with the generator's values in the open interval 0 .. 1.
void FillUniform(std::uint32_t seed, long double* out, std::size_t n) {
  MersenneTwister mt(seed);
  for (std::size_t i = 0; i < n; ++i) out[i] = krv::MtOpenUnit(mt.Next());
}

// --- Gaussian noise ---------------------------------------------------------
// The first uniform stream of the Box-Muller pair is the same at every call
// (seed 0), so its radius sqrt(-2 ln u1) is computed once and kept. The
// table only grows (under the mutex) and each published table is immutable.
constexpr std::size_t kRadiusCacheLimit = std::size_t{1} << 19;

long double Radius(long double u1) { return std::sqrt(-2.0L * std::log(u1)); }

std::shared_ptr<const std::vector<long double>> RadiusTable(std::size_t n) {
  static std::mutex mutex;
  static std::shared_ptr<const std::vector<long double>> table;
  n = std::min(n, kRadiusCacheLimit);
  std::lock_guard<std::mutex> lock(mutex);
  if (!table || table->size() < n) {
    auto grown = std::make_shared<std::vector<long double>>(n);
    const std::size_t kept = table ? table->size() : 0;
    MersenneTwister mt(0);
    for (std::size_t i = 0; i < n; ++i) {
      const long double u1 = krv::MtOpenUnit(mt.Next());
      (*grown)[i] = i < kept ? (*table)[i] : Radius(u1);
    }
    table = std::move(grown);
  }
  return table;
}

// cos(2 pi u) for u = (y + 0.5) / 2^32: the angle is 2 pi j / 2^33 with the
// odd integer j = 2y + 1, split into three 11-bit digits whose rotations come
// from small tables. Exact phase, no large-argument reduction.
class UnitCosine {
 public:
  static const UnitCosine& Instance() {
    static const UnitCosine instance;
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
  TWaveBufferExtended u(CountOf(Count));
  FillUniform(Seed, u.data(), u.size());
  return u;
}

TWaveBufferExtended TExFunctionLib::PinkNoiseKellet(std::uint32_t Seed, std::int32_t Count) {
  TWaveBufferExtended out = UniformRandom(Seed, Count);
  long double b0 = 0, b1 = 0, b2 = 0, b3 = 0, b4 = 0, b5 = 0, b6 = 0;
  for (long double& v : out) {
    const long double w = (v - 0.5L) * 2;
    b0 = 0.99886L * b0 + 0.0555179L * w;
    b1 = 0.99332L * b1 + 0.0750759L * w;
    b2 = 0.969L * b2 + 0.153852L * w;
    b3 = 0.8665L * b3 + 0.3104856L * w;
    b4 = 0.55L * b4 + 0.5329522L * w;
    b5 = -0.7616L * b5 - 0.016898L * w;
    b6 = 0.115926L * w;
    long double p = (b0 + b1 + b2 + b3 + b4 + b5 + b6 + 0.5362L * w) / 32;
    p = std::clamp(p, -1.0L, 1.0L);
    v = p / 2 + 0.5L;
  }
  return out;
}

TWaveBufferExtended TExFunctionLib::GaussNoise(std::uint32_t Seed, std::int32_t Count) {
  const std::size_t n = CountOf(Count);
  TWaveBufferExtended out(n);
  if (n == 0) return out;
  const auto radius = RadiusTable(n);
  const std::size_t cached = radius->size();
  const UnitCosine& cosine = UnitCosine::Instance();
  MersenneTwister u1(0);  // only read past the cached radii
  MersenneTwister u2(Seed);
  for (std::size_t i = 0; i < n; ++i) {
    long double r;
    if (i < cached) {
      r = (*radius)[i];
    } else {
      if (i == cached)
        for (std::size_t skip = 0; skip < cached; ++skip) u1.Next();
      r = Radius(krv::MtOpenUnit(u1.Next()));
    }
    long double z = r * cosine(u2.Next()) * 0.3L;
    if (std::fabs(z) > 1.0L) z = z > 0 ? 1.0L : -1.0L;
    out[i] = z / 2 + 0.5L;
  }
  return out;
}
