// The signal set file loader against arbitrary input at every output format
// the program offers: it never crashes, and every set it accepts is written
// back and read again unchanged, and loads back at any other format it is
// saved at.
#include "dialogs/SignalsFile.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  static constexpr std::int32_t kRates[] = {32000, 44056, 44100, 48000, 88200, 96000, 176400, 192000, 352800, 384000};
  static constexpr std::int32_t kBits[] = {16, 20, 24, 32};
  const std::int32_t rate = kRates[data[0] % 10];
  const std::int32_t bits = kBits[(data[0] / 10) % 4];
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  const auto records = ParseSignalsText(text, rate, bits);
  if (records && ParseSignalsText(SignalsFileText(*records), rate, bits) != records) {
    std::fprintf(stderr, "an accepted signal set does not survive a save and a load\n");
    std::abort();
  }
  if (records) {
    const std::int32_t otherRate = kRates[(data[0] / 40 + data[0]) % 10];
    const std::int32_t otherBits = kBits[(data[0] / 3) % 4];
    const TSignalAttributeArray saved = SavableSignalAttributeArray(*records, otherRate, otherBits);
    if (ParseSignalsText(SignalsFileText(saved), otherRate, otherBits) != saved) {
      std::fprintf(stderr, "a set saved at %d Hz / %d bits does not load back there\n", otherRate, otherBits);
      std::abort();
    }
  }
  return 0;
}
