// The closing pause: the run waits for one word on standard input before it ends, with all its
// output printed and its file written.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "conversion_fixtures.hpp"

using namespace e2e;
using testing_support::ProgramRun;
using testing_support::RunBloktar;
using testing_support::RunningBloktar;

namespace {

constexpr int kPatience = 20000;  // ms for what must happen
constexpr int kGrace = 300;       // ms in which what must not happen does not

std::string OneBoxDocument() {
    return Document(BoxObject("box", Box{}));
}

// Starts the converter, waits for its complete output and checks that it then waits for a
// word: white space alone does not end it, a word does, with the given status.
void ExpectPauseBeforeEnd(const std::vector<std::string>& args, const std::string& dir,
                          const std::string& expectedOut, int expectedStatus) {
    RunningBloktar program(args, dir);
    EXPECT_EQ(program.ReadUntil(expectedOut, kPatience), expectedOut);
    int status = -1;
    EXPECT_FALSE(program.Ended(kGrace, status));
    program.Write("\n\n   \t\n");
    EXPECT_FALSE(program.Ended(kGrace, status));
    program.Write("  done\n");
    ASSERT_TRUE(program.Ended(kPatience, status));
    EXPECT_EQ(status, expectedStatus);
    EXPECT_EQ(program.ReadUntil("", kPatience), expectedOut);
}

}  // namespace

TEST(ClosingPause, OutputFileIsCompleteWhileThePauseWaits) {
    const std::string dir = testing_support::MakeTempDir();
    testing_support::WriteFile(dir + "/DOC.mqo", OneBoxDocument());
    RunningBloktar program({"DOC.mqo"}, dir);
    EXPECT_EQ(program.ReadUntil(CompleteRun(1), kPatience), CompleteRun(1));
    int status = -1;
    EXPECT_FALSE(program.Ended(kGrace, status));
    EXPECT_EQ(testing_support::ListDirectory(dir),
              (std::vector<std::string>{"DOC.mqo", "DOC.mqo.bd1"}));
    EXPECT_EQ(testing_support::ReadFile(dir + "/DOC.mqo.bd1"), Bd1({BoxBlock(Box{})}));
    program.Write("\n\n");
    EXPECT_FALSE(program.Ended(kGrace, status));
    program.Write("done\n");
    ASSERT_TRUE(program.Ended(kPatience, status));
    EXPECT_EQ(status, 0);
}

TEST(ClosingPause, FailedRunsWaitForAWordToo) {
    const std::string banner = testing_support::Banner();
    {
        SCOPED_TRACE("no argument");
        ExpectPauseBeforeEnd({}, testing_support::MakeTempDir(),
                             banner + Sjis("ファイルロード\t失敗\n"), 1);
    }
    {
        SCOPED_TRACE("block count refused");
        const std::string dir = testing_support::MakeTempDir();
        testing_support::WriteFile(dir + "/DOC.mqo",
                                   Document("Object \"o\" {\n\tvertex -8 {\n\t}\n}\n"));
        ExpectPauseBeforeEnd({"DOC.mqo"}, dir,
                             StagesThroughSurvey() + Sjis("ブロック数確認\t失敗\n"), 1);
    }
    {
        SCOPED_TRACE("output write failed");
        const std::string dir = testing_support::MakeTempDir();
        testing_support::WriteFile(dir + "/DOC.mqo", OneBoxDocument());
        std::filesystem::create_directory(dir + "/DOC.mqo.bd1");
        ExpectPauseBeforeEnd({"DOC.mqo"}, dir,
                             StagesThroughGeometry() +
                                 Sjis("BD1ヘッダ作成\t完了\nブロック作成\t完了\n書き込み\t失敗\n"),
                             1);
    }
}

TEST(ClosingPause, FailedHeaderCheckEndsWithoutWaiting) {
    const std::string dir = testing_support::MakeTempDir();
    testing_support::WriteFile(dir + "/DOC.mqo", "Metasequoia Document\n");
    RunningBloktar program({"DOC.mqo"}, dir);  // standard input stays open
    int status = -1;
    ASSERT_TRUE(program.Ended(kPatience, status));
    EXPECT_EQ(status, 1);
    EXPECT_EQ(program.ReadUntil("", kPatience),
              testing_support::BannerAndLoad() + Sjis("ヘッダー確認\t読み込み失敗\n"));
}

TEST(ClosingPause, EndOfInputOrAnyLongWordEndsIt) {
    const std::string document = OneBoxDocument();
    const std::string inputs[] = {"", "\n\n", std::string(1 << 20, 'w'),
                                  " " + std::string(100000, 'w') + "\n"};
    for (const std::string& input : inputs) {
        SCOPED_TRACE(input.size());
        const Conversion c = Convert(document, input);
        EXPECT_EQ(c.run.status, 0);
        EXPECT_EQ(c.run.out, CompleteRun(1));
    }
}
