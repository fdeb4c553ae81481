// The inspector's texts: each Shift_JIS form decodes to its intended Japanese text.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "inspect/inspect_text.hpp"
#include "support/expected.hpp"
#include "text_checks.hpp"

namespace {

// The intended text of each, written here independently of the program's table.
// clang-format off
const std::map<std::string, std::string> kIntended = {
    {"kUsage", "使い方: bloktar-inspect [--svg 出力.svg] [--html 出力.html] ファイル\n"},
    {"kHelp",
     "ドキュメント (.mqo) をブロックごとに検査する。名前が .bd1 で終わるファイルは BD1 ファイルとして読む。\n"
     "  --svg 出力.svg    ブロックを等角図で描いた SVG ファイルを書く (問題のあるブロックは赤枠と番号)\n"
     "  --html 出力.html  ブロックを立体で描き、中を歩いて見られるページ (HTML ファイル) を書く\n"
     "  --help            この説明を表示する\n"
     "終了ステータス: 0 問題なし、1 読めない、2 問題のあるブロックがある\n"},
    {"kUnknownOption", "不明なオプション: "},
    {"kMissingFile", "ファイルが指定されていない\n"},
    {"kTooManyArguments", "引数が多すぎる: "},
    {"kSvgNeedsPath", "--svg の後に出力ファイル名がない\n"},
    {"kTextureNames", "テクスチャ名\n"},
    {"kNone", "なし"},
    {"kBlock", "ブロック "},
    {"kLayout", "レイアウト "},
    {"kFaceTextures", "\t面のテクスチャ"},
    {"kNoName", "(名前なし)"},
    {"kOutOfRange", "(範囲外)"},
    {"kProblemMark", "\t・"},
    {"kOfObject", " の"},
    {"kFace", "面 "},
    {"kUnrecognised", "レイアウトを認識できない"},
    {"kFirstFace", " (最初の面 V("},
    {"kOutsideVertices", " がブロック外の頂点を使っている: V("},
    {"kBlockVertexRange", "、このブロックの頂点は "},
    {"kRangeTo", " から "},
    {"kNotQuadrilateral", " が四角形でない (頂点数 "},
    {"kFacesMissing", "面が足りない (6 面のうち "},
    {"kFacesMissingEnd", " 面)"},
    {"kVerticesMissing", "頂点が足りない (8 個のうち "},
    {"kVerticesMissingEnd", " 個)"},
    {"kStraddles", "複数のオブジェクトにまたがっている"},
    {"kTextureOutOfRange", "テクスチャ番号が範囲外の面がある"},
    {"kInspectionTitle", "検査結果\n"},
    {"kProblemBlocks", "問題のあるブロック\t"},
    {"kRepairable", "bloktar-repair で直せるブロック\t"},
    {"kCorner", "\t角 "},
    {"kTexture", "\tテクスチャ "},
    {"kBd1Check", "BD1ファイル確認"},
    {"kBd1NegativeCount", "BD1ファイルのブロック数が負: "},
    {"kSvgWrite", "SVGファイル作成"},
    {"kHtmlNeedsPath", "--html の後に出力ファイル名がない\n"},
    {"kHtmlWrite", "HTMLファイル作成"},
    {"kPageLocation", "ページの場所\t"},
    {"kOpenInBrowser", "ブラウザで開く"},
};
// clang-format on

}  // namespace

TEST(InspectorText, EveryTextDecodesToItsIntendedJapanese) {
    ExpectTextsAsIntended(bloktar::inspect::text::kAll, kIntended);
}
