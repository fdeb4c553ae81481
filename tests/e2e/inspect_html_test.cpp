// bloktar-inspect --html: the stage line it prints, the page it writes (texture images found
// beside the input, the findings in the inspector's words), and what it leaves alone when it
// cannot write the page.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "support/expected.hpp"
#include "support/process.hpp"

using namespace testing_support;

namespace {

const std::string kRule = std::string(47, '-') + "\n";

struct Inspection {
    std::string out;  // decoded from Shift_JIS
    int status;
};

Inspection Inspect(const std::string& dir, const std::vector<std::string>& args) {
    const ProgramRun run = RunInspector(args, dir);
    return {Utf8FromSjis(run.out), run.status};
}

std::string FolderWith(const std::string& example) {
    const std::string dir = MakeTempDir();
    std::filesystem::copy_file(SourcePath("examples/" + example), dir + "/" + example);
    return dir;
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Base64, written here apart from the program's encoder.
std::string Base64(const std::string& bytes) {
    const char* digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
        unsigned group = 0;
        for (std::size_t k = 0; k < 3; ++k) {
            group = (group << 8) | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u);
        }
        for (std::size_t k = 0; k < 4; ++k)
            text += k <= n ? digits[(group >> (18 - 6 * k)) & 63] : '=';
    }
    return text;
}

}  // namespace

TEST(InspectorHtml, WritesThePageAfterThePicture) {
    const std::string dir = FolderWith("sample.mqo");
    // wall.bmp beside the document is an image; floor.bmp is there but is none.
    const std::string wall = "BM" + std::string(60, '\x07');
    WriteFile(dir + "/wall.bmp", wall);
    WriteFile(dir + "/floor.bmp", "not an image");
    const Inspection run =
        Inspect(dir, {"--html", "sample.html", "sample.mqo", "--svg=sample.svg"});
    EXPECT_TRUE(run.out.ends_with(kRule + "SVGファイル作成\t完了\nHTMLファイル作成\t完了\n"))
        << run.out;
    EXPECT_EQ(run.status, 0);
    const std::string page = ReadFile(dir + "/sample.html");
    EXPECT_TRUE(
        page.starts_with("<!DOCTYPE html>\n<html lang=\"ja\">\n<head>\n<meta charset=\"utf-8\">"));
    EXPECT_TRUE(page.ends_with("</body>\n</html>\n"));
    EXPECT_TRUE(Contains(page, R"x({"title":"sample.mqo","fromBd1":false,"blockCount":4,)x"));
    EXPECT_TRUE(Contains(page, R"x("textures":[{"name":")x" + Base64("wall.bmp") +
                                   R"x(","image":"data:image/bmp;base64,)x" + Base64(wall) +
                                   R"x("},{"name":")x" + Base64("floor.bmp") +
                                   R"x(","image":""})x"));
    EXPECT_TRUE(Contains(page, R"x("objects":[")x" + Base64("wall") + R"x(",")x" + Base64("guide") +
                                   R"x(",")x" + Base64("tower") +
                                   R"x("],"blockObjects":[0,0,0,2],"problems":{},)x"));
    EXPECT_TRUE(FileExists(dir + "/sample.svg"));
}

TEST(InspectorHtml, CarriesTheFindingsInTheInspectorsWords) {
    const std::string dir = FolderWith("broken.mqo");
    const Inspection run = Inspect(dir, {"broken.mqo", "--html=broken.html"});
    EXPECT_TRUE(run.out.ends_with(kRule + "bloktar-repair で直せるブロック\t0\n" +
                                  "HTMLファイル作成\t完了\n"));
    EXPECT_EQ(run.status, 2);
    const std::string page = ReadFile(dir + "/broken.html");
    EXPECT_TRUE(Contains(
        page,
        R"x("problems":{"1":[["\u0009・レイアウトを認識できない (最初の面 V(11 10 8 9))"]],)x"
        R"x("2":[["\u0009・面 3 がブロック外の頂点を使っている: V(1 2 6 9)、このブロックの頂点は 0 から 7"],)x"
        R"x(["\u0009・面 4 が四角形でない (頂点数 3)"]]},)x"));
    EXPECT_TRUE(Contains(page, R"x(["問題のあるブロック\u00092"],["エラー情報\u0009なし"],)x"));
    EXPECT_TRUE(Contains(page, R"x(["bloktar-repair で直せるブロック\u00090"])x"));
}

TEST(InspectorHtml, LeavesEarlierFilesAsTheyWereWhenItCannotWrite) {
    const std::string dir = FolderWith("sample.mqo");
    // No such folder: the stage fails, the status says so, nothing is left behind.
    const Inspection nowhere = Inspect(dir, {"sample.mqo", "--html", "no/such/dir/x.html"});
    EXPECT_TRUE(nowhere.out.ends_with(kRule + "HTMLファイル作成\t失敗\n"));
    EXPECT_EQ(nowhere.status, 1);
    // A folder in the output's place stays as it was, with what it holds.
    std::filesystem::create_directory(dir + "/taken.html");
    WriteFile(dir + "/taken.html/inside", "kept");
    const Inspection taken = Inspect(dir, {"sample.mqo", "--html", "taken.html"});
    EXPECT_TRUE(taken.out.ends_with("HTMLファイル作成\t失敗\n"));
    EXPECT_EQ(taken.status, 1);
    EXPECT_EQ(ReadFile(dir + "/taken.html/inside"), "kept");
    // An input that cannot be read writes no page: the earlier one stays.
    WriteFile(dir + "/old.html", "earlier page");
    WriteFile(dir + "/bad.mqo", "Metasequoia Document\nFormat Text Ver 2.0\n");
    EXPECT_EQ(Inspect(dir, {"bad.mqo", "--html", "old.html"}).status, 1);
    EXPECT_EQ(ReadFile(dir + "/old.html"), "earlier page");
    EXPECT_EQ(ListDirectory(dir),
              (std::vector<std::string>{"bad.mqo", "old.html", "sample.mqo", "taken.html"}));
}
