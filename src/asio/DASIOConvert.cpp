#include "asio/DASIOConvert.h"

#include <bit>
#include <cfloat>
#include <chrono>
#include <cmath>
#include <cstring>
#include <type_traits>
#include <utility>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

// The rounding helpers below rely on every double operation being rounded to
// double (no extended-precision intermediates).
static_assert(FLT_EVAL_METHOD == 0, "double arithmetic must be evaluated in double");

namespace {

// ---------------------------------------------------------------------------
// Byte access

template <class U>
inline U Load(const std::uint8_t* p) {
  U v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

template <class U>
inline void Store(std::uint8_t* p, U v) {
  std::memcpy(p, &v, sizeof v);
}

inline std::uint16_t Swap(std::uint16_t v) { return __builtin_bswap16(v); }
inline std::uint32_t Swap(std::uint32_t v) { return __builtin_bswap32(v); }
inline std::uint64_t Swap(std::uint64_t v) { return __builtin_bswap64(v); }

// ---------------------------------------------------------------------------
// Integer sample formats

struct TIntFormat {
  int Bytes;          // 2, 3 (packed) or 4 bytes per sample
  bool Msb;           // big-endian in the driver's buffer
  int Bits;           // nominal bits of the value
  double OutScale;    // full scale of the out-convertors
  double InFactor64;  // in-convertor factor for double blocks
  double InFactor32;  // in-convertor factor for float blocks
  bool Single24Shift; // float blocks: value placed in the upper 24 bits first
  double Lo;          // limits of the stored value: the type's own N bits,
  double Hi;          // also inside a wider container
};

constexpr float kInFactor16Single = 1.0f / 32767.0f;
static_assert(std::bit_cast<std::uint32_t>(kInFactor16Single) == 0x38000100u);
constexpr double kIn16 = kInFactor16Single;  // held in single precision
constexpr double kIn18 = 1.0 / 131071.0;
constexpr double kIn20 = 1.0 / 524287.0;
constexpr double kIn24 = 1.0 / 8388607.0;
constexpr double kIn32 = 1.0 / 2147483647.0;

constexpr double kLo16 = -32768.0, kHi16 = 32767.0;
constexpr double kLo18 = -131072.0, kHi18 = 131071.0;
constexpr double kLo20 = -524288.0, kHi20 = 524287.0;
constexpr double kLo24 = -8388608.0, kHi24 = 8388607.0;
constexpr double kLo32 = -2147483648.0, kHi32 = 2147483647.0;

constexpr TIntFormat fInt16MSB{2, true, 16, 32767.0, kIn16, kIn16, false, kLo16, kHi16};
constexpr TIntFormat fInt24MSB{3, true, 24, 8388607.0, kIn24, kIn24, false, kLo24, kHi24};
constexpr TIntFormat fInt32MSB{4, true, 32, 2147483647.0, kIn32, kIn32, false, kLo32, kHi32};
constexpr TIntFormat fInt32MSB16{4, true, 16, 32767.0, kIn16, kIn16, false, kLo16, kHi16};
constexpr TIntFormat fInt32MSB18{4, true, 18, 131071.0, kIn18, kIn18, false, kLo18, kHi18};
constexpr TIntFormat fInt32MSB20{4, true, 20, 524287.0, kIn20, kIn20, false, kLo20, kHi20};
constexpr TIntFormat fInt32MSB24{4, true, 24, 8388607.0, kIn24, kIn24, false, kLo24, kHi24};
constexpr TIntFormat fInt16LSB{2, false, 16, 32767.0, kIn16, kIn16, false, kLo16, kHi16};
constexpr TIntFormat fInt24LSB{3, false, 24, 8388607.0, kIn24, kIn32, true, kLo24, kHi24};
constexpr TIntFormat fInt32LSB{4, false, 32, 2147483647.0, kIn32, kIn32, false, kLo32, kHi32};
constexpr TIntFormat fInt32LSB16{4, false, 16, 32767.0, kIn16, kIn16, false, kLo16, kHi16};
constexpr TIntFormat fInt32LSB18{4, false, 18, 131071.0, kIn18, kIn18, false, kLo18, kHi18};
constexpr TIntFormat fInt32LSB20{4, false, 20, 524287.0, kIn20, kIn20, false, kLo20, kHi20};
constexpr TIntFormat fInt32LSB24{4, false, 24, 8388607.0, kIn24, kIn24, false, kLo24, kHi24};

// Reads one sample as a sign-extended integer of its container. With Consume,
// a big-endian 2- or 4-byte sample is reversed in the buffer itself first.
template <TIntFormat F, bool Consume>
inline std::int32_t ReadSample(std::uint8_t* p) {
  if constexpr (F.Bytes == 2) {
    auto u = Load<std::uint16_t>(p);
    if constexpr (F.Msb) {
      u = Swap(u);
      if constexpr (Consume) Store(p, u);
    }
    return static_cast<std::int16_t>(u);
  } else if constexpr (F.Bytes == 4) {
    auto u = Load<std::uint32_t>(p);
    if constexpr (F.Msb) {
      u = Swap(u);
      if constexpr (Consume) Store(p, u);
    }
    return static_cast<std::int32_t>(u);
  } else {
    static_assert(F.Bytes == 3);
    const std::uint32_t u = F.Msb ? (std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) | p[2]
                                  : (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[1]} << 8) | p[0];
    return static_cast<std::int32_t>(u << 8) >> 8;
  }
}

template <TIntFormat F>
inline void WriteSample(std::uint8_t* p, std::int32_t v) {
  if constexpr (F.Bytes == 2) {
    auto u = static_cast<std::uint16_t>(v);
    Store(p, F.Msb ? Swap(u) : u);
  } else if constexpr (F.Bytes == 4) {
    auto u = static_cast<std::uint32_t>(v);
    Store(p, F.Msb ? Swap(u) : u);
  } else {
    const auto u = static_cast<std::uint32_t>(v);
    const auto b0 = static_cast<std::uint8_t>(u), b1 = static_cast<std::uint8_t>(u >> 8),
               b2 = static_cast<std::uint8_t>(u >> 16);
    p[0] = F.Msb ? b2 : b0;
    p[1] = b1;
    p[2] = F.Msb ? b0 : b2;
  }
}

// Rounds to the nearest integer, ties to even, saturating at [lo, hi];
// NaN gives 0.
inline std::int32_t RoundSaturate(double y, double lo, double hi) {
  // Written as selects so that the loops vectorise.
  double c = y > lo ? y : lo;
  c = c < hi ? c : hi;
  c = y == y ? c : 0.0;
  // |c| < 2^31: adding and taking away 1.5 * 2^52 leaves c rounded to an
  // integer in the processor's default (nearest, ties to even) mode.
  constexpr double kRounder = 6755399441055744.0;
  return static_cast<std::int32_t>((c + kRounder) - kRounder);
}

// Truncates toward zero, saturating at [lo, hi]; NaN gives 0.
inline std::int32_t TruncateSaturate(float y, double lo, double hi) {
  // Written as selects so that the loops vectorise; the conversion truncates.
  const double d = y;
  double c = d > lo ? d : lo;
  c = c < hi ? c : hi;
  c = d == d ? c : 0.0;
  return static_cast<std::int32_t>(c);
}

// ---------------------------------------------------------------------------
// Dither

enum class TDither { None, Rectangular, Triangular };

inline std::int32_t DitherDraw(std::uint32_t& seed) {
  seed = seed * 134775813u + 1u;
  return static_cast<std::int32_t>(seed);
}

template <TDither D>
inline double DitherNoise(std::uint32_t& seed) {
  if constexpr (D == TDither::Rectangular) {
    return DitherDraw(seed) * 0x1p-32;
  } else {
    const double r1 = DitherDraw(seed);
    const double r2 = DitherDraw(seed);
    return (r1 + r2) * 0x1p-33;
  }
}

// ---------------------------------------------------------------------------
// Integer convertors

template <TIntFormat F, class T>
void InInt(void* source, T* dest, std::int32_t count) {
  auto* p = static_cast<std::uint8_t*>(source);
  for (std::int32_t i = 0; i < count; ++i, p += F.Bytes) {
    const std::int32_t v = ReadSample<F, true>(p);
    if constexpr (std::is_same_v<T, float>) {
      if constexpr (F.Single24Shift)
        dest[i] = static_cast<float>(static_cast<double>(v * 256) * F.InFactor32);
      else
        dest[i] = static_cast<float>(static_cast<double>(v) * F.InFactor32);
    } else {
      dest[i] = static_cast<double>(v) * F.InFactor64;
    }
  }
}

// 2- and 4-byte formats walk the block from the last sample to the first,
// packed 3-byte formats from the first to the last (the order of the dither
// draws).
template <TIntFormat F, TDither D, class T>
void OutInt(const T* source, void* dest, std::int32_t count) {
  auto* d = static_cast<std::uint8_t*>(dest);
  [[maybe_unused]] std::uint32_t seed = DitherSeed;
  auto one = [&](std::int32_t i) {
    double y = static_cast<double>(source[i]) * F.OutScale;
    if constexpr (D != TDither::None) y += DitherNoise<D>(seed);
    WriteSample<F>(d + static_cast<std::ptrdiff_t>(i) * F.Bytes, RoundSaturate(y, F.Lo, F.Hi));
  };
  if constexpr (F.Bytes == 3) {
    for (std::int32_t i = 0; i < count; ++i) one(i);
  } else {
    for (std::int32_t i = count - 1; i >= 0; --i) one(i);
  }
  if constexpr (D != TDither::None) DitherSeed = seed;
}

// ---------------------------------------------------------------------------
// Float convertors

template <class TFrom, class TTo>
void CopyOrConvert(const void* source, void* dest, std::int32_t count) {
  if (count <= 0) return;
  if constexpr (std::is_same_v<TFrom, TTo>) {
    std::memcpy(dest, source, static_cast<std::size_t>(count) * sizeof(TFrom));
  } else {
    const auto* s = static_cast<const std::uint8_t*>(source);
    auto* d = static_cast<std::uint8_t*>(dest);
    for (std::int32_t i = 0; i < count; ++i)
      Store(d + i * sizeof(TTo), static_cast<TTo>(Load<TFrom>(s + i * sizeof(TFrom))));
  }
}

template <class TBlock>
void InFloat32LSB(void* source, TBlock* dest, std::int32_t count) {
  CopyOrConvert<float, TBlock>(source, dest, count);
}

template <class TBlock>
void InFloat64LSB(void* source, TBlock* dest, std::int32_t count) {
  CopyOrConvert<double, TBlock>(source, dest, count);
}

template <class TBlock>
void OutFloat32LSB(const TBlock* source, void* dest, std::int32_t count) {
  CopyOrConvert<TBlock, float>(source, dest, count);
}

template <class TBlock>
void OutFloat64LSB(const TBlock* source, void* dest, std::int32_t count) {
  CopyOrConvert<TBlock, double>(source, dest, count);
}

// Big-endian float32 to a float block: each reversed word goes into the
// destination; to a double block through a temporary. The source is unchanged.
template <class TBlock>
void InFloat32MSB(void* source, TBlock* dest, std::int32_t count) {
  const auto* s = static_cast<const std::uint8_t*>(source);
  for (std::int32_t i = 0; i < count; ++i)
    dest[i] = static_cast<TBlock>(std::bit_cast<float>(Swap(Load<std::uint32_t>(s + 4 * i))));
}

// Big-endian float64 to a float block: the source is reversed in place and
// then narrowed; to a double block: copied, then reversed in the destination.
void InFloat64MSBToSingle(void* source, float* dest, std::int32_t count) {
  SwapBytes64(source, count);
  CopyOrConvert<double, float>(source, dest, count);
}

void InFloat64MSBToDouble(void* source, double* dest, std::int32_t count) {
  CopyOrConvert<double, double>(source, dest, count);
  SwapBytes64(dest, count);
}

template <class TBlock>
void OutFloat32MSB(const TBlock* source, void* dest, std::int32_t count) {
  CopyOrConvert<TBlock, float>(source, dest, count);
  SwapBytes32(dest, count);
}

template <class TBlock>
void OutFloat64MSB(const TBlock* source, void* dest, std::int32_t count) {
  CopyOrConvert<TBlock, double>(source, dest, count);
  SwapBytes64(dest, count);
}

// ---------------------------------------------------------------------------
// 3DNow! set: single precision, groups of 8, the rest as the plain routine

template <TIntFormat F>
constexpr float Scale3DNow = F.Bits == 32 ? 2147483648.0f : static_cast<float>(F.OutScale);

template <TIntFormat F>
constexpr float InFactor3DNow = F.Bits == 32   ? 0x1p-31f
                                : F.Bits == 16 ? 1.0f / 32767.0f
                                : F.Bits == 18 ? 1.0f / 131071.0f
                                : F.Bits == 20 ? 1.0f / 524287.0f
                                               : 1.0f / 8388607.0f;
static_assert(std::bit_cast<std::uint32_t>(InFactor3DNow<fInt32LSB18>) == 0x37000040u);
static_assert(std::bit_cast<std::uint32_t>(InFactor3DNow<fInt32LSB20>) == 0x36000010u);
static_assert(std::bit_cast<std::uint32_t>(InFactor3DNow<fInt32LSB24>) == 0x34000001u);

template <TIntFormat F>
void In3DNow(void* source, float* dest, std::int32_t count) {
  const std::int32_t whole = count > 0 ? count / 8 * 8 : 0;
  auto* p = static_cast<std::uint8_t*>(source);
  constexpr float k = InFactor3DNow<F>;
  for (std::int32_t i = 0; i < whole; ++i)
    dest[i] = static_cast<float>(ReadSample<F, true>(p + 4 * i)) * k;
  if (count > whole) InInt<F, float>(p + 4 * whole, dest + whole, count - whole);
}

template <TIntFormat F>
void Out3DNow(const float* source, void* dest, std::int32_t count) {
  const std::int32_t whole = count > 0 ? count / 8 * 8 : 0;
  auto* d = static_cast<std::uint8_t*>(dest);
  constexpr float scale = Scale3DNow<F>;
  for (std::int32_t i = 0; i < whole; ++i) WriteSample<F>(d + 4 * i, TruncateSaturate(source[i] * scale, F.Lo, F.Hi));
  if (count > whole) OutInt<F, TDither::None, float>(source + whole, d + 4 * whole, count - whole);
}

// ---------------------------------------------------------------------------
// Full-scale detectors

template <TIntFormat F>
bool DetectInt(const void* block, std::int32_t count) {
  constexpr std::int64_t hi = (std::int64_t{1} << (F.Bits - 1)) - 1;
  constexpr std::int64_t lo = -(std::int64_t{1} << (F.Bits - 1));
  // Reading without Consume leaves the block as it is.
  auto* p = static_cast<std::uint8_t*>(const_cast<void*>(block));
  for (std::int32_t i = 0; i < count; ++i) {
    const std::int64_t v = ReadSample<F, false>(p + static_cast<std::ptrdiff_t>(i) * F.Bytes);
    if (v == hi || v == lo) return true;
  }
  return false;
}

template <class TFloat, bool Msb>
bool DetectFloat(const void* block, std::int32_t count) {
  using U = std::conditional_t<sizeof(TFloat) == 4, std::uint32_t, std::uint64_t>;
  const auto* p = static_cast<const std::uint8_t*>(block);
  for (std::int32_t i = 0; i < count; ++i) {
    U u = Load<U>(p + i * sizeof(U));
    if constexpr (Msb) u = Swap(u);
    if (std::fabs(std::bit_cast<TFloat>(u)) > TFloat(1)) return true;
  }
  return false;
}

// ---------------------------------------------------------------------------
// Clips

// +-infinity gives +-1 and NaN 0; returns false for finite samples.
template <class T>
inline bool ClipNonFinite(T& x) {
  if (std::isnan(x)) {
    x = T(0);
    return true;
  }
  if (std::isinf(x)) {
    x = std::copysign(T(1), x);
    return true;
  }
  return false;
}

template <class T>
inline T AnalogCurve(T x) {
  if (ClipNonFinite(x)) return x;
  const long double l = x;
  const long double a = std::fabs(l);
  return static_cast<T>(2.0L * l * (3.0L + a) / (a * (3.0L + a) + 6.0L));
}

// ---------------------------------------------------------------------------
// Fades and scanners

template <class T>
void RampUp(T* block, std::int32_t count) {
  if (count <= 0) return;
  const double step = 1.0 / count;
  for (std::int32_t k = 0; k < count; ++k) block[k] = static_cast<T>(block[k] * ((k + 1) * step));
}

// Mirror of RampUp: from 1 down to 1/n.
template <class T>
void RampDown(T* block, std::int32_t count) {
  if (count <= 0) return;
  const double step = 1.0 / count;
  for (std::int32_t k = 0; k < count; ++k) block[k] = static_cast<T>(block[k] * ((count - k) * step));
}

// From the last sample toward the first, each sample times a factor that
// starts at `start` and moves by `step` (added or multiplied) after each
// sample. The fade ends once the factor reaches 1.0 from the side it started
// on; a fade that starts at exactly 1.0 runs through the whole block.
template <class T, bool Multiply>
void StepFade(T* block, std::int32_t count, double start, double step) {
  double factor = start;
  for (std::int32_t i = count - 1; i >= 0; --i) {
    block[i] = static_cast<T>(block[i] * factor);
    factor = Multiply ? factor * step : factor + step;
    if ((start < 1.0 && factor >= 1.0) || (start > 1.0 && factor <= 1.0)) break;
  }
}

// From the last sample toward the first: the position (counted from 1) of the
// first sample met whose magnitude is below the threshold; -1 when none is.
template <class T>
std::int32_t Scan(const T* block, std::int32_t count, double threshold) {
  for (std::int32_t i = count - 1; i >= 0; --i)
    if (std::fabs(static_cast<double>(block[i])) < threshold) return i + 1;
  return -1;
}

template <class T>
void MixBlocks(const T* source, T* dest, std::int32_t count) {
  for (std::int32_t i = 0; i < count; ++i) dest[i] += source[i];
}

template <class T>
void ScaleBlock(T* block, std::int32_t count, T factor) {
  for (std::int32_t i = 0; i < count; ++i) block[i] *= factor;
}

// Whole groups of Group samples, the rest as the plain routine does.
template <std::int32_t Group>
inline std::int32_t WholeGroups(std::int32_t count) {
  return count > 0 ? count / Group * Group : 0;
}

// ---------------------------------------------------------------------------
// Table rows

template <TIntFormat F>
constexpr TInConvertor IntIn() {
  return {&InInt<F, float>, &InInt<F, double>};
}

template <TIntFormat F, TDither D = TDither::None>
constexpr TOutConvertor IntOut() {
  return {&OutInt<F, D, float>, &OutInt<F, D, double>};
}

constexpr TConvertRoutineTable MakePlainTable() {
  return TConvertRoutineTable{
      {{IntIn<fInt16MSB>(),
        IntIn<fInt24MSB>(),
        IntIn<fInt32MSB>(),
        {&InFloat32MSB<float>, &InFloat32MSB<double>},
        {&InFloat64MSBToSingle, &InFloat64MSBToDouble},
        IntIn<fInt32MSB16>(),
        IntIn<fInt32MSB18>(),
        IntIn<fInt32MSB20>(),
        IntIn<fInt32MSB24>(),
        IntIn<fInt16LSB>(),
        IntIn<fInt24LSB>(),
        IntIn<fInt32LSB>(),
        {&InFloat32LSB<float>, &InFloat32LSB<double>},
        {&InFloat64LSB<float>, &InFloat64LSB<double>},
        IntIn<fInt32LSB16>(),
        IntIn<fInt32LSB18>(),
        IntIn<fInt32LSB20>(),
        IntIn<fInt32LSB24>()}},
      {{IntOut<fInt16MSB>(),
        IntOut<fInt24MSB>(),
        IntOut<fInt32MSB>(),
        {&OutFloat32MSB<float>, &OutFloat32MSB<double>},
        {&OutFloat64MSB<float>, &OutFloat64MSB<double>},
        IntOut<fInt32MSB16>(),
        IntOut<fInt32MSB18>(),
        IntOut<fInt32MSB20>(),
        IntOut<fInt32MSB24>(),
        IntOut<fInt16LSB>(),
        IntOut<fInt24LSB>(),
        IntOut<fInt32LSB>(),
        {&OutFloat32LSB<float>, &OutFloat32LSB<double>},
        {&OutFloat64LSB<float>, &OutFloat64LSB<double>},
        IntOut<fInt32LSB16>(),
        IntOut<fInt32LSB18>(),
        IntOut<fInt32LSB20>(),
        IntOut<fInt32LSB24>()}},
      {{&DetectInt<fInt16MSB>, &DetectInt<fInt24MSB>, &DetectInt<fInt32MSB>,
        &DetectFloat<float, true>, &DetectFloat<double, true>, &DetectInt<fInt32MSB16>,
        &DetectInt<fInt32MSB18>, &DetectInt<fInt32MSB20>, &DetectInt<fInt32MSB24>,
        &DetectInt<fInt16LSB>, &DetectInt<fInt24LSB>, &DetectInt<fInt32LSB>,
        &DetectFloat<float, false>, &DetectFloat<double, false>, &DetectInt<fInt32LSB16>,
        &DetectInt<fInt32LSB18>, &DetectInt<fInt32LSB20>, &DetectInt<fInt32LSB24>}},
      {&MixBlocks32, &MixBlocks64},
      {&ScaleBlock32, &ScaleBlock64},
      {&RampUp<float>, &RampUp<double>},
      {&RampDown<float>, &RampDown<double>},
      {&StepFade<float, false>, &StepFade<double, false>},
      {&StepFade<float, true>, &StepFade<double, true>},
      {&DigitalClip32, &DigitalClip64},
      {&AnalogClip32, &AnalogClip64},
      {&Scan<float>, &Scan<double>}};
}

template <TIntFormat F, TDither D>
void InstallDithered(ASIOSampleType type) {
  ConvertRoutineTable.OutConvertors[static_cast<std::size_t>(ConvertSlotOf(type))] = IntOut<F, D>();
}

template <TDither D>
void InstallDither() {
  InstallFpuRoutines();
  DitherSeed = static_cast<std::uint32_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(
          std::chrono::steady_clock::now().time_since_epoch())
          .count());
  InstallDithered<fInt16LSB, D>(ASIOSTInt16LSB);
  InstallDithered<fInt24LSB, D>(ASIOSTInt24LSB);
  InstallDithered<fInt32LSB16, D>(ASIOSTInt32LSB16);
  InstallDithered<fInt32LSB18, D>(ASIOSTInt32LSB18);
  InstallDithered<fInt32LSB20, D>(ASIOSTInt32LSB20);
  InstallDithered<fInt32LSB24, D>(ASIOSTInt32LSB24);
}

template <TIntFormat F>
void Install3DNowPair(ASIOSampleType type) {
  const auto slot = static_cast<std::size_t>(ConvertSlotOf(type));
  ConvertRoutineTable.InConvertors[slot].ic32 = &In3DNow<F>;
  ConvertRoutineTable.OutConvertors[slot].oc32 = &Out3DNow<F>;
}

}  // namespace

// ---------------------------------------------------------------------------
// Process-wide state

constinit TConvertRoutineTable ConvertRoutineTable = MakePlainTable();
std::uint8_t ProcessorType = ProcessorFpu;
std::uint32_t DitherSeed = 0;

int ConvertSlotOf(ASIOSampleType type) noexcept {
  if (type >= 0 && type <= 4) return type;
  if (type >= 8 && type <= 11) return type - 3;
  if (type >= 16 && type <= 20) return type - 7;
  if (type >= 24 && type <= 27) return type - 10;
  return -1;
}

std::optional<TInConvertor> InConvertorOf(ASIOSampleType type) noexcept {
  const int slot = ConvertSlotOf(type);
  if (slot < 0) return std::nullopt;
  return ConvertRoutineTable.InConvertors[static_cast<std::size_t>(slot)];
}

std::optional<TOutConvertor> OutConvertorOf(ASIOSampleType type) noexcept {
  const int slot = ConvertSlotOf(type);
  if (slot < 0) return std::nullopt;
  return ConvertRoutineTable.OutConvertors[static_cast<std::size_t>(slot)];
}

TFullScaleDetector FullScaleDetectorOf(ASIOSampleType type) noexcept {
  const int slot = ConvertSlotOf(type);
  return slot < 0 ? nullptr : ConvertRoutineTable.FullScaleDetectors[static_cast<std::size_t>(slot)];
}

// ---------------------------------------------------------------------------
// Installers

void InstallFpuRoutines() { ConvertRoutineTable = MakePlainTable(); }

void InstallSseRoutines() {
  ConvertRoutineTable.DigitalClipPair.cb32 = &DigitalClip32SSE;
  ConvertRoutineTable.AnalogClipPair.cb32 = &AnalogClip32SSE;
  ConvertRoutineTable.MixPair.mb32 = &MixBlocks32SSE;
  ConvertRoutineTable.VolumePair.vb32 = &ScaleBlock32SSE;
}

void Install3DNowRoutines() {
  Install3DNowPair<fInt32LSB>(ASIOSTInt32LSB);
  Install3DNowPair<fInt32LSB16>(ASIOSTInt32LSB16);
  Install3DNowPair<fInt32LSB18>(ASIOSTInt32LSB18);
  Install3DNowPair<fInt32LSB20>(ASIOSTInt32LSB20);
  Install3DNowPair<fInt32LSB24>(ASIOSTInt32LSB24);
  ConvertRoutineTable.MixPair.mb32 = &MixBlocks32_3DNow;
  ConvertRoutineTable.VolumePair.vb32 = &ScaleBlock32_3DNow;
}

void UseRectangularDither() { InstallDither<TDither::Rectangular>(); }

void UseTriangularDither() { InstallDither<TDither::Triangular>(); }

// ---------------------------------------------------------------------------
// Processor identification

bool NativeCpuId(std::uint32_t leaf, TCpuIdRegisters& regs) {
#if defined(__x86_64__) || defined(__i386__)
  if (__get_cpuid_max(0, nullptr) == 0) return false;  // no identification instruction
  __cpuid(leaf, regs.eax, regs.ebx, regs.ecx, regs.edx);
  return true;
#else
  (void)leaf;
  (void)regs;
  return false;
#endif
}

void SelectProcessorRoutines(TCpuIdQuery query) {
  InstallFpuRoutines();
  ProcessorType = ProcessorFpu;
  TCpuIdRegisters regs;
  if (query != nullptr && query(1, regs) && (regs.edx & (1u << 25)) != 0) ProcessorType = ProcessorSse;
  if (ProcessorType == ProcessorSse) InstallSseRoutines();
  if (query != nullptr && query(0x80000000u, regs) && regs.eax > 0x80000000u &&
      query(0x80000001u, regs) && (regs.edx & (1u << 31)) != 0)
    ProcessorType = Processor3DNow;
  if (ProcessorType == Processor3DNow) Install3DNowRoutines();
}

// ---------------------------------------------------------------------------
// Named routines

void SwapBytes24(void* block, std::int32_t count) {
  auto* p = static_cast<std::uint8_t*>(block);
  for (std::int32_t i = 0; i < count; ++i, p += 3) std::swap(p[0], p[2]);
}

void SwapBytes32(void* block, std::int32_t count) {
  auto* p = static_cast<std::uint8_t*>(block);
  for (std::int32_t i = 0; i < count; ++i, p += 4) Store(p, Swap(Load<std::uint32_t>(p)));
}

void SwapBytes64(void* block, std::int32_t count) {
  auto* p = static_cast<std::uint8_t*>(block);
  for (std::int32_t i = 0; i < count; ++i, p += 8) Store(p, Swap(Load<std::uint64_t>(p)));
}

// Compares the magnitude bits with those of 1.0: within full scale the sample
// stays bit for bit; above it (NaN included) takes 1.0 with its own sign.
void DigitalClip32(float* block, std::int32_t count) {
  for (std::int32_t i = 0; i < count; ++i) {
    const auto bits = std::bit_cast<std::uint32_t>(block[i]);
    if ((bits & 0x7FFFFFFFu) > 0x3F800000u) block[i] = std::bit_cast<float>((bits & 0x80000000u) | 0x3F800000u);
  }
}

// (|x + 1| - |x - 1|) / 2 in extended precision for samples within full
// scale; beyond it the exact result +-1 (the formula itself loses the 1 for
// very large magnitudes and gives NaN for infinities). NaN takes 1.0 with
// its own sign.
void DigitalClip64(double* block, std::int32_t count) {
  for (std::int32_t i = 0; i < count; ++i) {
    const double x = block[i];
    if (std::isnan(x) || std::fabs(x) >= 1.0) {
      block[i] = std::copysign(1.0, x);
    } else {
      const long double l = x;
      block[i] = static_cast<double>((std::fabs(l + 1.0L) - std::fabs(l - 1.0L)) * 0.5L);
    }
  }
}

// Sixteen samples per step clamped by a minimum with 1.0 and a maximum with
// -1.0, the rest as DigitalClip32.
void DigitalClip32SSE(float* block, std::int32_t count) {
  const std::int32_t whole = WholeGroups<16>(count);
  for (std::int32_t i = 0; i < whole; ++i) {
    const float x = block[i];
    block[i] = x != x ? std::copysign(1.0f, x) : x > 1.0f ? 1.0f : x < -1.0f ? -1.0f : x;
  }
  if (count > whole) DigitalClip32(block + whole, count - whole);
}

void AnalogClip32(float* block, std::int32_t count) {
  for (std::int32_t i = 0; i < count; ++i) block[i] = AnalogCurve(block[i]);
}

void AnalogClip64(double* block, std::int32_t count) {
  for (std::int32_t i = 0; i < count; ++i) block[i] = AnalogCurve(block[i]);
}

// Four samples per step with the curve in single precision, the rest in
// extended precision. From 2^32 on the single-precision curve is exactly 2;
// it is kept there rather than running into overflow.
void AnalogClip32SSE(float* block, std::int32_t count) {
  const std::int32_t whole = WholeGroups<4>(count);
  for (std::int32_t i = 0; i < whole; ++i) {
    float x = block[i];
    if (!ClipNonFinite(x)) {
      const float a = std::fabs(x);
      x = a >= 0x1p32f ? std::copysign(2.0f, x) : 2.0f * x * (3.0f + a) / (a * (3.0f + a) + 6.0f);
    }
    block[i] = x;
  }
  if (count > whole) AnalogClip32(block + whole, count - whole);
}

void MixBlocks32(const float* source, float* dest, std::int32_t count) { MixBlocks(source, dest, count); }

void MixBlocks64(const double* source, double* dest, std::int32_t count) { MixBlocks(source, dest, count); }

void MixBlocks32SSE(const float* source, float* dest, std::int32_t count) {
  const std::int32_t whole = WholeGroups<16>(count);
  MixBlocks(source, dest, whole);
  if (count > whole) MixBlocks32(source + whole, dest + whole, count - whole);
}

void MixBlocks32_3DNow(const float* source, float* dest, std::int32_t count) {
  const std::int32_t whole = WholeGroups<8>(count);
  MixBlocks(source, dest, whole);
  if (count > whole) MixBlocks32(source + whole, dest + whole, count - whole);
}

void ScaleBlock32(float* block, std::int32_t count, float factor) { ScaleBlock(block, count, factor); }

void ScaleBlock64(double* block, std::int32_t count, double factor) { ScaleBlock(block, count, factor); }

void ScaleBlock32SSE(float* block, std::int32_t count, float factor) {
  const std::int32_t by16 = WholeGroups<16>(count);
  const std::int32_t by4 = by16 + WholeGroups<4>(count - by16);
  ScaleBlock(block, by4, factor);
  if (count > by4) ScaleBlock32(block + by4, count - by4, factor);
}

void ScaleBlock32_3DNow(float* block, std::int32_t count, float factor) {
  const std::int32_t whole = WholeGroups<8>(count);
  ScaleBlock(block, whole, factor);
  if (count > whole) ScaleBlock32(block + whole, count - whole, factor);
}
