// A small extended-precision computation whose bits depend on the x87
// precision control, for comparing threads.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "synthesis/ExtendedPrecision.h"

namespace krvtest {

// The 10 significant bytes of an x87 extended value (the rest is padding).
using ExtendedBits = std::array<unsigned char, 10>;

inline ExtendedBits BitsOf(long double value)
{
    ExtendedBits bits{};
    std::memcpy(bits.data(), &value, bits.size());
    return bits;
}

struct ProbeResult {
    long double tiny;      // (1 + 2^-60) - 1: 2^-60 at 64 bits, 0 at 53 bits
    ExtendedBits third;    // 1 / 3
    ExtendedBits root;     // sqrt(2)
    ExtendedBits series;   // sum of 1/k^2 for k = 1..1000

    bool operator==(const ProbeResult& other) const
    {
        return BitsOf(tiny) == BitsOf(other.tiny) && third == other.third && root == other.root &&
               series == other.series;
    }
};

inline ProbeResult RunProbe()
{
    // volatile keeps the compiler from folding the arithmetic at build time.
    volatile long double one = 1.0L;
    volatile long double two = 2.0L;
    volatile long double three = 3.0L;
    volatile long double tiny = std::ldexp(1.0L, -60);

    ProbeResult result{};
    result.tiny = (one + tiny) - one;
    result.third = BitsOf(one / three);
    result.root = BitsOf(std::sqrt(static_cast<long double>(two)));
    long double sum = 0.0L;
    for (int k = 1; k <= 1000; ++k) {
        volatile long double term = one / (static_cast<long double>(k) * k);
        sum += term;
    }
    result.series = BitsOf(sum);
    return result;
}

// Runs the enclosing block at 53-bit precision, the setting Windows gives
// every new thread, and restores the caller's control word after.
class DoublePrecisionScope {
public:
    DoublePrecisionScope()
        : saved_(krv::ReadFpuControlWord()),
          double_(static_cast<std::uint16_t>((saved_ & ~krv::kFpuPrecisionMask) | krv::kFpuPrecision53))
    {
        krv::WriteFpuControlWord(double_);
    }
    ~DoublePrecisionScope() { krv::WriteFpuControlWord(saved_); }
    DoublePrecisionScope(const DoublePrecisionScope&) = delete;
    DoublePrecisionScope& operator=(const DoublePrecisionScope&) = delete;

    // The control word in force inside the block.
    std::uint16_t ControlWord() const { return double_; }

private:
    std::uint16_t saved_;
    std::uint16_t double_;
};

inline long double TwoToMinus60()
{
    return std::ldexp(1.0L, -60);
}

}  // namespace krvtest
