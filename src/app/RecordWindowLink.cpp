#include "app/RecordWindowLink.h"

#include <memory>

#include "app/UnitMain.h"
#include "dialogs/UnitRecord.h"

namespace {

class TMainRecordOwner final : public TRecordOwner {
 public:
  explicit TMainRecordOwner(TFormMain& Main) : FMain(Main) {}

  TInternalSetting InternalSetting() const override { return FMain.State().InternalSetting(); }
  void SetRecordTime(std::int32_t Seconds) override {
    TInternalSetting setting = FMain.State().InternalSetting();
    setting._RecordTime = Seconds;
    FMain.State().SetInternalSetting(setting);
  }
  TPCMFormatString PCMFormatString() const override { return FMain.State().PCMFormatString(); }
  TInternalSettingString InternalSettingString() const override { return FMain.State().InternalSettingString(); }
  TSignalAttributeStringArray SignalAttributeStringArray() const override {
    return FMain.State().SignalAttributeStringArray();
  }
  TWavRenderResult CreateWavFile() override { return FMain.CreateWavFile(); }
  void RecordWindowClosed() override { FMain.Controls().RecordWindowClosed(); }

 private:
  TFormMain& FMain;
};

// Lives as long as the program.
std::unique_ptr<TMainRecordOwner> MainRecordOwner;

}  // namespace

void ConnectRecordWindow(TFormMain& Main, TFormRecord& Record) {
  MainRecordOwner = std::make_unique<TMainRecordOwner>(Main);
  Record.RecordOwner = MainRecordOwner.get();
  Main.DialogWindows[TMainDialog::_Record] = [&Record] { Record.Show(); };
}
