#include "asio/ASIO.h"

std::int64_t AsioInt64ToInt64(const TASIOInt64& value) noexcept {
  return static_cast<std::int64_t>((static_cast<std::uint64_t>(value.hi) << 32) | value.lo);
}

TASIOInt64 Int64ToAsioInt64(std::int64_t value) noexcept {
  const auto bits = static_cast<std::uint64_t>(value);
  return TASIOInt64{static_cast<std::uint32_t>(bits >> 32), static_cast<std::uint32_t>(bits)};
}

int AsioSampleBytes(ASIOSampleType type) noexcept {
  if (ConvertSlotOf(type) < 0) return 0;
  switch (type) {
    case ASIOSTInt16MSB:
    case ASIOSTInt16LSB:
      return 2;
    case ASIOSTInt24MSB:
    case ASIOSTInt24LSB:
      return 3;
    case ASIOSTFloat64MSB:
    case ASIOSTFloat64LSB:
      return 8;
    default:
      return 4;
  }
}

bool AsioSampleIsMSB(ASIOSampleType type) noexcept { return type >= ASIOSTInt16MSB && type <= ASIOSTInt32MSB24; }
