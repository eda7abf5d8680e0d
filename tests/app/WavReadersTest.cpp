// Files written by the WAV writer, read back by independent readers:
// libsndfile's sndfile-info for every rate and depth, sox for 16 and 32 bits.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <sstream>

#include "app/WavFile.h"
#include "app/WavTestSupport.h"

namespace {

constexpr std::int32_t kRates[] = {32000, 44056, 44100, 48000, 88200, 96000, 176400, 192000, 352800, 384000};
constexpr std::int32_t kDepths[] = {16, 20, 24, 32};

struct TRun {
  int Exit = -1;
  std::string Output;
};

std::string Quote(const std::filesystem::path& p) {
  std::string quoted(1, '\'');
  quoted += p.string();
  quoted += '\'';
  return quoted;
}

TRun RunCommand(const std::string& Command) {
  TRun r;
  FILE* pipe = popen((Command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return r;
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) r.Output.append(buf, n);
  const int status = pclose(pipe);
  r.Exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

bool HaveTool(const char* Name) { return RunCommand(std::string("command -v ") + Name).Exit == 0; }

std::string Trim(std::string_view s) {
  const auto b = s.find_first_not_of(" \t\r");
  const auto e = s.find_last_not_of(" \t\r");
  return b == std::string_view::npos ? std::string() : std::string(s.substr(b, e - b + 1));
}

// The value after "Key :" on the first line of a reader's report that has
// that key (blanks around the colon vary).
std::string Field(const std::string& Report, const std::string& Key) {
  std::istringstream in(Report);
  for (std::string line; std::getline(in, line);) {
    const auto colon = line.find(':');
    if (colon != std::string::npos && Trim(std::string_view(line).substr(0, colon)) == Key)
      return Trim(std::string_view(line).substr(colon + 1));
  }
  return "<missing>";
}

std::filesystem::path WriteOneSecond(const wavtest::TScratchDir& Dir, std::int32_t Rate, std::int32_t Bits,
                                     TWaveBufferIntegerStereo& Second) {
  const auto name = Dir / (std::to_string(Rate) + "_" + std::to_string(Bits) + ".wav");
  Second = wavtest::PatternSecond(Rate, Bits, std::uint32_t(Rate + Bits));
  TFileSink sink(name);
  TWavWriter w(sink, MakeWavLayout(Rate, Bits, 1));
  w.WriteSecond(Second);
  w.Finish();
  return name;
}

TEST(WavReaders, SndfileInfoReadsEveryRateAndDepth) {
  if (!HaveTool("sndfile-info"))
    GTEST_SKIP() << "sndfile-info (Debian package sndfile-programs) is not installed; "
                    "the independent WAV reader check did not run";
  wavtest::TScratchDir dir("sndfile");
  for (std::int32_t rate : kRates) {
    for (std::int32_t bits : kDepths) {
      SCOPED_TRACE(std::to_string(rate) + " Hz / " + std::to_string(bits) + " bits");
      TWaveBufferIntegerStereo second;
      const auto name = WriteOneSecond(dir, rate, bits, second);
      const TRun r = RunCommand("sndfile-info " + Quote(name));
      ASSERT_EQ(r.Exit, 0) << r.Output;
      EXPECT_EQ(r.Output.find("Error"), std::string::npos) << r.Output;
      // The report is the header as parsed, then a summary after a line of dashes.
      const std::size_t cut = r.Output.rfind("\n-----");
      ASSERT_NE(cut, std::string::npos) << r.Output;
      const std::string header = r.Output.substr(0, cut), summary = r.Output.substr(cut);
      EXPECT_EQ(Field(summary, "Sample Rate"), std::to_string(rate));
      EXPECT_EQ(Field(summary, "Frames"), std::to_string(rate));
      EXPECT_EQ(Field(summary, "Channels"), "2");
      EXPECT_EQ(Field(summary, "Duration"), "00:00:01.000");
      EXPECT_EQ(Field(header, "Length"), std::to_string(MakeWavLayout(rate, bits, 1).FileSize()));
      const bool plain = bits == 16 && (rate == 44100 || rate == 48000);
      // Major format WAV (0x01) or WAVEX (0x13); sub-format PCM_16 (2) or PCM_32 (4).
      char format[16];
      std::snprintf(format, sizeof format, "0x00%02X000%d", plain ? 0x01 : 0x13, bits == 16 ? 2 : 4);
      EXPECT_EQ(Field(summary, "Format"), plain ? "0x00010002" : format);
      EXPECT_EQ(Field(header, "Format"), plain ? "0x1 => WAVE_FORMAT_PCM" : "0xFFFE => WAVE_FORMAT_EXTENSIBLE");
      if (!plain) {
        EXPECT_EQ(Field(header, "Valid Bits"), std::to_string(bits));
        EXPECT_EQ(Field(header, "Channel Mask"), "0x3 (L, R)");
        EXPECT_EQ(Field(header, "format"), "pcm");  // the sub-format GUID was recognised
      }
    }
  }
}

TEST(WavReaders, SoxReads16And32BitFilesSampleForSample) {
  if (!HaveTool("sox"))
    GTEST_SKIP() << "sox (Debian package sox) is not installed; the independent WAV reader check did not run";
  wavtest::TScratchDir dir("sox");
  for (std::int32_t rate : kRates) {
    for (std::int32_t bits : {16, 32}) {
      SCOPED_TRACE(std::to_string(rate) + " Hz / " + std::to_string(bits) + " bits");
      TWaveBufferIntegerStereo second;
      const auto name = WriteOneSecond(dir, rate, bits, second);

      const TRun info = RunCommand("sox --i " + Quote(name));
      ASSERT_EQ(info.Exit, 0) << info.Output;
      EXPECT_EQ(Field(info.Output, "Channels"), "2");
      EXPECT_EQ(Field(info.Output, "Sample Rate"), std::to_string(rate));
      EXPECT_EQ(Field(info.Output, "Precision"), std::to_string(bits) + "-bit");
      EXPECT_EQ(Field(info.Output, "Duration").rfind("00:00:01.00 = " + std::to_string(rate) + " samples", 0), 0u)
          << info.Output;

      const TRun stat = RunCommand("sox " + Quote(name) + " -n stat");
      ASSERT_EQ(stat.Exit, 0) << stat.Output;
      EXPECT_EQ(Field(stat.Output, "Samples read"), std::to_string(2 * rate));
      // The pattern reaches the quantiser's limits M = 2^(bits-1) - 2 on both sides.
      const double top = (std::ldexp(1.0, bits - 1) - 2) / std::ldexp(1.0, bits - 1);
      EXPECT_NEAR(std::stod(Field(stat.Output, "Maximum amplitude")), top, 1e-6);
      EXPECT_NEAR(std::stod(Field(stat.Output, "Minimum amplitude")), -top, 1e-6);

      // Every sample, negative ones included, decoded by sox as written.
      const auto raw = dir / "samples.raw";
      const TRun conv = RunCommand("sox " + Quote(name) + " -t " + (bits == 16 ? "s16" : "s32") + " " + Quote(raw));
      ASSERT_EQ(conv.Exit, 0) << conv.Output;
      const std::vector<std::uint8_t> bytes = wavtest::ReadBytes(raw);
      ASSERT_EQ(bytes.size(), std::size_t(rate) * 2 * (bits / 8));
      std::size_t wrong = 0;
      for (std::size_t i = 0; i < std::size_t(rate); ++i) {
        for (int c = 0; c < 2; ++c) {
          std::int32_t v;
          if (bits == 16) {
            std::int16_t s;
            std::memcpy(&s, &bytes[(2 * i + c) * 2], 2);
            v = s;
          } else {
            std::memcpy(&v, &bytes[(2 * i + c) * 4], 4);
          }
          if (v != second[c][i] && wrong++ < 5)
            ADD_FAILURE() << "frame " << i << " channel " << c << ": " << v << " instead of " << second[c][i];
        }
      }
      EXPECT_EQ(wrong, 0u);
    }
  }
}

}  // namespace
