#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "synthesis/UnitFunction.h"

namespace {

// The signal and PCM format defaults and their texts are the recording
// end-to-end test's (its property sheet lists them).
TEST(Defaults, InternalSettingStrings) {
  const auto is = TExFunctionLib::InitializeInternalSetting();
  EXPECT_EQ(TExFunctionLib::StringInternalSetting(is),
            (TInternalSettingString{"WaveMapper", "250", "10", "ON", "1/3 Octave", "No Sheet", "No"}));
  EXPECT_EQ(is._RecordTime, 10);
  EXPECT_EQ(is._PlayTime, 10);
}

TEST(Strings, IntegersAndRecordTimeAreIgnored) {
  auto a = TExFunctionLib::InitializeSignalAttribute();
  a._Frequency = -2147483647 - 1;
  a._Amplitude = -100;
  a._SweepFrequency = {7, 384000};
  auto s = TExFunctionLib::StringSignalAttribute(a);
  EXPECT_EQ(s._Frequency, "-2147483648");
  EXPECT_EQ(s._Amplitude, "-100");
  EXPECT_EQ(s._SweepFrequencyStart, "7");
  EXPECT_EQ(s._SweepFrequencyStop, "384000");

  auto x = TExFunctionLib::InitializeInternalSetting();
  auto y = x;
  y._RecordTime = 99;
  y._PlayTime = 1;
  EXPECT_EQ(TExFunctionLib::StringInternalSetting(x), TExFunctionLib::StringInternalSetting(y));
  x._OutputDevice = TOutputDevice::_ASIO;
  EXPECT_EQ(TExFunctionLib::StringInternalSetting(x)._OutputDevice, "ASIO");
}

// Every value of every stored enumeration has its own text, and the text maps
// back to the value: the settings and signal set files rely on this.
template <class E>
void ExpectRoundTrip(int count, std::vector<std::string> expected) {
  std::set<std::string> seen;
  for (int i = 0; i < count; ++i) {
    const E v = static_cast<E>(i);
    const std::string text(EnumText(v));
    ASSERT_FALSE(text.empty()) << i;
    EXPECT_EQ(text, expected[i]);
    EXPECT_TRUE(seen.insert(text).second) << text;
    const auto back = EnumFromText<E>(text);
    ASSERT_TRUE(back.has_value()) << text;
    EXPECT_EQ(*back, v);
  }
  EXPECT_FALSE(EnumFromText<E>("").has_value());
  EXPECT_FALSE(EnumFromText<E>("NoData").has_value());
  // Matching is exact: letter case and blanks count.
  std::string flipped = expected[0];
  for (auto& c : flipped)
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) c = static_cast<char>(c ^ 0x20);
  if (flipped != expected[0]) {
    EXPECT_FALSE(EnumFromText<E>(flipped).has_value()) << flipped;
  }
  EXPECT_FALSE(EnumFromText<E>(" " + expected[0]).has_value());
}

TEST(Strings, EveryEnumerationRoundTrips) {
  ExpectRoundTrip<TOutputChannel>(4, {"L R", "Lch", "Rch", "MUTE"});
  ExpectRoundTrip<TWaveform>(6, {"SINE", "SQUARE", "TRIANGLE", "SAW", "SWEEP", "NOISE"});
  ExpectRoundTrip<TWarbleCycle>(5, {"16 Hz", "12 Hz", "8 Hz", "4 Hz", "OFF"});
  ExpectRoundTrip<TSweepType>(2, {"LINEAR", "LOG"});
  ExpectRoundTrip<TNoiseType>(3, {"WHITE", "PINK", "GAUSS"});
  ExpectRoundTrip<TRounding>(5, {"ZERO", "INFINITY", "NEAREST", "NEAR EVEN", "DITHER"});
  ExpectRoundTrip<TDither>(3, {"WHITE", "PINK", "GAUSS"});
  ExpectRoundTrip<TNoiseShaping>(3, {"2nd", "1st", "OFF"});
  ExpectRoundTrip<TOutputDevice>(3, {"No Device", "WaveMapper", "ASIO"});
  ExpectRoundTrip<TWavBufferSize>(6, {"50", "100", "125", "200", "250", "500"});
  ExpectRoundTrip<TRepeat>(2, {"ON", "OFF"});
  ExpectRoundTrip<TWableDeviation>(2, {"1/3 Octave", "1/1 Octave"});
  ExpectRoundTrip<TPropertySheet>(3, {"No Sheet", "Signal Only", "All"});
  ExpectRoundTrip<TFFTuse>(2, {"Use", "No"});
}

TEST(Layout, ExtensibleFormatBytes) {
  TWaveFormatExtensible f{};
  f.Format.wFormatTag = WaveFormatTagExtensible;
  f.Format.cbSize = 22;
  f.Samples.wValidBitsPerSample = 24;
  f.SubFormat = PCMSubFormatGuid;
  const auto* b = reinterpret_cast<const unsigned char*>(&f);
  EXPECT_EQ(b[0], 0xFE);
  EXPECT_EQ(b[1], 0xFF);
  EXPECT_EQ(b[16], 22);
  EXPECT_EQ(b[18], 24);
  EXPECT_EQ(f.Samples.wSamplesPerBlock, 24);  // one storage, three names
  const unsigned char guid[16] = {0x01, 0, 0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};
  for (int i = 0; i < 16; ++i) EXPECT_EQ(b[24 + i], guid[i]) << i;
}

}  // namespace
