// The release package's Japanese read-me, as the build writes it: the form Notepad shows
// correctly, and a word on every program the package holds.
#include <gtest/gtest.h>

#include <string>

#include "run/version.hpp"
#include "support/expected.hpp"
#include "support/process.hpp"

namespace {

TEST(ReleaseReadMe, IsUtf8WithAByteOrderMarkAndCrLfLineEnds) {
    const std::string text = testing_support::ReadFile(testing_support::BuildPath("README-ja.txt"));
    ASSERT_GE(text.size(), 3u);
    EXPECT_EQ(text.substr(0, 3), "\xef\xbb\xbf");
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool lineEndAround = text[i] == '\n'   ? i > 0 && text[i - 1] == '\r'
                                   : text[i] == '\r' ? i + 1 < text.size() && text[i + 1] == '\n'
                                                     : true;
        EXPECT_TRUE(lineEndAround) << "a CR or LF alone at byte " << i;
    }
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
    // Well-formed UTF-8 (it converts), every character one that Shift_JIS has too.
    EXPECT_NO_THROW(testing_support::Sjis(text.substr(3)));
    EXPECT_NE(text.find("BLOKTAR " BLOKTAR_VERSION "\r\n"), std::string::npos);
}

TEST(ReleaseReadMe, SaysWhatToDropOnEveryProgramAndWhereTheFullReadmeIs) {
    const std::string text = testing_support::ReadFile(testing_support::BuildPath("README-ja.txt"));
    for (const char* program : {"bloktar.exe", "bloktar-inspect.exe", "bloktar-reverse.exe",
                                "bloktar-compat.exe", "bloktar-repair.exe", "bloktar-export.exe"}) {
        SCOPED_TRACE(program);
        EXPECT_NE(text.find(std::string("● ") + program + " に "), std::string::npos);
    }
    EXPECT_NE(text.find("README.md (英語)"), std::string::npos);
    // The guide and the licence, by the names they have in the package.
    EXPECT_NE(text.find("docs\\guide.md (英語)"), std::string::npos);
    EXPECT_NE(text.find("LICENSE"), std::string::npos);
}

TEST(ReleaseReadMe, SaysThatAFileDroppedOnTheInspectorOpensItsPage) {
    const std::string text = testing_support::ReadFile(testing_support::BuildPath("README-ja.txt"));
    const std::size_t drop = text.find("● bloktar-inspect.exe に ");
    ASSERT_NE(drop, std::string::npos);
    const std::string section = text.substr(drop, text.find("\r\n\r\n", drop) - drop);
    EXPECT_NE(section.find("ブラウザーで開きます"), std::string::npos) << section;
    EXPECT_NE(section.find("house.mqo → house.mqo.html"), std::string::npos) << section;
    EXPECT_NE(section.find("ページの場所"), std::string::npos) << section;
}

}  // namespace
