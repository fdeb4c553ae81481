// Opening the document and checking its two header lines.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "conversion_fixtures.hpp"

using namespace e2e;
using testing_support::Banner;
using testing_support::ListDirectory;
using testing_support::ProgramRun;
using testing_support::RunBloktar;

namespace {

std::string FailedOpen() {
    return Banner() + Sjis("ファイルロード\t失敗\n");
}

std::string AtHeaderCheck() {
    return testing_support::BannerAndLoad() + Sjis("ヘッダー確認");
}

std::string CannotRead() {
    return AtHeaderCheck() + Sjis("\t読み込み失敗\n");
}

std::string WrongFirstLine(const std::string& line) {
    return AtHeaderCheck() + "tmpStr=" + line + "\n" +
           Sjis("\"Metasequoia Document\"の確認失敗 \n");
}

std::string WrongSecondLine(const std::string& line) {
    return AtHeaderCheck() + "tmpStr=" + line + "\n" + Sjis("\"Format Text Ver 1.0\"の確認失敗 \n");
}

// A failed header check ends the run at once with status 1 and leaves no output behind.
void ExpectHeaderFailure(const std::string& document, const std::string& expected) {
    const Conversion c = Convert(document);
    EXPECT_EQ(c.run.status, 1);
    EXPECT_EQ(c.run.out, expected);
    EXPECT_EQ(ListDirectory(c.dir), std::vector<std::string>{"DOC.mqo"});
}

const std::string kSecondLine = "Format Text Ver 1.0\n";

}  // namespace

TEST(HeaderCheck, DocumentEndingBeforeAHeaderLineCannotBeRead) {
    const std::string documents[] = {
        "",
        "\r\r",
        "\x1A" + kHeaderLines,
        "Metasequoia Document\n",
        "Metasequoia Document\n\x1A" + kSecondLine + "Eof\n",
    };
    for (const std::string& document : documents) {
        SCOPED_TRACE(testing::PrintToString(document));
        ExpectHeaderFailure(document, CannotRead());
    }
}

TEST(HeaderCheck, FirstLineMustBeExactlyTheDocumentLine) {
    const struct {
        std::string first;    // the document's first line (or all of the document)
        std::string printed;  // the line as the check read it
    } cases[] = {
        {"Metasequoia Document \n", "Metasequoia Document \n"},
        {"\xEF\xBB\xBFMetasequoia Document\n", "\xEF\xBB\xBFMetasequoia Document\n"},
        {"metasequoia document\n", "metasequoia document\n"},
        {"\n", "\n"},
        // The line is looked at up to its NUL.
        {std::string("Metasequoia Document\0\n", 22), "Metasequoia Document"},
        // Only the first 127 characters of a long line are read.
        {std::string(200, 'M') + "\n", std::string(127, 'M')},
    };
    for (const auto& one : cases) {
        SCOPED_TRACE(testing::PrintToString(one.first));
        ExpectHeaderFailure(one.first + kSecondLine + "Eof\n", WrongFirstLine(one.printed));
    }
    // The whole document without a newline.
    ExpectHeaderFailure("Metasequoia Document", WrongFirstLine("Metasequoia Document"));
}

TEST(HeaderCheck, SecondLineMustBeExactlyTheFormatLine) {
    const std::string first = "Metasequoia Document\n";
    ExpectHeaderFailure(first + "Format Text Ver 1.1\nEof\n",
                        WrongSecondLine("Format Text Ver 1.1\n"));
    ExpectHeaderFailure(first + "Format Text Ver 1.0\t\nEof\n",
                        WrongSecondLine("Format Text Ver 1.0\t\n"));
    ExpectHeaderFailure(first + first + kSecondLine, WrongSecondLine(first));
    ExpectHeaderFailure(first + "Format Text Ver 1.0", WrongSecondLine("Format Text Ver 1.0"));
}

TEST(HeaderCheck, CarriageReturnsAreRemovedBeforeTheCheck) {
    const Conversion c = Convert("Metasequoia \rDocument\r\n\rFormat Text Ver 1.0\r\r\nEof\r\n");
    EXPECT_EQ(c.run.status, 0);
    EXPECT_EQ(c.run.out, CompleteRun(0));
    EXPECT_EQ(c.output, Bd1({}));
}

TEST(FileLoad, MissingDocumentIsAFailedOpen) {
    const std::string dir = testing_support::MakeTempDir();
    const ProgramRun run = RunBloktar({"missing.mqo", "ignored.mqo"}, "ok\n", dir);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, FailedOpen());
    EXPECT_TRUE(ListDirectory(dir).empty());
}

TEST(FileLoad, DirectoryIsAFailedOpen) {
    const std::string dir = testing_support::MakeTempDir();
    std::filesystem::create_directory(dir + "/folder.mqo");
    const ProgramRun run = RunBloktar({"folder.mqo"}, "ok\n", dir);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, FailedOpen());
    EXPECT_EQ(ListDirectory(dir), std::vector<std::string>{"folder.mqo"});
}

TEST(FileLoad, FifoIsAFailedOpenWithoutWaitingForAWriter) {
    SKIP_UNLESS_NATIVE_PROGRAM("FIFOs are POSIX files; Windows has none");
    using namespace std::chrono_literals;
    const std::string dir = testing_support::MakeTempDir();
    const std::string fifo = dir + "/pipe.mqo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // Should the program wait on the pipe after all, a writer that comes and goes frees it, so
    // that the test fails instead of hanging.
    std::atomic<bool> finished{false};
    std::thread rescue([&] {
        for (int i = 0; i < 50 && !finished; ++i) std::this_thread::sleep_for(100ms);
        if (finished) return;
        const int fd = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0) close(fd);
    });
    const ProgramRun run = RunBloktar({"pipe.mqo"}, "ok\n", dir);
    finished = true;
    rescue.join();
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, FailedOpen());
    EXPECT_EQ(ListDirectory(dir), std::vector<std::string>{"pipe.mqo"});
}

TEST(FileLoad, PathOf255BytesIsUsedWholeAndALongerOneIsRefusedRatherThanCut) {
    const std::string dir = testing_support::MakeTempDir();
    std::string folders;  // 204 bytes
    for (char c : {'a', 'b', 'c', 'd'}) folders += std::string(50, c) + "/";
    std::filesystem::create_directories(dir + "/" + folders);
    const std::string document = Document(BoxObject("box", Box{}));
    const std::string fits = folders + std::string(47, 'f') + ".mqo";
    const std::string tooLong = folders + std::string(48, 'g') + ".mqo";
    const std::string cut = tooLong.substr(0, 255);  // names a document too
    for (const std::string& path : {fits, tooLong, cut}) {
        testing_support::WriteFile(dir + "/" + path, document);
    }
    ASSERT_EQ(fits.size(), 255u);
    ASSERT_EQ(tooLong.size(), 256u);

    const ProgramRun converted = RunBloktar({fits}, "ok\n", dir);
    EXPECT_EQ(converted.status, 0);
    EXPECT_EQ(converted.out, CompleteRun(1));
    EXPECT_EQ(testing_support::ReadFile(dir + "/" + fits + ".bd1"), Bd1({BoxBlock(Box{})}));

    const ProgramRun refused = RunBloktar({tooLong}, "ok\n", dir);
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.out, FailedOpen());
    EXPECT_EQ(ListDirectory(dir + "/" + folders).size(), 4u);  // only fits gained an output
}
