#include "synthesis/FourierPlan.h"

#include "synthesis/EngineCache.h"
#include "synthesis/Parallel.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <memory>
#include <mutex>
#include <numbers>
#include <utility>
#include <vector>

namespace krv {
namespace {

constexpr long double kPi = std::numbers::pi_v<long double>;

// Blocks up to this many points are finished level by level (they fit in
// the core's cache); larger ones go one level, then recurse into halves.
constexpr std::size_t kLeafPoints = 8192;

std::size_t ReverseBits(std::size_t v, int bits) {
  std::size_t r = 0;
  for (int b = 0; b < bits; ++b) r = (r << 1) | ((v >> b) & 1);
  return r;
}

// exp(-pi i * num / den) for 0 <= num < 2 den, folded into the first octant
// so that the sine and cosine work on small angles.
TComplex UnitRootNegative(std::uint64_t num, std::uint64_t den) {
  // angle = pi * num / den in [0, 2 pi): reduce with the symmetries of the
  // circle into [0, pi/4].
  const std::uint64_t full = 2 * den;  // 2 pi
  std::uint64_t r = num % full;
  bool negSin = false;
  if (2 * r > full) {  // angle in (pi, 2 pi): use 2 pi - angle, sine flips
    r = full - r;
    negSin = true;
  }
  bool negCos = false;
  if (2 * r > den) {  // (pi/2, pi]: use pi - angle, cosine flips
    r = den - r;
    negCos = true;
  }
  bool swap = false;
  if (4 * r > den) {  // (pi/4, pi/2]: use pi/2 - angle, sine and cosine swap
    r = den - 2 * r;  // numerator over 2 den
    swap = true;
  }
  const long double angle =
      swap ? kPi * static_cast<long double>(r) / static_cast<long double>(2 * den)
           : kPi * static_cast<long double>(r) / static_cast<long double>(den);
  long double c = std::cos(angle), s = std::sin(angle);
  if (swap) std::swap(c, s);
  if (negCos) c = -c;
  if (negSin) s = -s;
  return {c, -s};
}

// An extended value held as two doubles, the value rounded and the rest
// (exact: the rest has at most 11 significant bits, and their sum is
// formed at the 64-bit precision every signal thread runs at). Inside the
// x87 loops the factors do not all fit the register stack; the two doubles
// load faster than one extended value and give it back exactly.
struct SplitExtended {
  double hi, lo;
  explicit SplitExtended(long double x) : hi(static_cast<double>(x)), lo(static_cast<double>(x - hi)) {}
  long double operator()() const {
#if defined(__x86_64__) || defined(__i386__)
    long double r;
    // volatile: read inside the loop, not hoisted out and spilled whole.
    __asm__ volatile("fldl %1\n\tfaddl %2" : "=t"(r) : "m"(hi), "m"(lo));
    return r;
#else
    return static_cast<long double>(hi) + lo;
#endif
  }
};

inline void ButterflyForward(TComplex& lo, TComplex& hi, long double zr, long double zi) {
  const long double tr = zr * hi.Real - zi * hi.Imaginary;
  const long double ti = zr * hi.Imaginary + zi * hi.Real;
  const long double lr = lo.Real, li = lo.Imaginary;
  hi.Real = lr - tr;
  hi.Imaginary = li - ti;
  lo.Real = lr + tr;
  lo.Imaginary = li + ti;
}

// Inverse butterfly with the conjugate factor.
inline void ButterflyInverse(TComplex& lo, TComplex& hi, long double zr, long double zi) {
  const long double dr = lo.Real - hi.Real, di = lo.Imaginary - hi.Imaginary;
  lo.Real += hi.Real;
  lo.Imaginary += hi.Imaginary;
  hi.Real = zr * dr + zi * di;
  hi.Imaginary = zr * di - zi * dr;
}

// Work arrays of the chirp route, lent to one transform at a time and kept
// for the next one, so that a playing second does not map and clear fresh
// pages. They belong to no thread: the arrays kept are at most as many as
// transforms ever ran at once, whichever threads ran them, and together at
// most kFourierWorkBudget bytes. Uninitialised on purpose: every point is
// written before it is read.
class TWorkArrays {
 public:
  struct TArray {
    std::unique_ptr<TComplex[]> Points;
    std::size_t Size = 0;
    std::size_t Bytes() const { return Size * sizeof(TComplex); }
  };

  static TWorkArrays& Instance() {
    static TWorkArrays arrays;
    return arrays;
  }

  // An array of at least m points.
  TArray Take(std::size_t m) {
    TArray taken;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      // The smallest that fits; else the largest of those too small goes,
      // so that no more arrays are kept than were ever in use at once.
      auto best = free_.end();
      for (auto it = free_.begin(); it != free_.end(); ++it)
        if (it->Size >= m && (best == free_.end() || it->Size < best->Size)) best = it;
      if (best == free_.end())
        for (auto it = free_.begin(); it != free_.end(); ++it)
          if (best == free_.end() || it->Size > best->Size) best = it;
      if (best != free_.end()) {
        kept_ -= best->Bytes();
        taken = std::move(*best);
        free_.erase(best);
      }
    }
    if (taken.Size < m) {
      taken.Points.reset();  // the old one goes before the new one is made
      taken.Size = 0;
      taken.Points.reset(new TComplex[m]);
      taken.Size = m;
    }
    return taken;
  }

  // Keeps `array` within the budget, before smaller kept ones; what is not
  // kept is freed.
  void Give(TArray array) noexcept {
    std::vector<TArray> dropped;
    std::lock_guard<std::mutex> lock(mutex_);
    try {
      dropped.reserve(free_.size() + 1);
      while (kept_ + array.Bytes() > kFourierWorkBudget && !free_.empty()) {
        auto smallest = std::min_element(free_.begin(), free_.end(),
                                         [](const TArray& a, const TArray& b) { return a.Size < b.Size; });
        if (smallest->Size >= array.Size) break;
        kept_ -= smallest->Bytes();
        dropped.push_back(std::move(*smallest));
        free_.erase(smallest);
      }
      if (kept_ + array.Bytes() <= kFourierWorkBudget) {
        free_.push_back(std::move(array));
        kept_ += free_.back().Bytes();
      }
    } catch (...) {
      // No room to keep it: it is freed.
    }
  }

  void Clear() {
    std::vector<TArray> dropped;
    std::lock_guard<std::mutex> lock(mutex_);
    dropped.swap(free_);
    kept_ = 0;
  }

  std::size_t Bytes() {
    std::lock_guard<std::mutex> lock(mutex_);
    return kept_;
  }

 private:
  std::mutex mutex_;
  std::vector<TArray> free_;
  std::size_t kept_ = 0;  // bytes of the arrays in free_
};

// A work array for the span of one transform.
class TWorkLease {
 public:
  explicit TWorkLease(std::size_t m) : array_(TWorkArrays::Instance().Take(m)) {}
  ~TWorkLease() { TWorkArrays::Instance().Give(std::move(array_)); }
  TWorkLease(const TWorkLease&) = delete;
  TWorkLease& operator=(const TWorkLease&) = delete;
  TComplex* Points() const { return array_.Points.get(); }

 private:
  TWorkArrays::TArray array_;
};

}  // namespace

// --- radix 2 ---------------------------------------------------------------------

std::shared_ptr<const Radix2Plan> Radix2Plan::Get(std::size_t m) {
  return Cached<Radix2Plan>(CacheKind::Radix2Plan, m, [m] { return std::make_shared<const Radix2Plan>(m); });
}

Radix2Plan::Radix2Plan(std::size_t m) : m_(m), log2_(0), z_(m / 2) {
  while ((std::size_t{1} << log2_) < m_) ++log2_;
  ParallelRanges(m_ / 2, [this](std::size_t begin, std::size_t end) {
    for (std::size_t g = begin; g < end; ++g) z_[g] = UnitRootNegative(2 * ReverseBits(g, log2_ - 1), m_);
  });
}

// Two levels at once on a block of 4Q points whose first level is group g:
// factors z1 = z[g] on the outer pairs, z2 = z[2g] and -i z2 = z[2g + 1] on
// the inner ones. Half the loads and stores of two radix-2 passes.
void Radix2Plan::Forward4(TComplex* a, std::size_t q, std::size_t g) const {
  const long double v2r = z_[g].Real, v2i = z_[g].Imaginary;           // on x2
  const long double v1r = z_[2 * g].Real, v1i = z_[2 * g].Imaginary;   // on x1
  const SplitExtended w1r(v1r), w1i(v1i), w2r(v2r), w2i(v2i);
  const SplitExtended w3r(v1r * v2r - v1i * v2i), w3i(v1r * v2i + v1i * v2r);  // on x3
  TComplex* a0 = a;
  TComplex* a1 = a + q;
  TComplex* a2 = a + 2 * q;
  TComplex* a3 = a + 3 * q;
  for (std::size_t j = 0; j < q; ++j) {
    // Ordered so that few values are alive at once (the x87 stack has 8).
    const long double pr = w1r() * a1[j].Real - w1i() * a1[j].Imaginary;
    const long double pi = w1r() * a1[j].Imaginary + w1i() * a1[j].Real;
    const long double qr = w3r() * a3[j].Real - w3i() * a3[j].Imaginary;
    const long double qi = w3r() * a3[j].Imaginary + w3i() * a3[j].Real;
    const long double sr = pr + qr, si = pi + qi;
    const long double dr = pr - qr, di = pi - qi;
    const long double t2r = w2r() * a2[j].Real - w2i() * a2[j].Imaginary;
    const long double t2i = w2r() * a2[j].Imaginary + w2i() * a2[j].Real;
    const long double x0r = a0[j].Real, x0i = a0[j].Imaginary;
    const long double y0r = x0r + t2r, y2r = x0r - t2r;
    a0[j].Real = y0r + sr;
    a1[j].Real = y0r - sr;
    // y2 -/+ i d
    a2[j].Real = y2r + di;
    a3[j].Real = y2r - di;
    const long double y0i = x0i + t2i, y2i = x0i - t2i;
    a0[j].Imaginary = y0i + si;
    a1[j].Imaginary = y0i - si;
    a2[j].Imaginary = y2i - dr;
    a3[j].Imaginary = y2i + dr;
  }
}

// The exact inverse of Forward4 without its 1/4.
void Radix2Plan::Inverse4(TComplex* a, std::size_t q, std::size_t g) const {
  const long double v2r = z_[g].Real, v2i = z_[g].Imaginary;
  const long double v1r = z_[2 * g].Real, v1i = z_[2 * g].Imaginary;
  const SplitExtended w1r(v1r), w1i(v1i), w2r(v2r), w2i(v2i);
  const SplitExtended w3r(v1r * v2r - v1i * v2i), w3i(v1r * v2i + v1i * v2r);
  TComplex* a0 = a;
  TComplex* a1 = a + q;
  TComplex* a2 = a + 2 * q;
  TComplex* a3 = a + 3 * q;
  for (std::size_t j = 0; j < q; ++j) {
    const long double Ar = a0[j].Real + a1[j].Real, Ai = a0[j].Imaginary + a1[j].Imaginary;
    const long double Br = a0[j].Real - a1[j].Real, Bi = a0[j].Imaginary - a1[j].Imaginary;
    const long double Cr = a2[j].Real + a3[j].Real, Ci = a2[j].Imaginary + a3[j].Imaginary;
    // D = i (o2 - o3)
    const long double Dr = a3[j].Imaginary - a2[j].Imaginary, Di = a2[j].Real - a3[j].Real;
    a0[j].Real = Ar + Cr;
    a0[j].Imaginary = Ai + Ci;
    const long double er = Ar - Cr, ei = Ai - Ci;
    a2[j].Real = w2r() * er + w2i() * ei;
    a2[j].Imaginary = w2r() * ei - w2i() * er;
    const long double fr = Br + Dr, fi = Bi + Di;
    a1[j].Real = w1r() * fr + w1i() * fi;
    a1[j].Imaginary = w1r() * fi - w1i() * fr;
    const long double hr = Br - Dr, hi = Bi - Di;
    a3[j].Real = w3r() * hr + w3i() * hi;
    a3[j].Imaginary = w3r() * hi - w3i() * hr;
  }
}

void Radix2Plan::Forward2(TComplex* a, std::size_t half, std::size_t g) const {
  const long double zr = z_[g].Real, zi = z_[g].Imaginary;
  for (std::size_t j = 0; j < half; ++j) ButterflyForward(a[j], a[j + half], zr, zi);
}

void Radix2Plan::Inverse2(TComplex* a, std::size_t half, std::size_t g) const {
  const long double zr = z_[g].Real, zi = z_[g].Imaginary;
  for (std::size_t j = 0; j < half; ++j) ButterflyInverse(a[j], a[j + half], zr, zi);
}

void Radix2Plan::ForwardBlock(TComplex* a, std::size_t len, std::size_t g) const {
  if (len <= kLeafPoints) {
    // Level by level inside the cache: one radix-2 level when the count of
    // levels is odd, then pairs of levels.
    std::size_t groups = 1;
    if (len >= 2 && (std::countr_zero(len) & 1)) {
      Forward2(a, len / 2, g);
      groups = 2;
      g *= 2;
    }
    for (std::size_t span = len / groups; span >= 4; span /= 4, groups *= 4, g *= 4)
      for (std::size_t k = 0; k < groups; ++k) Forward4(a + span * k, span / 4, g + k);
    return;
  }
  const std::size_t q = len / 4;
  Forward4(a, q, g);
  for (std::size_t k = 0; k < 4; ++k) ForwardBlock(a + q * k, q, 4 * g + k);
}

void Radix2Plan::InverseBlock(TComplex* a, std::size_t len, std::size_t g) const {
  if (len <= kLeafPoints) {
    const bool odd = len >= 2 && (std::countr_zero(len) & 1);
    const std::size_t top = odd ? len / 2 : len;
    // The forward's pairs of levels in reverse: spans 4, 16, ... up to top;
    // a span S has len / S groups counted from g * len / S.
    for (std::size_t span = 4; span <= top; span *= 4) {
      const std::size_t groups = len / span;
      for (std::size_t k = 0; k < groups; ++k) Inverse4(a + span * k, span / 4, g * groups + k);
    }
    if (odd) Inverse2(a, len / 2, g);
    return;
  }
  const std::size_t q = len / 4;
  for (std::size_t k = 0; k < 4; ++k) InverseBlock(a + q * k, q, 4 * g + k);
  Inverse4(a, q, g);
}

void Radix2Plan::Forward(TComplex* a) const { ForwardBlock(a, m_, 0); }

void Radix2Plan::ForwardSplit(TComplex* a) const {
  if (m_ <= kLeafPoints) return Forward(a);
  // The first two levels, then the four quarters, which share nothing, side
  // by side: the same operations as Forward.
  const std::size_t q = m_ / 4;
  Forward4(a, q, 0);
  RunParts(4, [this, a, q](std::size_t k) { ForwardBlock(a + q * k, q, k); });
}
void Radix2Plan::Inverse(TComplex* a) const { InverseBlock(a, m_, 0); }

// The forward recursion, the product and the inverse recursion in one: the
// same operations on every point as the three done one after the other.
void Radix2Plan::ConvolveBlock(TComplex* a, const TComplex* kernel, std::size_t len, std::size_t g) const {
  if (len <= kLeafPoints) {
    ForwardBlock(a, len, g);
    for (std::size_t p = 0; p < len; ++p) {
      const long double ar = a[p].Real, ai = a[p].Imaginary;
      a[p].Real = ar * kernel[p].Real - ai * kernel[p].Imaginary;
      a[p].Imaginary = ar * kernel[p].Imaginary + ai * kernel[p].Real;
    }
    InverseBlock(a, len, g);
    return;
  }
  const std::size_t q = len / 4;
  Forward4(a, q, g);
  for (std::size_t k = 0; k < 4; ++k) ConvolveBlock(a + q * k, kernel + q * k, q, 4 * g + k);
  Inverse4(a, q, g);
}

void Radix2Plan::ConvolveBetweenOuterLevels(TComplex* a, const TComplex* kernel) const {
  ConvolveBlock(a, kernel, m_ / 2, 0);
  ConvolveBlock(a + m_ / 2, kernel + m_ / 2, m_ / 2, 1);
}

void Radix2Plan::BitReverse(TComplex* a) const {
  for (std::size_t i = 0, r = 0; i < m_; ++i) {
    if (i < r) std::swap(a[i], a[r]);
    // r := the bit reversal of i + 1, by a reversed increment.
    std::size_t bit = m_ >> 1;
    while (bit && (r & bit)) {
      r ^= bit;
      bit >>= 1;
    }
    r |= bit;
  }
}

// --- Bluestein --------------------------------------------------------------------

std::shared_ptr<const BluesteinPlan> BluesteinPlan::Get(std::size_t n) {
  return Cached<BluesteinPlan>(CacheKind::BluesteinPlan, n, [n] { return std::make_shared<const BluesteinPlan>(n); });
}

BluesteinPlan::BluesteinPlan(std::size_t n) : n_(n), chirp_(n), unpack_(n) {
  std::size_t m0 = 2;
  while (m0 < n_) m0 *= 2;
  const std::size_t m = 2 * m0;
  radix2_ = Radix2Plan::Get(m);
  // n*n mod 2N in 64-bit integers: exact phase whatever the length.
  const std::uint64_t twoN = 2 * static_cast<std::uint64_t>(n_);
  ParallelRanges(n_, [this, twoN](std::size_t begin, std::size_t end) {
    for (std::size_t i = begin; i < end; ++i) {
      const std::uint64_t k = i;
      chirp_[i] = UnitRootNegative((k * k) % twoN, n_);
      const TComplex u = UnitRootNegative(k, n_);
      unpack_[i] = {u.Real, -u.Imaginary};
    }
  });
  // Kernel h[j] = conj(chirp[|j|]) for |j| < N on the circle of M points,
  // transformed once and divided by M for the unscaled inverse.
  kernel_.assign(m, TComplex{0, 0});
  kernel_[0] = {chirp_[0].Real, -chirp_[0].Imaginary};
  for (std::size_t i = 1; i < n_; ++i) kernel_[i] = kernel_[m - i] = {chirp_[i].Real, -chirp_[i].Imaginary};
  radix2_->ForwardSplit(kernel_.data());
  const long double inv = 1.0L / static_cast<long double>(m);
  for (auto& v : kernel_) {
    v.Real *= inv;
    v.Imaginary *= inv;
  }
}

std::size_t BluesteinPlan::Bytes() const {
  // The radix-2 plan it uses is counted as an entry of its own.
  return (chirp_.size() + kernel_.size() + unpack_.size()) * sizeof(TComplex);
}

// The chirp route: a[n] = chirp[n] in(n) (conjugated for sign +1, as
// sum x e^{+} = conj(sum conj(x) e^{-})), circular convolution with the
// conjugate chirp through the radix-2 pair, then output(k, chirp[k] y[k]).
template <class Input, class Output>
void BluesteinPlan::Run(Input input, Output output, int sign) const {
  const std::size_t m = radix2_->Size(), half = m / 2;
  const TWorkLease work(m);
  TComplex* a = work.Points();
  const long double s = sign < 0 ? 1.0L : -1.0L;
  // The radix-2 transform's first level has factor 1 and an empty upper
  // half, so it only copies: written here at once.
  for (std::size_t i = 0; i < n_; ++i) {
    const TComplex x = input(i);
    const long double xr = x.Real, xi = s * x.Imaginary;
    const long double cr = chirp_[i].Real, ci = chirp_[i].Imaginary;
    a[i].Real = a[i + half].Real = xr * cr - xi * ci;
    a[i].Imaginary = a[i + half].Imaginary = xr * ci + xi * cr;
  }
  std::fill(a + n_, a + half, TComplex{0, 0});
  std::fill(a + half + n_, a + m, TComplex{0, 0});
  radix2_->ConvolveBetweenOuterLevels(a, kernel_.data());
  // Only the first N outputs are needed: the inverse's last level is
  // folded in here.
  for (std::size_t i = 0; i < n_; ++i) {
    const long double yr = a[i].Real + a[i + half].Real, yi = a[i].Imaginary + a[i + half].Imaginary;
    const long double cr = chirp_[i].Real, ci = chirp_[i].Imaginary;
    output(i, TComplex{yr * cr - yi * ci, s * (yr * ci + yi * cr)});
  }
}

void BluesteinPlan::Transform(const TComplex* in, TComplex* out, int sign, long double scale) const {
  // The input is read in full before the first output is written.
  Run([in](std::size_t i) { return in[i]; },
      [out, scale](std::size_t i, const TComplex& v) { out[i] = {v.Real * scale, v.Imaginary * scale}; }, sign);
}

namespace {

// Point k of the half-length spectrum Z[k] = (p + q) + i u (p - q) for
// p = X[k], q = X[k + L], u = e^{+pi i k/L} (see InverseOfSymmetric).
TComplex Packed(const TComplex& p, const TComplex& q, const TComplex& u) {
  const long double sr = p.Real + q.Real, si = p.Imaginary + q.Imaginary;
  const long double dr = p.Real - q.Real, di = p.Imaginary - q.Imaginary;
  const long double tr = u.Real * dr - u.Imaginary * di;
  const long double ti = u.Real * di + u.Imaginary * dr;
  return TComplex{sr - ti, si + tr};
}

}  // namespace

void BluesteinPlan::InverseOfSymmetric(const TComplex* in, TComplex* out) const {
  // With x real and L = N (this plan's length), the even and odd samples'
  // spectra are E = (X[k] + X[k+L]) / 2 and O = (X[k] - X[k+L]) e^{+pi i k/L} / 2;
  // z = x_even + i x_odd has the spectrum E + i O, and with this scaling
  // z = 1/2 sum over k < L of Z[k] e^{+2 pi i m k / L} for
  // Z[k] = (X[k] + X[k+L]) + i e^{+pi i k/L} (X[k] - X[k+L]).
  const std::size_t L = n_;
  const TComplex* u = unpack_.data();
  Run(
      [in, u, L](std::size_t k) { return Packed(in[k], in[k + L], u[k]); },
      [out](std::size_t m, const TComplex& v) {
        out[2 * m] = {v.Real / 2, 0};
        out[2 * m + 1] = {v.Imaginary / 2, 0};
      },
      +1);
}

void BluesteinPlan::InverseOfLines(const long double* im, std::size_t count, std::size_t hStep, std::size_t step,
                                   long double* out) const {
  // Bin j = h step holds (0, -im[h]) and bin 2N - j (0, +im[h]) for the
  // harmonics h = 1, 1 + hStep, ... below count; every other bin is (0, 0).
  const std::size_t L = n_;
  auto bin = [im, count, hStep, step](std::size_t j, bool mirror) -> TComplex {
    if (j == 0 || j % step != 0) return {0, 0};
    const std::size_t h = j / step;
    if (h >= count || (h - 1) % hStep != 0) return {0, 0};
    return {0, mirror ? im[h] : -im[h]};
  };
  const TComplex* u = unpack_.data();
  Run(
      // Bin k + L is the mirror of bin L - k.
      [u, L, &bin](std::size_t k) { return Packed(bin(k, false), bin(L - k, true), u[k]); },
      [out](std::size_t m, const TComplex& v) {
        out[2 * m] = v.Real / 2;
        out[2 * m + 1] = v.Imaginary / 2;
      },
      +1);
}

bool BluesteinPlan::ConjugateSymmetric(const TComplex* in, std::size_t n) {
  if (n == 0 || in[0].Imaginary != 0) return false;
  for (std::size_t k = 1; k <= n / 2; ++k)
    if (in[n - k].Real != in[k].Real || in[n - k].Imaginary != -in[k].Imaginary) return false;
  return true;
}

std::size_t FourierWorkBytes() { return TWorkArrays::Instance().Bytes(); }

void ClearFourierPlans() {
  ClearEngineCache();
  TWorkArrays::Instance().Clear();
}

}  // namespace krv
