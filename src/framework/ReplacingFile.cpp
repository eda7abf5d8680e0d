// The program's one way of writing a file: a temporary file of its own beside
// the target, put in the target's place when complete; and the steps of that
// replace as Windows takes them.
#include "framework/OsFile.h"

#include <string>
#include <system_error>

TReplacingFile::TReplacingFile(std::filesystem::path Target) : FTarget(std::move(Target)) {
  std::error_code ec;
  const auto status = std::filesystem::status(FTarget, ec);
  if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status))
    throw EOsFileError("it is not a file");
  CheckReplaceable(FTarget);
  for (int n = 0; n < kTemporaryNames; ++n) {
    std::filesystem::path name = FTarget;
    name += ".tmp" + std::to_string(n);
    if (FFile.CreateNew(name)) {
      FTemporary = std::move(name);
      return;
    }
  }
  throw EOsFileError("no free name for a temporary file");
}

template <class Replace>
void TReplacingFile::CommitWith(Replace Put) {
  if (FTemporary.empty()) throw EOsFileError("the file was already closed");
  try {
    FFile.Close();
    Put(FTemporary, FTarget);
  } catch (const EOsFileStranded&) {
    FTemporary.clear();  // the one copy of the data
    throw;
  } catch (const EOsFileError&) {
    Discard();
    throw;
  }
  FTemporary.clear();
}

void TReplacingFile::Commit() { CommitWith(ReplaceOsFile); }

void TReplacingFile::Commit(const TReplaceCalls& Calls) {
  CommitWith([&Calls](const std::filesystem::path& Source, const std::filesystem::path& Target) {
    ReplaceOsFileThrough(Calls, Source, Target);
  });
}

void TReplacingFile::Discard() noexcept {
  FFile.CloseQuietly();
  if (FTemporary.empty()) return;
  RemoveOsFile(FTemporary);
  FTemporary.clear();
}

namespace {

using TCalls = TReplaceCalls;

constexpr char kInUse[] = "it is in use by another program";

// Attributes of the target that its replacement takes over. The replace call
// carries them over itself (with the target's security, creation time and
// streams); setting them on the new file first keeps them where a system's
// replace call does not. The archive flag stays set: the content changed.
constexpr std::uint32_t kKeptAttributes = TCalls::kHidden | TCalls::kSystem | TCalls::kNotContentIndexed;

std::string Utf8Path(const std::filesystem::path& p) {
  const std::u8string s = p.u8string();
  return std::string(s.begin(), s.end());
}

bool Exists(const TCalls& Calls, const std::filesystem::path& FileName, std::uint32_t& Attributes) {
  const std::uint32_t code = Calls.Attributes(FileName, Attributes);
  if (code == 0) return true;
  if (code == TCalls::kFileNotFound) return false;
  throw EOsFileError(Calls.Message(code));
}

// What the replace refuses of an existing target with these attributes.
void RefuseUnreplaceable(const TCalls& Calls, const std::filesystem::path& Target, std::uint32_t Attributes) {
  // A read-only file is one its owner does not want changed.
  if ((Attributes & TCalls::kReadOnly) != 0) throw EOsFileError("it is read-only");
  // Asked first, as the replace call would fail anyway: Wine's leaves a file
  // of its own beside the target when it fails.
  if (Calls.InUse(Target)) throw EOsFileError(kInUse);
}

// The reason a replace of Target failed with Code, Target being as it was.
[[noreturn]] void ThrowReplaceError(const TCalls& Calls, std::uint32_t Code, const std::filesystem::path& Target) {
  if (Code == TCalls::kSharingViolation || Code == TCalls::kLockViolation || Calls.InUse(Target))
    throw EOsFileError(kInUse);
  throw EOsFileError(Calls.Message(Code));
}

}  // namespace

std::string CannotWriteFileMessage(const std::filesystem::path& FileName, std::string_view Reason) {
  return std::string(kMsgCannotWriteFile) + " \"" + Utf8Path(FileName) + "\": " + std::string(Reason) + ".";
}

std::string CannotReadFileMessage(const std::filesystem::path& FileName, std::string_view Reason) {
  return std::string(kMsgCannotReadFile) + " \"" + Utf8Path(FileName) + "\": " + std::string(Reason) + ".";
}

void CheckReplaceableThrough(const TReplaceCalls& Calls, const std::filesystem::path& Target) {
  std::uint32_t attributes = 0;
  if (Exists(Calls, Target, attributes)) RefuseUnreplaceable(Calls, Target, attributes);
}

void ReplaceOsFileThrough(const TReplaceCalls& Calls, const std::filesystem::path& Source,
                          const std::filesystem::path& Target) {
  std::uint32_t attributes = 0;
  if (!Exists(Calls, Target, attributes)) {
    // No target yet: the new file takes its name.
    const std::uint32_t code = Calls.Move(Source, Target);
    if (code == 0) return;
    // A file of that name that appeared meanwhile is replaced like any other.
    if ((code != TCalls::kAlreadyExists && code != TCalls::kFileExists) || !Exists(Calls, Target, attributes))
      throw EOsFileError(Calls.Message(code));
  }
  RefuseUnreplaceable(Calls, Target, attributes);
  if ((attributes & kKeptAttributes) != 0)
    Calls.SetAttributes(Source, (attributes & kKeptAttributes) | TCalls::kArchive);
  const std::uint32_t code = Calls.Replace(Source, Target);
  if (code == 0) return;
  // What became of the old file. Without a backup name, the replace call's
  // ERROR_UNABLE_TO_MOVE_REPLACEMENT_2 says it lost its name: a file that has
  // it now is not the old one. After any other failure, only a clean answer
  // that a file is there proves it intact; the new file then goes.
  std::uint32_t after = 0;
  const std::uint32_t looked =
      code == TCalls::kUnableToMoveReplacement2 ? TCalls::kFileNotFound : Calls.Attributes(Target, after);
  if (looked == 0 && (after & TCalls::kDirectory) == 0) ThrowReplaceError(Calls, code, Target);
  // Whether it is there cannot be told (the share went away, or it is about
  // to be deleted): the new file may be the only copy.
  if (looked != 0 && looked != TCalls::kFileNotFound)
    throw EOsFileStranded("the old file could not be replaced (" + Calls.Message(code) +
                          ") and could not be checked afterwards (" + Calls.Message(looked) +
                          "); the new one is kept as \"" + Utf8Path(Source) + "\"");
  // The old file is gone: the new one takes its name now, never over another
  // file, or stays where it is as the only copy.
  const std::uint32_t moved = Calls.Move(Source, Target);
  if (moved == 0) return;
  throw EOsFileStranded("the old file was removed but the new one could not take its name (" +
                        Calls.Message(moved) + "); it is kept as \"" + Utf8Path(Source) + "\"");
}
