// Replays every committed fuzzing seed and every minimised finding through the conversion and
// its invariants, in every build (no clang or libFuzzer needed), and shows that the checks
// catch a broken conversion.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "fuzz/conversion_check.hpp"
#include "run/console_text.hpp"
#include "support/process.hpp"

using namespace testing_support;

namespace {

const unsigned char* Bytes(const std::string& text) {
    return reinterpret_cast<const unsigned char*>(text.data());
}

// Checks every file of the directory (none when there is no such directory); returns how many
// there were.
std::size_t ReplayDirectory(const std::string& relative) {
    const std::string directory = SourcePath(relative);
    if (!FileExists(directory)) return 0;
    const std::vector<std::string> names = ListDirectory(directory);
    for (const std::string& name : names) {
        const std::string bytes = ReadFile(directory + "/" + name);
        EXPECT_EQ(fuzzing::ConvertAndCheck(Bytes(bytes), bytes.size()), "")
            << relative << "/" << name;
    }
    return names.size();
}

// One conversion with the checked limit, kept for tampering.
struct Converted {
    std::string document;
    bloktar::ConversionResult result;
    bloktar::MemoryConsole console;
    bloktar::MemoryBd1Output output;

    explicit Converted(std::string text) : document(std::move(text)) {
        bloktar::Document reader;
        bloktar::OpenMemoryDocument(reader, document.data(), document.size());
        bloktar::ConversionLimits limits;
        limits.maxArrayBytes = fuzzing::kCheckedArrayBytes;
        result = bloktar::ConvertDocument(reader, console, output, limits);
    }
    std::string Check() const {
        return fuzzing::CheckConversion(Bytes(document), document.size(), result, console.printed,
                                        output);
    }
};

const std::string kHeader = "Metasequoia Document\nFormat Text Ver 1.0\n";

}  // namespace

// The seeds, and whatever scripts/fuzz has minimised from a session's findings into
// tests/fuzz/regressions/ (none may have been committed yet, so they count for nothing).
TEST(FuzzCorpus, EverySeedAndFindingKeepsTheInvariants) {
    EXPECT_GE(ReplayDirectory("tests/fuzz/corpus"), 40u);
    ReplayDirectory("tests/fuzz/regressions");
}

TEST(FuzzChecks, RefusalsAndRejectionsPass) {
    for (const std::string& document :
         {std::string(), std::string("Metasequoia Document\r\n"), kHeader,
          kHeader + "Object \"a\" {\n\tface 2000000000 {\n\t}\n}\n",
          kHeader + "Object \"a\" {\n\tvertex 262144 {\n\t}\n}\n"}) {
        EXPECT_EQ(fuzzing::ConvertAndCheck(Bytes(document), document.size()), "") << document;
    }
}

TEST(FuzzChecks, CatchBrokenBd1Bytes) {
    Converted sample(ReadFile(SourcePath("examples/sample.mqo")));
    ASSERT_EQ(sample.Check(), "");
    ASSERT_EQ(sample.output.bytes.size(), 312u + 4u * 316u);

    Converted flag = sample;
    flag.output.bytes[312 + 316 + 312] = 0;
    EXPECT_EQ(flag.Check(), "record 1 has a flag other than 1");

    Converted shorter = sample;
    shorter.output.bytes.resize(312 + 3 * 316);
    EXPECT_EQ(shorter.Check(), "BD1 bytes are not 312 + 316 x blockCount long");

    Converted count = sample;
    count.output.bytes[310] = 3;
    EXPECT_EQ(count.Check(), "header block count differs from the survey's");

    Converted name = sample;
    name.output.bytes[31 * 3] = 'x';
    EXPECT_EQ(name.Check(), "texture slot 3 named beyond the material count");

    Converted unfinished = sample;
    unfinished.output.finished = false;
    EXPECT_EQ(unfinished.Check(), "completed run left the BD1 output unfinished");
}

TEST(FuzzChecks, CatchBrokenConsoleText) {
    const Converted sample(ReadFile(SourcePath("examples/sample.mqo")));

    Converted unfinished = sample;
    unfinished.console.printed.resize(unfinished.console.printed.size() - 1);
    EXPECT_EQ(unfinished.Check(),
              "completed run's console text does not end with the conversion-done line");

    Converted count = sample;
    const std::string total = std::string(bloktar::text::kBlockTotal.sjis) + "4";
    count.console.printed.replace(count.console.printed.find(total), total.size(),
                                  std::string(bloktar::text::kBlockTotal.sjis) + "5");
    EXPECT_EQ(count.Check(), "report's block count differs from the BD1 header's");

    const std::string wrong = "Metasequoia Document\nFormat Text Ver 2.0\n";
    Converted rejected(wrong);
    ASSERT_EQ(rejected.Check(), "");
    rejected.console.printed += bloktar::text::kNewline.sjis;
    EXPECT_EQ(rejected.Check(),
              "header-rejected run printed other than the header check's messages");
}

TEST(FuzzChecks, CatchOutcomesThatContradictTheDocument) {
    Converted refused(kHeader + "Object \"a\" {\n\tvertex 262144 {\n\t}\n}\n");
    ASSERT_EQ(refused.result.outcome, bloktar::RunOutcome::BlockCountRefused);
    refused.output.bytes.assign(312, 0);
    EXPECT_EQ(refused.Check(), "refused document left BD1 bytes");

    Converted accepted(kHeader);
    accepted.result.outcome = bloktar::RunOutcome::MemoryUnavailable;
    accepted.output.Abandon();
    EXPECT_EQ(accepted.Check(), "document within every limit refused");

    Converted rejected("Metasequoia Document\n");
    rejected.result.outcome = bloktar::RunOutcome::Completed;
    EXPECT_EQ(rejected.Check(), "document without the two header lines got past the header check");
}
