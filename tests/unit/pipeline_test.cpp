// The pipeline's hand-over to its caller (every stage, every block, the stops) and the header
// check's verdicts.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "run/pipeline.hpp"
#include "support/documents.hpp"
#include "support/process.hpp"

using namespace bloktar;
using namespace testing_support;

namespace {

// Writes down, in order, everything the pipeline tells its caller, and stops it at the hook
// named by stopAt.
class Recorder final : public PipelineHooks {
  public:
    explicit Recorder(std::string stop = "") : stopAt(std::move(stop)) {}

    void StageStarting(PipelineStage stage) override { Note("start", stage); }
    void StageDone(PipelineStage stage) override { Note("done", stage); }
    bool GeometryRead(const StoredGeometry& geometry) override {
        stored = geometry;
        return Go("geometry");
    }
    bool HeaderBuilt(const Bd1Header&) override { return Go("header"); }
    void BlockBuilt(const PipelineBlock& block) override {
        events.push_back("block " + std::to_string(block.index));
        layouts.push_back(block.layout);
        handed.push_back(block.record);
        // The record handed over is the one filled from the normalised corners and faces.
        Bd1Block refilled{};
        FillBd1Block(block.corners, block.faces, refilled);
        refilledEqual.push_back(std::memcmp(&refilled, &block.record, sizeof refilled) == 0);
    }
    bool RecordsBuilt(std::span<const Bd1Block> built) override {
        records.assign(built.begin(), built.end());
        return Go("records");
    }

    std::string stopAt;
    std::vector<std::string> events;
    std::vector<int> layouts;
    std::vector<Bd1Block> handed;
    std::vector<bool> refilledEqual;
    std::vector<Bd1Block> records;
    StoredGeometry stored{};

  private:
    void Note(const char* what, PipelineStage stage) {
        events.push_back(std::string(what) + " " + std::to_string(static_cast<int>(stage)));
    }
    bool Go(const std::string& event) {
        events.push_back(event);
        return event != stopAt;
    }
};

PipelineResult RunPipeline(const std::string& text, Recorder& recorder,
                           PipelineLimits limits = {}) {
    bloktar::Document document;
    OpenMemoryDocument(document, text.data(), text.size());
    return RunDocumentPipeline(document, recorder, limits);
}

// Stage numbers as Recorder writes them: 0 header check, 1 survey, 2 materials, 3 objects,
// 4 header build, 5 blocks.
const std::vector<std::string> kThroughSurvey = {"start 0", "done 0", "start 1", "done 1"};

std::vector<std::string> Then(std::vector<std::string> events,
                              const std::vector<std::string>& more) {
    events.insert(events.end(), more.begin(), more.end());
    return events;
}

const std::vector<std::string> kThroughGeometry =
    Then(kThroughSurvey, {"start 2", "done 2", "start 3", "done 3", "geometry"});
const std::vector<std::string> kThroughHeader =
    Then(kThroughGeometry, {"start 4", "header", "done 4"});

}  // namespace

TEST(DocumentPipeline, HandsEveryBlockOverInOrderWithItsLayoutAndRecord) {
    // The sample holds one block in each of the four layouts, in layout order.
    Recorder recorder;
    const PipelineResult result =
        RunPipeline(ReadFile(SourcePath("examples/sample.mqo")), recorder);
    ASSERT_EQ(result.outcome, PipelineOutcome::Completed);
    EXPECT_EQ(recorder.events, Then(kThroughHeader, {"start 5", "block 0", "block 1", "block 2",
                                                     "block 3", "done 5", "records"}));
    EXPECT_EQ(recorder.layouts, (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(recorder.refilledEqual, std::vector<bool>(4, true));
    ASSERT_EQ(recorder.records.size(), 4u);
    EXPECT_EQ(std::memcmp(recorder.records.data(), recorder.handed.data(), 4 * sizeof(Bd1Block)),
              0);
    // The visible objects' records: 24 vertices and 18 faces, then 8 and 6.
    EXPECT_EQ(recorder.stored.vertexCount, 32u);
    EXPECT_EQ(recorder.stored.faceCount, 24u);
}

TEST(DocumentPipeline, RefusalsAndStopsEndTheRunWhereTheyHappen) {
    const std::string sample = ReadFile(SourcePath("examples/sample.mqo"));
    PipelineLimits tight;
    tight.maxArrayBytes = 100;
    const struct {
        const char* name;
        std::string document;
        PipelineLimits limits;
        std::string stopAt;
        PipelineOutcome outcome;
        std::vector<std::string> events;
    } cases[] = {
        {"header", "Metasequoia Document\n", {}, "", PipelineOutcome::HeaderRejected, {"start 0"}},
        {"block count",
         testing_support::Document(Object("big", 8 * 32768, "", 0, "")),
         {},
         "",
         PipelineOutcome::BlockCountRefused,
         kThroughSurvey},
        {"memory", sample, tight, "", PipelineOutcome::MemoryUnavailable, kThroughSurvey},
        {"geometry hook", sample, {}, "geometry", PipelineOutcome::Stopped, kThroughGeometry},
        {"header hook",
         sample,
         {},
         "header",
         PipelineOutcome::Stopped,
         Then(kThroughGeometry, {"start 4", "header"})},
        {"records hook",
         sample,
         {},
         "records",
         PipelineOutcome::Stopped,
         Then(kThroughHeader,
              {"start 5", "block 0", "block 1", "block 2", "block 3", "done 5", "records"})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Recorder recorder(c.stopAt);
        EXPECT_EQ(RunPipeline(c.document, recorder, c.limits).outcome, c.outcome);
        EXPECT_EQ(recorder.events, c.events);
    }
}

TEST(DocumentPipeline, FaceArrayOfTheBlocksOnlyStoresTheSameLeadingRecords) {
    // One block, but twelve faces: the second cube's faces lie beyond the last block.
    const std::string text = testing_support::Document(
        Object("one", 8, CubeVertexLines(0, 0, 0, 1), 12, CubeFaceLines(0) + CubeFaceLines(0)));
    for (const bool blocksOnly : {false, true}) {
        SCOPED_TRACE(blocksOnly);
        PipelineLimits limits;
        limits.facesOfBlocksOnly = blocksOnly;
        Recorder recorder;
        ASSERT_EQ(RunPipeline(text, recorder, limits).outcome, PipelineOutcome::Completed);
        EXPECT_EQ(recorder.stored.faces.size(), blocksOnly ? 6u : 12u);
        EXPECT_EQ(recorder.stored.faceCount, blocksOnly ? 6u : 12u);
        EXPECT_EQ(recorder.layouts, std::vector<int>{0});
    }
}

TEST(HeaderVerdict, SaysWhichLineFailedAndHowWithTheLineAsRead) {
    const std::string longLine(200, 'M');
    const struct {
        std::string document;
        HeaderVerdict::Finding finding;
        int failedLine;
        std::string line;
    } cases[] = {
        {"", HeaderVerdict::Finding::EndedEarly, 1, ""},
        {"Metasequoia Document\n", HeaderVerdict::Finding::EndedEarly, 2, ""},
        {"Metasequoia Document \nFormat Text Ver 1.0\n", HeaderVerdict::Finding::LineDiffers, 1,
         "Metasequoia Document \n"},
        {"Metasequoia Document\nFormat Text Ver 1.1", HeaderVerdict::Finding::LineDiffers, 2,
         "Format Text Ver 1.1"},
        {"Metasequoia Document\r\nFormat Text Ver 1.0\r\n", HeaderVerdict::Finding::Accepted, 0,
         ""},
        {longLine, HeaderVerdict::Finding::LineDiffers, 1, longLine.substr(0, 127)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.document);
        bloktar::Document document;
        OpenMemoryDocument(document, c.document.data(), c.document.size());
        const HeaderVerdict verdict = CheckDocumentHeader(document);
        EXPECT_EQ(verdict.finding, c.finding);
        EXPECT_EQ(verdict.failedLine, c.failedLine);
        EXPECT_EQ(std::string(verdict.line), c.line);
    }
}
