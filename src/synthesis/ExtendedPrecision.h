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

std::uint16_t ReadFpuControlWord() noexcept;
void WriteFpuControlWord(std::uint16_t controlWord) noexcept;

// Sets 64-bit precision and round-to-nearest on the calling thread; the
// exception masks are left as they are.
void SetExtendedPrecision() noexcept;

// True when the calling thread computes with 64-bit precision and rounds to
// nearest.
bool HasExtendedPrecision() noexcept;

// Sets extended precision for the lifetime of the object and restores the
// previous control word afterwards. For code that runs on a thread owned by
// someone else (an audio driver's callback thread).
class ExtendedPrecisionScope {
public:
    ExtendedPrecisionScope() noexcept;
    ~ExtendedPrecisionScope();
    ExtendedPrecisionScope(const ExtendedPrecisionScope&) = delete;
    ExtendedPrecisionScope& operator=(const ExtendedPrecisionScope&) = delete;

private:
    std::uint16_t saved_;
};

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
