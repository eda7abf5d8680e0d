// 80-bit arithmetic on every thread.
//
// The signal engine computes in `long double` (x87 extended, 64-bit mantissa).
// Windows starts every new thread (CreateThread, _beginthreadex and therefore
// std::thread of mingw-w64) with the x87 precision control at 53 bits
// (control word 0x027F), which silently rounds every extended operation to
// double. Every thread of the program therefore starts through one of the
// helpers below, or calls SetExtendedPrecision() as its first statement.
//
// Portable: no windows.h; works with g++ on Linux and mingw-w64 (x86-64).
#pragma once

#include <cstdint>
#include <functional>
#include <thread>
#include <tuple>
#include <type_traits>
#include <utility>

namespace krv {

// x87 control word fields.
inline constexpr std::uint16_t kFpuPrecisionMask = 0x0300;
inline constexpr std::uint16_t kFpuPrecision24 = 0x0000;
inline constexpr std::uint16_t kFpuPrecision53 = 0x0200;
inline constexpr std::uint16_t kFpuPrecision64 = 0x0300;
inline constexpr std::uint16_t kFpuRoundingMask = 0x0C00;
inline constexpr std::uint16_t kFpuRoundNearest = 0x0000;
inline constexpr std::uint16_t kFpuRoundDown = 0x0400;
inline constexpr std::uint16_t kFpuRoundUp = 0x0800;
inline constexpr std::uint16_t kFpuRoundTowardZero = 0x0C00;

std::uint16_t ReadFpuControlWord() noexcept;
void WriteFpuControlWord(std::uint16_t controlWord) noexcept;

// SSE control and status register (MXCSR) fields that change the result of
// double and float arithmetic: the rounding mode, flush-to-zero and
// denormals-are-zero. The low six bits are the exception flags.
inline constexpr std::uint32_t kSseRoundingMask = 0x6000;
inline constexpr std::uint32_t kSseRoundDown = 0x2000;
inline constexpr std::uint32_t kSseRoundUp = 0x4000;
inline constexpr std::uint32_t kSseRoundTowardZero = 0x6000;
inline constexpr std::uint32_t kSseFlushToZero = 0x8000;
inline constexpr std::uint32_t kSseDenormalsAreZero = 0x0040;
inline constexpr std::uint32_t kSseExceptionFlags = 0x003F;

std::uint32_t ReadSseControl() noexcept;
void WriteSseControl(std::uint32_t control) noexcept;

// Sets 64-bit precision and round-to-nearest on the calling thread; the
// exception masks are left as they are.
void SetExtendedPrecision() noexcept;

// True when the calling thread computes with 64-bit precision and rounds to
// nearest.
bool HasExtendedPrecision() noexcept;

// The arithmetic the signal code was written for, for the lifetime of the
// object: x87 at 64-bit precision rounding to nearest, and SSE rounding to
// nearest without flush-to-zero or denormals-are-zero. The caller's control
// words come back when the object ends, on every way out (an exception too).
// For code that runs on a thread owned by someone else (an audio driver's
// callback thread) and at every entry of the signal engine: the user-
// interface thread also runs drivers, file dialogs and COM, which may leave
// either control word changed. Costs a few instructions: one per call, a
// second or a block, never one per sample.
class ExtendedPrecisionScope {
public:
    ExtendedPrecisionScope() noexcept;
    ~ExtendedPrecisionScope();
    ExtendedPrecisionScope(const ExtendedPrecisionScope&) = delete;
    ExtendedPrecisionScope& operator=(const ExtendedPrecisionScope&) = delete;

private:
    std::uint16_t saved_;
    std::uint32_t savedSse_;
};

// a * b * c at 64-bit precision rounding to nearest, whatever the calling
// thread's control word: the gain a second is quantised with, worked out on
// the user-interface thread as well.
long double ExtendedProduct(long double a, long double b, long double c) noexcept;

// Starts a std::thread whose body first sets extended precision, then calls
// f(args...).
template <class F, class... Args>
std::thread StartExtendedThread(F&& f, Args&&... args)
{
    return std::thread(
        [fn = std::forward<F>(f),
         tuple = std::make_tuple(std::forward<Args>(args)...)]() mutable {
            SetExtendedPrecision();
            std::apply(std::move(fn), std::move(tuple));
        });
}

// Thread procedure for the raw thread APIs. Body is a function taking the
// thread argument; the result type follows it, so the same wrapper serves
//   CreateThread(nullptr, 0, &krv::ExtendedThreadProc<Worker>, arg, 0, &id)
// with `DWORD WINAPI Worker(LPVOID)` and _beginthreadex with
// `unsigned __stdcall Worker(void*)` (the calling convention attributes are
// no-ops on x86-64).
template <auto Body>
auto ExtendedThreadProc(void* argument) -> decltype(Body(argument))
{
    SetExtendedPrecision();
    return Body(argument);
}

}  // namespace krv
