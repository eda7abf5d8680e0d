#include "synthesis/ReferenceSpectral.h"

#include <cmath>

namespace ref {

namespace {
const long double kPi = 3.14159265358979323846264338327950288L;
}

SpectralTone::SpectralTone(Tone tone, std::int64_t fs, std::int64_t F)
    : fs_(fs), F_(F), N_(fs), cos_(fs), sin_(fs) {
  for (std::int64_t j = 0; j < N_; ++j) {
    cos_[j] = std::cos(2 * kPi * j / N_);
    sin_[j] = std::sin(2 * kPi * j / N_);
  }
  // Walk the bins 1 .. N div 2 - 1; the next harmonic h sits at bin h F.
  const long double A = tone == Tone::Square ? 4 / kPi : tone == Tone::Triangle ? 8 / (kPi * kPi) : 2 / kPi;
  std::int64_t h = 1;
  for (std::int64_t j = 1; j <= N_ / 2 - 1; ++j) {
    if (j != h * F_) continue;
    long double c;
    if (tone == Tone::Square) c = 1.0L / h;
    else if (tone == Tone::Triangle) c = ((h + 1) % 4 != 0 ? 1.0L : -1.0L) / (h * h);
    else c = (h % 2 == 1 ? 1.0L : -1.0L) / h;
    bins_.push_back({j, {0, -A * c}});
    bins_.push_back({N_ - j, {0, +A * c}});
    h += tone == Tone::Sawtooth ? 1 : 2;
  }
}

long double SpectralTone::Raw(std::int64_t n) const {
  long double re = 0;
  for (const Bin& b : bins_) {
    const std::int64_t j = (n * b.k) % N_;
    re += b.X.Real * cos_[j] - b.X.Imaginary * sin_[j];
  }
  return re / 2;
}

std::int64_t SpectralTone::Shift(std::int32_t phase) const {
  return static_cast<std::int64_t>(std::trunc((static_cast<long double>(fs_) / F_) * (phase / 360.0L)));
}

long double SpectralTone::Rotated(std::int64_t i, std::int32_t phase) const {
  const std::int64_t k = (((Shift(phase) + i) % N_) + N_) % N_;
  return Raw(k);
}

}  // namespace ref
