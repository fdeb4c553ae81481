// bloktar-compat's own texts: each Shift_JIS form decodes to its intended Japanese text.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "compat/compat_text.hpp"
#include "text_checks.hpp"

namespace {

// The intended text of each, written here independently of the program's table.
const std::map<std::string, std::string> kIntended = {
    {"kTranslateStage", "形式変換"},
    {"kArchiveStage", "アーカイブ展開"},
    {"kVersionLead", "文書の形式\tFormat Text Ver "},
    {"kVersionTail", " を Ver 1.0 として読む\n"},
    {"kReencoded", "文字コード\tUTF-8 を Shift_JIS に変換\n"},
    {"kBinaryVerticesLead", "バイナリ頂点\t"},
    {"kBinaryVerticesTail", " チャンクをテキストの頂点に変換\n"},
    {"kArchiveMemberLead", "アーカイブ\t"},
    {"kArchiveMemberTail", " を展開\n"},
    {"kWarningLead", "警告\tオブジェクト \""},
    {"kMirrorWarning", "\": ミラーの片側しか文書にない (モデラーでフリーズしてから保存する)\n"},
    {"kPatchWarning", "\": 曲面の制御点しか文書にない (モデラーでフリーズしてから保存する)\n"},
    {"kLatheWarning", "\": 回転体の元の線しか文書にない (モデラーでフリーズしてから保存する)\n"},
    {"kLargeFacesLead", "\": 5 頂点以上の面が "},
    {"kLargeFacesTail", " 面ある (そのブロックは完全にならない)\n"},
    {"kLineLead", ": 行 "},
    {"kNotUtf8", "UTF-8 として読めないバイトがある"},
    {"kNotInCodePage", "Shift_JIS にない文字 U+"},
    {"kVectorLineMissing", "BVertex の Vector 行が読めない"},
    {"kPayloadSizeWrong", "BVertex のデータの大きさが 12 × 頂点数でない"},
    {"kPayloadPastEnd", "BVertex のデータが文書の終わりを越えている"},
    {"kPayloadNaN", "BVertex の頂点に NaN (数でない値) がある"},
    {"kClosingLineMissing", "BVertex の終わりの } 行がない"},
    {"kArchiveBroken", "アーカイブが壊れているか途中で切れている\n"},
    {"kArchiveCrcWrong", "アーカイブの文書の CRC が合わない\n"},
    {"kArchiveNoDocument", "アーカイブに .mqo の文書がない\n"},
    {"kArchiveUnsupported", "アーカイブの文書の圧縮方式に対応していない\n"},
};

}  // namespace

TEST(CompatText, EveryTextDecodesToItsIntendedJapanese) {
    ExpectTextsAsIntended(bloktar::compat::text::kAll, kIntended);
}
