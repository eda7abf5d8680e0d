// The frame every tone generator shares: the block length, amplitude and
// offset of a record, its phase as a whole number of samples, and the last
// steps from one period of a waveform to the block (peak normalisation,
// rotation by the phase, tiling, burst gate, amplitude and offset).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "synthesis/ToneSeries.h"
#include "synthesis/UnitType.h"

namespace krv {

// The returning form of an in-place operation: fill(result) on a new result.
template <class Result, class Fill>
Result Returned(Fill fill) {
  Result result;
  fill(result);
  return result;
}

// N = Ceil(fs * milliSec / 1000); 0 for a rate or length that is not positive.
std::size_t BlockLength(std::int32_t fs, std::int32_t milliSec);

// 10^(_Amplitude / 20).
long double Amplitude(const TSignalAttribute& a);

// _Offset / 2^_Quantization of full scale.
long double Offset(const TPCMFormat& f, const TSignalAttribute& a);

// a mod n in 0 .. n-1 (n > 0).
std::int64_t Mod(std::int64_t a, std::int64_t n);

// The phase as a whole number of samples, Trunc((fs / F) * (phase / 360)),
// computed exactly in integers (F > 0).
std::int64_t PhaseShift(std::int64_t fs, std::int64_t F, std::int64_t phase);

// Divides every value by the largest one when that exceeds 1.0.
void NormalizeInPlace(long double* x, std::size_t n);

// The block of N samples made from the waveform S, which repeats every
// S.size() samples: only its first min(N, S.size()) values are part of the
// block; they are divided by their peak where it exceeds 1.0, then
//   y[i] = amp * S[((shift + i) mod N) mod S.size()] + off,
// times gate[i mod gate.size()] before the offset when a gate is given.
void FrameTone(std::vector<long double> S, std::size_t N, std::int64_t shift, long double amp, long double off,
               const TWaveBufferExtended& gate, TWaveBufferExtended& out);

// One period of a band-limited waveform of F Hz at fs samples per second
// for a block of N samples, times the waveform's factor; empty for silence.
using TonePeriod = std::vector<long double> (*)(SeriesKind Kind, std::int64_t fs, std::int64_t F, std::size_t N);
using BurstGateMaker = TWaveBufferExtended (*)(const TPCMFormat&, const TSignalAttribute&);

// Square, triangle and sawtooth records: the waveform's period from
// `period`, framed as FrameTone says with the record's phase, amplitude,
// offset and burst gate. No tone (F <= 0 or an empty period) leaves only
// the offset. Computes at extended precision whatever the caller's control
// words.
void HarmonicTone(const TPCMFormat& PCMFormat, const TSignalAttribute& SignalAttribute, std::int32_t milliSec,
                  SeriesKind Kind, TonePeriod period, BurstGateMaker burstGate, TWaveBufferExtended& out);

}  // namespace krv
