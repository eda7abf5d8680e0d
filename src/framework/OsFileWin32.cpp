// TOsFile on Windows: the file API itself, and the system's message for its
// error code.
#include "framework/OsFile.h"

#include <windows.h>

#include <algorithm>

namespace {

std::string SystemMessage(DWORD Code) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      Code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring wide(text != nullptr ? text : L"", length);
  if (text != nullptr) LocalFree(text);
  while (!wide.empty() && (wide.back() == L'\r' || wide.back() == L'\n' || wide.back() == L' ' ||
                           wide.back() == L'.'))
    wide.pop_back();
  if (wide.empty()) return "system error " + std::to_string(Code);
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string out(std::size_t(std::max(bytes, 0)), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), out.data(), bytes, nullptr, nullptr);
  return out;
}

[[noreturn]] void ThrowError(DWORD Code) { throw EOsFileError(SystemMessage(Code)); }
[[noreturn]] void ThrowLastError() { ThrowError(GetLastError()); }

HANDLE AsHandle(std::intptr_t h) { return reinterpret_cast<HANDLE>(h); }

}  // namespace

bool TOsFile::CreateNew(const std::filesystem::path& FileName) {
  CloseQuietly();
  // Others may read the file while it is written (to look at what it holds).
  HANDLE h = CreateFileW(FileName.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                         nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    if (code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS) return false;
    // A folder of that name may be reported as a denied access.
    if (code == ERROR_ACCESS_DENIED && GetFileAttributesW(FileName.c_str()) != INVALID_FILE_ATTRIBUTES) return false;
    ThrowError(code);
  }
  FHandle = reinterpret_cast<std::intptr_t>(h);
  return true;
}

void TOsFile::Write(const std::uint8_t* Data, std::size_t Size) {
  if (!IsOpen()) ThrowError(ERROR_INVALID_HANDLE);
  while (Size > 0) {
    const DWORD chunk = DWORD(std::min<std::size_t>(Size, 1u << 30));
    DWORD written = 0;
    if (!WriteFile(AsHandle(FHandle), Data, chunk, &written, nullptr)) ThrowLastError();
    if (written == 0) ThrowError(ERROR_DISK_FULL);
    Data += written;
    Size -= written;
  }
}

void TOsFile::WriteAt(std::uint64_t Offset, const std::uint8_t* Data, std::size_t Size) {
  if (!IsOpen()) ThrowError(ERROR_INVALID_HANDLE);
  LARGE_INTEGER at;
  at.QuadPart = LONGLONG(Offset);
  if (!SetFilePointerEx(AsHandle(FHandle), at, nullptr, FILE_BEGIN)) ThrowLastError();
  Write(Data, Size);
  // Later writes append again.
  LARGE_INTEGER none;
  none.QuadPart = 0;
  if (!SetFilePointerEx(AsHandle(FHandle), none, nullptr, FILE_END)) ThrowLastError();
}

void TOsFile::Close() {
  if (!IsOpen()) ThrowError(ERROR_INVALID_HANDLE);
  HANDLE h = AsHandle(FHandle);
  FHandle = kNone;
  const bool flushed = FlushFileBuffers(h) != 0;
  const DWORD flushError = GetLastError();
  const bool closed = CloseHandle(h) != 0;
  if (!flushed) ThrowError(flushError);
  if (!closed) ThrowLastError();
}

void TOsFile::CloseQuietly() noexcept {
  if (IsOpen()) CloseHandle(AsHandle(FHandle));
  FHandle = kNone;
}

namespace {

static_assert(TReplaceCalls::kFileNotFound == ERROR_FILE_NOT_FOUND && TReplaceCalls::kAccessDenied == ERROR_ACCESS_DENIED &&
              TReplaceCalls::kSharingViolation == ERROR_SHARING_VIOLATION &&
              TReplaceCalls::kLockViolation == ERROR_LOCK_VIOLATION && TReplaceCalls::kFileExists == ERROR_FILE_EXISTS &&
              TReplaceCalls::kAlreadyExists == ERROR_ALREADY_EXISTS &&
              TReplaceCalls::kUnableToRemoveReplaced == ERROR_UNABLE_TO_REMOVE_REPLACED &&
              TReplaceCalls::kUnableToMoveReplacement == ERROR_UNABLE_TO_MOVE_REPLACEMENT &&
              TReplaceCalls::kUnableToMoveReplacement2 == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2);
static_assert(TReplaceCalls::kReadOnly == FILE_ATTRIBUTE_READONLY && TReplaceCalls::kHidden == FILE_ATTRIBUTE_HIDDEN &&
              TReplaceCalls::kSystem == FILE_ATTRIBUTE_SYSTEM && TReplaceCalls::kDirectory == FILE_ATTRIBUTE_DIRECTORY &&
              TReplaceCalls::kArchive == FILE_ATTRIBUTE_ARCHIVE &&
              TReplaceCalls::kNotContentIndexed == FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);

// The error of the call that just failed; never 0, which would read as
// success.
DWORD Failure() {
  const DWORD code = GetLastError();
  return code != ERROR_SUCCESS ? code : ERROR_GEN_FAILURE;
}

class TSystemReplaceCalls final : public TReplaceCalls {
 public:
  std::uint32_t Attributes(const std::filesystem::path& FileName, std::uint32_t& Attributes) const override {
    Attributes = GetFileAttributesW(FileName.c_str());
    return Attributes != INVALID_FILE_ATTRIBUTES ? 0 : Failure();
  }
  void SetAttributes(const std::filesystem::path& FileName, std::uint32_t Attributes) const override {
    SetFileAttributesW(FileName.c_str(), Attributes);
  }
  std::uint32_t Move(const std::filesystem::path& Source, const std::filesystem::path& Target) const override {
    return MoveFileExW(Source.c_str(), Target.c_str(), MOVEFILE_WRITE_THROUGH) ? 0 : Failure();
  }
  std::uint32_t Replace(const std::filesystem::path& Source, const std::filesystem::path& Target) const override {
    return ReplaceFileW(Target.c_str(), Source.c_str(), nullptr, 0, nullptr, nullptr) ? 0 : Failure();
  }
  bool InUse(const std::filesystem::path& FileName) const override {
    HANDLE h = CreateFileW(FileName.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      CloseHandle(h);
      return false;
    }
    return GetLastError() == ERROR_SHARING_VIOLATION;
  }
  std::string Message(std::uint32_t Code) const override { return SystemMessage(Code); }
};

}  // namespace

const TReplaceCalls& SystemReplaceCalls() {
  static const TSystemReplaceCalls calls;
  return calls;
}

void ReplaceOsFile(const std::filesystem::path& Source, const std::filesystem::path& Target) {
  // Wine's replace call fails on relative names.
  std::error_code ec;
  const std::filesystem::path source = std::filesystem::absolute(Source, ec);
  const std::filesystem::path target = std::filesystem::absolute(Target, ec);
  if (ec) ThrowError(ERROR_INVALID_NAME);
  ReplaceOsFileThrough(SystemReplaceCalls(), source, target);
}

void CheckReplaceable(const std::filesystem::path& Target) {
  std::error_code ec;
  const std::filesystem::path target = std::filesystem::absolute(Target, ec);
  if (ec) ThrowError(ERROR_INVALID_NAME);
  CheckReplaceableThrough(SystemReplaceCalls(), target);
}

void RemoveOsFile(const std::filesystem::path& FileName) noexcept { DeleteFileW(FileName.c_str()); }
