// A document's Ver 1.0 form cut into the pieces the converter's geometry pass reads, each with
// what the pass makes of it, and its objects.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "mqo/mqo.hpp"
#include "repair/room_allocator.hpp"

namespace bloktar::repair {

// What the geometry pass makes of a piece.
enum class LineRole : std::uint8_t {
    Other,         // skipped, or a line the pass reads that is none of the below
    ObjectOpen,    // "Object " at the object level
    ObjectClose,   // "}" inside an object
    Hidden,        // "\tvisible 0": the rest of the object is skipped
    VertexHeader,  // "\tvertex N"
    Vertex,        // a vertex line that makes a record
    VertexOther,   // a line of a vertex chunk that makes none
    FaceHeader,    // "\tface N"
    Face,          // a line of a face chunk: every one makes a record
    ChunkClose,    // "\t}" closing a vertex or face chunk
    End,           // "Eof" at the object level: nothing from here on is read
};

// Forms are cut only below this size, which a piece's start holds.
inline constexpr std::uint64_t kLargestForm = std::uint64_t{1} << 48;

// One piece as the reader delivers it: a line, or the part of a longer line that one read with
// its limit takes. A map has hundreds of thousands: each is kept in 16 bytes, its content found
// through its DocumentLines. Its start, size and flags share one word, written whole: a word
// written in narrower parts and then read whole makes the processor wait.
struct DocumentLine {
    std::uint64_t word;    // its start (bits 0 to 47), size (48 to 55), newline (56), owned
                           // (57) and role (58 to 63)
    std::uint32_t extent;  // in the form: its bytes' count; owned: its index among the owned
    std::int32_t object;   // index of the object it stands in, -1 outside every object

    // A piece starting at begin (below kLargestForm) of size characters (255 at most).
    static std::uint64_t Word(std::uint64_t begin, std::uint8_t size, bool newline, bool owned,
                              LineRole role) {
        return (begin & (kLargestForm - 1)) | std::uint64_t{size} << 48 |
               std::uint64_t{newline} << 56 | std::uint64_t{owned} << 57 |
               std::uint64_t{static_cast<std::uint8_t>(role)} << 58;
    }
    // Its first byte in the form.
    std::size_t Begin() const { return static_cast<std::size_t>(word & (kLargestForm - 1)); }
    // Its content's characters.
    std::size_t Size() const { return static_cast<std::size_t>((word >> 48) & 0xFFu); }
    // The piece ends with a newline.
    bool Newline() const { return ((word >> 56) & 1u) != 0; }
    // Its content differs from its bytes and is held apart.
    bool Owned() const { return ((word >> 57) & 1u) != 0; }
    LineRole Role() const { return static_cast<LineRole>(word >> 58); }
    void SetRole(LineRole role) {
        word = (word & ((std::uint64_t{1} << 58) - 1)) |
               std::uint64_t{static_cast<std::uint8_t>(role)} << 58;
    }
};
static_assert(sizeof(DocumentLine) == 16, "a piece's record stays small");
static_assert(offsetof(DocumentLine, extent) == 8 && offsetof(DocumentLine, object) == 12);
static_assert(static_cast<int>(LineRole::End) < 64, "every role fits its bits");

// The content of a piece that differs from its bytes (carriage returns removed, or a piece read
// a byte at a time), and where its bytes end.
struct OwnedPiece {
    std::string content;
    std::size_t end;
};

// An object as the geometry pass met it.
struct DocumentObject {
    std::string name;  // between the quotes of its "Object " line, bytes as written
    std::size_t openLine = 0;
    std::size_t closeLine = 0;  // valid when closed
    bool closed = false;
    bool hidden = false;              // a "\tvisible 0" line stopped the pass reading it
    bool loadedBeforeHidden = false;  // ...after it had already read a chunk of it
    bool mirror = false;
    bool patch = false;
    bool lathe = false;
    int vertexChunks = 0;
    int faceChunks = 0;
    std::size_t vertexHeader = 0;  // the piece of its (first) "\tvertex " line
    std::size_t faceHeader = 0;    // the piece of its (first) "\tface " line
    std::size_t vertexClose = 0;   // the piece that closes its first vertex chunk, when one does
    std::size_t faceClose = 0;     // the piece that closes its first face chunk, when one does
    // Pieces by their numbers in the cut, which a cut keeps within 32 bits.
    std::vector<std::uint32_t> vertexLines;       // pieces that make vertex records, in order
    std::vector<MQO_VERTEX> vertices;             // the records they make, as the pass reads them
    std::vector<std::uint32_t> otherVertexLines;  // pieces of the vertex chunk that make none
    std::vector<std::uint32_t> faceLines;         // pieces that make face records, in order
};

struct DocumentLines {
    std::string_view form;  // what was cut
    std::vector<DocumentLine, RoomAllocator<DocumentLine>> lines;
    std::vector<DocumentObject> objects;
    std::deque<OwnedPiece> owned;  // the pieces that differ from their bytes
    std::string lineEnd;           // the first line's ending: "\r\n" or "\n"

    // A piece as delivered: carriage returns removed, without the newline.
    std::string_view Content(const DocumentLine& line) const {
        if (line.Owned()) return owned[line.extent].content;
        return {form.data() + line.Begin(), line.Size()};
    }
    // Where a piece's bytes in the form end: they are [line.Begin(), End(line)).
    std::size_t End(const DocumentLine& line) const {
        return line.Owned() ? owned[line.extent].end : line.Begin() + line.extent;
    }
    // The piece's bytes as they stand in the form.
    std::string_view Bytes(const DocumentLine& line) const {
        return form.substr(line.Begin(), End(line) - line.Begin());
    }
};

// Cuts the form (a document that passed the header check) as the geometry pass reads it: the
// same pieces, the same tests in the same order, the same end at "Eof" or a Ctrl-Z. The form must
// outlive the result.
void CutDocument(std::string_view form, DocumentLines& cut);

// The same cut in two halves made at once, when the document allows: true when later holds the
// pieces and objects that follow cut's (its object numbers and piece numbers its own, counted from
// 0); false, with later empty, when cut holds them all.
// Once *abandon is set (when given), the cutters stop at the next object they meet, leaving the
// halves incomplete: then the result is not to be used.
bool CutDocumentInTwo(std::string_view form, DocumentLines& cut, DocumentLines& later,
                      const std::atomic<bool>* abandon = nullptr);

// Room for the longest piece as the reader hands it over: 255 characters, its newline, its
// terminating zero, and bytes behind for the number readers that look ahead. Those bytes are
// cleared once; behind a later piece they hold what earlier ones left, as the reader's own buffer
// holds the document's next bytes there.
struct LineBuffer {
    char bytes[256 + 32] = {};
};

// The piece as the reader hands it over, placed at at: its content, its newline, a zero byte.
// Behind them at must have readable bytes for the number readers that look ahead, as many as a
// LineBuffer has behind its longest piece. Returns at.
const char* TerminatedLine(std::string_view content, bool newline, char* at);

}  // namespace bloktar::repair
