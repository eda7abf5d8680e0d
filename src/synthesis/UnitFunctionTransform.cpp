// Frequency-domain kernels of the engine: complex helpers, the radix-2
// transform pair and the any-length pair, all with one scaling: forward 2/N,
// inverse 1/2.
#include <cmath>

#include "synthesis/FourierPlan.h"
#include "synthesis/UnitFunction.h"

namespace {

bool IsPowerOfTwo(std::size_t n) { return n != 0 && (n & (n - 1)) == 0; }

}  // namespace

TComplex TExFunctionLib::ComplexAdd(const TComplex& A, const TComplex& B) {
  return {A.Real + B.Real, A.Imaginary + B.Imaginary};
}

TComplex TExFunctionLib::ComplexSub(const TComplex& A, const TComplex& B) {
  return {A.Real - B.Real, A.Imaginary - B.Imaginary};
}

TComplex TExFunctionLib::ComplexMul(const TComplex& A, const TComplex& B) {
  return {A.Real * B.Real - A.Imaginary * B.Imaginary, A.Imaginary * B.Real + A.Real * B.Imaginary};
}

TComplex TExFunctionLib::ComplexExp(const TComplex& Z) {
  const long double e = std::exp(Z.Real);
  return {e * std::cos(Z.Imaginary), e * std::sin(Z.Imaginary)};
}

TProgressionComplex TExFunctionLib::FFT(const TProgressionComplex& X) {
  const std::size_t n = X.size();
  if (!IsPowerOfTwo(n)) return TProgressionComplex(n, TComplex{0, 0});
  TProgressionComplex result = X;
  if (n > 1) {
    const auto plan = krv::Radix2Plan::Get(n);
    plan->Forward(result.data());
    plan->BitReverse(result.data());
  }
  const long double divisor = n / 2.0L;
  for (auto& v : result) {
    v.Real /= divisor;
    v.Imaginary /= divisor;
  }
  return result;
}

TProgressionComplex TExFunctionLib::IFFT(const TProgressionComplex& X) {
  const std::size_t n = X.size();
  if (!IsPowerOfTwo(n)) return TProgressionComplex(n, TComplex{0, 0});
  TProgressionComplex result = X;
  if (n > 1) {
    const auto plan = krv::Radix2Plan::Get(n);
    plan->BitReverse(result.data());
    plan->Inverse(result.data());
  }
  for (auto& v : result) {
    v.Real /= 2;
    v.Imaginary /= 2;
  }
  return result;
}

TProgressionComplex TExFunctionLib::DFTBluestein(const TProgressionComplex& X) {
  const std::size_t n = X.size();
  TProgressionComplex result(n);
  if (n == 0) return result;
  krv::BluesteinPlan::Get(n)->Transform(X.data(), result.data(), -1, 2.0L / static_cast<long double>(n));
  return result;
}

TProgressionComplex TExFunctionLib::IDFTBluestein(const TProgressionComplex& X) {
  const std::size_t n = X.size();
  TProgressionComplex result(n);
  if (n == 0) return result;
  // A conjugate-symmetric spectrum (a real signal, as every tone spectrum
  // is) of even length goes through one chirp transform of half the length.
  if (n % 2 == 0 && krv::BluesteinPlan::ConjugateSymmetric(X.data(), n)) {
    krv::BluesteinPlan::Get(n / 2)->InverseOfSymmetric(X.data(), result.data());
    return result;
  }
  krv::BluesteinPlan::Get(n)->Transform(X.data(), result.data(), +1, 0.5L);
  return result;
}
