// The signal editor's model, its range checks, the signal set file and the
// clamped copy of the records that a play works on.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

#include "../app/WavTestSupport.h"
#include "app/OneSecond.h"
#include "app/PlayableSignals.h"
#include "dialogs/SignalsFile.h"
#include "dialogs/SignalsModel.h"
#include "framework/MemIniFile.h"
#include "framework/NumberSyntaxCases.h"

namespace fs = std::filesystem;

namespace {

using wavtest::ReadText;
using wavtest::WriteText;

class SignalsFileTest : public ::testing::Test {
 protected:
  wavtest::TScratchDir FDir{"signals"};
};

std::string Section(int i, const char* output, const char* waveform) {
  return "[SignalAttribute" + std::to_string(i) + "]\r\nFrequency=1000\r\nAmplitude=-6\r\nOutputChannel=" + output +
         "\r\nPhase=0\r\nOffset=0\r\nWaveform=" + waveform +
         "\r\nWarbleCycle=OFF\r\nCycleOn=1\r\nCycleOff=0\r\nSweepType=LINEAR\r\nSweepPeriod=10\r\n"
         "SweepFrequencyStart=20\r\nSweepFrequencyStop=20000\r\nNoiseType=WHITE\r\n\r\n";
}

std::string StartUpFile() {
  std::string text = "[FileAttribute]\r\nVenderString=KRV-2400\r\nVersion=1.0\r\nFileType=SignalSetting\r\n\r\n";
  text += Section(0, "L R", "SINE");
  for (int i = 1; i <= 3; ++i) text += Section(i, "MUTE", "SINE");
  return text + Section(4, "MUTE", "SWEEP") + Section(5, "MUTE", "NOISE");
}

TEST_F(SignalsFileTest, StartUpSetSavesToItsLayoutAndLoadsBackUnchanged) {
  const fs::path file = FDir / "start.sig";
  SaveSignalsFile(file, StartUpSignalAttributeArray());
  const std::string bytes = ReadText(file);
  EXPECT_EQ(bytes, StartUpFile());
  std::size_t lines = 0;
  for (char c : bytes) lines += c == '\n';
  EXPECT_EQ(lines, 101u);
  EXPECT_EQ(LoadSignalsFile(file, 48000, 16), StartUpSignalAttributeArray());
  EXPECT_EQ(ReadText(file), bytes);  // loading never writes
  // Every set the editor can save loads back, at 32000 Hz too (the hidden
  // stop frequency 20000 of the tone and noise records is not checked).
  TSignalAttributeArray at32k = StartUpSignalAttributeArray();
  at32k[4]._SweepFrequency._Stop = 15999;
  SaveSignalsFile(file, at32k);
  EXPECT_EQ(LoadSignalsFile(file, 32000, 16), at32k);
}

TEST_F(SignalsFileTest, SavingKeepsOtherSectionsAndNeverMergesAnUnreadableFile) {
  const fs::path file = FDir / "other.sig";
  WriteText(file, "[Mine]\r\nKey=1\r\n");
  SaveSignalsFile(file, StartUpSignalAttributeArray());
  EXPECT_EQ(ReadText(file), "[Mine]\r\nKey=1\r\n\r\n" + StartUpFile());

  const fs::path big = FDir / "big.sig";
  const std::string huge(TMemIniFile::MaxFileSize + 1, 'x');
  WriteText(big, huge);
  EXPECT_THROW(SaveSignalsFile(big, StartUpSignalAttributeArray()), EIniFileError);
  EXPECT_EQ(ReadText(big), huge);
  EXPECT_FALSE(LoadSignalsFile(big, 48000, 16));
  EXPECT_FALSE(LoadSignalsFile(FDir / "missing.sig", 48000, 16));
  EXPECT_FALSE(fs::exists(FDir / "missing.sig"));
}

// The start-up file with one line replaced.
std::string WithLine(int Record, const std::string& Key, const std::string& Value) {
  std::string text = StartUpFile();
  const std::string section = "[SignalAttribute" + std::to_string(Record) + "]";
  const std::size_t at = text.find(Key + "=", text.find(section));
  const std::size_t end = text.find("\r\n", at);
  return text.replace(at, end - at, Key + "=" + Value);
}

TEST(SignalsFile, LoaderBoundsAtAndBeyondTheirEdges) {
  const struct {
    int record;
    const char* key;
    const char* value;
    std::int32_t rate, bits;
    bool loads;
  } cases[] = {
      {0, "Frequency", "10", 48000, 16, true},          {0, "Frequency", "9", 48000, 16, false},
      {0, "Frequency", "23999", 48000, 16, true},       {0, "Frequency", "24000", 48000, 16, false},
      {5, "Frequency", "0", 48000, 16, false},          // checked whatever the waveform
      {4, "CycleOn", "0", 48000, 16, false},            {5, "CycleOff", "24001", 48000, 16, false},
      {1, "Amplitude", "-96", 48000, 16, true},         {1, "Amplitude", "-97", 48000, 16, false},
      {1, "Amplitude", "-140", 48000, 24, true},        {1, "Amplitude", "1", 48000, 24, false},
      {5, "Amplitude", "-192", 48000, 32, true},        {2, "Phase", "-360", 48000, 16, true},
      {2, "Phase", "361", 48000, 16, false},            {5, "Phase", "90", 48000, 16, true},
      {3, "Offset", "-32767", 48000, 16, true},         {3, "Offset", "-32768", 48000, 16, false},
      {3, "Offset", "32768", 48000, 16, false},         {3, "Offset", "2147483647", 48000, 32, true},
      {0, "CycleOn", "24000", 48000, 16, true},         {0, "CycleOn", "24001", 48000, 16, false},
      {0, "CycleOn", "0", 48000, 16, false},            {0, "CycleOff", "24000", 48000, 16, true},
      {0, "CycleOff", "-1", 48000, 16, false},          {0, "CycleOn", "2000", 48000, 16, true},
      {4, "SweepPeriod", "180", 48000, 16, true},       {4, "SweepPeriod", "181", 48000, 16, false},
      {4, "SweepPeriod", "0", 48000, 16, false},        {4, "SweepFrequencyStop", "15999", 32000, 16, true},
      {4, "SweepFrequencyStop", "16000", 32000, 16, false},
      {4, "SweepFrequencyStart", "9", 48000, 16, false},
      {1, "SweepPeriod", "0", 48000, 16, true},         // not the sweep record
      {1, "Waveform", "SWEEP", 32000, 16, false},       // a tone record made a sweep to 20000
      {1, "Frequency", "2147483648", 48000, 16, false}, {1, "Frequency", "12a", 48000, 16, false},
      {1, "Frequency", "", 48000, 16, false},           {1, "Phase", "+5", 48000, 16, true},
      {1, "Phase", "-", 48000, 16, false},              {2, "NoiseType", "NoData", 48000, 16, false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ParseSignalsText(WithLine(c.record, c.key, c.value), c.rate, c.bits).has_value(), c.loads)
        << c.record << " " << c.key << "=" << c.value << " at " << c.rate << "/" << c.bits;
}

// The signal set file reads numbers as the settings file does (the same
// table runs there): an optional sign, then digits.
TEST(SignalsFile, NumbersTakeTheSameSyntaxAsTheSettingsFile) {
  for (const TNumberSyntaxCase& c : kNumberSyntaxCases) {
    const auto records = ParseSignalsText(WithLine(2, "Phase", c.Text), 48000, 16);
    const bool loads = c.Value && *c.Value >= -360 && *c.Value <= 360;
    ASSERT_EQ(records.has_value(), loads) << "Phase=" << c.Text;
    if (loads) {
      EXPECT_EQ((*records)[2]._Phase, *c.Value) << "Phase=" << c.Text;
    }
  }
  const auto records = ParseSignalsText(WithLine(0, "Frequency", "+3000"), 48000, 16);
  ASSERT_TRUE(records);
  EXPECT_EQ((*records)[0]._Frequency, 3000);
}

// A tone record whose waveform a file made noise or sweep keeps the
// frequency and cycle counts its page shows; picking a tone waveform there
// would play and save them, so they are checked at load like any other.
TEST(SignalsFile, FrequencyAndCyclesOfARecordThatIsNoToneAreChecked) {
  const struct {
    const char* waveform;
    const char* frequency;
    const char* cycleOn;
    bool loads;
  } cases[] = {{"NOISE", "5", "0", false}, {"NOISE", "5", "1", false}, {"NOISE", "1000", "0", false},
               {"SWEEP", "5", "1", false}, {"NOISE", "1000", "1", true}, {"SWEEP", "10", "1", true}};
  for (const auto& c : cases) {
    std::string text = WithLine(1, "Waveform", c.waveform);
    text.replace(text.find("Frequency=1000", text.find("[SignalAttribute1]")), 14, std::string("Frequency=") + c.frequency);
    text.replace(text.find("CycleOn=1", text.find("[SignalAttribute1]")), 9, std::string("CycleOn=") + c.cycleOn);
    // The sweep waveform brings the sweep checks: its stop must fit 48000 Hz.
    EXPECT_EQ(ParseSignalsText(text, 48000, 16).has_value(), c.loads)
        << c.waveform << " " << c.frequency << " " << c.cycleOn;
  }
}

// Whatever the user touched, a set the program saves loads back at the
// format it was saved at: the start-up set at each of the ten rates.
TEST_F(SignalsFileTest, StartUpSetSavedAtEachRateLoadsBackThere) {
  for (std::int32_t rate : {32000, 44056, 44100, 48000, 88200, 96000, 176400, 192000, 352800, 384000})
    for (std::int32_t bits : {16, 32}) {
      const fs::path file = FDir / ("start" + std::to_string(rate) + "_" + std::to_string(bits) + ".sig");
      SaveSignalsFile(file, StartUpSignalAttributeArray(), rate, bits);
      TSignalAttributeArray expected = StartUpSignalAttributeArray();
      expected[4]._SweepFrequency._Stop = std::min(20000, rate / 2 - 1);  // the sweep record's own stop
      EXPECT_EQ(LoadSignalsFile(file, rate, bits), expected) << rate << " Hz, " << bits << " bits";
    }
}

// Every field that the loader checks, at both ends of what a record can
// hold, is saved as the nearest bound and loads back.
TEST(SignalsFile, SavableRecordsLoadBackWhateverTheyHeld) {
  for (std::int32_t extreme : {INT32_MIN, -1000000, 0, 5, 1000000, INT32_MAX})
    for (TWaveform waveform : {TWaveform::_Sine, TWaveform::_Sweep, TWaveform::_Noise})
      for (const TPCMFormat format : {TPCMFormat{32000, 16, {}, {}, {}}, TPCMFormat{384000, 32, {}, {}, {}},
                                      TPCMFormat{44056, 24, {}, {}, {}}}) {
        TSignalAttributeArray records = StartUpSignalAttributeArray();
        for (TSignalAttribute& r : records) {
          for (std::int32_t* field : {&r._Frequency, &r._Amplitude, &r._Phase, &r._Offset, &r._CycleOn,
                                      &r._CycleOff, &r._SweepPeriod, &r._SweepFrequency._Start,
                                      &r._SweepFrequency._Stop})
            *field = extreme;
          r._Waveform = waveform;
        }
        const TSignalAttributeArray saved =
            SavableSignalAttributeArray(records, format._SamplingRate, format._Quantization);
        EXPECT_EQ(ParseSignalsText(SignalsFileText(saved), format._SamplingRate, format._Quantization), saved)
            << extreme << " at " << format._SamplingRate << "/" << format._Quantization;
        // What the loader does not check stays as it was: a tone record's sweep.
        if (waveform != TWaveform::_Sweep) {
          EXPECT_EQ(saved[0]._SweepPeriod, extreme);
        }
      }
  // Values within their bounds are saved unchanged.
  TSignalAttributeArray records = StartUpSignalAttributeArray();
  records[1]._Amplitude = -140;
  records[2]._Offset = -8388607;
  EXPECT_EQ(SavableSignalAttributeArray(records, 48000, 24), records);
  EXPECT_EQ(SavableSignalAttributeArray(records, 48000, 16)[1]._Amplitude, -96);
  EXPECT_EQ(SavableSignalAttributeArray(records, 48000, 16)[2]._Offset, -32767);
}

TEST(SignalsFile, HeaderSectionsAndListTexts) {
  std::string text = StartUpFile();
  EXPECT_FALSE(ParseSignalsText(text.substr(0, text.find("[SignalAttribute5]")), 48000, 16));
  for (const char* header : {"VenderString=KRV-2400", "Version=1.0", "FileType=SignalSetting"}) {
    std::string bad = text;
    bad.replace(bad.find(header), std::string(header).size(), std::string(header) + "x");
    EXPECT_FALSE(ParseSignalsText(bad, 48000, 16)) << header;
  }
  std::string lower = text;
  for (const char* name : {"[SignalAttribute0]", "NoiseType", "FileType"})
    for (std::size_t at; (at = lower.find(name)) != std::string::npos;)
      for (std::size_t i = 0; name[i]; ++i) lower[at + i] = static_cast<char>(std::tolower(name[i]));
  EXPECT_EQ(ParseSignalsText(lower, 48000, 16), StartUpSignalAttributeArray());

  // Each list text maps to its value; a text in no table to the first value.
  const struct {
    const char* key;
    const char* value;
    const char* loaded;  // as written back
  } cases[] = {{"OutputChannel", "Lch", "Lch"},  {"OutputChannel", "mute", "L R"}, {"NoiseType", "GAUSS", "GAUSS"},
               {"NoiseType", "Gauss", "WHITE"}, {"WarbleCycle", "0 Hz", "16 Hz"},  {"Waveform", "TRIANGLE", "TRIANGLE"},
               {"SweepType", "LOG", "LOG"},     {"SweepType", "Log", "LINEAR"}};
  for (const auto& c : cases) {
    const auto records = ParseSignalsText(WithLine(2, c.key, c.value), 48000, 16);
    ASSERT_TRUE(records) << c.key;
    EXPECT_EQ(SignalsFileText(*records), WithLine(2, c.key, c.loaded)) << c.key << "=" << c.value;
  }
}

// --- The controls ------------------------------------------------------------

TEST(SignalsModel, PagesHoldTheirControlsAndListsMapBothWays) {
  EXPECT_EQ(SignalEdits().size(), 29u);
  EXPECT_EQ(SignalLists().size(), 17u);
  std::size_t rows = 0;
  for (std::int32_t r = 0; r < kSignalRecordCount; ++r) rows += SignalPageRows(r).size();
  EXPECT_EQ(rows, 46u);

  TSignalAttribute r = StartUpSignalAttributeArray()[0];
  const struct {
    TSignalField field;
    int index;
    int ordinal;
  } cases[] = {{TSignalField::_OutputChannel, 0, 3}, {TSignalField::_OutputChannel, 3, 0},
               {TSignalField::_OutputChannel, 1, 1}, {TSignalField::_WarbleCycle, 0, 4},
               {TSignalField::_WarbleCycle, 4, 0},   {TSignalField::_WarbleCycle, 1, 3},
               {TSignalField::_Waveform, 3, 3},      {TSignalField::_NoiseType, 2, 2},
               {TSignalField::_SweepType, 1, 1},     {TSignalField::_NoisePhase, 1, 180}};
  for (const auto& c : cases) {
    ApplyListIndex(c.field, c.index, r);
    EXPECT_EQ(ListIndexOf(c.field, r), c.index);
  }
  EXPECT_EQ(ListItems(TSignalField::_OutputChannel)[ListIndexOf(TSignalField::_OutputChannel, r)], "L ch");
  EXPECT_EQ(r._Phase, 180);
}

// Every phase control, the noise page's list among them, shows its unit.
TEST(SignalsModel, EveryPhaseControlShowsTheDegreeUnit) {
  int phases = 0;
  for (std::int32_t r = 0; r < kSignalRecordCount; ++r)
    for (const TSignalRow& row : SignalPageRows(r)) {
      const TSignalField field = row.Edit ? row.Edit->Field : row.List->Field;
      if (field != TSignalField::_Phase && field != TSignalField::_NoisePhase) continue;
      ++phases;
      EXPECT_EQ(row.Edit ? row.Edit->Unit : row.List->Unit, "degree") << "record " << r;
    }
  EXPECT_EQ(phases, 5);
}

TEST(SignalsModel, ValuesWithoutAnItemSurviveShowAndRead) {
  TSignalAttributeArray records = StartUpSignalAttributeArray();
  records[0]._Waveform = TWaveform::_Sweep;
  records[5]._Phase = 90;
  records[1]._Amplitude = -140;
  records[2]._Offset = -90;
  records[3]._SweepFrequency._Stop = 12345;  // not shown on a tone page
  TSignalsControls controls;
  controls.Lists["ComboBoxEx_Waveform_1"] = 2;
  SetControlsFromAttributes(records, controls);
  EXPECT_EQ(controls.Lists["ComboBoxEx_Waveform_1"], -1);
  EXPECT_EQ(controls.Lists["ComboBoxEx_Phase_Noise"], -1);
  EXPECT_EQ(controls.Lists["ComboBoxEx_Output_1"], 3);
  EXPECT_EQ(controls.Edits["EditHex_Amp_2"], "-140");
  EXPECT_EQ(controls.Edits["EditHex_Offset_3"], "-90");
  EXPECT_EQ(controls.Edits["EditHex_Stop"], "20000");

  TSignalAttributeArray read = records;
  GetAttributesFromControls(controls, read);
  EXPECT_EQ(read, records);

  controls.Edits["EditHex_Freq_2"] = "997";
  controls.Edits["EditHex_Amp_2"] = "-10";
  controls.Edits["EditHex_Phase_2"] = "junk";  // keeps its value
  controls.Lists["ComboBoxEx_Waveform_2"] = 1;
  controls.Lists["ComboBoxEx_Output_2"] = 1;
  GetAttributesFromControls(controls, read);
  EXPECT_EQ(read[1]._Frequency, 997);
  EXPECT_EQ(read[1]._Amplitude, -10);
  EXPECT_EQ(read[1]._Phase, 0);
  EXPECT_EQ(read[1]._Waveform, TWaveform::_Square);
  EXPECT_EQ(read[1]._OutputChannel, TOutputChannel::_Lch);
}

// --- Range checks --------------------------------------------------------------

TEST(SignalsModel, RangeChecksPutTheBoundAndSayWhy) {
  using F = TRangeFamily;
  const struct {
    F family;
    const char* text;
    std::int32_t rate, bits;
    const char* result;
    const char* message;
  } cases[] = {
      {F::_Frequency, "30000", 48000, 16, "23999", "Error - Cannot set more than 23999 to Frequency."},
      {F::_SweepFrequency, "30000", 48000, 16, "23999", "Error - Cannot set more than 23999 to Frequency."},
      {F::_Frequency, "23999", 48000, 16, "23999", ""},
      {F::_Frequency, "22028", 44056, 16, "22027", "Error - Cannot set more than 22027 to Frequency."},
      {F::_Frequency, "99999", 192000, 16, "95999", "Error - Cannot set more than 95999 to Frequency."},
      {F::_Frequency, "5", 48000, 16, "10", "Error - Cannot set less than 10 to Frequency."},
      {F::_Frequency, "10", 48000, 16, "10", ""},
      {F::_Frequency, "", 48000, 16, "10", "Error - Cannot set less than 10 to Frequency."},
      {F::_Frequency, "-", 48000, 16, "10", "Error - Cannot set less than 10 to Frequency."},
      {F::_Frequency, "99999999999", 48000, 16, "10", "Error - Cannot set less than 10 to Frequency."},
      {F::_CycleOff, "", 48000, 16, "0", ""},
      {F::_CycleOff, "24001", 48000, 16, "24000", "Error - Cannot set more than 24000 to CycleOff."},
      {F::_CycleOff, "-1", 48000, 16, "0", "Error - Cannot set less than 0 to CycleOff."},
      {F::_CycleOn, "0", 48000, 16, "1", "Error - Cannot set less than 1 to CycleOn."},
      {F::_CycleOn, "22029", 44056, 16, "22028", "Error - Cannot set more than 22028 to CycleOn."},
      {F::_Phase, "", 48000, 16, "0", ""},
      {F::_Phase, "a1", 48000, 16, "0", ""},
      {F::_Phase, "400", 48000, 16, "360", "Error - Cannot set more than 360 to Phase."},
      {F::_Phase, "-361", 48000, 16, "-360", "Error - Cannot set less than -360 to Phase."},
      {F::_Phase, "-360", 48000, 16, "-360", ""},
      {F::_Offset, "", 48000, 16, "0", ""},
      {F::_Offset, "99999", 48000, 16, "32767", "Error - Cannot set more than 32767 to Offset."},
      {F::_Offset, "-32768", 48000, 16, "-32767", "Error - Cannot set less than -32767 to Offset."},
      {F::_Offset, "-2147483648", 48000, 32, "-2147483647", "Error - Cannot set less than -2147483647 to Offset."},
      {F::_Offset, "99999999", 48000, 32, "99999999", ""},
      {F::_SweepPeriod, "181", 48000, 16, "180", "Error - Cannot set more than 180 to Period."},
      {F::_SweepPeriod, "0", 48000, 16, "1", "Error - Cannot set less than 1 to Period."},
      {F::_Amplitude, "-150", 48000, 16, "-96", "Error - Cannot set less than -96 to Amplitude."},
      {F::_Amplitude, "-140", 48000, 24, "-140", ""},
      {F::_Amplitude, "-150", 48000, 24, "-144", "Error - Cannot set less than -144 to Amplitude."},
      {F::_Amplitude, "-192", 48000, 32, "-192", ""},
      {F::_Amplitude, "-0", 48000, 16, "-0", ""},
      {F::_Amplitude, "6", 48000, 16, "0", "Error - Cannot set positive value to Amplitude."},
      // Empty, the fixed sign alone or pasted junk is never full scale.
      {F::_Amplitude, "", 48000, 16, "-96", "Error - Cannot set less than -96 to Amplitude."},
      {F::_Amplitude, "-", 48000, 16, "-96", "Error - Cannot set less than -96 to Amplitude."},
      {F::_Amplitude, "-6dB", 48000, 20, "-120", "Error - Cannot set less than -120 to Amplitude."},
  };
  for (const auto& c : cases) {
    const TRangeCheck check = CheckSignalEdit(c.family, c.text, c.rate, c.bits);
    EXPECT_EQ(check.Text, c.result) << c.text;
    const std::vector<std::string> expected = *c.message ? std::vector<std::string>{c.message}
                                                         : std::vector<std::string>{};
    EXPECT_EQ(check.Messages, expected) << c.text;
  }
}

// --- The copy a play works on ----------------------------------------------------

TEST(PlayableSignals, ClampedToTheFormatOfThePlay) {
  TSignalAttributeArray records = StartUpSignalAttributeArray();
  records[0]._Frequency = 23999;
  records[1]._Offset = 8388607;
  records[2]._Offset = -8388607;
  const TPCMFormat format{32000, 16, TRounding::_RNE, TDither::_White, TNoiseShaping::_Off};
  const TSignalAttributeArray playable = PlayableSignalAttributeArray(records, format);
  EXPECT_EQ(playable[0]._Frequency, 15999);
  EXPECT_EQ(playable[4]._SweepFrequency, (TSweepFrequency{20, 15999}));
  EXPECT_EQ(playable[1]._Offset, 32767);
  EXPECT_EQ(playable[2]._Offset, -32767);
  EXPECT_EQ(PlayableSignalAttributeArray(StartUpSignalAttributeArray(), {48000, 16, {}, {}, {}}),
            StartUpSignalAttributeArray());
  const TFormatBounds b32 = FormatBounds(384000, 32);
  EXPECT_EQ(b32.MaxSample, 2147483647);
  EXPECT_EQ(b32.MinAmplitude, -192);
  EXPECT_EQ(b32.MaxFrequency, 191999);
}

}  // namespace
