// Literal waveform, mixing and quantisation formulas, written straight from
// their definitions (every sine evaluated at its full argument, every sum
// term by term), against which the engine's fast generators are tested.
// Slow on purpose.
#pragma once

#include <cstdint>
#include <vector>

#include "synthesis/UnitType.h"

namespace ref {

using Wave = std::vector<long double>;

std::int32_t RoundHalfAway(long double x);
Wave NormalizeByPeak(const Wave& x);
// Trunc((fs / F) * (phase / 360)) evaluated in extended precision.
std::int64_t Shift(std::int32_t fs, std::int32_t F, std::int32_t phase);
Wave BurstGate(const TPCMFormat& f, const TSignalAttribute& a);

Wave Sine(const TPCMFormat& f, const TSignalAttribute& a, std::int32_t milliSec, const TInternalSetting& s);

// The harmonic sum of a square, triangle or sawtooth at sample i, with its
// factor, before rotation and normalisation.
long double HarmonicSum(TWaveform w, std::int32_t fs, std::int32_t F, std::int64_t i);
// The whole block: sum, rotation, normalisation, amplitude, gate, offset.
Wave Harmonic(TWaveform w, const TPCMFormat& f, const TSignalAttribute& a, std::int32_t milliSec);

Wave Sweep(const TPCMFormat& f, const TSignalAttribute& a, std::int32_t milliSec, std::int32_t timeStart);

TWaveBufferExtendedStereo Mix(const TPCMFormat& f, std::int32_t channels, const TSignalAttributeArray& a,
                              const TWaveBufferExtendedArray& w, std::int32_t milliSec);
std::int32_t QuantizeSample(const TPCMFormat& f, long double x, long double d);
// Quantisation with a given dither block (one value per sample).
TWaveBufferIntegerStereo Quantize(const TPCMFormat& f, long double gainL, long double gainR,
                                  const TWaveBufferExtendedStereo& in, std::int32_t milliSec, const Wave& dither);

}  // namespace ref
