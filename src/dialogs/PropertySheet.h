// The property sheet: a text file beside a recorded WAV file that lists the
// PCM format and every signal record as the main window displays them.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "synthesis/UnitType.h"

// The lines of the sheet, without line ends: 73 with _PropertySignal, 81 with
// _PropertyAll (the PCM format block added), none with _PropertyNo.
// `WavFileName` is the WAV file's name in the system's 8-bit code page; its
// folder, if any, is left out. Throws std::invalid_argument when fewer than
// six signal records are given.
std::vector<std::string> PropertySheetLines(TPropertySheet Mode, std::string_view WavFileName,
                                            const TPCMFormatString& PCMFormatString,
                                            const TInternalSettingString& InternalSettingString,
                                            const TSignalAttributeStringArray& SignalAttributeStringArray);

// The file's contents: every line ended by CR LF.
std::string PropertySheetText(const std::vector<std::string>& Lines);

// Writes the sheet to `FileName`, replacing any file of that name. Throws
// EFileError (message for the user) when it cannot be written completely;
// an incomplete sheet is removed.
void WritePropertySheetFile(const std::filesystem::path& FileName, const std::string& Text);
