// Text of the property sheet and its file.
#include "dialogs/PropertySheet.h"

#include <initializer_list>
#include <stdexcept>

#include "app/WavFile.h"

namespace {

constexpr const char* kSeparator = "//-------------";
constexpr std::size_t kRecords = 6;  // four tones, the sweep, the noise
constexpr std::size_t kSweep = 4;
constexpr std::size_t kNoise = 5;

struct TEntry {
  const char* Label;
  const std::string& Value;
};

std::string Heading(std::size_t Record) { return "//Channel " + std::to_string(Record); }

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
  // A heading, a separator, one line per entry, a separator.
  const auto block = [&l](const std::string& Heading, std::initializer_list<TEntry> Entries) {
    l.push_back(Heading);
    l.push_back(kSeparator);
    for (const TEntry& e : Entries) l.push_back(std::string(e.Label) + e.Value);
    l.push_back(kSeparator);
  };

  l.push_back(kSeparator);
  l.push_back("//WavFile Name : " + std::string(BaseName(WavFileName)));
  l.push_back(kSeparator);
  if (Mode == TPropertySheet::_PropertyAll)
    block("//PCM Format", {{"//Sampling Rate : ", Pcm._SamplingRate},
                           {"//Quantization  : ", Pcm._Quantization},
                           {"//Rounding      : ", Pcm._Rounding},
                           {"//Dither        : ", Pcm._Dither},
                           {"//NoiseShaping  : ", Pcm._NoiseShaping}});
  l.push_back("//Signal Format");
  l.push_back(kSeparator);
  for (std::size_t n = 0; n < kSweep; ++n) {
    const TSignalAttributeString& r = Signals[n];
    block(Heading(n), {{"//Frequency : ", r._Frequency},
                       {"//Amplitude : ", r._Amplitude},
                       {"//Output    : ", r._OutputChannel},
                       {"//Phase     : ", r._Phase},
                       {"//Offset    : ", r._Offset},
                       {"//Waveform  : ", r._Waveform},
                       {"//WarbleType: ", Internal._WableDeviation},
                       {"//Warble    : ", r._WarbleCycle},
                       {"//CycleOn   : ", r._CycleOn},
                       {"//CycleOff  : ", r._CycleOff}});
  }
  const TSignalAttributeString& sweep = Signals[kSweep];
  block(Heading(kSweep), {{"//Sweep          : ", sweep._SweepType},
                          {"//SweepPeriod    : ", sweep._SweepPeriod},
                          {"//Amplitude      : ", sweep._Amplitude},
                          {"//FrequencyStart : ", sweep._SweepFrequencyStart},
                          {"//FrequencyStop  : ", sweep._SweepFrequencyStop},
                          {"//Output         : ", sweep._OutputChannel}});
  const TSignalAttributeString& noise = Signals[kNoise];
  block(Heading(kNoise), {{"//Noise     : ", noise._NoiseType},
                          {"//Amplitude : ", noise._Amplitude},
                          {"//Phase     : ", noise._Phase},
                          {"//Output    : ", noise._OutputChannel}});
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
