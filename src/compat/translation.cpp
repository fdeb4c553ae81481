#include "compat/translation.hpp"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstring>
#include <deque>
#include <limits>
#include <optional>
#include <string_view>

#include "mqo/number_text.hpp"

namespace bloktar::compat {
namespace {

constexpr char kEndOfText = '\x1a';  // Ctrl-Z: the reader's document ends there
constexpr std::size_t kVertexBytes = 12;
// How the modeller indents a chunk's first and closing lines, and the lines inside it.
constexpr std::string_view kChunkIndent = "\t";
constexpr std::string_view kVertexIndent = "\t\t";
// A count or size beyond this is refused rather than multiplied.
constexpr std::uint64_t kMaxPayloadCount = std::uint64_t{1} << 40;

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Compared byte by byte in place: this runs for every line of the document.
template <std::size_t N>
bool StartsWith(std::string_view text, const char (&prefix)[N]) {
    if (text.size() < N - 1) return false;
    for (std::size_t i = 0; i + 1 < N; ++i) {
        if (text[i] != prefix[i]) return false;
    }
    return true;
}

bool EqualsNoCase(std::string_view text, std::string_view lower) {
    if (text.size() != lower.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (LowerAscii(text[i]) != lower[i]) return false;
    }
    return true;
}

std::size_t LeadingBlanks(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) ++i;
    return i;
}

// The line without its line end (a newline, and a carriage return right before it).
std::string_view Content(std::string_view line) {
    if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
}

// The integer at the start of text as the reader takes it (white space, a sign, digits), held
// within a range no document count reaches instead of wrapping.
std::int64_t LeadingInt(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    std::int64_t value = 0;
    for (; i < text.size() && IsDigit(text[i]); ++i) {
        value = std::min<std::int64_t>(value * 10 + (text[i] - '0'), std::int64_t{1} << 50);
    }
    return negative ? -value : value;
}

// Unsigned decimal digits at text[i], moving i past them; false when there are none or too many.
bool TakeDigits(std::string_view text, std::size_t& i, std::uint64_t& value) {
    const std::size_t start = i;
    value = 0;
    while (i < text.size() && IsDigit(text[i])) {
        if (i - start >= 15) return false;
        value = value * 10 + static_cast<std::uint64_t>(text[i] - '0');
        ++i;
    }
    return i > start;
}

float LittleEndianFloat(const char* bytes) {
    return std::bit_cast<float>(LittleEndianBits(bytes));
}

// Whether any of the little-endian floats in bytes[0, size), a multiple of 4, is a NaN: all
// exponent bits set, and a fraction.
bool AnyNaN(const char* bytes, std::size_t size) {
    std::uint32_t found = 0;
    for (std::size_t at = 0; at < size; at += 4) {
        found |=
            static_cast<std::uint32_t>((LittleEndianBits(bytes + at) & 0x7fffffffu) > 0x7f800000u);
    }
    return found != 0;
}

// The newline bytes in bytes[0, size).
std::uint64_t CountNewlines(const char* bytes, std::size_t size) {
    std::uint64_t count = 0;
    const char* end = bytes + size;
    for (const char* at = bytes; (at = static_cast<const char*>(std::memchr(
                                      at, '\n', static_cast<std::size_t>(end - at)))) != nullptr;
         ++at) {
        ++count;
    }
    return count;
}

// Where a piece of a line too long for the buffer may end: behind its last ASCII byte, so that
// no character is cut (the whole piece when it has none).
std::size_t PieceCut(const char* text, std::size_t size) {
    for (std::size_t i = size; i > 0; --i) {
        if (static_cast<unsigned char>(text[i - 1]) < 0x80) return i;
    }
    return size;
}

// What a header's second line, without its line end, says of the document; Other for anything
// but the three versions the translation knows.
HeaderKind VersionOf(std::string_view content) {
    if (content == "Format Text Ver 1.0") return HeaderKind::Ver10;
    if (content == "Format Text Ver 1.1") return HeaderKind::Ver11;
    if (content == "Format Text Ver 1.2") return HeaderKind::Ver12;
    return HeaderKind::Other;
}

constexpr std::string_view kFirstLine = "Metasequoia Document";

// The first byte of text [from, size) that is not ASCII, or size; eight bytes at a time.
std::size_t AsciiEnd(const char* text, std::size_t from, std::size_t size) {
    std::size_t i = from;
    for (; i + 8 <= size; i += 8) {
        std::uint64_t eight;
        std::memcpy(&eight, text + i, 8);
        if ((eight & 0x8080808080808080u) != 0) break;
    }
    while (i < size && static_cast<unsigned char>(text[i]) < 0x80) ++i;
    return i;
}

// Appends the code page 932 form of UTF-8 text: ASCII as it is, the other runs through the
// encoder. False when a run has no such form.
bool AppendReencoded(Cp932Encoder& encoder, const char* text, std::size_t size, std::string& out) {
    std::size_t i = 0;
    bool whole = true;
    while (i < size) {
        const std::size_t start = i;
        i = AsciiEnd(text, i, size);
        out.append(text + start, i - start);
        const std::size_t run = i;
        while (i < size && static_cast<unsigned char>(text[i]) >= 0x80) ++i;
        if (i > run && !encoder.Append(text + run, i - run, out)) whole = false;
    }
    return whole;
}

// The binary vertex chunks the first pass has found, for another thread to write their lines
// while the pass goes on: for each, a record of its payload's offset and its vertex count, with
// the length of its line end in the top bit, in room for capacity records; the count of records
// is published through the worker.
class FoundChunks {
  public:
    static constexpr std::size_t kRecord = 16;
    static constexpr std::uint64_t kCrLf = std::uint64_t{1} << 63;

    // worker, where given, is told of each record as it is added.
    FoundChunks(char* room, std::size_t capacity, WorkerThread* worker)
        : room_(room), capacity_(capacity), worker_(worker) {}

    void Add(std::uint64_t offset, std::uint64_t count, bool crLf) {
        if (records_ == capacity_) {
            overflowed_ = true;  // not reached: a chunk takes more bytes than its record
            return;
        }
        const std::uint64_t counted = count | (crLf ? kCrLf : 0);
        std::memcpy(room_ + records_ * kRecord, &offset, 8);
        std::memcpy(room_ + records_ * kRecord + 8, &counted, 8);
        ++records_;
        if (worker_ != nullptr) worker_->Publish(records_, false);
    }

    std::size_t Records() const { return records_; }
    bool Overflowed() const { return overflowed_; }

  private:
    char* room_;
    std::size_t capacity_;
    std::size_t records_ = 0;
    bool overflowed_ = false;
    WorkerThread* worker_;
};

// Told, now and then, how far the first pass has come: every edit of the bytes before offset is
// in the plan.
class PlanProgress {
  public:
    virtual void Passed(std::uint64_t offset) = 0;

  protected:
    ~PlanProgress() = default;
};

// One object as the first pass sees it, for its warnings.
struct ObjectState {
    bool open = false;
    std::string name;
    bool visible = true;
    bool mirror = false;
    bool patch = false;
    bool lathe = false;
    bool inFaces = false;
    std::int64_t largeFaces = 0;
};

class Planner {
  public:
    Planner(DocumentSource& raw, Cp932Encoder& encoder, TranslationPlan& plan)
        : reader_(raw), encoder_(encoder), plan_(plan) {}
    Planner(const char* bytes, std::size_t size, Cp932Encoder& encoder, TranslationPlan& plan)
        : reader_(bytes, size), encoder_(encoder), plan_(plan) {}

    // Adds each binary vertex chunk to found once the plan has taken it.
    void Report(FoundChunks& found) { found_ = &found; }
    // Tells progress how far the pass has come: behind the header, behind each binary vertex
    // chunk, and every few hundred KiB.
    void Report(PlanProgress& progress) { progress_ = &progress; }

    void Run() {
        plan_ = TranslationPlan{};
        reader_.Restart();
        if (!ReadHeader()) return;
        bool continuing = false;  // the next bytes go on with a line begun in an earlier piece
        std::uint64_t nextReport = 0;
        while (!stopped_) {
            if (progress_ != nullptr && reader_.Offset() >= nextReport && !continuing) {
                // Between lines: every edit before here is made.
                progress_->Passed(reader_.Offset());
                nextReport = reader_.Offset() + kReportStep;
            }
            std::size_t available = reader_.Available();
            const char* text = reader_.Data();
            const void* newline = std::memchr(text, '\n', available);
            if (newline == nullptr) {
                available = reader_.Ensure(RawReader::kCapacity);
                if (available == 0) break;
                text = reader_.Data();
                newline = std::memchr(text, '\n', available);
            }
            std::size_t length = available;
            if (newline != nullptr) {
                length = static_cast<std::size_t>(static_cast<const char*>(newline) - text) + 1;
            } else if (available == RawReader::kCapacity && plan_.reencoded) {
                length = PieceCut(text, available);
            }
            if (const void* stop = std::memchr(text, kEndOfText, length)) {
                // The reader's document ends at the Ctrl-Z: nothing behind it matters.
                const auto before = static_cast<std::size_t>(static_cast<const char*>(stop) - text);
                Piece(std::string_view(text, before), continuing);
                reader_.Consume(before + 1);
                break;
            }
            const std::string_view piece(text, length);
            if (!continuing && newline != nullptr && IsBulkLine(piece)) {
                // The quick way past the document's bulk, taken on while its lines come, up to
                // the next report.
                BulkLine(piece);
                BulkLines(progress_ != nullptr ? nextReport : kNoReport);
                continue;
            }
            if (!continuing && newline != nullptr && IsBinaryVertexLine(piece)) {
                BinaryVertices(piece);
                nextReport = 0;
                continue;
            }
            Piece(piece, continuing);
            reader_.Consume(length);
            continuing = newline == nullptr;
            if (!continuing) ++line_;
        }
        plan_.end = reader_.Offset();
        CloseObject();
    }

  private:
    static constexpr std::uint64_t kNoReport = std::numeric_limits<std::uint64_t>::max();

    // A vertex line, or a face line that starts with its corner count, with its newline.
    static bool IsBulkLine(std::string_view line) {
        return line.size() > 3 && line[0] == '\t' && line[1] == '\t' &&
               (IsDigit(line[2]) || line[2] == '-');
    }

    void BulkLine(std::string_view line) {
        CheckText(line);
        // Five or more corners take a digit from 5 up, or more than one digit.
        if (object_.inFaces && (line[2] >= '5' || IsDigit(line[3]))) ObjectLine(line);
        reader_.Consume(line.size());
        ++line_;
    }

    // The bulk lines that follow, each whole among the bytes at hand and starting before
    // reportAt; the first other line, or one with a Ctrl-Z, is left where it is.
    void BulkLines(std::uint64_t reportAt) {
        const char* text = reader_.Data();
        const std::uint64_t offset = reader_.Offset();
        const std::size_t window = reader_.Available();
        std::size_t at = 0;
        while (offset + at < reportAt) {
            const char* end = LineEndBefore(text + at, text + window);
            if (end == nullptr || *end != '\n') return;
            const std::string_view line(text + at, static_cast<std::size_t>(end - text) + 1 - at);
            if (!IsBulkLine(line)) return;
            BulkLine(line);
            at += line.size();
        }
    }

    // The first newline or Ctrl-Z in [from, to), or null; nothing beyond to is read.
    static const char* LineEndBefore(const char* from, const char* to) {
#ifdef BLOKTAR_USE_SSE2
        const __m128i newline = _mm_set1_epi8('\n');
        const __m128i endOfText = _mm_set1_epi8(kEndOfText);
        for (; to - from >= 16; from += 16) {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
            const auto found = static_cast<std::uint32_t>(_mm_movemask_epi8(
                _mm_or_si128(_mm_cmpeq_epi8(bytes, newline), _mm_cmpeq_epi8(bytes, endOfText))));
            if (found != 0) return from + std::countr_zero(found);
        }
#endif
        for (; from < to; ++from) {
            if (*from == '\n' || *from == kEndOfText) return from;
        }
        return nullptr;
    }

    // Lines 1 and 2: the translation is for the modeller's header alone.
    bool ReadHeader() {
        for (int i = 0; i < 2; ++i) {
            const std::size_t available = reader_.Ensure(RawReader::kCapacity);
            const char* text = reader_.Data();
            const void* newline = std::memchr(text, '\n', available);
            if (newline == nullptr) return false;
            const auto length =
                static_cast<std::size_t>(static_cast<const char*>(newline) - text) + 1;
            const std::string_view content = Content(std::string_view(text, length));
            if (i == 0) {
                if (content != kFirstLine) return false;
            } else {
                plan_.header = VersionOf(content);
                if (plan_.header == HeaderKind::Other) return false;
                if (plan_.header != HeaderKind::Ver10) {
                    constexpr std::size_t kVersionAt = sizeof "Format Text Ver " - 1;
                    plan_.edits.push_back(
                        {Edit::Kind::Replace, reader_.Offset() + kVersionAt, 3, "1.0", "", 0});
                }
            }
            reader_.Consume(length);
            ++line_;
        }
        return true;
    }

    void Refuse(Fault fault, std::uint64_t line, std::uint32_t codePoint = 0) {
        if (plan_.refusal.fault == Fault::None) plan_.refusal = {fault, line, codePoint};
    }

    // A text fault ends the checking of text, but the pass goes on: a Ver 1.0 document is
    // translated only for its binary vertices, which may come later.
    bool CheckText(std::string_view text) {
        if (!plan_.reencoded || !checkingText_) return true;
        const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
        std::size_t i = 0;
        while (i < text.size()) {
            i = AsciiEnd(text.data(), i, text.size());
            const std::size_t run = i;
            std::uint32_t codePoint = 0;
            while (i < text.size() && bytes[i] >= 0x80) {
                const std::size_t length = DecodeUtf8(bytes + i, text.size() - i, codePoint);
                if (length == 0) {
                    Refuse(Fault::NotUtf8, line_);
                    checkingText_ = false;
                    return false;
                }
                i += length;
            }
            scratch_.clear();
            if (i > run && !encoder_.Append(text.data() + run, i - run, scratch_)) {
                // The first character of the run that has no form of its own.
                for (std::size_t at = run; at < i;) {
                    const std::size_t length = DecodeUtf8(bytes + at, i - at, codePoint);
                    scratch_.clear();
                    if (!encoder_.Append(text.data() + at, length, scratch_)) break;
                    at += length;
                }
                Refuse(Fault::NotInCodePage, line_, codePoint);
                checkingText_ = false;
                return false;
            }
        }
        return true;
    }

    // A line, or a piece of one, that is taken as it is; at a line's start it is looked at.
    void Piece(std::string_view piece, bool continuing) {
        CheckText(piece);
        if (continuing) return;
        if (!object_.open) {
            TopLevelLine(piece);
        } else {
            ObjectLine(piece);
        }
    }

    void TopLevelLine(std::string_view line) {
        const std::string_view content = Content(line);
        constexpr std::string_view kCodePage = "codepage";
        if (content.size() > kCodePage.size() &&
            EqualsNoCase(content.substr(0, kCodePage.size()), kCodePage) &&
            IsBlank(content[kCodePage.size()])) {
            std::string_view value = content.substr(kCodePage.size());
            value.remove_prefix(LeadingBlanks(value));
            while (!value.empty() && IsBlank(value.back())) value.remove_suffix(1);
            plan_.edits.push_back({Edit::Kind::Replace, reader_.Offset(), line.size(), "", "", 0});
            if (!plan_.reencoded && (EqualsNoCase(value, "utf8") || EqualsNoCase(value, "utf-8"))) {
                plan_.reencoded = true;
                plan_.reencodeFrom = reader_.Offset() + line.size();
            }
        } else if (StartsWith(line, "Object ")) {
            object_ = ObjectState{};
            object_.open = true;
            const std::size_t open = content.find('"');
            if (open != std::string_view::npos) {
                const std::size_t close = content.find('"', open + 1);
                const std::string_view name = content.substr(
                    open + 1, close == std::string_view::npos ? close : close - open - 1);
                if (!plan_.reencoded ||
                    !AppendReencoded(encoder_, name.data(), name.size(), object_.name)) {
                    object_.name.assign(name);
                }
            }
        }
    }

    void ObjectLine(std::string_view line) {
        if (StartsWith(line, "}")) {
            CloseObject();
        } else if (StartsWith(line, "\tvisible ")) {
            object_.visible = LeadingInt(line.substr(9)) != 0;
        } else if (StartsWith(line, "\tmirror ")) {
            object_.mirror = LeadingInt(line.substr(8)) != 0;
        } else if (StartsWith(line, "\tpatch ")) {
            object_.patch = LeadingInt(line.substr(7)) != 0;
        } else if (StartsWith(line, "\tlathe ")) {
            object_.lathe = LeadingInt(line.substr(7)) != 0;
        } else if (StartsWith(line, "\tface ")) {
            object_.inFaces = true;
        } else if (StartsWith(line, "\t}")) {
            object_.inFaces = false;
        } else if (object_.inFaces && StartsWith(line, "\t\t") && LeadingInt(line.substr(2)) >= 5) {
            ++object_.largeFaces;
        }
    }

    void CloseObject() {
        if (object_.open && object_.visible) {
            if (object_.mirror) plan_.warnings.push_back({WarningKind::Mirror, object_.name, 0});
            if (object_.patch) plan_.warnings.push_back({WarningKind::Patch, object_.name, 0});
            if (object_.lathe) plan_.warnings.push_back({WarningKind::Lathe, object_.name, 0});
            if (object_.largeFaces > 0) {
                plan_.warnings.push_back(
                    {WarningKind::LargeFaces, object_.name, object_.largeFaces});
            }
        }
        object_ = ObjectState{};
    }

    static bool IsBinaryVertexLine(std::string_view line) {
        const std::size_t lead = LeadingBlanks(line);
        return StartsWith(line.substr(lead), "BVertex") && line.size() > lead + 7 &&
               IsBlank(line[lead + 7]);
    }

    // "BVertex N {", "Vector N [S]", S bytes of float32 x y z, a line end, "}": the first becomes
    // "vertex N {", the second goes, the bytes become text lines, the last closes the chunk. The
    // payload is never looked at as lines. Each line the chunk becomes is written as the modeller
    // writes a text vertex chunk, whatever indent the binary one has: the reader knows the chunk
    // only by "\tvertex " and "\t}" at the start of a line, and a vertex line only behind two tabs.
    void BinaryVertices(std::string_view chunkLine) {
        ++plan_.binaryVertexChunks;
        const std::uint64_t chunkLineNumber = line_;
        CheckText(chunkLine);
        const std::size_t lead = LeadingBlanks(chunkLine);
        plan_.edits.push_back({Edit::Kind::Replace, reader_.Offset(), lead + 7,
                               std::string(kChunkIndent) + "vertex", "", 0});
        const std::int64_t declared = LeadingInt(chunkLine.substr(lead + 7));
        reader_.Consume(chunkLine.size());
        ++line_;

        const std::size_t available = reader_.Ensure(RawReader::kCapacity);
        const char* text = reader_.Data();
        const void* newline = std::memchr(text, '\n', available);
        std::uint64_t count = 0;
        std::uint64_t size = 0;
        if (newline == nullptr) return Stop(Fault::VectorLineMissing, chunkLineNumber);
        const std::string_view vectorLine(
            text, static_cast<std::size_t>(static_cast<const char*>(newline) - text) + 1);
        const std::string_view content = Content(vectorLine);
        std::size_t i = LeadingBlanks(content);
        if (!StartsWith(content.substr(i), "Vector") || i + 6 >= content.size() ||
            !IsBlank(content[i + 6])) {
            return Stop(Fault::VectorLineMissing, chunkLineNumber);
        }
        i += 6;
        i += LeadingBlanks(content.substr(i));
        bool readable = TakeDigits(content, i, count);
        i += LeadingBlanks(content.substr(i));
        readable = readable && i < content.size() && content[i++] == '[';
        readable = readable && TakeDigits(content, i, size);
        readable = readable && i < content.size() && content[i++] == ']';
        i += LeadingBlanks(content.substr(i));
        if (!readable || i != content.size())
            return Stop(Fault::VectorLineMissing, chunkLineNumber);
        if (declared < 0 || static_cast<std::uint64_t>(declared) != count ||
            count > kMaxPayloadCount || size != count * kVertexBytes) {
            return Stop(Fault::PayloadSizeWrong, chunkLineNumber);
        }
        const std::string lineEnd = vectorLine.size() - content.size() == 2 ? "\r\n" : "\n";
        plan_.edits.push_back(
            {Edit::Kind::Replace, reader_.Offset(), vectorLine.size(), "", "", 0});
        reader_.Consume(vectorLine.size());
        ++line_;

        const std::uint64_t payloadOffset = reader_.Offset();
        for (std::uint64_t left = count; left > 0;) {
            std::size_t bytes = reader_.Available();
            if (bytes < kVertexBytes) bytes = reader_.Ensure(RawReader::kCapacity);
            const std::uint64_t whole = std::min<std::uint64_t>(bytes / kVertexBytes, left);
            if (whole == 0) return Stop(Fault::PayloadPastEnd, chunkLineNumber);
            const char* vertex = reader_.Data();
            const std::size_t span = static_cast<std::size_t>(whole) * kVertexBytes;
            if (AnyNaN(vertex, span)) return Stop(Fault::PayloadNaN, chunkLineNumber);
            // Line numbers count every newline byte, as an editor shows the file.
            line_ += CountNewlines(vertex, span);
            reader_.Consume(span);
            left -= whole;
        }
        std::size_t trailing = 0;
        const std::size_t after = reader_.Ensure(2);
        const char* end = reader_.Data();
        if (after >= 1 && end[0] == '\n') {
            trailing = 1;
        } else if (after >= 2 && end[0] == '\r' && end[1] == '\n') {
            trailing = 2;
        }
        reader_.Consume(trailing);
        if (trailing > 0) ++line_;
        plan_.edits.push_back({Edit::Kind::Vertices, payloadOffset, size + trailing,
                               std::string(kVertexIndent), lineEnd, count});
        if (found_ != nullptr) found_->Add(payloadOffset, count, lineEnd.size() == 2);
        ClosingLine(chunkLineNumber);
    }

    // The line behind the payload: blanks, "}", blanks, its line end (or the document's end). It
    // becomes the text chunk's closing line with the line end it has. Anything else leaves the
    // chunk open, and the lines behind it would be read as its vertices: refused.
    void ClosingLine(std::uint64_t chunkLineNumber) {
        const std::size_t available = reader_.Ensure(RawReader::kCapacity);
        const std::string_view rest(reader_.Data(), available);
        // The reader's document ends at a Ctrl-Z: a closing line may end there too.
        const std::size_t end = rest.find_first_of(std::string_view("\n\x1a", 2));
        const bool newline = end != std::string_view::npos && rest[end] == '\n';
        const std::string_view line = rest.substr(0, newline ? end + 1 : end);
        const std::string_view content = Content(line);
        std::size_t i = LeadingBlanks(content);
        if (i >= content.size() || content[i] != '}' ||
            i + 1 + LeadingBlanks(content.substr(i + 1)) != content.size() ||
            (end == std::string_view::npos && available == RawReader::kCapacity)) {
            return Stop(Fault::ClosingLineMissing, chunkLineNumber);
        }
        plan_.edits.push_back({Edit::Kind::Replace, reader_.Offset(), content.size(),
                               std::string(kChunkIndent) + "}", "", 0});
        reader_.Consume(line.size());
        if (newline) ++line_;
    }

    void Stop(Fault fault, std::uint64_t line) {
        Refuse(fault, line);
        stopped_ = true;
    }

    RawReader reader_;
    Cp932Encoder& encoder_;
    TranslationPlan& plan_;
    std::uint64_t line_ = 1;
    ObjectState object_;
    bool stopped_ = false;
    bool checkingText_ = true;
    std::string scratch_;
    FoundChunks* found_ = nullptr;
    PlanProgress* progress_ = nullptr;
    static constexpr std::uint64_t kReportStep = std::uint64_t{256} << 10;
};

}  // namespace

bool NeedsTranslation(const TranslationPlan& plan) {
    switch (plan.header) {
        case HeaderKind::Ver11:
        case HeaderKind::Ver12:
            return true;
        case HeaderKind::Ver10:
            return plan.binaryVertexChunks > 0;
        case HeaderKind::Other:
            break;
    }
    return false;
}

void PlanTranslation(DocumentSource& raw, Cp932Encoder& encoder, TranslationPlan& plan) {
    Planner(raw, encoder, plan).Run();
}

void PlanTranslation(const char* bytes, std::size_t size, Cp932Encoder& encoder,
                     TranslationPlan& plan) {
    Planner(bytes, size, encoder, plan).Run();
}

namespace {

// Writes the lines of chunks found into rooms of a few MiB, each chunk's payload read again where
// it stands.
class LineMaker {
  public:
    struct Made {
        std::size_t index;  // of the chunk's record
        FormPiece lines;
        std::uint64_t count;
    };

    explicit LineMaker(PlacedBytes& raw) : raw_(raw) {}

    // Writes the lines of the chunk of the record at found; false when there is no room, or the
    // payload no longer reads whole.
    bool Make(const char* found, std::size_t index) {
        constexpr std::size_t kRoom = std::size_t{4} << 20;
        std::uint64_t offset = 0;
        std::uint64_t counted = 0;
        std::memcpy(&offset, found + index * FoundChunks::kRecord, 8);
        std::memcpy(&counted, found + index * FoundChunks::kRecord + 8, 8);
        const std::uint64_t count = counted & ~FoundChunks::kCrLf;
        const std::string_view lineEnd = (counted & FoundChunks::kCrLf) != 0 ? "\r\n" : "\n";
        const std::uint64_t need =
            VertexLineWriter::Room(count, kVertexIndent.size(), lineEnd.size());
        // The plan has read the payload whole: a count this large is in the document.
        const std::uint64_t payloadSize = count * kVertexBytes;
        if (payloadSize > std::numeric_limits<std::size_t>::max() ||
            need > std::numeric_limits<std::size_t>::max()) {
            return false;
        }
        try {
            // Room for one more, growing as a vector does: never a new allocation for each.
            if (made_.size() == made_.capacity()) made_.reserve(2 * made_.size() + 16);
            if (need > left_) {
                const std::size_t room = std::max(static_cast<std::size_t>(need), kRoom);
                rooms_.push_back(ObtainRoom(room));
                out_ = rooms_.back().get();
                left_ = room;
            }
            payload_.resize(static_cast<std::size_t>(payloadSize));
        } catch (const std::bad_alloc&) {
            return false;
        }
        std::size_t got = 0;
        if (!raw_.ReadAt(offset, payload_.data(), payload_.size(), got) || got != payload_.size()) {
            return false;
        }
        char* end = writer_.Write(payload_.data(), count, kVertexIndent, lineEnd, out_);
        const auto size = static_cast<std::size_t>(end - out_);
        made_.push_back({index, {out_, size}, count});
        out_ = end;
        left_ -= size;
        return true;
    }

    std::vector<Room>& Rooms() { return rooms_; }
    const std::vector<Made>& Lines() const { return made_; }

  private:
    PlacedBytes& raw_;
    std::vector<Room> rooms_;
    std::vector<Made> made_;
    std::vector<char> payload_;
    VertexLineWriter writer_;
    char* out_ = nullptr;
    std::size_t left_ = 0;  // bytes of room behind out_
};

// The chunks found, whose lines both threads make: each takes the next one that no thread has
// taken, the plan's thread once the plan is done.
class ChunkTaker {
  public:
    explicit ChunkTaker(const char* found) : found_(found) {}

    // Makes the lines of chunks below found, one after the other, until none is left or a maker
    // fails.
    void MakeLines(std::size_t found, LineMaker& maker) {
        std::size_t next = next_.load(std::memory_order_relaxed);
        while (next < found && !failed_.load(std::memory_order_relaxed)) {
            if (!next_.compare_exchange_weak(next, next + 1, std::memory_order_relaxed)) continue;
            if (!maker.Make(found_, next)) failed_.store(true, std::memory_order_relaxed);
            next = next_.load(std::memory_order_relaxed);
        }
    }
    bool Failed() const { return failed_.load(std::memory_order_relaxed); }

  private:
    const char* found_;
    std::atomic<std::size_t> next_{0};
    std::atomic<bool> failed_{false};
};

// The first pass on the second thread, then the lines of the chunks it found that the first
// thread has not taken yet.
struct PlanningWork {
    Planner* planner;
    FoundChunks* found;
    ChunkTaker* taker;
    LineMaker* maker;
    WorkerThread* worker;
    bool failed = false;

    static void Work(void* context) {
        auto* work = static_cast<PlanningWork*>(context);
        try {
            work->planner->Run();
        } catch (const std::bad_alloc&) {
            work->failed = true;
        }
        const std::size_t records = work->found->Records();
        if (!work->failed) work->taker->MakeLines(records, *work->maker);
        work->worker->Publish(records, true);
    }
};

// The lines both makers made, one piece for each chunk in the order of the records, where they
// made all of them and they are the plan's Vertices edits, one for one.
bool GatherLines(const TranslationPlan& plan, std::size_t records, LineMaker* const (&makers)[2],
                 VertexLines& lines) {
    std::vector<FormPiece> pieces(records, FormPiece{nullptr, 0});
    std::vector<std::uint64_t> counts(records, 0);
    std::vector<bool> made(records, false);
    for (LineMaker* maker : makers) {
        for (const LineMaker::Made& chunk : maker->Lines()) {
            pieces[chunk.index] = chunk.lines;
            counts[chunk.index] = chunk.count;
            made[chunk.index] = true;
        }
    }
    std::size_t next = 0;
    for (const Edit& edit : plan.edits) {
        if (edit.kind != Edit::Kind::Vertices) continue;
        if (next == records || !made[next] || counts[next] != edit.count ||
            edit.text != kVertexIndent) {
            return false;
        }
        ++next;
    }
    if (next != records) return false;
    for (LineMaker* maker : makers) {
        for (Room& room : maker->Rooms()) lines.rooms.push_back(std::move(room));
    }
    lines.pieces = std::move(pieces);
    return true;
}

}  // namespace

bool PlanTranslationWritingLines(PlacedBytes& raw, std::uint64_t size, Cp932Encoder& encoder,
                                 TranslationPlan& plan, VertexLines& lines, bool& readFailed) {
    lines = VertexLines{};
    readFailed = false;
    // A chunk takes more bytes than its record; a file that grows while it is planned may have
    // more, and then its lines are made by the form.
    const std::size_t capacity = static_cast<std::size_t>(
        std::min<std::uint64_t>(size / FoundChunks::kRecord, std::uint64_t{1} << 22) + 1);
    const Room found = ObtainRoom(capacity * FoundChunks::kRecord);
    WorkerThread worker;
    FoundChunks chunks(found.get(), capacity, &worker);
    PlacedSource source(raw);
    // Bytes held in memory are planned where they lie.
    std::optional<Planner> planned;
    const std::string_view whole = raw.Whole();
    if (whole.empty()) {
        planned.emplace(source, encoder, plan);
    } else {
        planned.emplace(whole.data(), whole.size(), encoder, plan);
    }
    Planner& planner = *planned;
    planner.Report(chunks);
    ChunkTaker taker(found.get());
    LineMaker here(raw);
    LineMaker there(raw);
    PlanningWork work{&planner, &chunks, &taker, &there, &worker};
    std::size_t records = 0;
    worker.Run(PlanningWork::Work, &work);
    for (bool final = false; !final;) {
        records = worker.WaitBeyond(records, final);
        taker.MakeLines(records, here);
    }
    if (work.failed) throw std::bad_alloc();
    readFailed = source.Failed();
    LineMaker* const makers[2] = {&here, &there};
    if (readFailed || taker.Failed() || chunks.Overflowed() ||
        !GatherLines(plan, records, makers, lines)) {
        lines = VertexLines{};
        return false;
    }
    return true;
}

bool TranslateInPlace(char* bytes, std::size_t& size, const TranslationPlan& plan,
                      Cp932Encoder& encoder) {
    for (const Edit& edit : plan.edits) {
        if (edit.kind != Edit::Kind::Replace || edit.text.size() > edit.length) return false;
    }
    // The form is written at out, never beyond in, the next raw byte to read: each step writes
    // no more than it reads (a character's code page 932 form takes no more bytes than its
    // UTF-8 one). The steps are TranslatingSource's, so that text to re-encode is cut where it
    // cuts it.
    const auto end = static_cast<std::size_t>(plan.end);
    const auto reencodeFrom = static_cast<std::size_t>(plan.reencodeFrom);
    std::size_t in = 0;
    std::size_t out = 0;
    std::string text;
    const auto takeUpTo = [&](std::size_t to) {
        while (in < to) {
            std::size_t step = to - in;
            if (!plan.reencoded || in < reencodeFrom) {
                if (plan.reencoded) step = std::min(step, reencodeFrom - in);
                if (out != in) std::memmove(bytes + out, bytes + in, step);
                out += step;
                in += step;
                continue;
            }
            if (step > RawReader::kCapacity) step = PieceCut(bytes + in, RawReader::kCapacity);
            text.clear();
            AppendReencoded(encoder, bytes + in, step, text);
            std::memcpy(bytes + out, text.data(), text.size());
            out += text.size();
            in += step;
        }
    };
    for (const Edit& edit : plan.edits) {
        if (edit.offset >= end) break;
        takeUpTo(static_cast<std::size_t>(edit.offset));
        std::memcpy(bytes + out, edit.text.data(), edit.text.size());
        out += edit.text.size();
        in += static_cast<std::size_t>(edit.length);
    }
    takeUpTo(end);
    size = out;
    return true;
}

std::size_t FileSource::Read(char* into, std::size_t size) {
    if (std::ferror(file_)) return 0;
    return std::fread(into, 1, size, file_);
}

void FileSource::Rewind() {
    std::clearerr(file_);
    std::fseek(file_, 0, SEEK_SET);
}

std::size_t MemorySource::Read(char* into, std::size_t size) {
    const std::size_t count = std::min(size, size_ - offset_);
    if (count > 0) std::memcpy(into, bytes_ + offset_, count);
    offset_ += count;
    return count;
}

bool PlacedMemory::ReadAt(std::uint64_t offset, char* into, std::size_t size, std::size_t& got) {
    got =
        offset < size_ ? std::min<std::size_t>(size, size_ - static_cast<std::size_t>(offset)) : 0;
    if (got > 0) std::memcpy(into, bytes_ + offset, got);
    return true;
}

std::size_t PlacedSource::Read(char* into, std::size_t size) {
    std::size_t got = 0;
    if (failed_ || !bytes_.ReadAt(offset_, into, size, got)) {
        failed_ = true;
        return 0;
    }
    offset_ += got;
    return got;
}

PlacedFormSource::PlacedFormSource(PlacedBytes& raw, const TranslationPlan& plan,
                                   const std::vector<FormPiece>& lines)
    : raw_(raw) {
    // The pieces FormWriter makes of a plan that re-encodes nothing, with lines made already.
    const std::uint64_t end = plan.end;
    std::uint64_t in = 0;
    std::size_t nextLines = 0;
    parts_.reserve(2 * plan.edits.size() + 1);
    const auto addRaw = [&](std::uint64_t to) {
        if (to > in) parts_.push_back({nullptr, in, to - in});
        in = std::max(in, to);
    };
    for (const Edit& edit : plan.edits) {
        if (edit.offset >= end) break;
        addRaw(edit.offset);
        if (edit.kind == Edit::Kind::Replace) {
            if (!edit.text.empty()) parts_.push_back({edit.text.data(), 0, edit.text.size()});
        } else if (nextLines < lines.size()) {
            const FormPiece& made = lines[nextLines++];
            if (made.size > 0) parts_.push_back({made.bytes, 0, made.size});
        }
        in += std::min(edit.length, end - in);
    }
    addRaw(end);
}

std::size_t PlacedFormSource::Read(char* into, std::size_t size) {
    std::size_t stored = 0;
    while (stored < size && !ended_ && part_ < parts_.size()) {
        const Part& part = parts_[part_];
        const auto step =
            static_cast<std::size_t>(std::min<std::uint64_t>(size - stored, part.size - at_));
        if (part.text != nullptr) {
            std::memcpy(into + stored, part.text + at_, step);
        } else {
            std::size_t got = 0;
            if (!raw_.ReadAt(part.offset + at_, into + stored, step, got) || got < step) {
                ended_ = true;  // the file is not what was planned: it ends here
                return stored + got;
            }
        }
        stored += step;
        at_ += step;
        if (at_ == part.size) {
            ++part_;
            at_ = 0;
        }
    }
    return stored;
}

bool StartsAsTranslated(std::string_view firstBytes) {
    const std::size_t first = firstBytes.find('\n');
    if (first == std::string_view::npos || Content(firstBytes.substr(0, first + 1)) != kFirstLine) {
        return false;
    }
    const std::string_view rest = firstBytes.substr(first + 1);
    const std::size_t second = rest.find('\n');
    if (second == std::string_view::npos) return false;
    const HeaderKind version = VersionOf(Content(rest.substr(0, second + 1)));
    return version == HeaderKind::Ver11 || version == HeaderKind::Ver12;
}

struct PlanningForm::Work final : PlanProgress {
    // Chunks beyond this many are not waited for: the form is then read another way.
    static constexpr std::size_t kMostChunks = std::size_t{1} << 16;
    static constexpr std::uint8_t kFree = 0;
    static constexpr std::uint8_t kTaken = 1;
    static constexpr std::uint8_t kMade = 2;
    static constexpr std::uint8_t kFailed = 3;

    // What the plan's thread has told, under the worker's lock.
    struct Told {
        // A deque: what the reading thread has taken of it stays where it is as more comes.
        std::deque<Edit> edits;
        std::uint64_t passed = 0;  // every edit of the bytes before this is in edits
        std::size_t chunks = 0;    // records found
        bool reencoded = false;
        std::uint64_t reencodeFrom = 0;
        bool done = false;  // the plan is whole
        std::uint64_t end = 0;
        bool failed = false;  // no room, or the document could not be read
    };

    Work(PlacedBytes& rawBytes, Cp932Encoder& encoder)
        : raw(rawBytes),
          found(ObtainRoom(kMostChunks * FoundChunks::kRecord)),
          slots(std::make_unique_for_overwrite<FormPiece[]>(kMostChunks)),
          states(std::make_unique<std::atomic<std::uint8_t>[]>(kMostChunks)),
          chunks(found.get(), kMostChunks, nullptr),
          source(rawBytes),
          planner(source, encoder, plan),
          here(rawBytes),
          there(rawBytes) {
        planner.Report(chunks);
        planner.Report(static_cast<PlanProgress&>(*this));
    }

    // The plan's thread.

    static void Plan(void* self) {
        Work& work = *static_cast<Work*>(self);
        try {
            work.planner.Run();
        } catch (const std::bad_alloc&) {
            work.planFailed = true;
        }
        work.Post(work.plan.end, true);
        // From the last chunk back, while the reading thread takes them from the front.
        if (!work.planFailed) {
            for (std::size_t k = work.chunks.Records(); k > 0; --k) {
                if (work.Take(k - 1, work.there)) work.worker.Publish(++work.generation, false);
            }
        }
        work.worker.Publish(++work.generation, true);
    }

    void Passed(std::uint64_t offset) override { Post(offset, false); }

    void Post(std::uint64_t offset, bool done) {
        postedOffset = offset;
        postingDone = done;
        worker.Locked(&Work::PostLocked, this);
        worker.Publish(++generation, false);
    }

    static void PostLocked(void* self) {
        Work& work = *static_cast<Work*>(self);
        Told& told = work.told;
        try {
            told.edits.insert(
                told.edits.end(),
                work.plan.edits.begin() + static_cast<std::ptrdiff_t>(told.edits.size()),
                work.plan.edits.end());
        } catch (const std::bad_alloc&) {
            told.failed = true;
        }
        told.passed = work.postedOffset;
        told.chunks = work.chunks.Records();
        told.reencoded = work.plan.reencoded;
        told.reencodeFrom = work.plan.reencodeFrom;
        if (work.postingDone) {
            told.done = true;
            told.end = work.plan.end;
            told.failed =
                told.failed || work.planFailed || work.source.Failed() || work.chunks.Overflowed();
        }
    }

    // Either thread: makes the lines of chunk k where no thread has taken it; false where one has.
    bool Take(std::size_t k, LineMaker& maker) {
        std::uint8_t free = kFree;
        if (!states[k].compare_exchange_strong(free, kTaken, std::memory_order_acq_rel)) {
            return false;
        }
        const bool made = maker.Make(found.get(), k);
        if (made) slots[k] = maker.Lines().back().lines;
        states[k].store(made ? kMade : kFailed, std::memory_order_release);
        return true;
    }

    // The reading thread.

    // Takes what the plan's thread has told since last time; waits for more where wait is true.
    void Sync(bool wait) {
        bool final = false;
        const std::size_t now = wait ? worker.WaitBeyond(seen, final) : worker.Ready(final);
        if (now == seen) return;
        seen = now;
        worker.Locked(&Work::CopyLocked, this);
        if (known.failed) abandoned = true;
    }

    static void CopyLocked(void* self) {
        Work& work = *static_cast<Work*>(self);
        Told& known = work.known;
        const Told& told = work.told;
        try {
            known.edits.insert(known.edits.end(),
                               told.edits.begin() + static_cast<std::ptrdiff_t>(known.edits.size()),
                               told.edits.end());
        } catch (const std::bad_alloc&) {
            work.noRoom = true;  // under the lock: nothing may leave it
        }
        known.passed = told.passed;
        known.chunks = told.chunks;
        known.reencoded = told.reencoded;
        known.reencodeFrom = told.reencodeFrom;
        known.done = told.done;
        known.end = told.end;
        known.failed = told.failed || work.noRoom;
    }

    // The lines of chunk k, made here or waited for; null where they could not be made.
    const FormPiece* ChunkLines(std::size_t k) {
        if (k >= known.chunks) return nullptr;  // beyond the chunks looked for
        Take(k, here);
        std::uint8_t state = states[k].load(std::memory_order_acquire);
        while (state == kTaken) {
            Sync(true);
            state = states[k].load(std::memory_order_acquire);
        }
        return state == kMade ? &slots[k] : nullptr;
    }

    // While the plan has told nothing more to read: makes the lines of a chunk found ahead, or
    // waits.
    void Wait() {
        for (; ahead < known.chunks; ++ahead) {
            if (Take(ahead, here)) {
                ++ahead;
                return;
            }
        }
        Sync(true);
    }

    // The raw bytes did not read whole: the file is not what is planned. Once the document is
    // taken its form ends here, as a file cut short would for the converter.
    void Short() {
        if (taken) {
            ended = true;
        } else {
            abandoned = true;
        }
    }

    // The Ver 1.0 form from in on, as FormWriter makes it.
    std::size_t Read(char* into, std::size_t size) {
        std::size_t stored = 0;
        while (stored < size) {
            if (partLeft > 0) {
                const std::size_t step = std::min(size - stored, partLeft);
                std::memcpy(into + stored, part, step);
                part += step;
                partLeft -= step;
                stored += step;
                continue;
            }
            if (ended || abandoned) break;
            if (known.done && in >= known.end) break;
            if (nextEdit < known.edits.size() && known.edits[nextEdit].offset <= in) {
                const Edit& edit = known.edits[nextEdit++];
                in += edit.length;
                if (edit.kind == Edit::Kind::Replace) {
                    part = edit.text.data();
                    partLeft = edit.text.size();
                } else {
                    const FormPiece* lines = ChunkLines(nextChunk++);
                    if (lines == nullptr) {
                        if (taken) throw std::bad_alloc();  // no room for them
                        abandoned = true;
                        break;
                    }
                    part = lines->bytes;
                    partLeft = lines->size;
                }
                continue;
            }
            std::uint64_t limit = known.done ? known.end : known.passed;
            if (nextEdit < known.edits.size())
                limit = std::min(limit, known.edits[nextEdit].offset);
            const bool reencode = known.reencoded && in >= known.reencodeFrom;
            if (known.reencoded && in < known.reencodeFrom) {
                limit = std::min(limit, known.reencodeFrom);
            }
            if (in < limit && reencode) {
                // Text re-encoded in the steps FormWriter takes, so that no character is cut.
                auto step = static_cast<std::size_t>(
                    std::min<std::uint64_t>(limit - in, RawReader::kCapacity + 1));
                scratch.resize(std::min(step, RawReader::kCapacity));
                std::size_t got = 0;
                if (!raw.ReadAt(in, scratch.data(), scratch.size(), got) || got < scratch.size()) {
                    Short();
                    continue;
                }
                if (step > RawReader::kCapacity) step = PieceCut(scratch.data(), scratch.size());
                if (AsciiEnd(scratch.data(), 0, step) == step) {
                    part = scratch.data();  // ASCII alone: as it is
                    partLeft = step;
                } else {
                    if (textEncoder == nullptr) textEncoder = std::make_unique<Cp932Encoder>();
                    pending.clear();
                    AppendReencoded(*textEncoder, scratch.data(), step, pending);
                    part = pending.data();
                    partLeft = pending.size();
                }
                in += step;
                continue;
            }
            if (in < limit) {
                const auto step =
                    static_cast<std::size_t>(std::min<std::uint64_t>(size - stored, limit - in));
                std::size_t got = 0;
                const bool read = raw.ReadAt(in, into + stored, step, got);
                in += got;
                stored += got;
                if (!read || got < step) Short();
                continue;
            }
            if (stored > 0) break;  // what there is, while the plan goes on
            Wait();
        }
        return stored;
    }

    PlacedBytes& raw;
    TranslationPlan plan;  // the plan's thread's until told.done
    Room found;
    std::unique_ptr<FormPiece[]> slots;  // each chunk's lines, once its state is kMade
    std::unique_ptr<std::atomic<std::uint8_t>[]> states;
    FoundChunks chunks;
    PlacedSource source;
    Planner planner;
    LineMaker here;   // the reading thread's
    LineMaker there;  // the plan's thread's
    // The plan's thread's.
    bool planFailed = false;
    std::uint64_t postedOffset = 0;
    bool postingDone = false;
    std::size_t generation = 0;
    Told told;  // under the worker's lock
    // The reading thread's.
    Told known;
    std::size_t seen = 0;
    std::uint64_t in = 0;  // raw bytes passed
    std::size_t nextEdit = 0;
    std::size_t nextChunk = 0;
    std::size_t ahead = 0;  // chunks below this are taken
    const char* part = nullptr;
    std::size_t partLeft = 0;
    std::string pending;  // re-encoded text
    std::vector<char> scratch;
    std::unique_ptr<Cp932Encoder> textEncoder;  // the reading thread's own
    bool ended = false;
    bool abandoned = false;
    bool taken = false;   // the verdict is Translated
    bool noRoom = false;  // for what the plan's thread told
    WorkerThread worker;  // last: waits for the plan's thread before anything else goes
};

PlanningForm::PlanningForm(PlacedBytes& raw, Cp932Encoder& encoder)
    : work_(std::make_unique<Work>(raw, encoder)) {
    work_->worker.Run(&Work::Plan, work_.get());
}

PlanningForm::~PlanningForm() = default;

std::size_t PlanningForm::Read(char* into, std::size_t size) {
    return work_->Read(into, size);
}

void PlanningForm::Rewind() {
    Work& work = *work_;
    work.in = 0;
    work.nextEdit = 0;
    work.nextChunk = 0;
    work.partLeft = 0;
    work.ended = false;
}

bool PlanningForm::Decided() {
    work_->Sync(false);
    return work_->known.done;
}

PlanningForm::Verdict PlanningForm::Judge() {
    Work& work = *work_;
    while (!work.known.done) work.Sync(true);
    const TranslationPlan& plan = work.plan;
    Verdict verdict = Verdict::Translated;
    if (work.known.failed ||
        (plan.header != HeaderKind::Ver11 && plan.header != HeaderKind::Ver12)) {
        verdict = Verdict::Abandoned;
    } else if (plan.refusal.fault != Fault::None) {
        verdict = Verdict::Refused;
    } else if (work.abandoned) {
        verdict = Verdict::Abandoned;
    }
    work.taken = verdict == Verdict::Translated;
    // What is read from here on counts for nothing: the conversion ends at once.
    if (!work.taken) work.abandoned = true;
    return verdict;
}

bool PlanningForm::PlanWhole() const {
    return !work_->planFailed && !work_->source.Failed();
}

const TranslationPlan& PlanningForm::Plan() const {
    return work_->plan;
}

RawReader::RawReader(DocumentSource& source)
    : source_(&source), buffer_(kCapacity), base_(buffer_.data()) {}

RawReader::RawReader(const char* bytes, std::size_t size)
    : held_(bytes), heldSize_(size), base_(bytes) {}

void RawReader::Restart() {
    if (source_ != nullptr) source_->Rewind();
    begin_ = 0;
    end_ = 0;
    offset_ = 0;
    ended_ = false;
}

std::size_t RawReader::Ensure(std::size_t want) {
    want = std::min(want, kCapacity);
    if (end_ - begin_ >= want || ended_) return end_ - begin_;
    if (source_ == nullptr) {
        // Held bytes: begin_ and end_ count from their start. A source of them fills the buffer
        // as far as they go, and ends only where they cannot give what is wanted.
        end_ = begin_ + std::min(kCapacity, heldSize_ - begin_);
        if (end_ - begin_ < want) ended_ = true;
        return end_ - begin_;
    }
    std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
    while (end_ < want && !ended_) {
        const std::size_t got = source_->Read(buffer_.data() + end_, kCapacity - end_);
        if (got == 0) ended_ = true;
        end_ += got;
    }
    return end_ - begin_;
}

std::size_t RawReader::ReadDirect(char* into, std::size_t size) {
    if (ended_ || begin_ != end_) return 0;
    std::size_t got = 0;
    if (source_ == nullptr) {
        got = std::min(size, heldSize_ - begin_);
        if (got > 0) std::memcpy(into, held_ + begin_, got);
        begin_ += got;
        end_ = begin_;
    } else {
        got = source_->Read(into, size);
    }
    if (got == 0) ended_ = true;
    offset_ += got;
    return got;
}

std::uint64_t RawReader::Skip(std::uint64_t size) {
    std::uint64_t skipped = 0;
    while (skipped < size) {
        std::size_t available = Available();
        if (available == 0) available = Ensure(kCapacity);
        if (available == 0) break;
        const auto step =
            static_cast<std::size_t>(std::min<std::uint64_t>(available, size - skipped));
        Consume(step);
        skipped += step;
    }
    return skipped;
}

TranslatingSource::TranslatingSource(DocumentSource& raw, const TranslationPlan& plan,
                                     Cp932Encoder& encoder)
    : reader_(raw), plan_(plan), encoder_(encoder) {
    Rewind();
}

void TranslatingSource::Rewind() {
    reader_.Restart();
    nextEdit_ = 0;
    pending_.clear();
    pendingAt_ = 0;
    vertices_ = nullptr;
    verticesLeft_ = 0;
}

std::size_t TranslatingSource::Read(char* into, std::size_t size) {
    std::size_t copied = 0;
    while (copied < size) {
        if (pendingAt_ < pending_.size()) {
            const std::size_t step = std::min(size - copied, pending_.size() - pendingAt_);
            std::memcpy(into + copied, pending_.data() + pendingAt_, step);
            pendingAt_ += step;
            copied += step;
            continue;
        }
        pending_.clear();
        pendingAt_ = 0;
        std::size_t direct = 0;
        if (!Produce(into + copied, size - copied, direct)) break;
        copied += direct;
    }
    return copied;
}

bool TranslatingSource::Produce(char* into, std::size_t size, std::size_t& copied) {
    if (vertices_ != nullptr) {
        ProduceVertices();
        return true;
    }
    const std::uint64_t at = reader_.Offset();
    if (at >= plan_.end) return false;
    if (nextEdit_ < plan_.edits.size() && plan_.edits[nextEdit_].offset == at) {
        const Edit& edit = plan_.edits[nextEdit_++];
        if (edit.kind == Edit::Kind::Replace) {
            reader_.Skip(edit.length);
            pending_ = edit.text;
        } else {
            vertices_ = &edit;
            verticesLeft_ = edit.count;
            ProduceVertices();
        }
        return true;
    }
    std::uint64_t boundary = plan_.end;
    if (nextEdit_ < plan_.edits.size())
        boundary = std::min(boundary, plan_.edits[nextEdit_].offset);
    const bool reencode = plan_.reencoded && at >= plan_.reencodeFrom;
    if (plan_.reencoded && at < plan_.reencodeFrom)
        boundary = std::min(boundary, plan_.reencodeFrom);
    const std::uint64_t wanted = boundary - at;
    std::size_t available = reader_.Available();
    if (available == 0 && !reencode) {
        // Bytes that stay as they are go straight to the reader's buffer.
        copied = reader_.ReadDirect(
            into, static_cast<std::size_t>(std::min<std::uint64_t>(wanted, size)));
        return copied > 0;
    }
    // Text to re-encode comes in whole buffers, so that a cut behind the last ASCII byte never
    // falls inside a character.
    if (available == 0 || reencode) {
        available = reader_.Ensure(
            static_cast<std::size_t>(std::min<std::uint64_t>(wanted, RawReader::kCapacity)));
    }
    if (available == 0) return false;
    std::size_t step = static_cast<std::size_t>(std::min<std::uint64_t>(available, wanted));
    if (!reencode) {
        step = std::min(step, size);
        std::memcpy(into, reader_.Data(), step);
        copied = step;
    } else {
        if (step < wanted) step = PieceCut(reader_.Data(), step);
        AppendReencoded(encoder_, reader_.Data(), step, pending_);
    }
    reader_.Consume(step);
    return true;
}

void TranslatingSource::AppendReal(const char* bytes) {
    const std::string_view text = reals_.Text(LittleEndianFloat(bytes));
    if (text.empty()) {
        pending_ += '0';  // a NaN, which the first pass refuses: the document changed since
        return;
    }
    // A fixed number of bytes copied, then the text's length kept: quicker than a copy of a
    // length only known here.
    const std::size_t at = pending_.size();
    pending_.resize(at + RealTextCache::kTextRoom);
    std::memcpy(pending_.data() + at, text.data(), RealTextCache::kTextRoom);
    pending_.resize(at + text.size());
}

void TranslatingSource::ProduceVertices() {
    constexpr std::uint64_t kBatch = 1024;
    for (std::uint64_t n = std::min(verticesLeft_, kBatch); n > 0; --n) {
        if (reader_.Available() < kVertexBytes && reader_.Ensure(kVertexBytes) < kVertexBytes) {
            verticesLeft_ = 0;  // the document ended early: it changed since the first pass
            break;
        }
        const char* vertex = reader_.Data();
        pending_ += vertices_->text;
        AppendReal(vertex);
        pending_ += ' ';
        AppendReal(vertex + 4);
        pending_ += ' ';
        AppendReal(vertex + 8);
        pending_ += vertices_->lineEnd;
        reader_.Consume(kVertexBytes);
        --verticesLeft_;
    }
    if (verticesLeft_ == 0) {
        reader_.Skip(vertices_->length - vertices_->count * kVertexBytes);
        vertices_ = nullptr;
    }
}

char* VertexLineWriter::Write(const char* payload, std::uint64_t count, std::string_view indent,
                              std::string_view lineEnd, char* out) {
    // Each text is copied in a fixed number of bytes, then its length kept; the indent and the
    // line end, where they have the usual lengths, in as many bytes as those have.
    const bool usual = indent.size() == 2 && (lineEnd.size() == 1 || lineEnd.size() == 2);
    for (const char* vertex = payload; count > 0; --count, vertex += kVertexBytes) {
        if (usual) {
            std::memcpy(out, indent.data(), 2);
        } else {
            std::memcpy(out, indent.data(), indent.size());
        }
        out += indent.size();
        out += columns_[0].Put(vertex, reals_, out);
        *out++ = ' ';
        out += columns_[1].Put(vertex + 4, reals_, out);
        *out++ = ' ';
        out += columns_[2].Put(vertex + 8, reals_, out);
        if (usual && lineEnd.size() == 2) {
            std::memcpy(out, lineEnd.data(), 2);
        } else if (usual) {
            *out = lineEnd[0];
        } else {
            std::memcpy(out, lineEnd.data(), lineEnd.size());
        }
        out += lineEnd.size();
    }
    return out;
}

std::uint64_t FormWriter::Room(const TranslationPlan& plan, bool withLines) {
    // Re-encoded text takes no more than the raw bytes.
    std::uint64_t room = RealTextCache::kTextRoom;
    if (plan.reencoded) room += plan.end;
    for (const Edit& edit : plan.edits) {
        if (edit.kind == Edit::Kind::Vertices && !withLines) {
            room += VertexLineWriter::Room(edit.count, edit.text.size(), edit.lineEnd.size());
        }
    }
    return room;
}

FormWriter::FormWriter(const char* raw, std::size_t rawSize, const TranslationPlan& plan,
                       Cp932Encoder* encoder, char* room, const std::vector<FormPiece>* lines)
    : raw_(raw),
      rawSize_(rawSize),
      plan_(plan),
      encoder_(encoder),
      end_(static_cast<std::size_t>(std::min<std::uint64_t>(plan.end, rawSize))),
      room_(room),
      lines_(lines) {
    // Between two edits a run of raw bytes and one of re-encoded text at most (the text is
    // re-encoded from behind an edit on), and each edit's own: the list never grows beyond this,
    // so it never moves.
    pieces_.reserve(2 * plan.edits.size() + 3);
    scratch_.reserve(RawReader::kCapacity);
}

void FormWriter::Add(const char* bytes, std::size_t size) {
    if (size == 0) return;
    if (!pieces_.empty() && pieces_.back().bytes + pieces_.back().size == bytes) {
        pieces_.back().size += size;
    } else {
        if (pieces_.size() == pieces_.capacity()) throw std::bad_alloc();  // not reached
        pieces_.push_back({bytes, size});
    }
}

bool FormWriter::WriteNext() {
    // The steps are TranslatingSource's, so that text to re-encode is cut where it cuts it.
    if (vertices_ != nullptr) {
        WriteVertices();
        return true;
    }
    if (in_ >= end_) return false;
    if (nextEdit_ < plan_.edits.size() && plan_.edits[nextEdit_].offset == in_) {
        const Edit& edit = plan_.edits[nextEdit_++];
        if (edit.kind == Edit::Kind::Replace) {
            Add(edit.text.data(), edit.text.size());
            in_ += static_cast<std::size_t>(std::min<std::uint64_t>(edit.length, rawSize_ - in_));
        } else if (lines_ != nullptr) {
            // Made already, one piece for each Vertices edit (the room has none for them).
            if (nextLines_ < lines_->size()) {
                const FormPiece& lines = (*lines_)[nextLines_++];
                Add(lines.bytes, lines.size);
            }
            in_ += static_cast<std::size_t>(std::min<std::uint64_t>(edit.length, rawSize_ - in_));
        } else {
            vertices_ = &edit;
            verticesLeft_ = edit.count;
            WriteVertices();
        }
        return true;
    }
    std::uint64_t boundary = end_;
    if (nextEdit_ < plan_.edits.size() && plan_.edits[nextEdit_].offset > in_)
        boundary = std::min(boundary, plan_.edits[nextEdit_].offset);
    const bool reencode = plan_.reencoded && in_ >= plan_.reencodeFrom;
    if (plan_.reencoded && in_ < plan_.reencodeFrom)
        boundary = std::min(boundary, plan_.reencodeFrom);
    auto step = static_cast<std::size_t>(boundary - in_);
    if (!reencode) {
        Add(raw_ + in_, step);
    } else {
        if (step > RawReader::kCapacity) step = PieceCut(raw_ + in_, RawReader::kCapacity);
        scratch_.clear();
        if (encoder_ != nullptr) AppendReencoded(*encoder_, raw_ + in_, step, scratch_);
        std::memcpy(room_ + made_, scratch_.data(), scratch_.size());
        Add(room_ + made_, scratch_.size());
        made_ += scratch_.size();
    }
    in_ += step;
    return true;
}

void FormWriter::WriteVertices() {
    constexpr std::uint64_t kBatch = 4096;
    const std::uint64_t whole =
        std::min<std::uint64_t>(std::min(verticesLeft_, kBatch), (rawSize_ - in_) / kVertexBytes);
    char* const start = room_ + made_;
    const char* end =
        lineWriter_.Write(raw_ + in_, whole, vertices_->text, vertices_->lineEnd, start);
    const auto written = static_cast<std::size_t>(end - start);
    Add(start, written);
    made_ += written;
    in_ += static_cast<std::size_t>(whole) * kVertexBytes;
    verticesLeft_ -= whole;
    if (whole == 0) verticesLeft_ = 0;  // not reached: the plan saw every vertex
    if (verticesLeft_ == 0) {
        const std::uint64_t trailing = vertices_->length - vertices_->count * kVertexBytes;
        in_ += static_cast<std::size_t>(std::min<std::uint64_t>(trailing, rawSize_ - in_));
        vertices_ = nullptr;
    }
}

FormSource::FormSource(const char* raw, std::size_t rawSize, const TranslationPlan& plan,
                       const std::vector<FormPiece>* lines)
    : room_(ObtainRoom(static_cast<std::size_t>(std::min<std::uint64_t>(
          FormWriter::Room(plan, lines != nullptr), std::numeric_limits<std::size_t>::max())))),
      encoder_(plan.reencoded ? std::make_unique<Cp932Encoder>() : nullptr),
      writer_(raw, rawSize, plan, encoder_.get(), room_.get(), lines) {
    if (lines == nullptr) {
        worker_.Run(Work, this);
        return;
    }
    // Only pieces to list, and text to re-encode: at once.
    while (writer_.WriteNext()) {
    }
    ready_ = writer_.Pieces().size();
    all_ = true;
}

FormSource::~FormSource() {
    stop_.store(true, std::memory_order_relaxed);
}

void FormSource::Work(void* self) {
    auto* source = static_cast<FormSource*>(self);
    const std::vector<FormPiece>& pieces = source->writer_.Pieces();
    std::size_t published = 0;
    try {
        while (!source->stop_.load(std::memory_order_relaxed) && source->writer_.WriteNext()) {
            // All but the last piece, which may still grow.
            if (pieces.size() > published + 1) {
                published = pieces.size() - 1;
                source->worker_.Publish(published, false);
            }
        }
    } catch (const std::bad_alloc&) {
        source->failed_ = true;
    }
    source->worker_.Publish(pieces.size(), true);
}

std::size_t FormSource::Read(char* into, std::size_t size) {
    const std::vector<FormPiece>& pieces = writer_.Pieces();
    std::size_t copied = 0;
    while (copied < size) {
        if (piece_ == ready_) {
            if (all_) {
                if (failed_) throw std::bad_alloc();
                break;
            }
            if (copied > 0) break;  // what there is, while more is made
            ready_ = worker_.WaitBeyond(ready_, all_);
            continue;
        }
        const FormPiece& piece = pieces[piece_];
        const std::size_t step = std::min(size - copied, piece.size - at_);
        std::memcpy(into + copied, piece.bytes + at_, step);
        copied += step;
        at_ += step;
        if (at_ == piece.size) {
            ++piece_;
            at_ = 0;
        }
    }
    return copied;
}

}  // namespace bloktar::compat
