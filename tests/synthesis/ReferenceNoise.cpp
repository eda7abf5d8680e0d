#include "synthesis/ReferenceNoise.h"

#include <cmath>
#include <random>

#include "synthesis/ReferenceTransform.h"

namespace ref {

Buffer Uniform(std::uint32_t seed, std::int32_t count) {
  std::mt19937 mt(seed == 0 ? 5489u : seed);
  Buffer u(count);
  for (auto& v : u) v = (static_cast<long double>(mt()) + 0.5L) * std::pow(2.0L, -32);
  return u;
}

Buffer Kellet(std::uint32_t seed, std::int32_t count) {
  const Buffer u = Uniform(seed, count);
  Buffer out(count);
  long double b0 = 0, b1 = 0, b2 = 0, b3 = 0, b4 = 0, b5 = 0, b6 = 0;
  for (int i = 0; i < count; ++i) {
    const long double w = (u[i] - 0.5L) * 2;
    b0 = 0.99886L * b0 + 0.0555179L * w;
    b1 = 0.99332L * b1 + 0.0750759L * w;
    b2 = 0.969L * b2 + 0.153852L * w;
    b3 = 0.8665L * b3 + 0.3104856L * w;
    b4 = 0.55L * b4 + 0.5329522L * w;
    b5 = -0.7616L * b5 - 0.016898L * w;
    b6 = 0.115926L * w;
    long double p = (b0 + b1 + b2 + b3 + b4 + b5 + b6 + 0.5362L * w) / 32;
    if (p > 1.0L) p = 1.0L;
    if (p < -1.0L) p = -1.0L;
    out[i] = p / 2 + 0.5L;
  }
  return out;
}

Buffer Voss(std::uint32_t seed, std::int32_t count, std::int32_t rows) {
  const Buffer u = Uniform(seed, count);
  std::size_t pos = 0;
  auto draw = [&]() {
    const auto r = static_cast<std::uint32_t>(std::trunc(u[pos] * 4294967296.0L)) >> 8;
    pos = (pos + 1) % u.size();
    return r;
  };
  std::vector<std::uint32_t> Rows(30, 0);
  std::uint32_t RunningSum = 0;
  std::int32_t Index = 0;
  const std::int32_t indexMask = (1 << rows) - 1;
  const long double Scaler = 1.0L / ((rows + 1) * 8388608.0L);
  Buffer out(count);
  for (int i = 0; i < count; ++i) {
    Index = (Index + 1) & indexMask;
    if (Index != 0) {
      int z = 0;
      while (((Index >> z) & 1) == 0) ++z;
      RunningSum -= Rows[z];
      const std::uint32_t r = draw();
      RunningSum += r;
      Rows[z] = r;
    }
    const std::uint32_t sum = RunningSum + draw();
    const long double x = sum * Scaler;
    out[i] = (x * 0.5L - 0.5L) * 0.25L + 0.5L;
  }
  return out;
}

Buffer Gauss(std::uint32_t seed, std::int32_t count) {
  const Buffer u1 = Uniform(0, count);
  const Buffer u2 = Uniform(seed, count);
  const long double pi = 3.14159265358979323846264338327950288L;
  Buffer out(count);
  for (int i = 0; i < count; ++i) {
    long double z = std::sqrt(-2 * std::log(u1[i])) * std::cos(2 * pi * u2[i]) * 0.3L;
    if (std::fabs(z) > 1.0L) z = z / std::fabs(z);
    out[i] = z / 2 + 0.5L;
  }
  return out;
}

Buffer PinkLPF(std::uint32_t seed, std::int32_t count, std::int32_t corner) {
  const Buffer u = Uniform(seed, count);
  const int blocks = count / 16384;
  const int rem = count - 16384 * blocks;
  auto shape = [&](int start) {
    Complexes A(16384);
    for (int k = 0; k < 16384; ++k) A[k] = {(u[start + k] - 0.5L) * 2, 0};
    Complexes B = FFT(A);
    for (int k = 1; k <= 8191; ++k) {
      long double g = 1.0L;
      if (k + 1 >= corner) g = std::pow(10.0L, -10 * std::log10(static_cast<long double>(k + 1) / corner) / 20);
      B[k] = {B[k].Real * g, B[k].Imaginary * g};
      B[16384 - k] = {B[16384 - k].Real * g, B[16384 - k].Imaginary * g};
    }
    return IFFT(B);
  };
  Buffer out(count);
  for (int b = 0; b < blocks; ++b) {
    const Complexes C = shape(16384 * b);
    for (int k = 0; k < 16384; ++k) out[16384 * b + k] = C[k].Real / 2 + 0.5L;
  }
  const Complexes C = shape(count - 16384);
  for (int i = count - rem; i < count; ++i) out[i] = C[i - count + 16384].Real / 2 + 0.5L;
  return out;
}

}  // namespace ref
