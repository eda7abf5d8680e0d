// Files written straight through the operating system, so that a failure
// carries the system's own reason (a full disk, a denied access, a missing
// folder) instead of whatever the C runtime leaves in errno.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>

// A failed file operation; what() is the system's reason as a sentence
// (UTF-8, no final full stop).
class EOsFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A file open for writing. Closes quietly when destroyed.
class TOsFile {
 public:
  TOsFile() = default;
  ~TOsFile() { CloseQuietly(); }
  TOsFile(const TOsFile&) = delete;
  TOsFile& operator=(const TOsFile&) = delete;

  // Creates a file of that name; returns false, creating nothing, when a file
  // of that name exists already. Throws EOsFileError on any other failure.
  bool CreateNew(const std::filesystem::path& FileName);
  // Writes all bytes or throws EOsFileError.
  void Write(const std::uint8_t* Data, std::size_t Size);
  // Puts the bytes on the disk and closes; throws EOsFileError on failure
  // (the file is closed either way).
  void Close();
  // Closes without reporting anything.
  void CloseQuietly() noexcept;
  bool IsOpen() const { return FHandle != kNone; }

 private:
  static constexpr std::intptr_t kNone = -1;
  std::intptr_t FHandle = kNone;
};

// Renames Source over Target, replacing a file of that name in one step.
// Throws EOsFileError.
void ReplaceOsFile(const std::filesystem::path& Source, const std::filesystem::path& Target);
// Removes a file; never throws.
void RemoveOsFile(const std::filesystem::path& FileName) noexcept;
