// The settings window's model over a fake main window and ASIO host, and the
// settings file it loads and saves.
#include <gtest/gtest.h>

#include "../app/WavTestSupport.h"
#include "dialogs/SettingsFile.h"
#include "dialogs/SettingsModel.h"
#include "framework/Messages.h"
#include "framework/NumberSyntaxCases.h"
#include "framework/Text.h"
#include "synthesis/UnitFunction.h"

namespace {

using L = TSettingsList;

class TFakeMain final : public TSettingsOwner {
 public:
  TPCMFormat Format = TExFunctionLib::InitializePCMFormat();
  TInternalSetting Setting = TExFunctionLib::InitializeInternalSetting();
  std::int32_t ChannelL = 0, ChannelR = 1;
  int Closed = 0, Cancelled = 0;

  TPCMFormat PCMFormat() const override { return Format; }
  TInternalSetting InternalSetting() const override { return Setting; }
  void SetPCMFormat(const TPCMFormat& Value) override { Format = Value; }
  void SetInternalSetting(const TInternalSetting& Value) override { Setting = Value; }
  std::int32_t ActiveAsioChannelL() const override { return ChannelL; }
  std::int32_t ActiveAsioChannelR() const override { return ChannelR; }
  void SetActiveAsioChannels(std::int32_t Left, std::int32_t Right) override {
    ChannelL = Left;
    ChannelR = Right;
  }
  void SettingsClosed() override { ++Closed; }
  void SettingsCancelled() override { ++Cancelled; }
};

// Drivers by name with their output channel counts; a count below 0 fails
// to open.
class TFakeHost final : public TSettingsAsioHost {
 public:
  std::vector<std::pair<std::string, int>> Drivers;
  std::int32_t Index = -1;
  std::vector<std::int32_t> Opened;

  std::vector<std::string> DriverList() const override {
    std::vector<std::string> names;
    for (const auto& d : Drivers) names.push_back(d.first);
    return names;
  }
  std::int32_t DriverIndex() const override { return Index; }
  void SetDriverIndex(std::int32_t Value) override {
    if (Value == Index) return;
    Index = Value;
    Opened.push_back(Value);
  }
  std::int32_t OutputChannelCount() const override {
    return Index >= 0 ? std::max(Drivers[static_cast<std::size_t>(Index)].second, 0) : 0;
  }
  void ControlPanel() override {}
};

class Settings : public ::testing::Test {
 protected:
  TFakeMain Main;
  TFakeHost Host;
  TSettingsModel Model{Main, Host};
  TMessageRecorder Messages;
  wavtest::TScratchDir Dir{"settings"};

  std::vector<std::string> Items(L Which) const { return Model.List(Which).Items; }
  std::int32_t Index(L Which) const { return Model.List(Which).ItemIndex; }
};

const std::string kDefaultFile =
    "[FileAttribute]\r\nVenderString=KRV-2400\r\nVersion=1.0\r\nFileType=SystemSetting\r\n\r\n"
    "[PCMFormat]\r\nSamplingRate=48000\r\nQuantization=16\r\nRounding=NEAR EVEN\r\nDither=WHITE\r\n"
    "NoiseShaping=OFF\r\n\r\n"
    "[InternalSetting]\r\nOutputDevice=WaveMapper\r\nWavBufferSize=250\r\nDefaultPeriod=10\r\n"
    "WableDeviation=1/3 Octave\r\nPropertySheet=No Sheet\r\nFFTuse=No\r\n\r\n";

std::string Replace(std::string Text, const std::string& From, const std::string& To) {
  return Text.replace(Text.find(From), From.size(), To);
}

TEST_F(Settings, DefaultFileByteForByteAndBack) {
  Model.FormShow();
  Model.SaveSettingsFile(Dir / "a.cfg");
  EXPECT_EQ(wavtest::ReadText(Dir / "a.cfg"), kDefaultFile);

  Main.Format = {96000, 24, TRounding::_RZ, TDither::_Gauss, TNoiseShaping::_1st};
  Main.Setting._DefaultPeriod = 7;
  Main.Setting._RecordTime = 3;
  Model.FormShow();
  Model.LoadSettingsFile(Dir / "a.cfg");
  EXPECT_EQ(Model.PCMFormat, TExFunctionLib::InitializePCMFormat());
  EXPECT_EQ(Model.InternalSetting._DefaultPeriod, 10);
  EXPECT_EQ(Model.InternalSetting._RecordTime, 3);  // not in the file
  EXPECT_EQ(Index(L::_SamplingRate), 3);
  EXPECT_EQ(Model.DefaultPeriodText, "10");
  EXPECT_TRUE(Messages.Messages().empty());
  EXPECT_EQ(wavtest::ReadText(Dir / "a.cfg"), kDefaultFile);
}

TEST_F(Settings, IllegalFilesChangeNothing) {
  const struct {
    const char* what;
    std::string text;
  } cases[] = {
      {"missing key", Replace(kDefaultFile, "FFTuse=No\r\n", "")},
      {"vendor", Replace(kDefaultFile, "KRV-2400", "KRV-2401")},
      {"file type", Replace(kDefaultFile, "SystemSetting", "SignalSetting")},
      {"version case", Replace(kDefaultFile, "Version=1.0", "Version=1.00")},
      {"rate", Replace(kDefaultFile, "48000", "44000")},
      {"bits", Replace(kDefaultFile, "Quantization=16", "Quantization=18")},
      {"period 0", Replace(kDefaultFile, "DefaultPeriod=10", "DefaultPeriod=0")},
      {"period 100", Replace(kDefaultFile, "DefaultPeriod=10", "DefaultPeriod=100")},
      {"non-number", Replace(kDefaultFile, "48000", "48k")},
      {"overflow", Replace(kDefaultFile, "DefaultPeriod=10", "DefaultPeriod=4294967306")},
      {"empty number", Replace(kDefaultFile, "Quantization=16", "Quantization=")},
      {"too large", kDefaultFile + std::string(TMemIniFile::MaxFileSize, ';')},
  };
  Main.Format._SamplingRate = 96000;
  Main.Setting._DefaultPeriod = 5;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Model.FormShow();
    Model.Pick(L::_Dither, 2);  // an unsaved edit stays too
    wavtest::WriteText(Dir / "b.cfg", c.text);
    Messages.Clear();
    Model.LoadSettingsFile(Dir / "b.cfg");
    EXPECT_EQ(Messages.Messages(), std::vector<std::wstring>{L"Error - Illegal Setting File."});
    EXPECT_EQ(Model.PCMFormat, Main.Format);
    EXPECT_EQ(Model.InternalSetting, Main.Setting);
    EXPECT_EQ(Index(L::_SamplingRate), 5);
    EXPECT_EQ(Index(L::_Dither), 2);
    EXPECT_EQ(wavtest::ReadText(Dir / "b.cfg"), c.text);
  }
  Messages.Clear();
  Model.LoadSettingsFile(Dir / "none.cfg");
  EXPECT_EQ(Messages.Messages().size(), 1u);
  EXPECT_FALSE(std::filesystem::exists(Dir / "none.cfg"));
}

TEST_F(Settings, AcceptedFilesAndTheirValues) {
  std::string text = Replace(kDefaultFile, "48000", "352800");
  text = Replace(text, "Quantization=16", "quantization = 32");
  text = Replace(text, "[PCMFormat]", "[pcmformat]");
  text = Replace(text, "NoiseShaping=OFF", "NoiseShaping=2nd");
  text = Replace(text, "Rounding=NEAR EVEN", "Rounding=near even");  // unknown text: field kept
  text = Replace(text, "Dither=WHITE", "Dither=GAUSS");
  text = Replace(text, "WaveMapper", "ASIO");
  text = Replace(text, "DefaultPeriod=10", "DefaultPeriod=+99");
  wavtest::WriteText(Dir / "c.cfg", text);
  Main.Format._Rounding = TRounding::_RZ;
  Model.FormShow();
  Model.LoadSettingsFile(Dir / "c.cfg");
  EXPECT_TRUE(Messages.Messages().empty());
  EXPECT_EQ(Model.PCMFormat, (TPCMFormat{352800, 32, TRounding::_RZ, TDither::_Gauss, TNoiseShaping::_2nd}));
  EXPECT_EQ(Model.InternalSetting._OutputDevice, TOutputDevice::_ASIO);
  EXPECT_EQ(Model.InternalSetting._DefaultPeriod, 99);
  // Values without an item show no selection and pass CLOSE unchanged.
  EXPECT_EQ(Index(L::_SamplingRate), -1);
  EXPECT_EQ(Index(L::_Quantization), -1);
  EXPECT_EQ(Index(L::_NoiseShaping), -1);
  Model.BitBtnExt_CloseClick();
  EXPECT_EQ(Main.Format._SamplingRate, 352800);
  EXPECT_EQ(Main.Format._Quantization, 32);
  EXPECT_EQ(Main.Format._NoiseShaping, TNoiseShaping::_2nd);
}

// The settings file reads numbers as the signal set file does (the same
// table runs there): an optional sign, then digits.
TEST_F(Settings, NumbersTakeTheSameSyntaxAsTheSignalSetFile) {
  for (const TNumberSyntaxCase& c : kNumberSyntaxCases) {
    SCOPED_TRACE(std::string("DefaultPeriod=") + c.Text);
    Main.Setting._DefaultPeriod = 50;
    Model.FormShow();
    wavtest::WriteText(Dir / "n.cfg", Replace(kDefaultFile, "DefaultPeriod=10", std::string("DefaultPeriod=") + c.Text));
    Messages.Clear();
    Model.LoadSettingsFile(Dir / "n.cfg");
    const bool loads = c.Value && *c.Value >= 1 && *c.Value <= 99;
    EXPECT_EQ(Messages.Messages().empty(), loads);
    EXPECT_EQ(Model.InternalSetting._DefaultPeriod, loads ? *c.Value : 50);
  }
  Model.FormShow();
  wavtest::WriteText(Dir / "n.cfg", Replace(kDefaultFile, "48000", "+44100"));
  Model.LoadSettingsFile(Dir / "n.cfg");
  EXPECT_EQ(Model.PCMFormat._SamplingRate, 44100);
}

TEST_F(Settings, SavingKeepsForeignSectionsAndUnreadableFiles) {
  wavtest::WriteText(Dir / "d.cfg", "[Mine]\r\nKey=1\r\n\r\n[PCMFormat]\r\nOther=x\r\nSamplingRate=1\r\n\r\n");
  Model.FormShow();
  Model.SaveSettingsFile(Dir / "d.cfg");
  const std::string saved = wavtest::ReadText(Dir / "d.cfg");
  EXPECT_EQ(saved.rfind("[Mine]\r\nKey=1\r\n\r\n[PCMFormat]\r\nOther=x\r\nSamplingRate=48000\r\n", 0), 0u);
  EXPECT_NE(saved.find("[FileAttribute]\r\nVenderString=KRV-2400"), std::string::npos);

  const std::string big(TMemIniFile::MaxFileSize + 1, ';');
  wavtest::WriteText(Dir / "e.cfg", big);
  Model.SaveSettingsFile(Dir / "e.cfg");
  EXPECT_EQ(Messages.Messages(), std::vector<std::wstring>{Utf8ToWide(
                                     "Error - Cannot read the file \"" + (Dir / "e.cfg").string() +
                                     "\": it is larger than 1 MiB.")});
  EXPECT_EQ(wavtest::ReadText(Dir / "e.cfg"), big);
}

// A file that cannot be written shows the message every window shows for it,
// and stays as it was.
TEST_F(Settings, AReadOnlyFileIsRefusedWithTheMessageOfEveryWindow) {
  namespace fs = std::filesystem;
  const fs::path p = Dir / "ro.cfg";
  wavtest::WriteText(p, kDefaultFile);
  constexpr auto kWrite = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
  fs::permissions(p, kWrite, fs::perm_options::remove);
  Model.FormShow();
  Model.Pick(L::_SamplingRate, 0);
  Model.SaveSettingsFile(p);
  EXPECT_EQ(Messages.Messages(),
            std::vector<std::wstring>{Utf8ToWide("Error - Cannot write the file \"" + p.string() + "\": it is read-only.")});
  fs::permissions(p, fs::perms::owner_write, fs::perm_options::add);
  EXPECT_EQ(wavtest::ReadText(p), kDefaultFile);
}

TEST_F(Settings, Rule44056BothWaysAndAfterALoad) {
  Main.Format._SamplingRate = 44056;
  Model.FormShow();                                  // 250 ms
  Model.Pick(L::_Buffer, 0);                         // 50 ms is forbidden
  EXPECT_EQ(Index(L::_Buffer), 4);
  Model.Pick(L::_Buffer, 2);                         // 125 ms is allowed
  EXPECT_EQ(Index(L::_Buffer), 2);
  Model.Pick(L::_Buffer, 3);
  EXPECT_EQ(Index(L::_Buffer), 2);

  Main.Format._SamplingRate = 48000;
  Main.Setting._WavBufferSize = TWavBufferSize::_50ms;
  Model.FormShow();
  Model.Pick(L::_SamplingRate, 1);
  EXPECT_EQ(Index(L::_SamplingRate), 3);

  // A load moves the remembered positions to the loaded values.
  wavtest::WriteText(Dir / "f.cfg", Replace(Replace(kDefaultFile, "48000", "96000"), "WavBufferSize=250", "WavBufferSize=200"));
  Model.LoadSettingsFile(Dir / "f.cfg");
  Model.Pick(L::_SamplingRate, 1);
  EXPECT_EQ(Index(L::_SamplingRate), 5);
}

TEST_F(Settings, CloseCopiesBackAndCancelDrops) {
  Main.Format._SamplingRate = 384000;
  Model.FormShow();
  EXPECT_EQ(Index(L::_SamplingRate), -1);
  Model.Pick(L::_Quantization, 2);
  Model.Pick(L::_Rounding, 1);
  Model.Pick(L::_PropertySheet, 2);
  Model.Pick(L::_FFT, 1);
  Model.EditHex_DefaultPeriodExit("5");
  Model.BitBtnExt_CancelClick();
  EXPECT_EQ(Main.Closed, 0);
  EXPECT_EQ(Main.Cancelled, 1);
  EXPECT_EQ(Main.Format._Quantization, 16);
  EXPECT_EQ(Main.Setting, TExFunctionLib::InitializeInternalSetting());

  Model.FormShow();
  EXPECT_EQ(Index(L::_Quantization), 0);
  Model.Pick(L::_Quantization, 2);
  Model.Pick(L::_PropertySheet, 2);
  Model.Pick(L::_FFT, 1);
  Model.Pick(L::_NoiseShaping, 1);
  Model.EditHex_DefaultPeriodExit("5");
  EXPECT_TRUE(Messages.Messages().empty());
  Model.BitBtnExt_CloseClick();
  EXPECT_EQ(Main.Closed, 1);
  EXPECT_EQ(Main.Format, (TPCMFormat{384000, 24, TRounding::_RNE, TDither::_White, TNoiseShaping::_1st}));
  EXPECT_EQ(Main.Setting._PropertySheet, TPropertySheet::_PropertyAll);
  EXPECT_EQ(Main.Setting._FFTuse, TFFTuse::_Use);
  EXPECT_EQ(Main.Setting._DefaultPeriod, 5);
  EXPECT_EQ(Main.Setting._RecordTime, 5);
  EXPECT_EQ(Main.Setting._PlayTime, 5);
}

TEST_F(Settings, DefaultPeriodBelowOneBecomesOne) {
  for (const char* text : {"", "0", "00"}) {
    Messages.Clear();
    Model.EditHex_DefaultPeriodExit(text);
    EXPECT_EQ(Model.DefaultPeriodText, "1");
    EXPECT_EQ(Messages.Messages(), std::vector<std::wstring>{L"Error - Cannot set 0 to Default Period."});
  }
}

TEST_F(Settings, AsioDriversAndChannelPairs) {
  Host.Drivers = {{"Five", 5}, {"Eight", 8}, {"Mono", 1}, {"Broken", -1}};
  Model.FormShow();
  EXPECT_FALSE(Model.AsioVisible);
  Model.Pick(L::_Device, 1);
  Model.Pick(L::_Device, 1);  // twice: the items are not repeated
  EXPECT_TRUE(Model.AsioVisible);
  EXPECT_EQ(Items(L::_AsioDevice), (std::vector<std::string>{"Five", "Eight", "Mono", "Broken"}));
  EXPECT_EQ(Host.Index, 0);
  EXPECT_EQ(Items(L::_AsioChannel), (std::vector<std::string>{"0 / 1", "2 / 3"}));

  // A pick of a driver opens it and takes its own pairs.
  Model.Pick(L::_AsioDevice, 1);
  EXPECT_EQ(Host.Index, 1);
  EXPECT_EQ(Items(L::_AsioChannel).size(), 4u);
  Model.Pick(L::_AsioChannel, 3);
  EXPECT_EQ(Main.ChannelL, 6);  // at once
  EXPECT_EQ(Main.ChannelR, 7);

  // Too few outputs (or a failed open): no pair, and CLOSE keeps the pair.
  for (std::int32_t driver : {2, 3}) {
    Model.Pick(L::_AsioDevice, driver);
    EXPECT_TRUE(Items(L::_AsioChannel).empty());
  }
  Model.BitBtnExt_CloseClick();
  EXPECT_EQ(Host.Index, 3);
  EXPECT_EQ(Main.ChannelL, 6);
  EXPECT_EQ(Main.Setting._OutputDevice, TOutputDevice::_ASIO);
}

TEST_F(Settings, AsioControlsFollowTheLiveStateAndCancel) {
  Host.Drivers = {{"Five", 5}, {"Eight", 8}};
  Host.Index = 1;
  Main.Setting._OutputDevice = TOutputDevice::_ASIO;
  Main.ChannelL = 4;
  Main.ChannelR = 5;
  Model.FormShow();
  EXPECT_TRUE(Model.AsioVisible);
  EXPECT_EQ(Index(L::_AsioDevice), 1);
  EXPECT_EQ(Index(L::_AsioChannel), 2);

  // CANCEL gives back the driver (and pair) that was open at the show.
  Model.Pick(L::_AsioDevice, 0);
  Model.Pick(L::_AsioChannel, 1);
  Model.BitBtnExt_CancelClick();
  EXPECT_EQ(Host.Index, 1);
  EXPECT_EQ(Main.ChannelL, 4);

  // A pair the driver does not have is not kept.
  Main.ChannelL = 8;
  Main.ChannelR = 9;
  Model.FormShow();
  Model.BitBtnExt_CloseClick();
  EXPECT_EQ(Main.ChannelL, 0);
  EXPECT_EQ(Host.Index, 1);

  // A loaded WaveMapper hides the ASIO controls; CLOSE then closes the driver.
  Model.FormShow();
  wavtest::WriteText(Dir / "g.cfg", kDefaultFile);
  Model.LoadSettingsFile(Dir / "g.cfg");
  EXPECT_FALSE(Model.AsioVisible);
  Model.BitBtnExt_CloseClick();
  EXPECT_EQ(Host.Index, -1);
  // ... and a loaded ASIO opens the first driver as a pick of ASIO does.
  Model.FormShow();
  Model.LoadSettingsFile(Dir / "g.cfg");
  wavtest::WriteText(Dir / "h.cfg", Replace(kDefaultFile, "WaveMapper", "ASIO"));
  Model.LoadSettingsFile(Dir / "h.cfg");
  EXPECT_TRUE(Model.AsioVisible);
  EXPECT_EQ(Host.Index, 0);
  EXPECT_EQ(Items(L::_AsioChannel).size(), 2u);
}

TEST_F(Settings, NoWaveOutDevice) {
  Main.Setting._OutputDevice = TOutputDevice::_NoDevice;
  Model.FormShow();
  EXPECT_FALSE(Model.DeviceEnabled);
  Model.BitBtnExt_CloseClick();
  EXPECT_EQ(Main.Setting._OutputDevice, TOutputDevice::_WaveMapper);

  TSettingsModel withDrivers(Main, Host);
  Host.Drivers = {{"Five", 5}};
  Main.Setting._OutputDevice = TOutputDevice::_NoDevice;
  withDrivers.FormShow();
  EXPECT_TRUE(withDrivers.DeviceEnabled);
}

}  // namespace
