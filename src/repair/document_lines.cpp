#include "repair/document_lines.hpp"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

#include "mqo/document.hpp"
#include "mqo/line_shapes.hpp"
#include "mqo/mqo.hpp"
#include "mqo/numbers.hpp"
#include "repair/two_threads.hpp"

// The geometry pass's scanners for lines of the usual shape, for every processor and for wide
// vectors.
#define BLOKTAR_LINES_WIDE 0
#include "mqo/usual_lines.inc"
#ifdef BLOKTAR_USE_AVX2
#define BLOKTAR_LINES_WIDE 1
#include "mqo/usual_lines.inc"
#endif

namespace bloktar::repair {
namespace {

// The chunk readers' limits (the object reader's is kObjectLineLimit): a read delivers at most
// limit - 1 characters.
constexpr std::size_t kVertexLineLimit = 128;
constexpr std::size_t kFaceLineLimit = 256;
constexpr char kEndOfText = '\x1a';

static_assert(sizeof(LineBuffer) >= kFaceLineLimit - 1 + 1 + 32,
              "the longest piece, its newline and the zeros");

bool BeginsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// The integer after prefix on a line, read as the converter reads it.
std::int32_t IntAfter(std::string_view content, std::size_t prefix) {
    std::string text(content.substr(prefix));
    return ParseInt(text.c_str());
}

// The name on an "Object " line: between its first two double quotes, or, without quotes, the
// rest of the line.
std::string ObjectName(std::string_view content) {
    std::string_view rest = content.substr(7);
    if (!rest.empty() && rest.front() == '"') {
        rest.remove_prefix(1);
        return std::string(rest.substr(0, rest.find('"')));
    }
    while (!rest.empty() && (rest.back() == '{' || rest.back() == ' ')) rest.remove_suffix(1);
    return std::string(rest);
}

// The first carriage return, newline or Ctrl-Z in [from, to), or to when there is none. Reads
// like the reader's own line scan, up to kLineScanReadAhead bytes past to.
const char* FindBreakOrEnd(const char* from, const char* to) {
#ifdef BLOKTAR_USE_SSE2
    static_assert(2 * sizeof(__m128i) - 1 == kLineScanReadAhead);
    const __m128i carriageReturn = _mm_set1_epi8('\r');
    const __m128i newline = _mm_set1_epi8('\n');
    const __m128i endOfText = _mm_set1_epi8(kEndOfText);
    const auto found = [&](__m128i bytes) {
        return static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_or_si128(
            _mm_or_si128(_mm_cmpeq_epi8(bytes, carriageReturn), _mm_cmpeq_epi8(bytes, newline)),
            _mm_cmpeq_epi8(bytes, endOfText))));
    };
    for (const char* p = from; p < to; p += 32) {
        const std::uint32_t mask = found(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))) |
                                   found(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16)))
                                       << 16;
        if (mask != 0) return std::min(p + std::countr_zero(mask), to);
    }
    return to;
#else
    for (const char* p = from; p < to; ++p) {
        if (*p == '\r' || *p == '\n' || *p == kEndOfText) return p;
    }
    return to;
#endif
}

#ifdef BLOKTAR_USE_AVX2
// Bytes a vertex line read in place may have read behind its start: its 127 characters at most,
// and what the scanners load at its last number.
constexpr std::size_t kInPlaceReadAhead = 256;
static_assert(kInPlaceReadAhead >= kVertexLineLimit + kBufferReadAhead &&
              kInPlaceReadAhead >= line_shapes::kShapeBytes + 16);

// The shapes of the vertex lines read so far, where the processor has wide vectors and the
// system room for them; null otherwise.
std::unique_ptr<line_shapes::LineShapes> WideShapes() {
    if (!ProcessorHasWideVectors()) return nullptr;
    std::unique_ptr<line_shapes::LineShapes> shapes(new (std::nothrow) line_shapes::LineShapes);
    if (shapes == nullptr || !shapes->Obtained()) return nullptr;
    // Pages of zeros, read before they are written, would each be copied on the write and every
    // processor told: written now, each is filled once. The writes are volatile, for a compiler
    // may see that clearing what came cleared changes nothing.
    auto* const slots = reinterpret_cast<volatile char*>(shapes->slots.get());
    constexpr std::size_t kSlotBytes = sizeof(line_shapes::VertexShape)
                                       << line_shapes::kShapeSlotsLog2;
    for (std::size_t at = 0; at < kSlotBytes; at += 4096) slots[at] = 0;
    return shapes;
}

// A vertex line of the usual shape whose content of size characters stands at line, its line
// ending behind, read as the converter's chunk reader reads it with wide vectors: by a shape
// noted before, else number by number. False for a line of any other shape.
BLOKTAR_AVX2_TARGET bool ReadUsualVertexWide(const char* line, std::size_t size,
                                             line_shapes::LineShapes& shapes, MQO_VERTEX& vertex) {
    line_shapes::LineBytes bytes;
    line_shapes::LoadLineBytes(line, shapes.vectors, bytes);
    const line_shapes::VertexShape* shape = line_shapes::FindShape(shapes, bytes);
    line_shapes::VertexShape workedOut;
    if (shape == nullptr && line_shapes::WorkOutShape(line, bytes, workedOut)) {
        line_shapes::NoteShape(shapes, workedOut);
        shape = &workedOut;
    }
    if (shape != nullptr && bytes.lineEnd == size) {
        line_shapes::ReadByShape(line, *shape, shapes.vectors, vertex);
        return true;
    }
    return wide_lines::ScanUsualVertexLine(line, vertex) == line + size;
}
#endif

class Cutter {
  public:
    // A cutter from start, a place where a piece begins, as if the pieces before had been cut
    // and had left the pass between objects; it stops when it stands between objects at stopAt.
    // It reads no further than end, and stops at a Ctrl-Z before, where the reader stops.
    Cutter(std::string_view form, DocumentLines& cut, std::size_t end, std::size_t start = 0,
           std::size_t stopAt = std::string_view::npos, const std::atomic<bool>* abandon = nullptr)
        : form_(form), cut_(cut), end_(end), position_(start), stop_(stopAt), abandon_(abandon) {
        cut_.form = form;
        const std::size_t newline = form.find('\n');
        cut_.lineEnd = newline != std::string_view::npos && newline > 0 && form[newline - 1] == '\r'
                           ? "\r\n"
                           : "\n";
    }

    // True when Run stopped at stop, between objects.
    bool Stopped() const { return stopped_; }
    // True when it met a Ctrl-Z: the document ends there.
    bool MetEndOfText() const { return metEndOfText_; }

    void Run() {
        // The header check has taken the first two lines; they are cut like any other.
        for (;;) {
            if (position_ == stop_) {
                stopped_ = true;
                return;
            }
            const DocumentLine* line = Next(kObjectLineLimit, -1);
            if (line == nullptr) return;
            const std::string_view content = cut_.Content(*line);
            if (BeginsWith(content, "Eof")) {
                cut_.lines.back().SetRole(LineRole::End);
                return;
            }
            if (!BeginsWith(content, "Object ")) continue;
            if (abandon_ != nullptr && abandon_->load(std::memory_order_relaxed)) return;
            cut_.lines.back().SetRole(LineRole::ObjectOpen);
            DocumentObject object;
            object.name = ObjectName(content);
            object.openLine = cut_.lines.size() - 1;
            cut_.objects.push_back(std::move(object));
            if (!ReadObject(static_cast<std::int32_t>(cut_.objects.size() - 1))) return;
        }
    }

  private:
    // The next piece, or null at the end of the document.
    const DocumentLine* Next(std::size_t limit, std::int32_t object) {
        if (position_ >= end_) return nullptr;
        const std::size_t room = limit - 1;
        const char* text = form_.data();
        // The usual line: no carriage return in it, then a newline, or a carriage return and a
        // newline, within reach.
        const std::size_t stop = LineBreak(position_);
        std::size_t newline = stop;
        if (stop < end_ && text[stop] == '\r' && stop + 1 < end_) ++newline;
        if (newline < end_ && text[newline] == '\n' && stop - position_ + 1 <= room) {
            // At most 255 characters, a carriage return and a newline.
            DocumentLine& kept =
                Kept(object, static_cast<std::uint8_t>(stop - position_), true, false);
            kept.extent = static_cast<std::uint32_t>(newline + 1 - position_);
            position_ = newline + 1;
            return &kept;
        }
        bool ended = false;
        // Anything else, a byte at a time as the reader takes it.
        std::string content;
        std::size_t at = position_;
        while (at < end_ && content.size() < room) {
            const char c = text[at++];
            if (c == kEndOfText) {
                EndAt(--at);
                break;
            }
            if (c == '\r') continue;
            if (c == '\n') {
                ended = true;
                break;
            }
            content += c;
        }
        if (content.empty() && !ended) {
            // Only carriage returns were left: the reader reports the end.
            position_ = end_;
            return nullptr;
        }
        // Each owned piece takes tens of bytes of room: long before their count outgrew a piece's
        // index, room would run out.
        if (cut_.owned.size() >= std::numeric_limits<std::uint32_t>::max()) throw std::bad_alloc();
        DocumentLine& kept = Kept(object, static_cast<std::uint8_t>(content.size()), ended, true);
        kept.extent = static_cast<std::uint32_t>(cut_.owned.size());
        cut_.owned.push_back({std::move(content), at});
        position_ = at;
        return &kept;
    }

    // A new piece starting where the cut stands, of size characters, its role Other. Filled where
    // it is kept, every field (the room holds what was there before): put together beside it and
    // copied whole, it would be read back in wider parts than its fields were written in, which
    // stalls the processor.
    DocumentLine& Kept(std::int32_t object, std::uint8_t size, bool newline, bool owned) {
        DocumentLine& kept = cut_.lines.emplace_back();
        kept.word = DocumentLine::Word(position_, size, newline, owned, LineRole::Other);
        kept.extent = 0;
        kept.object = object;
        return kept;
    }

    // The number of the last piece cut, for an object's lists of pieces. Long before a cut held
    // more pieces than 32 bits number, room would run out.
    std::uint32_t LastLineNumber() const {
        const std::size_t number = cut_.lines.size() - 1;
        if (number > std::numeric_limits<std::uint32_t>::max()) throw std::bad_alloc();
        return static_cast<std::uint32_t>(number);
    }

    // The document ends at a Ctrl-Z.
    void EndAt(std::size_t at) {
        end_ = at;
        metEndOfText_ = true;
    }

    // The first carriage return or newline from at on, end_ where there is none; a Ctrl-Z on
    // the way ends the document there.
    std::size_t LineBreak(std::size_t at) {
        const char* text = form_.data();
        // The scan looks up to kLineScanReadAhead bytes past where it is told to stop: it is told
        // to stop that far before the form's end, and the rest is looked at byte by byte.
        const std::size_t scanned = end_ > kLineScanReadAhead && end_ - kLineScanReadAhead > at
                                        ? end_ - kLineScanReadAhead
                                        : at;
        std::size_t stop =
            static_cast<std::size_t>(FindBreakOrEnd(text + at, text + scanned) - text);
        while (stop < end_ && text[stop] != '\r' && text[stop] != '\n' &&
               text[stop] != kEndOfText) {
            ++stop;
        }
        if (stop < end_ && text[stop] == kEndOfText) EndAt(stop);
        return stop;
    }

    bool ReadObject(std::int32_t index) {
        while (const DocumentLine* line = Next(kObjectLineLimit, index)) {
            DocumentObject& object = cut_.objects[static_cast<std::size_t>(index)];
            const std::size_t number = cut_.lines.size() - 1;
            DocumentLine& piece = cut_.lines.back();
            const std::string_view content = cut_.Content(*line);
            if (BeginsWith(content, "}")) {
                piece.SetRole(LineRole::ObjectClose);
                object.closed = true;
                object.closeLine = number;
                return true;
            }
            if (BeginsWith(content, "\tvisible ") && IntAfter(content, 9) == 0) {
                piece.SetRole(LineRole::Hidden);
                object.hidden = true;
                object.loadedBeforeHidden = object.vertexChunks + object.faceChunks > 0;
                return true;
            }
            if (BeginsWith(content, "\tvertex ")) {
                piece.SetRole(LineRole::VertexHeader);
                if (object.vertexChunks++ == 0) {
                    object.vertexHeader = number;
                    // Room for the vertices the line counts, as many as the bytes left can hold
                    // (a vertex line takes six at least).
                    const auto counted =
                        static_cast<std::size_t>(std::max<std::int32_t>(IntAfter(content, 8), 0));
                    const std::size_t room = std::min(counted, (end_ - position_) / 6);
                    object.vertexLines.reserve(room);
                    object.vertices.reserve(room);
                }
                if (!ReadVertices(index)) return false;
            } else if (BeginsWith(content, "\tface ")) {
                piece.SetRole(LineRole::FaceHeader);
                if (object.faceChunks++ == 0) {
                    object.faceHeader = number;
                    // Room for the faces the line counts, as many as the bytes left can hold.
                    const auto counted =
                        static_cast<std::size_t>(std::max<std::int32_t>(IntAfter(content, 6), 0));
                    object.faceLines.reserve(std::min(counted, (end_ - position_) / 2));
                }
                if (!ReadFaces(index)) return false;
            } else if (BeginsWith(content, "\tmirror ")) {
                object.mirror = IntAfter(content, 8) != 0;
            } else if (BeginsWith(content, "\tpatch ")) {
                object.patch = IntAfter(content, 7) != 0;
            } else if (BeginsWith(content, "\tlathe ")) {
                object.lathe = IntAfter(content, 7) != 0;
            }
        }
        return false;
    }

    // False when the document ended inside the chunk.
    bool ReadVertices(std::int32_t index) {
        LineBuffer buffer;
        while (const DocumentLine* line = Next(kVertexLineLimit, index)) {
            DocumentLine& piece = cut_.lines.back();
            DocumentObject& object = cut_.objects[static_cast<std::size_t>(index)];
            const std::string_view content = cut_.Content(*line);
            if (BeginsWith(content, "\t}")) {
                piece.SetRole(LineRole::ChunkClose);
                if (object.vertexChunks == 1) object.vertexClose = cut_.lines.size() - 1;
                return true;
            }
            MQO_VERTEX vertex{};
            bool whole = ReadUsualVertexInPlace(piece, vertex);
            if (!whole) {
                const char* text = TerminatedLine(content, piece.Newline(), buffer.bytes);
                // A line of the usual shape that ends behind its third number makes a record.
                whole = every_processor::ScanUsualVertexLine(text, vertex) == text + piece.Size() ||
                        ReadVertexLine(text, vertex);
            }
            piece.SetRole(whole ? LineRole::Vertex : LineRole::VertexOther);
            if (whole) {
                object.vertexLines.push_back(LastLineNumber());
                object.vertices.push_back(vertex);
            } else {
                object.otherVertexLines.push_back(LastLineNumber());
            }
        }
        return false;
    }

    bool ReadFaces(std::int32_t index) {
        while (const DocumentLine* line = Next(kFaceLineLimit, index)) {
            DocumentLine& piece = cut_.lines.back();
            if (BeginsWith(cut_.Content(*line), "\t}")) {
                piece.SetRole(LineRole::ChunkClose);
                DocumentObject& object = cut_.objects[static_cast<std::size_t>(index)];
                if (object.faceChunks == 1) object.faceClose = cut_.lines.size() - 1;
                return true;
            }
            piece.SetRole(LineRole::Face);
            cut_.objects[static_cast<std::size_t>(index)].faceLines.push_back(LastLineNumber());
        }
        return false;
    }

    // A vertex line of the usual shape, whole in the form with its newline and far enough from
    // the form's end, read where it stands as the converter's chunk reader reads it with wide
    // vectors. False, with vertex to be read otherwise, for any other line or processor.
    bool ReadUsualVertexInPlace(const DocumentLine& piece, MQO_VERTEX& vertex) const {
#ifdef BLOKTAR_USE_AVX2
        if (shapes_ != nullptr && !piece.Owned() && piece.Newline() &&
            form_.size() - piece.Begin() >= kInPlaceReadAhead) {
            return ReadUsualVertexWide(form_.data() + piece.Begin(), piece.Size(), *shapes_,
                                       vertex);
        }
#else
        (void)piece;
        (void)vertex;
#endif
        return false;
    }

    std::string_view form_;
    DocumentLines& cut_;
    std::size_t end_ = 0;
    std::size_t position_ = 0;
    std::size_t stop_;
    bool stopped_ = false;
    bool metEndOfText_ = false;
    const std::atomic<bool>* abandon_;
#ifdef BLOKTAR_USE_AVX2
    std::unique_ptr<line_shapes::LineShapes> shapes_ = WideShapes();
#endif
};

// Where a second cutter may start: the first "Object " line beyond nine twentieths of the form,
// npos for none. The first half's thread, once that half is written, puts the second behind it
// while the second is still written, so the first is the smaller.
std::size_t LaterStart(std::string_view form) {
    const std::size_t found = form.find("\nObject ", form.size() / 20 * 9);
    return found == std::string_view::npos ? found : found + 1;
}

// The pieces and objects of a later cut behind those of cut.
void AppendCut(DocumentLines& later, DocumentLines& cut) {
    const std::size_t lineShift = cut.lines.size();
    const auto objectShift = static_cast<std::int32_t>(cut.objects.size());
    const std::size_t ownedShift = cut.owned.size();
    if (ownedShift + later.owned.size() > std::numeric_limits<std::uint32_t>::max() ||
        lineShift + later.lines.size() > std::numeric_limits<std::uint32_t>::max()) {
        throw std::bad_alloc();
    }
    cut.lines.reserve(lineShift + later.lines.size());
    for (DocumentLine line : later.lines) {
        if (line.object >= 0) line.object += objectShift;
        if (line.Owned()) line.extent += static_cast<std::uint32_t>(ownedShift);
        cut.lines.push_back(line);
    }
    for (OwnedPiece& piece : later.owned) cut.owned.push_back(std::move(piece));
    for (DocumentObject& object : later.objects) {
        object.openLine += lineShift;
        object.closeLine += lineShift;
        object.vertexHeader += lineShift;
        object.faceHeader += lineShift;
        object.vertexClose += lineShift;
        object.faceClose += lineShift;
        const auto shift = static_cast<std::uint32_t>(lineShift);
        for (std::uint32_t& line : object.vertexLines) line += shift;
        for (std::uint32_t& line : object.otherVertexLines) line += shift;
        for (std::uint32_t& line : object.faceLines) line += shift;
        cut.objects.push_back(std::move(object));
    }
}

}  // namespace

bool CutDocumentInTwo(std::string_view form, DocumentLines& cut, DocumentLines& later,
                      const std::atomic<bool>* abandon) {
    cut = DocumentLines{};
    later = DocumentLines{};
    // No memory holds a form so large that a piece's start could not say where it stands.
    if (form.size() >= kLargestForm) throw std::bad_alloc();
    // Room for the lines of a map, whose vertex and face lines run from about 25 to 80 bytes.
    cut.lines.reserve(form.size() / 32 + 16);
    // The pass is between objects at an "Object " line, unless an object before is still open:
    // a second cutter starts at one near the middle, and its pieces count when the first
    // reaches that line between objects. Otherwise the first goes on to the end itself.
    const std::size_t start = LaterStart(form);
    // The whole document by the first cutter alone.
    const auto alone = [&] {
        Cutter(form, cut, form.size(), 0, std::string_view::npos, abandon).Run();
    };
    if (start == std::string_view::npos) {
        alone();
        return false;
    }
    // The first cutter reads to the second's start at most, where it stops, unless a Ctrl-Z
    // before ends the document there.
    bool stopped = false;
    bool ended = false;
    // Large room is obtained here, where the system backs it with huge pages.
    later.lines.reserve((form.size() - start) / 32 + 16);
    RunBoth(
        [&] {
            Cutter first(form, cut, start, 0, start, abandon);
            first.Run();
            stopped = first.Stopped();
            ended = first.MetEndOfText();
        },
        [&] { Cutter(form, later, form.size(), start, std::string_view::npos, abandon).Run(); });
    if (stopped) return true;
    if (abandon != nullptr && abandon->load()) return false;
    later = DocumentLines{};
    // The first cutter's pieces are the whole document when it ended there: at "Eof" or at a
    // Ctrl-Z of its part. Otherwise an object still open at the second's start ran into it, and
    // the first goes on to the document's end.
    if (!ended && (cut.lines.empty() || cut.lines.back().Role() != LineRole::End)) {
        cut = DocumentLines{};
        cut.lines.reserve(form.size() / 32 + 16);
        alone();
    }
    return false;
}

void CutDocument(std::string_view form, DocumentLines& cut) {
    DocumentLines later;
    if (CutDocumentInTwo(form, cut, later)) AppendCut(later, cut);
}

const char* TerminatedLine(std::string_view content, bool newline, char* at) {
    // A piece holds at most 255 characters (the longest limit less one).
    const std::size_t size = content.size();
    std::memcpy(at, content.data(), size);
    std::size_t end = size;
    if (newline) at[end++] = '\n';
    at[end] = '\0';
    return at;
}

}  // namespace bloktar::repair
