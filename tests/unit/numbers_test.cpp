// Integers and decimal numbers as the document writes them.
#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>

#include "mqo/line_shapes.hpp"
#include "mqo/numbers.hpp"

using bloktar::NarrowToFloat;
using bloktar::ParseInt;
using bloktar::ParseReal;

namespace {

std::uint32_t FloatBits(const char* text) {
    return std::bit_cast<std::uint32_t>(NarrowToFloat(ParseReal(text)));
}

}  // namespace

TEST(ParseInt, ReadsAsFarAsTheDigitsGo) {
    EXPECT_EQ(ParseInt(" 12}"), 12);
    EXPECT_EQ(ParseInt("-3)"), -3);
    EXPECT_EQ(ParseInt("a5"), 0);
    EXPECT_EQ(ParseInt("+ 5"), 0);
    EXPECT_EQ(ParseInt("+7"), 7);
    EXPECT_EQ(ParseInt("\t\n\v\f\r 9"), 9);
    EXPECT_EQ(ParseInt("-12abc"), -12);
    EXPECT_EQ(ParseInt(""), 0);
    EXPECT_EQ(ParseInt("--1"), 0);
    EXPECT_EQ(ParseInt("\xa0"
                       "1"),
              0);  // bytes from 0x80 up are not white space
}

TEST(ParseInt, WrapsInThirtyTwoBits) {
    EXPECT_EQ(ParseInt("2147483647"), 2147483647);
    EXPECT_EQ(ParseInt("2147483648"), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(ParseInt("-2147483648"), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(ParseInt("4294967297"), 1);
    EXPECT_EQ(ParseInt("99999999999999999999"), static_cast<std::int32_t>(1661992959));
}

TEST(ParseReal, PlainDecimalForms) {
    EXPECT_EQ(ParseReal("\t1.5 -2 3"), 1.5);
    EXPECT_EQ(ParseReal(" -2 3"), -2.0);
    EXPECT_EQ(ParseReal("0.25)"), 0.25);
    EXPECT_EQ(ParseReal("1e2"), 100.0);
    EXPECT_EQ(ParseReal("1.5e"), 1.5);
    EXPECT_EQ(ParseReal("1.5e+"), 1.5);
    EXPECT_EQ(ParseReal("2.5E-1x"), 0.25);
    EXPECT_EQ(ParseReal(".5"), 0.5);
    EXPECT_EQ(ParseReal("5."), 5.0);
    EXPECT_EQ(ParseReal("+.5"), 0.5);
    EXPECT_EQ(ParseReal("1.e1"), 10.0);
    EXPECT_EQ(ParseReal("1.2.3"), 1.2);
    EXPECT_EQ(ParseReal("abc"), 0.0);
    EXPECT_EQ(ParseReal("."), 0.0);
    EXPECT_EQ(ParseReal("-"), 0.0);
    EXPECT_EQ(ParseReal("+ 1"), 0.0);
}

TEST(ParseReal, SignOfZeroIsKept) {
    EXPECT_TRUE(std::signbit(ParseReal("-0.000")));
    EXPECT_FALSE(std::signbit(ParseReal("0.000")));
    EXPECT_FALSE(std::signbit(ParseReal("-abc")));  // no number at all reads as +0
    EXPECT_EQ(FloatBits("-0"), 0x80000000u);
}

TEST(ParseReal, OnlyDecimalTextIsRead) {
    EXPECT_EQ(ParseReal("0x1p3"), 0.0);
    EXPECT_EQ(ParseReal("inf"), 0.0);
    EXPECT_EQ(ParseReal("nan"), 0.0);
    EXPECT_EQ(ParseReal("-infinity"), 0.0);
    EXPECT_EQ(ParseReal("12x4"), 12.0);
}

TEST(ParseReal, RoundsCorrectlyToDoubleThenToFloat) {
    EXPECT_EQ(ParseReal("0.1"), 0.1);
    EXPECT_EQ(ParseReal("123.4567"), 123.4567);
    EXPECT_EQ(ParseReal("-98765.43210"), -98765.4321);
    // Longer than a 64-bit mantissa holds, and exponents beyond the exact powers of ten.
    EXPECT_EQ(ParseReal("3.14159265358979323846264338327950288"), 3.141592653589793);
    EXPECT_EQ(ParseReal("123456789012345678901234567890"), 1.2345678901234568e29);
    EXPECT_EQ(ParseReal("0.000000000000000000000000000001"), 1e-30);
    EXPECT_EQ(ParseReal("1e23"), 1e23);
    EXPECT_EQ(ParseReal("9007199254740993"), 9007199254740992.0);  // a tie rounds to even
    EXPECT_EQ(ParseReal("2.2250738585072011e-308"), 2.2250738585072011e-308);
    // 1.00000005960464477539062500001 lies just above the midpoint of two floats; the double
    // nearest to it is the midpoint itself, which rounds to even (down) as a float.
    EXPECT_EQ(FloatBits("1.00000005960464477539062500001"), 0x3F800000u);
    EXPECT_EQ(FloatBits("0.1"), 0x3DCCCCCDu);
}

TEST(ParseReal, ValuesBeyondTheRangesSaturate) {
    EXPECT_EQ(ParseReal("1e400"), std::numeric_limits<double>::infinity());
    EXPECT_EQ(ParseReal("-1e400"), -std::numeric_limits<double>::infinity());
    EXPECT_EQ(ParseReal("1e-400"), 0.0);
    EXPECT_TRUE(std::signbit(ParseReal("-1e-400")));
    EXPECT_EQ(ParseReal("1e99999999999999999999"), std::numeric_limits<double>::infinity());
    EXPECT_EQ(ParseReal("0e99999999999999999999"), 0.0);
    EXPECT_EQ(FloatBits("1e39"), 0x7F800000u);
    EXPECT_EQ(FloatBits("-1e39"), 0xFF800000u);
    EXPECT_EQ(FloatBits("1e-50"), 0u);
    EXPECT_EQ(FloatBits("340282346638528859811704183484516925440"), 0x7F7FFFFFu);  // FLT_MAX
    // Just below FLT_MAX + half its last unit still rounds to FLT_MAX; the midpoint overflows.
    EXPECT_EQ(FloatBits("340282356779733623858607532500980858880"), 0x7F7FFFFFu);
    EXPECT_EQ(FloatBits("340282356779733661637539395458142568448"), 0x7F800000u);
}

namespace {

// ScanFloatInPiece on text placed as a piece stands in the document's buffer: a terminating
// zero, then read-ahead bytes, filled here with digits that must never be taken.
struct PieceRead {
    std::uint32_t bits;
    std::ptrdiff_t consumed;
};

PieceRead InPiece(const std::string& text) {
    std::string buffer = text;
    buffer.push_back('\0');
    buffer.append(16, '9');
    float value = -1;
    const char* end = bloktar::ScanFloatInPiece(buffer.data(), value);
    const PieceRead read{std::bit_cast<std::uint32_t>(value), end - buffer.data()};
#ifdef BLOKTAR_USE_AVX2
    // The readers for wide vectors read the same: one number, and the number twice as a pair.
    if (bloktar::WideLineScannersRunHere()) {
        float wide = -1;
        const char* wideEnd = bloktar::ScanCompactFloatShuffled(buffer.data(), wide);
        if (wideEnd == nullptr) {
            wideEnd = bloktar::number_detail::ScanLongFloatInPiece(buffer.data(), wide);
        }
        EXPECT_EQ(std::bit_cast<std::uint32_t>(wide), read.bits) << text;
        EXPECT_EQ(wideEnd, end) << text;
        const std::string twice =
            text + " " + text + ")" + std::string(1, '\0') + std::string(32, '9');
        const bloktar::line_shapes::ShapeVectors vectors;
        bloktar::line_shapes::CornerBytes corner;
        bloktar::line_shapes::LoadCornerBytes(twice.data(), vectors, corner);
        bloktar::line_shapes::CornerShape shape;
        float first = -1;
        float second = -1;
        // Text that is one number whole, as the corner's first, is read as a corner or not at all.
        if (bloktar::line_shapes::WorkOutCornerShape(twice.data(), corner, shape) &&
            read.consumed == static_cast<std::ptrdiff_t>(text.size())) {
            bloktar::line_shapes::ReadCornerByShape(twice.data(), shape, vectors, first, second);
            EXPECT_EQ(corner.end, 2 * text.size() + 1) << text;
            EXPECT_EQ(std::bit_cast<std::uint32_t>(first), read.bits) << text;
            EXPECT_EQ(std::bit_cast<std::uint32_t>(second), read.bits) << text;
        }
    }
#endif
    return read;
}

// The same text read by the general reader.
PieceRead Generally(const std::string& text) {
    double value = -1;
    const char* end = bloktar::ScanReal(text.c_str(), value);
    return {std::bit_cast<std::uint32_t>(NarrowToFloat(value)), end - text.c_str()};
}

// Every text read by the quick reader exactly as by the general one: the same float, the same
// bytes taken.
template <std::size_t N>
void ExpectQuickReadsAsGenerally(const char* const (&cases)[N]) {
    for (const char* text : cases) {
        const PieceRead fast = InPiece(text);
        const PieceRead general = Generally(text);
        EXPECT_EQ(fast.bits, general.bits) << text;
        EXPECT_EQ(fast.consumed, general.consumed) << text;
    }
}

}  // namespace

// Every InPiece above also checks the readers for wide vectors where they run; where they do not,
// this reports them as not tested.
TEST(ScanFloatInPiece, WideVectorReadersTakePart) {
    if (!bloktar::WideLineScannersRunHere()) {
        GTEST_SKIP() << "the readers for wide vectors do not run here (no AVX2 in the build or "
                        "the processor)";
    }
    const char* const cases[] = {"0.5", "-1234.5678", "12345.6789", "-0.000001", "1e5", "7."};
    ExpectQuickReadsAsGenerally(cases);
}

TEST(ScanFloatInPiece, ShortNumbersReadAtOnce) {
    EXPECT_EQ(InPiece("0.5").bits, 0x3F000000u);
    EXPECT_EQ(InPiece(".5").bits, 0x3F000000u);
    EXPECT_EQ(InPiece("+.5").bits, 0x3F000000u);
    EXPECT_EQ(InPiece("-.25").bits, 0xBE800000u);
    EXPECT_EQ(InPiece("5.").bits, 0x40A00000u);
    EXPECT_EQ(InPiece("5.").consumed, 2);  // the point belongs to the number
    EXPECT_EQ(InPiece("-0.0000").bits, 0x80000000u);
    EXPECT_EQ(InPiece("0.0000").bits, 0u);
    EXPECT_EQ(InPiece("0.1").bits, 0x3DCCCCCDu);
    EXPECT_EQ(InPiece("1234567").bits, 0x4996B438u);  // 1234567 = 0x12D687, exact
    // Eight bytes after the sign fill the load; the byte behind them decides where it ends.
    EXPECT_EQ(InPiece("-256.1250").bits, 0xC3801000u);  // -(256 + 1/8)
    EXPECT_EQ(InPiece("-256.1250 ").consumed, 9);
    // What follows the number is not part of it.
    EXPECT_EQ(InPiece("2.5)").consumed, 3);
    EXPECT_EQ(InPiece("2.5 7").consumed, 3);
    EXPECT_EQ(InPiece("1.2.3").consumed, 3);
}

TEST(ScanFloatInPiece, LongerAndOtherFormsReadAsTheGeneralReaderDoes) {
    // Around the eight-byte load, the seven-digit halves, 2^53 and the exact powers of ten.
    const char* const cases[] = {
        "12345678",
        "123456789",
        "1234.5678",
        "0.1234567",
        "0.12345678",
        "1234567.1234567",
        "12345678.5",
        "16777217",
        "9007199254740992",
        "9007199254740993",
        "1234567890123456789",
        "12345678901234567890",
        "1e22",
        "1e23",
        "1e-22",
        "1e-23",
        "4.5e22",
        "123456789e-22",
        "1.5e3",
        "1.5E-3",
        "1.5e",
        "1.5e+",
        "2e+x",
        "00000000000.5",
        "-00000000000000000001.5",
        ".",
        "-",
        "+",
        "",
        " 1.5",
        "\t-2",
        "+ 1",
        "--1",
        "0x10",
        "inf",
        "nan",
        "1,5",
        "-0",
        "340282356779733661637539395458142568448",
        "1e39",
        "-1e400",
        "1e-50",
        "0.000000000000000000000000000001",
    };
    ExpectQuickReadsAsGenerally(cases);
    EXPECT_EQ(InPiece("16777217").bits, 0x4B800000u);  // 2^24 + 1 rounds to even, 2^24
    EXPECT_EQ(InPiece("1.5e3").bits, 0x44BB8000u);     // 1500
    EXPECT_EQ(InPiece("1.5e").consumed, 3);
    EXPECT_EQ(InPiece(" 1.5").bits, 0x3FC00000u);
    EXPECT_EQ(InPiece(".").consumed, 0);
}

TEST(ScanFloatInPiece, RandomDecimalsRoundAsTheCLibraryRoundsThem) {
    // The C library's strtod rounds correctly; a cast then rounds to float. Exponents stay small
    // enough for every value to fit a float.
    std::mt19937 random(11);
    for (int i = 0; i < 200000; ++i) {
        std::string text;
        const std::uint32_t shape = random();
        if (shape % 3 == 0) text += '-';
        for (std::uint32_t d = random() % 10; d > 0; --d)
            text += static_cast<char>('0' + random() % 10);
        if (shape % 5 != 0) text += '.';
        for (std::uint32_t d = random() % 10; d > 0; --d)
            text += static_cast<char>('0' + random() % 10);
        if (shape % 7 == 0) {
            text += 'e';
            text += std::to_string(static_cast<int>(random() % 31) - 15);
        }
        char* end = nullptr;
        const double expected = std::strtod(text.c_str(), &end);
        const PieceRead fast = InPiece(text);
        ASSERT_EQ(fast.bits, std::bit_cast<std::uint32_t>(static_cast<float>(expected))) << text;
        ASSERT_EQ(fast.consumed, end - text.c_str()) << text;
    }
}

#ifdef BLOKTAR_USE_SSE2
TEST(ScanFivePlacePair, ReadsBothNumbersAsTheyAreReadOneByOne) {
    float first = -1;
    float second = -1;
    ASSERT_TRUE(bloktar::ScanFivePlacePair("0.50000 0.25000)\0", first, second));
    EXPECT_EQ(std::bit_cast<std::uint32_t>(first), 0x3F000000u);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(second), 0x3E800000u);
    ASSERT_TRUE(bloktar::ScanFivePlacePair("1.00000 0.00000 ", first, second));
    EXPECT_EQ(first, 1.0f);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(second), 0u);

    // Every shape that differs anywhere in its first 15 bytes is left to the one-by-one reading.
    const char* const others[] = {"0.5000 0.250000 ", "-0.50000 0.2500", "0.50000  0.2500",
                                  "0.50000 -0.2500",  "10.5000 0.25000", "0,50000 0.25000",
                                  "0.50000\t0.25000", "0.5000a 0.25000", "0.50000 0.2500",
                                  "0.50000 0.25e00"};
    for (const char* text : others) {
        std::string padded = std::string(text) + std::string(16, '\0');
        first = -1;
        EXPECT_FALSE(bloktar::ScanFivePlacePair(padded.c_str(), first, second)) << text;
        EXPECT_EQ(first, -1.0f) << text;
    }

    // Random pairs: the same floats as ScanFloatInPiece gives for each number.
    std::mt19937 random(3);
    for (int i = 0; i < 100000; ++i) {
        char text[17];
        std::snprintf(text, sizeof text, "%u.%05u %u.%05u ", static_cast<unsigned>(random() % 10),
                      static_cast<unsigned>(random() % 100000),
                      static_cast<unsigned>(random() % 10),
                      static_cast<unsigned>(random() % 100000));
        ASSERT_TRUE(bloktar::ScanFivePlacePair(text, first, second)) << text;
        ASSERT_EQ(std::bit_cast<std::uint32_t>(first), InPiece(std::string(text, 7)).bits) << text;
        ASSERT_EQ(std::bit_cast<std::uint32_t>(second), InPiece(std::string(text + 8, 7)).bits)
            << text;
    }
}
#endif

TEST(ScanFloatInPiece, ShortMantissasDividedInFloatRoundAsThroughDouble) {
    // The short numbers are divided by their power of ten in float, which must give the float
    // that rounding the quotient to double and then to float gives: for every mantissa below
    // 2^20 and, sampled, up to 2^24, with one to seven decimal places.
    std::mt19937 random(13);
    for (int places = 1; places <= 7; ++places) {
        const float power = static_cast<float>(std::pow(10.0, places));
        for (std::int32_t m = 0; m < (1 << 24); m += m < (1 << 20) ? 1 : 1 + random() % 64) {
            const float direct = static_cast<float>(m) / power;
            const auto throughDouble =
                static_cast<float>(static_cast<double>(m) / static_cast<double>(power));
            ASSERT_EQ(std::bit_cast<std::uint32_t>(direct),
                      std::bit_cast<std::uint32_t>(throughDouble))
                << m << " / 10^" << places;
        }
    }
}

TEST(ScanFloatInPiece, SixteenByteNumbersReadAsTheGeneralReaderDoes) {
    // Around nine and ten significant digits, 15 and 16 bytes of digits and point, the one- and
    // two-digit exponents, the exactly representable powers of ten, signed zeros, big integers.
    const char* const cases[] = {
        "0.123456789",
        "0.1234567891",
        "-28.1565781",
        "0.00158474996",
        "123456789",
        "1234567890",
        "-99999.9999",
        "99999.99999",
        "-3656.3576",
        "12345678901.234",
        "123456789012.345",
        "1234567890123.45",
        "123456789012345",
        "1234567890123456",
        "999999999999999",
        "0.99999999999999",
        "0.999999999999999",
        "9007199254740993",
        "99999999999999999999",
        "4.7e-05",
        "2.5e-05",
        "1.5e+06",
        "1e-08",
        "1e-09",
        "1e-8",
        "1e-9",
        "1e36",
        "1e37",
        "123e22",
        "1e100",
        "1e-100",
        "5.e3",
        ".5e1",
        "1.5e",
        "1.5e+",
        "1e+x",
        "1E-7",
        "-0",
        "-0.0",
        "-0e5",
        "+0",
        "0e99",
        "-.0",
        "100",
        "-100)",
        "0.5 ",
        "16777217.5",
        "0.000000000000001",
    };
    ExpectQuickReadsAsGenerally(cases);
    EXPECT_EQ(InPiece("-0e5").bits, 0x80000000u);
    EXPECT_EQ(InPiece("100").bits, 0x42C80000u);
    EXPECT_EQ(InPiece("1.5e+06").bits, 0x49B71B00u);  // 1,500,000
    EXPECT_EQ(InPiece("1.5e+").consumed, 3);
}

TEST(ScanFloatInPiece, ShortestFormsOfRandomFloatsReadBack) {
    // The shortest text of a float, fixed or with an exponent, as newer writers write it, reads
    // as the general reader reads it; the text of a float that is not huge gives the float back.
    std::mt19937 random(17);
    for (int i = 0; i < 300000; ++i) {
        const auto bits = static_cast<std::uint32_t>(random());
        const float original = std::bit_cast<float>(bits);
        if (!std::isfinite(original)) continue;
        char text[64] = {};
        const auto written = std::to_chars(text, text + sizeof text - 1, original);
        const std::string shown(text, written.ptr);
        const PieceRead fast = InPiece(shown);
        const PieceRead general = Generally(shown);
        ASSERT_EQ(fast.bits, general.bits) << shown;
        ASSERT_EQ(fast.consumed, general.consumed) << shown;
        ASSERT_EQ(fast.bits, bits) << shown;
    }
}
