// The survey and the texture-name pass.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "mqo/mqo.hpp"

namespace {

const char* const kHeader = "Metasequoia Document\nFormat Text Ver 1.0\n";

std::string Object(const std::string& name, const std::string& visible, int vertices, int faces) {
    std::string text = "Object \"" + name + "\" {\n";
    if (!visible.empty()) text += "\tvisible " + visible + "\n";
    text += "\tvertex " + std::to_string(vertices) + " {\n\t}\n";
    text += "\tface " + std::to_string(faces) + " {\n\t}\n}\n";
    return text;
}

bloktar::MqoSummary Survey(const std::string& text) {
    bloktar::Document document;
    bloktar::OpenMemoryDocument(document, text.data(), text.size());
    char skipped[128];
    bloktar::ReadDocumentLine(skipped, 128, document);  // the header check's two lines
    bloktar::ReadDocumentLine(skipped, 128, document);
    bloktar::MqoSummary summary{};
    bloktar::SurveyDocument(document, summary);
    return summary;
}

bloktar::TextureNameTable Textures(const std::string& text, std::int32_t count) {
    bloktar::Document document;
    bloktar::OpenMemoryDocument(document, text.data(), text.size());
    bloktar::TextureNameTable table{};
    bloktar::ReadMaterialTextures(document, table, count);
    return table;
}

std::string Slot(const bloktar::TextureNameTable& table, int slot) {
    return std::string(table.names[slot], sizeof table.names[slot]);
}

std::string Padded(const std::string& name) {
    return name + std::string(31 - name.size(), '\0');
}

}  // namespace

TEST(Survey, CountsVisibleObjectsOnly) {
    const bloktar::MqoSummary s = Survey(std::string(kHeader) + "Material 25 {\n}\n" +
                                         Object("a", "", 8, 6) + Object("b", "15", 16, 12) +
                                         Object("c", "0", 8, 6) + "Eof\n" + Object("d", "", 8, 6));
    EXPECT_EQ(s.materialCount, 10);
    EXPECT_EQ(s.objectCount, 3);
    EXPECT_EQ(s.vertexTotal, 24);
    EXPECT_EQ(s.faceTotal, 18);
    EXPECT_EQ(s.estimatedBlockCount, 3);
}

TEST(Survey, MaterialCountAndBlockEstimate) {
    EXPECT_EQ(Survey(std::string(kHeader) + "Material 4 {\n").materialCount, 4);
    EXPECT_EQ(Survey(std::string(kHeader) + Object("a", "", 8, 6)).materialCount, 0);
    EXPECT_EQ(Survey(std::string(kHeader) + "Material 3\nMaterial 12\n").materialCount, 10);
    EXPECT_EQ(Survey(std::string(kHeader) + "Material -2\n").materialCount, -2);
    EXPECT_EQ(Survey(std::string(kHeader) + Object("a", "", 20, 12)).estimatedBlockCount, 2);
    EXPECT_EQ(Survey(std::string(kHeader) + Object("a", "", -15, 0)).estimatedBlockCount, -1);
}

TEST(Survey, StartsAtTheThirdLineAndVisibleActsFromItsLineOn) {
    // The header check has read the first two lines, whatever they were.
    EXPECT_EQ(
        Survey("Object \"x\" {\n\tvertex 8 {\n" + std::string("Object \"y\" {\n}\n")).objectCount,
        1);
    const bloktar::MqoSummary s = Survey(std::string(kHeader) +
                                         "Object \"a\" {\n\tvertex 8 {\n\t}\n\tvisible 0\n"
                                         "\tface 6 {\n\t}\n}\n");
    EXPECT_EQ(s.vertexTotal, 8);
    EXPECT_EQ(s.faceTotal, 0);
    // The end of the document inside an object keeps what was counted.
    EXPECT_EQ(Survey(std::string(kHeader) + "Object \"a\" {\n\tvertex 16 {\n").estimatedBlockCount,
              2);
    // Totals wrap in 32 bits.
    EXPECT_EQ(Survey(std::string(kHeader) + Object("a", "", 2147483647, 0) + Object("b", "", 1, 0))
                  .vertexTotal,
              -2147483647 - 1);
}

TEST(Survey, LongLinesOfTwoTabsCountAsTheirPieces) {
    // Vertex and face lines are passed over unless they come in pieces: the pieces after the
    // first are tested like any line. Carriage returns do not count towards the limit.
    const bloktar::MqoSummary s =
        Survey(std::string(kHeader) + "Object \"a\" {\r\n\tvertex 8 {\r\n" + "\t\t" +
               std::string(253, 'x') + "\tface 6 {\n" +             // +6
               "\t\t" + std::string(250, 'y') + "\r\r\r\r\r\r\n" +  // one piece
               "\t\t1 2 3\r\n" +                                    // nothing
               "\t\t" + std::string(253, 'z') + "}\r\n" +           // closes "a"
               "\tvertex 16 {\r\n" + "Eof\r\n");
    EXPECT_EQ(s.objectCount, 1);
    EXPECT_EQ(s.vertexTotal, 8);
    EXPECT_EQ(s.faceTotal, 6);
    // A line of exactly 255 characters with its newline comes whole, one more splits it.
    EXPECT_EQ(Survey(std::string(kHeader) + "Object \"a\" {\n\t\t" + std::string(252, 'x') +
                     "\n\tvertex 8 {\n}\n")
                  .vertexTotal,
              8);
    EXPECT_EQ(Survey(std::string(kHeader) + "Object \"a\" {\n\t\t" + std::string(253, 'x') +
                     "}\n\tvertex 8 {\n}\n")
                  .vertexTotal,
              0);
}

TEST(MaterialTextures, NamesFromTheFirstParenthesisedQuote) {
    const std::string text = std::string(kHeader) +
                             "Material 5 {\n"
                             "\t\"m0\" col(1 1 1 1) tex(\"wall.bmp\")\n"
                             "\t\"m1\" col(1 1 1 1)\n"
                             "\t\"m2\" tex(\"a)b.bmp\") aplane(\"x.bmp\")\n"
                             "\t\"m3\" tex(\"\") aplane(\"x.bmp\")\n"
                             "\t\"m4\" tex(\"\")\n"
                             "}\n";
    const bloktar::TextureNameTable table = Textures(text, 5);
    EXPECT_EQ(Slot(table, 0), Padded("wall.bmp"));
    EXPECT_EQ(Slot(table, 1), Padded(""));
    EXPECT_EQ(Slot(table, 2), Padded("a"));
    EXPECT_EQ(Slot(table, 3), Padded(" aplane("));
    EXPECT_EQ(Slot(table, 4), Padded(""));
    for (int slot = 5; slot < 10; ++slot) EXPECT_EQ(Slot(table, slot), Padded(""));
}

TEST(MaterialTextures, ThirtyBytesAtMostAndBytesUnchanged) {
    const std::string name40(40, 'n');
    const std::string name30 = "dir\\sub dir\\" + std::string(18, 'x');
    const std::string sjis = std::string(29, 'k') + "\x83\x65";  // a character split at byte 30
    const std::string text = std::string(kHeader) + "Material 3 {\n\ttex(\"" + name40 + "\")\n" +
                             "\ttex(\"" + name30 + "\")\n\ttex(\"" + sjis + "\")\n}\n";
    const bloktar::TextureNameTable table = Textures(text, 3);
    EXPECT_EQ(Slot(table, 0), name40.substr(0, 30) + '\0');
    EXPECT_EQ(Slot(table, 1), name30 + '\0');
    EXPECT_EQ(Slot(table, 2), std::string(29, 'k') + "\x83" + '\0');
}

TEST(MaterialTextures, LinesAreCountedByReadsAndByTheSurveyCount) {
    // A material line of 300 characters arrives as two reads of 254 and 46: the second gives
    // the next slot, and the last material is not read.
    const std::string longLine = "\ttex(\"first.bmp\")" + std::string(254 - 17, ' ') +
                                 "tex(\"tail.bmp\")" + std::string(300 - 254 - 15, ' ') + "\n";
    const std::string text = std::string(kHeader) + "Material 3 {\n" + longLine +
                             "\ttex(\"second.bmp\")\n\ttex(\"third.bmp\")\n}\n";
    const bloktar::TextureNameTable table = Textures(text, 3);
    EXPECT_EQ(Slot(table, 0), Padded("first.bmp"));
    EXPECT_EQ(Slot(table, 1), Padded("tail.bmp"));
    EXPECT_EQ(Slot(table, 2), Padded("second.bmp"));

    // More materials declared than lines: the following lines are taken whatever they are.
    const bloktar::TextureNameTable more = Textures(
        std::string(kHeader) + "Material 3 {\n\ttex(\"a.bmp\")\n}\nObject \"o(\"x\" {\n", 3);
    EXPECT_EQ(Slot(more, 0), Padded("a.bmp"));
    EXPECT_EQ(Slot(more, 1), Padded(""));
    EXPECT_EQ(Slot(more, 2), Padded("x"));

    // Twelve materials fill ten slots; the first "Material " line is the one used.
    std::string twelve = std::string(kHeader) + "Material 12 {\n";
    for (int i = 0; i < 12; ++i) twelve += "\ttex(\"t" + std::to_string(i) + ".bmp\")\n";
    twelve += "}\nMaterial 1 {\n\ttex(\"late.bmp\")\n}\n";
    const bloktar::TextureNameTable ten = Textures(twelve, 10);
    EXPECT_EQ(Slot(ten, 9), Padded("t9.bmp"));
    EXPECT_EQ(Slot(Textures(twelve, 0), 0), Padded(""));
    EXPECT_EQ(Slot(Textures(twelve, -1), 0), Padded(""));
}

// The survey of a document cut behind any newline: where the first piece's survey ends between
// objects, the second piece surveyed on its own adds what the survey of the whole finds behind
// the cut; where it ends at "Eof" or a Ctrl-Z, the first piece's counts are the whole's.
TEST(Survey, PiecesCutBehindANewlineBetweenObjectsAddUpToTheWhole) {
    const std::string kinds[] = {"Object \"a\" {",
                                 "}",
                                 "\tvisible 0",
                                 "\tvisible 1",
                                 "\tvertex 8 {",
                                 "\tface 6 {",
                                 "\t}",
                                 "\t\t1 2 3",
                                 "\tvertex 3",
                                 "Eof",
                                 "Material 3 {",
                                 "x\x1ay",
                                 "\t\tab\r",
                                 "",
                                 "\t\t" + std::string(260, 'x')};
    std::uint32_t seed = 7;
    const auto next = [&seed](std::uint32_t below) {
        seed = seed * 1664525u + 1013904223u;
        return (seed >> 8) % below;
    };
    int between = 0;
    int ended = 0;
    for (int round = 0; round < 300; ++round) {
        std::string text = kHeader;
        for (int line = 0; line < 25; ++line) {
            // Mostly object lines, with the rarer ones that end a document or a line oddly.
            const std::uint32_t kind = next(4) == 0 ? next(15) : next(9);
            text += kinds[kind] + (next(3) == 0 ? "\r\n" : "\n");
        }
        const bloktar::MqoSummary whole = Survey(text);
        for (std::size_t cut = std::strlen(kHeader); cut < text.size(); ++cut) {
            if (text[cut - 1] != '\n') continue;
            SCOPED_TRACE(text.substr(0, cut) + "|" + text.substr(cut));
            const std::string first = text.substr(0, cut);
            bloktar::Document document;
            bloktar::OpenMemoryDocument(document, first.data(), first.size());
            char skipped[128];
            bloktar::ReadDocumentLine(skipped, 128, document);
            bloktar::ReadDocumentLine(skipped, 128, document);
            bloktar::MqoSummary summary{};
            const bloktar::SurveyEnd end = bloktar::SurveyLines(document, summary);
            if (end == bloktar::SurveyEnd::Eof || document.endOfText) {
                ++ended;
            } else if (end == bloktar::SurveyEnd::BetweenObjects) {
                ++between;
                const std::string second = text.substr(cut);
                bloktar::OpenMemoryDocument(document, second.data(), second.size());
                bloktar::SurveyLines(document, summary);
            } else {
                continue;
            }
            EXPECT_EQ(summary.vertexTotal, whole.vertexTotal);
            EXPECT_EQ(summary.faceTotal, whole.faceTotal);
            EXPECT_EQ(summary.objectCount, whole.objectCount);
            EXPECT_EQ(summary.materialCount, whole.materialCount);
            if (::testing::Test::HasFailure()) return;
        }
    }
    EXPECT_GT(between, 1000);
    EXPECT_GT(ended, 1000);
}
