#include "synthesis/ToneSeries.h"

#include <numbers>
#include <utility>

#include "synthesis/FourierPlan.h"

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

inline TComplex Mul(const TComplex& a, const TComplex& b) {
  return {a.Real * b.Real - a.Imaginary * b.Imaginary, a.Real * b.Imaginary + a.Imaginary * b.Real};
}
inline TComplex Add(const TComplex& a, const TComplex& b) { return {a.Real + b.Real, a.Imaginary + b.Imaginary}; }
inline TComplex Sub(const TComplex& a, const TComplex& b) { return {a.Real - b.Real, a.Imaginary - b.Imaginary}; }
inline TComplex Scale(long double c, const TComplex& a) { return {c * a.Real, c * a.Imaginary}; }
// i * a
inline TComplex TimesI(const TComplex& a) { return {-a.Imaginary, a.Real}; }

// exp(2 pi i m / P) for 0 <= m < P, as a coarse root times a fine one, both
// read from the tone table: two small arrays that stay in the cache instead
// of reads scattered over the whole table.
class UnitRoots {
 public:
  UnitRoots(std::int64_t P, const ToneTable& table) {
    const std::int64_t g = table.Length() / P;
    for (std::int64_t b = 0; b < kFine && b < P; ++b) fine_.push_back({table.Cos(b * g), table.Sin(b * g)});
    for (std::int64_t a = 0; a * kFine < P; ++a) coarse_.push_back({table.Cos(a * kFine * g), table.Sin(a * kFine * g)});
  }
  TComplex operator()(std::int64_t m) const {
    return Mul(coarse_[static_cast<std::size_t>(m >> kFineBits)], fine_[static_cast<std::size_t>(m & (kFine - 1))]);
  }

 private:
  static constexpr int kFineBits = 8;
  static constexpr std::int64_t kFine = std::int64_t{1} << kFineBits;
  std::vector<TComplex> coarse_, fine_;
};

// x[n] := sum over k of x[k] * exp(+2 pi i k n / P) for a length made of
// radices up to kMaxRadix, natural order in and out: Stockham self-sorting
// passes between x and a work array. The tone table's length must be a
// multiple of P.
void SmoothInverse(std::vector<TComplex>& x, const ToneTable& table) {
  const auto P = static_cast<std::int64_t>(x.size());
  const std::int64_t L = table.Length();
  const UnitRoots roots(P, table);
  std::vector<TComplex> work(x.size());
  TComplex* src = x.data();
  TComplex* dst = work.data();
  std::int64_t n = P, s = 1;
  std::vector<TComplex> w, root, a, b;
  std::vector<std::int64_t> angle;
  for (const std::int64_t p : Radices(P)) {
    const std::int64_t m = n / p;
    const std::int64_t stride = s * m;
    w.assign(static_cast<std::size_t>(p), TComplex{1, 0});
    a.resize(static_cast<std::size_t>(p));
    b.resize(static_cast<std::size_t>(p));
    root.resize(static_cast<std::size_t>(p));  // exp(2 pi i j / p)
    for (std::int64_t j = 0; j < p; ++j) root[static_cast<std::size_t>(j)] = {table.Cos(j * (L / p)), table.Sin(j * (L / p))};
    // Twiddle t of butterfly k is exp(2 pi i k t s / P); its angle index
    // k t s mod P is stepped, not divided.
    angle.assign(static_cast<std::size_t>(p), 0);
    for (std::int64_t k = 0; k < m; ++k) {
      for (std::int64_t t = 1; t < p; ++t) {
        std::int64_t& e = angle[static_cast<std::size_t>(t)];
        w[static_cast<std::size_t>(t)] = roots(e);
        e += t * s;
        while (e >= P) e -= P;
      }
      const TComplex* in0 = src + s * k;
      TComplex* out0 = dst + s * p * k;
      for (std::int64_t q = 0; q < s; ++q) {
        const TComplex* in = in0 + q;
        TComplex* out = out0 + q;
        if (p == 4) {
          const TComplex a0 = in[0], a1 = in[stride], a2 = in[2 * stride], a3 = in[3 * stride];
          const TComplex s02 = Add(a0, a2), d02 = Sub(a0, a2), s13 = Add(a1, a3), d13 = TimesI(Sub(a1, a3));
          out[0] = Add(s02, s13);
          out[s] = Mul(Add(d02, d13), w[1]);
          out[2 * s] = Mul(Sub(s02, s13), w[2]);
          out[3 * s] = Mul(Sub(d02, d13), w[3]);
        } else if (p == 2) {
          const TComplex a0 = in[0], a1 = in[stride];
          out[0] = Add(a0, a1);
          out[s] = Mul(Sub(a0, a1), w[1]);
        } else if (p == 3) {
          const TComplex a0 = in[0], a1 = in[stride], a2 = in[2 * stride];
          const TComplex t1 = Add(a1, a2);
          const TComplex m1 = Sub(a0, Scale(0.5L, t1));
          const TComplex t2 = TimesI(Scale(root[1].Imaginary, Sub(a1, a2)));
          out[0] = Add(a0, t1);
          out[s] = Mul(Add(m1, t2), w[1]);
          out[2 * s] = Mul(Sub(m1, t2), w[2]);
        } else if (p == 5) {
          const TComplex a0 = in[0], a1 = in[stride], a2 = in[2 * stride], a3 = in[3 * stride], a4 = in[4 * stride];
          const long double c1 = root[1].Real, c2 = root[2].Real, s1 = root[1].Imaginary, s2 = root[2].Imaginary;
          const TComplex S1 = Add(a1, a4), S2 = Add(a2, a3), D1 = Sub(a1, a4), D2 = Sub(a2, a3);
          const TComplex A1 = Add(a0, Add(Scale(c1, S1), Scale(c2, S2)));
          const TComplex A2 = Add(a0, Add(Scale(c2, S1), Scale(c1, S2)));
          const TComplex B1 = TimesI(Add(Scale(s1, D1), Scale(s2, D2)));
          const TComplex B2 = TimesI(Sub(Scale(s2, D1), Scale(s1, D2)));
          out[0] = Add(a0, Add(S1, S2));
          out[s] = Mul(Add(A1, B1), w[1]);
          out[2 * s] = Mul(Add(A2, B2), w[2]);
          out[3 * s] = Mul(Sub(A2, B2), w[3]);
          out[4 * s] = Mul(Sub(A1, B1), w[4]);
        } else {
          // Any other odd prime by symmetric pairs: with S_r = a_r + a_(p-r)
          // and D_r = a_r - a_(p-r), b_t = a0 + sum S_r cos + i D_r sin and
          // b_(p-t) = a0 + sum S_r cos - i D_r sin.
          for (std::int64_t r = 0; r < p; ++r) a[static_cast<std::size_t>(r)] = in[r * stride];
          const std::int64_t h = (p - 1) / 2;
          TComplex sum = a[0];
          for (std::int64_t r = 1; r < p; ++r) sum = Add(sum, a[static_cast<std::size_t>(r)]);
          b[0] = sum;
          for (std::int64_t t = 1; t <= h; ++t) {
            TComplex c = a[0], d{0, 0};
            std::int64_t rt = 0;
            for (std::int64_t r = 1; r <= h; ++r) {
              if ((rt += t) >= p) rt -= p;
              const TComplex& e = root[static_cast<std::size_t>(rt)];
              c = Add(c, Scale(e.Real, Add(a[static_cast<std::size_t>(r)], a[static_cast<std::size_t>(p - r)])));
              d = Add(d, Scale(e.Imaginary, Sub(a[static_cast<std::size_t>(r)], a[static_cast<std::size_t>(p - r)])));
            }
            b[static_cast<std::size_t>(t)] = Add(c, TimesI(d));
            b[static_cast<std::size_t>(p - t)] = Sub(c, TimesI(d));
          }
          out[0] = b[0];
          for (std::int64_t t = 1; t < p; ++t) out[t * s] = Mul(b[static_cast<std::size_t>(t)], w[static_cast<std::size_t>(t)]);
        }
      }
    }
    std::swap(src, dst);
    n = m;
    s *= p;
  }
  if (src != x.data()) x.swap(work);
}

// The same for any length: the smooth lengths as above, others (a large
// prime factor) by the chirp z-transform.
void Inverse(std::vector<TComplex>& x, const ToneTable& table) {
  if (x.size() <= 1) return;
  if (!Radices(static_cast<std::int64_t>(x.size())).empty()) {
    SmoothInverse(x, table);
  } else {
    BluesteinPlan::Get(x.size())->Transform(x.data(), x.data(), +1, 1.0L);
  }
}

// The harmonics as (bin, coefficient times the waveform's factor).
std::vector<std::pair<std::int64_t, long double>> Lines(SeriesKind Kind, std::int64_t K, std::int64_t q,
                                                        std::int64_t P) {
  const long double factor = SeriesFactor(Kind);
  std::vector<std::pair<std::int64_t, long double>> lines;
  for (std::int64_t k = 1; k <= K; k += OddOnly(Kind) ? 2 : 1)
    lines.emplace_back((k * q) % P, factor * SeriesCoefficient(Kind, k));
  return lines;
}

// S[n] = sum over the lines (b, c) of c sin(2 pi b n / P), n = 0 .. P-1, for
// lines at 0 < b < P/2 and P a multiple of 4. The series is odd
// (S[P-n] = -S[n]), so it is the sine transform F of length N = P/2,
//   F[n] = sum over j = 1 .. N-1 of f[j] sin(pi j n / N),
// which one real transform of length N gives after folding the input:
//   y[j] = sin(pi j / N) (f[j] + f[N-j]) + (f[j] - f[N-j]) / 2,
//   R[k] = sum over j of y[j] exp(2 pi i j k / N):
// F[2k] = Im R[k] and F[2k+1] = F[2k-1] + Re R[k], with F[1] = Re R[0] / 2.
// The real transform of length N is a complex one of length N/2 on the even
// samples as real and the odd ones as imaginary parts.
std::vector<long double> OddSeries(const std::vector<std::pair<std::int64_t, long double>>& lines, std::int64_t P,
                                   const ToneTable& table) {
  const std::int64_t N = P / 2, h = N / 2, g = table.Length() / P;
  // y, packed two samples to a point; each line adds to y[b] and y[N-b].
  std::vector<TComplex> z(static_cast<std::size_t>(h), TComplex{0, 0});
  auto addY = [&](std::int64_t j, long double v) {
    TComplex& p = z[static_cast<std::size_t>(j / 2)];
    (j % 2 == 0 ? p.Real : p.Imaginary) += v;
  };
  for (const auto& [b, c] : lines) {
    addY(b, table.Sin(b * g) * c + c / 2);            // sin(pi b / N) = sin(2 pi b / P)
    addY(N - b, table.Sin((N - b) * g) * c - c / 2);
  }
  Inverse(z, table);

  std::vector<long double> S(static_cast<std::size_t>(P));
  long double odd = 0;  // F[2k-1]
  for (std::int64_t k = 0; k < h; ++k) {
    const TComplex& a = z[static_cast<std::size_t>(k)];
    const TComplex& bb = z[static_cast<std::size_t>(k == 0 ? 0 : h - k)];
    // E = (a + conj b) / 2 and O = (a - conj b) / (2i): the transforms of the
    // even and the odd samples; R = E + exp(2 pi i k / N) O.
    const long double er = (a.Real + bb.Real) / 2, ei = (a.Imaginary - bb.Imaginary) / 2;
    const long double orr = (a.Imaginary + bb.Imaginary) / 2, oi = (bb.Real - a.Real) / 2;
    const long double wr = table.Cos(2 * k * g), wi = table.Sin(2 * k * g);
    const long double rr = er + wr * orr - wi * oi;
    const long double ri = ei + wr * oi + wi * orr;
    odd = k == 0 ? rr / 2 : odd + rr;
    S[static_cast<std::size_t>(2 * k)] = ri;
    S[static_cast<std::size_t>(2 * k + 1)] = odd;
  }
  S[0] = 0;
  S[static_cast<std::size_t>(N)] = 0;
  for (std::int64_t n = 1; n < N; ++n) S[static_cast<std::size_t>(P - n)] = -S[static_cast<std::size_t>(n)];
  return S;
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

// Estimates in nanoseconds, measured on the x87 unit: a direct term costs
// about 4 ns while the table stays in the cache and three times that beyond;
// a transform point about 60 ns by the quarter-length sine route, 250 ns as
// a full complex transform, and the chirp route about 15 ns per point and
// level of its power-of-two transforms.
std::int64_t SeriesDirectCost(SeriesKind Kind, std::int64_t K, std::int64_t P, std::int64_t L) {
  const std::int64_t terms = OddOnly(Kind) ? (K + 1) / 2 : K;
  return (P / 2 + 1) * terms * (L <= 131072 ? 4 : 12);
}

std::int64_t SeriesTransformCost(std::int64_t P) {
  const std::int64_t n = P % 4 == 0 ? P / 4 : P;
  if (!Radices(n).empty() || n == 1) return P * (P % 4 == 0 ? 60 : 250);
  std::int64_t M = 4, levels = 2;
  while (M < 2 * n) {
    M *= 2;
    ++levels;
  }
  return 2 * M * levels * 15 + P * 60;
}

std::vector<long double> SeriesPeriodDirect(SeriesKind Kind, std::int64_t K, std::int64_t q,
                                            std::int64_t P, const ToneTable& Table) {
  std::vector<long double> S(static_cast<std::size_t>(P), 0.0L);
  const std::int64_t L = Table.Length();
  const std::int64_t g = L / P;
  const bool oddOnly = OddOnly(Kind);
  const long double factor = SeriesFactor(Kind);
  std::vector<long double> c;
  for (std::int64_t k = 1; k <= K; k += oddOnly ? 2 : 1) c.push_back(SeriesCoefficient(Kind, k));
  // The series is odd about n = 0, so S[P - n] = -S[n]; only the first half
  // is summed, harmonics in ascending order, the factor applied to the sum.
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
    S[static_cast<std::size_t>(n)] = factor * sum;
    if (2 * n != P) S[static_cast<std::size_t>(P - n)] = -(factor * sum);
  }
  return S;
}

std::vector<long double> SeriesPeriodTransform(SeriesKind Kind, std::int64_t K, std::int64_t q,
                                               std::int64_t P, const ToneTable& Table) {
  const auto lines = Lines(Kind, K, q, P);
  if (P % 4 == 0) return OddSeries(lines, P, Table);
  std::vector<TComplex> x(static_cast<std::size_t>(P), TComplex{0, 0});
  for (const auto& [b, c] : lines) x[static_cast<std::size_t>(b)].Real = c;
  Inverse(x, Table);
  std::vector<long double> S(static_cast<std::size_t>(P));
  for (std::int64_t n = 0; n < P; ++n) S[static_cast<std::size_t>(n)] = x[static_cast<std::size_t>(n)].Imaginary;
  return S;
}

}  // namespace krv
