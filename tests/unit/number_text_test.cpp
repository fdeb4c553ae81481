#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <string_view>

#include "mqo/number_text.hpp"

namespace bloktar {
namespace {

std::string Text(float value) {
    char text[kRealTextCapacity];
    const std::size_t length = FormatDocumentReal(value, text);
    return std::string(text, length);
}

TEST(FormatDocumentReal, WritesTheShortestTextThatReadsBack) {
    constexpr float kInf = std::numeric_limits<float>::infinity();
    const struct {
        float value;
        const char* text;
    } cases[] = {
        {0.0f, "0"},
        {-0.0f, "-0"},
        {1.0f, "1"},
        {-100.0f, "-100"},
        {0.1f, "0.1"},
        {-2.5f, "-2.5"},
        {1e10f, "1e+10"},
        {0.001f, "0.001"},
        {1e-5f, "1e-05"},
        {kInf, "1e39"},
        {-kInf, "-1e39"},
        {std::numeric_limits<float>::max(), "3.4028235e+38"},
        {std::numeric_limits<float>::denorm_min(), "1e-45"},
        {-std::numeric_limits<float>::denorm_min(), "-1e-45"},
    };
    for (const auto& c : cases) EXPECT_EQ(Text(c.value), c.text) << c.text;
    EXPECT_EQ(Text(std::numeric_limits<float>::quiet_NaN()), "");
}

// Every 65,521st bit pattern (a prime step, so every exponent and many mantissa shapes are met),
// and the patterns around each power of two, where the gap between floats changes.
TEST(FormatDocumentReal, ReadsBackBitForBitOverSampledPatterns) {
    auto check = [](std::uint32_t bits) {
        const float value = std::bit_cast<float>(bits);
        if (std::isnan(value)) return;
        const std::string text = Text(value);
        ASSERT_FALSE(text.empty()) << bits;
        ASSERT_TRUE(ReadsBackAs(text.c_str(), value)) << bits << " " << text;
        ASSERT_LE(text.size(), 15u) << text;
    };
    for (std::uint64_t bits = 0; bits <= 0xFFFFFFFFu; bits += 65521) {
        check(static_cast<std::uint32_t>(bits));
    }
    for (std::uint32_t exponent = 0; exponent < 256; ++exponent) {
        for (std::uint32_t sign : {0u, 0x80000000u}) {
            const std::uint32_t power = sign | exponent << 23;
            for (std::uint32_t d = 0; d < 4; ++d) {
                check(power + d);
                check(power - d);
            }
        }
    }
}

// The quick way for plain decimals and the cache of the writers against the general way (which
// takes std::to_chars' shortest text where it reads back): decimals of zero to nine places in
// the ranges documents hold, each through the quick way with every hint and through one cache.
TEST(FormatDocumentReal, QuickWayAndCacheWriteTheGeneralWaysText) {
    std::mt19937 random(20261209);
    RealTextCache cache;
    int quick = 0;
    for (int i = 0; i < 20000; ++i) {
        const int places = static_cast<int>(random() % 10);
        const double whole = static_cast<double>(random() % 100000);
        const double fraction = static_cast<double>(random() % 1000000000) / 1e9;
        const double scale = std::pow(10.0, -static_cast<double>(random() % 6));
        const float value =
            static_cast<float>((random() % 2 != 0 ? -1 : 1) *
                               std::round((whole * scale + fraction) * std::pow(10.0, places)) /
                               std::pow(10.0, places));
        char general[kRealTextCapacity];
        const std::size_t length = number_text_detail::FormatRealByDigits(value, general);
        ASSERT_EQ(cache.Text(value), std::string_view(general, length)) << general;
        for (int hint = -1; hint <= 10; ++hint) {
            char plain[kRealTextCapacity];
            int used = hint;
            if (number_text_detail::FormatPlainReal(value, plain, used) == 0) continue;
            ++quick;
            ASSERT_STREQ(plain, general) << "hint " << hint;
        }
    }
    EXPECT_GT(quick, 100000);  // most of them take the quick way
    EXPECT_EQ(cache.Text(std::numeric_limits<float>::quiet_NaN()), "");
    EXPECT_EQ(cache.Text(-0.0f), "-0");
}

}  // namespace
}  // namespace bloktar
