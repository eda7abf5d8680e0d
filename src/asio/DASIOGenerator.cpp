#include "asio/DASIOGenerator.h"

#include <algorithm>

void TASIOGenerator::ProcessBlock(TAVDArrayOfSingleDynArray& SingleBlock, bool /*isOutput*/) {
  for (auto& block : SingleBlock) std::fill_n(block.begin(), WritableFrames(block), 0.0f);
}

std::size_t TASIOGenerator::WritableFrames(const std::vector<float>& block) const {
  return std::min<std::size_t>(block.size(), fBlockSize);
}
