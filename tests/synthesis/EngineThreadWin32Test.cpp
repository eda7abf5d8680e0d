// A second computed on a freshly created Windows thread (started through the
// extended-precision helper) equals the main thread's, bit for bit.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "synthesis/ExtendedPrecision.h"
#include "synthesis/UnitFunction.h"

namespace {

struct Job {
  TPCMFormat format{};
  TSignalAttributeArray signals;
  TInternalSetting setting{};
  TWaveBufferExtendedArray records;
  TWaveBufferIntegerStereo quantised;
};

// The tone generators, the sweep, the mix and the quantiser (with shaping,
// so every sample depends on the arithmetic of all the earlier ones).
void ComputeSecond(Job& job) {
  const auto& f = job.format;
  job.records.clear();
  for (const auto& s : job.signals) {
    switch (s._Waveform) {
      case TWaveform::_Sine: job.records.push_back(TExFunctionLib::GenerateWaveDataSine(f, s, 1000, job.setting)); break;
      case TWaveform::_Square: job.records.push_back(TExFunctionLib::GenerateWaveDataSquare(f, s, 1000, job.setting)); break;
      case TWaveform::_Triangle: job.records.push_back(TExFunctionLib::GenerateWaveDataTriangle(f, s, 1000, job.setting)); break;
      case TWaveform::_Sawtooth: job.records.push_back(TExFunctionLib::GenerateWaveDataSawtoothIFFT(f, s, 1000, job.setting)); break;
      case TWaveform::_Sweep: job.records.push_back(TExFunctionLib::GenerateWaveDataSweep(f, s, 1000, 0)); break;
      case TWaveform::_Noise: job.records.push_back(TWaveBufferExtended(f._SamplingRate, 0.0L)); break;
    }
  }
  const auto mix = TExFunctionLib::SynthesizeSignals(f, static_cast<int>(job.signals.size()), job.signals,
                                                     job.records, 1000);
  job.quantised = TExFunctionLib::QuantizeSignal(f, 0.5L, 0.25L, mix, 1000);
}

DWORD WINAPI Worker(LPVOID argument) {
  ComputeSecond(*static_cast<Job*>(argument));
  return 0;
}

Job MakeJob() {
  Job job;
  job.format = TExFunctionLib::InitializePCMFormat();
  job.format._SamplingRate = 44056;
  job.format._Quantization = 24;
  job.format._NoiseShaping = TNoiseShaping::_2nd;
  job.setting = TExFunctionLib::InitializeInternalSetting();
  const TWaveform shapes[] = {TWaveform::_Sine, TWaveform::_Square, TWaveform::_Triangle,
                              TWaveform::_Sawtooth, TWaveform::_Sweep, TWaveform::_Noise};
  int freq = 997;
  for (auto w : shapes) {
    auto s = TExFunctionLib::InitializeSignalAttribute();
    s._Waveform = w;
    s._Frequency = freq;
    s._Phase = 33;
    s._OutputChannel = w == TWaveform::_Noise ? TOutputChannel::_Mute : TOutputChannel::_Both;
    s._SweepType = TSweepType::_Log;
    freq += 1234;
    job.signals.push_back(s);
  }
  job.signals[0]._WarbleCycle = TWarbleCycle::_12Hz;
  return job;
}

bool SameBits(const TWaveBufferExtended& a, const TWaveBufferExtended& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::memcmp(&a[i], &b[i], 10) != 0) return false;  // the 80 significant bits
  return true;
}

TEST(EngineOnWorkerThread, SecondIsBitIdenticalToMainThread) {
  ASSERT_TRUE(krv::HasExtendedPrecision());
  Job onMain = MakeJob();
  ComputeSecond(onMain);

  Job onWorker = MakeJob();
  HANDLE thread = CreateThread(nullptr, 0, &krv::ExtendedThreadProc<Worker>, &onWorker, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  ASSERT_EQ(WaitForSingleObject(thread, 60000), WAIT_OBJECT_0);
  CloseHandle(thread);

  ASSERT_EQ(onMain.records.size(), onWorker.records.size());
  for (std::size_t r = 0; r < onMain.records.size(); ++r)
    EXPECT_TRUE(SameBits(onMain.records[r], onWorker.records[r])) << "record " << r;
  EXPECT_EQ(onMain.quantised[0], onWorker.quantised[0]);
  EXPECT_EQ(onMain.quantised[1], onWorker.quantised[1]);
}

}  // namespace
