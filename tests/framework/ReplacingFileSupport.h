// Helpers of the tests that replace files: what a folder holds, and a whole
// save through the one writing mechanism.
#pragma once

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "framework/OsFile.h"

namespace krvtest {

// The names of a folder's entries, sorted.
inline std::vector<std::string> Names(const std::filesystem::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// Saves Text as Target's whole content.
inline void Save(const std::filesystem::path& target, const std::string& text) {
  TReplacingFile file(target);
  file.Write(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
  file.Commit();
}

}  // namespace krvtest
