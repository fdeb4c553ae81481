// The program's texts: each Shift_JIS form decodes to its intended Japanese text; and the locale
// names under which a terminal is shown them in UTF-8.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "run/console.hpp"
#include "run/console_text.hpp"
#include "run/version.hpp"
#include "support/expected.hpp"
#include "text_checks.hpp"

namespace {

// The intended text of each, written here independently of the program's table.
const std::map<std::string, std::string> kIntended = {
    {"kBannerRule", std::string(47, '=') + "\n"},
    {"kBannerTitle", "BLOKTAR Ver" BLOKTAR_VERSION " \n"},
    {"kNewline", "\n"},
    {"kFileLoad", "ファイルロード"},
    {"kDone", "\t完了\n"},
    {"kFailed", "\t失敗\n"},
    {"kHeaderCheck", "ヘッダー確認"},
    {"kReadFailed", "\t読み込み失敗\n"},
    {"kTmpStrPrefix", "tmpStr="},
    {"kDocumentLineMismatch", "\"Metasequoia Document\"の確認失敗 \n"},
    {"kFormatLineMismatch", "\"Format Text Ver 1.0\"の確認失敗 \n"},
    {"kSurvey", "MQOファイル分析"},
    {"kBlockCountCheck", "ブロック数確認"},
    {"kMemory", "メモリ確保"},
    {"kMaterials", "Material分析"},
    {"kObjects", "Object分析"},
    {"kOutputCreate", "出力ファイル作成"},
    {"kHeaderBuild", "BD1ヘッダ作成"},
    {"kBlockBuild", "ブロック作成"},
    {"kWrite", "書き込み"},
    {"kReportRule", std::string(47, '-') + "\n"},
    {"kReportTitle", "変換結果\n"},
    {"kBlockTotal", "総ブロック数\t"},
    {"kBlockTotalEnd", " \n"},
    {"kErrorInfo", "エラー情報"},
    {"kTooManyBlocks", "\n  ・ブロック数が上限(160)を超えている"},
    {"kRatioWrong", "\n  ・頂点数と面数の比率が異常"},
    {"kVerticesNotEights", "\n  ・頂点数が８の倍数になっていない"},
    {"kFacesNotSixes", "\n  ・面数が６の倍数になっていない"},
    {"kNoErrors", "\tなし"},
    {"kConversionDone", "変換完了\n"},
    {"kBd1TooShort", "BD1ファイルがヘッダー (312 バイト) より短い: "},
    {"kBd1Bytes", " バイト"},
    {"kBd1LengthMismatch", "BD1ファイルの長さが合わない: "},
    {"kBd1ExpectedLength", " (ブロック数 "},
    {"kBd1ExpectedLengthThen", " なら "},
    {"kBd1Block", "ブロック "},
    {"kBd1FlagNotOne", " のフラグが 1 でない: "},
};

}  // namespace

TEST(ConsoleText, EveryTextDecodesToItsIntendedJapanese) {
    ExpectTextsAsIntended(bloktar::text::kAll, kIntended);
}

// Which locale decides, and which names mean UTF-8.
TEST(ConsoleLocale, FirstSetVariableOfLcAllLcCtypeLangDecides) {
    using bloktar::LocaleUsesUtf8;
    EXPECT_TRUE(LocaleUsesUtf8(nullptr, nullptr, "C.UTF-8"));
    EXPECT_TRUE(LocaleUsesUtf8(nullptr, "ja_JP.UTF-8", "C"));
    EXPECT_FALSE(LocaleUsesUtf8(nullptr, "C", "ja_JP.UTF-8"));
    EXPECT_TRUE(LocaleUsesUtf8("en_US.UTF-8", "C", "POSIX"));
    EXPECT_FALSE(LocaleUsesUtf8("C", "C.UTF-8", "C.UTF-8"));
    // An empty variable counts as not set.
    EXPECT_TRUE(LocaleUsesUtf8("", "", "C.UTF-8"));
    EXPECT_FALSE(LocaleUsesUtf8("", "", ""));
    EXPECT_FALSE(LocaleUsesUtf8(nullptr, nullptr, nullptr));
}

TEST(ConsoleLocale, CharacterSetIsReadFromTheLocaleName) {
    using bloktar::LocaleUsesUtf8;
    for (const char* utf8 : {"ja_JP.UTF-8", "en_US.utf8", "C.UTF8", "de_DE.UTF-8@euro",
                             "sr_RS.utf-8@latin", "UTF-8"}) {
        EXPECT_TRUE(LocaleUsesUtf8(utf8, nullptr, nullptr)) << utf8;
    }
    for (const char* other : {"C", "POSIX", "ja_JP", "ja_JP.SJIS", "ja_JP.eucJP",
                              "en_US.ISO-8859-1", "de_DE@euro", "xx.UTF-16", "x.UTF-8x"}) {
        EXPECT_FALSE(LocaleUsesUtf8(other, nullptr, nullptr)) << other;
    }
}
