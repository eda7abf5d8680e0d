// The property sheet's lines in both modes and its file.
#include <gtest/gtest.h>


#include "app/OneSecond.h"
#include "app/WavFile.h"
#include "app/WavTestSupport.h"
#include "dialogs/PropertySheet.h"
#include "synthesis/UnitFunction.h"

namespace {

// The start-up signal set's display strings: signal 1 on both channels,
// record 4 the sweep, record 5 the noise, every other value the default.
TSignalAttributeStringArray StartUpStrings() {
  TSignalAttributeStringArray s;
  for (const auto& r : StartUpSignalAttributeArray()) s.push_back(TExFunctionLib::StringSignalAttribute(r));
  return s;
}

const TPCMFormatString kPcm{"48000", "16", "NEAR EVEN", "WHITE", "OFF"};
const TInternalSettingString kInternal{"WaveMapper", "250", "10", "ON", "1/3 Octave", "All", "No"};

// The sheet of the start-up set in "All" mode, line by line and byte by byte,
// is the recording end-to-end test's; here the modes differ as they should.
TEST(PropertySheet, SignalModeLeavesOutOnlyTheFormatBlockNoSheetModeEverything) {
  const auto all =
      PropertySheetLines(TPropertySheet::_PropertyAll, "20261205_190522.wav", kPcm, kInternal, StartUpStrings());
  ASSERT_EQ(all.size(), 81u);
  EXPECT_EQ(all[3], "//PCM Format");
  auto want = all;
  want.erase(want.begin() + 3, want.begin() + 11);  // "//PCM Format" .. its closing separator
  const auto lines =
      PropertySheetLines(TPropertySheet::_PropertySignal, "20261205_190522.wav", kPcm, kInternal, StartUpStrings());
  EXPECT_EQ(lines, want);
  EXPECT_EQ(lines[3], "//Signal Format");
  EXPECT_TRUE(PropertySheetLines(TPropertySheet::_PropertyNo, "a.wav", kPcm, kInternal, StartUpStrings()).empty());
}

TEST(PropertySheet, FileNameLineHasNoFolder) {
  for (const char* name : {"C:\\out\\tone.wav", "/home/u/tone.wav", "C:tone.wav", "tone.wav"}) {
    EXPECT_EQ(PropertySheetLines(TPropertySheet::_PropertySignal, name, kPcm, kInternal, StartUpStrings())[1],
              "//WavFile Name : tone.wav")
        << name;
  }
}

TEST(PropertySheet, EachBlockShowsItsOwnRecord) {
  auto s = StartUpStrings();
  s[2]._Frequency = "440";
  s[2]._Waveform = "SQUARE";
  s[4]._SweepType = "LOG";
  s[4]._SweepFrequencyStop = "15000";
  s[5]._NoiseType = "PINK";
  s[5]._Phase = "180";
  TInternalSettingString internal = kInternal;
  internal._WableDeviation = "1/1 Octave";
  const auto l = PropertySheetLines(TPropertySheet::_PropertySignal, "x.wav", kPcm, internal, s);
  EXPECT_EQ(l[5 + 13 * 2 + 2], "//Frequency : 440");
  EXPECT_EQ(l[5 + 13 * 2 + 7], "//Waveform  : SQUARE");
  EXPECT_EQ(l[5 + 13 * 1 + 2], "//Frequency : 1000");
  for (int n = 0; n < 4; ++n) EXPECT_EQ(l[5 + 13 * n + 8], "//WarbleType: 1/1 Octave");
  EXPECT_EQ(l[59], "//Sweep          : LOG");
  EXPECT_EQ(l[63], "//FrequencyStop  : 15000");
  EXPECT_EQ(l[68], "//Noise     : PINK");
  EXPECT_EQ(l[70], "//Phase     : 180");
}

TEST(PropertySheet, TooFewRecordsAreRefused) {
  TSignalAttributeStringArray five(5);
  EXPECT_THROW(PropertySheetLines(TPropertySheet::_PropertyAll, "a.wav", kPcm, kInternal, five),
               std::invalid_argument);
}

TEST(PropertySheet, UnwritableFileIsReported) {
  const wavtest::TScratchDir dir("sheetfail");
  try {
    WritePropertySheetFile(dir / "missing" / "tone.txt", "//x\r\n");
    FAIL() << "no error for a missing folder";
  } catch (const EFileError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("Error - Cannot write the file \"", 0), 0u) << e.what();
  }
}

}  // namespace
