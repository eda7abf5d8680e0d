// The program's engine with a count of the tone records it makes: it throws
// on the next tone while Fail is set, draws every seed from Seed when that
// is not 0, and makes a second's tone records side by side or one after the
// other.
#pragma once

#include <atomic>
#include <cstdint>
#include <new>

#include "app/OneSecond.h"

class TCountingEngine final : public TSignalEngine {
 public:
  explicit TCountingEngine(bool Concurrent = false) : FConcurrent(Concurrent) {}
  std::atomic<int> Tones{0};
  std::atomic<bool> Fail{false};
  std::uint32_t Seed = 0;

  std::uint32_t TimeSeed() override { return Seed != 0 ? Seed : FEngine.TimeSeed(); }
  TWaveBufferExtended GenerateTone(const TPCMFormat& f, const TSignalAttribute& a, const TInternalSetting& s,
                                   bool t) override {
    CountTone();
    return FEngine.GenerateTone(f, a, s, t);
  }
  TWaveBufferExtended GenerateSweep(const TPCMFormat& f, const TSignalAttribute& a, std::int32_t t) override {
    return FEngine.GenerateSweep(f, a, t);
  }
  TWaveBufferExtended GenerateNoise(const TPCMFormat& f, const TSignalAttribute& a, TPinkNoiseMethod m,
                                    std::uint32_t seed) override {
    return FEngine.GenerateNoise(f, a, m, seed);
  }
  TWaveBufferExtendedStereo SynthesizeSignals(const TPCMFormat& f, std::int32_t n, const TSignalAttributeArray& a,
                                              const TWaveBufferExtendedArray& b) override {
    return FEngine.SynthesizeSignals(f, n, a, b);
  }
  TWaveBufferIntegerStereo QuantizeSignal(const TPCMFormat& f, long double l, long double r,
                                          const TWaveBufferExtendedStereo& s, std::uint32_t seed) override {
    return FEngine.QuantizeSignal(f, l, r, s, seed);
  }
  void GenerateToneInto(const TPCMFormat& f, const TSignalAttribute& a, const TInternalSetting& s, bool t,
                        TWaveBufferExtended& b) override {
    CountTone();
    FEngine.GenerateToneInto(f, a, s, t, b);
  }
  void GenerateSweepInto(const TPCMFormat& f, const TSignalAttribute& a, std::int32_t t,
                         TWaveBufferExtended& b) override {
    FEngine.GenerateSweepInto(f, a, t, b);
  }
  void GenerateNoiseInto(const TPCMFormat& f, const TSignalAttribute& a, TPinkNoiseMethod m, std::uint32_t seed,
                         TWaveBufferExtended& b) override {
    FEngine.GenerateNoiseInto(f, a, m, seed, b);
  }
  void SynthesizeSignalsInto(const TPCMFormat& f, std::int32_t n, const TSignalAttributeArray& a,
                             const TWaveBufferExtendedArray& b, TWaveBufferExtendedStereo& m) override {
    FEngine.SynthesizeSignalsInto(f, n, a, b, m);
  }
  void QuantizeSignalInto(const TPCMFormat& f, long double l, long double r, const TWaveBufferExtendedStereo& s,
                          std::uint32_t seed, TWaveBufferIntegerStereo& q) override {
    FEngine.QuantizeSignalInto(f, l, r, s, seed, q);
  }
  bool SumLeadingSignalsInto(const TPCMFormat& f, std::int32_t n, const TSignalAttributeArray& a,
                             const TWaveBufferExtendedArray& b, const std::size_t (&k)[2],
                             TWaveBufferExtendedStereo& s) override {
    return FEngine.SumLeadingSignalsInto(f, n, a, b, k, s);
  }
  void SynthesizeSignalsFromSumsInto(const TPCMFormat& f, std::int32_t n, const TSignalAttributeArray& a,
                                     const TWaveBufferExtendedArray& b, const TExFunctionLib::TMixSums& from,
                                     TWaveBufferExtendedStereo& m) override {
    FEngine.SynthesizeSignalsFromSumsInto(f, n, a, b, from, m);
  }
  bool Concurrent() const override { return FConcurrent; }

 private:
  void CountTone() {
    if (Fail) throw std::bad_alloc();
    ++Tones;
  }

  TExFunctionEngine FEngine;
  bool FConcurrent;
};
