// Fast kernels behind the engine's transforms: an in-place radix-2 transform
// with its twiddle table, and the chirp z-transform (Bluestein) for any
// length. Plans are built once per length, published immutable and shared
// between threads; only a few are kept.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "synthesis/UnitType.h"

namespace krv {

// Holds the x87 unit at 64-bit precision for its lifetime and restores the
// caller's setting after. Shared tables are built under it, so that a
// thread left at 53-bit precision cannot publish a less accurate table.
class ExtendedPrecisionScope {
 public:
  ExtendedPrecisionScope() {
#if defined(__x86_64__) || defined(__i386__)
    __asm__ volatile("fnstcw %0" : "=m"(saved_));
    const std::uint16_t extended = static_cast<std::uint16_t>(saved_ | 0x0300);  // precision control 11b
    __asm__ volatile("fldcw %0" : : "m"(extended));
#endif
  }
  ~ExtendedPrecisionScope() {
#if defined(__x86_64__) || defined(__i386__)
    __asm__ volatile("fldcw %0" : : "m"(saved_));
#endif
  }
  ExtendedPrecisionScope(const ExtendedPrecisionScope&) = delete;
  ExtendedPrecisionScope& operator=(const ExtendedPrecisionScope&) = delete;

 private:
  std::uint16_t saved_ = 0;
};

// Radix-2 transform of a power-of-two length M >= 2, unscaled.
//   Forward: natural order in, bit-reversed order out:
//     a[p] := sum over n of a[n] * exp(-2 pi i n rev(p) / M)
//   Inverse: bit-reversed order in, natural order out, without the 1/M:
//     a[n] := sum over p of a[p] * exp(+2 pi i n rev(p) / M)
// rev(p) is the log2(M)-bit reversal of p. A pointwise product between the
// two needs no reordering (a circular convolution).
class Radix2Plan {
 public:
  static std::shared_ptr<const Radix2Plan> Get(std::size_t m);

  explicit Radix2Plan(std::size_t m);
  std::size_t Size() const { return m_; }
  int Log2() const { return log2_; }

  void Forward(TComplex* a) const;
  void Inverse(TComplex* a) const;
  // Forward without its first level, whose factor is 1: for a[j] and
  // a[j + M/2] holding the first level's outputs already.
  void ForwardAfterFirstLevel(TComplex* a) const;
  // Inverse without its last level: output n is then a[n] + a[n + M/2].
  void InverseBeforeLastLevel(TComplex* a) const;
  // Reorders a bit-reversed sequence into natural order (and back).
  void BitReverse(TComplex* a) const;

  std::size_t Bytes() const { return z_.size() * sizeof(TComplex); }

 private:
  void Forward2(TComplex* a, std::size_t half, std::size_t g) const;
  void Inverse2(TComplex* a, std::size_t half, std::size_t g) const;
  void Forward4(TComplex* a, std::size_t q, std::size_t g) const;
  void Inverse4(TComplex* a, std::size_t q, std::size_t g) const;
  void ForwardBlock(TComplex* a, std::size_t len, std::size_t g) const;
  void InverseBlock(TComplex* a, std::size_t len, std::size_t g) const;

  std::size_t m_;
  int log2_;
  // z_[g] = exp(-2 pi i rev(g) / M) for the (log2 M - 1)-bit reversal: the
  // factor of butterfly group g at every level.
  std::vector<TComplex> z_;
};

// Chirp z-transform of length N >= 1 on radix-2 transforms of length
// M = 2 * M0, M0 the smallest power of two >= max(N, 2).
class BluesteinPlan {
 public:
  static std::shared_ptr<const BluesteinPlan> Get(std::size_t n);

  explicit BluesteinPlan(std::size_t n);
  std::size_t Size() const { return n_; }
  std::size_t Padded() const { return radix2_->Size(); }

  // out[k] := scale * sum over n of in[n] * exp(sign * 2 pi i n k / N),
  // sign -1 or +1. in and out may be the same array.
  void Transform(const TComplex* in, TComplex* out, int sign, long double scale) const;

  // The inverse of twice the length, out[n] := 1/2 sum over k < 2N of
  // in[k] exp(+2 pi i n k / 2N), for a conjugate-symmetric in (in[2N - k] =
  // conj(in[k])), whose result is real: it is packed as x[2m] + i x[2m+1]
  // into one transform of this plan's length N. out has 2N points.
  void InverseOfSymmetric(const TComplex* in, TComplex* out) const;

  // Whether in[n - k] = conj(in[k]) for every k, in[0] and in[n/2] real.
  static bool ConjugateSymmetric(const TComplex* in, std::size_t n);

  std::size_t Bytes() const;

 private:
  std::size_t n_;
  std::shared_ptr<const Radix2Plan> radix2_;
  std::vector<TComplex> chirp_;   // exp(-pi i (n^2 mod 2N) / N), n < N
  std::vector<TComplex> kernel_;  // the transformed conjugate chirp / M, bit-reversed
  std::vector<TComplex> unpack_;  // exp(+pi i k / N), k < N, for the symmetric inverse

  template <class Input, class Output>
  void Run(Input input, Output output, int sign) const;
};

// Drops every kept plan (plans in use stay alive with their users).
void ClearFourierPlans();

}  // namespace krv
