#include "app/AsioRoadHost.h"

#include <mutex>

#include "asio/DASIOHost.h"
#include "asio/DASIOHostWin32.h"
#include "framework/Text.h"

namespace {

// The host, which can also read back the rate the open driver runs at.
class TMainASIOHost final : public TASIOHost {
 public:
  using TASIOHost::TASIOHost;
  std::optional<double> DriverSampleRate() {
    std::lock_guard lock(FLock);
    double rate = 0.0;
    if (!FDriver || FDriver->GetSampleRate(rate) != ASE_OK) return std::nullopt;
    return rate;
  }
};

class TProgramAsioHost final : public TAsioHostComponent {
 public:
  TProgramAsioHost() : FHost(CreateWin32ASIOHostPlatform()) {}

  std::int32_t DriverIndex() override { return FHost.DriverIndex(); }
  double SampleRate() override { return FHost.SampleRate(); }
  void SetSampleRate(double Rate) override { FHost.SetSampleRate(Rate); }
  std::int32_t CanSampleRate(double Rate) override { return FHost.CanSampleRate(Rate); }
  std::optional<double> DriverSampleRate() override { return FHost.DriverSampleRate(); }
  void Reset() override { FHost.Reset(); }
  bool Active() override { return FHost.Active(); }
  void SetActive(bool Value) override { FHost.SetActive(Value); }
  std::int32_t OutputChannelCount() override { return FHost.OutputChannelCount(); }
  void CloseDriver() override { FHost.CloseDriver(); }

  void SetOnBufferSwitch64(TBufferSwitch Handler) override {
    if (!Handler) {
      FHost.SetOnBufferSwitch64({});
      return;
    }
    FHost.SetOnBufferSwitch64([Handler = std::move(Handler)](TCustomASIOHost&, const TAVDArrayOfDoubleDynArray& In,
                                                             TAVDArrayOfDoubleDynArray& Out) { Handler(In, Out); });
  }
  void SetOnReset(std::function<void()> Handler) override {
    FHost.OnReset = [Handler = std::move(Handler)](TCustomASIOHostBasic&) {
      if (Handler) Handler();
    };
  }

  std::vector<std::string> DriverList() override {
    std::vector<std::string> names;
    for (const std::wstring& name : FHost.DriverList()) names.push_back(WideToUtf8(name));
    return names;
  }
  void SetDriverIndex(std::int32_t Index) override { FHost.SetDriverIndex(Index); }
  void ControlPanel() override { FHost.ControlPanel(); }

 private:
  TMainASIOHost FHost;
};

}  // namespace

std::unique_ptr<TAsioHostComponent> TAsioHostComponent::Create() { return std::make_unique<TProgramAsioHost>(); }
