// One second of the signal set, second after second: the synthesis that the
// sound-out and create-wave threads share.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "synthesis/UnitFunction.h"
#include "synthesis/UnitType.h"

// The engine operations the threads call, always for one second (1000 ms).
// TExFunctionEngine forwards to TExFunctionLib; tests plug in fakes.
// The noise and the dither of a second come from the seed the caller gives
// (a series gives every second its own, see TOneSecondSynthesizer).
class TSignalEngine {
 public:
  virtual ~TSignalEngine() = default;
  // The time seed now: the local clock as the number "ddhhnnss".
  virtual std::uint32_t TimeSeed() = 0;
  // The generator of the record's _Waveform (sine, square, triangle or
  // sawtooth); InverseTransform picks the inverse-transform variant of the
  // square, triangle and sawtooth.
  virtual TWaveBufferExtended GenerateTone(const TPCMFormat& PCMFormat,
                                           const TSignalAttribute& SignalAttribute,
                                           const TInternalSetting& InternalSetting,
                                           bool InverseTransform) = 0;
  virtual TWaveBufferExtended GenerateSweep(const TPCMFormat& PCMFormat,
                                            const TSignalAttribute& SignalAttribute,
                                            std::int32_t TimeStart) = 0;
  virtual TWaveBufferExtended GenerateNoise(const TPCMFormat& PCMFormat,
                                            const TSignalAttribute& SignalAttribute,
                                            TPinkNoiseMethod PinkNoiseMethod, std::uint32_t Seed) = 0;
  virtual TWaveBufferExtendedStereo SynthesizeSignals(const TPCMFormat& PCMFormat,
                                                      std::int32_t ChannelNumber,
                                                      const TSignalAttributeArray& SignalAttributeArray,
                                                      const TWaveBufferExtendedArray& WaveBufferArray) = 0;
  virtual TWaveBufferIntegerStereo QuantizeSignal(const TPCMFormat& PCMFormat, long double OutputGainL,
                                                  long double OutputGainR,
                                                  const TWaveBufferExtendedStereo& WaveBufferExtendedStereo,
                                                  std::uint32_t Seed) = 0;

  // The same written over caller-owned storage, which a road keeps from one
  // second to the next so that a playing second allocates nothing. These
  // forms take the results of the ones above unless an engine does better.
  virtual void GenerateToneInto(const TPCMFormat& PCMFormat, const TSignalAttribute& SignalAttribute,
                                const TInternalSetting& InternalSetting, bool InverseTransform,
                                TWaveBufferExtended& Buffer) {
    Buffer = GenerateTone(PCMFormat, SignalAttribute, InternalSetting, InverseTransform);
  }
  virtual void GenerateSweepInto(const TPCMFormat& PCMFormat, const TSignalAttribute& SignalAttribute,
                                 std::int32_t TimeStart, TWaveBufferExtended& Buffer) {
    Buffer = GenerateSweep(PCMFormat, SignalAttribute, TimeStart);
  }
  virtual void GenerateNoiseInto(const TPCMFormat& PCMFormat, const TSignalAttribute& SignalAttribute,
                                 TPinkNoiseMethod PinkNoiseMethod, std::uint32_t Seed, TWaveBufferExtended& Buffer) {
    Buffer = GenerateNoise(PCMFormat, SignalAttribute, PinkNoiseMethod, Seed);
  }
  virtual void SynthesizeSignalsInto(const TPCMFormat& PCMFormat, std::int32_t ChannelNumber,
                                     const TSignalAttributeArray& SignalAttributeArray,
                                     const TWaveBufferExtendedArray& WaveBufferArray, TWaveBufferExtendedStereo& Mix) {
    Mix = SynthesizeSignals(PCMFormat, ChannelNumber, SignalAttributeArray, WaveBufferArray);
  }
  virtual void QuantizeSignalInto(const TPCMFormat& PCMFormat, long double OutputGainL, long double OutputGainR,
                                  const TWaveBufferExtendedStereo& WaveBufferExtendedStereo, std::uint32_t Seed,
                                  TWaveBufferIntegerStereo& Quantized) {
    Quantized = QuantizeSignal(PCMFormat, OutputGainL, OutputGainR, WaveBufferExtendedStereo, Seed);
  }
  // The mix continued from running sums of the leading records that a
  // series keeps (TExFunctionLib::TMixSums), equal to the whole mix bit for
  // bit. An engine that returns false from SumLeadingSignalsInto keeps no
  // sums and mixes every record each time.
  virtual bool SumLeadingSignalsInto(const TPCMFormat& /*PCMFormat*/, std::int32_t /*ChannelNumber*/,
                                     const TSignalAttributeArray& /*SignalAttributeArray*/,
                                     const TWaveBufferExtendedArray& /*WaveBufferArray*/,
                                     const std::size_t (&/*Records*/)[2], TWaveBufferExtendedStereo& /*Sums*/) {
    return false;
  }
  virtual void SynthesizeSignalsFromSumsInto(const TPCMFormat& PCMFormat, std::int32_t ChannelNumber,
                                             const TSignalAttributeArray& SignalAttributeArray,
                                             const TWaveBufferExtendedArray& WaveBufferArray,
                                             const TExFunctionLib::TMixSums& /*From*/, TWaveBufferExtendedStereo& Mix) {
    SynthesizeSignalsInto(PCMFormat, ChannelNumber, SignalAttributeArray, WaveBufferArray, Mix);
  }
  // Whether the tone generators may run on several threads at once.
  virtual bool Concurrent() const { return false; }
};

// The signal engine of the program.
class TExFunctionEngine final : public TSignalEngine {
 public:
  std::uint32_t TimeSeed() override;
  TWaveBufferExtended GenerateTone(const TPCMFormat& PCMFormat, const TSignalAttribute& SignalAttribute,
                                   const TInternalSetting& InternalSetting, bool InverseTransform) override;
  TWaveBufferExtended GenerateSweep(const TPCMFormat& PCMFormat, const TSignalAttribute& SignalAttribute,
                                    std::int32_t TimeStart) override;
  TWaveBufferExtended GenerateNoise(const TPCMFormat& PCMFormat, const TSignalAttribute& SignalAttribute,
                                    TPinkNoiseMethod PinkNoiseMethod, std::uint32_t Seed) override;
  TWaveBufferExtendedStereo SynthesizeSignals(const TPCMFormat& PCMFormat, std::int32_t ChannelNumber,
                                              const TSignalAttributeArray& SignalAttributeArray,
                                              const TWaveBufferExtendedArray& WaveBufferArray) override;
  TWaveBufferIntegerStereo QuantizeSignal(const TPCMFormat& PCMFormat, long double OutputGainL,
                                          long double OutputGainR,
                                          const TWaveBufferExtendedStereo& WaveBufferExtendedStereo,
                                          std::uint32_t Seed) override;
  void GenerateToneInto(const TPCMFormat& PCMFormat, const TSignalAttribute& SignalAttribute,
                        const TInternalSetting& InternalSetting, bool InverseTransform,
                        TWaveBufferExtended& Buffer) override;
  void GenerateSweepInto(const TPCMFormat& PCMFormat, const TSignalAttribute& SignalAttribute, std::int32_t TimeStart,
                         TWaveBufferExtended& Buffer) override;
  void GenerateNoiseInto(const TPCMFormat& PCMFormat, const TSignalAttribute& SignalAttribute,
                         TPinkNoiseMethod PinkNoiseMethod, std::uint32_t Seed, TWaveBufferExtended& Buffer) override;
  void SynthesizeSignalsInto(const TPCMFormat& PCMFormat, std::int32_t ChannelNumber,
                             const TSignalAttributeArray& SignalAttributeArray,
                             const TWaveBufferExtendedArray& WaveBufferArray, TWaveBufferExtendedStereo& Mix) override;
  void QuantizeSignalInto(const TPCMFormat& PCMFormat, long double OutputGainL, long double OutputGainR,
                          const TWaveBufferExtendedStereo& WaveBufferExtendedStereo, std::uint32_t Seed,
                          TWaveBufferIntegerStereo& Quantized) override;
  bool SumLeadingSignalsInto(const TPCMFormat& PCMFormat, std::int32_t ChannelNumber,
                             const TSignalAttributeArray& SignalAttributeArray,
                             const TWaveBufferExtendedArray& WaveBufferArray, const std::size_t (&Records)[2],
                             TWaveBufferExtendedStereo& Sums) override;
  void SynthesizeSignalsFromSumsInto(const TPCMFormat& PCMFormat, std::int32_t ChannelNumber,
                                     const TSignalAttributeArray& SignalAttributeArray,
                                     const TWaveBufferExtendedArray& WaveBufferArray,
                                     const TExFunctionLib::TMixSums& From, TWaveBufferExtendedStereo& Mix) override;
  bool Concurrent() const override { return true; }
};

// Everything one series of seconds is made from. The threads keep their own
// copy, so later edits of the main window's records never reach a series.
struct TSynthesisInputs {
  std::int32_t xChannelNumber = 0;
  TPCMFormat PCMFormat{};
  TInternalSetting InternalSetting{};
  // Sample position within the sweep period at which the first second starts.
  std::int32_t SweepStartTime = 0;
  TSignalAttributeArray SignalAttributeArray;
  // The seed of the first second's noise and dither; none: the time seed,
  // read when the series begins. Second n of a series has this seed plus n
  // (modulo 2^32), so no two seconds of one play or file repeat each other.
  std::optional<std::uint32_t> Seed;
};

// The signal set at start-up: six default records (muted 1000 Hz sines),
// record 0 on both channels, record 4 the sweep, record 5 the noise.
TSignalAttributeArray StartUpSignalAttributeArray();
// The start-up format at SamplingRate, the default internal setting and the
// start-up signal set, the sweep from its start.
TSynthesisInputs StartUpSynthesisInputs(std::int32_t SamplingRate);

// Which generators a road uses: the wave-out road always the direct ones and
// Kellet's pink noise; the create-wave road follows _FFTuse (inverse-transform
// variants and the spectral pink noise when it is _Use).
enum class TGeneratorChoice : std::uint8_t { _Direct, _FollowFFTuse };

// Makes one second after the other. Tone records give exactly the same second
// every time (whole-hertz frequencies, time restarting at 0 each second), so
// they are generated once per series (and, where the owner asks for it,
// kept for the next series when its tone record, format, the internal
// setting's warble deviation and transform use, and generators are the
// same); each next second generates only the sweep, which continues where it
// left off and wraps after its period, and the noise. Muted records are
// never generated (the mix does not read them).
// The series reads the time seed once, at Begin (unless the inputs give the
// seed), and second n of the series has that seed plus n: its noise is drawn
// from it, and the road quantises the second with the same seed (Seed()).
// Where a channel mixes two or more tones before any sweep or noise, the
// running sum of those tones is kept too (from the second second on), and
// each second's mix continues from it.
class TOneSecondSynthesizer {
 public:
  explicit TOneSecondSynthesizer(TSignalEngine& Engine) : FEngine(Engine) {}

  // A series that begins with a tone record, the format, the internal
  // setting's warble deviation and transform use (all a tone's second
  // depends on) and the generators the same as the last series (or a
  // warm-up) keeps that tone's second instead of generating it again (false
  // by default).
  void KeepTonesAcrossSeries(bool Keep) { FKeepTones = Keep; }
  // Starts a series: generates the first second of every audible record.
  void Begin(const TSynthesisInputs& Inputs, TGeneratorChoice Choice);
  // Makes ahead the tones of a series to come, so that a Begin with the same
  // tone records, format, internal setting and generators keeps them (with
  // KeepTonesAcrossSeries): every audible tone record that its buffer does
  // not hold yet, the sweep and the noise not. Cancel is asked before each
  // tone (on the worker threads too); true stops the work there, and the
  // tones made so far stay. Ends the series (Begun() is false). True when
  // every tone is made.
  bool WarmUp(const TSynthesisInputs& Inputs, TGeneratorChoice Choice, const std::function<bool()>& Cancel);
  // The next second of the series.
  void Advance();
  // Left and right mix of the current second, written over Stereo.
  void Mix(TWaveBufferExtendedStereo& Stereo) const;
  TWaveBufferExtendedStereo Mix() const;

  // Ends the series and frees its buffers; Begun() is false until the next
  // Begin.
  void Clear();
  bool Begun() const { return FBegun; }
  const TSynthesisInputs& Inputs() const { return FInputs; }
  // Where the sweep of the next generated second starts.
  std::int32_t SweepStartTime() const { return FSweepStartTime; }
  // The seed of the current second: its noise and its dither.
  std::uint32_t Seed() const { return FSeed; }

 private:
  // Tones: the tone records too, but those marked in Kept.
  void Generate(bool Tones, const std::vector<bool>& Kept);
  void SumLeadingTones();
  std::int32_t RecordCount() const;
  // Takes the format, internal setting and generators of the tones to come;
  // the tones made with others are forgotten.
  void TakeToneSource(const TSynthesisInputs& Inputs, TGeneratorChoice Choice);
  // Whether buffer Record holds the second of tone record Record of FInputs.
  bool ToneHeld(std::size_t Record) const;
  void ForgetTones() { std::fill(FToneOf.begin(), FToneOf.end(), std::nullopt); }

  TSignalEngine& FEngine;
  TSynthesisInputs FInputs;
  TGeneratorChoice FChoice = TGeneratorChoice::_Direct;
  TWaveBufferExtendedArray FWaveBufferArray;
  // The running sums of the leading tones of each channel, when kept.
  TWaveBufferExtendedStereo FToneSums;
  std::size_t FToneRecords[2] = {0, 0};
  bool FToneSumsKept = false, FToneSumsTried = false;
  bool FKeepTones = false;
  // The tone record whose second each buffer holds (none: nothing kept),
  // made with the format, the internal setting and the generators below.
  std::vector<std::optional<TSignalAttribute>> FToneOf;
  TPCMFormat FToneFormat{};
  TInternalSetting FToneSetting{};
  TGeneratorChoice FToneChoice = TGeneratorChoice::_Direct;
  std::int32_t FSweepStartTime = 0;
  std::uint32_t FSeed = 0;
  bool FBegun = false;
};
