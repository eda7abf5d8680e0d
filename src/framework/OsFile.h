// Files written straight through the operating system, so that a failure
// carries the system's own reason (a full disk, a denied access, a missing
// folder) instead of whatever the C runtime leaves in errno; and the one way
// the program writes a file: into a temporary file of its own beside the
// target, put in the target's place once it is complete.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

// A failed file operation; what() is the system's reason as a sentence
// (UTF-8, no final full stop).
class EOsFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A replace that failed after which the target is gone and the new file could
// not take its name, or the target cannot be told to be intact: the new file
// stays under its temporary name, perhaps the only copy of the data.
class EOsFileStranded : public EOsFileError {
 public:
  using EOsFileError::EOsFileError;
};

// The message every window shows for a file that cannot be written (made,
// written or put in its place), whatever the step and the window:
// "Error - Cannot write the file "<name>": <reason>."
inline constexpr std::string_view kMsgCannotWriteFile = "Error - Cannot write the file";
std::string CannotWriteFileMessage(const std::filesystem::path& FileName, std::string_view Reason);
// The same for a file that cannot be read (an earlier file that a save keeps
// parts of): "Error - Cannot read the file "<name>": <reason>."
inline constexpr std::string_view kMsgCannotReadFile = "Error - Cannot read the file";
std::string CannotReadFileMessage(const std::filesystem::path& FileName, std::string_view Reason);

// A file open for writing. Closes quietly when destroyed.
class TOsFile {
 public:
  TOsFile() = default;
  ~TOsFile() { CloseQuietly(); }
  TOsFile(const TOsFile&) = delete;
  TOsFile& operator=(const TOsFile&) = delete;

  // Creates a file of that name; returns false, creating nothing, when a file
  // or folder of that name exists already. Throws EOsFileError on any other
  // failure.
  bool CreateNew(const std::filesystem::path& FileName);
  // Appends all bytes or throws EOsFileError.
  void Write(const std::uint8_t* Data, std::size_t Size);
  // Writes all bytes at Offset from the start of the file (over what is
  // there); later Writes still append at the end. Throws EOsFileError.
  void WriteAt(std::uint64_t Offset, const std::uint8_t* Data, std::size_t Size);
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

// Puts Source in the place of Target in one step. An existing target keeps
// its attributes and its permissions (on Windows its security, creation time
// and streams as well); a read-only target is not replaced ("it is read-only"),
// nor, on Windows, one that another program holds open without delete sharing
// ("it is in use by another program"). Throws EOsFileError with Target as it
// was and Source left to the caller, or EOsFileStranded when Target is gone or
// cannot be told to be there, Source then being kept.
void ReplaceOsFile(const std::filesystem::path& Source, const std::filesystem::path& Target);

// What ReplaceOsFile refuses, asked before anything is written: throws
// EOsFileError when Target is a read-only file ("it is read-only") or, on
// Windows, one that another program holds open without delete sharing ("it
// is in use by another program"). Nothing when there is no such file.
void CheckReplaceable(const std::filesystem::path& Target);

// The system calls by which a file is put in another's place on Windows, each
// answering the system's error code (0 for success). The steps around them
// (ReplaceOsFileThrough) are portable, so they can be run against every answer
// the system may give.
class TReplaceCalls {
 public:
  // The system's error codes and attribute bits that the steps read (the
  // values of windows.h).
  static constexpr std::uint32_t kFileNotFound = 2;
  static constexpr std::uint32_t kAccessDenied = 5;
  static constexpr std::uint32_t kSharingViolation = 32;
  static constexpr std::uint32_t kLockViolation = 33;
  static constexpr std::uint32_t kFileExists = 80;
  static constexpr std::uint32_t kAlreadyExists = 183;
  static constexpr std::uint32_t kUnableToRemoveReplaced = 1175;
  static constexpr std::uint32_t kUnableToMoveReplacement = 1176;
  static constexpr std::uint32_t kUnableToMoveReplacement2 = 1177;
  static constexpr std::uint32_t kReadOnly = 0x1;
  static constexpr std::uint32_t kHidden = 0x2;
  static constexpr std::uint32_t kSystem = 0x4;
  static constexpr std::uint32_t kDirectory = 0x10;
  static constexpr std::uint32_t kArchive = 0x20;
  static constexpr std::uint32_t kNotContentIndexed = 0x2000;

  virtual ~TReplaceCalls() = default;
  // The file's attributes (GetFileAttributesW).
  virtual std::uint32_t Attributes(const std::filesystem::path& FileName, std::uint32_t& Attributes) const = 0;
  // Sets the file's attributes, or leaves them (SetFileAttributesW).
  virtual void SetAttributes(const std::filesystem::path& FileName, std::uint32_t Attributes) const = 0;
  // Gives Source the name Target, which no file may have (MoveFileExW,
  // written through).
  virtual std::uint32_t Move(const std::filesystem::path& Source, const std::filesystem::path& Target) const = 0;
  // Puts Source in Target's place, keeping no backup (ReplaceFileW).
  virtual std::uint32_t Replace(const std::filesystem::path& Source, const std::filesystem::path& Target) const = 0;
  // Whether another program holds the file open without delete sharing.
  virtual bool InUse(const std::filesystem::path& FileName) const = 0;
  // The system's reason for an error code, as a sentence (UTF-8, no final
  // full stop).
  virtual std::string Message(std::uint32_t Code) const = 0;
};

// ReplaceOsFile as Windows does it, through Calls (full names).
void ReplaceOsFileThrough(const TReplaceCalls& Calls, const std::filesystem::path& Source,
                          const std::filesystem::path& Target);
// CheckReplaceable as Windows does it, through Calls (a full name).
void CheckReplaceableThrough(const TReplaceCalls& Calls, const std::filesystem::path& Target);
#ifdef _WIN32
// The system's own calls.
const TReplaceCalls& SystemReplaceCalls();
#endif
// Removes a file; never throws.
void RemoveOsFile(const std::filesystem::path& FileName) noexcept;

// A file written as a whole. The bytes go into a temporary file in the
// target's folder, "<target>.tmpN" with the first N whose name is free,
// created exclusively: no file or folder that exists is ever opened, written
// or replaced but the target itself. Commit puts the bytes on the disk and
// puts the temporary file in the target's place (ReplaceOsFile), so the
// target is either left as it was or replaced by the complete new file. A
// target that the replace would refuse (CheckReplaceable) is refused before
// the temporary file is made, so that no work is spent on a file that could
// never take its place; Commit asks again, as the target may change. A
// failure, Discard, or destroying an uncommitted file removes the temporary
// file; only when the target is gone and the new file could not take its
// name, or the target cannot be told to be intact (EOsFileStranded), is it
// kept, as what may be the one copy of the data.
class TReplacingFile {
 public:
  // Temporary names tried before giving up.
  static constexpr int kTemporaryNames = 1000;

  // Throws EOsFileError when the target names a folder, would be refused by
  // the replace (CheckReplaceable) or no temporary file can be made.
  explicit TReplacingFile(std::filesystem::path Target);
  ~TReplacingFile() { Discard(); }
  TReplacingFile(const TReplacingFile&) = delete;
  TReplacingFile& operator=(const TReplacingFile&) = delete;

  // Throw EOsFileError; the temporary file stays until Commit or Discard.
  void Write(const std::uint8_t* Data, std::size_t Size) { FFile.Write(Data, Size); }
  void WriteAt(std::uint64_t Offset, const std::uint8_t* Data, std::size_t Size) {
    FFile.WriteAt(Offset, Data, Size);
  }
  // Replaces the target with the file written. Throws EOsFileError, having
  // removed the temporary file; the target is then as it was. Throws
  // EOsFileStranded, keeping the temporary file, when the target is gone or
  // may be.
  void Commit();
  // Commit through these replace steps instead of the system's (for tests).
  void Commit(const TReplaceCalls& Calls);
  // Abandons the file. Never throws.
  void Discard() noexcept;

  const std::filesystem::path& Target() const { return FTarget; }
  // Empty once the file was committed or discarded.
  const std::filesystem::path& TemporaryName() const { return FTemporary; }

 private:
  std::filesystem::path FTarget;
  std::filesystem::path FTemporary;
  TOsFile FFile;

  template <class Replace>
  void CommitWith(Replace Put);
};
