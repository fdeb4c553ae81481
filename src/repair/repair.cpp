#include "repair/repair.hpp"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <deque>
#include <exception>
#include <memory>
#include <new>
#include <span>
#include <stdexcept>
#include <type_traits>
#include <utility>

#if defined(_MSC_VER) && (defined(_M_X64) || defined(_M_IX86))
#include <xmmintrin.h>
#endif

#include "bd1/bd1.hpp"
#include "block/block.hpp"
#include "mqo/document.hpp"
#include "mqo/mqo.hpp"
#include "mqo/numbers.hpp"
#include "repair/boxes.hpp"
#include "repair/document_lines.hpp"
#include "repair/room_allocator.hpp"
#include "repair/two_threads.hpp"
#include "run/pipeline.hpp"
#include "run/platform.hpp"

// The geometry pass's scanners for lines of the usual shape, for every processor.
#define BLOKTAR_LINES_WIDE 0
#include "mqo/usual_lines.inc"

namespace bloktar::repair {
namespace {

// Asks for the memory at p ahead of its use.
inline void Prefetch(const void* p) {
#if defined(_MSC_VER) && !defined(__clang__)
#if defined(_M_X64) || defined(_M_IX86)
    _mm_prefetch(static_cast<const char*>(p), _MM_HINT_T0);
#else
    (void)p;
#endif
#else
    __builtin_prefetch(p);
#endif
}

// The longest face line the converter reads whole: 255 characters, its newline counted.
constexpr std::size_t kLongestFaceLine = 254;
// Room for a face line as it is made: eight numbers of at most 255 characters each, and the rest.
constexpr std::size_t kSlotRoom = 8 * 256 + 256;
// Rewritten face lines are appended a batch of about this many bytes at a time.
constexpr std::size_t kSlotBatch = std::size_t{16} << 10;

constexpr std::uint8_t kHasMaterial = 1;
constexpr std::uint8_t kHasUv = 2;

// Where a number stands on a line: [begin, begin + length) of its content; length 0 when the
// converter finds no number there (and reads 0).
struct NumberSpan {
    std::uint16_t begin = 0;
    std::uint16_t length = 0;
};

// One face line as the converter reads it, with what a repaired line needs of its text.
struct FaceText {
    MQO_FACE record{};
    NumberSpan u[4];
    NumberSpan v[4];
    bool cleanList = false;       // " V(" then n indices, single spaces, ")"
    std::uint16_t listBegin = 0;  // the list's text after " V(", up to its ")"
    std::uint16_t listEnd = 0;
    bool hasList = false;
    bool hasMaterial = false;       // the line has " M("
    bool hasUv = false;             // the line has " UV("
    const char* content = nullptr;  // the piece's content, where the spans stand
};
// Kept in raw room, where no destructor runs.
static_assert(std::is_trivially_destructible_v<FaceText>);

// The number text the converter reads at line + at: white space passed over, one sign, digits
// with at most one point among them (at least one digit), then an exponent when "e" or "E", a
// sign and a digit follow.
NumberSpan SpanAt(const char* line, std::size_t at) {
    const char* text = line + at;
    while (IsDocumentSpace(*text) && *text != '\n') ++text;
    const char* p = text;
    if (*p == '+' || *p == '-') ++p;
    int digits = 0;
    bool point = false;
    for (;; ++p) {
        if (IsDigit(*p)) {
            ++digits;
        } else if (*p == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    NumberSpan span;
    if (digits == 0) return span;
    if (*p == 'e' || *p == 'E') {
        const char* exponent = p + 1;
        if (*exponent == '+' || *exponent == '-') ++exponent;
        if (IsDigit(*exponent)) {
            while (IsDigit(*exponent)) ++exponent;
            p = exponent;
        }
    }
    span.begin = static_cast<std::uint16_t>(text - line);
    span.length = static_cast<std::uint16_t>(p - text);
    return span;
}

// The UV list read as ReadFaceLine reads it, noting where each number stands.
void FindUvSpans(const char* line, const char* list, std::int32_t n, FaceText& face) {
    const auto at = [&](const char* p) { return static_cast<std::size_t>(p - line); };
    face.u[0] = SpanAt(line, at(list));
    int uStored = 1;
    int vStored = 0;
    for (const char* p = list; *p != '\0'; ++p) {
        if (*p != ' ') continue;
        const NumberSpan span = SpanAt(line, at(p + 1));
        if (vStored < uStored) {
            face.v[vStored++] = span;
            if (vStored >= n || vStored == 4) return;
        } else {
            face.u[uStored++] = span;
        }
    }
}

bool IsCleanList(std::string_view list, std::int32_t n) {
    // n integers, each digits with an optional '-', separated by single spaces.
    int count = 0;
    std::size_t i = 0;
    while (i < list.size()) {
        if (list[i] == '-') ++i;
        const std::size_t digits = i;
        while (i < list.size() && IsDigit(list[i])) ++i;
        if (i == digits) return false;
        ++count;
        if (i == list.size()) break;
        if (list[i] != ' ') return false;
        ++i;
        if (i == list.size()) return false;
    }
    return count == n;
}

// The UV numbers of a face line of the usual shape, from uv behind its "UV(": pairs pairs, each
// number behind one space, the last before ")". Where each is a sign, digits and at most one point
// and nothing else, its span is the whole of it, as FindUvSpans would find; false, for
// FindUvSpans to look, where any is otherwise.
bool FindUsualUvSpans(const char* line, const char* uv, int pairs, FaceText& face) {
#ifdef BLOKTAR_USE_SSE2
    // Mostly every pair is "d.ddddd d.ddddd", sixteen bytes with the separator behind, looked at
    // at once (the line stands among the face texts, which have them behind).
    {
        const char* p = uv;
        int k = 0;
        for (; k < pairs; ++k, p += 16) {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
            const __m128i digits = _mm_and_si128(_mm_cmpgt_epi8(bytes, _mm_set1_epi8('0' - 1)),
                                                 _mm_cmplt_epi8(bytes, _mm_set1_epi8('9' + 1)));
            // Digits at 0, 2 to 6, 8 and 10 to 14; the points, the space and the separator.
            if (_mm_movemask_epi8(digits) != 0x7D7D || p[1] != '.' || p[9] != '.' || p[7] != ' ' ||
                p[15] != (k + 1 < pairs ? ' ' : ')')) {
                break;
            }
            const auto at = static_cast<std::uint16_t>(p - line);
            face.u[k] = {at, 7};
            face.v[k] = {static_cast<std::uint16_t>(at + 8), 7};
        }
        if (k == pairs) return true;
    }
#endif
    const char* p = uv;
    const int numbers = 2 * pairs;
    for (int t = 0; t < numbers; ++t) {
        const char* start = p;
        const char separator = t + 1 < numbers ? ' ' : ')';
        // Mostly a digit, a point and five digits.
        if (IsDigit(p[0]) && p[1] == '.' && IsDigit(p[2]) && IsDigit(p[3]) && IsDigit(p[4]) &&
            IsDigit(p[5]) && IsDigit(p[6]) && p[7] == separator) {
            NumberSpan& span = t % 2 == 0 ? face.u[t / 2] : face.v[t / 2];
            span.begin = static_cast<std::uint16_t>(start - line);
            span.length = 7;
            p += 8;
            continue;
        }
        if (*p == '+' || *p == '-') ++p;
        bool digits = false;
        bool point = false;
        for (;; ++p) {
            if (IsDigit(*p)) {
                digits = true;
            } else if (*p == '.' && !point) {
                point = true;
            } else {
                break;
            }
        }
        if (!digits || *p != separator) return false;
        NumberSpan& span = t % 2 == 0 ? face.u[t / 2] : face.v[t / 2];
        span.begin = static_cast<std::uint16_t>(start - line);
        span.length = static_cast<std::uint16_t>(p - start);
        ++p;
    }
    return true;
}

// A face line of the usual shape, read where its numbers stand; false, with face untouched,
// for a line of any other shape.
bool ReadUsualFace(std::size_t size, const char* text, FaceText& face) {
    usual_shape::UsualFace usual;
    every_processor::LineMemory memory;
    const char* uv = every_processor::ScanUsualFaceStart(text, usual);
    const char* stop =
        uv != nullptr ? every_processor::ScanUsualUvCorners(uv, usual, memory) : nullptr;
    if (stop == nullptr || *stop != ')' || stop + 1 != text + size) return false;
    usual_shape::StoreUsualFace(usual, face.record);
    // The shape puts " V(" behind the count, " M(" and " UV(" where the scan passed them.
    face.hasMaterial = true;
    face.hasUv = true;
    const char* list = text + 2;
    while (IsDigit(*list)) ++list;
    // The line may stand in the form, with no zero behind it: the list's ")" is looked for
    // within the line.
    const auto* close = static_cast<const char*>(
        std::memchr(list + 3, ')', static_cast<std::size_t>(text + size - (list + 3))));
    face.hasList = true;
    face.listBegin = static_cast<std::uint16_t>(list + 3 - text);
    face.listEnd = static_cast<std::uint16_t>(close - text);
    // The shape's list is the indices the scan took, digits behind single spaces, and the scan
    // takes the count's own number of them where it is 2 to 4.
    face.cleanList = usual.indices == usual.n;
    if (!FindUsualUvSpans(text, uv, usual.pairs, face)) {
        for (int k = 0; k < 4; ++k) face.u[k] = face.v[k] = NumberSpan{};
        FindUvSpans(text, uv, face.record.n, face);
    }
    return true;
}

// Bytes behind the last line placed among an object's face texts, which the number readers may
// look at: as many as a LineBuffer has behind its longest line.
constexpr std::size_t kFaceTextsBehind = sizeof(LineBuffer) - 255;

// Reads a face line into face, which must be as FaceText{} makes it; the line is placed at at as
// the reader hands it over (its content, its newline, a zero byte), where face's spans stand,
// with readable bytes behind.
void ReadFace(std::string_view content, bool newline, char* at, FaceText& face) {
    const char* text = TerminatedLine(content, newline, at);
    face.content = text;
    if (ReadUsualFace(content.size(), text, face)) return;
    ReadFaceLine(text, face.record);
    face.hasMaterial = std::strstr(text, " M(") != nullptr;
    if (const char* list = std::strstr(text, " UV(")) {
        face.hasUv = true;
        FindUvSpans(text, list + 4, face.record.n, face);
    }
    if (const char* list = std::strstr(text, " V(")) {
        const char* close = std::strchr(list + 3, ')');
        if (close != nullptr && static_cast<std::size_t>(close - text) <= content.size()) {
            face.hasList = true;
            face.listBegin = static_cast<std::uint16_t>(list + 3 - text);
            face.listEnd = static_cast<std::uint16_t>(close - text);
            face.cleanList =
                IsCleanList(std::string_view(list + 3, static_cast<std::size_t>(close - list - 3)),
                            face.record.n);
        }
    }
}

std::string_view SpanText(const char* content, NumberSpan span) {
    if (span.length == 0) return "0";
    return {content + span.begin, span.length};
}

void AppendInt(std::string& out, std::int64_t value) {
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, result.ptr);
}

// The "\tvertex N" or "\tface N" line with its count made count.
void AppendCountLine(std::string& out, std::string_view content, std::size_t prefix,
                     std::int64_t count, std::string_view lineEnd) {
    std::size_t at = prefix;
    while (at < content.size() && IsDocumentSpace(content[at])) ++at;
    std::size_t stop = at;
    if (stop < content.size() && (content[stop] == '+' || content[stop] == '-')) ++stop;
    while (stop < content.size() && IsDigit(content[stop])) ++stop;
    out.append(content.substr(0, at));
    AppendInt(out, count);
    out.append(content.substr(stop));
    out.append(lineEnd);
}

// Bytes in pieces, read as one, each behind the one before.
class PiecesInMemory final : public DocumentSource {
  public:
    explicit PiecesInMemory(std::span<const std::string_view> pieces) : pieces_(pieces) {}

    std::size_t Read(char* into, std::size_t size) override {
        std::size_t got = 0;
        while (got < size && piece_ < pieces_.size()) {
            const std::string_view rest = pieces_[piece_].substr(at_);
            const std::size_t step = std::min(size - got, rest.size());
            std::memcpy(into + got, rest.data(), step);
            got += step;
            at_ += step;
            if (at_ == pieces_[piece_].size()) {
                ++piece_;
                at_ = 0;
            }
        }
        return got;
    }
    void Rewind() override {
        piece_ = 0;
        at_ = 0;
    }

  private:
    std::span<const std::string_view> pieces_;
    std::size_t piece_ = 0;
    std::size_t at_ = 0;
};

// A vertex line as it is written: its bytes, and whether the line ending goes behind them.
struct VertexText {
    const char* bytes;
    std::size_t size;
    bool withEnd;
};

// What writing an object's box lines and reading them back need, kept from one object to the
// next.
struct CheckRoom {
    std::vector<VertexText> vertexTexts;  // per vertex of the object
    std::vector<char> slotLines;          // rewritten face lines, made before they are appended
    bool linesBehindTabs = false;         // every line AppendBoxes last wrote begins with two tabs
    bool vertexLinesAsRead = false;       // every one written as its bytes stand in the form
    ChunkReader reader{LineScanners::WideVectors};
    Document document;
    std::vector<MQO_VERTEX> vertices;
    std::vector<MQO_FACE> faces;
};

// Streaming, the lines of a piece go to the sink in runs of at least this many bytes.
constexpr std::size_t kStreamedBytes = std::size_t{1} << 19;

// One object of the form and what repairing it makes.
struct ObjectWork {
    DocumentLines* cut;  // the half of the cut it stands in
    std::size_t index;   // into that half's objects
    bool repaired = false;
    std::int32_t task = -1;            // for one to repair: its task
    std::span<FaceText> faces;         // while its lines are written: in its writer's room
    std::vector<MQO_VERTEX> vertices;  // as the converter loads them
    std::vector<FoundBox> boxes;
    std::vector<std::uint8_t> kept;       // per box: its lines stay as they are
    std::vector<std::int32_t> keptFirst;  // per kept box: its first vertex and first face
    std::vector<std::int32_t> keptFace;
    std::vector<std::uint8_t> faceUsed;
    std::vector<std::int32_t> asideVertices;  // in order
    std::vector<std::int32_t> asideIndex;     // per vertex: its number in the hidden object
    std::vector<std::int32_t> asideFaces;
    // Kept for the check once its lines are written: how many boxes it has, where its count lines
    // stand in its half of the text (npos for none), and the first of its boxes the converter
    // would not read as the box (-1 for none).
    std::size_t boxCount = 0;
    std::size_t vertexTextAt = std::string::npos;
    std::size_t faceTextAt = std::string::npos;
    std::int64_t wrongBox = -1;
};

// The survey of one piece of the written form, run on its bytes a run at a time as they go to
// the sink. The survey of the whole form stands between objects wherever a run ends between
// objects behind a newline, with nothing to carry over but its counts: there the next run is
// surveyed on its own and its counts added.
struct PieceSurvey {
    Document document;                   // over the run being surveyed
    std::vector<std::string_view> kept;  // the run's parts that are surveyed
    MqoSummary counts{};   // the vertex and face totals so far, added as the survey adds them
    bool started = false;  // a run has been surveyed
    bool ended = false;    // the form's survey ends in this piece: nothing behind counts
    bool open = false;     // the last run ended inside an object, or not behind a newline
    bool broken = false;   // a run came after such a one, or the header check failed on the
                           // first: the form must be read whole
};

class Repairer {
  public:
    Repairer(std::string_view form, Repair& repair, std::size_t maxArrayBytes,
             RepairedFormSink* sink, const std::atomic<bool>* abandon, const MappedFile* mapped)
        : form_(form),
          repair_(repair),
          maxArrayBytes_(maxArrayBytes),
          sink_(sink),
          abandon_(abandon),
          mapped_(mapped != nullptr && mapped->Bytes().data() == form.data() ? mapped : nullptr) {}

    RepairOutcome Run() {
        Document document;
        OpenMemoryDocument(document, form_.data(), form_.size());
        repair_.header = CheckDocumentHeader(document);
        if (!repair_.header.Accepted()) return RepairOutcome::HeaderRejected;
        shares_ = CutDocumentInTwo(form_, cuts_[0], cuts_[1], abandon_) ? 2 : 1;
        if (Abandoned()) return RepairOutcome::Abandoned;

        // Every object the converter reads gets its work and its report first; each object to
        // repair is then done by the thread that writes its lines, just before it writes them.
        std::size_t vertexStart = 0;
        std::size_t faceStart = 0;
        std::vector<Task> tasks;
        objectsBefore_[1] = cuts_[0].objects.size();
        const std::size_t objects = objectsBefore_[1] + cuts_[1].objects.size();
        repair_.objects.reserve(objects);
        work_.reserve(objects);
        workOf_.assign(objects, -1);
        for (int share = 0; share < shares_; ++share) {
            for (std::size_t o = 0; o < cuts_[share].objects.size(); ++o) {
                const DocumentObject& object = cuts_[share].objects[o];
                if (object.hidden && !object.loadedBeforeHidden) continue;
                ObjectRepair report;
                report.name = object.name;
                ObjectWork work;
                work.cut = &cuts_[share];
                work.index = o;
                work.repaired = object.closed && !object.hidden && !object.mirror &&
                                !object.patch && !object.lathe && object.vertexChunks <= 1 &&
                                object.faceChunks <= 1;
                report.leftAsIs = !work.repaired;
                if (work.repaired) {
                    workOf_[objectsBefore_[share] + o] = static_cast<std::int32_t>(work_.size());
                    work.task = static_cast<std::int32_t>(tasks.size());
                    tasks.push_back({work_.size(), vertexStart, faceStart, false});
                }
                vertexStart += object.vertexLines.size();
                faceStart += object.faceLines.size();
                repair_.objects.push_back(std::move(report));
                work_.push_back(std::move(work));
            }
        }
        tasks_ = &tasks;
        const bool written = Write();
        if (Abandoned()) return RepairOutcome::Abandoned;
        if (!written) return RepairOutcome::NothingToRepair;
        // The pieces are written: their room goes to the check's arrays.
        for (DocumentLines& cut : cuts_) {
            decltype(cut.lines)().swap(cut.lines);
            std::deque<OwnedPiece>().swap(cut.owned);
        }
        if (sink_ != nullptr) {
            sink_->FormWritten(repair_.document, repair_.documentRest);
        } else {
            repair_.document.append(repair_.documentRest);
            std::string().swap(repair_.documentRest);
        }
        return Verify();
    }

  private:
    // An object to repair: its work and report, where its records start among all the
    // objects', and whether repairing it changes anything.
    struct Task {
        std::size_t work;
        std::size_t vertexStart;
        std::size_t faceStart;
        bool changes;
    };

    // What repairing an object needs only while it runs, kept from one object to the next.
    struct ObjectRoom {
        BoxFinderRoom finder;
        std::vector<FaceText> faces;  // the object's faces, while its lines are written
        std::vector<char> faceTexts;  // their lines' texts, where the faces' spans stand
        std::vector<Point> points;
        std::vector<FaceCorners> corners;
        std::vector<std::int32_t> boxesOfVertex;
        std::vector<std::uint8_t> aside;
        CheckRoom check;
    };

    void RunTask(Task& task, ObjectRoom& room) {
        ObjectWork& work = work_[task.work];
        ReadObjectFaces(work, room.faces, room.faceTexts);
        task.changes =
            RepairObject(work, task.vertexStart, task.faceStart, repair_.objects[task.work], room);
    }

    // What an object's lines were written from goes once they are: only what the check needs of
    // it stays.
    void ReleaseWritten(ObjectWork& work) {
        std::vector<MQO_VERTEX>().swap(work.vertices);
        std::vector<FoundBox>().swap(work.boxes);
        std::vector<std::uint8_t>().swap(work.kept);
        std::vector<std::int32_t>().swap(work.keptFirst);
        std::vector<std::int32_t>().swap(work.keptFace);
        std::vector<std::uint8_t>().swap(work.faceUsed);
        std::vector<std::int32_t>().swap(work.asideVertices);
        std::vector<std::int32_t>().swap(work.asideIndex);
        std::vector<std::int32_t>().swap(work.asideFaces);
    }

    static DocumentObject& ObjectOf(const ObjectWork& work) {
        return work.cut->objects[work.index];
    }

    bool Abandoned() const {
        return abandon_ != nullptr && abandon_->load(std::memory_order_relaxed);
    }

    // The document's line ending, as the cut found it.
    const std::string& LineEnd() const { return cuts_[0].lineEnd; }

    // Reads the object's face lines into faces, which hold them for the object's work, their
    // texts placed one behind the other in texts: close at hand when the lines are written.
    void ReadObjectFaces(ObjectWork& work, std::vector<FaceText>& faces,
                         std::vector<char>& texts) const {
        const DocumentObject& object = ObjectOf(work);
        std::size_t room = kFaceTextsBehind;
        for (const std::size_t line : object.faceLines) {
            room += work.cut->lines[line].Size() + 2;
        }
        if (texts.size() < room) texts.resize(room);
        faces.assign(object.faceLines.size(), FaceText{});
        char* at = texts.data();
        const DocumentLines& cut = *work.cut;
        for (std::size_t f = 0; f < faces.size(); ++f) {
            const DocumentLine& line = cut.lines[object.faceLines[f]];
            // A whole line of the usual shape is read where it stands in the form, its face's
            // spans there; any other is placed among the texts first.
            const std::size_t begin = line.Begin();
            if (line.Newline() && !line.Owned() &&
                cut.form.size() - begin >= line.Size() + kFaceTextsBehind &&
                ReadUsualFace(line.Size(), cut.form.data() + begin, faces[f])) {
                faces[f].content = cut.form.data() + begin;
                continue;
            }
            ReadFace(cut.Content(line), line.Newline(), at, faces[f]);
            at += line.Size() + 2;
        }
        work.faces = std::span<FaceText>(faces);
    }

    // Finds the object's boxes and what is no box; true when anything changes.
    bool RepairObject(ObjectWork& work, std::size_t vertexStart, std::size_t faceStart,
                      ObjectRepair& report, ObjectRoom& room) {
        const DocumentObject& object = ObjectOf(work);
        const std::size_t vertexCount = object.vertexLines.size();
        // The cut has read them; they are the object's from here on.
        work.vertices = std::move(ObjectOf(work).vertices);
        std::vector<Point>& points = room.points;
        points.resize(vertexCount);
        for (std::size_t k = 0; k < vertexCount; ++k) {
            points[k] = {work.vertices[k].x, work.vertices[k].y, work.vertices[k].z};
        }
        const std::size_t faceCount = object.faceLines.size();
        std::vector<FaceCorners>& corners = room.corners;
        corners.assign(faceCount, FaceCorners{});
        for (std::size_t f = 0; f < faceCount; ++f) {
            const MQO_FACE& record = work.faces[f].record;
            FaceCorners& face = corners[f];
            face.n = record.n;
            face.material = record.M;
            std::memcpy(face.v, record.V, sizeof face.v);
            std::memcpy(face.u, record.u, sizeof face.u);
            std::memcpy(face.w, record.v, sizeof face.w);
            face.kind = static_cast<std::uint8_t>((work.faces[f].hasMaterial ? kHasMaterial : 0) |
                                                  (work.faces[f].hasUv ? kHasUv : 0));
            face.usable = record.n == 3 || record.n == 4;
            for (int k = 0; k < record.n && face.usable; ++k) {
                face.usable =
                    record.V[k] >= 0 && static_cast<std::size_t>(record.V[k]) < vertexCount;
                for (int j = 0; j < k && face.usable; ++j) face.usable = record.V[j] != record.V[k];
            }
        }
        FindBoxes(corners, points, work.boxes, work.faceUsed, room.finder);

        // Which boxes the converter already reads right, and why the others are rewritten.
        std::vector<std::int32_t>& boxesOfVertex = room.boxesOfVertex;
        boxesOfVertex.assign(vertexCount, 0);
        for (const FoundBox& box : work.boxes) {
            for (const std::int32_t c : box.corner) ++boxesOfVertex[static_cast<std::size_t>(c)];
        }
        bool changes = false;
        work.kept.assign(work.boxes.size(), 0);
        work.keptFirst.assign(work.boxes.size(), 0);
        work.keptFace.assign(work.boxes.size(), 0);
        for (std::size_t b = 0; b < work.boxes.size(); ++b) {
            FoundBox& box = work.boxes[b];
            bool shared = false;
            for (const std::int32_t c : box.corner) {
                shared = shared || boxesOfVertex[static_cast<std::size_t>(c)] > 1;
            }
            std::int32_t firstVertex = 0;
            std::int32_t firstFace = 0;
            const bool inPlace = InPlace(work, box, vertexStart, faceStart, firstVertex, firstFace);
            if (!box.triangles && !shared && inPlace &&
                ReadRight(work, box, firstVertex, firstFace)) {
                work.kept[b] = 1;
                work.keptFirst[b] = firstVertex;
                work.keptFace[b] = firstFace;
                ++report.kept;
                continue;
            }
            changes = true;
            const Cause cause = box.triangles ? Cause::Triangles
                                : shared      ? Cause::SharedVertices
                                : inPlace     ? Cause::VertexOrder
                                              : Cause::Place;
            ++report.rewritten[static_cast<int>(cause)];
        }

        // What is no box goes to the hidden object: the faces no box took, the vertices no box
        // uses, and those the moved faces use.
        std::vector<std::uint8_t>& aside = room.aside;
        aside.assign(vertexCount, 0);
        for (std::size_t k = 0; k < vertexCount; ++k) aside[k] = boxesOfVertex[k] == 0;
        for (std::size_t f = 0; f < faceCount; ++f) {
            if (work.faceUsed[f] != 0) continue;
            work.asideFaces.push_back(static_cast<std::int32_t>(f));
            ForEachListedVertex(work, f, [&](std::int64_t vertex) {
                if (vertex >= 0 && static_cast<std::size_t>(vertex) < vertexCount) {
                    aside[static_cast<std::size_t>(vertex)] = 1;
                }
            });
        }
        work.asideIndex.assign(vertexCount, -1);
        for (std::size_t k = 0; k < vertexCount; ++k) {
            if (aside[k] == 0) continue;
            work.asideIndex[k] = static_cast<std::int32_t>(work.asideVertices.size());
            work.asideVertices.push_back(static_cast<std::int32_t>(k));
        }
        report.asideVertices =
            static_cast<std::int64_t>(work.asideVertices.size() + object.otherVertexLines.size());
        report.asideFaces = static_cast<std::int64_t>(work.asideFaces.size());
        report.facesInBoxes = static_cast<std::int64_t>(
            std::count(work.faceUsed.begin(), work.faceUsed.end(), std::uint8_t{1}));
        if (report.asideVertices + report.asideFaces > 0) {
            // Quotes would end the name on its "Object " line.
            for (const char c : object.name) {
                if (c != '"') report.asideName += c;
            }
            report.asideName += kAsideSuffix;
            changes = true;
        }
        return changes;
    }

    // Every vertex number on a face line's V(...) list, all of them (five or more corners too).
    template <typename Visit>
    void ForEachListedVertex(const ObjectWork& work, std::size_t f, Visit visit) {
        const FaceText& face = work.faces[f];
        if (!face.hasList) return;
        const std::string_view content =
            work.cut->Content(work.cut->lines[ObjectOf(work).faceLines[f]]);
        const std::string_view list = content.substr(face.listBegin, face.listEnd - face.listBegin);
        std::size_t i = 0;
        while (i < list.size()) {
            while (i < list.size() && list[i] == ' ') ++i;
            const std::size_t start = i;
            while (i < list.size() && list[i] != ' ') ++i;
            std::int64_t value = 0;
            const auto token = list.substr(start, i - start);
            const auto result = std::from_chars(token.data(), token.data() + token.size(), value);
            if (!token.empty() && result.ec == std::errc() &&
                result.ptr == token.data() + token.size()) {
                visit(value);
            } else if (!token.empty()) {
                visit(-1);
            }
        }
    }

    // True when the box's vertices are one group of eight and its faces one group of six, both
    // of the same block as the converter cuts the original.
    bool InPlace(const ObjectWork& work, const FoundBox& box, std::size_t vertexStart,
                 std::size_t faceStart, std::int32_t& firstVertex, std::int32_t& firstFace) const {
        // A box's eight corners are distinct vertices: they are eight in a row where the
        // highest is the lowest and seven.
        const auto [lowest, highest] =
            std::minmax_element(std::begin(box.corner), std::end(box.corner));
        if (*highest - *lowest != 7) return false;
        const std::size_t globalVertex = vertexStart + static_cast<std::size_t>(*lowest);
        if (globalVertex % kBlockCorners != 0) return false;
        const std::size_t block = globalVertex / kBlockCorners;
        const std::size_t blockFace = block * kBlockFaces;
        if (blockFace < faceStart) return false;
        const std::size_t first = blockFace - faceStart;
        if (first + kBlockFaces > work.faces.size()) return false;
        for (int f = 0; f < kBlockFaces; ++f) {
            for (int j = 0; j < 4; ++j) {
                const auto face = static_cast<std::size_t>(box.source[f][j].face);
                if (face < first || face >= first + kBlockFaces) return false;
            }
        }
        firstVertex = *lowest;
        firstFace = static_cast<std::int32_t>(first);
        return true;
    }

    // True when the converter, gathering the block as it stands, makes of it exactly the box:
    // each slot's UV corners on the corners the slot names. Runs the converter's own
    // normalisation on numbered stand-ins.
    bool ReadRight(const ObjectWork& work, FoundBox& box, std::int32_t firstVertex,
                   std::int32_t firstFace) const {
        BlockCorners corners{};
        BlockFaces faces{};
        BlockPattern pattern{};
        for (int k = 0; k < kBlockCorners; ++k) corners.x[k] = static_cast<float>(k);
        for (int g = 0; g < kBlockFaces; ++g) {
            const FaceText& face = work.faces[static_cast<std::size_t>(firstFace + g)];
            if (face.record.n != 4 || !face.cleanList) return false;
            for (int r = 0; r < 4; ++r) {
                faces.u[g][r] = static_cast<float>(4 * g + r);
                pattern.Dif[g][r] = face.record.Dif[r];
            }
        }
        NormaliseBlockLayout(corners, pattern, faces);
        FoundBox read{};
        for (int k = 0; k < kBlockCorners; ++k) {
            read.corner[k] = firstVertex + static_cast<std::int32_t>(corners.x[k]);
        }
        for (int f = 0; f < kBlockFaces; ++f) {
            for (int j = 0; j < 4; ++j) {
                const auto id = static_cast<std::int32_t>(faces.u[f][j]);
                const std::int32_t face = firstFace + id / 4;
                const std::int32_t corner = id % 4;
                const std::int32_t vertex =
                    work.faces[static_cast<std::size_t>(face)].record.V[corner];
                if (vertex != read.corner[kBd1FaceCorners[f][j]]) return false;
                read.source[f][j] = {face, corner};
            }
        }
        read.firstFace = box.firstFace;
        read.triangles = false;
        box = read;
        return true;
    }

    // A line as it stands in the form when whole there; otherwise its content, to which the
    // line ending goes.
    static VertexText VertexTextOf(const DocumentLines& cut, const DocumentLine& line) {
        const bool whole = line.Newline() && !line.Owned();
        const std::string_view text = whole ? cut.Bytes(line) : cut.Content(line);
        return {text.data(), text.size(), !whole};
    }

    void AppendVertexText(std::string& out, const VertexText& text) const {
        out.append(text.bytes, text.size);
        if (text.withEnd) out.append(LineEnd());
    }

    void AppendVertexLine(std::string& out, const DocumentLines& cut,
                          const DocumentLine& line) const {
        AppendVertexText(out, VertexTextOf(cut, line));
    }

    // A face line of a kept box: as it stands, its vertex numbers moved by shift.
    void AppendKeptFace(std::string& out, const ObjectWork& work, std::size_t f,
                        std::int64_t shift) const {
        const DocumentLine& line = work.cut->lines[ObjectOf(work).faceLines[f]];
        if (shift == 0) {
            AppendVertexLine(out, *work.cut, line);
            return;
        }
        const FaceText& face = work.faces[f];
        const std::string_view content = work.cut->Content(line);
        out.append(content.substr(0, face.listBegin));
        for (int k = 0; k < 4; ++k) {
            if (k > 0) out += ' ';
            AppendInt(out, face.record.V[k] + shift);
        }
        out.append(content.substr(face.listEnd));
        out.append(LineEnd());
    }

    // Slot f of a rewritten box whose corner k is vertex base + k, made at line, which has room
    // for kSlotRoom bytes; returns its end.
    char* MakeSlot(char* line, const ObjectWork& work, const FoundBox& box, int f,
                   std::int64_t base) const {
        const CornerSource& lead = box.source[f][0];
        const FaceText& leadFace = work.faces[static_cast<std::size_t>(lead.face)];
        const bool hasMaterial = leadFace.hasMaterial;
        const bool hasUv = leadFace.hasUv;
        char* const limit = line + kSlotRoom;
        for (int attempt = 0; attempt < 2; ++attempt) {
            char* p = line;
            const auto put = [&](std::string_view text) {
                // Mostly a UV number of five places: seven bytes, copied in place.
                if (text.size() == 7) {
                    std::memcpy(p, text.data(), 7);
                } else {
                    std::memcpy(p, text.data(), text.size());
                }
                p += text.size();
            };
            const auto number = [&](std::int64_t value) { p = std::to_chars(p, limit, value).ptr; };
            put("\t\t4 V(");
            for (int j = 0; j < 4; ++j) {
                if (j > 0) *p++ = ' ';
                number(base + kBd1FaceCorners[f][j]);
            }
            *p++ = ')';
            if (hasMaterial) {
                put(" M(");
                number(leadFace.record.M);
                *p++ = ')';
            }
            if (hasUv) {
                put(" UV(");
                for (int j = 0; j < 4; ++j) {
                    const CornerSource& source = box.source[f][j];
                    const FaceText& face = work.faces[static_cast<std::size_t>(source.face)];
                    if (j > 0) *p++ = ' ';
                    if (attempt == 0) {
                        put(SpanText(face.content, face.u[source.corner]));
                        *p++ = ' ';
                        put(SpanText(face.content, face.v[source.corner]));
                    } else {
                        // Texts too long for one line: the shortest that read back the same.
                        p = std::to_chars(p, limit, face.record.u[source.corner]).ptr;
                        *p++ = ' ';
                        p = std::to_chars(p, limit, face.record.v[source.corner]).ptr;
                    }
                }
                *p++ = ')';
            }
            const auto size = static_cast<std::size_t>(p - line);
            if (size <= kLongestFaceLine || attempt == 1) {
                put(LineEnd());
                return p;
            }
        }
        return line;  // not reached: the second attempt always ends the line
    }

    static void PrefetchUvTexts(const ObjectWork& work, const FoundBox& box) {
        for (const auto& slot : box.source) {
            for (const CornerSource& source : slot) {
                const FaceText& face = work.faces[static_cast<std::size_t>(source.face)];
                Prefetch(face.content + face.u[source.corner].begin);
            }
        }
    }

    void AppendBoxes(std::string& out, const ObjectWork& work, bool faces, CheckRoom& room) const {
        // The vertex lines' texts, gathered in order where their pieces stand in order, are then
        // taken in the boxes' order from close at hand.
        std::vector<VertexText>& texts = room.vertexTexts;
        if (!faces) {
            const DocumentObject& object = ObjectOf(work);
            texts.resize(object.vertexLines.size());
            room.vertexLinesAsRead = true;
            room.linesBehindTabs = true;
            for (std::size_t k = 0; k < texts.size(); ++k) {
                texts[k] = VertexTextOf(*work.cut, work.cut->lines[object.vertexLines[k]]);
                room.vertexLinesAsRead = room.vertexLinesAsRead && !texts[k].withEnd;
                room.linesBehindTabs = room.linesBehindTabs && texts[k].size >= 2 &&
                                       texts[k].bytes[0] == '\t' && texts[k].bytes[1] == '\t';
            }
        } else {
            // Rewritten face lines begin "\t\t4 V("; a kept one as it stands.
            room.linesBehindTabs = true;
            for (std::size_t b = 0; b < work.boxes.size(); ++b) {
                if (work.kept[b] == 0) continue;
                for (int g = 0; g < kBlockFaces; ++g) {
                    const auto f = static_cast<std::size_t>(work.keptFace[b] + g);
                    const std::string_view content =
                        work.cut->Content(work.cut->lines[ObjectOf(work).faceLines[f]]);
                    room.linesBehindTabs = room.linesBehindTabs && content.starts_with("\t\t");
                }
            }
        }
        // Rewritten face lines are made in a batch, appended to out together: a line appended as
        // soon as it is made would be read back in wider parts than it was written in, which
        // stalls the processor.
        std::vector<char>& slots = room.slotLines;
        slots.resize(kSlotBatch + kBlockFaces * kSlotRoom);
        char* made = slots.data();
        const auto flush = [&] {
            out.append(slots.data(), static_cast<std::size_t>(made - slots.data()));
            made = slots.data();
        };
        std::int64_t base = 0;
        for (std::size_t b = 0; b < work.boxes.size(); ++b, base += kBlockCorners) {
            const FoundBox& box = work.boxes[b];
            if (work.kept[b] != 0) {
                flush();
                if (faces) {
                    for (int g = 0; g < kBlockFaces; ++g) {
                        AppendKeptFace(out, work, static_cast<std::size_t>(work.keptFace[b] + g),
                                       base - work.keptFirst[b]);
                    }
                } else {
                    for (int k = 0; k < kBlockCorners; ++k) {
                        AppendVertexText(out,
                                         texts[static_cast<std::size_t>(work.keptFirst[b] + k)]);
                    }
                }
                continue;
            }
            if (faces) {
                // The next box's UV texts stand anywhere among the object's lines: asked for
                // now, they arrive while this box is written.
                if (b + 1 < work.boxes.size()) PrefetchUvTexts(work, work.boxes[b + 1]);
                for (int f = 0; f < kBlockFaces; ++f) {
                    made = MakeSlot(made, work, box, f, base);
                }
                if (made - slots.data() >= static_cast<std::ptrdiff_t>(kSlotBatch)) {
                    flush();
                }
            } else {
                // Likewise the next box's vertex lines.
                if (b + 1 < work.boxes.size()) {
                    for (const std::int32_t vertex : work.boxes[b + 1].corner) {
                        Prefetch(texts[static_cast<std::size_t>(vertex)].bytes);
                    }
                }
                for (const std::int32_t vertex : box.corner) {
                    AppendVertexText(out, texts[static_cast<std::size_t>(vertex)]);
                }
            }
        }
        flush();
    }

    // The converter reads a hidden object's lines as lines between objects: one that does not
    // begin with a tab could start an object or end the document there. Such a line is moved
    // behind two tabs.
    static void GuardAsideLine(std::string& out, std::string_view content) {
        if (content.empty() || content.front() != '\t') out.append("\t\t");
    }

    // A moved face: its line as it stands, its vertex numbers those of the hidden object.
    void AppendAsideFace(std::string& out, const ObjectWork& work, std::size_t f) {
        const DocumentLine& line = work.cut->lines[ObjectOf(work).faceLines[f]];
        const std::string_view content = work.cut->Content(line);
        const FaceText& face = work.faces[f];
        GuardAsideLine(out, content);
        if (!face.hasList) {
            AppendVertexLine(out, *work.cut, line);
            return;
        }
        out.append(content.substr(0, face.listBegin));
        const std::size_t vertexCount = work.asideIndex.size();
        const std::string_view list = content.substr(face.listBegin, face.listEnd - face.listBegin);
        std::size_t i = 0;
        // Each number moved to its vertex's place in the hidden object; anything else as written.
        while (i < list.size()) {
            const std::size_t spaces = i;
            while (i < list.size() && list[i] == ' ') ++i;
            out.append(list.substr(spaces, i - spaces));
            const std::size_t start = i;
            while (i < list.size() && list[i] != ' ') ++i;
            const std::string_view token = list.substr(start, i - start);
            std::int64_t value = 0;
            const auto result = std::from_chars(token.data(), token.data() + token.size(), value);
            if (!token.empty() && result.ec == std::errc() &&
                result.ptr == token.data() + token.size() && value >= 0 &&
                static_cast<std::size_t>(value) < vertexCount) {
                AppendInt(out, work.asideIndex[static_cast<std::size_t>(value)]);
            } else {
                out.append(token);
            }
        }
        out.append(content.substr(face.listEnd));
        out.append(LineEnd());
    }

    void AppendAsideObject(std::string& out, const ObjectWork& work, const ObjectRepair& report) {
        const DocumentObject& object = ObjectOf(work);
        const std::string& end = LineEnd();
        out.append("Object \"" + report.asideName + "\" {" + end);
        out.append("\tvisible 0" + end);
        out.append("\tvertex ");
        AppendInt(out, report.asideVertices);
        out.append(" {" + end);
        for (const std::int32_t vertex : work.asideVertices) {
            const DocumentLine& line =
                work.cut->lines[object.vertexLines[static_cast<std::size_t>(vertex)]];
            GuardAsideLine(out, work.cut->Content(line));
            AppendVertexLine(out, *work.cut, line);
        }
        for (const std::size_t line : object.otherVertexLines) {
            GuardAsideLine(out, work.cut->Content(work.cut->lines[line]));
            AppendVertexLine(out, *work.cut, work.cut->lines[line]);
        }
        out.append("\t}" + end);
        out.append("\tface ");
        AppendInt(out, report.asideFaces);
        out.append(" {" + end);
        for (const std::int32_t f : work.asideFaces) {
            AppendAsideFace(out, work, static_cast<std::size_t>(f));
        }
        out.append("\t}" + end);
        out.append("}" + end);
    }

    // The repaired form, unless nothing changes: false then, with nothing written. Each half of
    // the cut is written on a thread of its own, the first into the document, the second into
    // repair_.documentRest, which follows it.
    bool Write() {
        streaming_ = sink_ != nullptr && sink_->Streams();
        std::string& out = repair_.document;
        out.clear();
        // Streaming, each piece passes through room for a few objects' lines at a time.
        const std::size_t rest = shares_ == 1 ? 0 : form_.size() - cuts_[1].lines.front().Begin();
        const std::size_t first = form_.size() - rest;
        out.reserve(streaming_ ? std::min(first, 2 * kStreamedBytes) : first + first / 4);
        PreferHugePages(out.data(), out.capacity());
        if (shares_ == 1) {
            if (!WriteShare(out, 0)) return false;
        } else {
            // Large room is obtained on this thread, where the system backs it with huge pages.
            repair_.documentRest.reserve(streaming_ ? std::min(rest, 2 * kStreamedBytes)
                                                    : rest + rest / 4);
            PreferHugePages(repair_.documentRest.data(), repair_.documentRest.capacity());
            bool changedBefore = false;
            bool changedLater = false;
            RunBoth(
                [&] {
                    changedBefore = WriteShare(out, 0);
                    // The first piece is whole: its last lines go now, and the second's follow
                    // it while they are written.
                    if (changedBefore && streaming_ && !Abandoned()) {
                        Pass(out, 0, 0);
                        sink_->FollowSecond();
                    }
                },
                [&] {
                    // However it stops, the first piece's thread stops waiting for it.
                    struct Paused {
                        RepairedFormSink* sink;
                        ~Paused() {
                            if (sink != nullptr) sink->SecondPaused();
                        }
                    } paused{streaming_ ? sink_ : nullptr};
                    changedLater = WriteShare(repair_.documentRest, 1);
                });
            if (Abandoned()) return false;
            if (!changedBefore && !changedLater) return false;
            // A half in which nothing changed is written now.
            CheckRoom check;
            if (!changedBefore) WriteLines(out, 0, cuts_[0].lines.size(), check);
            if (!changedLater) WriteLines(repair_.documentRest, 1, cuts_[1].lines.size(), check);
        }
        const DocumentLines& last = cuts_[shares_ - 1];
        (shares_ == 1 ? out : repair_.documentRest)
            .append(form_.substr(last.lines.empty() ? 0 : last.End(last.lines.back())));
        for (int share = 0; share < shares_; ++share) {
            Pass(share == 0 ? out : repair_.documentRest, share, 0);
        }
        return true;
    }

    // Streaming, the lines written so far go to the sink once they are at least least bytes.
    void Pass(std::string& out, int share, std::size_t least) {
        if (!streaming_ || out.empty() || out.size() < least) return;
        SurveyRun(surveys_[share], share == 0, out, surveyless_[share]);
        sink_->Append(share, out);
        out.clear();
        surveyless_[share].clear();
    }

    // The mapped form's bytes of a half up to to go back to the system, half a megabyte or more
    // at a time: the lines written from them are written.
    void ReleaseForm(int share, std::size_t to) {
        std::size_t& released = released_[share];
        if (share == 1 && released == 0) released = cuts_[1].lines.front().Begin();
        if (mapped_ == nullptr || to < released + kStreamedBytes) return;
        mapped_->Release(released, to);
        released = to;
    }

    // Surveys the next run of a piece's bytes, as the survey of the whole form would read them,
    // but for the ranges left out, which hold only lines that change nothing it counts.
    static void SurveyRun(PieceSurvey& survey, bool first, std::string_view run,
                          std::span<const std::pair<std::size_t, std::size_t>> leftOut) {
        if (survey.ended || survey.broken) return;
        if (survey.open) {
            survey.broken = true;
            return;
        }
        survey.kept.clear();
        std::size_t at = 0;
        for (const auto& [begin, end] : leftOut) {
            survey.kept.push_back(run.substr(at, begin - at));
            at = end;
        }
        survey.kept.push_back(run.substr(at));
        PiecesInMemory source(survey.kept);
        OpenSourceDocument(survey.document, source);
        if (first && !survey.started && !CheckDocumentHeader(survey.document).Accepted()) {
            survey.broken = true;
            return;
        }
        survey.started = true;
        const SurveyEnd end = SurveyLines(survey.document, survey.counts);
        if (end == SurveyEnd::Eof || survey.document.endOfText) {
            survey.ended = true;
        } else {
            survey.open = end == SurveyEnd::InsideObject || run.back() != '\n';
        }
    }

    // The lines of a half of the cut, written by one thread. Each object to repair is repaired as
    // its first line inside comes, its faces held in room that passes from one object to the
    // next. Nothing is written until an object of the half changes: then the lines passed over
    // come first, their objects' faces read again. False, with nothing written, when none changes.
    bool WriteShare(std::string& out, int share) {
        ObjectRoom room;
        std::int32_t current = -1;  // the object whose lines these are
        bool changed = false;
        const std::size_t lineCount = cuts_[share].lines.size();
        for (std::size_t i = 0; i < lineCount; ++i) {
            const std::int32_t w = WorkOfLine(share, i);
            if (w >= 0 && w != current) {
                if (Abandoned()) break;
                if (changed && current >= 0)
                    ReleaseWritten(work_[static_cast<std::size_t>(current)]);
                current = w;
                Task& task =
                    (*tasks_)[static_cast<std::size_t>(work_[static_cast<std::size_t>(w)].task)];
                RunTask(task, room);
                if (task.changes && !changed) {
                    changed = true;
                    WriteLines(out, share, i, room.check);
                }
            }
            if (changed) WriteLine(out, share, i, w, room.check);
            i = PastChunk(share, i, w);
        }
        if (changed && current >= 0) ReleaseWritten(work_[static_cast<std::size_t>(current)]);
        return changed;
    }

    // The first lines of a half, of objects already repaired, their faces read again.
    void WriteLines(std::string& out, int share, std::size_t lineCount, CheckRoom& check) {
        std::vector<FaceText> faces;
        std::vector<char> faceTexts;
        std::int32_t current = -1;
        for (std::size_t i = 0; i < lineCount; ++i) {
            const std::int32_t w = WorkOfLine(share, i);
            if (w >= 0 && w != current) {
                if (current >= 0) ReleaseWritten(work_[static_cast<std::size_t>(current)]);
                current = w;
                ReadObjectFaces(work_[static_cast<std::size_t>(w)], faces, faceTexts);
            }
            WriteLine(out, share, i, w, check);
            i = PastChunk(share, i, w);
        }
        if (current >= 0) ReleaseWritten(work_[static_cast<std::size_t>(current)]);
    }

    // For the count line of a vertex or face chunk of an object to repair, the chunk's last line
    // (its lines are written with the count line); i itself otherwise.
    std::size_t PastChunk(int share, std::size_t i, std::int32_t w) const {
        if (w < 0) return i;
        const DocumentObject& object = ObjectOf(work_[static_cast<std::size_t>(w)]);
        switch (cuts_[share].lines[i].Role()) {
            case LineRole::VertexHeader:
                return object.vertexClose - 1;
            case LineRole::FaceHeader:
                return object.faceClose - 1;
            default:
                return i;
        }
    }

    // The work of the object a line stands in, -1 where it is no object to repair.
    std::int32_t WorkOfLine(int share, std::size_t i) const {
        const DocumentLine& line = cuts_[share].lines[i];
        return line.object >= 0
                   ? workOf_[objectsBefore_[share] + static_cast<std::size_t>(line.object)]
                   : -1;
    }

    // Line i of a half, in object work w (-1 for none), as repaired.
    void WriteLine(std::string& out, int share, std::size_t i, std::int32_t w, CheckRoom& check) {
        const DocumentLine& line = cuts_[share].lines[i];
        if (w < 0) {
            out.append(cuts_[share].Bytes(line));
            return;
        }
        ObjectWork& work = work_[static_cast<std::size_t>(w)];
        const ObjectRepair& report = repair_.objects[static_cast<std::size_t>(w)];
        switch (line.Role()) {
            case LineRole::Vertex:
            case LineRole::VertexOther:
            case LineRole::Face:
                break;  // written with their chunk's first line
            case LineRole::VertexHeader:
            case LineRole::FaceHeader: {
                // "\tvertex " or "\tface ", its count made the boxes', then the boxes' lines.
                const bool faces = line.Role() == LineRole::FaceHeader;
                const std::size_t at = out.size();
                (faces ? work.faceTextAt : work.vertexTextAt) = at;
                AppendCountLine(out, cuts_[share].Content(line), faces ? 6 : 8,
                                static_cast<std::int64_t>(work.boxes.size()) *
                                    (faces ? kBlockFaces : kBlockCorners),
                                LineEnd());
                // A count line longer than the object reader takes at once leaves its rest to
                // be read as a line of the chunk: then the chunk is read back.
                const bool countWhole =
                    out.size() - at - LineEnd().size() + 1 < std::size_t{kObjectLineLimit};
                const std::size_t body = out.size();
                AppendBoxes(out, work, faces, check);
                if (!faces) check.vertexLinesAsRead = check.vertexLinesAsRead && countWhole;
                // Lines that begin with two tabs, each read in one piece, change nothing the
                // survey counts: its runs leave them out.
                if (check.linesBehindTabs && out.size() > body) {
                    surveyless_[share].emplace_back(body, out.size());
                }
                break;
            }
            case LineRole::ObjectClose:
                out.append(cuts_[share].Bytes(line));
                if (!line.Newline()) out.append(LineEnd());
                CheckObject(out, work, check);
                if (!report.asideName.empty()) AppendAsideObject(out, work, report);
                // Once checked, an object's lines may go, and the form's bytes up to here.
                Pass(out, share, kStreamedBytes);
                ReleaseForm(share, cuts_[share].End(line));
                break;
            default:
                out.append(cuts_[share].Bytes(line));
                break;
        }
    }

    // The object's two chunks read back from its written text as the converter reads them, each
    // box gathered into its block as the converter gathers it: every one must be the box.
    void CheckObject(const std::string& out, ObjectWork& work, CheckRoom& room) const {
        const std::size_t boxes = work.boxes.size();
        work.boxCount = boxes;
        const std::size_t vertexCount = boxes * kBlockCorners;
        const std::size_t faceCount = boxes * kBlockFaces;
        // Room for one record more than the boxes': a line read as one more shows.
        room.vertices.assign(vertexCount + 1, MQO_VERTEX{});
        room.faces.assign(faceCount + 1, MQO_FACE{});
        std::size_t vertices = 0;
        std::size_t faces = 0;
        if (room.vertexLinesAsRead) {
            // Each vertex line went out as its bytes stand in the form, a whole line that the cut
            // read as the converter's chunk reader reads it: the records are the cut's.
            TakeVertexRecords(work, room.vertices);
            vertices = vertexCount;
            room.vertexLinesAsRead = false;
        } else if (work.vertexTextAt != std::string::npos) {
            OpenChunk(out, work.vertexTextAt, room.document);
            room.reader.ReadVertices(room.document, room.vertices, vertices);
        }
        if (work.faceTextAt != std::string::npos) {
            OpenChunk(out, work.faceTextAt, room.document);
            room.reader.ReadFaces(room.document, room.faces, faces);
        }
        if (vertices != vertexCount || faces != faceCount) {
            work.wrongBox = 0;
            return;
        }
        BlockCorners corners{};
        BlockFaces blockFaces{};
        BlockPattern pattern{};
        Bd1Block expected{};
        for (std::size_t b = 0; b < boxes; ++b) {
            const auto block = static_cast<std::int32_t>(b);
            GatherBlockFaces(blockFaces, pattern, room.faces, block);
            GatherBlockCorners(corners, room.vertices, block);
            NormaliseBlockLayout(corners, pattern, blockFaces);
            Bd1Block read{};
            FillBd1Block(corners, blockFaces, read);
            ExpectedRecord(work, work.boxes[b], expected);
            if (std::memcmp(&read, &expected, sizeof read) != 0) {
                work.wrongBox = static_cast<std::int64_t>(b);
                return;
            }
        }
    }

    // The vertex records of the boxes' lines in the order they are written, as AppendBoxes
    // writes them.
    static void TakeVertexRecords(const ObjectWork& work, std::vector<MQO_VERTEX>& records) {
        std::size_t at = 0;
        for (std::size_t b = 0; b < work.boxes.size(); ++b) {
            for (int k = 0; k < kBlockCorners; ++k) {
                const std::int32_t vertex =
                    work.kept[b] != 0 ? work.keptFirst[b] + k : work.boxes[b].corner[k];
                records[at++] = work.vertices[static_cast<std::size_t>(vertex)];
            }
        }
    }

    // Opens document on a chunk's text from its count line on, that line taken as the
    // converter's object reader takes it.
    static void OpenChunk(const std::string& out, std::size_t at, Document& document) {
        OpenMemoryDocument(document, out.data() + at, out.size() - at);
        std::size_t length = 0;
        NextDocumentPiece(document, kObjectLineLimit, length);
    }

    // The repaired form as the converter counts it, and every object's boxes where it reads
    // blocks: the header check and the survey run on the written text, whose counts decide the
    // blocks and the arrays; each box, read back as its object's lines were written, must stand
    // at its block's place within them.
    RepairOutcome Verify() {
        Document document;
        const std::string_view written[] = {repair_.document, repair_.documentRest};
        PiecesInMemory pieces(written);
        DocumentSource* const stored = streaming_ ? sink_->StoredForm() : &pieces;
        // A form that could not all be stored has nothing to be read from: it is refused as the
        // store fails, and the boxes are all the blocks it tells of.
        if (stored == nullptr) {
            repair_.blocks = 0;
            for (const ObjectWork& work : work_) {
                repair_.blocks += static_cast<std::int64_t>(work.boxCount);
            }
            return RepairOutcome::Repaired;
        }
        MqoSummary summary{};
        if (!SurveyedInRuns(summary)) {
            OpenSourceDocument(document, *stored);
            if (!CheckDocumentHeader(document).Accepted()) return RepairOutcome::NotVerified;
            summary = MqoSummary{};
            SurveyDocument(document, summary);
        }
        repair_.blocks = summary.estimatedBlockCount;
        if (!BlockCountFits(summary.estimatedBlockCount)) return RepairOutcome::TooManyBlocks;
        // The arrays the converter would obtain for these counts.
        if (!ArrayFits(summary.vertexTotal, sizeof(MQO_VERTEX), maxArrayBytes_) ||
            !ArrayFits(summary.faceTotal, sizeof(MQO_FACE), maxArrayBytes_) ||
            !ArrayFits(summary.estimatedBlockCount, sizeof(Bd1Block), maxArrayBytes_)) {
            return RepairOutcome::NotVerified;
        }
        return CheckPlaces(summary);
    }

    // The survey of the stored form from the surveys of its pieces' runs, where they give it:
    // the first piece's runs each ended between objects behind a newline, unless the survey ends
    // in it, and so did the second's but its last. False where the form must be read whole.
    bool SurveyedInRuns(MqoSummary& summary) const {
        const PieceSurvey& first = surveys_[0];
        const PieceSurvey& second = surveys_[1];
        if (!streaming_ || !first.started || first.broken || second.broken) return false;
        summary.vertexTotal = first.counts.vertexTotal;
        summary.faceTotal = first.counts.faceTotal;
        if (!first.ended && second.started) {
            if (first.open) return false;
            summary.vertexTotal = WrappingAdd(summary.vertexTotal, second.counts.vertexTotal);
            summary.faceTotal = WrappingAdd(summary.faceTotal, second.counts.faceTotal);
        }
        summary.estimatedBlockCount = summary.vertexTotal / 8;
        return true;
    }

    // Repaired when every box stands at its block's place and came out as its block;
    // NotVerified, with the first block that does not, otherwise.
    RepairOutcome CheckPlaces(const MqoSummary& summary) {
        const auto blocks = static_cast<std::size_t>(summary.estimatedBlockCount);
        const auto vertexRecords = static_cast<std::size_t>(std::max(summary.vertexTotal, 0));
        const auto faceRecords = static_cast<std::size_t>(std::max(summary.faceTotal, 0));
        std::size_t vertexStart = 0;
        std::size_t faceStart = 0;
        for (const ObjectWork& work : work_) {
            const DocumentObject& object = ObjectOf(work);
            if (!work.repaired) {
                vertexStart += object.vertexLines.size();
                faceStart += object.faceLines.size();
                continue;
            }
            for (std::size_t b = 0; b < work.boxCount; ++b) {
                const std::size_t vertex = vertexStart + b * kBlockCorners;
                const std::size_t face = faceStart + b * kBlockFaces;
                const std::size_t block = vertex / kBlockCorners;
                // Its records within the converter's arrays, and its block among those it builds.
                const bool placed = vertex % kBlockCorners == 0 && face == block * kBlockFaces &&
                                    block < blocks && vertex + kBlockCorners <= vertexRecords &&
                                    face + kBlockFaces <= faceRecords;
                if (!placed || static_cast<std::int64_t>(b) == work.wrongBox) {
                    repair_.wrongBlock = static_cast<std::int64_t>(block);
                    return RepairOutcome::NotVerified;
                }
            }
            // An object whose chunks read back wrong, with no box to name: the block at its place.
            if (work.wrongBox >= 0 && work.boxCount == 0) {
                repair_.wrongBlock = static_cast<std::int64_t>(vertexStart / kBlockCorners);
                return RepairOutcome::NotVerified;
            }
            vertexStart += work.boxCount * kBlockCorners;
            faceStart += work.boxCount * kBlockFaces;
        }
        // Without objects left as they are, the boxes are all the blocks there are.
        const bool allRepaired = std::all_of(work_.begin(), work_.end(),
                                             [](const ObjectWork& work) { return work.repaired; });
        if (allRepaired && blocks != vertexStart / kBlockCorners) {
            repair_.wrongBlock = static_cast<std::int64_t>(vertexStart / kBlockCorners);
            return RepairOutcome::NotVerified;
        }
        return RepairOutcome::Repaired;
    }

    // The record that holds the box: its corners, and in each slot the UVs and material of the
    // side whose corners the slot names.
    static void ExpectedRecord(const ObjectWork& work, const FoundBox& box, Bd1Block& expected) {
        expected = Bd1Block{};
        for (int k = 0; k < kBlockCorners; ++k) {
            const MQO_VERTEX& vertex = work.vertices[static_cast<std::size_t>(box.corner[k])];
            expected.x[k] = vertex.x;
            expected.y[k] = vertex.y;
            expected.z[k] = vertex.z;
        }
        for (int f = 0; f < kBlockFaces; ++f) {
            for (int j = 0; j < 4; ++j) {
                const CornerSource& source = box.source[f][j];
                const MQO_FACE& face = work.faces[static_cast<std::size_t>(source.face)].record;
                expected.u[4 * f + j] = face.u[source.corner];
                expected.v[4 * f + j] = face.v[source.corner];
            }
            expected.texture[f] =
                work.faces[static_cast<std::size_t>(box.source[f][0].face)].record.M;
        }
        expected.flag = 1;
    }

    std::string_view form_;
    Repair& repair_;
    std::size_t maxArrayBytes_;
    RepairedFormSink* sink_;
    bool streaming_ = false;  // the sink takes the pieces' bytes as they are written
    PieceSurvey surveys_[2];  // streaming: each piece's, as its runs go to the sink
    // Per piece: the ranges of the run not yet handed over that its survey leaves out.
    std::vector<std::pair<std::size_t, std::size_t>> surveyless_[2];
    const std::atomic<bool>* abandon_;    // when set, the repair stops where it looks
    const MappedFile* mapped_;            // the form's mapping, when it is one
    std::size_t released_[2] = {};        // per half: its mapped bytes given back up to here
    DocumentLines cuts_[2];               // the cut, in two halves where it could be made so
    int shares_ = 1;                      // the halves it has
    std::size_t objectsBefore_[2] = {};   // per half: the objects of the halves before
    std::vector<Task>* tasks_ = nullptr;  // every object's task, while the form is written
    std::vector<std::int32_t> workOf_;    // per object of the cut: its work, -1 for none
    std::vector<ObjectWork> work_;
};

}  // namespace

RepairOutcome RepairForm(std::string_view form, Repair& repair, std::size_t maxArrayBytes,
                         RepairedFormSink* sink, const std::atomic<bool>* abandon,
                         const MappedFile* mapped) {
    repair = Repair{};
    return Repairer(form, repair, maxArrayBytes, sink, abandon, mapped).Run();
}

}  // namespace bloktar::repair
