// Fast kernels behind the engine's transforms: an in-place radix-2 transform
// with its twiddle table, and the chirp z-transform (Bluestein) for any
// length. Plans are built once per length, published immutable and shared
// between threads; the engine's cache keeps them within its budget. The
// chirp route's work arrays are lent from one process-wide set, kept from
// one transform to the next and owned by no thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "synthesis/ExtendedPrecision.h"
#include "synthesis/UnitType.h"

namespace krv {

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
  // Forward on a few threads (for plans built once: the kernel of a chirp
  // transform).
  void ForwardSplit(TComplex* a) const;
  // For a[j] and a[j + M/2] holding the outputs of Forward's first level
  // (whose factor is 1): the rest of Forward, every point times kernel[p],
  // and Inverse without its last level (output n is then a[n] + a[n + M/2]).
  // Each cache-sized block is transformed, multiplied and transformed back
  // while it is in the cache.
  void ConvolveBetweenOuterLevels(TComplex* a, const TComplex* kernel) const;
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
  void ConvolveBlock(TComplex* a, const TComplex* kernel, std::size_t len, std::size_t g) const;

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

  // The real values of InverseOfSymmetric for a line spectrum whose bin
  // j = h * step holds (0, -im[h]) and bin 2N - j holds (0, +im[h]), for the
  // harmonics h = 1, 1 + hStep, 1 + 2 hStep, ... below count (all below
  // N / step); every other bin is (0, 0). out has 2N values.
  void InverseOfLines(const long double* im, std::size_t count, std::size_t hStep, std::size_t step,
                      long double* out) const;

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

// The most bytes of chirp work arrays kept between transforms, and the bytes
// kept now.
inline constexpr std::size_t kFourierWorkBudget = std::size_t{64} << 20;
std::size_t FourierWorkBytes();

// Drops every kept plan and table and the work arrays kept between
// transforms (those in use stay alive with their users).
void ClearFourierPlans();

}  // namespace krv
