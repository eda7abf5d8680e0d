#include "asio/DASIOGenerator.h"

#include <gtest/gtest.h>

namespace {

TEST(ASIOGenerator, StartsAt44100HzAnd2048Frames) {
  TASIOGenerator g;
  EXPECT_EQ(g.SampleRate(), 44100.0);
  EXPECT_EQ(g.BlockSize(), 2048u);
  g.SetSampleRate(48000.0);
  g.SetBlockSize(256);
  EXPECT_EQ(g.SampleRate(), 48000.0);
  EXPECT_EQ(g.BlockSize(), 256u);
}

TEST(ASIOGenerator, WritesSilenceIntoBlockSizeSamplesOfEveryChannel) {
  TASIOGenerator g;
  g.SetBlockSize(256);
  for (const bool isOutput : {false, true}) {
    TAVDArrayOfSingleDynArray blocks(2, std::vector<float>(300, 0.5f));
    g.ProcessBlock(blocks, isOutput);
    for (const auto& block : blocks)
      for (std::size_t i = 0; i < block.size(); ++i) EXPECT_EQ(block[i], i < 256 ? 0.0f : 0.5f) << i;
  }
}

TEST(ASIOGenerator, NeverWritesPastAShorterBlock) {
  // The default 2048 frames against blocks of other lengths (the sanitizers
  // catch any write past the end).
  TASIOGenerator g;
  TAVDArrayOfSingleDynArray blocks{std::vector<float>(256, 0.5f), {}, std::vector<float>(1, 0.5f)};
  g.ProcessBlock(blocks, true);
  EXPECT_EQ(blocks[0], std::vector<float>(256, 0.0f));
  EXPECT_TRUE(blocks[1].empty());
  EXPECT_EQ(blocks[2], std::vector<float>(1, 0.0f));
  TAVDArrayOfSingleDynArray none;
  g.ProcessBlock(none, false);
  EXPECT_TRUE(none.empty());
}

class CountingGenerator : public TASIOGenerator {
 public:
  void ProcessBlock(TAVDArrayOfSingleDynArray& SingleBlock, bool isOutput) override {
    for (auto& block : SingleBlock)
      for (std::size_t i = 0; i < WritableFrames(block); ++i) block[i] = isOutput ? static_cast<float>(i) : -1.0f;
  }
};

TEST(ASIOGenerator, DerivedGeneratorReplacesProcessBlock) {
  CountingGenerator counting;
  TASIOGenerator& g = counting;
  g.SetBlockSize(4);
  TAVDArrayOfSingleDynArray blocks(1, std::vector<float>(6, 9.0f));
  g.ProcessBlock(blocks, true);
  EXPECT_EQ(blocks[0], (std::vector<float>{0, 1, 2, 3, 9, 9}));
}

TEST(ASIOGenerator, IsANamedComponentFreedWithItsOwner) {
  auto* owner = new TComponent;
  auto* g = new TASIOGenerator(owner);
  g->SetName(L"ASIOGenerator1");
  {
    TASIOGenerator second(owner);
    EXPECT_EQ(owner->Components(), (std::vector<TComponent*>{g, &second}));
  }
  EXPECT_EQ(owner->Components(), std::vector<TComponent*>{g});
  EXPECT_EQ(g->Owner(), owner);
  EXPECT_EQ(g->Name(), L"ASIOGenerator1");
  delete owner;  // frees g too (the sanitizers report a leak otherwise)
}

}  // namespace
