// Names proposed and derived by the recording window, and its record-time check.
#include <gtest/gtest.h>

#include "dialogs/RecordFiles.h"

namespace {

TEST(RecordFiles, NamesFromTheClock) {
  int reads = 0;
  const TLocalClock clock = [&] {
    ++reads;
    return TLocalDateTime{2026, 12, 5, 19, 5, 22};
  };
  const TRecordFileNames n = ProposedRecordFileNames(clock);
  EXPECT_EQ(reads, 1);
  EXPECT_EQ(n.WavFileName, std::filesystem::path("20261205_190522.wav"));
  EXPECT_EQ(n.TextFileName, std::filesystem::path("20261205_190522.txt"));
  EXPECT_EQ(FileNameStamp({2027, 1, 2, 3, 4, 5}), "20270102_030405");
  EXPECT_EQ(FileNameStamp({1999, 12, 31, 23, 59, 59}), "19991231_235959");
}

TEST(RecordFiles, SheetBesideTheWavFileNeverReplacesIt) {
  const struct {
    const char* wav;
    const char* sheet;
  } cases[] = {
      {"out/tone.wav", "out/tone.txt"},
      {"tone", "tone.txt"},
      {"tone.wav.bak", "tone.wav.txt"},
      {"my.folder/tone", "my.folder/tone.txt"},
      {"out/tone.txt", "out/tone.txt.txt"},  // the sheet would have overwritten the WAV file
      {"Tone.TXT", "Tone.TXT.txt"},
      {"tone.Txt.", "tone.Txt.txt"},  // the trailing dot names "tone.Txt"
      {"tone.txt ", "tone.txt .txt"},
#ifdef _WIN32
      {"C:\\out\\tone.wav", "C:\\out\\tone.txt"},
      {"C:\\out.v2\\TONE.TXT", "C:\\out.v2\\TONE.TXT.txt"},
#endif
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PropertySheetFileName(c.wav), std::filesystem::path(c.sheet)) << c.wav;
    const TRecordFileNames n = ChosenRecordFileNames(c.wav);
    EXPECT_EQ(n.WavFileName, std::filesystem::path(c.wav));
    EXPECT_EQ(n.TextFileName, std::filesystem::path(c.sheet));
  }
}

TEST(RecordFiles, RecordTimeCheck) {
  const struct {
    const char* text;
    std::int32_t seconds;
    bool corrected;
  } cases[] = {
      {"", 1, true}, {"0", 1, true}, {"00", 1, true}, {"1", 1, false}, {"3", 3, false},
      {"99", 99, false}, {"250", 99, false}, {"99999999999999999999", 99, false},
  };
  for (const auto& c : cases) {
    const TRecordTimeCheck r = CheckRecordTime(c.text);
    EXPECT_EQ(r.Seconds, c.seconds) << '"' << c.text << '"';
    EXPECT_EQ(r.Corrected, c.corrected) << '"' << c.text << '"';
  }
  EXPECT_STREQ(kMsgCannotSetZeroRecordTime, "Error - Cannot set 0 to Default Period.");
}

}  // namespace
