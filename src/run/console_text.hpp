// Every text the program prints, in one place.
//
// Each text is held twice: as the Shift_JIS bytes (code page 932) that the console receives by
// default, and as UTF-8, used only where the console is known to show UTF-8. The comment above
// each gives the Japanese text; the tests decode both forms and compare them with it.
#pragma once

#include <string_view>

#include "run/version.hpp"

namespace bloktar {

struct ConsoleText {
    std::string_view sjis;
    std::string_view utf8;
};

namespace text {

// clang-format off
// banner rule line (47 '=')
inline constexpr ConsoleText kBannerRule{"===============================================\n", "===============================================\n"};
// program name and release
inline constexpr ConsoleText kBannerTitle{"BLOKTAR Ver" BLOKTAR_VERSION " \n",
                                          "BLOKTAR Ver" BLOKTAR_VERSION " \n"};
// line end
inline constexpr ConsoleText kNewline{"\n", "\n"};
// ファイルロード  (loading the file)
inline constexpr ConsoleText kFileLoad{
    "\x83\x74\x83\x40\x83\x43\x83\x8b\x83\x8d\x81\x5b\x83\x68",
    "\xe3\x83\x95\xe3\x82\xa1\xe3\x82\xa4\xe3\x83\xab\xe3\x83\xad\xe3\x83\xbc\xe3\x83\x89"};
// \t完了\n  (done)
inline constexpr ConsoleText kDone{
    "\t\x8a\xae\x97\xb9\n",
    "\t\xe5\xae\x8c\xe4\xba\x86\n"};
// \t失敗\n  (failed)
inline constexpr ConsoleText kFailed{
    "\t\x8e\xb8\x94\x73\n",
    "\t\xe5\xa4\xb1\xe6\x95\x97\n"};
// ヘッダー確認  (checking the header)
inline constexpr ConsoleText kHeaderCheck{
    "\x83\x77\x83\x62\x83\x5f\x81\x5b\x8a\x6d\x94\x46",
    "\xe3\x83\x98\xe3\x83\x83\xe3\x83\x80\xe3\x83\xbc\xe7\xa2\xba\xe8\xaa\x8d"};
// \t読み込み失敗\n  (reading failed)
inline constexpr ConsoleText kReadFailed{
    "\t\x93\xc7\x82\xdd\x8d\x9e\x82\xdd\x8e\xb8\x94\x73\n",
    "\t\xe8\xaa\xad\xe3\x81\xbf\xe8\xbe\xbc\xe3\x81\xbf\xe5\xa4\xb1\xe6\x95\x97\n"};
// shown before a rejected header line
inline constexpr ConsoleText kTmpStrPrefix{"tmpStr=", "tmpStr="};
// "Metasequoia Document"の確認失敗 \n  (first header line not found)
inline constexpr ConsoleText kDocumentLineMismatch{
    "\"Metasequoia Document\"\x82\xcc\x8a\x6d\x94\x46\x8e\xb8\x94\x73 \n",
    "\"Metasequoia Document\"\xe3\x81\xae\xe7\xa2\xba\xe8\xaa\x8d\xe5\xa4\xb1\xe6\x95\x97 \n"};
// "Format Text Ver 1.0"の確認失敗 \n  (second header line not found)
inline constexpr ConsoleText kFormatLineMismatch{
    "\"Format Text Ver 1.0\"\x82\xcc\x8a\x6d\x94\x46\x8e\xb8\x94\x73 \n",
    "\"Format Text Ver 1.0\"\xe3\x81\xae\xe7\xa2\xba\xe8\xaa\x8d\xe5\xa4\xb1\xe6\x95\x97 \n"};
// MQOファイル分析  (surveying the document)
inline constexpr ConsoleText kSurvey{
    "MQO\x83\x74\x83\x40\x83\x43\x83\x8b\x95\xaa\x90\xcd",
    "MQO\xe3\x83\x95\xe3\x82\xa1\xe3\x82\xa4\xe3\x83\xab\xe5\x88\x86\xe6\x9e\x90"};
// ブロック数確認  (checking the block count)
inline constexpr ConsoleText kBlockCountCheck{
    "\x83\x75\x83\x8d\x83\x62\x83\x4e\x90\x94\x8a\x6d\x94\x46",
    "\xe3\x83\x96\xe3\x83\xad\xe3\x83\x83\xe3\x82\xaf\xe6\x95\xb0\xe7\xa2\xba\xe8\xaa\x8d"};
// メモリ確保  (obtaining memory)
inline constexpr ConsoleText kMemory{
    "\x83\x81\x83\x82\x83\x8a\x8a\x6d\x95\xdb",
    "\xe3\x83\xa1\xe3\x83\xa2\xe3\x83\xaa\xe7\xa2\xba\xe4\xbf\x9d"};
// Material分析  (reading the materials)
inline constexpr ConsoleText kMaterials{
    "Material\x95\xaa\x90\xcd",
    "Material\xe5\x88\x86\xe6\x9e\x90"};
// Object分析  (reading the objects)
inline constexpr ConsoleText kObjects{
    "Object\x95\xaa\x90\xcd",
    "Object\xe5\x88\x86\xe6\x9e\x90"};
// 出力ファイル作成  (creating the output file)
inline constexpr ConsoleText kOutputCreate{
    "\x8f\x6f\x97\xcd\x83\x74\x83\x40\x83\x43\x83\x8b\x8d\xec\x90\xac",
    "\xe5\x87\xba\xe5\x8a\x9b\xe3\x83\x95\xe3\x82\xa1\xe3\x82\xa4\xe3\x83\xab\xe4\xbd\x9c\xe6\x88\x90"};
// BD1ヘッダ作成  (building the BD1 header)
inline constexpr ConsoleText kHeaderBuild{
    "BD1\x83\x77\x83\x62\x83\x5f\x8d\xec\x90\xac",
    "BD1\xe3\x83\x98\xe3\x83\x83\xe3\x83\x80\xe4\xbd\x9c\xe6\x88\x90"};
// ブロック作成  (building the blocks)
inline constexpr ConsoleText kBlockBuild{
    "\x83\x75\x83\x8d\x83\x62\x83\x4e\x8d\xec\x90\xac",
    "\xe3\x83\x96\xe3\x83\xad\xe3\x83\x83\xe3\x82\xaf\xe4\xbd\x9c\xe6\x88\x90"};
// 書き込み  (writing)
inline constexpr ConsoleText kWrite{
    "\x8f\x91\x82\xab\x8d\x9e\x82\xdd",
    "\xe6\x9b\xb8\xe3\x81\x8d\xe8\xbe\xbc\xe3\x81\xbf"};
// report rule line (47 '-')
inline constexpr ConsoleText kReportRule{"-----------------------------------------------\n", "-----------------------------------------------\n"};
// 変換結果\n  (conversion result)
inline constexpr ConsoleText kReportTitle{
    "\x95\xcf\x8a\xb7\x8c\x8b\x89\xca\n",
    "\xe5\xa4\x89\xe6\x8f\x9b\xe7\xb5\x90\xe6\x9e\x9c\n"};
// 総ブロック数\t  (total number of blocks)
inline constexpr ConsoleText kBlockTotal{
    "\x91\x8d\x83\x75\x83\x8d\x83\x62\x83\x4e\x90\x94\t",
    "\xe7\xb7\x8f\xe3\x83\x96\xe3\x83\xad\xe3\x83\x83\xe3\x82\xaf\xe6\x95\xb0\t"};
// after the block total
inline constexpr ConsoleText kBlockTotalEnd{" \n", " \n"};
// エラー情報  (error information)
inline constexpr ConsoleText kErrorInfo{
    "\x83\x47\x83\x89\x81\x5b\x8f\xee\x95\xf1",
    "\xe3\x82\xa8\xe3\x83\xa9\xe3\x83\xbc\xe6\x83\x85\xe5\xa0\xb1"};
// \n  ・ブロック数が上限(160)を超えている  (more blocks than the limit of 160)
inline constexpr ConsoleText kTooManyBlocks{
    "\n  \x81\x45\x83\x75\x83\x8d\x83\x62\x83\x4e\x90\x94\x82\xaa\x8f\xe3\x8c\xc0(160)\x82\xf0\x92\xb4\x82\xa6\x82\xc4\x82\xa2\x82\xe9",
    "\n  \xe3\x83\xbb\xe3\x83\x96\xe3\x83\xad\xe3\x83\x83\xe3\x82\xaf\xe6\x95\xb0\xe3\x81\x8c\xe4\xb8\x8a\xe9\x99\x90(160)\xe3\x82\x92\xe8\xb6\x85\xe3\x81\x88\xe3\x81\xa6\xe3\x81\x84\xe3\x82\x8b"};
// \n  ・頂点数と面数の比率が異常  (vertex-to-face ratio is wrong)
inline constexpr ConsoleText kRatioWrong{
    "\n  \x81\x45\x92\xb8\x93\x5f\x90\x94\x82\xc6\x96\xca\x90\x94\x82\xcc\x94\xe4\x97\xa6\x82\xaa\x88\xd9\x8f\xed",
    "\n  \xe3\x83\xbb\xe9\xa0\x82\xe7\x82\xb9\xe6\x95\xb0\xe3\x81\xa8\xe9\x9d\xa2\xe6\x95\xb0\xe3\x81\xae\xe6\xaf\x94\xe7\x8e\x87\xe3\x81\x8c\xe7\x95\xb0\xe5\xb8\xb8"};
// \n  ・頂点数が８の倍数になっていない  (vertex count is not a multiple of 8)
inline constexpr ConsoleText kVerticesNotEights{
    "\n  \x81\x45\x92\xb8\x93\x5f\x90\x94\x82\xaa\x82\x57\x82\xcc\x94\x7b\x90\x94\x82\xc9\x82\xc8\x82\xc1\x82\xc4\x82\xa2\x82\xc8\x82\xa2",
    "\n  \xe3\x83\xbb\xe9\xa0\x82\xe7\x82\xb9\xe6\x95\xb0\xe3\x81\x8c\xef\xbc\x98\xe3\x81\xae\xe5\x80\x8d\xe6\x95\xb0\xe3\x81\xab\xe3\x81\xaa\xe3\x81\xa3\xe3\x81\xa6\xe3\x81\x84\xe3\x81\xaa\xe3\x81\x84"};
// \n  ・面数が６の倍数になっていない  (face count is not a multiple of 6)
inline constexpr ConsoleText kFacesNotSixes{
    "\n  \x81\x45\x96\xca\x90\x94\x82\xaa\x82\x55\x82\xcc\x94\x7b\x90\x94\x82\xc9\x82\xc8\x82\xc1\x82\xc4\x82\xa2\x82\xc8\x82\xa2",
    "\n  \xe3\x83\xbb\xe9\x9d\xa2\xe6\x95\xb0\xe3\x81\x8c\xef\xbc\x96\xe3\x81\xae\xe5\x80\x8d\xe6\x95\xb0\xe3\x81\xab\xe3\x81\xaa\xe3\x81\xa3\xe3\x81\xa6\xe3\x81\x84\xe3\x81\xaa\xe3\x81\x84"};
// \tなし  (none)
inline constexpr ConsoleText kNoErrors{
    "\t\x82\xc8\x82\xb5",
    "\t\xe3\x81\xaa\xe3\x81\x97"};
// 変換完了\n  (conversion complete)
inline constexpr ConsoleText kConversionDone{
    "\x95\xcf\x8a\xb7\x8a\xae\x97\xb9\n",
    "\xe5\xa4\x89\xe6\x8f\x9b\xe5\xae\x8c\xe4\xba\x86\n"};
// The words for a BD1 file that the reader refused, shared by the programs that read BD1 files.
// BD1ファイルがヘッダー (312 バイト) より短い:   (BD1 file shorter than its header)
inline constexpr ConsoleText kBd1TooShort{
    "BD1\x83\x74\x83\x40\x83\x43\x83\x8b\x82\xaa\x83\x77\x83\x62\x83\x5f\x81\x5b (312 \x83\x6f\x83\x43\x83\x67) \x82\xe6\x82\xe8\x92\x5a\x82\xa2: ",
    "BD1\xe3\x83\x95\xe3\x82\xa1\xe3\x82\xa4\xe3\x83\xab\xe3\x81\x8c\xe3\x83\x98\xe3\x83\x83\xe3\x83\x80\xe3\x83\xbc (312 \xe3\x83\x90\xe3\x82\xa4\xe3\x83\x88) \xe3\x82\x88\xe3\x82\x8a\xe7\x9f\xad\xe3\x81\x84: "};
//  バイト  (bytes)
inline constexpr ConsoleText kBd1Bytes{
    " \x83\x6f\x83\x43\x83\x67",
    " \xe3\x83\x90\xe3\x82\xa4\xe3\x83\x88"};
// BD1ファイルの長さが合わない:   (BD1 file length does not match)
inline constexpr ConsoleText kBd1LengthMismatch{
    "BD1\x83\x74\x83\x40\x83\x43\x83\x8b\x82\xcc\x92\xb7\x82\xb3\x82\xaa\x8d\x87\x82\xed\x82\xc8\x82\xa2: ",
    "BD1\xe3\x83\x95\xe3\x82\xa1\xe3\x82\xa4\xe3\x83\xab\xe3\x81\xae\xe9\x95\xb7\xe3\x81\x95\xe3\x81\x8c\xe5\x90\x88\xe3\x82\x8f\xe3\x81\xaa\xe3\x81\x84: "};
//  (ブロック数   ((block count)
inline constexpr ConsoleText kBd1ExpectedLength{
    " (\x83\x75\x83\x8d\x83\x62\x83\x4e\x90\x94 ",
    " (\xe3\x83\x96\xe3\x83\xad\xe3\x83\x83\xe3\x82\xaf\xe6\x95\xb0 "};
//  なら   (means)
inline constexpr ConsoleText kBd1ExpectedLengthThen{
    " \x82\xc8\x82\xe7 ",
    " \xe3\x81\xaa\xe3\x82\x89 "};
// ブロック   (block)
inline constexpr ConsoleText kBd1Block{
    "\x83\x75\x83\x8d\x83\x62\x83\x4e ",
    "\xe3\x83\x96\xe3\x83\xad\xe3\x83\x83\xe3\x82\xaf "};
//  のフラグが 1 でない:   (flag is not 1)
inline constexpr ConsoleText kBd1FlagNotOne{
    " \x82\xcc\x83\x74\x83\x89\x83\x4f\x82\xaa 1 \x82\xc5\x82\xc8\x82\xa2: ",
    " \xe3\x81\xae\xe3\x83\x95\xe3\x83\xa9\xe3\x82\xb0\xe3\x81\x8c 1 \xe3\x81\xa7\xe3\x81\xaa\xe3\x81\x84: "};
// clang-format on

struct NamedText {
    std::string_view name;
    ConsoleText text;
};

// All texts above, for the tests that check their encodings.
inline constexpr NamedText kAll[] = {
    {"kBannerRule", kBannerRule},
    {"kBannerTitle", kBannerTitle},
    {"kNewline", kNewline},
    {"kFileLoad", kFileLoad},
    {"kDone", kDone},
    {"kFailed", kFailed},
    {"kHeaderCheck", kHeaderCheck},
    {"kReadFailed", kReadFailed},
    {"kTmpStrPrefix", kTmpStrPrefix},
    {"kDocumentLineMismatch", kDocumentLineMismatch},
    {"kFormatLineMismatch", kFormatLineMismatch},
    {"kSurvey", kSurvey},
    {"kBlockCountCheck", kBlockCountCheck},
    {"kMemory", kMemory},
    {"kMaterials", kMaterials},
    {"kObjects", kObjects},
    {"kOutputCreate", kOutputCreate},
    {"kHeaderBuild", kHeaderBuild},
    {"kBlockBuild", kBlockBuild},
    {"kWrite", kWrite},
    {"kReportRule", kReportRule},
    {"kReportTitle", kReportTitle},
    {"kBlockTotal", kBlockTotal},
    {"kBlockTotalEnd", kBlockTotalEnd},
    {"kErrorInfo", kErrorInfo},
    {"kTooManyBlocks", kTooManyBlocks},
    {"kRatioWrong", kRatioWrong},
    {"kVerticesNotEights", kVerticesNotEights},
    {"kFacesNotSixes", kFacesNotSixes},
    {"kNoErrors", kNoErrors},
    {"kConversionDone", kConversionDone},
    {"kBd1TooShort", kBd1TooShort},
    {"kBd1Bytes", kBd1Bytes},
    {"kBd1LengthMismatch", kBd1LengthMismatch},
    {"kBd1ExpectedLength", kBd1ExpectedLength},
    {"kBd1ExpectedLengthThen", kBd1ExpectedLengthThen},
    {"kBd1Block", kBd1Block},
    {"kBd1FlagNotOne", kBd1FlagNotOne},
};

}  // namespace text
}  // namespace bloktar
