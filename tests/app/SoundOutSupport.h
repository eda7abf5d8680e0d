// What the wave-out road's tests share: the seconds the thread must play,
// segments packed as the device gets them, and a main window over fakes.
#pragma once

#include <gtest/gtest.h>

#include <future>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "Fakes.h"
#include "app/MainState.h"

namespace soundout {

using fakes::WaitUntil;

// The first Count quantised seconds the thread must play, made from the
// same inputs with the same fake engine, second after second.
inline std::vector<TWaveBufferIntegerStereo> ExpectedSeconds(TMainState& Main, std::size_t Count, long double GainL,
                                                      long double GainR) {
  fakes::TFakeEngine reference;
  TOneSecondSynthesizer synthesizer(reference);
  TSynthesisInputs inputs{6, Main.PCMFormat(), Main.InternalSetting(), 0, Main.SignalAttributeArray(), {}};
  std::vector<TWaveBufferIntegerStereo> seconds;
  synthesizer.Begin(inputs, TGeneratorChoice::_Direct);
  for (std::size_t n = 0; n < Count; ++n) {
    if (n > 0) synthesizer.Advance();
    seconds.push_back(reference.QuantizeSignal(inputs.PCMFormat, GainL, GainR, synthesizer.Mix(), synthesizer.Seed()));
  }
  return seconds;
}

inline TWaveBufferIntegerStereo ExpectedFirstSecond(TMainState& Main, long double GainL, long double GainR) {
  return ExpectedSeconds(Main, 1, GainL, GainR)[0];
}

inline std::vector<std::uint8_t> Packed(const TWaveBufferIntegerStereo& Second, std::int32_t Segment, std::int32_t Frames,
                                 std::int32_t Bits) {
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(Frames) * BytesPerFrame(Bits));
  PackSegment(Second[0], Second[1], Segment, Frames, Bits, bytes.data());
  return bytes;
}

inline void SetFormat(TMainState& Main, std::int32_t Rate, std::int32_t Bits, TWavBufferSize Size) {
  TPCMFormat format = Main.PCMFormat();
  format._SamplingRate = Rate;
  format._Quantization = Bits;
  Main.SetPCMFormat(format);
  TInternalSetting setting = Main.InternalSetting();
  setting._WavBufferSize = Size;
  Main.SetInternalSetting(setting);
}

// Runs a blocking request of the main window while the device reports
// "done" every few milliseconds.
template <class F>
void WhileDeviceRuns(fakes::TFakeWaveOutDevice& Device, F Request) {
  auto done = std::async(std::launch::async, Request);
  while (done.wait_for(std::chrono::milliseconds(2)) != std::future_status::ready) Device.ReportDone();
  done.get();
}

// Reports "done" one buffer at a time until the thread has written Count
// segments in all.
inline bool DoneUntilWrites(fakes::TFakeWaveOutDevice& Device, std::size_t Count) {
  while (Device.WriteCount() < Count) {
    const std::size_t written = Device.WriteCount();
    if (!Device.ReportDone() || !WaitUntil([&] { return Device.WriteCount() == written + 1; })) return false;
  }
  return Device.WriteCount() == Count;
}

// Makes Records audible on both channels (a sweep or a noise record is then
// generated every second).
inline void MakeAudible(TMainState& Main, std::initializer_list<std::size_t> Records) {
  for (const std::size_t r : Records) {
    TSignalAttribute record = Main.SignalAttributeArray()[r];
    record._OutputChannel = TOutputChannel::_Both;
    Main.SetSignalAttribute(static_cast<std::int32_t>(r), record);
  }
}

// Fakes and a main window of their own, for one case of a table.
struct TRoad {
  explicit TRoad(TProtocolTimeouts Timeouts = {5000, 5000, 5000, 5000}, TEventFactory Events = PortableEventFactory()) {
    Memory.HeldByDevice = [this](const void* p) { return Device.Holds(p); };
    Main = std::make_unique<TMainState>(TMainServices{std::move(Events), Device, Memory, Engine, Ui, View, Timeouts});
  }
  // The play has ended cleanly with the one message in Messages.
  void ExpectCleanEnd(const std::vector<std::string>& Messages, const char* Message) {
    EXPECT_EQ(Main->xOperation(), TOperation::_Stop);
    EXPECT_EQ(View.Glyphs().back(), "_SignalInactive");
    EXPECT_TRUE(WaitUntil([&] { return !Device.IsOpen() && Memory.LiveBlocks() == 0; }));
    EXPECT_EQ(Memory.FreedWhileHeld(), 0);
    EXPECT_EQ(Messages, std::vector<std::string>{Message});
  }

  bool DoneUntilWrites(std::size_t Count) { return soundout::DoneUntilWrites(Device, Count); }
  void MakeAudible(std::initializer_list<std::size_t> Records) { soundout::MakeAudible(*Main, Records); }
  // A timed play of Seconds in segments of Size.
  void SetTimedPlay(TWavBufferSize Size, std::int32_t Seconds) {
    TInternalSetting setting = Main->InternalSetting();
    setting._WavBufferSize = Size;
    setting._Repeat = TRepeat::_Single;
    setting._PlayTime = Seconds;
    Main->SetInternalSetting(setting);
  }

  fakes::TFakeWaveOutDevice Device;
  fakes::TFakeWaveMemory Memory;
  fakes::TFakeEngine Engine;
  fakes::TFakeUserInterface Ui;
  fakes::TFakeView View;
  std::unique_ptr<TMainState> Main;  // ends before the fakes
};

}  // namespace soundout
