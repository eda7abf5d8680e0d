#include "synthesis/ExtendedPrecision.h"

#if !defined(__x86_64__) && !defined(__i386__)
#error "The x87 control word exists only on x86 processors."
#endif

namespace krv {

std::uint16_t ReadFpuControlWord() noexcept
{
    std::uint16_t controlWord = 0;
    __asm__ __volatile__("fnstcw %0" : "=m"(controlWord));
    return controlWord;
}

void WriteFpuControlWord(std::uint16_t controlWord) noexcept
{
    __asm__ __volatile__("fldcw %0" : : "m"(controlWord));
}

void SetExtendedPrecision() noexcept
{
    const std::uint16_t current = ReadFpuControlWord();
    const std::uint16_t wanted = static_cast<std::uint16_t>(
        (current & ~(kFpuPrecisionMask | kFpuRoundingMask)) | kFpuPrecision64 | kFpuRoundNearest);
    if (wanted != current)
        WriteFpuControlWord(wanted);
}

bool HasExtendedPrecision() noexcept
{
    const std::uint16_t current = ReadFpuControlWord();
    return (current & kFpuPrecisionMask) == kFpuPrecision64 &&
           (current & kFpuRoundingMask) == kFpuRoundNearest;
}

ExtendedPrecisionScope::ExtendedPrecisionScope() noexcept : saved_(ReadFpuControlWord())
{
    SetExtendedPrecision();
}

ExtendedPrecisionScope::~ExtendedPrecisionScope()
{
    WriteFpuControlWord(saved_);
}

}  // namespace krv
