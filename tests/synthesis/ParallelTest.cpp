// The engine's work split: every part runs once, parts may split their own
// work, a failing part is reported to the caller, and the threads that run
// the parts are the same few from one call to the next (nothing a thread
// keeps is made anew for every call). The chirp transforms' shared work
// arrays give every thread the results it gets alone.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

#include "synthesis/ExtendedPrecision.h"
#include "synthesis/FourierPlan.h"
#include "synthesis/Parallel.h"
#include "synthesis/ReferenceTransform.h"

namespace {

TEST(RunParts, EveryPartRunsOnce) {
  for (std::size_t parts : {0u, 1u, 2u, 3u, 4u, 6u, 9u, 17u}) {
    std::vector<std::atomic<int>> runs(parts);
    krv::RunParts(parts, [&](std::size_t p) { ++runs[p]; });
    for (std::size_t p = 0; p < parts; ++p) EXPECT_EQ(runs[p].load(), 1) << parts << " parts, part " << p;
  }
}

TEST(RunParts, PartsMaySplitTheirOwnWork) {
  // Three levels, more parts than the pool has threads: a caller that waits
  // runs what nobody has taken, so nothing waits on itself.
  std::atomic<int> leaves{0};
  krv::RunParts(6, [&](std::size_t) {
    krv::RunParts(5, [&](std::size_t) { krv::RunParts(4, [&](std::size_t) { ++leaves; }); });
  });
  EXPECT_EQ(leaves.load(), 6 * 5 * 4);
}

TEST(RunParts, RangesCoverEveryIndexOnce) {
  for (std::size_t n : {0u, 1u, 4095u, 4096u, 20000u, 100003u}) {
    std::vector<std::atomic<int>> hits(n);
    krv::ParallelRanges(n, [&](std::size_t begin, std::size_t end) {
      for (std::size_t i = begin; i < end; ++i) ++hits[i];
    });
    for (std::size_t i = 0; i < n; ++i) ASSERT_EQ(hits[i].load(), 1) << "n " << n << ", index " << i;
  }
}

TEST(RunParts, AFailingPartIsThrownAfterEveryPartHasEnded) {
  std::atomic<int> ended{0};
  EXPECT_THROW(krv::RunParts(5,
                             [&](std::size_t p) {
                               ++ended;
                               if (p == 1) throw std::runtime_error("part 1");
                             }),
               std::runtime_error);
  EXPECT_EQ(ended.load(), 5);
  // The pool works on.
  std::atomic<int> runs{0};
  krv::RunParts(4, [&](std::size_t) { ++runs; });
  EXPECT_EQ(runs.load(), 4);
}

TEST(RunParts, TheSameFewThreadsServeEveryCall) {
  std::mutex mutex;
  std::set<std::thread::id> seen;
  std::atomic<bool> extended{true};
  for (int call = 0; call < 200; ++call) {
    krv::RunParts(6, [&](std::size_t) {
      if (!krv::HasExtendedPrecision()) extended = false;
      std::this_thread::sleep_for(std::chrono::microseconds(50));  // so that workers take parts
      const std::lock_guard<std::mutex> lock(mutex);
      seen.insert(std::this_thread::get_id());
    });
  }
  EXPECT_TRUE(extended.load());
  EXPECT_LE(krv::PoolThreads(), krv::PoolCapacity());
  // The workers and this thread: far fewer than the 1000 parts run on others.
  EXPECT_LE(seen.size(), krv::PoolCapacity() + 1);
}


bool SameBits(const TProgressionComplex& a, const TProgressionComplex& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t k = 0; k < a.size(); ++k)
    if (a[k].Real != b[k].Real || a[k].Imaginary != b[k].Imaginary) return false;
  return true;
}

// A part that leaves its worker thread with another control word (code it
// called changed it) does not reach the parts that thread runs later.
TEST(RunParts, WorkersComputeAtExtendedPrecisionAfterAPartChangedIt) {
  const std::thread::id caller = std::this_thread::get_id();
  const std::uint16_t own = krv::ReadFpuControlWord();
  // Parts that wait for each other until several threads hold one.
  auto spoil = [&](std::size_t) {
    if (std::this_thread::get_id() != caller) krv::WriteFpuControlWord(0x0E7F);  // 53 bits, toward zero
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  };
  for (int round = 0; round < 3; ++round) krv::RunParts(16, spoil);
  std::atomic<int> workers{0}, wrong{0};
  for (int round = 0; round < 20 && workers < 8; ++round)
    krv::RunParts(8, [&](std::size_t) {
      if (std::this_thread::get_id() == caller) return;
      ++workers;
      if (!krv::HasExtendedPrecision()) ++wrong;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    });
  krv::WriteFpuControlWord(own);
  EXPECT_EQ(wrong.load(), 0) << "of " << workers.load() << " parts on workers";
}

TEST(ChirpWorkArrays, LargeAndSmallTransformsAtOnceGiveTheResultsOfOneThread) {
  // Lengths whose padded sizes differ: a thread is lent whatever array is
  // free, larger than it needs or one to replace.
  const std::size_t lengths[] = {3001, 70001, 517, 20011};
  std::vector<TProgressionComplex> inputs, expected;
  for (std::size_t i = 0; i < std::size(lengths); ++i) {
    inputs.push_back(ref::RandomComplexes(lengths[i], static_cast<unsigned>(i + 1)));
    TProgressionComplex y(lengths[i]);
    krv::BluesteinPlan::Get(lengths[i])->Transform(inputs[i].data(), y.data(), -1, 1.0L);
    expected.push_back(std::move(y));
  }
  krv::ClearFourierPlans();  // the arrays too: made again while in use
  std::atomic<int> mismatches{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.push_back(krv::StartExtendedThread([&, t] {
      for (int round = 0; round < 6; ++round) {
        const std::size_t i = static_cast<std::size_t>(t + round) % std::size(lengths);
        TProgressionComplex y(lengths[i]);
        krv::BluesteinPlan::Get(lengths[i])->Transform(inputs[i].data(), y.data(), -1, 1.0L);
        if (!SameBits(y, expected[i])) ++mismatches;
      }
    }));
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(mismatches.load(), 0);
}

TEST(ChirpWorkArrays, ThoseKeptStayWithinTheirBudget) {
  // Eight transforms at once, each with a work array of 16 MB: what is
  // kept afterwards is at most the budget, and every result is right.
  constexpr std::size_t kLength = 200003;
  const auto input = ref::RandomComplexes(kLength, 9);
  TProgressionComplex expected(kLength);
  krv::BluesteinPlan::Get(kLength)->Transform(input.data(), expected.data(), -1, 1.0L);
  krv::ClearFourierPlans();
  ASSERT_EQ(krv::FourierWorkBytes(), 0u);
  // All eight begin together (a plain gate: the latch of this toolchain's
  // Windows library can miss a wake-up).
  std::mutex gateLock;
  std::condition_variable gate;
  int waiting = 8;
  const auto arriveAndWait = [&] {
    std::unique_lock<std::mutex> lock(gateLock);
    if (--waiting == 0) gate.notify_all();
    gate.wait(lock, [&] { return waiting == 0; });
  };
  std::atomic<int> mismatches{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t)
    threads.push_back(krv::StartExtendedThread([&] {
      const auto plan = krv::BluesteinPlan::Get(kLength);
      arriveAndWait();
      TProgressionComplex y(kLength);
      plan->Transform(input.data(), y.data(), -1, 1.0L);
      if (!SameBits(y, expected)) ++mismatches;
    }));
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(mismatches.load(), 0);
  EXPECT_GT(krv::FourierWorkBytes(), 0u);
  EXPECT_LE(krv::FourierWorkBytes(), krv::kFourierWorkBudget);
  krv::ClearFourierPlans();
  EXPECT_EQ(krv::FourierWorkBytes(), 0u);
}

}  // namespace
