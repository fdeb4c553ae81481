// Line input: pieces, text-mode translation, end of document and rewinding.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "mqo/document.hpp"

using bloktar::Document;
using bloktar::OpenMemoryDocument;
using bloktar::ReadDocumentLine;
using bloktar::RewindDocument;

namespace {

// Every piece a run of reads with limit delivers, as C strings (up to a first NUL byte are
// returned whole, with their stored length, to show what the reader put in the buffer).
std::vector<std::string> Pieces(Document& document, int limit) {
    std::vector<std::string> pieces;
    std::vector<char> buffer(static_cast<std::size_t>(limit) + 8, '#');
    while (ReadDocumentLine(buffer.data(), limit, document)) {
        pieces.emplace_back(buffer.data());
    }
    return pieces;
}

std::vector<std::string> PiecesOf(const std::string& bytes, int limit) {
    Document document;
    OpenMemoryDocument(document, bytes.data(), bytes.size());
    return Pieces(document, limit);
}

}  // namespace

TEST(DocumentLines, LongLineArrivesInPiecesOfLimitLessOne) {
    const std::string line = std::string(300, 'a') + "\n";
    EXPECT_EQ(
        PiecesOf(line + "b\n", 256),
        (std::vector<std::string>{std::string(255, 'a'), std::string(45, 'a') + "\n", "b\n"}));
    EXPECT_EQ(PiecesOf(line, 128),
              (std::vector<std::string>{std::string(127, 'a'), std::string(127, 'a'),
                                        std::string(46, 'a') + "\n"}));
    // A line of exactly limit - 1 characters with its newline fits one read.
    EXPECT_EQ(PiecesOf(std::string(253, 'c') + "\n", 255),
              (std::vector<std::string>{std::string(253, 'c') + "\n"}));
    // One more character pushes the newline into a piece of its own.
    EXPECT_EQ(PiecesOf(std::string(254, 'c') + "\n", 255),
              (std::vector<std::string>{std::string(254, 'c'), "\n"}));
}

TEST(DocumentLines, CarriageReturnsAreRemovedBeforeTheLimitCounts) {
    EXPECT_EQ(PiecesOf("one\r\ntwo\r\n", 256), (std::vector<std::string>{"one\n", "two\n"}));
    EXPECT_EQ(PiecesOf("jo\rined\n\r\r\nlast", 256),
              (std::vector<std::string>{"joined\n", "\n", "last"}));
    // Four characters and a newline after the CRs are dropped: limit 6 takes them in one read.
    EXPECT_EQ(PiecesOf("a\rb\rc\rd\r\n", 6), (std::vector<std::string>{"abcd\n"}));
    EXPECT_EQ(PiecesOf("\r\r\r", 256), (std::vector<std::string>{}));
}

TEST(DocumentLines, CtrlZEndsTheDocumentUntilRewound) {
    const std::string bytes = "first\nsec\x1aond\nthird\n";
    Document document;
    OpenMemoryDocument(document, bytes.data(), bytes.size());
    EXPECT_EQ(Pieces(document, 256), (std::vector<std::string>{"first\n", "sec"}));
    char buffer[16];
    EXPECT_FALSE(ReadDocumentLine(buffer, 16, document));  // stays at its end
    RewindDocument(document);
    EXPECT_EQ(Pieces(document, 256), (std::vector<std::string>{"first\n", "sec"}));
}

TEST(DocumentLines, LastLineWithoutNewlineThenEndForEver) {
    const std::string bytes = "a\nlast";
    Document document;
    OpenMemoryDocument(document, bytes.data(), bytes.size());
    EXPECT_EQ(Pieces(document, 256), (std::vector<std::string>{"a\n", "last"}));
    char buffer[8];
    EXPECT_FALSE(ReadDocumentLine(buffer, 8, document));
    EXPECT_FALSE(ReadDocumentLine(buffer, 8, document));
    EXPECT_EQ(PiecesOf("", 256), (std::vector<std::string>{}));
}

TEST(DocumentLines, NulByteCountsTowardsTheLimitButEndsTheString) {
    const std::string bytes = std::string("ab\0cd\nxy", 8);
    Document document;
    OpenMemoryDocument(document, bytes.data(), bytes.size());
    char buffer[16];
    ASSERT_TRUE(ReadDocumentLine(buffer, 16, document));
    EXPECT_EQ(std::string(buffer, 7), std::string("ab\0cd\n\0", 7));
    // With limit 4, the NUL is the third stored character.
    RewindDocument(document);
    ASSERT_TRUE(ReadDocumentLine(buffer, 4, document));
    EXPECT_EQ(std::string(buffer, 4), std::string("ab\0\0", 4));
    ASSERT_TRUE(ReadDocumentLine(buffer, 4, document));
    EXPECT_STREQ(buffer, "cd\n");
}

TEST(DocumentLines, FileAndMemoryReadAlikeAcrossBufferRefills) {
    // Long enough to need several refills, with CR LF pairs split across refill boundaries.
    std::string bytes;
    std::vector<std::string> expected;
    for (int i = 0; i < 40000; ++i) {
        const std::string line =
            "line " + std::to_string(i) + std::string(static_cast<std::size_t>(i % 7), 'x');
        bytes += line + "\r\n";
        expected.push_back(line + "\n");
    }
    EXPECT_EQ(PiecesOf(bytes, 128), expected);

    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::rewind(file);
    Document document;
    bloktar::OpenFileDocument(document, file);
    EXPECT_EQ(Pieces(document, 128), expected);
    RewindDocument(document);
    EXPECT_EQ(Pieces(document, 128), expected);
    std::fclose(file);
}

namespace {

// The reading rules taken literally, one byte at a time, over the whole document: what every
// read must deliver. ended stays set once a Ctrl-Z or the end has been reached.
std::string ModelPiece(const std::string& bytes, std::size_t& position, bool& ended,
                       std::size_t room) {
    std::string stored;
    while (!ended && stored.size() < room) {
        if (position == bytes.size()) {
            ended = true;
            break;
        }
        const char c = bytes[position++];
        if (c == '\x1a') {
            ended = true;
            break;
        }
        if (c == '\r') continue;
        stored += c;
        if (c == '\n') break;
    }
    return stored;
}

// A document of random lines that mixes everything the reader treats specially: CR LF and LF
// line ends, lone CRs, NUL bytes, lines longer than any limit; with a Ctrl-Z near its end when
// asked for. Long enough to need several buffer refills.
std::string RandomDocument(std::mt19937& random, bool ctrlZ) {
    std::string bytes;
    while (bytes.size() < 400000) {
        const std::uint32_t kind = random() % 100;
        std::size_t length = random() % 90;
        if (kind < 3) length = 200 + random() % 800;
        for (std::size_t i = 0; i < length; ++i) {
            const std::uint32_t pick = random() % 200;
            bytes += pick == 0 ? '\0' : pick == 1 ? '\r' : static_cast<char>('a' + pick % 26);
        }
        bytes += kind < 60 ? "\r\n" : kind < 95 ? "\n" : "\r";
    }
    if (ctrlZ) bytes.insert(bytes.size() - 1000, 1, '\x1a');
    return bytes;
}

}  // namespace

TEST(DocumentLines, EveryReadMatchesTheRulesOverRandomDocuments) {
    std::mt19937 random(7);
    const int limits[] = {2, 3, 6, 128, 255, 256};
    for (int round = 0; round < 6; ++round) {
        const std::string bytes = RandomDocument(random, round % 3 == 2);
        std::FILE* file = nullptr;
        Document document;
        if (round % 2 == 0) {
            OpenMemoryDocument(document, bytes.data(), bytes.size());
        } else {
            file = std::tmpfile();
            ASSERT_NE(file, nullptr);
            std::fwrite(bytes.data(), 1, bytes.size(), file);
            std::rewind(file);
            bloktar::OpenFileDocument(document, file);
        }
        for (int pass = 0; pass < 2; ++pass) {  // and once more after a rewind
            std::size_t position = 0;
            bool ended = false;
            std::vector<char> buffer(300);
            for (int read = 0;; ++read) {
                const int limit =
                    read % 5 == 4 ? 2 + static_cast<int>(random() % 299) : limits[random() % 6];
                const std::string expected =
                    ModelPiece(bytes, position, ended, static_cast<std::size_t>(limit) - 1);
                std::string got;
                bool delivered;
                if (read % 2 == 0) {
                    std::size_t length = 0;
                    const char* piece = bloktar::NextDocumentPiece(document, limit, length);
                    delivered = piece != nullptr;
                    if (delivered) {
                        got.assign(piece, length);
                        ASSERT_EQ(piece[length], '\0');
                    }
                } else {
                    delivered = ReadDocumentLine(buffer.data(), limit, document);
                    if (delivered) {
                        got.assign(buffer.data(), expected.size());
                        ASSERT_EQ(buffer[expected.size()], '\0');
                    }
                }
                ASSERT_EQ(delivered, !expected.empty()) << "round " << round << " read " << read;
                if (!delivered) break;
                ASSERT_EQ(got, expected) << "round " << round << " read " << read;
            }
            RewindDocument(document);
        }
        if (file != nullptr) std::fclose(file);
    }
}

TEST(DocumentLines, SkippingTwoTabLinesLeavesEveryOtherPieceAsReadingThemWould) {
    // Lines that begin with two tabs, of lengths around the limit, among others; with CR LF, lone
    // CRs, NULs and a Ctrl-Z, across buffer refills. Passing over such lines must leave the same
    // pieces that do not begin with two tabs as reading every piece does.
    constexpr int kLimit = 256;
    std::mt19937 random(11);
    for (int round = 0; round < 4; ++round) {
        std::string bytes;
        while (bytes.size() < 600000) {
            const std::uint32_t kind = random() % 100;
            std::size_t length = kind < 10 ? 250 + random() % 10 : random() % 120;
            if (kind < 2) length = 300 + random() % 2000;
            bytes += kind < 90 ? "\t\t" : kind < 95 ? "\t}" : "}\t";
            for (std::size_t i = 0; i < length; ++i) {
                const std::uint32_t pick = random() % 300;
                bytes += pick == 0   ? '\0'
                         : pick == 1 ? '\r'
                         : pick < 30 ? '\t'
                         : pick < 40 ? '}'
                                     : 'x';
            }
            bytes += kind % 3 == 0 ? "\r\n" : "\n";
        }
        if (round == 3) bytes.insert(bytes.size() - 5000, 1, '\x1a');

        std::vector<std::string> expected;
        std::size_t position = 0;
        bool ended = false;
        for (std::string piece;
             !(piece = ModelPiece(bytes, position, ended, kLimit - 1)).empty();) {
            if (piece.compare(0, 2, "\t\t") != 0) expected.push_back(piece);
        }
        Document document;
        OpenMemoryDocument(document, bytes.data(), bytes.size());
        std::vector<std::string> got;
        std::size_t length = 0;
        for (;;) {
            bloktar::SkipTwoTabLines(document, kLimit);
            const char* piece = bloktar::NextDocumentPiece(document, kLimit, length);
            if (piece == nullptr) break;
            if (std::string_view(piece, length).substr(0, 2) != "\t\t")
                got.emplace_back(piece, length);
        }
        ASSERT_EQ(got, expected) << "round " << round;
    }
}
