// bloktar-repair's own texts: each Shift_JIS form decodes to its intended Japanese text.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "repair/repair_text.hpp"
#include "text_checks.hpp"

namespace {

// The intended text of each, written here independently of the program's table.
const std::map<std::string, std::string> kIntended = {
    {"kBannerTitle", "BLOKTAR REPAIR Ver" BLOKTAR_VERSION " \n"},
    {"kBoxSearch", "箱の検出"},
    {"kObjectLead", "オブジェクト \""},
    {"kObjectEnd", "\"\n"},
    {"kMark", "  ・"},
    {"kKept", "そのままの箱\t"},
    {"kRewrittenPlace", "書き直す箱 (位置)\t"},
    {"kRewrittenOrder", "書き直す箱 (頂点の順)\t"},
    {"kRewrittenShared", "書き直す箱 (共有頂点)\t"},
    {"kRewrittenTriangles", "書き直す箱 (三角形)\t"},
    {"kSetAsideLead", "箱にならない頂点 "},
    {"kSetAsideFaces", " 個と面 "},
    {"kSetAsideTo", " 面を非表示オブジェクト \""},
    {"kSetAsideEnd", "\" に移す\n"},
    {"kLeftAsIs", "手を付けずに残す\n"},
    {"kCount", "\n"},
    {"kBlocksLead", "修復した文書のブロック数\t"},
    {"kBlocksEnd", " \n"},
    {"kNothingToRepair", "直すところはない: 何も書き込まない\n"},
    {"kVerify", "検証"},
    {"kBlock", "ブロック "},
    {"kMismatch", " が元の箱と合わない\n"},
    {"kTooManyBlocks", "ブロックが多すぎる (BD1 ファイルは 32767 まで): "},
    {"kRepairDone", "修復完了\n"},
};

}  // namespace

TEST(RepairText, EveryTextDecodesToItsIntendedJapanese) {
    ExpectTextsAsIntended(bloktar::repair::text::kAll, kIntended);
}
