// The converter's reader against the plain reference reading, on the committed fuzzing documents
// and on many generated documents shaped like the modeller's, with the kinds of damage real files
// carry: CR LF and lone CRs, NUL and Ctrl-Z bytes, lines longer than every read limit, numbers
// in every form the document rules allow, and runs of lines of one shape.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <random>
#include <string>

#include "fuzz/reader_check.hpp"
#include "support/process.hpp"

namespace {

class DocumentMaker {
  public:
    explicit DocumentMaker(unsigned seed) : random_(seed) {}

    std::string Make() {
        std::string text = Chance(97) ? "Metasequoia Document\nFormat Text Ver 1.0\n" : Junk();
        if (Chance(80)) text += Materials();
        const int objects = Pick(0, 4);
        for (int i = 0; i < objects; ++i) text += Object();
        if (Chance(85)) text += "Eof\n";
        if (Chance(20)) text += Object();
        return Damage(text);
    }

  private:
    int Pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }
    bool Chance(int percent) { return Pick(0, 99) < percent; }

    std::string Digits(int count) {
        std::string digits;
        for (int i = 0; i < count; ++i) digits += static_cast<char>('0' + Pick(0, 9));
        return digits;
    }

    std::string Int() {
        switch (Pick(0, 5)) {
            case 0:
                return std::to_string(Pick(0, 7));
            case 1:
                return std::to_string(Pick(0, 40));
            case 2:
                return "-" + std::to_string(Pick(0, 9));
            case 3:
                return Digits(Pick(1, 12));
            case 4:
                return "+" + Digits(Pick(1, 3));
            default:
                return std::to_string(Pick(0, 30)) + (Chance(50) ? "x" : "");
        }
    }

    std::string Real() {
        std::string sign = Chance(30) ? "-" : (Chance(5) ? "+" : "");
        switch (Pick(0, 11)) {
            case 10:  // coordinates of a map measured in the thousands
                return sign + Digits(Pick(4, 5)) + "." + Digits(4);
            case 11:
                return sign + Shortest();
            case 0:
                return sign + Digits(Pick(1, 4)) + "." + Digits(4);
            case 1:
                return sign + Digits(Pick(1, 3)) + "." + Digits(5);
            case 2:
                return sign + "0." + Digits(Pick(0, 8));
            case 3:
                return sign + "." + Digits(Pick(1, 6));
            case 4:
                return sign + Digits(Pick(1, 6)) + ".";
            case 5:
                return sign + Digits(Pick(15, 45)) + (Chance(50) ? "." + Digits(Pick(0, 30)) : "");
            case 6:
                return sign + Digits(Pick(1, 3)) + (Chance(50) ? "e" : "E") +
                       (Chance(50) ? "-" : "") + Digits(Pick(0, 3));
            case 7:
                return sign + Digits(Pick(1, 9));
            case 8:
                return sign + (Chance(50) ? "0" : "-0.000") + (Chance(30) ? "x" : "");
            default:
                return sign + Digits(Pick(1, 8)) + "." + Digits(Pick(1, 12)) + "e" + Int();
        }
    }

    // A float in its shortest form, as newer writers write it: up to nine significant digits,
    // integers without a point, an exponent where that is shorter.
    std::string Shortest() {
        const float value = std::ldexp(static_cast<float>(Pick(0, 1 << 24)), Pick(-40, 0));
        char text[32];
        return std::string(text, std::to_chars(text, text + sizeof text, value).ptr);
    }

    std::string Separator() {
        switch (Pick(0, 9)) {
            case 0:
                return "  ";
            case 1:
                return "\t";
            case 2:
                return "\t\t";
            default:
                return " ";
        }
    }

    std::string Junk() {
        static const char* const kPieces[] = {
            "Object ", "Material ", "\tvertex ", "\tface ", "}",          "\t}", "Eof",
            " V(",     " M(",       " UV(",      "(\"",     "\"",         ")",   " ",
            "\t",      "\n",        "1.5",       "-2",      "\tvisible 0"};
        std::string line;
        const int pieces = Pick(0, 12);
        for (int i = 0; i < pieces; ++i) line += kPieces[Pick(0, 18)];
        return line + "\n";
    }

    std::string Materials() {
        const int lines = Pick(0, 12);
        std::string text = "Material " + (Chance(80) ? std::to_string(lines) : Int()) + " {\n";
        for (int i = 0; i < lines; ++i) {
            text += "\t\"m" + std::to_string(i) + "\" col(1.000 1.000 1.000 1.000) dif(0.800)";
            if (Chance(30)) text += std::string(static_cast<std::size_t>(Pick(100, 300)), ' ');
            if (Chance(80)) {
                text +=
                    " tex(\"" +
                    std::string(static_cast<std::size_t>(Pick(0, 40)), 'a' + static_cast<char>(i)) +
                    (Chance(10) ? ")x" : "") + "\")";
            }
            if (Chance(20)) text += " aplane(\"alpha.bmp\")";
            text += "\n";
        }
        return text + (Chance(90) ? "}\n" : "");
    }

    std::string VertexLine() {
        std::string line = Chance(95) ? "\t\t" : (Chance(50) ? "\t" : "");
        const int numbers = Chance(90) ? 3 : Pick(0, 5);
        for (int i = 0; i < numbers; ++i) line += (i > 0 ? Separator() : "") + Real();
        if (Chance(5)) line += std::string(static_cast<std::size_t>(Pick(60, 140)), '0');
        return line + "\n";
    }

    std::string FaceLine() {
        const int corners = Chance(85) ? 4 : Pick(0, 7);
        std::string line = (Chance(95) ? "\t\t" : "") + std::to_string(corners);
        if (Chance(90)) {
            line += " V(";
            const int indices = Chance(80) ? corners : Pick(0, 7);
            for (int i = 0; i < indices; ++i) line += (i > 0 ? Separator() : "") + Int();
            line += ")";
        }
        if (Chance(90)) line += " M(" + Int() + ")";
        if (Chance(90)) {
            line += " UV(";
            const int values = Chance(80) ? 2 * corners : Pick(0, 14);
            for (int i = 0; i < values; ++i) line += (i > 0 ? Separator() : "") + Real();
            line += ")";
        }
        if (Chance(5)) line += std::string(static_cast<std::size_t>(Pick(100, 300)), ' ') + Real();
        return line + "\n";
    }

    // A line of the shape of line, every digit drawn again, as the lines of one chunk mostly are;
    // now and then one byte set to another that such lines hold.
    std::string SameShape(std::string line) {
        for (char& c : line) {
            if (c >= '0' && c <= '9') c = static_cast<char>('0' + Pick(0, 9));
        }
        if (Chance(10) && line.size() > 1) {
            static const char kNear[] = {'.', ' ', '-', '+', '7', '\t', ')', 'e'};
            line[static_cast<std::size_t>(Pick(0, static_cast<int>(line.size()) - 2))] =
                kNear[Pick(0, 7)];
        }
        return line;
    }

    std::string Object() {
        const int vertices = Pick(0, 24);
        const int faces = Pick(0, 18);
        std::string text = "Object \"obj\" {\n\tdepth 0\n";
        if (Chance(30)) text += "\tvisible " + (Chance(50) ? std::string("0") : Int()) + "\n";
        text += "\tvertex " + (Chance(85) ? std::to_string(vertices) : Int()) + " {\n";
        std::string line;
        for (int i = 0; i < vertices; ++i) {
            line = i > 0 && Chance(70) ? SameShape(line) : VertexLine();
            text += line;
        }
        text += "\t}\n\tface " + (Chance(85) ? std::to_string(faces) : Int()) + " {\n";
        for (int i = 0; i < faces; ++i) {
            line = i > 0 && Chance(70) ? SameShape(line) : FaceLine();
            text += line;
        }
        if (Chance(95)) text += "\t}\n";
        if (Chance(10)) text += Junk();
        return text + (Chance(95) ? "}\n" : "");
    }

    // Line ends as another editor writes them, then a few stray bytes.
    std::string Damage(std::string text) {
        if (Chance(40)) {
            std::string crlf;
            for (char c : text) {
                if (c == '\n') crlf += '\r';
                crlf += c;
            }
            text = crlf;
        }
        const int strays = Chance(50) ? 0 : Pick(1, 4);
        for (int i = 0; i < strays && !text.empty(); ++i) {
            static const char kStray[] = {'\r', '\0', '\x1a', ' ', '\t', '\n', '\xa0', '-'};
            const char stray = kStray[Pick(0, Chance(90) ? 1 : 7)];
            text.insert(static_cast<std::size_t>(Pick(0, static_cast<int>(text.size()))), 1, stray);
        }
        return text;
    }

    std::mt19937 random_;
};

std::string Check(const std::string& document) {
    return fuzzing::CompareWithReference(reinterpret_cast<const unsigned char*>(document.data()),
                                         document.size());
}

}  // namespace

TEST(ReaderAgainstReference, CommittedFuzzingDocuments) {
    for (const char* directory : {"tests/fuzz/corpus", "tests/fuzz/regressions"}) {
        const std::string path = testing_support::SourcePath(directory);
        if (!testing_support::FileExists(path)) continue;
        for (const std::string& name : testing_support::ListDirectory(path)) {
            EXPECT_EQ(Check(testing_support::ReadFile(path + "/" + name)), "") << name;
        }
    }
}

TEST(ReaderAgainstReference, GeneratedDocuments) {
    DocumentMaker maker(20261208);
    for (int i = 0; i < 4000; ++i) {
        const std::string document = maker.Make();
        const std::string difference = Check(document);
        ASSERT_EQ(difference, "") << "document " << i << ":\n" << document;
    }
}

// The tests above compare the scanners for wide vectors too wherever they run; where they do not
// (a build without them, a processor without AVX2), this reports them as not tested.
TEST(ReaderAgainstReference, GeneratedDocumentsByTheScannersForWideVectors) {
    if (!bloktar::WideLineScannersRunHere()) {
        GTEST_SKIP() << "the scanners for wide vectors do not run here (no AVX2 in the build or "
                        "the processor)";
    }
    DocumentMaker maker(20261209);
    for (int i = 0; i < 500; ++i) {
        const std::string document = maker.Make();
        ASSERT_EQ(
            fuzzing::CompareWithReference(reinterpret_cast<const unsigned char*>(document.data()),
                                          document.size(), bloktar::LineScanners::WideVectors),
            "")
            << "document " << i << ":\n"
            << document;
    }
}

TEST(ReaderAgainstReference, RunsOfOneShapeAndTheirNearMisses) {
    // Each line, then the line with its digits turned by one, two and three (the same shape read
    // by the shapes noted), then the near misses: lines whose digits stand where the shape has
    // them but one other byte differs, or that end elsewhere.
    const char* const vertexLines[] = {
        "\t\t1.5 -2.25 3.125",
        "\t\t7.5 +8.75 9.625",
        "\t\t7.5 -8.75 9.6250",
        "\t\t7.5 -8.75 9.625 ",
        "\t\t7.5 -8.75 9.625\r",
        "\t\t7.5 -8.75 9e625",
        "\t\t7.5 -8.75  9.62",
        "\t\t123456789012345 0.00000000000001 -99999.9999",
        "\t\t1234567890123456 0.000000000000001 -99999.9999",
        "\t\t1e5 2 3",
        "35.5 1.5 2.5 3.5",
        "\t\t-0 -0.0 +.5",
        "\t\t5. .5 0",
    };
    const char* const faceLines[] = {
        "\t\t4 V(1 2 3 4) M(0) UV(0.5 0.25 0.125 1 0 0 1e-05 2.5E+3)",
        "\t\t3 V(1 2 3 4) M(0) UV(0.5 0.25 0.125 1 0 0 1e-05 2.5E+3)",
        "\t\t4 V(1 2 3 4) M(0) UV(0.5 0.25 0.125 1 0 0 1e-05 2.5E+3 )",
        "\t\t4 V(1 2 3 4) M(0) UV(0.5 0.25 0.125 1 0 0 1e-05 2.5E+)",
        "\t\t4 V(1 2 3 4) M(0) UV(0.5 0.25 0.125 1 0 0 1e-23 2.5e22)",
        "\t\t4 V(1 2 3 4) M(0) UV(0.5 0.25 0.125 1 0 0 1e100 2.5)",
        "\t\t4 V(123456789 2 3 4) M(5) UV(0 0 0 0 0 0 0 0)",
        "\t\t4 V(12345678 12345678 12345678 12345678) M(12345678) UV(0.5 0.5 0.5 0.5 0.5 0.5 0.5 "
        "0.5)",
        "\t\t4 V(12345678 12345678 12345678 12345678) M(123456789) UV(0.5 0.5 0.5 0.5 0.5 0.5 0.5 "
        "0.5)",
        "\t\t3 V(0 1 2) M(1) UV(0 0 1 0 1 1)",
        "\t\t4 V(0 1 2 3) M(1) UV(-0 -0.0 +1 +.5 .5 5. 1 1)",
        "\t\t4 V(0 1 2 3) M(1) UV(0.12345678901234 1 0.1234567890123 1 1 1 1 1)",
        "\t\t4 V(0 1 2 3) M(1) UV(0.50000 0.25000 0.12500 1.00000 0.00000 0.00000 1.00000 1.00000)",
        "\t\t4 V(0 1 2 3) M(1) UV(0.50000 0.25000 0.12500 1.00000 0.00000 0.00000 1.00000 "
        "1.000001)",
    };
    const auto runs = [](const auto& lines, const char* ending) {
        std::string text;
        for (const char* line : lines) {
            for (int turn = 0; turn < 4; ++turn) {
                std::string turned = line;
                // Every digit but a face line's corner count, which the shape holds as it is.
                for (std::size_t i = 3; i < turned.size(); ++i) {
                    char& c = turned[i];
                    if (c >= '0' && c <= '9') c = static_cast<char>('0' + (c - '0' + turn) % 10);
                }
                text += turned + ending;
            }
        }
        return text;
    };
    for (const char* ending : {"\n", "\r\n"}) {
        const std::string document =
            std::string(
                "Metasequoia Document\nFormat Text Ver 1.0\nObject \"o\" {\n\tvertex 52 {\n") +
            runs(vertexLines, ending) + "\t}\n\tface 56 {\n" + runs(faceLines, ending) +
            "\t}\n}\nEof\n";
        EXPECT_EQ(Check(document), "") << document;
    }
}
