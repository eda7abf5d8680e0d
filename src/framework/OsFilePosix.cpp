// TOsFile on POSIX systems (the native build).
#include "framework/OsFile.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <system_error>
#include <unistd.h>

namespace {

[[noreturn]] void ThrowErrno() { throw EOsFileError(std::generic_category().message(errno)); }

}  // namespace

bool TOsFile::CreateNew(const std::filesystem::path& FileName) {
  CloseQuietly();
  const int fd = ::open(FileName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) {
    if (errno == EEXIST) return false;
    ThrowErrno();
  }
  FHandle = fd;
  return true;
}

void TOsFile::Write(const std::uint8_t* Data, std::size_t Size) {
  if (!IsOpen()) throw EOsFileError(std::generic_category().message(EBADF));
  while (Size > 0) {
    const ssize_t n = ::write(int(FHandle), Data, Size);
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowErrno();
    }
    if (n == 0) throw EOsFileError(std::generic_category().message(ENOSPC));
    Data += n;
    Size -= std::size_t(n);
  }
}

void TOsFile::WriteAt(std::uint64_t Offset, const std::uint8_t* Data, std::size_t Size) {
  if (!IsOpen()) throw EOsFileError(std::generic_category().message(EBADF));
  while (Size > 0) {
    const ssize_t n = ::pwrite(int(FHandle), Data, Size, off_t(Offset));
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowErrno();
    }
    if (n == 0) throw EOsFileError(std::generic_category().message(ENOSPC));
    Data += n;
    Size -= std::size_t(n);
    Offset += std::uint64_t(n);
  }
}

void TOsFile::Close() {
  if (!IsOpen()) throw EOsFileError(std::generic_category().message(EBADF));
  const int fd = int(FHandle);
  FHandle = kNone;
  const bool synced = ::fsync(fd) == 0;
  const int syncError = errno;
  const bool closed = ::close(fd) == 0;
  if (!synced) throw EOsFileError(std::generic_category().message(syncError));
  if (!closed) ThrowErrno();
}

void TOsFile::CloseQuietly() noexcept {
  if (IsOpen()) ::close(int(FHandle));
  FHandle = kNone;
}

void ReplaceOsFile(const std::filesystem::path& Source, const std::filesystem::path& Target) {
  if (std::rename(Source.c_str(), Target.c_str()) != 0) ThrowErrno();
}

void RemoveOsFile(const std::filesystem::path& FileName) noexcept { ::unlink(FileName.c_str()); }
