// signals_expect: what the wave-out road plays for a signal set file, from
// the program's own engine. Reads the set as the signal editor loads it,
// makes SECONDS seconds as the sound-out thread does (direct generators, the
// sweep from its start) at the start-up gains (-20 dB), or at unity gain as
// a recording writes them, and writes them as interleaved little-endian
// 32-bit left/right samples.
//
//   signals_expect <file.sig> <rate> <bits> <seconds> <out.raw> [unity]
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "app/OneSecond.h"
#include "app/PlayableSignals.h"
#include "app/UnitThread.h"
#include "dialogs/SignalsFile.h"
#include "synthesis/ExtendedPrecision.h"
#include "synthesis/UnitFunction.h"

int main(int argc, char** argv) {
  krv::SetExtendedPrecision();
  const bool unity = argc == 7 && std::string(argv[6]) == "unity";
  if (argc != 6 && !unity) {
    std::fprintf(stderr, "usage: signals_expect <file.sig> <rate> <bits> <seconds> <out.raw> [unity]\n");
    return 1;
  }
  TSynthesisInputs inputs;
  inputs.xChannelNumber = 6;
  inputs.PCMFormat = TExFunctionLib::InitializePCMFormat();
  inputs.PCMFormat._SamplingRate = std::atoi(argv[2]);
  inputs.PCMFormat._Quantization = std::atoi(argv[3]);
  inputs.InternalSetting = TExFunctionLib::InitializeInternalSetting();
  const auto records = LoadSignalsFile(argv[1], inputs.PCMFormat._SamplingRate, inputs.PCMFormat._Quantization);
  if (!records) {
    std::fprintf(stderr, "signals_expect: %s is no legal signal set file\n", argv[1]);
    return 1;
  }
  inputs.SignalAttributeArray = PlayableSignalAttributeArray(*records, inputs.PCMFormat);

  TExFunctionEngine engine;
  TOneSecondSynthesizer synthesizer(engine);
  TOutputGains gains;
  if (unity) gains.OutputATT = 1.0L;
  std::ofstream out(argv[5], std::ios::binary);
  for (int second = 0; second < std::atoi(argv[4]); ++second) {
    if (second == 0)
      synthesizer.Begin(inputs, TGeneratorChoice::_Direct);
    else
      synthesizer.Advance();
    const TWaveBufferIntegerStereo q =
        engine.QuantizeSignal(inputs.PCMFormat, gains.Left(), gains.Right(), synthesizer.Mix(), synthesizer.Seed());
    for (std::size_t i = 0; i < q[0].size(); ++i)
      for (const std::int32_t v : {q[0][i], q[1][i]}) {
        const unsigned char bytes[4] = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
                                        static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 24)};
        out.write(reinterpret_cast<const char*>(bytes), 4);
      }
  }
  return out ? 0 : 1;
}
