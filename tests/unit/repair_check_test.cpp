// bloktar-repair checks each object by reading its written lines back as the converter reads
// them, count line included.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <limits>
#include <string>
#include <string_view>

#include "repair/repair.hpp"
#include "support/documents.hpp"

namespace {

using namespace testing_support;

// Two boxes in one object, the first with a face re-listed; the face chunk's count line is
// padded with spaces to padding characters before its "{".
std::string PaddedFaceCount(std::size_t padding) {
    // Each box's sides wound as the converter's layout 0 lists them, the first re-listed.
    const int sides[6][4] = {{3, 2, 1, 0}, {4, 5, 6, 7}, {0, 1, 5, 4},
                             {1, 2, 6, 5}, {2, 3, 7, 6}, {3, 0, 4, 7}};
    Box boxes[2];
    boxes[1].corner = 300;
    for (int b = 0; b < 2; ++b) {
        for (int f = 0; f < 6; ++f) {
            std::string list;
            for (int j = 0; j < 4; ++j) {
                const int corner = sides[f][(b == 0 && f == 0 ? j + 1 : j) % 4];
                list += (j > 0 ? " " : "") + std::to_string(8 * b + corner);
            }
            boxes[b].faceStart[f] = "4 V(" + list + ")";
        }
    }
    std::string header = "\tface 9";
    header.resize(padding, ' ');
    header += "{\n";
    return Document("Object \"obj\" {\n\tvisible 15\n\tvertex 16 {\n" + VertexLines(boxes[0]) +
                    VertexLines(boxes[1]) + "\t}\n" + header + FaceLines(boxes[0]) +
                    FaceLines(boxes[1]) + "\t}\n}\n");
}

TEST(RepairCheck, ACountLineTheConverterWouldCutIsCaught) {
    // "\tface 12", its spaces and "{": 126 characters, read whole.
    bloktar::repair::Repair fits;
    EXPECT_EQ(bloktar::repair::RepairForm(PaddedFaceCount(124), fits),
              bloktar::repair::RepairOutcome::Repaired);
    EXPECT_NE(fits.document.find("\tface 12 "), std::string::npos);
    // 127 characters: the converter takes the count line without its newline, and the newline
    // alone as a face line ahead of the boxes' faces. The original line, one digit shorter, is
    // read whole.
    bloktar::repair::Repair cut;
    EXPECT_EQ(bloktar::repair::RepairForm(PaddedFaceCount(125), cut),
              bloktar::repair::RepairOutcome::NotVerified);
    EXPECT_EQ(cut.wrongBlock, 0);
}

// A vertex count line with no digits, 126 characters ending "x" and three spaces: read whole.
// Given the 100,000 vertices of 12,500 boxes it grows by six, and the object reader leaves
// "0x   " to be read as the chunk's first vertex line, three spaces three numbers: every box
// would shift by one vertex. The check reads such a chunk back instead of trusting the lines it
// copied.
TEST(RepairCheck, AVertexCountLineTheConverterWouldCutIsCaught) {
    const int sides[6][4] = {{3, 2, 1, 0}, {4, 5, 6, 7}, {0, 1, 5, 4},
                             {1, 2, 6, 5}, {2, 3, 7, 6}, {3, 0, 4, 7}};
    constexpr int kBoxes = 12500;
    std::string vertices;
    std::string faces;
    for (int b = 0; b < kBoxes; ++b) {
        Box box;
        box.corner = 10 * b;
        for (int f = 0; f < 6; ++f) {
            std::string list;
            for (int j = 0; j < 4; ++j) {
                const int corner = sides[f][(b == 0 && f == 0 ? j + 1 : j) % 4];
                list += (j > 0 ? " " : "") + std::to_string(8 * b + corner);
            }
            box.faceStart[f] = "4 V(" + list + ")";
        }
        vertices += VertexLines(box);
        faces += FaceLines(box);
    }
    const std::string count = "\tvertex " + std::string(114, ' ') + "x   \n";
    ASSERT_EQ(count.size(), 127u);
    bloktar::repair::Repair repair;
    EXPECT_EQ(bloktar::repair::RepairForm(
                  Document("Object \"obj\" {\n" + count + vertices + "\t}\n\tface " +
                           std::to_string(6 * kBoxes) + " {\n" + faces + "\t}\n}\n"),
                  repair),
              bloktar::repair::RepairOutcome::NotVerified);
    EXPECT_EQ(repair.wrongBlock, 0);
}

}  // namespace

namespace {

// A sink that takes both pieces as they are written and reads them back as one.
class StoringSink final : public bloktar::repair::RepairedFormSink, bloktar::DocumentSource {
  public:
    bool Streams() override { return true; }
    void Append(int piece, std::string_view bytes) override { pieces_[piece] += bytes; }
    void FormWritten(std::string_view, std::string_view) override {}
    bloktar::DocumentSource* StoredForm() override {
        whole_ = pieces_[0] + pieces_[1];
        return this;
    }
    std::size_t Read(char* into, std::size_t size) override {
        const std::size_t step = std::min(size, whole_.size() - at_);
        whole_.copy(into, step, at_);
        at_ += step;
        return step;
    }
    void Rewind() override { at_ = 0; }
    const std::string& Whole() const { return whole_; }

  private:
    std::string pieces_[2];
    std::string whole_;
    std::size_t at_ = 0;
};

// Surveyed run by run as it is written (lines that begin with two tabs left out), the repaired
// form gives what the survey of the whole gives, also where a vertex line the converter reads
// as a vertex would end the object for the survey, or does not begin with two tabs.
TEST(RepairCheck, TheSurveyOfTheRunsIsTheSurveyOfTheWhole) {
    const std::string plain = PaddedFaceCount(20);
    const std::string first = VertexLines(Box{}, 0, 1);
    ASSERT_EQ(plain.find(first), plain.rfind(first));
    // "} -100 110 120" and " -100 110 120": vertices to the converter, three numbers each behind
    // a space.
    for (const std::string& replacement : {first, "} " + first.substr(2), " " + first.substr(2)}) {
        std::string document = plain;
        document.replace(document.find(first), first.size(), replacement);
        SCOPED_TRACE(document.substr(0, 200));
        bloktar::repair::Repair whole;
        const auto expected = bloktar::repair::RepairForm(document, whole);
        StoringSink sink;
        bloktar::repair::Repair runs;
        EXPECT_EQ(bloktar::repair::RepairForm(document, runs,
                                              std::numeric_limits<std::size_t>::max(), &sink),
                  expected);
        EXPECT_EQ(runs.blocks, whole.blocks);
        EXPECT_EQ(runs.wrongBlock, whole.wrongBlock);
        EXPECT_EQ(sink.Whole(), whole.document);
    }
}

TEST(RepairCheck, ARepairAskedToStopWritesNothingAndSaysSo) {
    class Sink final : public bloktar::repair::RepairedFormSink {
      public:
        void FormWritten(std::string_view, std::string_view) override { heard = true; }
        bool heard = false;
    } sink;
    const std::atomic<bool> abandon{true};
    bloktar::repair::Repair repair;
    EXPECT_EQ(bloktar::repair::RepairForm(PaddedFaceCount(20), repair,
                                          std::numeric_limits<std::size_t>::max(), &sink, &abandon),
              bloktar::repair::RepairOutcome::Abandoned);
    EXPECT_FALSE(sink.heard);
    EXPECT_TRUE(repair.document.empty());
}

}  // namespace
