// Block generator that an ASIO host can ask to fill its float blocks of a
// buffer half instead of converting them from the driver. The base class
// writes silence; a generator with a signal derives from it and replaces
// ProcessBlock.
#pragma once

#include <cstdint>
#include <vector>

#include "framework/Component.h"

// One block of samples per channel, indexed [channel][frame].
using TAVDArrayOfSingleDynArray = std::vector<std::vector<float>>;
using TAVDArrayOfDoubleDynArray = std::vector<std::vector<double>>;

class TASIOGenerator : public TComponent {
 public:
  explicit TASIOGenerator(TComponent* AOwner = nullptr) : TComponent(AOwner) {}

  double SampleRate() const { return fSampleRate; }
  void SetSampleRate(double value) { fSampleRate = value; }

  std::uint32_t BlockSize() const { return fBlockSize; }
  void SetBlockSize(std::uint32_t value) { fBlockSize = value; }

  // Fills the first BlockSize samples of every channel block of SingleBlock
  // (output blocks when isOutput, input blocks otherwise). Never writes past
  // the end of a block, whatever BlockSize says.
  virtual void ProcessBlock(TAVDArrayOfSingleDynArray& SingleBlock, bool isOutput);

 protected:
  // Number of samples a generator may write into `block`.
  std::size_t WritableFrames(const std::vector<float>& block) const;

 private:
  double fSampleRate = 44100.0;
  std::uint32_t fBlockSize = 2048;
};
