// The render loop: order of seconds, stand-ins for late or missing seconds,
// progress, failures of the file, and refusal of a second render.
#include <gtest/gtest.h>

#include <csignal>
#include <iostream>
#include <iterator>
#include <set>
#include <stdexcept>
#ifndef _WIN32
#include <sys/resource.h>
#endif

#include "app/WavRender.h"
#include "app/WavTestSupport.h"
#include "framework/ReplacingFileSupport.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr std::int32_t kRate = 100;

TPCMFormat Format(std::int32_t Rate = kRate, std::int32_t Bits = 16) {
  return {Rate, Bits, TRounding::_RNE, TDither::_White, TNoiseShaping::_Off};
}

// A synthesis road whose second n holds the value n + 1 on the left and
// -(n + 1) on the right; seconds listed in `Missing` do not come.
struct TFakeRoad {
  std::set<std::int32_t> Missing;
  std::set<std::int32_t> WrongLength;
  std::vector<std::int32_t> Asked;
  std::vector<std::uint32_t> QuantizeSeeds;  // each second is quantised with its own seed
  std::vector<std::int32_t> Progress;
  std::vector<std::string> Messages;
  TWaveBufferExtendedStereo Slot;
  std::function<void(std::int32_t)> OnProgress;

  TWavRenderHooks Hooks() {
    TWavRenderHooks h;
    h.FetchSecond = [this](std::int32_t n, std::uint32_t& Seed) -> const TWaveBufferExtendedStereo* {
      Asked.push_back(n);
      Seed = 1000u + std::uint32_t(n);
      if (Missing.count(n)) return nullptr;
      const std::size_t len = WrongLength.count(n) ? kRate / 2 : kRate;
      Slot[0].assign(len, n + 1.0L);
      Slot[1].assign(len, -(n + 1.0L));
      return &Slot;
    };
    h.Quantize = [this](const TWaveBufferExtendedStereo& m, std::uint32_t Seed, TWaveBufferIntegerStereo& q) {
      QuantizeSeeds.push_back(Seed);
      for (int c = 0; c < 2; ++c) {
        q[c].clear();
        for (long double v : m[c]) q[c].push_back(std::int32_t(v * 1000));
      }
    };
    h.SecondWritten = [this](std::int32_t done, std::int32_t total) {
      EXPECT_GT(total, 0);
      Progress.push_back(done);
      if (OnProgress) OnProgress(done);
    };
    h.ShowError = [this](const std::string& m) { Messages.push_back(m); };
    return h;
  }
};

// The packed bytes of second n of the fake road (16 bits).
Bytes RoadSecond(std::int32_t n) {
  Bytes b;
  PackWavSecond(MakeWavLayout(kRate, 16, 1),
                {TWaveBufferInteger(kRate, (n + 1) * 1000), TWaveBufferInteger(kRate, -(n + 1) * 1000)}, b);
  return b;
}

Bytes Silence() { return Bytes(kRate * 4, 0); }

Bytes ExpectedFile(const std::vector<Bytes>& Seconds) {
  Bytes f = WavHeaderBytes(MakeWavLayout(kRate, 16, std::int32_t(Seconds.size())));
  for (const Bytes& s : Seconds) f.insert(f.end(), s.begin(), s.end());
  return f;
}

using wavtest::TMemorySink;

TEST(WavRender, EverySecondOnceInOrderWithProgress) {
  TFakeRoad road;
  TMemorySink sink;
  TWavRenderer r;
  const TWavRenderResult res = r.Render(Format(), 3, sink, road.Hooks());
  EXPECT_TRUE(res.Completed());
  EXPECT_EQ(res.MissingSeconds, 0);
  EXPECT_EQ(road.Asked, (std::vector<std::int32_t>{0, 1, 2}));
  EXPECT_EQ(road.Progress, (std::vector<std::int32_t>{1, 2, 3}));
  // Each second is quantised with the seed it came with.
  EXPECT_EQ(road.QuantizeSeeds, (std::vector<std::uint32_t>{1000, 1001, 1002}));
  EXPECT_TRUE(road.Messages.empty());
  EXPECT_EQ(sink.Out, ExpectedFile({RoadSecond(0), RoadSecond(1), RoadSecond(2)}));
  EXPECT_EQ(sink.Closed, 1);
  EXPECT_EQ(sink.Discarded, 0);
}

TEST(WavRender, LateOrMissingSecondNeitherShiftsNorShortensTheFile) {
  struct Case {
    const char* name;
    std::set<std::int32_t> missing, wrongLength;
    std::vector<Bytes> file;
    int messages;
  };
  const Case cases[] = {
      {"second 1 late", {1}, {}, {RoadSecond(0), RoadSecond(0), RoadSecond(2), RoadSecond(3)}, 1},
      {"first second missing", {0}, {}, {Silence(), RoadSecond(1), RoadSecond(2), RoadSecond(3)}, 1},
      {"two in a row", {1, 2}, {}, {RoadSecond(0), RoadSecond(0), RoadSecond(0), RoadSecond(3)}, 2},
      {"last second missing", {3}, {}, {RoadSecond(0), RoadSecond(1), RoadSecond(2), RoadSecond(2)}, 1},
      {"answer of another rate", {}, {0, 2}, {Silence(), RoadSecond(1), RoadSecond(1), RoadSecond(3)}, 2},
      {"nothing at all", {0, 1, 2, 3}, {}, {Silence(), Silence(), Silence(), Silence()}, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TFakeRoad road;
    road.Missing = c.missing;
    road.WrongLength = c.wrongLength;
    TMemorySink sink;
    const TWavRenderResult res = TWavRenderer().Render(Format(), 4, sink, road.Hooks());
    EXPECT_TRUE(res.Completed());
    EXPECT_EQ(res.MissingSeconds, c.messages);
    EXPECT_EQ(road.Messages, std::vector<std::string>(std::size_t(c.messages), "Error - Cannot Create Wave Data."));
    EXPECT_EQ(road.Progress, (std::vector<std::int32_t>{1, 2, 3, 4}));
    EXPECT_EQ(sink.Out, ExpectedFile(c.file));
  }
}

TEST(WavRender, AFailingFileIsReportedDiscardedAndAsksForNothingMore) {
  const TWavLayout l = MakeWavLayout(kRate, 16, 5);
  struct Case {
    const char* name;
    std::size_t limit;
    bool failClose;
    std::vector<std::int32_t> asked, progress;
    const char* reason;
  };
  const Case cases[] = {
      {"full after two seconds", l.HeaderSize + 2 * l.SecondBytes(), false, {0, 1, 2}, {1, 2}, "No space left on device"},
      {"no room for the header", 20, false, {}, {}, "No space left on device"},
      {"closing fails", SIZE_MAX, true, {0, 1, 2, 3, 4}, {1, 2, 3, 4, 5}, "Input/output error"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TFakeRoad road;
    TMemorySink sink(c.limit);
    sink.FailClose = c.failClose;
    const TWavRenderResult res = TWavRenderer().Render(Format(), 5, sink, road.Hooks());
    EXPECT_EQ(res.Status, TWavRenderStatus::_Failed);
    EXPECT_EQ(res.Message, std::string("Error - Cannot write the file \"t.wav\": ") + c.reason + ".");
    EXPECT_EQ(road.Asked, c.asked);
    EXPECT_EQ(road.Progress, c.progress);
    EXPECT_EQ(sink.Discarded, 1);
    EXPECT_EQ(sink.Closed, 0);
  }
}

// A target that could never be written is refused before the first second is
// asked for, whatever makes it so; an earlier file of its name and its folder
// stay as they were, and nothing is left beside them.
TEST(WavRender, UnwritableTargetIsRefusedBeforeAnySecondIsMade) {
  namespace fs = std::filesystem;
  wavtest::TScratchDir dir("unwritable");
  constexpr auto kWrite = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
  std::ofstream(dir / "plain").put('x');
  fs::create_directory(dir / "locked");
  std::ofstream(dir / "locked" / "t.wav").write("old", 3);
  fs::create_directory(dir / "ro");
  std::ofstream(dir / "ro" / "t.wav").write("old", 3);
  fs::permissions(dir / "ro" / "t.wav", kWrite, fs::perm_options::remove);
  fs::permissions(dir / "locked", kWrite, fs::perm_options::remove);
  // Privileges that write anyway (root on POSIX; on Windows a folder's
  // read-only flag bars nothing) leave the locked folder open.
  bool lockedHolds = true;
  {
    std::ofstream probe(dir / "locked" / "probe");
    if (probe) {
      probe.close();
      fs::remove(dir / "locked" / "probe");
      lockedHolds = false;
    }
  }
  const struct {
    const char* What;
    fs::path Name;
    const char* Reason;  // the reason when it is the program's own, else any
    bool Applies;
  } cases[] = {
      {"read-only file", dir / "ro" / "t.wav", "it is read-only", true},
      {"missing folder", dir / "missing" / "t.wav", nullptr, true},
      {"a file as folder", dir / "plain" / "t.wav", nullptr, true},
      {"read-only folder", dir / "locked" / "t.wav", nullptr, lockedHolds},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.What);
    if (!c.Applies) {
      std::cout << "not tried here (privileges write anyway): " << c.What << "\n";
      continue;
    }
    const fs::path folder = c.Name.parent_path();
    const auto before = fs::exists(folder) && fs::is_directory(folder) ? krvtest::Names(folder)
                                                                        : std::vector<std::string>{};
    TFakeRoad road;
    const TWavRenderResult res = TWavRenderer().RenderFile(Format(), 2, c.Name, road.Hooks());
    EXPECT_EQ(res.Status, TWavRenderStatus::_Failed);
    const std::string start = "Error - Cannot write the file \"" + c.Name.string() + "\": ";
    if (c.Reason) {
      EXPECT_EQ(res.Message, start + c.Reason + ".");
    } else {
      EXPECT_EQ(res.Message.rfind(start, 0), 0u) << res.Message;
    }
    EXPECT_TRUE(road.Asked.empty()) << road.Asked.size() << " seconds asked for";
    EXPECT_TRUE(road.Progress.empty());
    if (!before.empty()) {
      EXPECT_EQ(krvtest::Names(folder), before);
    }
  }
  EXPECT_EQ(wavtest::ReadText(dir / "ro" / "t.wav"), "old");
  EXPECT_EQ(wavtest::ReadText(dir / "locked" / "t.wav"), "old");
  fs::permissions(dir / "locked", fs::perms::owner_all, fs::perm_options::add);  // so the folders can go
  fs::permissions(dir / "ro" / "t.wav", fs::perms::owner_write, fs::perm_options::add);
}

// The file under the final name is the old one until a render completes; a
// render that fails leaves it as it was and nothing beside it.
TEST(WavRender, AnExistingFileIsReplacedOnlyByACompleteOne) {
  wavtest::TScratchDir dir("replace");
  const auto name = dir / "t.wav";
  const Bytes old{'o', 'l', 'd'};
  auto folderHoldsOnly = [&](const Bytes& content) {
    EXPECT_EQ(wavtest::ReadBytes(name), content);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
  };
  std::ofstream(name, std::ios::binary).write("old", 3);

  TFakeRoad failing;
  TWavRenderHooks h = failing.Hooks();
  h.Quantize = [](const TWaveBufferExtendedStereo&, std::uint32_t, TWaveBufferIntegerStereo&) {
    throw std::bad_alloc();
  };
  const TWavRenderResult failed = TWavRenderer().RenderFile(Format(), 2, name, h);
  EXPECT_EQ(failed.Status, TWavRenderStatus::_Failed);
  EXPECT_EQ(failed.Message.rfind("Error - ", 0), 0u);
  folderHoldsOnly(old);

#ifndef _WIN32
  {
    // A file size limit stands in for a full disk: writing fails midway.
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 1000;
    setrlimit(RLIMIT_FSIZE, &small);
    TFakeRoad road;
    const TWavRenderResult res = TWavRenderer().RenderFile(Format(), 10, name, road.Hooks());
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(res.Status, TWavRenderStatus::_Failed);
    // The system's own reason, not what errno held after the C runtime.
    EXPECT_EQ(res.Message, "Error - Cannot write the file \"" + name.string() + "\": File too large.");
    folderHoldsOnly(old);
  }
#endif

  TFakeRoad road;
  road.OnProgress = [&](std::int32_t) { EXPECT_EQ(wavtest::ReadBytes(name), old); };
  road.Missing = {1};
  ASSERT_TRUE(TWavRenderer().RenderFile(Format(), 3, name, road.Hooks()).Completed());
  folderHoldsOnly(ExpectedFile({RoadSecond(0), RoadSecond(0), RoadSecond(2)}));
}

// A render stopped part way (the program killed, the machine off) leaves its
// temporary file behind: whatever it holds, its header never claims more.
TEST(WavRender, TemporaryFileNeverClaimsMoreThanItHolds) {
  wavtest::TScratchDir dir("partway");
  const auto name = dir / "t.wav";
  const auto temporary = dir / "t.wav.tmp1";
  wavtest::WriteText(dir / "t.wav.tmp0", "mine");  // not ours: left alone
  const TWavLayout layout = MakeWavLayout(kRate, 16, 5);
  TFakeRoad road;
  int checked = 0;
  road.OnProgress = [&](std::int32_t done) {
    const Bytes file = wavtest::ReadBytes(temporary);
    ASSERT_GE(file.size(), layout.HeaderSize);
    EXPECT_LE(std::uint64_t(wavtest::U32At(file, 4)) + 8, file.size()) << done;
    EXPECT_LE(std::uint64_t(wavtest::U32At(file, layout.HeaderSize - 4)) + layout.HeaderSize, file.size()) << done;
    ++checked;
  };
  ASSERT_TRUE(TWavRenderer().RenderFile(Format(), 5, name, road.Hooks()).Completed());
  EXPECT_EQ(checked, 5);
  EXPECT_EQ(wavtest::ReadBytes(name),
            ExpectedFile({RoadSecond(0), RoadSecond(1), RoadSecond(2), RoadSecond(3), RoadSecond(4)}));
  EXPECT_FALSE(std::filesystem::exists(temporary));
  EXPECT_EQ(wavtest::ReadText(dir / "t.wav.tmp0"), "mine");
}

TEST(WavRender, UnsupportedFormatLeavesAnExistingFileAlone) {
  wavtest::TScratchDir dir("badformat");
  const auto name = dir / "keep.wav";
  std::ofstream(name) << "precious";
  TFakeRoad road;
  const TWavRenderResult res = TWavRenderer().RenderFile(Format(48000, 18), 2, name, road.Hooks());
  EXPECT_EQ(res.Status, TWavRenderStatus::_Failed);
  EXPECT_EQ(res.Message, "Error - A WAV file cannot hold samples of 18 bits.");
  EXPECT_EQ(wavtest::ReadBytes(name), (Bytes{'p', 'r', 'e', 'c', 'i', 'o', 'u', 's'}));
  EXPECT_TRUE(road.Asked.empty());
}

TEST(WavRender, SecondRequestDuringARenderIsRefusedAndTouchesNothing) {
  wavtest::TScratchDir dir("busy");
  const auto name = dir / "t.wav";
  TWavRenderer r;
  TFakeRoad road;
  TFakeRoad intruder;
  std::vector<TWavRenderStatus> refused;
  road.OnProgress = [&](std::int32_t) {
    EXPECT_TRUE(r.Busy());
    // A click queued during the render reaches the renderer again.
    refused.push_back(r.RenderFile(Format(), 1, name, intruder.Hooks()).Status);
    TMemorySink other;
    refused.push_back(r.Render(Format(), 1, other, intruder.Hooks()).Status);
    EXPECT_TRUE(other.Out.empty());
  };
  const TWavRenderResult res = r.RenderFile(Format(), 3, name, road.Hooks());
  ASSERT_TRUE(res.Completed()) << res.Message;
  EXPECT_FALSE(r.Busy());
  EXPECT_EQ(refused, std::vector<TWavRenderStatus>(6, TWavRenderStatus::_Busy));
  EXPECT_TRUE(intruder.Asked.empty());
  EXPECT_EQ(wavtest::ReadBytes(name), ExpectedFile({RoadSecond(0), RoadSecond(1), RoadSecond(2)}));
  // Free again afterwards.
  EXPECT_TRUE(r.RenderFile(Format(), 1, name, intruder.Hooks()).Completed());
}

}  // namespace
