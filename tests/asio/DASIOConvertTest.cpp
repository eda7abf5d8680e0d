#include "asio/DASIOConvert.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <cstring>
#include <limits>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

enum class Kind { Int, Float32, Float64 };

struct TypeCase {
  ASIOSampleType type;
  Kind kind;
  int bytes;      // per sample
  bool msb;
  double scale;   // out scale (integer types)
  double in64;    // in factor to double
  double lo, hi;  // limits of the stored value (the type's own bits)
  Bytes plusOne;  // +1.0 converted
  Bytes minusOne; // -1.0 converted
};

constexpr double kIn16 = static_cast<double>(1.0f / 32767.0f);
constexpr double kIn18 = 7.629452739355006e-06;
constexpr double kIn20 = 1.907352270798246e-06;
constexpr double kIn24 = 1.1920930376163766e-07;
constexpr double kIn32 = 4.656612875245797e-10;
constexpr double kI32Lo = -2147483648.0, kI32Hi = 2147483647.0;

const std::vector<TypeCase>& AllTypes() {
  static const std::vector<TypeCase> cases = {
      {ASIOSTInt16MSB, Kind::Int, 2, true, 32767, kIn16, -32768, 32767, {0x7F, 0xFF}, {0x80, 0x01}},
      {ASIOSTInt24MSB, Kind::Int, 3, true, 8388607, kIn24, -8388608, 8388607, {0x7F, 0xFF, 0xFF}, {0x80, 0x00, 0x01}},
      {ASIOSTInt32MSB, Kind::Int, 4, true, 2147483647, kIn32, kI32Lo, kI32Hi, {0x7F, 0xFF, 0xFF, 0xFF}, {0x80, 0, 0, 0x01}},
      {ASIOSTFloat32MSB, Kind::Float32, 4, true, 0, 0, 0, 0, {0x3F, 0x80, 0, 0}, {0xBF, 0x80, 0, 0}},
      {ASIOSTFloat64MSB, Kind::Float64, 8, true, 0, 0, 0, 0, {0x3F, 0xF0, 0, 0, 0, 0, 0, 0}, {0xBF, 0xF0, 0, 0, 0, 0, 0, 0}},
      {ASIOSTInt32MSB16, Kind::Int, 4, true, 32767, kIn16, -32768, 32767, {0, 0, 0x7F, 0xFF}, {0xFF, 0xFF, 0x80, 0x01}},
      {ASIOSTInt32MSB18, Kind::Int, 4, true, 131071, kIn18, -131072, 131071, {0, 0x01, 0xFF, 0xFF}, {0xFF, 0xFE, 0, 0x01}},
      {ASIOSTInt32MSB20, Kind::Int, 4, true, 524287, kIn20, -524288, 524287, {0, 0x07, 0xFF, 0xFF}, {0xFF, 0xF8, 0, 0x01}},
      {ASIOSTInt32MSB24, Kind::Int, 4, true, 8388607, kIn24, -8388608, 8388607, {0, 0x7F, 0xFF, 0xFF}, {0xFF, 0x80, 0, 0x01}},
      {ASIOSTInt16LSB, Kind::Int, 2, false, 32767, kIn16, -32768, 32767, {0xFF, 0x7F}, {0x01, 0x80}},
      {ASIOSTInt24LSB, Kind::Int, 3, false, 8388607, kIn24, -8388608, 8388607, {0xFF, 0xFF, 0x7F}, {0x01, 0x00, 0x80}},
      {ASIOSTInt32LSB, Kind::Int, 4, false, 2147483647, kIn32, kI32Lo, kI32Hi, {0xFF, 0xFF, 0xFF, 0x7F}, {0x01, 0, 0, 0x80}},
      {ASIOSTFloat32LSB, Kind::Float32, 4, false, 0, 0, 0, 0, {0, 0, 0x80, 0x3F}, {0, 0, 0x80, 0xBF}},
      {ASIOSTFloat64LSB, Kind::Float64, 8, false, 0, 0, 0, 0, {0, 0, 0, 0, 0, 0, 0xF0, 0x3F}, {0, 0, 0, 0, 0, 0, 0xF0, 0xBF}},
      {ASIOSTInt32LSB16, Kind::Int, 4, false, 32767, kIn16, -32768, 32767, {0xFF, 0x7F, 0, 0}, {0x01, 0x80, 0xFF, 0xFF}},
      {ASIOSTInt32LSB18, Kind::Int, 4, false, 131071, kIn18, -131072, 131071, {0xFF, 0xFF, 0x01, 0}, {0x01, 0, 0xFE, 0xFF}},
      {ASIOSTInt32LSB20, Kind::Int, 4, false, 524287, kIn20, -524288, 524287, {0xFF, 0xFF, 0x07, 0}, {0x01, 0, 0xF8, 0xFF}},
      {ASIOSTInt32LSB24, Kind::Int, 4, false, 8388607, kIn24, -8388608, 8388607, {0xFF, 0xFF, 0x7F, 0}, {0x01, 0, 0x80, 0xFF}},
  };
  return cases;
}

const TypeCase& CaseOf(ASIOSampleType type) {
  for (const auto& c : AllTypes())
    if (c.type == type) return c;
  throw std::runtime_error("no case");
}

std::string Name(const TypeCase& c) { return "type " + std::to_string(c.type); }

// Integer sample in the driver's layout.
Bytes Encode(const TypeCase& c, std::int64_t v) {
  Bytes b(static_cast<std::size_t>(c.bytes));
  for (int i = 0; i < c.bytes; ++i) {
    const auto byte = static_cast<std::uint8_t>(static_cast<std::uint64_t>(v) >> (8 * i));
    b[static_cast<std::size_t>(c.msb ? c.bytes - 1 - i : i)] = byte;
  }
  return b;
}

std::int64_t Decode(const TypeCase& c, const std::uint8_t* p) {
  std::uint64_t u = 0;
  for (int i = 0; i < c.bytes; ++i) u |= std::uint64_t{p[c.msb ? c.bytes - 1 - i : i]} << (8 * i);
  const int shift = 64 - 8 * c.bytes;
  return static_cast<std::int64_t>(u << shift) >> shift;
}

Bytes Slice(const Bytes& b, const TypeCase& c, std::size_t i) {
  const auto n = static_cast<std::size_t>(c.bytes);
  return Bytes(b.begin() + static_cast<std::ptrdiff_t>(i * n), b.begin() + static_cast<std::ptrdiff_t>((i + 1) * n));
}

template <class T>
Bytes Out(ASIOSampleType type, const std::vector<T>& x) {
  const auto& c = CaseOf(type);
  Bytes b(x.size() * static_cast<std::size_t>(c.bytes), 0xCD);
  const auto oc = OutConvertorOf(type).value();
  if constexpr (std::is_same_v<T, float>)
    oc.oc32(x.data(), b.data(), static_cast<std::int32_t>(x.size()));
  else
    oc.oc64(x.data(), b.data(), static_cast<std::int32_t>(x.size()));
  return b;
}

template <class T>
std::vector<T> In(ASIOSampleType type, Bytes b) {
  const auto& c = CaseOf(type);
  std::vector<T> x(b.size() / static_cast<std::size_t>(c.bytes));
  const auto ic = InConvertorOf(type).value();
  if constexpr (std::is_same_v<T, float>)
    ic.ic32(b.data(), x.data(), static_cast<std::int32_t>(x.size()));
  else
    ic.ic64(b.data(), x.data(), static_cast<std::int32_t>(x.size()));
  return x;
}

std::int32_t Int32At(const Bytes& b, std::size_t i) {
  std::int32_t v;
  std::memcpy(&v, b.data() + 4 * i, 4);
  return v;
}

class ConvertTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallFpuRoutines();
    DitherSeed = 0;
  }
  void TearDown() override { InstallFpuRoutines(); }
};

// ---------------------------------------------------------------------------
// Table-driven conversion over the eighteen types

TEST_F(ConvertTest, FullScaleToExactBytesAndBack) {
  for (const auto& c : AllTypes()) {
    SCOPED_TRACE(Name(c));
    const std::vector<float> xs{1.0f, -1.0f};
    const std::vector<double> xd{1.0, -1.0};
    for (const Bytes& b : {Out(c.type, xs), Out(c.type, xd)}) {
      EXPECT_EQ(Slice(b, c, 0), c.plusOne);
      EXPECT_EQ(Slice(b, c, 1), c.minusOne);
    }
    const Bytes b = Out(c.type, xd);
    const auto backD = In<double>(c.type, b);
    const auto backS = In<float>(c.type, b);
    if (c.kind == Kind::Int) {
      EXPECT_EQ(backD[0], c.scale * c.in64);
      EXPECT_EQ(backD[1], -c.scale * c.in64);
      EXPECT_NEAR(backD[0], 1.0, 1e-9);
      EXPECT_NEAR(backS[1], -1.0f, 2e-7);
    } else {
      EXPECT_EQ(backD, xd);
      EXPECT_EQ(backS, xs);
    }
  }
}

TEST_F(ConvertTest, InnerValuesRoundToNearestAndReadBack) {
  const std::vector<double> xd{0.5, -0.25, 0.0, 1e-3, -0.7071};
  for (const auto& c : AllTypes()) {
    if (c.kind != Kind::Int) continue;
    SCOPED_TRACE(Name(c));
    const std::vector<float> xs(xd.begin(), xd.end());
    const Bytes bd = Out(c.type, xd), bs = Out(c.type, xs);
    for (std::size_t i = 0; i < xd.size(); ++i) {
      const auto vd = Decode(c, bd.data() + i * static_cast<std::size_t>(c.bytes));
      const auto vs = Decode(c, bs.data() + i * static_cast<std::size_t>(c.bytes));
      EXPECT_EQ(vd, static_cast<std::int64_t>(std::nearbyint(xd[i] * c.scale))) << xd[i];
      EXPECT_EQ(vs, static_cast<std::int64_t>(std::nearbyint(static_cast<double>(xs[i]) * c.scale))) << xd[i];
    }
    const auto back = In<double>(c.type, bd);
    for (std::size_t i = 0; i < xd.size(); ++i) EXPECT_NEAR(back[i], xd[i], 0.6 / c.scale);
  }
}

TEST_F(ConvertTest, FloatTypesRoundTripAtFullPrecision) {
  const std::vector<double> xd{0.1, -0.3333333333333333, 1e-300, 12.5};
  for (const auto type : {ASIOSTFloat64LSB, ASIOSTFloat64MSB}) EXPECT_EQ(In<double>(type, Out(type, xd)), xd);
  const std::vector<float> xs{0.1f, -0.333333f, 1e-40f, 12.5f};
  for (const auto type : {ASIOSTFloat32LSB, ASIOSTFloat32MSB, ASIOSTFloat64LSB, ASIOSTFloat64MSB})
    EXPECT_EQ(In<float>(type, Out(type, xs)), xs) << type;
  // Narrowing rounds to nearest, ties to even.
  const std::vector<double> ties{1.0 + 0x1p-24, 1.0 + 3 * 0x1p-24};
  const auto narrowed = In<float>(ASIOSTFloat32LSB, Out(ASIOSTFloat32LSB, ties));
  EXPECT_EQ(narrowed[0], 1.0f);
  EXPECT_EQ(narrowed[1], 1.0f + 0x1p-22f);
}

TEST_F(ConvertTest, Float32LsbCopiesEveryBitPattern) {
  const std::vector<std::uint32_t> patterns{0x7F800001u, 0xFFC00000u, 0x7FC12345u, 0x80000000u, 0x00000001u};
  Bytes b(patterns.size() * 4);
  std::memcpy(b.data(), patterns.data(), b.size());
  const auto x = In<float>(ASIOSTFloat32LSB, b);
  for (std::size_t i = 0; i < x.size(); ++i) EXPECT_EQ(std::bit_cast<std::uint32_t>(x[i]), patterns[i]);
  EXPECT_EQ(Out(ASIOSTFloat32LSB, x), b);
}

// ---------------------------------------------------------------------------
// Exact in-conversion values

TEST_F(ConvertTest, InConversionGivesTheDocumentedValues) {
  const auto& i16 = CaseOf(ASIOSTInt16LSB);
  Bytes b = Encode(i16, 32767);
  const Bytes m = Encode(i16, -32768);
  b.insert(b.end(), m.begin(), m.end());
  EXPECT_EQ(In<double>(ASIOSTInt16LSB, b), (std::vector<double>{0.9999999990686774, -1.000030517578125}));
  EXPECT_EQ(In<float>(ASIOSTInt16LSB, b)[0], 1.0f);

  const Bytes packed{0x00, 0x00, 0x80, 0xFF, 0xFF, 0x7F};
  EXPECT_EQ(In<double>(ASIOSTInt24LSB, packed), (std::vector<double>{-1.0000001192093038, 1.0}));
  EXPECT_EQ(In<float>(ASIOSTInt24LSB, packed), (std::vector<float>{-1.0f, 0.9999998807907104f}));

  // One step of each width: the factors themselves.
  for (const auto& c : AllTypes()) {
    if (c.kind != Kind::Int) continue;
    SCOPED_TRACE(Name(c));
    EXPECT_EQ(In<double>(c.type, Encode(c, 1))[0], c.in64);
  }
  EXPECT_EQ(std::bit_cast<std::uint32_t>(In<float>(ASIOSTInt32LSB16, Encode(CaseOf(ASIOSTInt32LSB16), 1))[0]),
            0x38000100u);
}

TEST_F(ConvertTest, ContainerValuesBeyondTheNominalWidthConvertBeyondFullScale) {
  const auto& c = CaseOf(ASIOSTInt32LSB16);
  EXPECT_EQ(In<double>(c.type, Encode(c, 65534))[0], 65534 * kIn16);
  // Out-conversion keeps the value within the type's own 16 bits.
  EXPECT_EQ(Decode(c, Out(c.type, std::vector<double>{1.5}).data()), 32767);
}

TEST_F(ConvertTest, BigEndianSourcesAreConsumedOrKeptAsDocumented) {
  const auto& i32 = CaseOf(ASIOSTInt32MSB);
  Bytes b = Encode(i32, 0x12345678);
  std::vector<double> d(1);
  InConvertorOf(ASIOSTInt32MSB)->ic64(b.data(), d.data(), 1);
  EXPECT_EQ(b, (Bytes{0x78, 0x56, 0x34, 0x12}));  // now little-endian

  Bytes i16 = Encode(CaseOf(ASIOSTInt16MSB), 0x1234);
  std::vector<float> s(1);
  InConvertorOf(ASIOSTInt16MSB)->ic32(i16.data(), s.data(), 1);
  EXPECT_EQ(i16, (Bytes{0x34, 0x12}));

  for (const auto type : {ASIOSTInt24MSB, ASIOSTFloat32MSB}) {
    const Bytes original = Out(type, std::vector<double>{0.3});
    Bytes copy = original;
    InConvertorOf(type)->ic32(copy.data(), s.data(), 1);
    InConvertorOf(type)->ic64(copy.data(), d.data(), 1);
    EXPECT_EQ(copy, original) << type;
  }

  const Bytes f64 = Out(ASIOSTFloat64MSB, std::vector<double>{0.3});
  Bytes copy = f64;
  InConvertorOf(ASIOSTFloat64MSB)->ic64(copy.data(), d.data(), 1);
  EXPECT_EQ(copy, f64);
  InConvertorOf(ASIOSTFloat64MSB)->ic32(copy.data(), s.data(), 1);
  EXPECT_EQ(copy, Out(ASIOSTFloat64LSB, std::vector<double>{0.3}));
  EXPECT_EQ(s[0], 0.3f);
}

TEST_F(ConvertTest, ByteSwapRoutines) {
  Bytes b{1, 2, 3, 4, 5, 6, 7, 8};
  SwapBytes24(b.data(), 2);
  EXPECT_EQ(b, (Bytes{3, 2, 1, 6, 5, 4, 7, 8}));
  SwapBytes32(b.data(), 2);
  EXPECT_EQ(b, (Bytes{6, 1, 2, 3, 8, 7, 4, 5}));
  SwapBytes64(b.data(), 1);
  EXPECT_EQ(b, (Bytes{5, 4, 7, 8, 3, 2, 1, 6}));
}

// ---------------------------------------------------------------------------
// Rounding, saturation, NaN

TEST_F(ConvertTest, TiesRoundToEven) {
  const std::vector<double> x{0.5 / 32767.0, 1.5 / 32767.0, 2.5 / 32767.0, -0.5 / 32767.0, -1.5 / 32767.0};
  for (std::size_t i = 0; i < 3; ++i) ASSERT_EQ(x[i] * 32767.0, 0.5 + static_cast<double>(i));
  const auto& c = CaseOf(ASIOSTInt16LSB);
  const Bytes b = Out(c.type, x);
  const std::vector<std::int64_t> expected{0, 2, 2, 0, -2};
  for (std::size_t i = 0; i < x.size(); ++i) EXPECT_EQ(Decode(c, b.data() + 2 * i), expected[i]) << i;
}

TEST_F(ConvertTest, OutOfRangeAndNaNSaturateToTheStoredInteger) {
  const std::vector<double> xd{kNaN, kInf, -kInf, 1e10, -1e10, 70000.0};
  const std::vector<float> xs(xd.begin(), xd.end());
  for (const auto& c : AllTypes()) {
    if (c.kind != Kind::Int) continue;
    SCOPED_TRACE(Name(c));
    const std::vector<double> expected{0, c.hi, c.lo, c.hi, c.lo, c.hi};
    for (const Bytes& b : {Out(c.type, xd), Out(c.type, xs)})
      for (std::size_t i = 0; i < xd.size(); ++i)
        EXPECT_EQ(Decode(c, b.data() + i * static_cast<std::size_t>(c.bytes)), static_cast<std::int64_t>(expected[i]))
            << xd[i];
  }
}

// Full scale, the most negative code of the type's width scaled as the
// playing road scales it (-2^(N-1) / (2^(N-1) - 1)) and one step beyond each
// end, through every routine that can serve a type: plain, dithered, 3DNow!.
// Integer types store a value within their own N bits: hardware that reads
// only the low N bits of a container would turn anything below into a
// positive full-scale click.
TEST_F(ConvertTest, FullScaleAndOneStepBeyondStayWithinEachTypesRange) {
  enum class Set { Plain, Rectangular, Triangular, ThreeDNow };
  for (const Set set : {Set::Plain, Set::Rectangular, Set::Triangular, Set::ThreeDNow}) {
    InstallFpuRoutines();
    if (set == Set::Rectangular) UseRectangularDither();
    if (set == Set::Triangular) UseTriangularDither();
    if (set == Set::ThreeDNow) Install3DNowRoutines();
    for (const auto& c : AllTypes()) {
      SCOPED_TRACE(Name(c) + " set " + std::to_string(static_cast<int>(set)));
      // Steps of the type itself; for the float types those of 24 bits.
      const double steps = c.kind == Kind::Int ? c.hi : 8388607.0;
      const std::vector<double> xd{1.0, -1.0, (steps + 1) / steps, -(steps + 1) / steps, -(steps + 2) / steps};
      const std::vector<float> xs(xd.begin(), xd.end());
      DitherSeed = 777;
      const Bytes bd = Out(c.type, xd);
      const Bytes bs = Out(c.type, xs);
      for (std::size_t i = 0; i < xd.size(); ++i) {
        const std::size_t at = i * static_cast<std::size_t>(c.bytes);
        if (c.kind == Kind::Float32) {
          EXPECT_EQ(In<double>(c.type, Slice(bd, c, i))[0], static_cast<double>(xs[i])) << i;
          continue;
        }
        if (c.kind == Kind::Float64) {
          EXPECT_EQ(In<double>(c.type, Slice(bd, c, i))[0], xd[i]) << i;
          continue;
        }
        for (const Bytes* b : {&bd, &bs}) {
          const auto v = Decode(c, b->data() + at);
          EXPECT_GE(v, c.lo) << xd[i];
          EXPECT_LE(v, c.hi) << xd[i];
        }
        // The value itself (no dither, 64-bit members: every set rounds these).
        if (set == Set::Plain || set == Set::ThreeDNow) {
          const double expected = std::clamp(std::nearbyint(xd[i] * c.scale), c.lo, c.hi);
          EXPECT_EQ(Decode(c, bd.data() + at), static_cast<std::int64_t>(expected)) << xd[i];
        }
      }
      if (c.kind != Kind::Int) continue;
      // Full scale is exact without dither; beyond it each end saturates.
      if (set == Set::Plain) {
        EXPECT_EQ(Decode(c, bd.data()), c.hi);
        EXPECT_EQ(Decode(c, bd.data() + c.bytes), -c.hi);
        EXPECT_EQ(Decode(c, bd.data() + 2 * c.bytes), c.hi);
        EXPECT_EQ(Decode(c, bd.data() + 3 * c.bytes), c.lo);
        EXPECT_EQ(Decode(c, bd.data() + 4 * c.bytes), c.lo);
      }
    }
  }
}

// The issue's own figures: -1.0000305 (the most negative 16-bit code scaled
// by 1/32767) into the 24- and 18-bit containers.
TEST_F(ConvertTest, SixteenBitMostNegativeCodeSaturatesInWiderContainers) {
  const std::vector<double> x{-32768.0 / 32767.0};
  EXPECT_EQ(Decode(CaseOf(ASIOSTInt32LSB24), Out(ASIOSTInt32LSB24, x).data()), -8388608);
  EXPECT_EQ(Decode(CaseOf(ASIOSTInt32MSB24), Out(ASIOSTInt32MSB24, x).data()), -8388608);
  EXPECT_EQ(Decode(CaseOf(ASIOSTInt32LSB18), Out(ASIOSTInt32LSB18, x).data()), -131072);
  EXPECT_EQ(Decode(CaseOf(ASIOSTInt32LSB20), Out(ASIOSTInt32LSB20, x).data()), -524288);
  EXPECT_EQ(Decode(CaseOf(ASIOSTInt24LSB), Out(ASIOSTInt24LSB, x).data()), -8388608);
}

// ---------------------------------------------------------------------------
// Dither

// The documented generator, replayed independently of the routines.
struct ReferenceDither {
  std::uint32_t seed;
  double Draw() {
    seed = seed * 134775813u + 1u;
    return static_cast<std::int32_t>(seed);
  }
};

TEST_F(ConvertTest, DitherFollowsTheGeneratorInWalkOrder) {
  std::vector<double> x(37);
  for (std::size_t i = 0; i < x.size(); ++i) x[i] = (static_cast<double>(i) - 18.3) / 100.0;
  for (const bool triangular : {false, true}) {
    for (const auto type : {ASIOSTInt16LSB, ASIOSTInt24LSB, ASIOSTInt32LSB20}) {
      SCOPED_TRACE(std::to_string(type) + (triangular ? " triangular" : " rectangular"));
      triangular ? UseTriangularDither() : UseRectangularDither();
      const auto& c = CaseOf(type);
      DitherSeed = 12345;
      const Bytes b = Out(type, x);
      ReferenceDither ref{12345};
      const bool forward = c.bytes == 3;
      for (std::size_t k = 0; k < x.size(); ++k) {
        const std::size_t i = forward ? k : x.size() - 1 - k;
        const double noise = triangular ? (ref.Draw() + ref.Draw()) * 0x1p-33 : ref.Draw() * 0x1p-32;
        EXPECT_EQ(Decode(c, b.data() + i * static_cast<std::size_t>(c.bytes)),
                  static_cast<std::int64_t>(std::nearbyint(x[i] * c.scale + noise)))
            << i;
      }
      EXPECT_EQ(DitherSeed, ref.seed);
      DitherSeed = 12345;
      EXPECT_EQ(Out(type, x), b);  // reproducible from the same seed
    }
  }
}

TEST_F(ConvertTest, DitherNeverLeavesTheTypeRange) {
  const std::vector<float> x(4096, 1.0f);
  const std::vector<double> negative(4096, -1.0);
  for (const bool triangular : {false, true}) {
    triangular ? UseTriangularDither() : UseRectangularDither();
    DitherSeed = 99;
    for (const auto type : {ASIOSTInt16LSB, ASIOSTInt24LSB, ASIOSTInt32LSB16, ASIOSTInt32LSB18, ASIOSTInt32LSB20,
                            ASIOSTInt32LSB24}) {
      const auto& c = CaseOf(type);
      const Bytes up = Out(type, x), down = Out(type, negative);
      for (std::size_t i = 0; i < x.size(); ++i) {
        const auto v = Decode(c, up.data() + i * static_cast<std::size_t>(c.bytes));
        ASSERT_TRUE(v == c.scale || v == c.scale - 1) << type << " " << v;
        const auto w = Decode(c, down.data() + i * static_cast<std::size_t>(c.bytes));
        ASSERT_TRUE(w == -c.scale || w == -c.scale - 1) << type << " " << w;
      }
    }
  }
}

TEST_F(ConvertTest, DitherReplacesOnlyTheSixLittleEndianIntegerTypes) {
  const TConvertRoutineTable plain = ConvertRoutineTable;
  InstallSseRoutines();
  UseTriangularDither();
  const TConvertRoutineTable dithered = ConvertRoutineTable;
  EXPECT_EQ(dithered.DigitalClipPair, plain.DigitalClipPair);
  EXPECT_EQ(dithered.InConvertors, plain.InConvertors);
  const std::vector<ASIOSampleType> withDither{ASIOSTInt16LSB,   ASIOSTInt24LSB,   ASIOSTInt32LSB16,
                                               ASIOSTInt32LSB18, ASIOSTInt32LSB20, ASIOSTInt32LSB24};
  for (const auto type : ConvertSlotTypes) {
    const auto slot = static_cast<std::size_t>(ConvertSlotOf(type));
    const bool dither = std::find(withDither.begin(), withDither.end(), type) != withDither.end();
    EXPECT_EQ(dithered.OutConvertors[slot].oc32 != plain.OutConvertors[slot].oc32, dither) << type;
    EXPECT_EQ(dithered.OutConvertors[slot].oc64 != plain.OutConvertors[slot].oc64, dither) << type;
  }
  UseRectangularDither();
  EXPECT_NE(ConvertRoutineTable, dithered);
  InstallFpuRoutines();
  EXPECT_EQ(ConvertRoutineTable, plain);
}

// ---------------------------------------------------------------------------
// Processor variants

struct FakeCpu {
  static inline bool hasInstruction = true;
  static inline std::uint32_t edx1 = 0;
  static inline std::uint32_t maxExtended = 0x80000008u;
  static inline std::uint32_t edxExt = 0;
  static bool Query(std::uint32_t leaf, TCpuIdRegisters& regs) {
    if (!hasInstruction) return false;
    regs = {};
    if (leaf == 1) regs.edx = edx1;
    if (leaf == 0x80000000u) regs.eax = maxExtended;
    if (leaf == 0x80000001u) regs.edx = edxExt;
    return true;
  }
};

TEST_F(ConvertTest, StartUpPicksTheSetsTheProcessorHas) {
  const TConvertRoutineTable plain = ConvertRoutineTable;
  InstallSseRoutines();
  const TConvertRoutineTable sse = ConvertRoutineTable;
  InstallFpuRoutines();
  Install3DNowRoutines();
  const TConvertRoutineTable now = ConvertRoutineTable;
  // Both: the SSE set first, the 3DNow! set over it.
  TConvertRoutineTable expectBoth = now;
  expectBoth.DigitalClipPair = sse.DigitalClipPair;
  expectBoth.AnalogClipPair = sse.AnalogClipPair;

  struct Case {
    bool instruction;
    std::uint32_t edx1, maxExt, edxExt;
    std::uint8_t type;
    const TConvertRoutineTable* table;
  };
  const std::vector<Case> cases{
      {false, 1u << 25, 0x80000008u, 1u << 31, ProcessorFpu, &plain},
      {true, 0, 0x80000008u, 0, ProcessorFpu, &plain},
      {true, 1u << 25, 0x80000008u, 0, ProcessorSse, &sse},
      {true, 0, 0x80000008u, 1u << 31, Processor3DNow, &now},
      {true, 1u << 25, 0x80000008u, 1u << 31, Processor3DNow, &expectBoth},
      {true, 1u << 25, 0x80000000u, 1u << 31, ProcessorSse, &sse},  // no extended leaf above the first
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(i);
    FakeCpu::hasInstruction = cases[i].instruction;
    FakeCpu::edx1 = cases[i].edx1;
    FakeCpu::maxExtended = cases[i].maxExt;
    FakeCpu::edxExt = cases[i].edxExt;
    ConvertRoutineTable = {};
    SelectProcessorRoutines(&FakeCpu::Query);
    EXPECT_EQ(ProcessorType, cases[i].type);
    EXPECT_EQ(ConvertRoutineTable, *cases[i].table);
  }
  SelectProcessorRoutines();  // the running processor: any of the three outcomes
  EXPECT_LE(ProcessorType, Processor3DNow);
  ProcessorType = ProcessorFpu;
}

TEST_F(ConvertTest, ThreeDNowReplacesOnlyItsEntriesAndFpuRestoresThem) {
  const TConvertRoutineTable plain = ConvertRoutineTable;
  Install3DNowRoutines();
  for (const auto type : ConvertSlotTypes) {
    const auto slot = static_cast<std::size_t>(ConvertSlotOf(type));
    const bool variant = type == ASIOSTInt32LSB || (type >= ASIOSTInt32LSB16 && type <= ASIOSTInt32LSB24);
    EXPECT_EQ(ConvertRoutineTable.InConvertors[slot].ic32 != plain.InConvertors[slot].ic32, variant) << type;
    EXPECT_EQ(ConvertRoutineTable.OutConvertors[slot].oc32 != plain.OutConvertors[slot].oc32, variant) << type;
    EXPECT_EQ(ConvertRoutineTable.InConvertors[slot].ic64, plain.InConvertors[slot].ic64);
    EXPECT_EQ(ConvertRoutineTable.OutConvertors[slot].oc64, plain.OutConvertors[slot].oc64);
  }
  EXPECT_EQ(ConvertRoutineTable.MixPair.mb32, &MixBlocks32_3DNow);
  EXPECT_EQ(ConvertRoutineTable.VolumePair.vb32, &ScaleBlock32_3DNow);
  InstallFpuRoutines();
  EXPECT_EQ(ConvertRoutineTable, plain);
}

TEST_F(ConvertTest, ThreeDNowTruncatesWholeGroupsAndRoundsTheRest) {
  Install3DNowRoutines();
  // 13 samples: 8 in one group (truncation, saturation), 5 as the plain routine.
  const std::vector<float> minus(13, -1.0f);
  const Bytes b = Out(ASIOSTInt32LSB, minus);
  for (std::size_t i = 0; i < 13; ++i) EXPECT_EQ(Int32At(b, i), i < 8 ? INT32_MIN : -2147483647) << i;
  const Bytes p = Out(ASIOSTInt32LSB, std::vector<float>(13, 1.0f));
  for (std::size_t i = 0; i < 13; ++i) EXPECT_EQ(Int32At(p, i), INT32_MAX) << i;  // 2^31 saturates

  const float x = 100.7f / 32767.0f;  // 100.7 steps: truncates to 100, rounds to 101
  const Bytes t = Out(ASIOSTInt32LSB16, std::vector<float>(13, x));
  for (std::size_t i = 0; i < 13; ++i) EXPECT_EQ(Int32At(t, i), i < 8 ? 100 : 101) << i;
  const Bytes five = Out(ASIOSTInt32LSB16, std::vector<float>(5, x));
  for (std::size_t i = 0; i < 5; ++i) EXPECT_EQ(Int32At(five, i), 101) << i;

  const Bytes odd = Out(ASIOSTInt32LSB24, std::vector<float>{NAN, INFINITY, -INFINITY, 1e30f, -300.0f, 0.5f, -0.5f, 0, 0});
  // Saturation at the type's own 24 bits.
  EXPECT_EQ(Int32At(odd, 0), 0);
  EXPECT_EQ(Int32At(odd, 1), 8388607);
  EXPECT_EQ(Int32At(odd, 2), -8388608);
  EXPECT_EQ(Int32At(odd, 3), 8388607);
  EXPECT_EQ(Int32At(odd, 4), -8388608);
  EXPECT_EQ(Int32At(odd, 5), 4194303);   // 4194303.5 truncated
  EXPECT_EQ(Int32At(odd, 6), -4194303);
}

TEST_F(ConvertTest, ThreeDNowInConversionUsesSinglePrecisionFactors) {
  const TConvertRoutineTable plain = ConvertRoutineTable;
  Install3DNowRoutines();
  const std::vector<std::int32_t> v{1, -1, 3, 1 << 30, INT32_MIN, 12345, 7, -9, 100, 1000, 2};
  Bytes b(v.size() * 4);
  std::memcpy(b.data(), v.data(), b.size());
  const struct {
    ASIOSampleType type;
    float factor;
  } cases[] = {{ASIOSTInt32LSB, 0x1p-31f},
               {ASIOSTInt32LSB16, std::bit_cast<float>(0x38000100u)},
               {ASIOSTInt32LSB18, std::bit_cast<float>(0x37000040u)},
               {ASIOSTInt32LSB20, std::bit_cast<float>(0x36000010u)},
               {ASIOSTInt32LSB24, std::bit_cast<float>(0x34000001u)}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.type);
    const auto x = In<float>(c.type, b);
    Bytes copy = b;
    std::vector<float> tail(3);
    plain.InConvertors[static_cast<std::size_t>(ConvertSlotOf(c.type))].ic32(copy.data() + 32, tail.data(), 3);
    for (std::size_t i = 0; i < v.size(); ++i)
      EXPECT_EQ(x[i], i < 8 ? static_cast<float>(v[i]) * c.factor : tail[i - 8]) << i;
  }
}

// ---------------------------------------------------------------------------
// Clips

struct ClipCase {
  double in;
  double out;
};

template <class T>
auto BitsOf(T x) {
  return std::bit_cast<std::conditional_t<sizeof(T) == 4, std::uint32_t, std::uint64_t>>(x);
}

template <class T>
void ExpectClip(void (*clip)(T*, std::int32_t), const std::vector<ClipCase>& cases, const char* name) {
  // Repeated so that the grouped paths of the processor variants run too.
  std::vector<T> block;
  for (int r = 0; r < 5; ++r)
    for (const auto& c : cases) block.push_back(static_cast<T>(c.in));
  clip(block.data(), static_cast<std::int32_t>(block.size()));
  for (std::size_t i = 0; i < block.size(); ++i) {
    const T expected = static_cast<T>(cases[i % cases.size()].out);
    EXPECT_EQ(BitsOf(block[i]), BitsOf(expected))
        << name << " in " << cases[i % cases.size()].in << " gave " << block[i];
  }
}

TEST_F(ConvertTest, DigitalClipBoundsInfinityAndNaNBySign) {
  const std::vector<ClipCase> common{{1.5, 1.0},     {-3.0, -1.0}, {kInf, 1.0}, {-kInf, -1.0}, {kNaN, 1.0},
                                     {-kNaN, -1.0},
                                     {-1.0, -1.0},   {1.0, 1.0},   {0.0, 0.0},  {1e30, 1.0},   {-1e30, -1.0}};
  ExpectClip<float>(&DigitalClip32, common, "DigitalClip32");
  ExpectClip<float>(&DigitalClip32SSE, common, "DigitalClip32SSE");
  ExpectClip<double>(&DigitalClip64, common, "DigitalClip64");
  // The single-precision clips keep every sample within full scale bit for bit.
  const std::vector<ClipCase> within{{-0.0, -0.0}, {0.999f, 0.999f}, {-0.25f, -0.25f}, {0.1f, 0.1f}};
  ExpectClip<float>(&DigitalClip32, within, "DigitalClip32");
  ExpectClip<float>(&DigitalClip32SSE, within, "DigitalClip32SSE");
  // The double clip keeps its formula within full scale, tiny magnitudes included.
  ExpectClip<double>(&DigitalClip64, {{2.0, 1.0}, {1e-30, 0.0}, {0.5, 0.5}, {-0.75, -0.75}, {1e300, 1.0}},
                     "DigitalClip64");
}

TEST_F(ConvertTest, AnalogClipFollowsItsCurve) {
  const std::vector<ClipCase> cases{{0.0, 0.0},   {0.5, 0.4516129}, {1.0, 0.8},    {-1.0, -0.8},
                                    {3.0, 1.5},   {10.0, 1.9117647}, {kInf, 1.0},  {-kInf, -1.0},
                                    {kNaN, 0.0},  {2.0, 1.25}};
  for (auto clip : {&AnalogClip32, &AnalogClip32SSE}) {
    std::vector<float> block;
    for (int r = 0; r < 3; ++r)
      for (const auto& c : cases) block.push_back(static_cast<float>(c.in));
    clip(block.data(), static_cast<std::int32_t>(block.size()));
    for (std::size_t i = 0; i < block.size(); ++i) {
      const auto& c = cases[i % cases.size()];
      if (std::isnan(c.in))
        EXPECT_EQ(block[i], 0.0f);
      else
        EXPECT_NEAR(block[i], c.out, 2e-7) << c.in;
    }
  }
  std::vector<double> d{0.5, 1e300, -1e300, kInf, kNaN, 2.0};
  AnalogClip64(d.data(), static_cast<std::int32_t>(d.size()));
  EXPECT_NEAR(d[0], 0.45161290322580644, 1e-16);
  EXPECT_EQ(d[1], 2.0);
  EXPECT_EQ(d[2], -2.0);
  EXPECT_EQ(d[3], 1.0);
  EXPECT_EQ(d[4], 0.0);
  EXPECT_EQ(d[5], 1.25);
  std::vector<float> huge(8, 1e38f);
  AnalogClip32SSE(huge.data(), 8);
  EXPECT_EQ(huge, std::vector<float>(8, 2.0f));
}

// ---------------------------------------------------------------------------
// Detectors, lookups, block utilities

TEST_F(ConvertTest, FullScaleDetectorsFindTheTypesExtremes) {
  for (const auto& c : AllTypes()) {
    SCOPED_TRACE(Name(c));
    const auto detect = FullScaleDetectorOf(c.type);
    ASSERT_NE(detect, nullptr);
    Bytes b;
    if (c.kind == Kind::Int) {
      const int bits = c.type == ASIOSTInt32MSB16 || c.type == ASIOSTInt32LSB16 ? 16
                       : c.type == ASIOSTInt32MSB18 || c.type == ASIOSTInt32LSB18 ? 18
                       : c.type == ASIOSTInt32MSB20 || c.type == ASIOSTInt32LSB20 ? 20
                       : c.type == ASIOSTInt32MSB24 || c.type == ASIOSTInt32LSB24 ? 24
                                                                                  : 8 * c.bytes;
      const std::int64_t hi = (std::int64_t{1} << (bits - 1)) - 1;
      const auto block = [&](std::int64_t v) {
        Bytes out = Encode(c, 5);
        const Bytes s = Encode(c, v);
        out.insert(out.end(), s.begin(), s.end());
        return out;
      };
      for (const auto v : {hi, -hi - 1}) {
        b = block(v);
        const Bytes before = b;
        EXPECT_TRUE(detect(b.data(), 2)) << v;
        EXPECT_EQ(b, before);
      }
      for (const auto v : {hi - 1, -hi})
        EXPECT_FALSE(detect(block(v).data(), 2)) << v;
    } else {
      const std::vector<double> over{0.5, -1.0001}, within{1.0, -1.0, kNaN};
      EXPECT_TRUE(detect(Out(c.type, over).data(), 2));
      EXPECT_FALSE(detect(Out(c.type, within).data(), 3));
    }
    EXPECT_FALSE(detect(c.plusOne.data(), 0));
  }
}

TEST_F(ConvertTest, OnlyTheEighteenTypesHaveRoutines) {
  for (const auto type : ConvertSlotTypes) {
    const auto in = InConvertorOf(type);
    const auto out = OutConvertorOf(type);
    ASSERT_TRUE(in && out) << type;
    EXPECT_TRUE(in->ic32 && in->ic64 && out->oc32 && out->oc64) << type;
  }
  for (const ASIOSampleType type : {5, 6, 7, 12, 13, 14, 15, 21, 22, 23, 28, 32, 33, 1000, -1, INT32_MIN}) {
    EXPECT_FALSE(InConvertorOf(type).has_value()) << type;
    EXPECT_FALSE(OutConvertorOf(type).has_value()) << type;
    EXPECT_EQ(FullScaleDetectorOf(type), nullptr) << type;
  }
}

TEST_F(ConvertTest, MixAndVolumeVariantsMatchThePlainRoutines) {
  std::vector<float> src(37), base(37);
  for (std::size_t i = 0; i < src.size(); ++i) {
    src[i] = 0.1f * static_cast<float>(i) - 1.3f;
    base[i] = 0.37f * static_cast<float>(i % 7);
  }
  std::vector<float> expectedMix = base, expectedScale = base;
  for (std::size_t i = 0; i < base.size(); ++i) {
    expectedMix[i] += src[i];
    expectedScale[i] *= 0.7f;
  }
  for (auto mix : {&MixBlocks32, &MixBlocks32SSE, &MixBlocks32_3DNow}) {
    std::vector<float> d = base;
    mix(src.data(), d.data(), 37);
    EXPECT_EQ(d, expectedMix);
  }
  for (auto scale : {&ScaleBlock32, &ScaleBlock32SSE, &ScaleBlock32_3DNow}) {
    std::vector<float> d = base;
    scale(d.data(), 37, 0.7f);
    EXPECT_EQ(d, expectedScale);
  }
  std::vector<double> d{1.0, 2.0};
  const std::vector<double> s{0.5, -4.0};
  ConvertRoutineTable.MixPair.mb64(s.data(), d.data(), 2);
  ConvertRoutineTable.VolumePair.vb64(d.data(), 2, -2.0);
  EXPECT_EQ(d, (std::vector<double>{-3.0, 4.0}));
}

TEST_F(ConvertTest, FadesAndScanner) {
  const auto& t = ConvertRoutineTable;
  std::vector<double> ones(4, 1.0);
  auto d = ones;
  t.RampUpPair.fb64(d.data(), 4);
  EXPECT_EQ(d, (std::vector<double>{0.25, 0.5, 0.75, 1.0}));
  d = ones;
  t.RampDownPair.fb64(d.data(), 4);
  EXPECT_EQ(d, (std::vector<double>{1.0, 0.75, 0.5, 0.25}));
  std::vector<float> f(4, 2.0f);
  t.RampUpPair.fb32(f.data(), 4);
  EXPECT_EQ(f, (std::vector<float>{0.5f, 1.0f, 1.5f, 2.0f}));

  // From the last sample toward the first, ending when the factor reaches 1.
  d = ones;
  t.StepFadePair.sf64(d.data(), 4, 0.5, 0.25);
  EXPECT_EQ(d, (std::vector<double>{1.0, 1.0, 0.75, 0.5}));
  d = ones;
  t.MultiplyFadePair.sf64(d.data(), 4, 0.125, 2.0);
  EXPECT_EQ(d, (std::vector<double>{1.0, 0.5, 0.25, 0.125}));
  d = ones;
  t.MultiplyFadePair.sf64(d.data(), 4, 4.0, 0.25);
  EXPECT_EQ(d, (std::vector<double>{1.0, 1.0, 1.0, 4.0}));

  const std::vector<float> s{0.1f, 0.9f, 0.05f, 0.9f, 0.8f};
  EXPECT_EQ(t.ScannerPair.sc32(s.data(), 5, 0.5), 3);
  EXPECT_EQ(t.ScannerPair.sc32(s.data(), 5, 0.01), -1);
  const std::vector<double> sd{-0.2, 0.9};
  EXPECT_EQ(t.ScannerPair.sc64(sd.data(), 2, 0.5), 1);
}

}  // namespace
