// The local date and time as the save dialogs propose it in default file
// names ("yyyymmdd_hhnnss"), read through a clock that tests can replace.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

struct TLocalDateTime {
  std::int32_t Year = 0;    // e.g. 2026
  std::int32_t Month = 0;   // 1 .. 12
  std::int32_t Day = 0;     // 1 .. 31
  std::int32_t Hour = 0;    // 0 .. 23
  std::int32_t Minute = 0;  // 0 .. 59
  std::int32_t Second = 0;  // 0 .. 59
};

using TLocalClock = std::function<TLocalDateTime()>;

// The system's local date and time.
TLocalDateTime SystemLocalTime();

// "yyyymmdd_hhnnss", e.g. "20261205_190522".
std::string FileNameStamp(const TLocalDateTime& Time);
