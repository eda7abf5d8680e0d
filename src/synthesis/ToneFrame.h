// The frame every tone generator shares: the block length, amplitude and
// offset of a record, its phase as a whole number of samples, and the last
// steps from one period of a waveform to the block (peak normalisation,
// rotation by the phase, tiling, burst gate, amplitude and offset).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "synthesis/UnitType.h"

namespace krv {

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
TWaveBufferExtended FrameTone(std::vector<long double> S, std::size_t N, std::int64_t shift, long double amp,
                              long double off, const TWaveBufferExtended& gate);

}  // namespace krv
