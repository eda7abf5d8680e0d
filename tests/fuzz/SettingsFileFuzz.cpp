// The settings file reader against arbitrary text: it never crashes, a
// rejected file leaves the records untouched, and accepted records survive
// a save and a load unchanged.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "dialogs/SettingsFile.h"
#include "synthesis/UnitFunction.h"

namespace {

void Require(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "settings file: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TMemIniFile document;
  document.SetText(std::string_view(reinterpret_cast<const char*>(data), size));

  const TPCMFormat startFormat = TExFunctionLib::InitializePCMFormat();
  const TInternalSetting startSetting = TExFunctionLib::InitializeInternalSetting();
  TPCMFormat format = startFormat;
  TInternalSetting setting = startSetting;
  if (!ReadSettingsDocument(document, format, setting)) {
    Require(format == startFormat && setting == startSetting, "a rejected file changed the records");
    return 0;
  }
  Require(setting._RecordTime == startSetting._RecordTime && setting._PlayTime == startSetting._PlayTime &&
              setting._Repeat == startSetting._Repeat,
          "a file changed what it does not hold");

  // Saved into the same document (merged) and into a new one, both load back.
  TMemIniFile fresh;
  for (TMemIniFile* target : {&document, &fresh}) {
    WriteSettingStrings(*target, format, setting);
    TMemIniFile reloaded;
    reloaded.SetText(target->GetText());
    TPCMFormat format2 = TExFunctionLib::InitializePCMFormat();
    TInternalSetting setting2 = startSetting;
    Require(ReadSettingsDocument(reloaded, format2, setting2), "a saved file is rejected");
    Require(format2 == format && setting2 == setting, "a saved file loads differently");
  }
  return 0;
}
