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
    // The memory clobber keeps loads and stores of the signal code on their
    // side of the change.
    __asm__ __volatile__("fldcw %0" : : "m"(controlWord) : "memory");
}

std::uint32_t ReadSseControl() noexcept
{
    std::uint32_t control = 0;
    __asm__ __volatile__("stmxcsr %0" : "=m"(control));
    return control;
}

void WriteSseControl(std::uint32_t control) noexcept
{
    __asm__ __volatile__("ldmxcsr %0" : : "m"(control) : "memory");
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

namespace {

constexpr std::uint32_t kSseResultFields = kSseRoundingMask | kSseFlushToZero | kSseDenormalsAreZero;

}  // namespace

ExtendedPrecisionScope::ExtendedPrecisionScope() noexcept
    : saved_(ReadFpuControlWord()), savedSse_(ReadSseControl())
{
    SetExtendedPrecision();
    // Round to nearest, denormals kept: the SSE defaults.
    if (savedSse_ & kSseResultFields)
        WriteSseControl(savedSse_ & ~kSseResultFields);
}

ExtendedPrecisionScope::~ExtendedPrecisionScope()
{
    WriteFpuControlWord(saved_);
    // The caller's fields (code called within the scope may have changed
    // them too), with the exception flags raised meanwhile.
    const std::uint32_t current = ReadSseControl();
    if ((current ^ savedSse_) & ~kSseExceptionFlags)
        WriteSseControl((savedSse_ & ~kSseExceptionFlags) | (current & kSseExceptionFlags));
}

long double ExtendedProduct(long double a, long double b, long double c) noexcept
{
    const ExtendedPrecisionScope precision;
    // The factors pass through memory after the change, and the product
    // before the restore: the multiplications cannot move out of the scope.
    __asm__ __volatile__("" : "+m"(a), "+m"(b), "+m"(c));
    long double product = a * b * c;
    __asm__ __volatile__("" : "+m"(product));
    return product;
}

}  // namespace krv
