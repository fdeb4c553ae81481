// Documents named as people name them: spaces, Japanese, characters that no single code page
// holds. Each opens, and its output appears beside it with ".bd1" appended to the whole name.
// On Windows the path's length is counted in UTF-16 code units.
#include <gtest/gtest.h>

#include <filesystem>

#include "conversion_fixtures.hpp"
#include "support/expected.hpp"
#include "support/process.hpp"

using namespace testing_support;

namespace {

// A document with no objects: it converts to a BD1 header that counts no blocks.
const std::string kEmptyModel = "Metasequoia Document\nFormat Text Ver 1.0\nEof\n";

std::string FailedOpenRun() {
    return Banner() + Sjis("ファイルロード\t失敗\n");
}

// Writes the empty model at dir/folder/name (and an earlier output beside it when asked) and
// converts it, naming it as folder + separator + name from dir; checks the run and that the
// folder then holds the document and its new output only.
void ExpectConvertsBeside(const std::string& folder, const std::string& name,
                          const std::string& separator = "/", bool earlierOutput = false) {
    SCOPED_TRACE(folder + separator + name);
    const std::string dir = MakeTempDir();
    std::filesystem::create_directories(dir + "/" + folder);
    WriteFile(dir + "/" + folder + "/" + name, kEmptyModel);
    if (earlierOutput) WriteFile(dir + "/" + folder + "/" + name + ".bd1", "an earlier output");
    const ProgramRun run = RunBloktar({folder + separator + name}, "ok\n", dir);
    EXPECT_EQ(run.out, e2e::CompleteRun(0));
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(ReadFile(dir + "/" + folder + "/" + name + ".bd1"), Bd1Bytes({}, 0, {}));
    EXPECT_EQ(ListDirectory(dir + "/" + folder), (std::vector<std::string>{name, name + ".bd1"}));
}

std::string Repeat(const std::string& text, int times) {
    std::string repeated;
    for (int i = 0; i < times; ++i) repeated += text;
    return repeated;
}

}  // namespace

TEST(FileNames, SpacesJapaneseAndCharactersOfNoSingleCodePageConvertBesideTheDocument) {
    ExpectConvertsBeside(".", "my house model.mqo");
    ExpectConvertsBeside("模型 データ", "家の屋根 ブロック.mqo");
    // Cyrillic and Japanese share no code page; the emoji lie outside 16 bits (UTF-16 pairs).
    ExpectConvertsBeside("Дом 家 🏠", "ёлка 木 🎄.mqo");
    ExpectConvertsBeside("ソ表 能", "ソ表能.mqo");  // Shift_JIS second bytes that are "\"
    ExpectConvertsBeside("模型", "家.mqo", "/", true);
}

TEST(FileNames, FolderInTheOutputsPlaceFailsTheWriteAndLeavesNoTemporaryFile) {
    const std::string dir = MakeTempDir();
    std::filesystem::create_directories(dir + "/模型 🏠/家.mqo.bd1");
    WriteFile(dir + "/模型 🏠/家.mqo", kEmptyModel);
    const ProgramRun run = RunBloktar({"模型 🏠/家.mqo"}, "ok\n", dir);
    EXPECT_EQ(
        run.out,
        BannerAndLoad() + Sjis("ヘッダー確認\t完了\n\nMQOファイル分析\t完了\n\nMaterial分析\t完了\n"
                               "Object分析\t完了\n\nBD1ヘッダ作成\t完了\nブロック作成\t完了\n"
                               "書き込み\t失敗\n"));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(ListDirectory(dir + "/模型 🏠"), (std::vector<std::string>{"家.mqo", "家.mqo.bd1"}));
    EXPECT_TRUE(std::filesystem::is_directory(dir + "/模型 🏠/家.mqo.bd1"));
}

TEST(FileNames, BackslashSeparatesFoldersOnWindows) {
    if (!ProgramIsWindows()) GTEST_SKIP() << "\"\\\" separates folders on Windows only";
    ExpectConvertsBeside("模型 データ", "家.mqo", "\\");
}

TEST(FileNames, PathOf255Utf16CodeUnitsIsTakenOnWindows) {
    if (!ProgramIsWindows()) GTEST_SKIP() << "POSIX counts the path in bytes";
    // 84 + 1 + 84 + 1 + 85 = 255 UTF-16 code units; the emoji is two of them. In UTF-8 the path
    // is 755 bytes, in Shift_JIS 505: neither of those is what counts.
    const std::string folder = Repeat("あ", 84) + "/" + Repeat("い", 84);
    ExpectConvertsBeside(folder, Repeat("う", 79) + "🙂.mqo");
}

TEST(FileNames, PathOf256Utf16CodeUnitsIsRefusedOnWindows) {
    if (!ProgramIsWindows()) GTEST_SKIP() << "POSIX counts the path in bytes";
    // 256 code units, though only 255 characters: the emoji counts twice.
    const std::string dir = MakeTempDir();
    const std::string folder = Repeat("あ", 84) + "/" + Repeat("い", 84);
    const std::string path = folder + "/" + Repeat("う", 80) + "🙂.mqo";
    std::filesystem::create_directories(dir + "/" + folder);
    WriteFile(dir + "/" + path, kEmptyModel);
    const ProgramRun run = RunBloktar({path}, "ok\n", dir);
    EXPECT_EQ(run.out, FailedOpenRun());
    EXPECT_EQ(run.status, 1);
    EXPECT_FALSE(FileExists(dir + "/" + path + ".bd1"));
}

TEST(FileNames, FoldersAndDevicesAreNoDocuments) {
    // Windows opens "NUL", "CON" and "COM1" as devices wherever they stand; reading one could
    // wait for ever, so none is opened. On POSIX they are just files that do not exist here.
    for (const std::string name : {".", "sub", "NUL", "CON", "COM1", "sub/nul"}) {
        SCOPED_TRACE(name);
        const std::string dir = MakeTempDir();
        std::filesystem::create_directory(dir + "/sub");
        const ProgramRun run = RunBloktar({name}, "ok\n", dir);
        EXPECT_EQ(run.out, FailedOpenRun());
        EXPECT_EQ(run.status, 1);
    }
}
