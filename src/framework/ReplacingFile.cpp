// The program's one way of writing a file: a temporary file of its own beside
// the target, put in the target's place when complete.
#include "framework/OsFile.h"

#include <string>
#include <system_error>

TReplacingFile::TReplacingFile(std::filesystem::path Target) : FTarget(std::move(Target)) {
  std::error_code ec;
  const auto status = std::filesystem::status(FTarget, ec);
  if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status))
    throw EOsFileError("it is not a file");
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

void TReplacingFile::Commit() {
  if (FTemporary.empty()) throw EOsFileError("the file was already closed");
  try {
    FFile.Close();
    ReplaceOsFile(FTemporary, FTarget);
  } catch (const EOsFileStranded&) {
    FTemporary.clear();  // the one copy of the data
    throw;
  } catch (const EOsFileError&) {
    Discard();
    throw;
  }
  FTemporary.clear();
}

void TReplacingFile::Discard() noexcept {
  FFile.CloseQuietly();
  if (FTemporary.empty()) return;
  RemoveOsFile(FTemporary);
  FTemporary.clear();
}
