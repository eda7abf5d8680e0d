#include "app/SignalsWindowLink.h"

#include <memory>

#include "app/UnitMain.h"
#include "dialogs/UnitSignals.h"

namespace {

class TMainSignalsOwner final : public TSignalsOwner {
 public:
  explicit TMainSignalsOwner(TFormMain& Main) : FMain(Main) {}

  TPCMFormat PCMFormat() const override { return FMain.State().PCMFormat(); }
  TSignalAttributeArray SignalAttributeArray() const override { return FMain.State().SignalAttributeArray(); }
  void SetSignalAttributeArray(const TSignalAttributeArray& Records) override {
    for (std::size_t i = 0; i < Records.size(); ++i)
      FMain.State().SetSignalAttribute(static_cast<std::int32_t>(i), Records[i]);
    FMain.DisplaySignalAttribute(FMain.State().xCurrentChannel);
  }
  void SignalsWindowClosed() override { FMain.Controls().EditorClosed(); }

 private:
  TFormMain& FMain;
};

// Lives as long as the program.
std::unique_ptr<TMainSignalsOwner> MainSignalsOwner;

}  // namespace

void ConnectSignalsWindow(TFormMain& Main, TFormSignals& Signals) {
  MainSignalsOwner = std::make_unique<TMainSignalsOwner>(Main);
  Signals.SignalsOwner = MainSignalsOwner.get();
  Main.DialogWindows[TMainDialog::_Signals] = [&Signals] { Signals.Show(); };
}
