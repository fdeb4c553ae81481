// What a person reading the console sees: on a terminal whose locale uses UTF-8 the program's
// texts arrive in UTF-8; everywhere else the Shift_JIS bytes, and document bytes always as they
// are in the document.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/expected.hpp"
#include "support/process.hpp"
#include "support/terminal.hpp"

using namespace testing_support;

namespace {

const std::string kDashes(47, '-');

// A complete run of the sample document, as text.
std::string SampleRunText() {
    return Banner() +
           "ファイルロード\t完了\nヘッダー確認\t完了\n\nMQOファイル分析\t完了\n\n"
           "Material分析\t完了\nObject分析\t完了\n\nBD1ヘッダ作成\t完了\nブロック作成\t完了\n"
           "書き込み\t完了\n\n" +
           kDashes + "\n変換結果\n" + kDashes + "\n総ブロック数\t4 \nエラー情報\tなし\n" + kDashes +
           "\n\n変換完了\n";
}

std::string SampleIn(const std::string& dir) {
    std::filesystem::copy_file(SourcePath("examples/sample.mqo"), dir + "/sample.mqo");
    return "sample.mqo";
}

// The three variables that name the locale for character handling, null for "not set".
struct LocaleVariables {
    const char* lcAll;
    const char* lcCtype;
    const char* lang;

    std::string Trace() const {
        auto shown = [](const char* text) {
            return text == nullptr ? "-" : '"' + std::string(text) + '"';
        };
        return "LC_ALL=" + shown(lcAll) + " LC_CTYPE=" + shown(lcCtype) + " LANG=" + shown(lang);
    }
};

ScopedEnvironment Locale(const LocaleVariables& variables) {
    auto value = [](const char* text) {
        return text == nullptr ? std::nullopt : std::optional<std::string>(text);
    };
    return ScopedEnvironment({{"LC_ALL", value(variables.lcAll)},
                              {"LC_CTYPE", value(variables.lcCtype)},
                              {"LANG", value(variables.lang)}});
}

}  // namespace

TEST(Terminal, Utf8LocaleShowsTheProgramsTextsInUtf8) {
    SKIP_UNLESS_NATIVE_PROGRAM("the POSIX terminal rule; a console window is tested apart");
    for (const LocaleVariables& variables :
         {LocaleVariables{nullptr, nullptr, "C.UTF-8"}, LocaleVariables{"C.utf8", "C", "C"},
          LocaleVariables{"", "ja_JP.UTF-8", "C"}}) {
        SCOPED_TRACE(variables.Trace());
        const ScopedEnvironment locale = Locale(variables);
        const std::string dir = MakeTempDir();
        const ProgramRun run = RunBloktarOnTerminal({SampleIn(dir)}, "ok\n", dir);
        EXPECT_EQ(run.out, SampleRunText());
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(ReadFile(dir + "/sample.mqo.bd1").size(), 312u + 4 * 316);
    }
}

TEST(Terminal, OtherLocaleGetsShiftJis) {
    SKIP_UNLESS_NATIVE_PROGRAM("the POSIX terminal rule; a console window is tested apart");
    for (const LocaleVariables& variables : {LocaleVariables{"C", nullptr, "C.UTF-8"},
                                             LocaleVariables{nullptr, "ja_JP.SJIS", "C.UTF-8"},
                                             LocaleVariables{nullptr, nullptr, "ja_JP.eucJP"},
                                             LocaleVariables{nullptr, nullptr, nullptr}}) {
        SCOPED_TRACE(variables.Trace());
        const ScopedEnvironment locale = Locale(variables);
        const std::string dir = MakeTempDir();
        const ProgramRun run = RunBloktarOnTerminal({SampleIn(dir)}, "ok\n", dir);
        EXPECT_EQ(run.out, Sjis(SampleRunText()));
        EXPECT_EQ(run.status, 0);
    }
}

TEST(Terminal, PipeGetsShiftJisInAUtf8Locale) {
    const ScopedEnvironment locale = Locale({"C.UTF-8", "C.UTF-8", "C.UTF-8"});
    const std::string dir = MakeTempDir();
    const ProgramRun run = RunBloktar({SampleIn(dir)}, "ok\n", dir);
    EXPECT_EQ(run.out, Sjis(SampleRunText()));
    EXPECT_EQ(run.status, 0);
}

TEST(Terminal, DocumentBytesPassThroughUnchangedOnAUtf8Terminal) {
    SKIP_UNLESS_NATIVE_PROGRAM("the POSIX terminal rule; a console window is tested apart");
    const ScopedEnvironment locale = Locale({nullptr, nullptr, "C.UTF-8"});
    const std::string dir = MakeTempDir();
    // A first line in Shift_JIS (モデル, "model") with an invalid UTF-8 byte and a CR LF end.
    WriteFile(dir + "/model.mqo", "\x83\x82\x83\x66\x83\x8b \xff\r\nFormat Text Ver 1.0\r\n");
    const ProgramRun run = RunBloktarOnTerminal({"model.mqo"}, "", dir);
    EXPECT_EQ(run.out, Banner() +
                           "ファイルロード\t完了\nヘッダー確認tmpStr=\x83\x82\x83\x66\x83\x8b "
                           "\xff\n\n\"Metasequoia Document\"の確認失敗 \n");
    EXPECT_EQ(run.status, 1);
}

TEST(Terminal, FailedOpenOnAUtf8Terminal) {
    SKIP_UNLESS_NATIVE_PROGRAM("the POSIX terminal rule; a console window is tested apart");
    const ScopedEnvironment locale = Locale({nullptr, nullptr, "C.UTF-8"});
    const std::string dir = MakeTempDir();
    const ProgramRun run = RunBloktarOnTerminal({"missing.mqo"}, "", dir);
    EXPECT_EQ(run.out, Banner() + "ファイルロード\t失敗\n");
    EXPECT_EQ(run.status, 1);
}

TEST(Terminal, ClosingPauseWaitsForAWordTypedOnTheTerminal) {
    // The POSIX program on a terminal, or the Windows program in a console under Wine.
    const ScopedEnvironment locale = Locale({nullptr, nullptr, "C.UTF-8"});
    const std::string dir = MakeTempDir();
    const TypedRun run = RunBloktarOnTerminalTyping({SampleIn(dir)}, dir, "変換完了", "ok\r");
    EXPECT_TRUE(run.waitedForKeys);
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("変換完了"), std::string::npos);
}

// The Windows program in a console window shows its texts whatever the console's code page: the
// console here is Wine's, with code page 437 (no Japanese), which passes what the program writes
// on to this terminal in UTF-8. Bytes written in Shift_JIS would arrive there unreadable.
TEST(Terminal, ConsoleWindowShowsTheJapaneseTextsWhateverTheCodePage) {
    if (!ProgramIsWindows()) GTEST_SKIP() << "a console window is the Windows program's";
    const ScopedEnvironment locale = Locale({"C.UTF-8", nullptr, nullptr});
    const std::string dir = MakeTempDir();
    const ProgramRun run = RunBloktarOnTerminal({SampleIn(dir)}, "ok\n", dir);
    EXPECT_EQ(run.status, 0);
    // The console lays the text out with its own control sequences (tabs become spaces, the
    // cursor is hidden while it writes), so look for each text in what arrived.
    for (const char* text : {"ファイルロード", "ヘッダー確認", "MQOファイル分析", "Material分析",
                             "Object分析", "BD1ヘッダ作成", "ブロック作成", "書き込み", "完了",
                             "変換結果", "総ブロック数", "エラー情報", "なし", "変換完了"}) {
        EXPECT_NE(run.out.find(text), std::string::npos) << text;
    }
    EXPECT_EQ(run.out.find(Sjis("ファイルロード")), std::string::npos);
    EXPECT_EQ(ReadFile(dir + "/sample.mqo.bd1").size(), 312u + 4 * 316);
}
