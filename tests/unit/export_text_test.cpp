// bloktar-export's console texts: each decodes to the Japanese it is meant to say.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "export/export_text.hpp"
#include "run/version.hpp"
#include "text_checks.hpp"

namespace {

const std::map<std::string, std::string> kIntended = {
    {"kBannerTitle", "BLOKTAR EXPORT Ver" BLOKTAR_VERSION " \n"},
    {"kDocumentConvert", "ドキュメント変換"},
    {"kMaterialCount", "マテリアル数\t"},
    {"kTexture", "テクスチャ\t"},
    {"kNoName", "(名前なし)"},
    {"kEmbedPng", "\tPNG をそのまま埋め込む\n"},
    {"kEmbedJpeg", "\tJPEG をそのまま埋め込む\n"},
    {"kConvertBmp", "\tBMP を PNG に変換して埋め込む\n"},
    {"kConvertTga", "\tTGA を PNG に変換して埋め込む\n"},
    {"kConvertGif", "\tGIF を PNG に変換して埋め込む\n"},
    {"kFlatNoName", "\t単色\n"},
    {"kMissing", "\t見つからない (単色で表示)\n"},
    {"kUnreadable", "\t画像として読めない (単色で表示)\n"},
    {"kWebp", "\tWebP をそのまま埋め込む (WebP を読まないソフトでは単色)\n"},
    {"kNoSlotFaces", "テクスチャ番号が 0 から 9 でない面\t"},
    {"kNoSlotFacesEnd", " (灰色)\n"},
    {"kGltfBuild", "glTF作成"},
    {"kMark", "  ・"},
    {"kBlock", "ブロック "},
    {"kOf", " の "},
    {"kNotANumber", " が NaN で、glTF に書けない\n"},
    {"kInfinite", " が無限大で、glTF に書けない\n"},
    {"kExportDone", "書き出し完了\n"},
};

}  // namespace

TEST(ExportText, EveryTextDecodesToItsIntendedJapanese) {
    ExpectTextsAsIntended(bloktar::exporter::text::kAll, kIntended);
}
