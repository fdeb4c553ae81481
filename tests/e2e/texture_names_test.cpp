// Texture names of the materials, seen in the name slots of the BD1 header.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "conversion_fixtures.hpp"

using namespace e2e;

namespace {

// Converts a document without objects and expects a header-only file with the given names.
void ExpectNames(const std::string& body, const std::vector<std::string>& names) {
    const Conversion c = Convert(Document(body));
    EXPECT_EQ(c.run.status, 0);
    EXPECT_EQ(c.run.out, CompleteRun(0));
    EXPECT_EQ(c.output, Bd1({}, names));
}

std::string Line(const std::string& name, const std::string& texture) {
    return MaterialLine(name, texture);
}

// A material line padded with blanks behind its texture to the given length, newline excluded.
std::string PaddedLine(const std::string& texture, std::size_t length) {
    std::string line = "\t\"long\" tex(\"" + texture + "\")";
    return line + std::string(length - line.size(), ' ') + "\n";
}

}  // namespace

TEST(TextureNames, NamesFillTheFirstSlotsAndTheRestStayZero) {
    ExpectNames(Materials(3, Line("a", "a.bmp") + Line("b", "tex/b.bmp") + Line("w", "wall.bmp")),
                {"a.bmp", "tex/b.bmp", "wall.bmp"});
}

TEST(TextureNames, NamesAreCutToThirtyBytes) {
    const std::string forty = "abcdefghij0123456789ABCDEFGHIJ_forty.bmp";
    const std::string thirty = "textures/exactly_thirty_00.bmp";
    ASSERT_EQ(forty.size(), 40u);
    ASSERT_EQ(thirty.size(), 30u);
    ExpectNames(Materials(2, Line("forty", forty) + Line("thirty", thirty)),
                {forty.substr(0, 30), thirty});
}

TEST(TextureNames, ShiftJisNamesPassThroughAsBytes) {
    const std::string japanese = Sjis("壁紙/れんが.bmp");
    // The cut at 30 bytes keeps only the first byte of a double-byte character.
    const std::string split = std::string(29, 'x') + Sjis("壁.bmp");
    ExpectNames(Materials(2, Line("jp", japanese) + Line("split", split)),
                {japanese, split.substr(0, 30)});
}

TEST(TextureNames, NameIsTheFirstParenthesisedQuotedValue) {
    const std::string lines = std::string() + "\t\"plain\" col(1 1 1 1) dif(0.8)\n" +  // no ("
                              "\t\"paren\" tex(\"a)b.bmp\")\n" +                       // cut at )
                              "\t\"blanks\" tex(\"my dir\\a b.bmp\")\n" +              // kept whole
                              "\t\"empty\" tex(\"\")\n" +                              // nothing
                              "\t\"empty2\" tex(\"\") bump(\"b.bmp\")\n" +             // runs on
                              "\t\"order\" bump(\"first.bmp\") tex(\"second.bmp\")\n" +
                              "\t\"cr\" tex(\"a\rb.bmp\")\n" +                     // CR removed
                              std::string("\t\"nul\" tex(\"ab\0cd.bmp\")\n", 24);  // ends at NUL
    ExpectNames(Materials(8, lines),
                {"", "a", "my dir\\a b.bmp", "", " bump(", "first.bmp", "ab.bmp", "ab"});
}

TEST(TextureNames, MaterialCountDecidesHowManyLinesAreTaken) {
    std::string twelve;
    std::vector<std::string> firstTen;
    for (int i = 0; i < 12; ++i) {
        const std::string number = std::to_string(i);
        const std::string name = std::string("t").append(number).append(".bmp");
        twelve += Line(std::string("m").append(number), name);
        if (i < 10) firstTen.push_back(name);
    }
    const std::string ab = Line("a", "a.bmp") + Line("b", "b.bmp");
    const struct {
        const char* what;
        std::string body;
        std::vector<std::string> names;
    } cases[] = {
        {"twelve materials", Materials(12, twelve), firstTen},
        {"count below the lines",
         Materials(2, ab + Line("c", "c.bmp") + Line("d", "d.bmp")),
         {"a.bmp", "b.bmp"}},
        // The lines after the chunk are taken as material lines, up to the end of the file.
        {"count above the lines",
         Materials(6, ab) + "Blob(\"late.bmp\")\n",
         {"a.bmp", "b.bmp", "", "late.bmp", "", ""}},
        {"negative count", Materials(-1, ab), {}},
        {"zero count", Materials(0, ab), {}},
        {"no material chunk", "\t\"stray\" tex(\"x.bmp\")\n", {}},
        // Names come from the first material chunk, the count from the last.
        {"two material chunks",
         Materials(1, ab + Line("c", "c.bmp")) + Materials(3, Line("x", "x.bmp")),
         {"a.bmp", "b.bmp", "c.bmp"}},
    };
    for (const auto& one : cases) {
        SCOPED_TRACE(one.what);
        ExpectNames(one.body, one.names);
    }
}

TEST(TextureNames, MaterialLinesAreReadAt254Characters) {
    const std::string bc = Line("b", "b.bmp") + Line("c", "c.bmp");
    {
        SCOPED_TRACE("253 characters fit one read");
        ExpectNames(Materials(3, PaddedLine("a.bmp", 253) + bc), {"a.bmp", "b.bmp", "c.bmp"});
    }
    {
        SCOPED_TRACE("254 characters leave the newline for a second read");
        ExpectNames(Materials(3, PaddedLine("a.bmp", 254) + bc), {"a.bmp", "", "b.bmp"});
    }
    {
        SCOPED_TRACE("a name beyond the 254th character lands in the next slot");
        ExpectNames(Materials(3, "\t\"far\"" + std::string(260, ' ') + " tex(\"far.bmp\")\n" + bc),
                    {"", "far.bmp", "b.bmp"});
    }
}
