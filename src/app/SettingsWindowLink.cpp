#include "app/SettingsWindowLink.h"

#include <memory>

#include "app/UnitMain.h"
#include "dialogs/UnitSettings.h"

namespace {

class TMainSettingsOwner final : public TSettingsOwner {
 public:
  explicit TMainSettingsOwner(TFormMain& Main) : FMain(Main) {}

  TPCMFormat PCMFormat() const override { return FMain.State().PCMFormat(); }
  TInternalSetting InternalSetting() const override { return FMain.State().InternalSetting(); }
  void SetPCMFormat(const TPCMFormat& Value) override { FMain.State().SetPCMFormat(Value); }
  void SetInternalSetting(const TInternalSetting& Value) override { FMain.State().SetInternalSetting(Value); }
  std::int32_t ActiveAsioChannelL() const override { return FMain.State().ActiveAsioChannelL; }
  std::int32_t ActiveAsioChannelR() const override { return FMain.State().ActiveAsioChannelR; }
  void SetActiveAsioChannels(std::int32_t Left, std::int32_t Right) override {
    FMain.State().ActiveAsioChannelL = Left;
    FMain.State().ActiveAsioChannelR = Right;
  }
  void SettingsClosed() override { FMain.Controls().SettingsClosed(); }
  void SettingsCancelled() override { FMain.Controls().EditorClosed(); }

 private:
  TFormMain& FMain;
};

// The main window's ASIO host.
class TMainAsioHost final : public TSettingsAsioHost {
 public:
  explicit TMainAsioHost(TAsioHostComponent& Host) : FHost(Host) {}
  std::vector<std::string> DriverList() const override { return FHost.DriverList(); }
  std::int32_t DriverIndex() const override { return FHost.DriverIndex(); }
  void SetDriverIndex(std::int32_t Index) override { FHost.SetDriverIndex(Index); }
  std::int32_t OutputChannelCount() const override { return FHost.OutputChannelCount(); }
  void ControlPanel() override { FHost.ControlPanel(); }

 private:
  TAsioHostComponent& FHost;
};

// Live as long as the program.
std::unique_ptr<TMainSettingsOwner> MainSettingsOwner;
std::unique_ptr<TSettingsAsioHost> SettingsAsioHost;

}  // namespace

void ConnectSettingsWindow(TFormMain& Main, TFormSettings& Settings) {
  MainSettingsOwner = std::make_unique<TMainSettingsOwner>(Main);
  SettingsAsioHost = std::make_unique<TMainAsioHost>(*Main.ASIOHost);
  Settings.Connect(*MainSettingsOwner, *SettingsAsioHost);
  Main.DialogWindows[TMainDialog::_Settings] = [&Settings] { Settings.Show(); };
}
