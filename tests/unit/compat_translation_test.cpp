// The Ver 1.0 form that bloktar-compat makes of a document, read in memory: which documents are
// translated, and byte for byte what the translation hands to the converter's reader, read in
// any piece size and again after a rewind, or made over the document's own bytes; and an
// archive's member read while it is inflated, and zlib's verdict on it when it is damaged.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cfloat>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "compat/archive.hpp"
#include "compat/translation.hpp"
#include "mqo/number_text.hpp"
#include "support/expected.hpp"
#include "support/zip.hpp"

#ifdef BLOKTAR_ISAL
#include <isa-l/crc.h>
#endif

using namespace bloktar::compat;
using testing_support::F32;
using testing_support::Sjis;

namespace {

// Reads the source twice from its start in pieces of chunk bytes; both reads must agree.
std::string ReadTwice(bloktar::DocumentSource& source, std::size_t chunk) {
    std::string first;
    std::string again;
    for (std::string* out : {&first, &again}) {
        source.Rewind();
        std::string piece(chunk, '\0');
        for (std::size_t got; (got = source.Read(piece.data(), chunk)) > 0;) {
            out->append(piece, 0, got);
        }
    }
    EXPECT_EQ(first, again);
    return first;
}

void ExpectSamePlan(const TranslationPlan& a, const TranslationPlan& b) {
    EXPECT_EQ(a.header, b.header);
    EXPECT_EQ(a.reencoded, b.reencoded);
    EXPECT_EQ(a.reencodeFrom, b.reencodeFrom);
    EXPECT_EQ(a.end, b.end);
    EXPECT_EQ(a.binaryVertexChunks, b.binaryVertexChunks);
    EXPECT_EQ(a.refusal.fault, b.refusal.fault);
    EXPECT_EQ(a.refusal.line, b.refusal.line);
    EXPECT_EQ(a.refusal.codePoint, b.refusal.codePoint);
    ASSERT_EQ(a.edits.size(), b.edits.size());
    for (std::size_t i = 0; i < a.edits.size(); ++i) {
        EXPECT_EQ(a.edits[i].kind, b.edits[i].kind) << i;
        EXPECT_EQ(a.edits[i].offset, b.edits[i].offset) << i;
        EXPECT_EQ(a.edits[i].length, b.edits[i].length) << i;
        EXPECT_EQ(a.edits[i].text, b.edits[i].text) << i;
        EXPECT_EQ(a.edits[i].lineEnd, b.edits[i].lineEnd) << i;
        EXPECT_EQ(a.edits[i].count, b.edits[i].count) << i;
    }
    ASSERT_EQ(a.warnings.size(), b.warnings.size());
    for (std::size_t i = 0; i < a.warnings.size(); ++i) {
        EXPECT_EQ(a.warnings[i].kind, b.warnings[i].kind) << i;
        EXPECT_EQ(a.warnings[i].objectName, b.warnings[i].objectName) << i;
        EXPECT_EQ(a.warnings[i].count, b.warnings[i].count) << i;
    }
}

// Plans the document on a second thread while its binary vertices' lines are made, as a file is,
// its bytes read where they lie; true when the lines are made. The bytes always read whole.
bool PlanWithLines(PlacedBytes& placed, std::size_t size, TranslationPlan& planned,
                   VertexLines& lines) {
    Cp932Encoder encoder;
    bool readFailed = true;
    const bool made =
        PlanTranslationWritingLines(placed, size, encoder, planned, lines, readFailed);
    EXPECT_FALSE(readFailed);
    return made;
}

// Plans the document and reads its translation in pieces of chunk bytes. A document held in
// memory and planned where it lies, or planned on a second thread while its lines are made, gives
// the same plan, and its form made once (on the second thread while it is read, or from the lines
// made while it was planned) or read from its raw bytes where they stand the same bytes.
std::string ReadTranslation(const std::string& document, TranslationPlan& plan, std::size_t chunk) {
    MemorySource raw(document.data(), document.size());
    Cp932Encoder encoder;
    PlanTranslation(raw, encoder, plan);
    TranslatingSource translation(raw, plan, encoder);
    const std::string form = ReadTwice(translation, chunk);

    TranslationPlan held;
    PlanTranslation(document.data(), document.size(), encoder, held);
    ExpectSamePlan(held, plan);
    PlacedMemory placed(document.data(), document.size());
    TranslationPlan planned;
    VertexLines lines;
    const bool linesMade = PlanWithLines(placed, document.size(), planned, lines);
    ExpectSamePlan(planned, plan);
    EXPECT_TRUE(linesMade || planned.refusal.fault != Fault::None);
    if (NeedsTranslation(plan) && plan.refusal.fault == Fault::None) {
        FormSource fromLines(document.data(), document.size(), planned,
                             linesMade ? &lines.pieces : nullptr);
        EXPECT_EQ(ReadTwice(fromLines, chunk), form);
        if (!plan.reencoded && linesMade) {
            PlacedFormSource inPlace(placed, planned, lines.pieces);
            EXPECT_EQ(ReadTwice(inPlace, chunk), form);
        }
        FormSource made(document.data(), document.size(), plan);
        EXPECT_EQ(ReadTwice(made, chunk), form);
    }
    // A document saved as Ver 1.1 or 1.2, read while it is planned: the same form, once the
    // plan takes it; a refusal is told, never a form of its own.
    if (StartsAsTranslated(std::string_view(document).substr(0, 64))) {
        Cp932Encoder planning;
        PlanningForm whilePlanned(placed, planning);
        std::string read(chunk, '\0');
        std::string first;
        for (std::size_t got; (got = whilePlanned.Read(read.data(), chunk)) > 0;) {
            first.append(read, 0, got);
        }
        const PlanningForm::Verdict verdict = whilePlanned.Judge();
        ExpectSamePlan(whilePlanned.Plan(), plan);
        if (plan.refusal.fault != Fault::None) {
            EXPECT_EQ(verdict, PlanningForm::Verdict::Refused);
        } else {
            EXPECT_EQ(verdict, PlanningForm::Verdict::Translated);
            EXPECT_EQ(first, form);
            EXPECT_EQ(ReadTwice(whilePlanned, chunk), form);
        }
    }
    return form;
}

const std::string kLine1 = "Metasequoia Document\n";

std::string Vertices(const std::string& eol, const std::string& payload, int count) {
    return "\tBVertex " + std::to_string(count) + " {" + eol + "\t\tVector " +
           std::to_string(count) + " [" + std::to_string(payload.size()) + "]" + eol + payload +
           eol + "\t}" + eol;
}

float Bytes(const char (&bytes)[5]) {
    float value;
    std::memcpy(&value, bytes, 4);
    return value;
}

// A member of several of the worker's chunks.
std::string LongDocument() {
    std::string document;
    for (int i = 0; document.size() < (std::size_t{5} << 19); ++i) {
        document +=
            "\t\t" + std::to_string(i * 7919 % 100003) + " 0.5 -" + std::to_string(i) + "\r\n";
    }
    return document;
}

std::uint32_t ZlibCrc(const std::string& bytes, std::size_t size, std::uint32_t from = 0) {
    return static_cast<std::uint32_t>(
        crc32(from, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(size)));
}

// zlib's verdict on a member: one inflate call into room for a byte more than its size.
Fault ZlibVerdict(const testing_support::ZipMember& member) {
    const std::size_t size = member.bytes.size() + static_cast<std::size_t>(member.sizeChange);
    std::string out = member.bytes;
    if (member.deflated) {
        out.assign(size + 1, '\0');
        z_stream stream{};
        inflateInit2(&stream, -MAX_WBITS);
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(member.packed.data()));
        stream.avail_in = static_cast<uInt>(member.packed.size());
        stream.next_out = reinterpret_cast<Bytef*>(out.data());
        stream.avail_out = static_cast<uInt>(out.size());
        const bool whole = inflate(&stream, Z_FINISH) == Z_STREAM_END && stream.total_out == size;
        inflateEnd(&stream);
        if (!whole) return Fault::ArchiveBroken;
    }
    const std::uint32_t crc = ZlibCrc(member.bytes, member.bytes.size()) ^ member.crcChange;
    return ZlibCrc(out, size) == crc ? Fault::None : Fault::ArchiveCrcWrong;
}

}  // namespace

TEST(CompatTranslation, HeaderDecidesWhatIsTranslated) {
    struct Case {
        std::string document;
        HeaderKind header;
        bool translated;
    };
    const std::string body = "Object \"a\" {\n}\nEof\n";
    const Case cases[] = {
        {kLine1 + "Format Text Ver 1.1\n" + body, HeaderKind::Ver11, true},
        {"Metasequoia Document\r\nFormat Text Ver 1.2\r\n" + body, HeaderKind::Ver12, true},
        {kLine1 + "Format Text Ver 1.0\nCodePage utf8\n\xff\n" + body, HeaderKind::Ver10, false},
        {kLine1 + "Format Text Ver 1.0\n" + Vertices("\n", "", 0), HeaderKind::Ver10, true},
        {kLine1 + "Format Text Ver 1.3\n" + body, HeaderKind::Other, false},
        {kLine1 + "Format Text Ver 1.1 \n" + body, HeaderKind::Other, false},
        {kLine1 + "Format Text Ver 1.1", HeaderKind::Other, false},
        {"Metasequoia Document \nFormat Text Ver 1.1\n" + body, HeaderKind::Other, false},
        {"\xef\xbb\xbfMetasequoia Document\nFormat Text Ver 1.1\n", HeaderKind::Other, false},
        {"", HeaderKind::Other, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.document);
        MemorySource raw(c.document.data(), c.document.size());
        Cp932Encoder encoder;
        TranslationPlan plan;
        PlanTranslation(raw, encoder, plan);
        EXPECT_EQ(plan.header, c.header);
        EXPECT_EQ(NeedsTranslation(plan), c.translated);
        // A fault in a document left as it is does not count.
        if (c.translated) {
            EXPECT_EQ(plan.refusal.fault, Fault::None);
        }
    }
}

TEST(CompatTranslation, Ver10FormByteForByte) {
    const float inf = std::numeric_limits<float>::infinity();
    const std::string edges = F32(-0.0f) + F32(inf) + F32(-inf) + F32(FLT_MAX) +
                              F32(std::numeric_limits<float>::denorm_min()) + F32(0.1f);
    // Payload bytes that a line reader would take for line ends, Ctrl-Z, "Eof" and "}".
    const std::string tricky =
        F32(Bytes("\r\n\x1a\x3f")) + F32(Bytes("Eof\x40")) + F32(Bytes("}\r\n\x41"));
    const std::string longText(70000, 'a');
    std::string longUtf8;
    for (int i = 0; i < 30000; ++i) longUtf8 += "家a";
    std::string longSjis;
    for (int i = 0; i < 30000; ++i) longSjis += Sjis("家") + "a";
    // Runs of 7 bytes from the re-encoded text's start: the buffer's end falls inside a character.
    std::string runsUtf8;
    std::string runsSjis;
    for (int i = 0; i < 20000; ++i) {
        runsUtf8 += "家家a";
        runsSjis += Sjis("家家") + "a";
    }
    struct Case {
        const char* what;
        std::string document;
        std::string ver10;
    };
    const Case cases[] = {
        {"version only", kLine1 + "Format Text Ver 1.1\nScene {\n\x82\xa0\r\n}\nEof\n",
         kLine1 + "Format Text Ver 1.0\nScene {\n\x82\xa0\r\n}\nEof\n"},
        {"UTF-8, CR LF",
         "Metasequoia Document\r\nFormat Text Ver 1.2\r\nCodePage utf8\r\nObject \"家\" {\r\n",
         "Metasequoia Document\r\nFormat Text Ver 1.0\r\n" + Sjis("Object \"家\" {") + "\r\n"},
        {"CodePage in other spellings", kLine1 + "Format Text Ver 1.2\ncodepage\tUTF-8 \nイ\n",
         kLine1 + "Format Text Ver 1.0\n" + Sjis("イ") + "\n"},
        {"CodePage 932: dropped, text as it is",
         kLine1 + "Format Text Ver 1.2\nCodePage 932\n\x89\xc6\n",
         kLine1 + "Format Text Ver 1.0\n\x89\xc6\n"},
        {"edge values", kLine1 + "Format Text Ver 1.1\n" + Vertices("\n", edges, 2) + "Eof\n",
         kLine1 + "Format Text Ver 1.0\n\tvertex 2 {\n\t\t-0 1e39 -1e39\n"
                  "\t\t3.4028235e+38 1e-45 0.1\n\t}\nEof\n"},
        {"payload bytes like line ends, CR LF",
         "Metasequoia Document\r\nFormat Text Ver 1.1\r\n" + Vertices("\r\n", tricky, 1) +
             "Eof\r\n",
         "Metasequoia Document\r\nFormat Text Ver 1.0\r\n\tvertex 1 {\r\n\t\t" + std::to_string(0) +
             "\t}\r\nEof\r\n"},
        {"no vertices", kLine1 + "Format Text Ver 1.0\n" + Vertices("\n", "", 0),
         kLine1 + "Format Text Ver 1.0\n\tvertex 0 {\n\t}\n"},
        {"chunk closed at the line's start, its lines unindented, CR LF",
         "Metasequoia Document\r\nFormat Text Ver 1.1\r\nBVertex 1 {\r\nVector 1 [12]\r\n" +
             F32(1) + F32(2) + F32(3) + "\r\n}\r\n\tface 0 {\r\n\t}\r\n}\r\n",
         "Metasequoia Document\r\nFormat Text Ver 1.0\r\n\tvertex 1 {\r\n\t\t1 2 3\r\n\t}\r\n"
         "\tface 0 {\r\n\t}\r\n}\r\n"},
        {"chunk indented with spaces, closed behind blanks, at the end",
         kLine1 + "Format Text Ver 1.1\n  BVertex 0 { \n    Vector 0 [0]\n \t} ",
         kLine1 + "Format Text Ver 1.0\n\tvertex 0 { \n\t}"},
        {"lines longer than the buffer",
         kLine1 + "Format Text Ver 1.2\nCodePage utf8\n" + longText + "\n" + longUtf8 + "\n",
         kLine1 + "Format Text Ver 1.0\n" + longText + "\n" + longSjis + "\n"},
        {"runs of characters across the buffer's end",
         kLine1 + "Format Text Ver 1.2\nCodePage utf8\n" + runsUtf8 + "\n",
         kLine1 + "Format Text Ver 1.0\n" + runsSjis + "\n"},
        {"nothing after a Ctrl-Z is looked at",
         kLine1 + "Format Text Ver 1.2\nCodePage utf8\nx\x1a\xff\xfe\tBVertex 1 {\n",
         kLine1 + "Format Text Ver 1.0\nx\x1a"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string expected = c.ver10;
        if (std::string(c.what).starts_with("payload")) {
            char x[bloktar::kRealTextCapacity], y[bloktar::kRealTextCapacity],
                z[bloktar::kRealTextCapacity];
            bloktar::FormatDocumentReal(Bytes("\r\n\x1a\x3f"), x);
            bloktar::FormatDocumentReal(Bytes("Eof\x40"), y);
            bloktar::FormatDocumentReal(Bytes("}\r\n\x41"), z);
            expected.replace(expected.find("\t\t0") + 2, 1,
                             std::string(x) + " " + y + " " + z + "\r\n");
        }
        for (const std::size_t chunk : {std::size_t{1}, std::size_t{7}, std::size_t{1} << 20}) {
            TranslationPlan plan;
            EXPECT_EQ(ReadTranslation(c.document, plan, chunk), expected) << chunk;
            EXPECT_EQ(plan.refusal.fault, Fault::None);
        }
        // Over the document's own bytes, as an archive's member is: the same form, except for
        // binary vertices, whose text is longer, which leave the bytes as they were.
        TranslationPlan plan;
        ReadTranslation(c.document, plan, 1 << 20);
        std::string bytes = c.document;
        std::size_t size = 0;
        Cp932Encoder encoder;
        const bool inPlace = TranslateInPlace(bytes.data(), size, plan, encoder);
        EXPECT_EQ(inPlace, plan.binaryVertexChunks == 0);
        EXPECT_EQ(inPlace ? bytes.substr(0, size) : bytes, inPlace ? expected : c.document);
    }
}

// A member of several of the worker's chunks, read while it is inflated in pieces of any size:
// every byte as the archive holds it, then its verdict; one whose packed bytes are cut short
// reads as far as it inflates.
TEST(CompatArchive, MemberReadWhileItIsInflated) {
    const std::string document = LongDocument();
    struct Case {
        testing_support::ZipMember member;
        Fault verdict;
    };
    const Case cases[] = {
        {{"a.mqo", document, true}, Fault::None},
        {{"a.mqo", document, false}, Fault::None},
        {{"a.mqo", document, true, true}, Fault::ArchiveBroken},
    };
    for (const Case& c : cases) {
        const std::string archive = testing_support::ZipArchive({c.member});
        for (const std::size_t piece :
             {std::size_t{4099}, std::size_t{1} << 16, (std::size_t{1} << 20) + 7}) {
            SCOPED_TRACE(std::to_string(piece) + (c.member.deflated ? " deflated" : " stored"));
            ArchiveMember member;
            MemberLocation location;
            ASSERT_EQ(LocateDocumentMember(reinterpret_cast<const unsigned char*>(archive.data()),
                                           archive.size(), member, location),
                      Fault::None);
            member.bytes = bloktar::ObtainRoom(location.size + 1);
            MemberInflation inflation(location, member.bytes.get());
            std::string read(piece, '\0');
            std::string all;
            for (std::size_t got; (got = inflation.Read(read.data(), piece)) > 0;) {
                all.append(read, 0, got);
            }
            EXPECT_EQ(inflation.Finish(), c.verdict);
            if (c.verdict == Fault::None) {
                EXPECT_EQ(all, document);
            } else {
                EXPECT_LT(all.size(), document.size());
                EXPECT_EQ(all, document.substr(0, all.size()));
            }
        }
    }
}

// A damaged member gets the verdict zlib alone gives on the packed bytes, with the size and CRC
// the archive gives.
TEST(CompatArchive, DamagedMembersGetZlibsVerdict) {
    const std::string document = LongDocument();
    const std::string packed = testing_support::Deflate(document);
    auto flipped = [&](std::size_t at) {
        return std::string(packed).replace(at, 1, 1, ~packed[at]);
    };
    // "aa" under a literal code set that leaves half of its codes unused, which zlib refuses.
    const std::string unusedCodes = std::string("\x05\xe0\xdb\x92\x24\x49\x92\x2c\xcb\x02", 10) +
                                    std::string(48, '\0') + '\x01' + std::string(78, '\0') +
                                    "\x10\x82";
    const testing_support::ZipMember cases[] = {
        {"a.mqo", document, true, false, packed},
        {"a.mqo", document, true, false, packed.substr(0, packed.size() - 3)},
        {"a.mqo", document, true, false, flipped(packed.size() / 3)},
        {"a.mqo", document, true, false, flipped(packed.size() - 40)},
        {"a.mqo", document, true, false, packed, -1},  // a stream longer than the member
        {"a.mqo", document, true, false, packed, 1},
        {"a.mqo", document, true, false, packed, 0, 1},
        {"a.mqo", "aa", true, false, unusedCodes, 0, 1},
        {"a.mqo", document, false},
        {"a.mqo", document, false, false, "", 0, 1},
    };
    for (const testing_support::ZipMember& c : cases) {
        SCOPED_TRACE(&c - cases);
        const std::string archive = testing_support::ZipArchive({c});
        ArchiveMember member;
        EXPECT_EQ(ExtractDocumentMember(reinterpret_cast<const unsigned char*>(archive.data()),
                                        archive.size(), member),
                  ZlibVerdict(c));
    }
}

#ifdef BLOKTAR_ISAL
TEST(CompatArchive, IsalCrcIsZlibs) {
    const std::string bytes = LongDocument();
    const auto* at = reinterpret_cast<const unsigned char*>(bytes.data());
    for (const std::size_t size : {0, 1, 15, 16, 17, 63, 64, 65, 4099, 1 << 20}) {
        EXPECT_EQ(crc32_gzip_refl(0, at, size), ZlibCrc(bytes, size)) << size;
        EXPECT_EQ(crc32_gzip_refl(0x9E3779B9, at, size), ZlibCrc(bytes, size, 0x9E3779B9)) << size;
    }
}
#endif

// A deflated member stands for at most 1,032 bytes per packed byte: a size beyond that is refused
// before any room is made for it, while the most tightly packed member zlib makes still reads.
TEST(CompatArchive, SizeBeyondWhatThePackedBytesCanHoldIsRefused) {
    const std::string document(std::size_t{1} << 20, '\t');
    const std::string archive = testing_support::ZipArchive({{"a.mqo", document, true}});
    ArchiveMember member;
    MemberLocation location;
    const auto* bytes = reinterpret_cast<const unsigned char*>(archive.data());
    ASSERT_EQ(LocateDocumentMember(bytes, archive.size(), member, location), Fault::None);
    EXPECT_GT(location.size, location.packedSize * 1000);
    EXPECT_EQ(ExtractDocumentMember(bytes, archive.size(), member), Fault::None);
    const auto bound = static_cast<std::int64_t>(location.packedSize * 1032);
    for (const std::int64_t claimed : {bound + 1, std::int64_t{0xFF000213}}) {
        const std::string claiming =
            testing_support::ZipArchive({{"a.mqo",
                                          document,
                                          true,
                                          false,
                                          {},
                                          claimed - static_cast<std::int64_t>(document.size())}});
        const auto* changed = reinterpret_cast<const unsigned char*>(claiming.data());
        EXPECT_EQ(LocateDocumentMember(changed, claiming.size(), member, location),
                  Fault::ArchiveBroken)
            << claimed;
    }
}

// A document refused, or left as it is, gets the same plan wherever its bytes lie: in memory,
// arriving in steps of any size, with the lines of its binary vertices made meanwhile.
TEST(CompatTranslation, HeldDocumentsPlannedAlike) {
    const std::string nan = F32(std::numeric_limits<float>::quiet_NaN());
    const std::string ver11 = kLine1 + "Format Text Ver 1.1\n";
    const std::string documents[] = {
        ver11 + Vertices("\n", F32(1) + F32(2) + F32(3), 1) + "\tBVertex 2 {\n\t\tVector 2 [24]\n" +
            F32(4) + F32(5) + F32(6) + F32(7) + nan + F32(8) + "\n\t}\n",
        ver11 + "\tBVertex 1 {\n\t\tVector 1 [12]\n" + F32(1) + F32(2),
        ver11 + "\tBVertex 1 {\n\t\tVector 1 [12]\n" + F32(1) + F32(2) + F32(3) + "\n\tx\n",
        ver11 + "\tBVertex 1 {\n\t\tVector 2 [12]\n",
        ver11 + "CodePage utf8\nObject \"\xe5\xae\xb6\" {\n\tmirror 1\n}\n\xff\n",
        kLine1 + "Format Text Ver 1.0\nObject \"a\" {\n\tface 1 {\n\t\t5 V(0 1 2 3 4)\n\t}\n}\n",
        kLine1 + "Format Text Ver 1.3\n" + Vertices("\n", F32(1) + F32(2) + F32(3), 1),
    };
    for (const std::string& document : documents) {
        SCOPED_TRACE(document);
        MemorySource raw(document.data(), document.size());
        Cp932Encoder encoder;
        TranslationPlan plan;
        PlanTranslation(raw, encoder, plan);
        TranslationPlan held;
        PlanTranslation(document.data(), document.size(), encoder, held);
        ExpectSamePlan(held, plan);
        PlacedMemory placed(document.data(), document.size());
        TranslationPlan planned;
        VertexLines lines;
        PlanWithLines(placed, document.size(), planned, lines);
        ExpectSamePlan(planned, plan);
    }
}

// A Ctrl-Z anywhere in a long run of vertex and face lines ends the document there, in every
// place the run's lines and the bytes read at once can put it: nothing behind it is planned (a
// binary chunk), and a face of five corners counts when its count stands before it.
TEST(CompatTranslation, CtrlZInTheBulkOfTheLinesEndsThePlan) {
    std::string document = kLine1 + "Format Text Ver 1.0\nObject \"a\" {\n\tvertex 2400 {\n";
    for (int i = 0; i < 2400; ++i) document += "\t\t-1.50000 " + std::to_string(i) + " 3.25\n";
    document += "\t}\n\tface 900 {\n";
    std::vector<std::size_t> largeFaceStarts;
    for (int i = 0; i < 900; ++i) {
        if (i % 7 == 3) largeFaceStarts.push_back(document.size());
        document +=
            i % 7 == 3 ? "\t\t5 V(0 1 2 3 4)\n" : "\t\t4 V(0 1 2 " + std::to_string(i) + ")\n";
    }
    document += "\t}\n}\nObject \"b\" {\n\tBVertex 1 {\n\t\tVector 1 [12]\n" + F32(1) + F32(2) +
                F32(3) + "\n\t}\n}\nEof\n";
    const std::size_t facesFrom = largeFaceStarts.front() - 40;
    std::vector<std::size_t> places = {document.size()};
    for (std::size_t at = 60; at < 120; ++at) places.push_back(at);  // every place in a line
    for (const std::size_t at : {std::size_t{65535}, std::size_t{65536}, std::size_t{65537}}) {
        places.push_back(at);  // around the first 64 KiB read at once
    }
    for (std::size_t at = facesFrom; at < facesFrom + 40; ++at) places.push_back(at);
    for (const std::size_t at : places) {
        SCOPED_TRACE(at);
        std::string ended = document;
        if (at < ended.size()) ended[at] = '\x1a';
        std::int64_t largeFaces = 0;
        for (const std::size_t start : largeFaceStarts) largeFaces += start + 2 < at ? 1 : 0;
        MemorySource raw(ended.data(), ended.size());
        Cp932Encoder encoder;
        TranslationPlan plan;
        PlanTranslation(raw, encoder, plan);
        EXPECT_EQ(plan.end, at < ended.size() ? at + 1 : ended.size());
        EXPECT_EQ(plan.binaryVertexChunks, at < ended.size() ? 0 : 1);
        ASSERT_EQ(plan.warnings.size(), largeFaces > 0 ? 1u : 0u);
        if (largeFaces > 0) {
            EXPECT_EQ(plan.warnings[0].count, largeFaces);
        }
        TranslationPlan held;
        PlanTranslation(ended.data(), ended.size(), encoder, held);
        ExpectSamePlan(held, plan);
    }
}

// Chunks of every size, one of them longer than a room of lines and some filling a room up to
// its end, with either line end: the lines made while the document is planned are the form's.
TEST(CompatTranslation, LinesMadeAheadAcrossTheirRooms) {
    std::string document = kLine1 + "Format Text Ver 1.1\n";
    std::uint32_t seed = 12345;
    const auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return static_cast<float>(seed >> 8) / 4096.0f - 2048.0f;
    };
    for (const int count : {1, 150000, 0, 7, 90000, 90000, 3, 40000}) {
        std::string payload;
        for (int i = 0; i < 3 * count; ++i) payload += F32(next());
        document += Vertices(count % 2 == 0 ? "\r\n" : "\n", payload, count);
    }
    MemorySource raw(document.data(), document.size());
    Cp932Encoder encoder;
    TranslationPlan plan;
    PlanTranslation(raw, encoder, plan);
    ASSERT_EQ(plan.refusal.fault, Fault::None);
    TranslatingSource translation(raw, plan, encoder);
    const std::string form = ReadTwice(translation, 1 << 16);
    PlacedMemory placed(document.data(), document.size());
    TranslationPlan planned;
    VertexLines lines;
    ASSERT_TRUE(PlanWithLines(placed, document.size(), planned, lines));
    EXPECT_GT(lines.rooms.size(), 1u);
    EXPECT_EQ(lines.pieces.size(), 8u);
    FormSource made(document.data(), document.size(), planned, &lines.pieces);
    EXPECT_EQ(ReadTwice(made, 1 << 16), form);
    PlacedFormSource inPlace(placed, planned, lines.pieces);
    EXPECT_EQ(ReadTwice(inPlace, 1 << 16), form);

    // Raw bytes that end before those planned (a file cut short after it was planned): the form
    // read from them ends where they do, and no later piece is joined on behind the gap.
    std::size_t cut = 0;
    for (std::size_t i = 1; i < plan.edits.size(); ++i) {
        const Edit& before = plan.edits[i - 1];
        if (plan.edits[i].kind == Edit::Kind::Replace &&
            plan.edits[i].offset > before.offset + before.length + 3) {
            cut = static_cast<std::size_t>(plan.edits[i].offset) - 1;
        }
    }
    ASSERT_GT(cut, 0u);
    PlacedMemory shorter(document.data(), cut);
    PlacedFormSource cutShort(shorter, planned, lines.pieces);
    const std::string read = ReadTwice(cutShort, 1 << 16);
    ASSERT_LT(read.size(), form.size());
    EXPECT_EQ(read, form.substr(0, read.size()));
    EXPECT_EQ(read.substr(read.size() - 3), document.substr(cut - 3, 3));
}

// Thousands of floats, many of them repeated out of order and many sharing a slot of the writer's
// cache of recent texts: each comes out as its own shortest text.
TEST(CompatTranslation, RepeatedAndCollidingFloatsKeepTheirOwnTexts) {
    std::vector<float> values;
    for (int i = 0; i < 3000; ++i) values.push_back(static_cast<float>(i) * 0.37f - 500.0f);
    for (int i = 2999; i >= 0; i -= 7) values.push_back(values[static_cast<std::size_t>(i)]);
    while (values.size() % 3 != 0) values.push_back(1.0f);
    std::string payload;
    std::string lines;
    for (std::size_t i = 0; i < values.size(); i += 3) {
        lines += "\t\t";
        for (std::size_t k = 0; k < 3; ++k) {
            char text[bloktar::kRealTextCapacity];
            bloktar::FormatDocumentReal(values[i + k], text);
            lines += std::string(text) + (k < 2 ? " " : "\n");
            payload += F32(values[i + k]);
        }
    }
    const int count = static_cast<int>(values.size() / 3);
    const std::string document = kLine1 + "Format Text Ver 1.1\n" + Vertices("\n", payload, count);
    const std::string expected = kLine1 + "Format Text Ver 1.0\n\tvertex " + std::to_string(count) +
                                 " {\n" + lines + "\t}\n";
    TranslationPlan plan;
    EXPECT_EQ(ReadTranslation(document, plan, 4096), expected);
}
