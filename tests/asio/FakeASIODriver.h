// A fake driver behind the driver interface, and a platform that hands it
// out: what the host's tests and benchmarks drive instead of a real driver.
// The test or benchmark calls Switch() in place of the driver's thread.
#pragma once

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "asio/DASIOHost.h"

namespace krvtest {

class TFakeDriver : public IQorvASIO {
 public:
  std::vector<std::string> calls;
  ASIOBool initResult = ASIOTrue;
  std::int32_t minSize = 64, maxSize = 4096, preferred = 512, granularity = -1;
  std::int32_t inputs = 0, outputs = 2;
  ASIOSampleType type = ASIOSTInt32LSB;
  double rate = 48000.0;
  ASIOError rateResult = ASE_OK, createResult = ASE_OK, startResult = ASE_OK;
  std::int32_t latency = 100;
  std::vector<std::vector<unsigned char>> halves;
  TASIOBufferInfo* records = nullptr;
  std::int32_t recordCount = 0, size = 0;
  TASIOCallbacks callbacks{};
  int outputReadyCount = 0;
  // Runs in GetSamplePosition: what a driver's own code does there.
  void (*samplePositionHook)() = nullptr;

  void Log(std::string text) { calls.push_back(std::move(text)); }
  ASIOBool Init(std::intptr_t) override { return Log("Init"), initResult; }
  void GetDriverName(char* name) override { Log("GetDriverName"), std::strcpy(name, "Fake"); }
  std::int32_t GetDriverVersion() override { return Log("GetDriverVersion"), 7; }
  void GetErrorMessage(char* text) override { text[0] = 0; }
  ASIOError Start() override { return Log("Start"), startResult; }
  ASIOError Stop() override { return Log("Stop"), ASE_OK; }
  ASIOError GetChannels(std::int32_t& in, std::int32_t& out) override {
    Log("GetChannels");
    in = inputs;
    out = outputs;
    return ASE_OK;
  }
  ASIOError GetLatencies(std::int32_t& in, std::int32_t& out) override {
    Log("GetLatencies");
    in = out = latency;
    return ASE_OK;
  }
  ASIOError GetBufferSize(std::int32_t& mn, std::int32_t& mx, std::int32_t& pref, std::int32_t& gran) override {
    Log("GetBufferSize");
    mn = minSize, mx = maxSize, pref = preferred, gran = granularity;
    return ASE_OK;
  }
  ASIOError CanSampleRate(double r) override { return Log("CanSampleRate " + std::to_string(r)), ASE_OK; }
  ASIOError GetSampleRate(double& r) override {
    Log("GetSampleRate");
    r = rate;
    return rateResult;
  }
  ASIOError SetSampleRate(double r) override { return Log("SetSampleRate " + std::to_string(r)), ASE_OK; }
  ASIOError GetClockSources(PASIOClockSource, std::int32_t&) override { return ASE_OK; }
  ASIOError SetClockSource(std::int32_t) override { return ASE_OK; }
  ASIOError GetSamplePosition(TASIOInt64& position, TASIOInt64& stamp) override {
    if (samplePositionHook) samplePositionHook();
    position = Int64ToAsioInt64(4096);
    stamp = Int64ToAsioInt64(1);
    return ASE_OK;
  }
  ASIOError GetChannelInfo(TASIOChannelInfo& info) override {
    Log("GetChannelInfo " + std::to_string(info.channel) + " " + std::to_string(info.isInput));
    info.vType = type;
    return ASE_OK;
  }
  ASIOError CreateBuffers(PASIOBufferInfo infos, std::int32_t count, std::int32_t frames,
                          const TASIOCallbacks& cb) override {
    Log("CreateBuffers " + std::to_string(count) + " " + std::to_string(frames));
    const int bytes = std::max(AsioSampleBytes(type), 4);
    halves.assign(static_cast<std::size_t>(count) * 2, std::vector<unsigned char>(bytes * frames, 0xAB));
    for (std::int32_t i = 0; i < count; ++i)
      infos[i].buffers[0] = halves[2 * i].data(), infos[i].buffers[1] = halves[2 * i + 1].data();
    records = infos, recordCount = count, size = frames, callbacks = cb;
    return createResult;
  }
  ASIOError DisposeBuffers() override { return Log("DisposeBuffers"), ASE_OK; }
  ASIOError ControlPanel() override { return Log("ControlPanel"), ASE_OK; }
  ASIOError Future(std::int32_t selector, void* opt) override {
    Log("Future " + std::to_string(selector));
    if (opt) static_cast<TASIOChannelControls*>(opt)->meter = 77;
    return selector == kAsioCanTimeInfo ? ASE_SUCCESS : ASE_InvalidParameter;
  }
  ASIOError outputReady() override { return ++outputReadyCount, ASE_OK; }

  // The driver's thread asks for half `index`.
  void Switch(std::int32_t index) {
    TASIOTime time{};
    time.timeInfo.samplePosition = Int64ToAsioInt64(1024);
    callbacks.bufferSwitchTimeInfo(&time, index, ASIOTrue);
  }
  unsigned char* Half(std::int32_t record, std::int32_t index) { return halves[2 * record + index].data(); }
};

class TFakePlatform : public TASIOHostPlatform {
 public:
  explicit TFakePlatform(int drivers, std::vector<std::shared_ptr<TFakeDriver>>& made, TFakeDriver& model,
                         std::vector<std::string>& errors, int& wakes)
      : FDrivers(drivers), FMade(made), FModel(model), FErrors(errors), FWakes(wakes) {}
  TAsioDriverList ScanDrivers() override {
    TAsioDriverList list(static_cast<std::size_t>(FDrivers));
    for (int i = 0; i < FDrivers; ++i) {
      list[i].id.Data1 = static_cast<std::uint32_t>(i);
      SetDriverDescText(list[i].name, L"Driver " + std::to_wstring(i));
    }
    return list;
  }
  bool CreateDriver(const TGUID&, IQorvASIOPtr& driver) override {
    auto fake = std::make_shared<TFakeDriver>();
    fake->initResult = FModel.initResult, fake->minSize = FModel.minSize, fake->maxSize = FModel.maxSize;
    fake->preferred = FModel.preferred, fake->inputs = FModel.inputs, fake->outputs = FModel.outputs;
    fake->granularity = FModel.granularity, fake->startResult = FModel.startResult;
    fake->type = FModel.type, fake->rateResult = FModel.rateResult, fake->createResult = FModel.createResult;
    fake->samplePositionHook = FModel.samplePositionHook;
    FMade.push_back(fake);
    driver = fake;
    return true;
  }
  std::intptr_t WindowHandle() const override { return 0x80001234; }
  void SetServiceRoutine(std::function<void()>) override {}
  void WakeOwner() override { ++FWakes; }
  void ShowError(const std::string& text) override { FErrors.push_back(text); }

 private:
  int FDrivers;
  std::vector<std::shared_ptr<TFakeDriver>>& FMade;
  TFakeDriver& FModel;
  std::vector<std::string>& FErrors;
  int& FWakes;
};

}  // namespace krvtest
