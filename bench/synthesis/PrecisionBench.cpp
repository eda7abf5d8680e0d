// The cost of the guard every engine call takes (x87 and SSE control words
// set and given back), from a caller at the signal threads' control words
// and from one that foreign code changed, beside the smallest call that
// carries it: a one-second quantisation at 8000 Hz.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "synthesis/ExtendedPrecision.h"
#include "synthesis/UnitFunction.h"

namespace {

// Arg 0: the caller's control words as the signal threads keep them; 1: 53
// bits and SSE rounding toward zero (what a driver may leave).
void SetCaller(std::int64_t foreign) {
  krv::SetExtendedPrecision();
  std::uint32_t sse = krv::ReadSseControl() & ~krv::kSseRoundingMask;
  if (foreign) {
    krv::WriteFpuControlWord(static_cast<std::uint16_t>((krv::ReadFpuControlWord() & ~krv::kFpuPrecisionMask) |
                                                         krv::kFpuPrecision53));
    sse |= krv::kSseRoundTowardZero;
  }
  krv::WriteSseControl(sse);
}

void BM_PrecisionGuard(benchmark::State& state) {
  const std::uint16_t x87 = krv::ReadFpuControlWord();
  const std::uint32_t sse = krv::ReadSseControl();
  SetCaller(state.range(0));
  for (auto _ : state) {
    const krv::ExtendedPrecisionScope precision;
    benchmark::ClobberMemory();
  }
  krv::WriteFpuControlWord(x87);
  krv::WriteSseControl(sse);
}
BENCHMARK(BM_PrecisionGuard)->ArgName("foreign")->Arg(0)->Arg(1);

void BM_GuardedQuantizeSmallestSecond(benchmark::State& state) {
  const TPCMFormat f{8000, 16, TRounding::_RNE, TDither::_White, TNoiseShaping::_Off};
  TWaveBufferExtendedStereo in{TWaveBufferExtended(8000, 0.25L), TWaveBufferExtended(8000, -0.25L)};
  TWaveBufferIntegerStereo out;
  const std::uint16_t x87 = krv::ReadFpuControlWord();
  const std::uint32_t sse = krv::ReadSseControl();
  SetCaller(state.range(0));
  for (auto _ : state) {
    TExFunctionLib::QuantizeSignal(f, 0.1L, 0.1L, in, 1000, 7u, out);
    benchmark::DoNotOptimize(out[0].data());
  }
  krv::WriteFpuControlWord(x87);
  krv::WriteSseControl(sse);
}
BENCHMARK(BM_GuardedQuantizeSmallestSecond)->ArgName("foreign")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace
