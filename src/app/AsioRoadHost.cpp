#include "app/AsioRoadHost.h"

#include "asio/DASIOHost.h"
#include "framework/Text.h"

namespace {

class TProgramAsioHost final : public TAsioHostComponent {
 public:
  explicit TProgramAsioHost(std::unique_ptr<TASIOHostPlatform> Platform) : FHost(std::move(Platform)) {}

  std::int32_t DriverIndex() override { return FHost.DriverIndex(); }
  double SampleRate() override { return FHost.SampleRate(); }
  void SetSampleRate(double Rate) override { FHost.SetSampleRate(Rate); }
  std::int32_t CanSampleRate(double Rate) override { return FHost.CanSampleRate(Rate); }
  std::optional<double> DriverSampleRate() override { return FHost.DriverSampleRate(); }
  void Reset() override { FHost.Reset(); }
  bool Active() override { return FHost.Active(); }
  void SetActive(bool Value) override { FHost.SetActive(Value); }
  std::int32_t OutputChannelCount() override { return FHost.OutputChannelCount(); }
  std::uint32_t BufferSize() override { return FHost.BufferSize(); }
  void CloseDriver() override { FHost.CloseDriver(); }
  void SetOnDriverReset(std::function<void(bool Reopened)> Handler) override {
    if (!Handler) {
      FHost.OnDriverReset = nullptr;
      return;
    }
    FHost.OnDriverReset = [Handler = std::move(Handler)](TCustomASIOHostBasic&, bool Reopened) { Handler(Reopened); };
  }

  void SetOnBufferSwitch64(TBufferSwitch Handler) override {
    if (!Handler) {
      FHost.SetOnBufferSwitch64({});
      return;
    }
    FHost.SetOnBufferSwitch64([Handler = std::move(Handler)](TCustomASIOHost&, const TAVDArrayOfDoubleDynArray& In,
                                                             TAVDArrayOfDoubleDynArray& Out) { Handler(In, Out); });
  }

  std::vector<std::string> DriverList() override {
    std::vector<std::string> names;
    for (const std::wstring& name : FHost.DriverList()) names.push_back(WideToUtf8(name));
    return names;
  }
  void SetDriverIndex(std::int32_t Index) override { FHost.SetDriverIndex(Index); }
  void ControlPanel() override { FHost.ControlPanel(); }

 private:
  TASIOHost FHost;
};

}  // namespace

std::unique_ptr<TAsioHostComponent> TAsioHostComponent::Create(std::unique_ptr<TASIOHostPlatform> Platform) {
  return std::make_unique<TProgramAsioHost>(std::move(Platform));
}
