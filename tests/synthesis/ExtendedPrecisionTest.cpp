#include "synthesis/ExtendedPrecision.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <thread>

#include "synthesis/ExtendedPrecisionProbe.h"

namespace {

using krv::ReadFpuControlWord;
using krv::WriteFpuControlWord;

// The control word Windows gives every new thread: 53-bit precision, round
// to nearest, all exceptions masked.
constexpr std::uint16_t kWindowsThreadControlWord = 0x027F;

TEST(ExtendedPrecision, SetsSixtyFourBitsAndNearestFromAnyStart)
{
    const krv::ExtendedPrecisionScope keep;
    struct Case {
        std::uint16_t start;
        std::uint16_t expected;
    };
    const Case cases[] = {
        {0x007F, 0x037F},  // 24 bits
        {0x027F, 0x037F},  // 53 bits (Windows thread default)
        {0x037F, 0x037F},  // already right
        {0x0A7F, 0x037F},  // 53 bits, round up
        {0x0F7F, 0x037F},  // 64 bits, round toward zero
        {0x127F, 0x137F},  // infinity-control bit is left alone
    };
    for (const Case& c : cases) {
        WriteFpuControlWord(c.start);
        krv::SetExtendedPrecision();
        EXPECT_EQ(ReadFpuControlWord(), c.expected) << std::hex << "start 0x" << c.start;
        EXPECT_TRUE(krv::HasExtendedPrecision());
    }
}

TEST(ExtendedPrecision, FiftyThreeBitsLosesTheExtendedResultAndTheHelperRestoresIt)
{
    const krv::ExtendedPrecisionScope keep;
    WriteFpuControlWord(kWindowsThreadControlWord);
    EXPECT_FALSE(krv::HasExtendedPrecision());
    EXPECT_EQ(krvtest::RunProbe().tiny, 0.0L);

    krv::SetExtendedPrecision();
    EXPECT_EQ(krvtest::RunProbe().tiny, krvtest::TwoToMinus60());
}

TEST(ExtendedPrecision, ScopeRestoresTheCallersControlWord)
{
    const std::uint16_t original = ReadFpuControlWord();
    WriteFpuControlWord(kWindowsThreadControlWord);
    {
        const krv::ExtendedPrecisionScope scope;
        EXPECT_TRUE(krv::HasExtendedPrecision());
    }
    EXPECT_EQ(ReadFpuControlWord(), kWindowsThreadControlWord);
    WriteFpuControlWord(original);
}

TEST(ExtendedPrecision, StartedThreadMatchesMainThreadBitForBit)
{
    const krv::ExtendedPrecisionScope keep;
    const krvtest::ProbeResult onMain = krvtest::RunProbe();
    ASSERT_EQ(onMain.tiny, krvtest::TwoToMinus60());

    krvtest::ProbeResult onWorker{};
    std::uint16_t workerControlWord = 0;
    int passed = 0;
    std::thread worker = krv::StartExtendedThread(
        [&](int value) {
            workerControlWord = ReadFpuControlWord();
            onWorker = krvtest::RunProbe();
            passed = value;
        },
        42);
    worker.join();
    EXPECT_EQ(passed, 42);
    EXPECT_EQ(workerControlWord & krv::kFpuPrecisionMask, krv::kFpuPrecision64);
    EXPECT_TRUE(onWorker == onMain);
}

std::uint16_t gProcControlWord = 0;
krvtest::ProbeResult gProcResult{};

unsigned ProbeBody(void* argument)
{
    gProcControlWord = ReadFpuControlWord();
    gProcResult = krvtest::RunProbe();
    return *static_cast<unsigned*>(argument);
}

TEST(ExtendedPrecision, ThreadProcWrapperSetsPrecisionBeforeTheBody)
{
    // Stands in for a raw thread that starts at 53 bits.
    unsigned argument = 7;
    unsigned returned = 0;
    std::thread raw([&] {
        WriteFpuControlWord(kWindowsThreadControlWord);
        returned = krv::ExtendedThreadProc<ProbeBody>(&argument);
    });
    raw.join();
    EXPECT_EQ(returned, 7u);
    EXPECT_EQ(gProcControlWord & krv::kFpuPrecisionMask, krv::kFpuPrecision64);
    EXPECT_EQ(gProcResult.tiny, krvtest::TwoToMinus60());
}

}  // namespace

namespace {

TEST(ExtendedPrecision, ScopeSetsTheSseDefaultsAndRestoresTheCallersOnEveryWayOut)
{
    const std::uint16_t ownX87 = ReadFpuControlWord();
    const std::uint32_t ownSse = krv::ReadSseControl();
    const std::uint32_t resultFields = krv::kSseRoundingMask | krv::kSseFlushToZero | krv::kSseDenormalsAreZero;
    const std::uint32_t foreignSse = (ownSse & ~resultFields) | krv::kSseRoundUp | krv::kSseFlushToZero;
    const std::uint16_t foreignX87 = 0x0E7F;  // 53 bits, toward zero
    WriteFpuControlWord(foreignX87);
    krv::WriteSseControl(foreignSse);
    std::uint32_t inside = 0;
    try {
        const krv::ExtendedPrecisionScope scope;
        inside = krv::ReadSseControl();
        EXPECT_TRUE(krv::HasExtendedPrecision());
        // An inexact result raises a flag the caller keeps.
        volatile double third = 1.0;
        third = third / 3.0;
        throw 1;
    } catch (int) {
    }
    const std::uint16_t x87After = ReadFpuControlWord();
    const std::uint32_t sseAfter = krv::ReadSseControl();
    WriteFpuControlWord(ownX87);
    krv::WriteSseControl(ownSse);
    EXPECT_EQ(inside & resultFields, 0u);
    EXPECT_EQ(x87After, foreignX87);
    EXPECT_EQ(sseAfter & ~krv::kSseExceptionFlags, foreignSse & ~krv::kSseExceptionFlags);
    EXPECT_NE(sseAfter & 0x20u, 0u) << "the precision (inexact) flag raised inside the scope is lost";
}

TEST(ExtendedPrecision, ScopeRestoresControlWordsThatCodeWithinItChanged)
{
    const std::uint16_t ownX87 = ReadFpuControlWord();
    const std::uint32_t ownSse = krv::ReadSseControl();
    {
        const krv::ExtendedPrecisionScope scope;
        // A driver called from within, leaving its own settings.
        WriteFpuControlWord(0x0A7F);
        krv::WriteSseControl(ownSse | krv::kSseRoundDown | krv::kSseFlushToZero);
    }
    const std::uint16_t x87After = ReadFpuControlWord();
    const std::uint32_t sseAfter = krv::ReadSseControl();
    WriteFpuControlWord(ownX87);
    krv::WriteSseControl(ownSse);
    EXPECT_EQ(x87After, ownX87);
    EXPECT_EQ(sseAfter & ~krv::kSseExceptionFlags, ownSse & ~krv::kSseExceptionFlags);
}

}  // namespace
