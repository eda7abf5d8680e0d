// Local time and the file-name stamp.
#include "dialogs/FileNameStamp.h"

#include <cstdio>
#include <ctime>

TLocalDateTime SystemLocalTime() {
  const std::time_t now = std::time(nullptr);
  std::tm t{};
#ifdef _WIN32
  localtime_s(&t, &now);
#else
  localtime_r(&now, &t);
#endif
  return {t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec};
}

std::string FileNameStamp(const TLocalDateTime& t) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d%02d%02d_%02d%02d%02d", int(t.Year), int(t.Month), int(t.Day),
                int(t.Hour), int(t.Minute), int(t.Second));
  return buf;
}
