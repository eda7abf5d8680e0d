#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <thread>

#include "synthesis/ExtendedPrecisionProbe.h"
#include "synthesis/FourierPlan.h"
#include "synthesis/ReferenceTransform.h"
#include "synthesis/UnitFunction.h"

namespace {

struct Lib : TExFunctionLib {
  using TExFunctionLib::DFTBluestein;
  using TExFunctionLib::FFT;
  using TExFunctionLib::IDFTBluestein;
  using TExFunctionLib::IFFT;
};

constexpr long double kPi = std::numbers::pi_v<long double>;


long double Peak(const TProgressionComplex& x) {
  long double p = 0;
  for (const auto& v : x) p = std::max({p, std::fabs(v.Real), std::fabs(v.Imaginary)});
  return p;
}

// Every point within tolerance * max(1, peak of expected).
void ExpectClose(const TProgressionComplex& expected, const TProgressionComplex& actual, long double tolerance) {
  ASSERT_EQ(expected.size(), actual.size());
  const long double tol = tolerance * std::max(1.0L, Peak(expected));
  for (std::size_t i = 0; i < expected.size(); ++i) {
    ASSERT_LE(std::fabs(expected[i].Real - actual[i].Real), tol) << "real part at " << i;
    ASSERT_LE(std::fabs(expected[i].Imaginary - actual[i].Imaginary), tol) << "imaginary part at " << i;
  }
}

TEST(FFT, OnePointAndNonPowerOfTwo) {
  const TProgressionComplex one{{3, -1}};
  EXPECT_EQ(Lib::FFT(one)[0].Real, 6);
  EXPECT_EQ(Lib::FFT(one)[0].Imaginary, -2);
  EXPECT_EQ(Lib::IFFT(one)[0].Real, 1.5L);
  EXPECT_EQ(Lib::IFFT(one)[0].Imaginary, -0.5L);
  for (std::size_t n : {3u, 6u, 12u, 48000u}) {
    for (const auto& r : {Lib::FFT(ref::RandomComplexes(n, 1)), Lib::IFFT(ref::RandomComplexes(n, 1))}) {
      ASSERT_EQ(r.size(), n);
      for (const auto& v : r) ASSERT_TRUE(v.Real == 0 && v.Imaginary == 0);
    }
  }
  EXPECT_TRUE(Lib::FFT({}).empty());
  EXPECT_TRUE(Lib::DFTBluestein({}).empty());
}

TEST(FFT, ImpulseCosineAndSinePair) {
  TProgressionComplex impulse(8, TComplex{0, 0});
  impulse[0] = {1, 0};
  for (const auto& v : Lib::FFT(impulse)) {
    EXPECT_NEAR(static_cast<double>(v.Real), 0.25, 1e-18);
    EXPECT_NEAR(static_cast<double>(v.Imaginary), 0, 1e-18);
  }
  TProgressionComplex c(16);
  for (int n = 0; n < 16; ++n) c[n] = {std::cos(2 * kPi * 3 * n / 16), 0};
  const auto C = Lib::FFT(c);
  for (int k = 0; k < 16; ++k) {
    EXPECT_NEAR(static_cast<double>(C[k].Real), (k == 3 || k == 13) ? 1 : 0, 1e-17) << k;
    EXPECT_NEAR(static_cast<double>(C[k].Imaginary), 0, 1e-17) << k;
  }
  const int N = 64, F = 5;
  const long double A = 0.75L;
  TProgressionComplex s(N, TComplex{0, 0}), a(N, TComplex{0, 0});
  s[F] = {0, -1};
  s[N - F] = {0, 1};
  a[F] = a[N - F] = {A, 0};
  const auto ys = Lib::IFFT(s), ya = Lib::IFFT(a);
  for (int n = 0; n < N; ++n) {
    EXPECT_LE(std::fabs(ys[n].Real - std::sin(2 * kPi * F * n / N)), 1e-17L);
    EXPECT_LE(std::fabs(ys[n].Imaginary), 1e-17L);
    EXPECT_LE(std::fabs(ya[n].Real - A * std::cos(2 * kPi * F * n / N)), 1e-17L);
  }
}

TEST(FFT, MatchesTheLiteralTransformAndInverts) {
  for (std::size_t n : {2u, 4u, 8u, 64u, 1024u, 4096u, 16384u}) {
    const auto x = ref::RandomComplexes(n, static_cast<unsigned>(n));
    ExpectClose(ref::FFT(x), Lib::FFT(x), 1e-17L);
    ExpectClose(ref::IFFT(x), Lib::IFFT(x), 1e-17L * n);
    ExpectClose(x, Lib::IFFT(Lib::FFT(x)), 1e-17L);
  }
}

TEST(DFTBluestein, MatchesThePlainSumOnOddAndOtherLengths) {
  for (std::size_t n : {1u, 2u, 3u, 5u, 7u, 9u, 15u, 101u, 1000u, 1001u, 5507u}) {
    const auto x = ref::RandomComplexes(n, static_cast<unsigned>(n) + 7);
    ExpectClose(ref::PlainDFT(x, -1, 2.0L / n), Lib::DFTBluestein(x), 1e-17L);
    ExpectClose(ref::PlainDFT(x, +1, 0.5L), Lib::IDFTBluestein(x), 1e-17L * n);
  }
}

TEST(DFTBluestein, MatchesTheLiteralChirpRouteAndTheRadix2Pair) {
  for (std::size_t n : {1u, 8u, 48u, 1023u}) {
    const auto x = ref::RandomComplexes(n, 99);
    // The literal chirp phase (n pi)(n / N) loses a little for large n.
    ExpectClose(ref::DFTBluestein(x), Lib::DFTBluestein(x), 1e-16L);
    ExpectClose(ref::IDFTBluestein(x), Lib::IDFTBluestein(x), 1e-16L * n);
  }
  const auto x = ref::RandomComplexes(8, 3);
  ExpectClose(Lib::FFT(x), Lib::DFTBluestein(x), 1e-18L);
  const TProgressionComplex one{{1.25L, 0.5L}};
  ExpectClose({{2.5L, 1.0L}}, Lib::DFTBluestein(one), 1e-18L);
}

TEST(DFTBluestein, InverseRestoresTheInput) {
  for (std::size_t n : {1u, 2u, 3u, 4u, 5u, 6u, 17u, 255u, 256u, 257u, 44100u}) {
    const auto x = ref::RandomComplexes(n, 5);
    ExpectClose(x, Lib::IDFTBluestein(Lib::DFTBluestein(x)), 1e-17L);
  }
}

TEST(DFTBluestein, SameResultOnSeveralThreadsAtOnce) {
  const auto x = ref::RandomComplexes(5507, 11), y = ref::RandomComplexes(4410, 12);
  const auto ex = Lib::IDFTBluestein(x), ey = Lib::IDFTBluestein(y);
  std::vector<std::thread> threads;
  std::atomic<int> mismatches{0};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 3; ++i) {
        const auto r = (t % 2) ? Lib::IDFTBluestein(x) : Lib::IDFTBluestein(y);
        const auto& e = (t % 2) ? ex : ey;
        for (std::size_t k = 0; k < e.size(); ++k)
          if (r[k].Real != e[k].Real || r[k].Imaginary != e[k].Imaginary) ++mismatches;
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(mismatches.load(), 0);
}

}  // namespace

namespace {

// A spectrum with X[N - k] = conj(X[k]): the inverse is real.
TProgressionComplex Symmetric(std::size_t n, unsigned seed) {
  auto x = ref::RandomComplexes(n, seed);
  x[0].Imaginary = 0;
  if (n % 2 == 0) x[n / 2].Imaginary = 0;
  for (std::size_t k = 1; k <= n / 2; ++k) x[n - k] = {x[k].Real, -x[k].Imaginary};
  return x;
}

TEST(IDFTBluestein, ConjugateSymmetricSpectraGiveTheRealSignal) {
  for (std::size_t n : {2u, 4u, 6u, 10u, 64u, 1000u, 5508u, 44056u}) {
    const auto X = Symmetric(n, static_cast<unsigned>(n));
    const auto expected = n <= 5508 ? ref::PlainDFT(X, +1, 0.5L) : ref::IDFTBluestein(X);
    const auto y = Lib::IDFTBluestein(X);
    ExpectClose(expected, y, n <= 5508 ? 1e-17L * n : 1e-16L * n);
    for (const auto& v : y) ASSERT_EQ(v.Imaginary, 0);
    // And back again.
    ExpectClose(X, Lib::DFTBluestein(y), 1e-17L);
  }
  // Odd lengths take the general route.
  const auto X = Symmetric(5507, 1);
  ExpectClose(ref::PlainDFT(X, +1, 0.5L), Lib::IDFTBluestein(X), 1e-17L * 5507);
}

}  // namespace

namespace {

TEST(DFTBluestein, PlanBuiltOnAThreadAtDoublePrecisionIsStillExtended) {
  krv::ClearFourierPlans();
  std::uint16_t dbl, during;
  {
    const krvtest::DoublePrecisionScope atDouble;
    dbl = atDouble.ControlWord();
    krv::BluesteinPlan::Get(1001);  // built (and kept) here
    during = krv::ReadFpuControlWord();
  }
  EXPECT_EQ(during, dbl);  // the caller's setting is back
  const auto x = ref::RandomComplexes(1001, 4);
  ExpectClose(ref::PlainDFT(x, -1, 2.0L / 1001), Lib::DFTBluestein(x), 1e-17L);
}

}  // namespace
