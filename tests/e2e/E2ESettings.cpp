#include "E2ESettings.h"

#include <cstdlib>
#include <string>

#include "app/UnitMain.h"

void ApplyE2ESettings(TFormMain& Main) {
  const char* sheet = std::getenv("KRV_E2E_PROPERTY_SHEET");
  if (!sheet) return;
  TInternalSetting setting = Main.State().InternalSetting();
  const std::string value = sheet;
  if (value == "signal") setting._PropertySheet = TPropertySheet::_PropertySignal;
  if (value == "all") setting._PropertySheet = TPropertySheet::_PropertyAll;
  Main.State().SetInternalSetting(setting);
}
