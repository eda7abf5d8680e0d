// Portable rules of the recording window: the file names it proposes, the
// name of the property sheet beside a chosen WAV file, and the check of the
// record time when its edit is left.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string_view>

#include "dialogs/FileNameStamp.h"

inline constexpr const char* kMsgCannotSetZeroRecordTime = "Error - Cannot set 0 to Default Period.";
inline constexpr std::int32_t kRecordTimeMin = 1;
inline constexpr std::int32_t kRecordTimeMax = 99;

struct TRecordFileNames {
  std::filesystem::path WavFileName;   // xWavFileName
  std::filesystem::path TextFileName;  // xTextFileName
};

// The names proposed when the window is shown: the clock read once, as
// "yyyymmdd_hhnnss" with ".wav" and ".txt", without a folder.
TRecordFileNames ProposedRecordFileNames(const TLocalClock& Clock);

// The property sheet beside `WavFileName`: the same name with its extension
// replaced by ".txt". When that would be the WAV file itself (a WAV file
// named "tone.txt", in any letter case), ".txt" is appended instead
// ("tone.txt.txt"), so the sheet never overwrites its own WAV file.
std::filesystem::path PropertySheetFileName(const std::filesystem::path& WavFileName);

// The names after the save dialog has confirmed `Chosen`.
TRecordFileNames ChosenRecordFileNames(const std::filesystem::path& Chosen);

struct TRecordTimeCheck {
  std::int32_t Seconds = kRecordTimeMin;  // the value to apply and to show
  bool Corrected = false;                 // show kMsgCannotSetZeroRecordTime
};

// The record-time edit's text when the focus leaves it: empty counts as 0,
// and a value below 1 becomes 1 with the message; at most 99.
TRecordTimeCheck CheckRecordTime(std::string_view EditText);
