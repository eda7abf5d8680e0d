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

std::string Utf8Path(const std::filesystem::path& p) {
  const std::u8string s = p.u8string();
  return std::string(s.begin(), s.end());
}

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

// Attributes of the target that its replacement takes over. The replace call
// carries them over itself (with the target's security, creation time and
// streams); setting them on the new file first keeps them where a system's
// replace call does not. The archive flag stays set: the content changed.
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

constexpr char kInUse[] = "it is in use by another program";

// Whether another program holds the file open without letting it be deleted,
// which keeps anyone from replacing it.
bool IsInUse(const std::filesystem::path& FileName) {
  HANDLE h = CreateFileW(FileName.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  if (h != INVALID_HANDLE_VALUE) {
    CloseHandle(h);
    return false;
  }
  return GetLastError() == ERROR_SHARING_VIOLATION;
}

// The reason a replace of Target failed with Code, Target being as it was.
[[noreturn]] void ThrowReplaceError(DWORD Code, const std::filesystem::path& Target) {
  if (Code == ERROR_SHARING_VIOLATION || Code == ERROR_LOCK_VIOLATION || IsInUse(Target))
    throw EOsFileError(kInUse);
  ThrowError(Code);
}

bool Exists(const std::filesystem::path& FileName, DWORD& Attributes) {
  Attributes = GetFileAttributesW(FileName.c_str());
  if (Attributes != INVALID_FILE_ATTRIBUTES) return true;
  const DWORD code = GetLastError();
  if (code == ERROR_FILE_NOT_FOUND) return false;
  ThrowError(code);
}

}  // namespace

void ReplaceOsFile(const std::filesystem::path& Source, const std::filesystem::path& Target) {
  // Wine's replace call fails on relative names.
  std::error_code ec;
  const std::filesystem::path source = std::filesystem::absolute(Source, ec);
  const std::filesystem::path target = std::filesystem::absolute(Target, ec);
  if (ec) ThrowError(ERROR_INVALID_NAME);
  DWORD attributes = 0;
  if (!Exists(target, attributes)) {
    // No target yet: the new file takes its name.
    if (MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH)) return;
    const DWORD code = GetLastError();
    // A file of that name that appeared meanwhile is replaced like any other.
    if ((code != ERROR_ALREADY_EXISTS && code != ERROR_FILE_EXISTS) || !Exists(target, attributes))
      ThrowError(code);
  }
  // A read-only file is one its owner does not want changed.
  if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) throw EOsFileError("it is read-only");
  // Asked first, as the replace call would fail anyway: Wine's leaves a file
  // of its own beside the target when it fails.
  if (IsInUse(target)) throw EOsFileError(kInUse);
  if ((attributes & kKeptAttributes) != 0)
    SetFileAttributesW(source.c_str(), (attributes & kKeptAttributes) | FILE_ATTRIBUTE_ARCHIVE);
  if (ReplaceFileW(target.c_str(), source.c_str(), nullptr, 0, nullptr, nullptr)) return;
  const DWORD code = GetLastError();
  if (GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES || GetLastError() != ERROR_FILE_NOT_FOUND)
    ThrowReplaceError(code, target);
  // The old file is gone but the new one could not take its name (what the
  // system reports as ERROR_UNABLE_TO_MOVE_REPLACEMENT without a backup; with
  // none asked for, ERROR_UNABLE_TO_MOVE_REPLACEMENT_2 does not occur): it
  // takes the name now, or stays where it is as the only copy.
  if (MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH)) return;
  throw EOsFileStranded("the old file was removed but the new one could not take its name (" +
                        SystemMessage(GetLastError()) + "); it is kept as \"" + Utf8Path(source) + "\"");
}

void RemoveOsFile(const std::filesystem::path& FileName) noexcept { DeleteFileW(FileName.c_str()); }
