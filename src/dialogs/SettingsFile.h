// The settings file: the output format and the internal settings as INI
// text with the sections "FileAttribute", "PCMFormat" and "InternalSetting".
// The values are the display strings of the two records; a file is accepted
// only as a whole (header, every key present, every number in range).
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "framework/MemIniFile.h"
#include "synthesis/UnitType.h"

inline constexpr const char* kMsgIllegalSettingFile = "Error - Illegal Setting File.";
// The value of a key that is not in the file.
inline constexpr std::string_view kNoData = "NoData";
inline const TFileAttribute kSettingsFileAttribute{"KRV-2400", "1.0", "SystemSetting"};

// The strings a settings file holds.
struct TSettingsFileStrings {
  TFileAttribute FileAttribute;
  TPCMFormatString PCMFormatString;
  TInternalSettingString InternalSettingString;  // _Repeat stays empty
};

// The fourteen keys of a document, each "NoData" when it is missing.
TSettingsFileStrings ReadSettingStrings(const TMemIniFile& Document);
// Sets the fourteen keys in the document (other sections and keys stay).
void WriteSettingStrings(TMemIniFile& Document, const TPCMFormat& PCMFormat,
                         const TInternalSetting& InternalSetting);

// A number of the file: StrToInt32 (the signal set file reads the same).
std::optional<std::int32_t> ParseInteger(std::string_view Text);

// Converts and checks the strings read from a file. When they are accepted
// both records are replaced (fields of unknown enumeration texts, and the
// fields the file does not hold, keep their values) and the result is true;
// otherwise nothing changes.
bool ConvertSettingStrings(const TPCMFormatString& PCMFormatString,
                           const TInternalSettingString& InternalSettingString, TPCMFormat& PCMFormat,
                           TInternalSetting& InternalSetting);

// The whole reading of a document: header, keys, conversion; true when
// the records were replaced.
bool ReadSettingsDocument(const TMemIniFile& Document, TPCMFormat& PCMFormat, TInternalSetting& InternalSetting);
