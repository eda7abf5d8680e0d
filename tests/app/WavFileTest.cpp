// WAV layout, header bytes, sample packing and the second-by-second writer.
#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <stdexcept>

#include "app/WavFile.h"
#include "app/WavTestSupport.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// --- Golden headers ----------------------------------------------------------

TEST(WavHeader, Plain48000Hz16BitTenSeconds) {
  const Bytes want{
      'R', 'I', 'F', 'F', 0x24, 0x4C, 0x1D, 0x00,  // 36 + D = 1,920,036
      'W', 'A', 'V', 'E', 'f', 'm', 't', ' ',
      0x10, 0x00, 0x00, 0x00,                      // fmt size 16
      0x01, 0x00, 0x02, 0x00,                      // PCM, 2 channels
      0x80, 0xBB, 0x00, 0x00,                      // 48000 Hz
      0x00, 0xEE, 0x02, 0x00,                      // 192000 bytes/s
      0x04, 0x00, 0x10, 0x00,                      // block align 4, 16 bits
      'd', 'a', 't', 'a', 0x00, 0x4C, 0x1D, 0x00}; // D = 1,920,000
  const TWavLayout l = MakeWavLayout(48000, 16, 10);
  EXPECT_FALSE(l.Extensible);
  EXPECT_EQ(l.DataSize, 1920000u);
  EXPECT_EQ(WavHeaderBytes(l), want);
}

TEST(WavHeader, Extensible44056Hz16Bit) {
  const Bytes want{
      'R', 'I', 'F', 'F', 0x9C, 0xB0, 0x02, 0x00,  // 60 + D = 176,284
      'W', 'A', 'V', 'E', 'f', 'm', 't', ' ',
      0x28, 0x00, 0x00, 0x00,                      // fmt size 40
      0xFE, 0xFF, 0x02, 0x00,                      // extensible, 2 channels
      0x18, 0xAC, 0x00, 0x00,                      // 44056 Hz
      0x60, 0xB0, 0x02, 0x00,                      // 176,224 bytes/s
      0x04, 0x00, 0x10, 0x00,                      // block align 4, container 16
      0x16, 0x00, 0x10, 0x00,                      // extension 22, valid bits 16
      0x03, 0x00, 0x00, 0x00,                      // front left + front right
      0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
      0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71,  // PCM sub-format
      'd', 'a', 't', 'a', 0x60, 0xB0, 0x02, 0x00};     // D = 176,224
  EXPECT_EQ(WavHeaderBytes(MakeWavLayout(44056, 16, 1)), want);
}

// --- Layout rule ---------------------------------------------------------------

TEST(WavLayout, PlainOnlyFor16BitAt44100Or48000) {
  struct Case {
    std::int32_t rate, bits;
    bool extensible;
    std::uint16_t container, align;
  };
  const Case cases[] = {
      {44100, 16, false, 16, 4}, {48000, 16, false, 16, 4}, {44056, 16, true, 16, 4},
      {32000, 16, true, 16, 4},  {96000, 16, true, 16, 4},  {192000, 16, true, 16, 4},
      {44100, 20, true, 32, 8},  {48000, 24, true, 32, 8},  {48000, 32, true, 32, 8},
      {384000, 32, true, 32, 8},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.rate) + " Hz / " + std::to_string(c.bits) + " bits");
    const TWavLayout l = MakeWavLayout(c.rate, c.bits, 3);
    EXPECT_EQ(l.Extensible, c.extensible);
    EXPECT_EQ(l.ContainerBits, c.container);
    EXPECT_EQ(l.BlockAlign, c.align);
    EXPECT_EQ(l.HeaderSize, c.extensible ? 68u : 44u);
    EXPECT_EQ(l.DataSize, std::uint32_t(c.align) * std::uint32_t(c.rate) * 3u);
    const Bytes h = WavHeaderBytes(l);
    ASSERT_EQ(h.size(), l.HeaderSize);
    EXPECT_EQ(wavtest::U32At(h, 4), l.HeaderSize - 8 + l.DataSize);
    EXPECT_EQ(wavtest::U32At(h, l.HeaderSize - 4), l.DataSize);
  }
}

TEST(WavLayout, LongestFileFitsAndBadFormatsAreRefused) {
  const TWavLayout l = MakeWavLayout(384000, 32, 99);
  EXPECT_EQ(l.DataSize, 304128000u);
  EXPECT_THROW(MakeWavLayout(48000, 18, 1), std::invalid_argument);
  EXPECT_THROW(MakeWavLayout(48000, 8, 1), std::invalid_argument);
  EXPECT_THROW(MakeWavLayout(0, 16, 1), std::invalid_argument);
  EXPECT_THROW(MakeWavLayout(48000, 16, 0), std::invalid_argument);
  EXPECT_THROW(MakeWavLayout(384000, 32, 1400), std::invalid_argument);  // over 4 GiB
}

// --- Sample packing ----------------------------------------------------------------

TEST(WavPacking, SamplesSitAtTheTopOfTheContainerWithTheirSign) {
  struct Case {
    std::int32_t bits, left, right;
    Bytes frame;
  };
  const Case cases[] = {
      {16, -1, -32766, {0xFF, 0xFF, 0x02, 0x80}},
      {16, 32766, 1, {0xFE, 0x7F, 0x01, 0x00}},
      {16, 40000, -40000, {0xFF, 0x7F, 0x00, 0x80}},  // saturates, never wraps
      {20, -1, 524286, {0x00, 0xF0, 0xFF, 0xFF, 0x00, 0xE0, 0xFF, 0x7F}},
      {24, -1, -8388606, {0x00, 0xFF, 0xFF, 0xFF, 0x00, 0x02, 0x00, 0x80}},
      {24, 8388606, 0x123456, {0x00, 0xFE, 0xFF, 0x7F, 0x00, 0x56, 0x34, 0x12}},
      {24, 9000000, -9000000, {0x00, 0xFF, 0xFF, 0x7F, 0x00, 0x00, 0x00, 0x80}},
      {32, -2147483646, 2147483646, {0x02, 0x00, 0x00, 0x80, 0xFE, 0xFF, 0xFF, 0x7F}},
      {32, -2, 0x01020304, {0xFE, 0xFF, 0xFF, 0xFF, 0x04, 0x03, 0x02, 0x01}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.bits) + " bits: " + std::to_string(c.left) + ", " + std::to_string(c.right));
    const TWavLayout l = MakeWavLayout(1, c.bits, 1);
    Bytes out;
    PackWavSecond(l, {TWaveBufferInteger{c.left}, TWaveBufferInteger{c.right}}, out);
    EXPECT_EQ(out, c.frame);
  }
}

TEST(WavPacking, FramesInTimeOrderLeftBeforeRight) {
  const TWavLayout l = MakeWavLayout(3, 24, 1);
  Bytes out;
  PackWavSecond(l, {TWaveBufferInteger{1, 2, 3}, TWaveBufferInteger{-1, -2, -3}}, out);
  ASSERT_EQ(out.size(), 24u);
  const std::int32_t want[] = {1, -1, 2, -2, 3, -3};
  for (int k = 0; k < 6; ++k) EXPECT_EQ(std::int32_t(wavtest::U32At(out, 4 * k)) >> 8, want[k]) << k;
}

TEST(WavPacking, SecondOfWrongLengthIsRefused) {
  const TWavLayout l = MakeWavLayout(4, 16, 1);
  Bytes out;
  EXPECT_THROW(PackWavSecond(l, {TWaveBufferInteger(4), TWaveBufferInteger(3)}, out), std::invalid_argument);
  EXPECT_THROW(PackWavSecond(l, {TWaveBufferInteger(5), TWaveBufferInteger(5)}, out), std::invalid_argument);
}

// --- Writer --------------------------------------------------------------------------

using wavtest::TMemorySink;

Bytes Packed(const TWavLayout& l, const TWaveBufferIntegerStereo& s) {
  Bytes b;
  PackWavSecond(l, s, b);
  return b;
}

Bytes SecondAt(const TWavLayout& l, const Bytes& file, int second) {
  const auto from = file.begin() + l.HeaderSize + std::ptrdiff_t(second) * std::ptrdiff_t(l.SecondBytes());
  return Bytes(from, from + std::ptrdiff_t(l.SecondBytes()));
}

TEST(WavWriter, MissingSecondsKeepTheirPlace) {
  const TWavLayout l = MakeWavLayout(100, 24, 4);
  const auto a = wavtest::PatternSecond(100, 24, 1);
  const auto c = wavtest::PatternSecond(100, 24, 3);
  TMemorySink sink;
  TWavWriter w(sink, l);
  w.WriteMissingSecond();  // nothing before it: silence
  w.WriteSecond(a);
  w.WriteMissingSecond();  // stands in with the second before
  w.WriteSecond(c);
  w.Finish();
  ASSERT_EQ(sink.Out.size(), l.FileSize());
  EXPECT_EQ(sink.Closed, 1);
  EXPECT_EQ(SecondAt(l, sink.Out, 0), Bytes(l.SecondBytes(), 0));
  EXPECT_EQ(SecondAt(l, sink.Out, 1), Packed(l, a));
  EXPECT_EQ(SecondAt(l, sink.Out, 2), Packed(l, a));
  EXPECT_EQ(SecondAt(l, sink.Out, 3), Packed(l, c));
}

TEST(WavWriter, FinishCompletesAShortFileAndRefusesExtraSeconds) {
  const TWavLayout l = MakeWavLayout(50, 16, 3);
  const auto a = wavtest::PatternSecond(50, 16);
  TMemorySink sink;
  TWavWriter w(sink, l);
  w.WriteSecond(a);
  w.Finish();
  EXPECT_EQ(w.SecondsWritten(), 3);
  ASSERT_EQ(sink.Out.size(), l.FileSize());
  EXPECT_EQ(SecondAt(l, sink.Out, 2), Packed(l, a));
  EXPECT_THROW(w.WriteSecond(a), std::logic_error);

  TMemorySink full;
  TWavWriter w2(full, MakeWavLayout(50, 16, 1));
  w2.WriteSecond(a);
  EXPECT_THROW(w2.WriteSecond(a), std::logic_error);
  EXPECT_THROW(w2.WriteMissingSecond(), std::logic_error);
}

TEST(WavWriter, SinkFailureStopsTheWriter) {
  const TWavLayout l = MakeWavLayout(100, 16, 3);
  const auto a = wavtest::PatternSecond(100, 16);
  TMemorySink sink(l.HeaderSize + l.SecondBytes());
  TWavWriter w(sink, l);
  w.WriteSecond(a);
  EXPECT_THROW(w.WriteSecond(a), EFileError);
  EXPECT_THROW(w.WriteSecond(a), std::logic_error);
  EXPECT_THROW(w.Finish(), std::logic_error);
  EXPECT_EQ(sink.Closed, 0);

  TMemorySink tiny(10);
  EXPECT_THROW(TWavWriter(tiny, l), EFileError);  // the header itself
}

// Until the last second is written the header claims no samples; then the
// real sizes, and only then is the file closed.
TEST(WavWriter, HeaderClaimsTheSamplesOnlyOnceTheFileIsComplete) {
  for (const auto& [rate, bits] : {std::pair{48000, 16}, std::pair{100, 24}}) {
    SCOPED_TRACE(std::to_string(rate) + " Hz / " + std::to_string(bits) + " bits");
    const TWavLayout l = MakeWavLayout(rate, bits, 3);
    const auto a = wavtest::PatternSecond(rate, bits);
    TMemorySink sink;
    TWavWriter w(sink, l);
    EXPECT_EQ(sink.Out, WavHeaderBytes(l, 0));
    for (int second = 0; second < 3; ++second) {
      w.WriteSecond(a);
      EXPECT_EQ(wavtest::U32At(sink.Out, 4), l.HeaderSize - 8);
      EXPECT_EQ(wavtest::U32At(sink.Out, l.HeaderSize - 4), 0u);
    }
    EXPECT_EQ(sink.Closed, 0);
    w.Finish();
    EXPECT_EQ(sink.Closed, 1);
    ASSERT_EQ(sink.Out.size(), l.FileSize());
    EXPECT_EQ(Bytes(sink.Out.begin(), sink.Out.begin() + l.HeaderSize), WavHeaderBytes(l));
    EXPECT_EQ(wavtest::U32At(sink.Out, 4), l.FileSize() - 8);
    EXPECT_EQ(wavtest::U32At(sink.Out, l.HeaderSize - 4), l.DataSize);
  }
  // Apart from the two sizes the header is the same.
  const TWavLayout l = MakeWavLayout(44056, 20, 2);
  Bytes empty = WavHeaderBytes(l, 0), full = WavHeaderBytes(l);
  ASSERT_EQ(empty.size(), full.size());
  for (std::size_t at : {std::size_t(4), std::size_t(l.HeaderSize - 4)})
    for (std::size_t i = 0; i < 4; ++i) empty[at + i] = full[at + i];
  EXPECT_EQ(empty, full);
}

// --- File sink -----------------------------------------------------------------------

TEST(WavFileSink, WritesReplacesAndReportsWhatCannotBeCreated) {
  wavtest::TScratchDir dir("sink");
  const auto name = dir / "a.wav";
  for (const Bytes& b : {Bytes{1, 2, 3}, Bytes{9}}) {  // the second replaces the first
    TFileSink s(name);
    s.Write(b.data(), b.size());
    s.Close();
    EXPECT_EQ(wavtest::ReadBytes(name), b);
  }
  {
    TFileSink discarded(name);
    discarded.Write(Bytes{5}.data(), 1);
    discarded.Discard();
    TFileSink abandoned(name);
    abandoned.Write(Bytes{6}.data(), 1);
  }
  EXPECT_EQ(wavtest::ReadBytes(name), Bytes{9});
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);

  // Files and folders of the names a temporary file might take are not
  // touched and block nothing; only the target is replaced.
  wavtest::WriteText(dir / "a.wav.tmp0", "mine");
  std::filesystem::create_directory(dir / "a.wav.tmp1");
  wavtest::WriteText(dir / "a.wav.new", "mine too");
  {
    TFileSink s(name);
    EXPECT_EQ(s.TemporaryName(), dir / "a.wav.tmp2");
    s.Write(Bytes{1, 2}.data(), 2);
    s.WriteAt(1, Bytes{7}.data(), 1);
    s.Write(Bytes{3}.data(), 1);
    s.Close();
    EXPECT_TRUE(s.TemporaryName().empty());
  }
  EXPECT_EQ(wavtest::ReadBytes(name), (Bytes{1, 7, 3}));
  EXPECT_EQ(wavtest::ReadText(dir / "a.wav.tmp0"), "mine");
  EXPECT_TRUE(std::filesystem::is_directory(dir / "a.wav.tmp1"));
  EXPECT_EQ(wavtest::ReadText(dir / "a.wav.new"), "mine too");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 4);
  for (const char* other : {"a.wav.tmp0", "a.wav.new"}) std::filesystem::remove(dir / other);
  std::filesystem::remove(dir / "a.wav.tmp1");

  std::filesystem::create_directory(dir / "folder.wav");
  for (const auto& bad : {dir / "no such folder" / "b.wav", dir / "folder.wav"}) {
    try {
      TFileSink s(bad);
      FAIL() << "created " << bad;
    } catch (const EFileError& e) {
      EXPECT_EQ(std::string(e.what()).rfind("Error - Cannot write the file \"" + bad.string() + "\": ", 0), 0u)
          << e.what();
    }
  }
}

}  // namespace
