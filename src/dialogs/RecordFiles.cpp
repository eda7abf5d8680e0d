// File names and record time of the recording window.
#include "dialogs/RecordFiles.h"

#include <algorithm>
#include <charconv>

namespace {

using TNative = std::filesystem::path::string_type;

// How the file system compares names: ASCII letters without regard to case,
// trailing blanks and dots dropped.
TNative Comparable(const std::filesystem::path& p) {
  TNative s = p.native();
  while (!s.empty() && (s.back() == ' ' || s.back() == '.')) s.pop_back();
  for (auto& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<TNative::value_type>(c - 'A' + 'a');
  return s;
}

}  // namespace

TRecordFileNames ProposedRecordFileNames(const TLocalClock& Clock) {
  const std::string stamp = FileNameStamp(Clock());
  return {stamp + ".wav", stamp + ".txt"};
}

std::filesystem::path PropertySheetFileName(const std::filesystem::path& WavFileName) {
  std::filesystem::path sheet = WavFileName;
  sheet.replace_extension(".txt");
  if (Comparable(sheet) == Comparable(WavFileName)) {
    sheet = WavFileName;
    sheet += ".txt";
  }
  return sheet;
}

TRecordFileNames ChosenRecordFileNames(const std::filesystem::path& Chosen) {
  return {Chosen, PropertySheetFileName(Chosen)};
}

TRecordTimeCheck CheckRecordTime(std::string_view EditText) {
  std::int64_t value = 0;
  const auto* end = EditText.data() + EditText.size();
  const auto [ptr, ec] = std::from_chars(EditText.data(), end, value);
  if (ec == std::errc::result_out_of_range) value = kRecordTimeMax;
  else if (ec != std::errc() || ptr != end) value = 0;
  if (value < kRecordTimeMin) return {kRecordTimeMin, true};
  return {std::int32_t(std::min<std::int64_t>(value, kRecordTimeMax)), false};
}
