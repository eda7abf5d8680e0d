// Literal noise formulas, written straight from their definitions, against
// which the engine's fast sources are tested. Slow on purpose.
#pragma once

#include <cstdint>
#include <vector>

namespace ref {

using Buffer = std::vector<long double>;

Buffer Uniform(std::uint32_t seed, std::int32_t count);
Buffer Kellet(std::uint32_t seed, std::int32_t count);
Buffer Voss(std::uint32_t seed, std::int32_t count, std::int32_t rows);
Buffer Gauss(std::uint32_t seed, std::int32_t count);
// Spectral pink noise with blocks of 16384 points through the literal
// radix-2 transforms; the corner as given (must be at least 1 here).
Buffer PinkLPF(std::uint32_t seed, std::int32_t count, std::int32_t corner);

}  // namespace ref
