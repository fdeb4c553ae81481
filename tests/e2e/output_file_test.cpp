// The BD1 file beside the document: its name, its replacement, and runs whose writing fails.
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "conversion_fixtures.hpp"

using namespace e2e;
using testing_support::FileExists;
using testing_support::ListDirectory;
using testing_support::ProgramRun;
using testing_support::ReadFile;
using testing_support::RunBloktar;
using testing_support::WriteFile;

namespace {

constexpr const char* kFileSizeLimitIsPosix =
    "the file-size limit (RLIMIT_FSIZE) is a POSIX process's; under Wine it would bind the Wine "
    "server too";

// Limits the size of files that the converter may write, and lets a write past the limit fail
// instead of ending the process. The converter inherits both from the test process.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        rlimit limited = saved_;
        limited.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limited);
        savedHandler_ = signal(SIGXFSZ, SIG_IGN);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        signal(SIGXFSZ, savedHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

  private:
    rlimit saved_{};
    void (*savedHandler_)(int) = SIG_DFL;
};

std::vector<Box> Boxes(int count) {
    std::vector<Box> boxes(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        boxes[static_cast<std::size_t>(i)].corner = 100 * (i + 1);
        boxes[static_cast<std::size_t>(i)].uv = 200 * i;
        boxes[static_cast<std::size_t>(i)].texture = 6 * i;
    }
    return boxes;
}

std::string BoxesDocument(const std::vector<Box>& boxes) {
    std::string body;
    for (const Box& box : boxes) body += BoxObject("box", box);
    return Document(body);
}

std::string BoxesBd1(const std::vector<Box>& boxes) {
    std::vector<ExpectedBlock> blocks;
    for (const Box& box : boxes) blocks.push_back(BoxBlock(box));
    return Bd1(blocks);
}

std::string RecordWriteFailure() {
    return StagesThroughGeometry() +
           Sjis("BD1ヘッダ作成\t完了\nブロック作成\t完了\n書き込み\t失敗\n");
}

std::string HeaderWriteFailure() {
    return StagesThroughGeometry() + Sjis("BD1ヘッダ作成\t失敗\n");
}

mode_t ModeOf(const std::string& path) {
    struct stat status {};
    stat(path.c_str(), &status);
    return status.st_mode & 07777;
}

const std::vector<std::string> kDocumentAndOutput = {"DOC.mqo", "DOC.mqo.bd1"};

}  // namespace

TEST(OutputFile, IsNamedAfterTheWholeInputPath) {
    const std::string dir = testing_support::MakeTempDir();
    std::filesystem::create_directory(dir + "/models");
    const std::vector<Box> boxes = Boxes(1);
    WriteFile(dir + "/models/a.mqo", BoxesDocument(boxes));
    const ProgramRun run = RunBloktar({"models/a.mqo"}, "ok\n", dir);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, CompleteRun(1));
    EXPECT_EQ(ListDirectory(dir), std::vector<std::string>{"models"});
    EXPECT_EQ(ListDirectory(dir + "/models"), (std::vector<std::string>{"a.mqo", "a.mqo.bd1"}));
    EXPECT_EQ(ReadFile(dir + "/models/a.mqo.bd1"), BoxesBd1(boxes));
}

TEST(OutputFile, SecondRunReplacesTheFirstOutput) {
    const std::string dir = testing_support::MakeTempDir();
    const Conversion first = ConvertIn(dir, BoxesDocument(Boxes(3)));
    EXPECT_EQ(first.output, BoxesBd1(Boxes(3)));
    const std::vector<Box> one = {Boxes(3)[2]};
    const Conversion second = ConvertIn(dir, BoxesDocument(one));
    EXPECT_EQ(second.run.status, 0);
    EXPECT_EQ(second.run.out, CompleteRun(1));
    EXPECT_EQ(second.output, BoxesBd1(one));
    EXPECT_EQ(ListDirectory(dir), kDocumentAndOutput);
}

TEST(OutputFile, NewOutputFollowsTheUmaskAndAReplacedOneKeepsItsMode) {
    SKIP_UNLESS_NATIVE_PROGRAM("POSIX permission bits and the umask");
    const std::string dir = testing_support::MakeTempDir();
    const mode_t savedMask = umask(027);
    const Conversion created = ConvertIn(dir, BoxesDocument(Boxes(1)));
    umask(savedMask);
    EXPECT_EQ(ModeOf(dir + "/DOC.mqo.bd1"), 0640u);
    ASSERT_EQ(chmod((dir + "/DOC.mqo.bd1").c_str(), 0604), 0);
    const Conversion replaced = ConvertIn(dir, BoxesDocument(Boxes(2)));
    EXPECT_EQ(replaced.output, BoxesBd1(Boxes(2)));
    EXPECT_EQ(ModeOf(dir + "/DOC.mqo.bd1"), 0604u);
}

TEST(OutputFile, FailedRecordWriteKeepsTheEarlierOutput) {
    SKIP_UNLESS_NATIVE_PROGRAM(kFileSizeLimitIsPosix);
    const std::string dir = testing_support::MakeTempDir();
    WriteFile(dir + "/DOC.mqo", BoxesDocument(Boxes(3)));
    WriteFile(dir + "/DOC.mqo.bd1", "earlier output");
    ProgramRun run{};
    {
        const FileSizeLimit limit(1000);  // the header fits, the 948 bytes of records do not
        run = RunBloktar({"DOC.mqo"}, "ok\n", dir);
    }
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, RecordWriteFailure());
    EXPECT_EQ(ReadFile(dir + "/DOC.mqo.bd1"), "earlier output");
    EXPECT_EQ(ListDirectory(dir), kDocumentAndOutput);
}

TEST(OutputFile, FailedHeaderWriteKeepsTheEarlierOutput) {
    SKIP_UNLESS_NATIVE_PROGRAM(kFileSizeLimitIsPosix);
    const std::string dir = testing_support::MakeTempDir();
    WriteFile(dir + "/DOC.mqo", BoxesDocument(Boxes(1)));
    WriteFile(dir + "/DOC.mqo.bd1", "earlier output");
    ProgramRun run{};
    {
        const FileSizeLimit limit(100);
        run = RunBloktar({"DOC.mqo"}, "ok\n", dir);
    }
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, HeaderWriteFailure());
    EXPECT_EQ(ReadFile(dir + "/DOC.mqo.bd1"), "earlier output");
    EXPECT_EQ(ListDirectory(dir), kDocumentAndOutput);
}

TEST(OutputFile, DirectoryInTheWayFailsTheWrite) {
    const std::string dir = testing_support::MakeTempDir();
    std::filesystem::create_directory(dir + "/DOC.mqo.bd1");
    WriteFile(dir + "/DOC.mqo.bd1/keep.txt", "kept");
    const Conversion c = ConvertIn(dir, BoxesDocument(Boxes(1)));
    EXPECT_EQ(c.run.status, 1);
    EXPECT_EQ(c.run.out, RecordWriteFailure());
    EXPECT_TRUE(std::filesystem::is_directory(dir + "/DOC.mqo.bd1"));
    EXPECT_EQ(ListDirectory(dir + "/DOC.mqo.bd1"), std::vector<std::string>{"keep.txt"});
    EXPECT_EQ(ListDirectory(dir), kDocumentAndOutput);
}

TEST(OutputFile, NameTooLongForTheFileSystemFailsTheWrite) {
    // 253 bytes are a valid file name; with ".bd1" the output name would have 257.
    const std::string dir = testing_support::MakeTempDir();
    const std::string name = std::string(249, 'n') + ".mqo";
    WriteFile(dir + "/" + name, BoxesDocument(Boxes(1)));
    const ProgramRun run = RunBloktar({name}, "ok\n", dir);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, RecordWriteFailure());
    EXPECT_EQ(ListDirectory(dir), std::vector<std::string>{name});
}
