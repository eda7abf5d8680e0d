// The signal set file: an INI text with the header section "FileAttribute"
// and one section "SignalAttribute0" to "SignalAttribute5" per record, each
// holding the record's fourteen display strings.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "synthesis/UnitType.h"

inline constexpr std::string_view kMsgIllegalSettingFile = "Error - Illegal Setting File.";
inline constexpr std::string_view kSignalsFileFilter = "Signal Attribute File (*.sig)|*.sig|All File (*.*)|*.*";
inline constexpr std::string_view kSignalsFileType = "SignalSetting";

// Writes the records into the file; an existing file keeps its other
// sections and keys. Raises EIniFileError when the file cannot be read
// completely or written (the file is then left as it was).
void SaveSignalsFile(const std::filesystem::path& FileName, const TSignalAttributeArray& Records);

// The records as a file saved at this sampling rate and bit depth holds them:
// every number the loader checks put within its bound (the nearest one, as
// the editor's range checks put it), the rest as they are. A field the user
// never passed through, or a format changed since (the start-up sweep to
// 20000 Hz at 32000 Hz), would otherwise make the file one that the program
// refuses at the very format it was saved at. The plays clamp the same way.
TSignalAttributeArray SavableSignalAttributeArray(TSignalAttributeArray Records, std::int32_t SamplingRate,
                                                  std::int32_t Quantization);
// Saves SavableSignalAttributeArray of the records: the file loads back at
// this format.
void SaveSignalsFile(const std::filesystem::path& FileName, const TSignalAttributeArray& Records,
                     std::int32_t SamplingRate, std::int32_t Quantization);

// The text of a new file holding the records.
std::string SignalsFileText(const TSignalAttributeArray& Records);

// The records from the strings read, when every record passes the checks
// against the sampling rate and bit depth of the moment; none otherwise.
// Amplitude, phase, offset, frequency and cycle counts are checked on every
// record, whatever its waveform; sweep period and sweep frequencies on the
// sweep record (record 4) and on any record with the sweep waveform. A text in no table of its key gives the enumeration's
// first value; a number that is no 32-bit integer rejects the set.
std::optional<TSignalAttributeArray> SignalAttributesFromStrings(const TSignalAttributeStringArray& Strings,
                                                                 std::int32_t SamplingRate,
                                                                 std::int32_t Quantization);

// Reads and checks a file without writing to it: the records when the
// header matches and every record is accepted; none for a missing, unreadable
// or illegal file.
std::optional<TSignalAttributeArray> LoadSignalsFile(const std::filesystem::path& FileName,
                                                     std::int32_t SamplingRate, std::int32_t Quantization);
// The same from the file's bytes.
std::optional<TSignalAttributeArray> ParseSignalsText(std::string_view Text, std::int32_t SamplingRate,
                                                      std::int32_t Quantization);
