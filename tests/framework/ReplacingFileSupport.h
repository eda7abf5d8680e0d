// Helpers of the tests that replace files: what a folder holds, a whole save
// through the one writing mechanism, and replace steps whose system calls
// answer what a test asks.
#pragma once

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
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

#ifndef _WIN32
// The system calls of a replace as Windows answers them, over the POSIX file
// calls (the native tests' stand-in for SystemReplaceCalls).
class TPosixReplaceCalls final : public TReplaceCalls {
 public:
  std::uint32_t Attributes(const std::filesystem::path& FileName, std::uint32_t& Attributes) const override {
    std::error_code ec;
    const auto status = std::filesystem::status(FileName, ec);
    if (status.type() == std::filesystem::file_type::not_found) return kFileNotFound;
    if (ec) return kAccessDenied;
    const auto write = std::filesystem::perms::owner_write | std::filesystem::perms::group_write |
                       std::filesystem::perms::others_write;
    Attributes = std::filesystem::is_directory(status) ? kDirectory
                 : (status.permissions() & write) == std::filesystem::perms::none ? kReadOnly
                                                                                 : 0x80;  // normal
    return 0;
  }
  void SetAttributes(const std::filesystem::path&, std::uint32_t) const override {}
  std::uint32_t Move(const std::filesystem::path& Source, const std::filesystem::path& Target) const override {
    std::error_code ec;
    if (std::filesystem::exists(std::filesystem::symlink_status(Target, ec))) return kAlreadyExists;
    std::filesystem::rename(Source, Target, ec);
    return ec ? kAccessDenied : 0;
  }
  std::uint32_t Replace(const std::filesystem::path& Source, const std::filesystem::path& Target) const override {
    std::error_code ec;
    std::filesystem::rename(Source, Target, ec);
    return ec ? kAccessDenied : 0;
  }
  bool InUse(const std::filesystem::path&) const override { return false; }
  std::string Message(std::uint32_t Code) const override { return "system error " + std::to_string(Code); }
};
#endif

// The system's replace calls, except those a test scripts: the replace call
// can fail with a given code after doing something to the target, and once it
// has failed, the attribute call on the target and the move can answer given
// codes. Records the last answer of the move.
class TScriptedReplaceCalls final : public TReplaceCalls {
 public:
  // What a scripted replace call does to the target before it fails.
  enum class TEffect { None, RemoveTarget, OtherFileAtTarget, FolderAtTarget };

  std::uint32_t ReplaceAnswer = 0;  // 0: the system's replace call
  TEffect ReplaceEffect = TEffect::None;
  std::uint32_t AttributesAfter = 0;  // 0: the system's answer
  std::uint32_t MoveAfter = 0;        // 0: the system's answer
  mutable std::uint32_t LastMove = 0;

  std::uint32_t Attributes(const std::filesystem::path& FileName, std::uint32_t& Attributes) const override {
    if (FReplaced && AttributesAfter != 0) return AttributesAfter;
    return System().Attributes(FileName, Attributes);
  }
  void SetAttributes(const std::filesystem::path& FileName, std::uint32_t Attributes) const override {
    System().SetAttributes(FileName, Attributes);
  }
  std::uint32_t Move(const std::filesystem::path& Source, const std::filesystem::path& Target) const override {
    LastMove = FReplaced && MoveAfter != 0 ? MoveAfter : System().Move(Source, Target);
    return LastMove;
  }
  std::uint32_t Replace(const std::filesystem::path& Source, const std::filesystem::path& Target) const override {
    FReplaced = true;
    if (ReplaceAnswer == 0) return System().Replace(Source, Target);
    if (ReplaceEffect != TEffect::None) std::filesystem::remove(Target);
    if (ReplaceEffect == TEffect::OtherFileAtTarget) std::ofstream(Target, std::ios::binary) << "other";
    if (ReplaceEffect == TEffect::FolderAtTarget) std::filesystem::create_directory(Target);
    return ReplaceAnswer;
  }
  bool InUse(const std::filesystem::path& FileName) const override { return System().InUse(FileName); }
  std::string Message(std::uint32_t Code) const override { return System().Message(Code); }

 private:
  mutable bool FReplaced = false;

  static const TReplaceCalls& System() {
#ifdef _WIN32
    return SystemReplaceCalls();
#else
    static const TPosixReplaceCalls calls;
    return calls;
#endif
  }
};

}  // namespace krvtest
