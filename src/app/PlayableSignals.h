// The limits that the output format puts on a signal record, and the copy of
// the records that a play or a render works on.
//
// The signal editor checks each field against the format of the moment; a
// format changed afterwards can leave stored records outside its limits (a
// sweep to 20000 Hz at 32000 Hz, a 24-bit offset at 16 bits). The threads
// therefore synthesise from a copy clamped as the editor's checks would clamp
// it; the stored records, the editor and the files keep their values.
#pragma once

#include <cstdint>

#include "synthesis/UnitType.h"

struct TFormatBounds {
  std::int32_t MaxFrequency;  // Fs div 2 - 1: tones and sweep ends
  std::int32_t MaxCycles;     // Fs div 2: cycles on and off
  std::int32_t MaxSample;     // 2^(b-1) - 1: offset, both signs
  std::int32_t MinAmplitude;  // -6 b dB
};

// Computed in 64 bits (2^31 - 1 at 32 bits), clamped into 32-bit integers.
TFormatBounds FormatBounds(std::int32_t SamplingRate, std::int32_t Quantization);

// Sine, square, triangle and sawtooth.
bool IsToneWaveform(TWaveform Waveform);

// The records with every tone frequency and both sweep ends at most
// Fs div 2 - 1 and every offset within +-(2^(b-1) - 1).
TSignalAttributeArray PlayableSignalAttributeArray(TSignalAttributeArray Records, const TPCMFormat& PCMFormat);
