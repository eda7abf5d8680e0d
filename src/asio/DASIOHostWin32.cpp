#include "asio/DASIOHostWin32.h"

#include <windows.h>

#include <exception>

#include "framework/Messages.h"
#include "framework/Text.h"

namespace {

bool FileExists(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// A string value of an open key (the default value for a null name); empty
// when it is missing or no string. An expandable string is expanded.
std::wstring ReadStringValue(HKEY key, const wchar_t* name) {
  DWORD type = 0, bytes = 0;
  if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS) return {};
  if (type != REG_SZ && type != REG_EXPAND_SZ) return {};
  std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
  bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
  if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &bytes) != ERROR_SUCCESS)
    return {};
  text.resize(wcsnlen(text.c_str(), text.size()));
  if (type == REG_EXPAND_SZ) {
    const DWORD needed = ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
    if (needed == 0) return {};
    std::wstring expanded(needed, L'\0');
    if (ExpandEnvironmentStringsW(text.c_str(), expanded.data(), needed) == 0) return {};
    expanded.resize(wcsnlen(expanded.c_str(), expanded.size()));
    return expanded;
  }
  return text;
}

// The system or Windows directory (at most 1023 characters); empty on failure.
template <UINT (*Query)(LPWSTR, UINT)>
std::wstring SystemFolder() {
  wchar_t buffer[1024];
  const UINT length = Query(buffer, 1023);
  return length > 0 && length < 1023 ? std::wstring(buffer, length) : std::wstring();
}

UINT SystemDirectory(LPWSTR buffer, UINT size) { return GetSystemDirectoryW(buffer, size); }
UINT WindowsDirectory(LPWSTR buffer, UINT size) { return GetWindowsDirectoryW(buffer, size); }

}  // namespace

int FindDriverDll(const std::wstring& clsid, std::wstring& path) {
  HKEY key = nullptr;
  const std::wstring name = L"clsid\\" + clsid + L"\\InprocServer32";
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, name.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return -1;
  path = ReadStringValue(key, nullptr);
  if (!path.empty() && path.find_first_of(L"\\:") == std::wstring::npos) {
    const std::wstring bare = path;
    if (const std::wstring system = SystemFolder<SystemDirectory>(); !system.empty()) path = system + L"\\" + bare;
    if (!FileExists(path)) {
      if (const std::wstring windows = SystemFolder<WindowsDirectory>(); !windows.empty())
        path = windows + L"\\" + bare;
    }
  }
  RegCloseKey(key);
  return !path.empty() && FileExists(path) ? 0 : -1;
}

void ListAsioDrivers(TAsioDriverList& list) {
  list.clear();
  HKEY root = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"software\\asio", 0, KEY_READ, &root) != ERROR_SUCCESS) return;
  std::vector<std::wstring> names;
  for (DWORD i = 0;; ++i) {
    wchar_t name[256];
    DWORD length = 256;
    const LONG result = RegEnumKeyExW(root, i, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (result == ERROR_NO_MORE_ITEMS) break;
    if (result == ERROR_SUCCESS) names.emplace_back(name, length);
  }
  RegCloseKey(root);
  for (const std::wstring& name : names) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, (L"software\\asio\\" + name).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
      continue;
    const std::wstring clsid = ReadStringValue(key, L"clsid");
    RegCloseKey(key);
    std::wstring path;
    TAsioDriverDesc desc{};
    // An entry whose class text is no class identifier is left out too.
    if (FindDriverDll(clsid, path) != 0 || !GuidFromString(clsid.c_str(), desc.id)) continue;
    SetDriverDescText(desc.name, name);
    SetDriverDescText(desc.path, path);
    list.push_back(desc);
  }
}

namespace {

constexpr UINT kServiceMessage = WM_APP + 0x2A1;
const wchar_t kWindowClass[] = L"TASIOHostWindow";

class TWin32ASIOHostPlatform final : public TASIOHostPlatform {
 public:
  TWin32ASIOHostPlatform() {
    static const ATOM registered = [] {
      WNDCLASSW windowClass{};
      windowClass.lpfnWndProc = &WindowProc;
      windowClass.hInstance = GetModuleHandleW(nullptr);
      windowClass.lpszClassName = kWindowClass;
      return RegisterClassW(&windowClass);
    }();
    (void)registered;
    FWindow = CreateWindowExW(0, kWindowClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
    if (FWindow) SetWindowLongPtrW(FWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }
  ~TWin32ASIOHostPlatform() override {
    if (FWindow) DestroyWindow(FWindow);
  }

  TAsioDriverList ScanDrivers() override {
    TAsioDriverList list;
    ListAsioDrivers(list);
    return list;
  }
  bool CreateDriver(const TGUID& clsid, IQorvASIOPtr& driver) override { return CreateQorvASIO(clsid, driver); }
  std::intptr_t WindowHandle() const override { return reinterpret_cast<std::intptr_t>(FWindow); }
  void SetServiceRoutine(std::function<void()> routine) override { FRoutine = std::move(routine); }
  void WakeOwner() override { PostMessageW(FWindow, kServiceMessage, 0, 0); }
  void ShowError(const std::string& text) override { ShowMessage(Utf8ToWide(text)); }

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kServiceMessage) {
      auto* self = reinterpret_cast<TWin32ASIOHostPlatform*>(GetWindowLongPtrW(window, GWLP_USERDATA));
      try {
        if (self && self->FRoutine) self->FRoutine();
      } catch (...) {
        ReportException(std::current_exception());
      }
      return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
  }

  HWND FWindow = nullptr;
  std::function<void()> FRoutine;
};

}  // namespace

std::unique_ptr<TASIOHostPlatform> CreateWin32ASIOHostPlatform() {
  return std::make_unique<TWin32ASIOHostPlatform>();
}
