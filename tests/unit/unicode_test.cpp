// UTF-8 and UTF-16 as the platform layer converts them: well-formed text both ways, surrogate
// pairs, and what becomes of bytes and units that are not well formed.
#include <gtest/gtest.h>

#include <string>

#include "run/unicode.hpp"

namespace {

using bloktar::Utf16ToUtf8;
using bloktar::Utf8ToUtf16;
using bloktar::ValidUtf8;

TEST(Unicode, WellFormedTextConvertsBothWays) {
    // "a", "é" (2 bytes), "変" (3 bytes), U+1F600 (4 bytes, a surrogate pair in UTF-16).
    const std::string utf8 = "a\xc3\xa9\xe5\xa4\x89\xf0\x9f\x98\x80";
    const std::u16string utf16 = {u'a', 0x00E9, 0x5909, 0xD83D, 0xDE00};
    std::u16string converted = u"x";
    ASSERT_TRUE(Utf8ToUtf16(utf8, converted));
    EXPECT_EQ(converted, u"x" + utf16);
    EXPECT_EQ(Utf16ToUtf8(utf16), utf8);
    EXPECT_EQ(ValidUtf8(utf8), utf8);
}

TEST(Unicode, MalformedUtf8IsRefusedWholeOrShownAsQuestionMarks) {
    // A stray continuation byte, over-long forms of '/' and of U+0800, an encoded surrogate, a
    // code point beyond U+10FFFF, a sequence cut short.
    for (const std::string bad :
         {"\x80", "\xc0\xaf", "\xe0\x9f\xbf", "\xed\xa0\x80", "\xf4\x90\x80\x80", "\xe5\xa4"}) {
        std::u16string out = u"kept";
        EXPECT_FALSE(Utf8ToUtf16("a" + bad, out));
        EXPECT_EQ(out, u"kept");
        EXPECT_EQ(ValidUtf8("a" + bad + "b"), "a" + std::string(bad.size(), '?') + "b");
    }
}

TEST(Unicode, UnpairedSurrogatesBecomeQuestionMarks) {
    EXPECT_EQ(Utf16ToUtf8(std::u16string{u'a', 0xD800, u'b'}), "a?b");
    EXPECT_EQ(Utf16ToUtf8(std::u16string{0xDC00, 0xD83D}), "??");
    EXPECT_EQ(Utf16ToUtf8(std::u16string{0xD83D, 0xDE00, 0xDE00}), "\xf0\x9f\x98\x80?");
}

}  // namespace
