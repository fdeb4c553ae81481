// The Ver 1.0 form of a document saved by today's modeller.
//
// A first pass over the whole document (PlanTranslation) finds everything that differs from the
// Ver 1.0 form and checks that it can be translated; only then does the conversion start. So
// every refusal comes before the conversion.
//
// A file is planned on a second thread while the first writes the text lines of the binary
// vertices the plan has found (PlanTranslationWritingLines); its form is then read in pieces
// (PlacedFormSource): runs of the file's own bytes, read where they stand as the converter reads
// a file, the plan's replacements, and those lines. A document whose text is re-encoded, and an
// archive's member, are held in memory and their form made once, as pieces, while the conversion
// reads it (FormSource). Any other document is read through a TranslatingSource, which makes the
// form from the plan as it is read, again on every rewind, and is never held whole.
#pragma once

#include <atomic>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "compat/code_page.hpp"
#include "mqo/document.hpp"
#include "mqo/number_text.hpp"
#include "run/platform.hpp"

namespace bloktar::compat {

// Why a document or an archive is refused. DescribeFault (compat_run.cpp) turns each into its
// message.
enum class Fault {
    None,
    NotUtf8,             // a document that says UTF-8 holds bytes that are not
    NotInCodePage,       // a character code page 932 lacks
    VectorLineMissing,   // a BVertex chunk without a readable Vector line
    PayloadSizeWrong,    // a Vector size other than 12 x its count, or a count the chunk denies
    PayloadPastEnd,      // the binary vertices run past the end of the document
    PayloadNaN,          // a binary vertex holds a NaN, which no text reads back as
    ClosingLineMissing,  // a BVertex chunk's payload not followed by its closing "}" line
    ArchiveBroken,       // truncated, or not a ZIP archive
    ArchiveCrcWrong,     // the member's bytes fail their CRC
    ArchiveNoDocument,   // no member's name ends in .mqo
    ArchiveUnsupported,  // encrypted, ZIP64, or neither stored nor deflated
};

struct Refusal {
    Fault fault = Fault::None;
    std::uint64_t line = 0;       // the document line it concerns (from 1), 0 for none
    std::uint32_t codePoint = 0;  // for NotInCodePage
};

enum class WarningKind { Mirror, Patch, Lathe, LargeFaces };

// Something in a visible object that the converter cannot see.
struct ObjectWarning {
    WarningKind kind;
    std::string objectName;  // as the Ver 1.0 form has it (re-encoded where the text is)
    std::int64_t count = 0;  // faces of five or more corners, for LargeFaces
};

// One place where the Ver 1.0 form differs from the document's bytes.
struct Edit {
    enum class Kind {
        Replace,   // the raw bytes [offset, offset + length) become text
        Vertices,  // count binary vertices at offset become text vertex lines (indent x y z eol);
                   // length covers them and the line end behind them
    };
    Kind kind;
    std::uint64_t offset;
    std::uint64_t length;
    std::string text;  // Replace: the replacement; Vertices: the indentation of each line
    std::string lineEnd;
    std::uint64_t count = 0;
};

enum class HeaderKind { Other, Ver10, Ver11, Ver12 };

struct TranslationPlan {
    HeaderKind header = HeaderKind::Other;
    bool reencoded = false;          // a CodePage line named UTF-8
    std::uint64_t reencodeFrom = 0;  // raw offset from which the text is re-encoded
    std::uint64_t end = 0;           // raw bytes the Ver 1.0 form is made from (to a Ctrl-Z)
    std::int64_t binaryVertexChunks = 0;
    std::vector<Edit> edits;  // in the order of their offsets, none overlapping
    std::vector<ObjectWarning> warnings;
    Refusal refusal;
};

// A document's raw bytes, read at any place; two threads may read them at once.
class PlacedBytes {
  public:
    // Stores up to size bytes from offset on at into; got says how many, fewer only where the
    // bytes end. False where they could not be read.
    virtual bool ReadAt(std::uint64_t offset, char* into, std::size_t size, std::size_t& got) = 0;
    // Every byte where it lies in memory, when the bytes are held so; empty otherwise.
    virtual std::string_view Whole() const { return {}; }
    virtual ~PlacedBytes() = default;
};

// An open file's bytes, read where they stand: no read moves its stream.
class PlacedFile final : public PlacedBytes {
  public:
    explicit PlacedFile(std::FILE* file) : file_(file) {}
    bool ReadAt(std::uint64_t offset, char* into, std::size_t size, std::size_t& got) override {
        return ReadFileAt(file_, offset, into, size, got);
    }

  private:
    std::FILE* file_;
};

// Bytes in memory, which must outlive it.
class PlacedMemory final : public PlacedBytes {
  public:
    PlacedMemory(const char* bytes, std::size_t size) : bytes_(bytes), size_(size) {}
    bool ReadAt(std::uint64_t offset, char* into, std::size_t size, std::size_t& got) override;
    std::string_view Whole() const override { return {bytes_, size_}; }

  private:
    const char* bytes_;
    std::size_t size_;
};

// Placed bytes as a source of the document, from its first; a failure to read ends it, and is
// told by Failed until a rewind.
class PlacedSource final : public DocumentSource {
  public:
    explicit PlacedSource(PlacedBytes& bytes) : bytes_(bytes) {}
    std::size_t Read(char* into, std::size_t size) override;
    void Rewind() override {
        offset_ = 0;
        failed_ = false;
    }
    bool Failed() const { return failed_; }

  private:
    PlacedBytes& bytes_;
    std::uint64_t offset_ = 0;
    bool failed_ = false;
};

// A run of bytes of the Ver 1.0 form: raw bytes where they lie, a replacement's text in the plan,
// or text made for the form.
struct FormPiece {
    const char* bytes;
    std::size_t size;
};

// The text lines of a document's binary vertices, made while it is planned: one piece for each
// Vertices edit of the plan, in their order, in rooms of their own.
struct VertexLines {
    std::vector<Room> rooms;
    std::vector<FormPiece> pieces;
};

// True when the document is to be read in its Ver 1.0 form: Ver 1.1 or 1.2, or Ver 1.0 with
// binary vertices. Any other document goes to the converter as it is.
bool NeedsTranslation(const TranslationPlan& plan);

// Reads the whole document from its start and works out its translation; plan.refusal says
// whether it can be made. encoder re-encodes UTF-8 text.
void PlanTranslation(DocumentSource& raw, Cp932Encoder& encoder, TranslationPlan& plan);
// The same for a document held in memory, bytes [0, size), read where they lie.
void PlanTranslation(const char* bytes, std::size_t size, Cp932Encoder& encoder,
                     TranslationPlan& plan);
// The same, on a second thread, for a document whose raw bytes can be read at any place, while
// this thread writes the text lines of the binary vertices the plan has found so far, their
// payloads read again where they stand. True when lines holds those of every Vertices edit of the
// plan; false, with lines empty, where they could not all be made (no room, or the payloads read
// differently), so that the form makes them itself. Sets readFailed where the plan could not read
// the document, and is then no plan of it. size: the document's size as it is found before it is
// read (the room for the chunks found grows with it).
bool PlanTranslationWritingLines(PlacedBytes& raw, std::uint64_t size, Cp932Encoder& encoder,
                                 TranslationPlan& plan, VertexLines& lines, bool& readFailed);

// Writes the Ver 1.0 form of a planned document held in memory over its own bytes, the raw
// bytes [0, plan.end), and sets size to the form's. It never outgrows them, since no piece of the
// form is longer than the raw bytes it comes from, except the text of binary vertices: false,
// with the bytes untouched, for a plan that holds any.
bool TranslateInPlace(char* bytes, std::size_t& size, const TranslationPlan& plan,
                      Cp932Encoder& encoder);

// The four bytes at bytes, little-endian.
inline std::uint32_t LittleEndianBits(const char* bytes) {
    std::uint32_t bits = 0;
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(&bits, bytes, 4);
    } else {
        for (int i = 3; i >= 0; --i) bits = (bits << 8) | static_cast<unsigned char>(bytes[i]);
    }
    return bits;
}

// The texts of the two floats last written in one column of a chunk's vertices (x, y or z): a
// box's corners take each of the two values of a column four times, so most floats are found here
// before the cache is asked.
class ColumnTexts {
  public:
    // Writes the text of the float at bytes at out, copying RealTextCache::kTextRoom bytes;
    // returns the text's length.
    std::size_t Put(const char* bytes, RealTextCache& reals, char* out) {
        const std::uint32_t bits = LittleEndianBits(bytes);
        for (std::size_t i = 0; i < 2; ++i) {
            if (recent_[i].length != 0 && recent_[i].bits == bits) {
                std::memcpy(out, recent_[i].text, RealTextCache::kTextRoom);
                last_ = i;
                return recent_[i].length;
            }
        }
        const std::string_view text = reals.Text(std::bit_cast<float>(bits));
        if (text.empty()) {
            *out = '0';  // a NaN, which the plan refuses
            return 1;
        }
        // In place of the one not used last.
        last_ = 1 - last_;
        Recent& recent = recent_[last_];
        recent.bits = bits;
        recent.length = static_cast<std::uint8_t>(text.size());
        std::memcpy(recent.text, text.data(), RealTextCache::kTextRoom);
        std::memcpy(out, recent.text, RealTextCache::kTextRoom);
        return text.size();
    }

  private:
    struct Recent {
        std::uint32_t bits = 0;
        std::uint8_t length = 0;  // 0: none yet
        char text[RealTextCache::kTextRoom] = {};
    };
    Recent recent_[2];
    std::size_t last_ = 0;
};

// Writes binary vertices as the text lines of a vertex chunk, each float's text found among the
// recent ones of its column or in the cache.
class VertexLineWriter {
  public:
    // The most bytes the lines of count vertices take, with the bytes behind them that Write may
    // write over.
    static std::uint64_t Room(std::uint64_t count, std::size_t indent, std::size_t lineEnd) {
        return count * (indent + 3 * (RealTextCache::kTextRoom - 1) + 2 + lineEnd) +
               RealTextCache::kTextRoom;
    }

    // Writes the lines of count vertices, 12 bytes each at payload, from out on; returns the end
    // of what it wrote.
    char* Write(const char* payload, std::uint64_t count, std::string_view indent,
                std::string_view lineEnd, char* out);

  private:
    RealTextCache reals_;
    ColumnTexts columns_[3];  // the recent texts of x, y and z
};

// The Ver 1.0 form of a planned document held in memory, made once, as pieces, a part at a time:
// byte for byte what a TranslatingSource over the same bytes hands out. Only the text that is
// not in the document or the plan is written, into room of the writer's own. The raw bytes must
// be those the plan was made from.
class FormWriter {
  public:
    // The room for the text: what the writer keeps, and the bytes behind that it may write over;
    // without the lines of binary vertices where they are made already.
    static std::uint64_t Room(const TranslationPlan& plan, bool withLines);

    // raw [0, rawSize), the room for text, plan, encoder and lines must outlive the writer;
    // encoder is only for a plan that re-encodes text. lines, where given, are the text lines of
    // the plan's Vertices edits (VertexLines::pieces), taken as they are.
    FormWriter(const char* raw, std::size_t rawSize, const TranslationPlan& plan,
               Cp932Encoder* encoder, char* room, const std::vector<FormPiece>* lines = nullptr);
    // Writes the next part of the form; false, writing nothing, once the form is whole.
    bool WriteNext();
    // The pieces written so far, in the order of the form. Only the last one may still grow
    // while more is written, and the list never moves.
    const std::vector<FormPiece>& Pieces() const { return pieces_; }

  private:
    void WriteVertices();
    // Appends a piece, or lengthens the last where it goes on with it.
    void Add(const char* bytes, std::size_t size);

    const char* raw_;
    std::size_t rawSize_;
    const TranslationPlan& plan_;
    Cp932Encoder* encoder_;
    std::size_t end_;  // raw bytes the form is made from end here
    std::size_t in_ = 0;
    char* room_;
    std::size_t nextEdit_ = 0;
    std::size_t made_ = 0;            // text written into the room
    const Edit* vertices_ = nullptr;  // the Vertices edit being written
    std::uint64_t verticesLeft_ = 0;
    std::vector<FormPiece> pieces_;
    const std::vector<FormPiece>* lines_;
    std::size_t nextLines_ = 0;
    VertexLineWriter lineWriter_;
    std::string scratch_;
};

// The Ver 1.0 form of a planned document held in memory, as a source of its bytes: made by a
// FormWriter on a second thread while it is read, so that the conversion starts at once; a read
// waits for the pieces it takes. Each rewind reads the pieces made, never makes them again.
class FormSource final : public DocumentSource {
  public:
    // Starts making the form; raw [0, rawSize), plan and lines must outlive the source. Where
    // lines, the text lines of the binary vertices, are made already, the form is made at once.
    // Throws std::bad_alloc when there is no room for it.
    FormSource(const char* raw, std::size_t rawSize, const TranslationPlan& plan,
               const std::vector<FormPiece>* lines = nullptr);
    ~FormSource() override;  // stops the making, and waits for it
    FormSource(const FormSource&) = delete;
    FormSource& operator=(const FormSource&) = delete;

    // Throws std::bad_alloc where the making ran out of memory.
    std::size_t Read(char* into, std::size_t size) override;
    void Rewind() override {
        piece_ = 0;
        at_ = 0;
    }

  private:
    static void Work(void* self);

    Room room_;
    std::unique_ptr<Cp932Encoder> encoder_;  // its own, for text re-encoded on its thread
    FormWriter writer_;
    std::atomic<bool> stop_{false};
    bool failed_ = false;    // the worker's, read once it has ended
    std::size_t ready_ = 0;  // pieces that are final
    bool all_ = false;
    std::size_t piece_ = 0;
    std::size_t at_ = 0;   // bytes of the piece read
    WorkerThread worker_;  // last: waits for the work before anything else goes
};

// The Ver 1.0 form of a planned document whose text is not re-encoded, with the lines of its
// binary vertices made already: read from the pieces of the form in turn, each run of the raw
// bytes read where it stands. Reading ends early where the raw bytes end or cannot be read. raw,
// plan and lines must outlive the source.
class PlacedFormSource final : public DocumentSource {
  public:
    PlacedFormSource(PlacedBytes& raw, const TranslationPlan& plan,
                     const std::vector<FormPiece>& lines);
    std::size_t Read(char* into, std::size_t size) override;
    void Rewind() override {
        part_ = 0;
        at_ = 0;
        ended_ = false;
    }

  private:
    // Text of the form's own, or (text null) size raw bytes from offset.
    struct Part {
        const char* text;
        std::uint64_t offset;
        std::uint64_t size;
    };

    PlacedBytes& raw_;
    std::vector<Part> parts_;
    std::size_t part_ = 0;
    std::uint64_t at_ = 0;  // bytes of the part read
    bool ended_ = false;
};

// True when the first bytes of a document (up to 64 of them) are the header of one saved as
// Ver 1.1 or 1.2, which is always translated.
bool StartsAsTranslated(std::string_view firstBytes);

// The Ver 1.0 form of a document whose header says it is translated, read while the document is
// planned on a second thread: the form's bytes come as soon as the plan has passed them, its raw
// bytes read where they stand, and the lines of each binary vertex chunk are made by whichever
// thread comes to them first (the plan's thread once the plan is done, the reading thread when
// it reaches them or while it waits for the plan). What was read counts only once the verdict
// says so.
class PlanningForm final : public DocumentSource {
  public:
    enum class Verdict {
        Translated,  // the plan takes the document, and the form read is its Ver 1.0 form
        Refused,     // the plan refuses the document (plan().refusal)
        Abandoned,   // the form cannot be read so (a read failure, no room, too many chunks):
                     // what was read counts for nothing, and the document is read another way
    };

    // Starts the plan; raw and encoder must outlive the form.
    PlanningForm(PlacedBytes& raw, Cp932Encoder& encoder);
    ~PlanningForm() override;  // waits for the second thread
    PlanningForm(const PlanningForm&) = delete;
    PlanningForm& operator=(const PlanningForm&) = delete;

    // Throws std::bad_alloc where the lines of a binary vertex chunk found no room once the
    // verdict had been asked for.
    std::size_t Read(char* into, std::size_t size) override;
    void Rewind() override;

    // Whether the plan is done, without waiting.
    bool Decided();
    // Waits for the plan, and tells what it makes of the document and of the form read so far.
    Verdict Judge();
    // The plan, once Judge has returned.
    const TranslationPlan& Plan() const;
    // Once Judge has returned: whether the plan is the whole document's (it read every byte it
    // wanted and had room), for the document to be read another way without planning it again.
    bool PlanWhole() const;

  private:
    struct Work;
    std::unique_ptr<Work> work_;
};

// An open file as a source of its bytes, from its first. Reads go past the stream's own buffer,
// which would only copy every byte once more.
class FileSource final : public DocumentSource {
  public:
    explicit FileSource(std::FILE* file) : file_(file) { std::setvbuf(file, nullptr, _IONBF, 0); }
    std::size_t Read(char* into, std::size_t size) override;
    void Rewind() override;

  private:
    std::FILE* file_;
};

// Bytes in memory as a source; they must outlive it.
class MemorySource final : public DocumentSource {
  public:
    MemorySource(const void* bytes, std::size_t size)
        : bytes_(static_cast<const char*>(bytes)), size_(size) {}
    std::size_t Read(char* into, std::size_t size) override;
    void Rewind() override { offset_ = 0; }

  private:
    const char* bytes_;
    std::size_t size_;
    std::size_t offset_ = 0;
};

// Reads a source through a buffer of its own, for the passes that look ahead.
class RawReader {
  public:
    static constexpr std::size_t kCapacity = 64 * 1024;

    explicit RawReader(DocumentSource& source);
    // Over bytes in memory, which must outlive it: the pieces it makes available are those it
    // makes over a source of the same bytes, but where they lie, without copying them.
    RawReader(const char* bytes, std::size_t size);
    void Restart();
    // Makes at least want bytes (at most kCapacity) available at Data(), fewer only at the end
    // of the source; returns how many are available.
    std::size_t Ensure(std::size_t want);
    const char* Data() const { return base_ + begin_; }
    std::size_t Available() const { return end_ - begin_; }
    void Consume(std::size_t size) {
        begin_ += size;
        offset_ += size;
    }
    // Passes over size bytes, or to the end; returns how many were passed over.
    std::uint64_t Skip(std::uint64_t size);
    std::uint64_t Offset() const { return offset_; }
    // With nothing buffered: reads up to size bytes straight into into, past the buffer; returns
    // how many.
    std::size_t ReadDirect(char* into, std::size_t size);

  private:
    DocumentSource* source_ = nullptr;  // null for bytes in memory
    const char* held_ = nullptr;
    std::size_t heldSize_ = 0;  // the bytes in memory that have come
    std::vector<char> buffer_;
    const char* base_ = nullptr;  // the buffer's start, or the held bytes'
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
    std::uint64_t offset_ = 0;
    bool ended_ = false;
};

// The Ver 1.0 form of a planned document, made as it is read.
class TranslatingSource final : public DocumentSource {
  public:
    TranslatingSource(DocumentSource& raw, const TranslationPlan& plan, Cp932Encoder& encoder);
    std::size_t Read(char* into, std::size_t size) override;
    void Rewind() override;

  private:
    // Fills pending_ with what comes next, when that is not raw bytes copied as they are.
    // Returns false at the end.
    bool Produce(char* into, std::size_t size, std::size_t& copied);
    void ProduceVertices();

    void AppendReal(const char* bytes);

    RawReader reader_;
    RealTextCache reals_;  // a box's corners share each coordinate; the converter reads twice
    const TranslationPlan& plan_;
    Cp932Encoder& encoder_;
    std::size_t nextEdit_ = 0;
    std::string pending_;
    std::size_t pendingAt_ = 0;
    const Edit* vertices_ = nullptr;  // the Vertices edit being written
    std::uint64_t verticesLeft_ = 0;
};

}  // namespace bloktar::compat
