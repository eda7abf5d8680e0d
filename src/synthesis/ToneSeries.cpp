#include "synthesis/ToneSeries.h"

#include <numbers>
#include <utility>

namespace krv {

namespace {

constexpr long double kPi = std::numbers::pi_v<long double>;

// The largest prime radix of the built-in transform: a radix-p pass costs
// about p/2 multiply-adds per point.
constexpr std::int64_t kMaxRadix = 31;

bool OddOnly(SeriesKind Kind) { return Kind != SeriesKind::Sawtooth; }

// The radices of P, 4 first, then 2, then the odd primes in ascending order;
// empty when a prime factor exceeds kMaxRadix.
std::vector<std::int64_t> Radices(std::int64_t P) {
  std::vector<std::int64_t> radices;
  while (P % 4 == 0) {
    radices.push_back(4);
    P /= 4;
  }
  if (P % 2 == 0) {
    radices.push_back(2);
    P /= 2;
  }
  for (std::int64_t p = 3; p <= kMaxRadix && P > 1; p += 2) {
    while (P % p == 0) {
      radices.push_back(p);
      P /= p;
    }
  }
  if (P > 1) radices.clear();
  return radices;
}

struct Cx {
  long double re, im;
};

// x[n] := sum over k of x[k] * exp(+2 pi i k n / P), natural order in and out
// (Stockham self-sorting passes between x and work). Twiddles come from the
// tone table, whose length is a multiple of P: exp(2 pi i m / P) is entry
// m * (L / P).
void InverseTransform(std::vector<Cx>& x, const ToneTable& table) {
  const auto P = static_cast<std::int64_t>(x.size());
  const std::int64_t g = table.Length() / P;
  std::vector<Cx> work(x.size());
  Cx* src = x.data();
  Cx* dst = work.data();
  std::int64_t n = P, s = 1;
  std::vector<Cx> w, root, a, b;
  for (const std::int64_t p : Radices(P)) {
    const std::int64_t m = n / p;
    w.resize(static_cast<std::size_t>(p));
    a.resize(static_cast<std::size_t>(p));
    b.resize(static_cast<std::size_t>(p));
    // exp(2 pi i j / p), j = 0 .. p-1, for the odd radices.
    root.resize(static_cast<std::size_t>(p));
    for (std::int64_t j = 0; j < p; ++j)
      root[static_cast<std::size_t>(j)] = {table.Cos(j * (P / p) * g), table.Sin(j * (P / p) * g)};
    for (std::int64_t k = 0; k < m; ++k) {
      for (std::int64_t t = 1; t < p; ++t) {
        const std::int64_t idx = ((k * t * s) % P) * g;
        w[static_cast<std::size_t>(t)] = {table.Cos(idx), table.Sin(idx)};
      }
      for (std::int64_t q = 0; q < s; ++q) {
        const Cx* in = src + q + s * k;
        Cx* out = dst + q + s * p * k;
        const std::int64_t stride = s * m;
        if (p == 4) {
          const Cx a0 = in[0], a1 = in[stride], a2 = in[2 * stride], a3 = in[3 * stride];
          const Cx s02{a0.re + a2.re, a0.im + a2.im}, d02{a0.re - a2.re, a0.im - a2.im};
          const Cx s13{a1.re + a3.re, a1.im + a3.im}, d13{a1.re - a3.re, a1.im - a3.im};
          const Cx b0{s02.re + s13.re, s02.im + s13.im};
          const Cx b1{d02.re - d13.im, d02.im + d13.re};
          const Cx b2{s02.re - s13.re, s02.im - s13.im};
          const Cx b3{d02.re + d13.im, d02.im - d13.re};
          const Cx& w1 = w[1];
          const Cx& w2 = w[2];
          const Cx& w3 = w[3];
          out[0] = b0;
          out[s] = {b1.re * w1.re - b1.im * w1.im, b1.re * w1.im + b1.im * w1.re};
          out[2 * s] = {b2.re * w2.re - b2.im * w2.im, b2.re * w2.im + b2.im * w2.re};
          out[3 * s] = {b3.re * w3.re - b3.im * w3.im, b3.re * w3.im + b3.im * w3.re};
        } else if (p == 2) {
          const Cx a0 = in[0], a1 = in[stride];
          const Cx d{a0.re - a1.re, a0.im - a1.im};
          const Cx& w1 = w[1];
          out[0] = {a0.re + a1.re, a0.im + a1.im};
          out[s] = {d.re * w1.re - d.im * w1.im, d.re * w1.im + d.im * w1.re};
        } else {
          // Odd prime radix by symmetric pairs: with S_r = a_r + a_(p-r) and
          // D_r = a_r - a_(p-r), b_t = a0 + sum S_r cos + i D_r sin and
          // b_(p-t) = a0 + sum S_r cos - i D_r sin.
          for (std::int64_t r = 0; r < p; ++r) a[static_cast<std::size_t>(r)] = in[r * stride];
          const std::int64_t h = (p - 1) / 2;
          Cx sum = a[0];
          for (std::int64_t r = 1; r < p; ++r) {
            sum.re += a[static_cast<std::size_t>(r)].re;
            sum.im += a[static_cast<std::size_t>(r)].im;
          }
          b[0] = sum;
          for (std::int64_t t = 1; t <= h; ++t) {
            Cx c = a[0], d{0, 0};
            for (std::int64_t r = 1; r <= h; ++r) {
              const Cx& ar = a[static_cast<std::size_t>(r)];
              const Cx& an = a[static_cast<std::size_t>(p - r)];
              const Cx& e = root[static_cast<std::size_t>((r * t) % p)];
              c.re += (ar.re + an.re) * e.re;
              c.im += (ar.im + an.im) * e.re;
              d.re -= (ar.im - an.im) * e.im;
              d.im += (ar.re - an.re) * e.im;
            }
            b[static_cast<std::size_t>(t)] = {c.re + d.re, c.im + d.im};
            b[static_cast<std::size_t>(p - t)] = {c.re - d.re, c.im - d.im};
          }
          out[0] = b[0];
          for (std::int64_t t = 1; t < p; ++t) {
            const Cx& bt = b[static_cast<std::size_t>(t)];
            const Cx& wt = w[static_cast<std::size_t>(t)];
            out[t * s] = {bt.re * wt.re - bt.im * wt.im, bt.re * wt.im + bt.im * wt.re};
          }
        }
      }
    }
    std::swap(src, dst);
    n = m;
    s *= p;
  }
  if (src != x.data()) x.swap(work);
}

}  // namespace

long double SeriesCoefficient(SeriesKind Kind, std::int64_t k) {
  const long double kk = static_cast<long double>(k);
  switch (Kind) {
    case SeriesKind::Square:
      return k % 2 == 1 ? 1 / kk : 0;
    case SeriesKind::Triangle:
      if (k % 2 == 0) return 0;
      return ((k + 1) % 4 != 0 ? 1 : -1) / (kk * kk);
    case SeriesKind::Sawtooth:
      return (k % 2 == 1 ? 1 : -1) / kk;
  }
  return 0;
}

long double SeriesFactor(SeriesKind Kind) {
  switch (Kind) {
    case SeriesKind::Square:
      return 4 / kPi;
    case SeriesKind::Triangle:
      return 8 / (kPi * kPi);
    case SeriesKind::Sawtooth:
      return 2 / kPi;
  }
  return 0;
}

bool SmoothLength(std::int64_t P) { return P == 1 || !Radices(P).empty(); }

std::int64_t SeriesDirectCost(SeriesKind Kind, std::int64_t K, std::int64_t P) {
  const std::int64_t terms = OddOnly(Kind) ? (K + 1) / 2 : K;
  return (P / 2 + 1) * terms;
}

std::int64_t SeriesTransformCost(std::int64_t P) {
  std::int64_t cost = 0;
  for (const std::int64_t p : Radices(P)) cost += P * (p == 4 ? 3 : p == 2 ? 2 : (p + 3) / 2 * 2);
  return cost;
}

std::vector<long double> SeriesPeriodDirect(SeriesKind Kind, std::int64_t K, std::int64_t q,
                                            std::int64_t P, const ToneTable& Table) {
  std::vector<long double> S(static_cast<std::size_t>(P), 0.0L);
  const std::int64_t L = Table.Length();
  const std::int64_t g = L / P;
  const bool oddOnly = OddOnly(Kind);
  std::vector<long double> c;
  for (std::int64_t k = 1; k <= K; k += oddOnly ? 2 : 1) c.push_back(SeriesCoefficient(Kind, k));
  // The series is odd about n = 0, so S[P - n] = -S[n]; only the first half
  // is summed.
  for (std::int64_t n = 1; 2 * n <= P; ++n) {
    const std::int64_t step = ((q * n) % P) * g;  // table index of harmonic 1
    const std::int64_t jump = oddOnly ? (2 * step) % L : step;
    std::int64_t idx = step;
    long double sum = 0;
    for (const long double ck : c) {
      sum += ck * Table.Sin(idx);
      idx += jump;
      if (idx >= L) idx -= L;
    }
    S[static_cast<std::size_t>(n)] = sum;
    if (2 * n != P) S[static_cast<std::size_t>(P - n)] = -sum;
  }
  return S;
}

std::vector<long double> SeriesPeriodTransform(SeriesKind Kind, std::int64_t K, std::int64_t q,
                                               std::int64_t P, const ToneTable& Table) {
  std::vector<Cx> x(static_cast<std::size_t>(P), Cx{0, 0});
  for (std::int64_t k = 1; k <= K; ++k)
    x[static_cast<std::size_t>((k * q) % P)].re = SeriesCoefficient(Kind, k);
  InverseTransform(x, Table);
  std::vector<long double> S(static_cast<std::size_t>(P));
  for (std::int64_t n = 0; n < P; ++n) S[static_cast<std::size_t>(n)] = x[static_cast<std::size_t>(n)].im;
  return S;
}

}  // namespace krv
