// Program start: one instance only, then the windows and the message loop.
// The command line and the environment are not read.
#include <windows.h>

#include "app/RecordWindowLink.h"
#include "app/SettingsWindowLink.h"
#include "app/SignalsWindowLink.h"
#include "app/UnitMain.h"
#include "asio/DASIOConvert.h"
#include "dialogs/UnitNumericPad.h"
#include "dialogs/UnitRecord.h"
#include "dialogs/UnitSettings.h"
#include "dialogs/UnitSignals.h"
#include "framework/Forms.h"
#include "synthesis/ExtendedPrecision.h"

namespace {

// Name of the single-instance mutex; kept from version to version.
const wchar_t MutexName[] = L"{0A4829CC-0291-4C1E-96A6-57428B8B8DDF}";
static_assert(sizeof(MutexName) / sizeof(MutexName[0]) == 38 + 1);

constexpr UINT kRestoreTimeoutMs = 5000;

// Exit code of a start that found the program running and handed over to it
// (the system's "already exists"), so that a caller can tell it from a run
// that ended normally.
constexpr int kExitOtherInstance = ERROR_ALREADY_EXISTS;

// Brings the running instance's main window to the front and restores it
// when it (or its owner window) is minimised.
void ActivateRunningInstance() {
  HWND window = FindWindowW(L"TFormMain", nullptr);
  if (!window) return;
  SetForegroundWindow(window);
  HWND owner = GetWindow(window, GW_OWNER);
  HWND target = owner ? owner : window;
  if (IsIconic(target)) {
    // A running instance that does not answer must not hold this one.
    DWORD_PTR result = 0;
    SendMessageTimeoutW(target, WM_SYSCOMMAND, SC_RESTORE, static_cast<LPARAM>(-1), SMTO_ABORTIFHUNG,
                        kRestoreTimeoutMs, &result);
  }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  krv::SetExtendedPrecision();

  // Single instance: an existing mutex means the program runs already, and
  // so does a mutex that another start created between the two calls.
  if (HANDLE existing = OpenMutexW(MUTEX_ALL_ACCESS, FALSE, MutexName)) {
    CloseHandle(existing);
    ActivateRunningInstance();
    return kExitOtherInstance;
  }
  HANDLE mutex = CreateMutexW(nullptr, FALSE, MutexName);
  if (mutex && GetLastError() == ERROR_ALREADY_EXISTS) {
    CloseHandle(mutex);
    ActivateRunningInstance();
    return kExitOtherInstance;
  }
  // The handle is held for the life of the process; the system removes the
  // mutex when the process ends.

  // The conversion routines for this processor, chosen once before any
  // window exists; every ASIO host copies its channels' routines from them.
  SelectProcessorRoutines();

  Application.Initialize();
  Application.SetTitle(L"KRV-2400");
  // The main window owns its task-bar button. The windows come in the order
  // main window, numeric keypad, settings, signals, recording; the four
  // dialogs are created hidden (they join here as they are built).
  TFormMain* main = Application.CreateForm<TFormMain>();
  Application.CreateForm<TFormNumericPad>();
  ConnectSettingsWindow(*main, *Application.CreateForm<TFormSettings>());
  ConnectSignalsWindow(*main, *Application.CreateForm<TFormSignals>());
  // The recording window comes last.
  ConnectRecordWindow(*main, *Application.CreateForm<TFormRecord>());
  Application.Run();
  return 0;
}
