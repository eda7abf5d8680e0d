#include "synthesis/ReferenceTransform.h"

#include <cmath>
#include <cstdint>

namespace ref {
namespace {

const long double kPi = 3.14159265358979323846264338327950288L;
const long double kMinusTwoPi = -2 * kPi;

TComplex Add(TComplex a, TComplex b) { return {a.Real + b.Real, a.Imaginary + b.Imaginary}; }
TComplex Sub(TComplex a, TComplex b) { return {a.Real - b.Real, a.Imaginary - b.Imaginary}; }
TComplex Mul(TComplex a, TComplex b) {
  return {a.Real * b.Real - a.Imaginary * b.Imaginary, a.Imaginary * b.Real + a.Real * b.Imaginary};
}
TComplex Exp(TComplex z) {
  return {std::exp(z.Real) * std::cos(z.Imaginary), std::exp(z.Real) * std::sin(z.Imaginary)};
}

bool Log2(std::size_t n, int& m) {
  m = static_cast<int>(std::lround(std::log2(static_cast<long double>(n))));
  return std::log2(static_cast<long double>(n)) == m;
}

}  // namespace

Complexes FFT(const Complexes& X) {
  const std::size_t N = X.size();
  Complexes result(N, TComplex{0, 0});
  int m;
  if (!Log2(N, m)) return result;
  std::vector<std::int32_t> R(N);
  for (std::size_t i = 0; i < N; ++i) {
    std::int32_t r = 0;
    for (int b = 0; b < m; ++b) r = 2 * r + ((i >> b) & 1);
    R[i] = r;
  }
  Complexes A = X, B(N);
  Complexes W(N / 2);
  for (std::size_t k = 0; k < N / 2; ++k)
    W[k] = Exp({0, (static_cast<long double>(k) / N) * kMinusTwoPi});
  for (int s = 0; s < m; ++s) {
    const std::size_t h = std::size_t{1} << s, L = N / h;
    for (std::size_t j = 0; j < h; ++j) {
      const std::size_t o = j * L;
      for (std::size_t t = 0; t < L / 2; ++t) {
        const TComplex a = A[o + t], b = A[o + t + L / 2];
        B[o + t] = Add(a, b);
        B[o + t + L / 2] = Mul(Sub(a, b), W[t * h]);
      }
    }
    A = B;
  }
  const long double d = N / 2.0L;
  for (std::size_t k = 0; k < N; ++k) result[k] = {A[R[k]].Real / d, A[R[k]].Imaginary / d};
  return result;
}

// The inverse by conjugation around a forward transform: conjugate times
// N/2, transform, conjugate again and halve.
static Complexes InverseByConjugation(const Complexes& X, Complexes (*forward)(const Complexes&)) {
  const std::size_t N = X.size();
  Complexes T(N);
  for (std::size_t k = 0; k < N; ++k) T[k] = {X[k].Real * (N / 2.0L), -X[k].Imaginary * (N / 2.0L)};
  const Complexes U = forward(T);
  Complexes result(N);
  for (std::size_t n = 0; n < N; ++n) result[n] = {U[n].Real / 2, -U[n].Imaginary / 2};
  return result;
}

Complexes IFFT(const Complexes& X) {
  int m;
  if (!Log2(X.size(), m)) return Complexes(X.size(), TComplex{0, 0});
  return InverseByConjugation(X, FFT);
}

Complexes DFTBluestein(const Complexes& X) {
  const std::size_t N = X.size();
  std::size_t M0 = 2;
  for (int i = 0; i < 31; ++i)
    if (M0 < N) M0 *= 2;
  const std::size_t M = 2 * M0;
  Complexes w(N);
  for (std::size_t n = 0; n < N; ++n) {
    const long double phi = (n * kPi) * (static_cast<long double>(n) / N);
    w[n] = {std::cos(phi), -std::sin(phi)};
  }
  Complexes b(M, TComplex{0, 0});
  b[0] = {static_cast<long double>(M), 0};
  const long double Mx = static_cast<long double>(M);
  for (std::size_t n = 1; n < N; ++n) b[n] = b[M - n] = {Mx * w[n].Real, -Mx * w[n].Imaginary};
  Complexes a(M, TComplex{0, 0});
  for (std::size_t n = 0; n < N; ++n) a[n] = Mul(w[n], X[n]);
  const Complexes FB = FFT(b), FA = FFT(a);
  Complexes P(M);
  for (std::size_t k = 0; k < M; ++k) P[k] = Mul(FB[k], FA[k]);
  const Complexes y = IFFT(P);
  Complexes result(N);
  for (std::size_t k = 0; k < N; ++k) {
    const TComplex v = Mul(w[k], y[k]);
    result[k] = {v.Real / N, v.Imaginary / N};
  }
  return result;
}

Complexes IDFTBluestein(const Complexes& X) { return InverseByConjugation(X, DFTBluestein); }

Complexes PlainDFT(const Complexes& X, int sign, long double scale) {
  const std::size_t N = X.size();
  Complexes root(N);
  for (std::size_t j = 0; j < N; ++j) {
    const long double phi = sign * 2 * kPi * static_cast<long double>(j) / N;
    root[j] = {std::cos(phi), std::sin(phi)};
  }
  Complexes out(N);
  for (std::size_t k = 0; k < N; ++k) {
    long double re = 0, im = 0;
    std::size_t j = 0;  // n * k mod N
    for (std::size_t n = 0; n < N; ++n) {
      re += X[n].Real * root[j].Real - X[n].Imaginary * root[j].Imaginary;
      im += X[n].Real * root[j].Imaginary + X[n].Imaginary * root[j].Real;
      j += k;
      if (j >= N) j -= N;
    }
    out[k] = {re * scale, im * scale};
  }
  return out;
}

}  // namespace ref
