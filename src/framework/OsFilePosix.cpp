// TOsFile on POSIX systems (the native build).
#include "framework/OsFile.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
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

namespace {

// Writes every byte, through Put(data, size, offset) that writes some of them
// (at the end of the file when Offset is negative).
template <class F>
void WriteAll(int Handle, const std::uint8_t* Data, std::size_t Size, std::int64_t Offset, F Put) {
  if (Handle < 0) throw EOsFileError(std::generic_category().message(EBADF));
  while (Size > 0) {
    const ssize_t n = Put(Handle, Data, Size, Offset);
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowErrno();
    }
    if (n == 0) throw EOsFileError(std::generic_category().message(ENOSPC));
    Data += n;
    Size -= std::size_t(n);
    if (Offset >= 0) Offset += n;
  }
}

}  // namespace

void TOsFile::Write(const std::uint8_t* Data, std::size_t Size) {
  WriteAll(IsOpen() ? int(FHandle) : -1, Data, Size, -1,
           [](int h, const std::uint8_t* d, std::size_t n, std::int64_t) { return ::write(h, d, n); });
}

void TOsFile::WriteAt(std::uint64_t Offset, const std::uint8_t* Data, std::size_t Size) {
  WriteAll(IsOpen() ? int(FHandle) : -1, Data, Size, std::int64_t(Offset),
           [](int h, const std::uint8_t* d, std::size_t n, std::int64_t at) { return ::pwrite(h, d, n, off_t(at)); });
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

namespace {

// A file nobody may write is one its owner does not want changed.
bool ReadOnly(const struct stat& File) { return S_ISREG(File.st_mode) && (File.st_mode & 0222) == 0; }

}  // namespace

void CheckReplaceable(const std::filesystem::path& Target) {
  struct stat target {};
  if (::stat(Target.c_str(), &target) == 0 && ReadOnly(target)) throw EOsFileError("it is read-only");
}

void ReplaceOsFile(const std::filesystem::path& Source, const std::filesystem::path& Target) {
  struct stat target {};
  if (::stat(Target.c_str(), &target) == 0) {
    if (ReadOnly(target)) throw EOsFileError("it is read-only");
    // The new file takes the target's permissions.
    if (::chmod(Source.c_str(), target.st_mode & 0777) != 0) ThrowErrno();
  } else if (errno != ENOENT) {
    ThrowErrno();
  }
  if (std::rename(Source.c_str(), Target.c_str()) != 0) ThrowErrno();
}

void RemoveOsFile(const std::filesystem::path& FileName) noexcept { ::unlink(FileName.c_str()); }
