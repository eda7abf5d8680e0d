// Settings an end-to-end test starts the program with, for settings that no
// window can change yet. Built only into the test variant of the program
// (KRV-2400-e2e.exe); the program itself reads no environment.
#pragma once

class TFormMain;

// KRV_E2E_PROPERTY_SHEET=signal|all: InternalSetting._PropertySheet.
void ApplyE2ESettings(TFormMain& Main);
