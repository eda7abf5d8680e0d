// The render loop with the real engine: the start-up signal set rendered at
// unity gain is a 1000 Hz sine at -6 dBFS on both channels, every second in
// its place.
#include <gtest/gtest.h>

#include <cmath>

#include "app/CreateWaveRoad.h"
#include "app/WavRender.h"
#include "app/WavTestSupport.h"

namespace {

struct TDecoded {
  std::vector<std::int32_t> Left, Right;
};

TDecoded Decode(const std::vector<std::uint8_t>& File, const TWavLayout& l) {
  TDecoded d;
  for (std::size_t at = l.HeaderSize; at + l.BlockAlign <= File.size(); at += l.BlockAlign) {
    if (l.ContainerBits == 16) {
      d.Left.push_back(std::int16_t(File[at] | File[at + 1] << 8));
      d.Right.push_back(std::int16_t(File[at + 2] | File[at + 3] << 8));
    } else {
      d.Left.push_back(std::int32_t(wavtest::U32At(File, at)) >> (32 - l.Quantization));
      d.Right.push_back(std::int32_t(wavtest::U32At(File, at + 4)) >> (32 - l.Quantization));
    }
  }
  return d;
}

TEST(WavEngine, StartUpSetIsASineAtMinus6dBOnBothChannels) {
  for (const auto& [rate, bits] : {std::pair{48000, 16}, std::pair{96000, 24}, std::pair{44056, 32}}) {
    SCOPED_TRACE(std::to_string(rate) + " Hz / " + std::to_string(bits) + " bits");
    TPCMFormat format = TExFunctionLib::InitializePCMFormat();
    format._SamplingRate = rate;
    format._Quantization = bits;
    wavtest::TScratchDir dir("engine");
    const auto name = dir / "startup.wav";
    wavtest::TCreateWaveRoad road(format, wavtest::StartUpSignals());
    std::vector<std::int32_t> progress;
    TWavRenderHooks hooks;
    hooks.FetchSecond = [&road](std::int32_t n, std::uint32_t& seed) { return road.Second(n, seed); };
    hooks.Quantize = UnityGainQuantizer(format);
    hooks.SecondWritten = [&progress](std::int32_t done, std::int32_t) { progress.push_back(done); };
    const TWavRenderResult res = TWavRenderer().RenderFile(format, 3, name, hooks);
    ASSERT_TRUE(res.Completed()) << res.Message;
    EXPECT_EQ(res.MissingSeconds, 0);
    EXPECT_EQ(progress, (std::vector<std::int32_t>{1, 2, 3}));

    const TWavLayout layout = MakeWavLayout(rate, bits, 3);
    const auto file = wavtest::ReadBytes(name);
    ASSERT_EQ(file.size(), layout.FileSize());
    const TDecoded d = Decode(file, layout);
    ASSERT_EQ(d.Left.size(), 3u * std::size_t(rate));
    EXPECT_EQ(d.Left, d.Right);

    const long double scale = std::ldexp(1.0L, bits - 1) - 1.5L;  // M0 - 0.5
    const auto peak = std::int32_t(std::pow(10.0L, -6.0L / 20.0L) * scale);
    const auto [lo, hi] = std::minmax_element(d.Left.begin(), d.Left.end());
    // The sample nearest the crest of some cycle of the second lies within a
    // hair of it.
    const double tolerance = 1 + peak * 1e-5;
    EXPECT_NEAR(*hi, peak, tolerance);
    EXPECT_NEAR(*lo, -peak, tolerance);
    int rising = 0;
    for (std::size_t i = 1; i < std::size_t(rate); ++i) rising += d.Left[i - 1] < 0 && d.Left[i] >= 0;
    EXPECT_NEAR(rising, 1000, 1);
    // A whole number of cycles per second: every second is the same.
    for (std::size_t i = 0; i < std::size_t(rate); ++i) {
      ASSERT_EQ(d.Left[i], d.Left[i + std::size_t(rate)]) << i;
      ASSERT_EQ(d.Left[i], d.Left[i + 2 * std::size_t(rate)]) << i;
    }
  }
}

}  // namespace
