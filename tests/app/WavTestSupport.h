// Helpers shared by the file tests: test seconds, scratch folders, file bytes.
#pragma once

#include <cstdint>
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "app/WavFile.h"
#include "synthesis/UnitType.h"

namespace wavtest {

// One second whose samples spread over the whole range of `Bits`, both signs
// and both extremes included; the right channel differs from the left.
inline TWaveBufferIntegerStereo PatternSecond(std::int32_t Rate, std::int32_t Bits, std::uint32_t Seed = 1) {
  const std::int64_t m = (std::int64_t(1) << (Bits - 1)) - 2;  // the quantiser's limit
  std::mt19937 gen(Seed);
  std::uniform_int_distribution<std::int64_t> dist(-m, m);
  TWaveBufferIntegerStereo s{TWaveBufferInteger(std::size_t(Rate)), TWaveBufferInteger(std::size_t(Rate))};
  for (std::size_t i = 0; i < s[0].size(); ++i) {
    s[0][i] = std::int32_t(dist(gen));
    s[1][i] = std::int32_t(dist(gen));
  }
  s[0][0] = std::int32_t(m);
  s[1][0] = std::int32_t(-m);
  if (Rate > 1) {
    s[0][1] = -1;
    s[1][1] = 0;
  }
  return s;
}

// A folder of its own under the system's temporary folder, removed at the end.
class TScratchDir {
 public:
  explicit TScratchDir(const std::string& Name) {
    std::random_device rd;
    FPath = std::filesystem::temp_directory_path() / ("krv_" + Name + "_" + std::to_string(rd()));
    std::filesystem::create_directories(FPath);
  }
  ~TScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(FPath, ignored);
  }
  const std::filesystem::path& Path() const { return FPath; }
  std::filesystem::path operator/(const std::string& Name) const { return FPath / Name; }

 private:
  std::filesystem::path FPath;
};

inline std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A file's bytes as text, and a file written with exactly these bytes.
inline std::string ReadText(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteText(const std::filesystem::path& p, const std::string& Text) {
  std::ofstream(p, std::ios::binary) << Text;
}

// A file in memory that fails with a full disk once Limit bytes would be
// exceeded, and at Close when FailClose is set.
class TMemorySink : public TByteSink {
 public:
  explicit TMemorySink(std::size_t Limit = SIZE_MAX) : FLimit(Limit) {}
  void Write(const std::uint8_t* Data, std::size_t Size) override {
    if (Out.size() + Size > FLimit) throw EFileError("Error - Cannot write the file \"t.wav\": No space left on device.");
    Out.insert(Out.end(), Data, Data + Size);
  }
  void WriteAt(std::uint64_t Offset, const std::uint8_t* Data, std::size_t Size) override {
    if (Offset + Size > Out.size()) throw EFileError("Error - Cannot write the file \"t.wav\": Invalid argument.");
    std::copy(Data, Data + Size, Out.begin() + std::ptrdiff_t(Offset));
  }
  void Close() override {
    if (FailClose) throw EFileError("Error - Cannot write the file \"t.wav\": Input/output error.");
    ++Closed;
  }
  void Discard() noexcept override { ++Discarded; }
  std::vector<std::uint8_t> Out;
  int Closed = 0;
  int Discarded = 0;
  bool FailClose = false;

 private:
  std::size_t FLimit;
};

inline std::uint32_t U32At(const std::vector<std::uint8_t>& b, std::size_t at) {
  return std::uint32_t(b.at(at)) | std::uint32_t(b.at(at + 1)) << 8 | std::uint32_t(b.at(at + 2)) << 16 |
         std::uint32_t(b.at(at + 3)) << 24;
}

}  // namespace wavtest
