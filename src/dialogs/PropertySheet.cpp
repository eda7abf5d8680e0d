// Text of the property sheet and its file.
#include "dialogs/PropertySheet.h"

#include <stdexcept>

#include "app/WavFile.h"

namespace {

constexpr const char* kSeparator = "//-------------";
constexpr std::size_t kRecords = 6;  // four tones, the sweep, the noise
constexpr std::size_t kSweep = 4;
constexpr std::size_t kNoise = 5;

std::string_view BaseName(std::string_view Name) {
  const std::size_t cut = Name.find_last_of("\\/:");
  return cut == std::string_view::npos ? Name : Name.substr(cut + 1);
}

}  // namespace

std::vector<std::string> PropertySheetLines(TPropertySheet Mode, std::string_view WavFileName,
                                            const TPCMFormatString& Pcm, const TInternalSettingString& Internal,
                                            const TSignalAttributeStringArray& Signals) {
  if (Mode == TPropertySheet::_PropertyNo) return {};
  if (Signals.size() < kRecords)
    throw std::invalid_argument("The property sheet needs " + std::to_string(kRecords) + " signal records.");

  std::vector<std::string> l;
  l.reserve(81);
  const std::string s = kSeparator;
  l.push_back(s);
  l.push_back("//WavFile Name : " + std::string(BaseName(WavFileName)));
  l.push_back(s);
  if (Mode == TPropertySheet::_PropertyAll) {
    l.push_back("//PCM Format");
    l.push_back(s);
    l.push_back("//Sampling Rate : " + Pcm._SamplingRate);
    l.push_back("//Quantization  : " + Pcm._Quantization);
    l.push_back("//Rounding      : " + Pcm._Rounding);
    l.push_back("//Dither        : " + Pcm._Dither);
    l.push_back("//NoiseShaping  : " + Pcm._NoiseShaping);
    l.push_back(s);
  }
  l.push_back("//Signal Format");
  l.push_back(s);
  for (std::size_t n = 0; n < kSweep; ++n) {
    const TSignalAttributeString& r = Signals[n];
    l.push_back("//Channel " + std::to_string(n));
    l.push_back(s);
    l.push_back("//Frequency : " + r._Frequency);
    l.push_back("//Amplitude : " + r._Amplitude);
    l.push_back("//Output    : " + r._OutputChannel);
    l.push_back("//Phase     : " + r._Phase);
    l.push_back("//Offset    : " + r._Offset);
    l.push_back("//Waveform  : " + r._Waveform);
    l.push_back("//WarbleType: " + Internal._WableDeviation);
    l.push_back("//Warble    : " + r._WarbleCycle);
    l.push_back("//CycleOn   : " + r._CycleOn);
    l.push_back("//CycleOff  : " + r._CycleOff);
    l.push_back(s);
  }
  const TSignalAttributeString& sweep = Signals[kSweep];
  l.push_back("//Channel " + std::to_string(kSweep));
  l.push_back(s);
  l.push_back("//Sweep          : " + sweep._SweepType);
  l.push_back("//SweepPeriod    : " + sweep._SweepPeriod);
  l.push_back("//Amplitude      : " + sweep._Amplitude);
  l.push_back("//FrequencyStart : " + sweep._SweepFrequencyStart);
  l.push_back("//FrequencyStop  : " + sweep._SweepFrequencyStop);
  l.push_back("//Output         : " + sweep._OutputChannel);
  l.push_back(s);
  const TSignalAttributeString& noise = Signals[kNoise];
  l.push_back("//Channel " + std::to_string(kNoise));
  l.push_back(s);
  l.push_back("//Noise     : " + noise._NoiseType);
  l.push_back("//Amplitude : " + noise._Amplitude);
  l.push_back("//Phase     : " + noise._Phase);
  l.push_back("//Output    : " + noise._OutputChannel);
  l.push_back(s);
  return l;
}

std::string PropertySheetText(const std::vector<std::string>& Lines) {
  std::string text;
  for (const std::string& line : Lines) {
    text += line;
    text += "\r\n";
  }
  return text;
}

void WritePropertySheetFile(const std::filesystem::path& FileName, const std::string& Text) {
  TFileSink sink(FileName);
  try {
    sink.Write(reinterpret_cast<const std::uint8_t*>(Text.data()), Text.size());
    sink.Close();
  } catch (...) {
    sink.Discard();
    throw;
  }
}
