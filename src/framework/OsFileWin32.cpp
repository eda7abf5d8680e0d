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

void ReplaceOsFile(const std::filesystem::path& Source, const std::filesystem::path& Target) {
  if (!MoveFileExW(Source.c_str(), Target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    ThrowLastError();
}

void RemoveOsFile(const std::filesystem::path& FileName) noexcept { DeleteFileW(FileName.c_str()); }
