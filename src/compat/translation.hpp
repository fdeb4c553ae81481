// The Ver 1.0 form of a document saved by today's modeller, made as it is read.
//
// A first pass over the whole document (PlanTranslation) finds everything that differs from the
// Ver 1.0 form and checks that it can be translated; only then does the conversion start, reading
// the document through a TranslatingSource, which hands out the Ver 1.0 form from the plan and
// makes it again from the start on every rewind. So every refusal comes before the conversion,
// and the document is never held whole in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "compat/code_page.hpp"
#include "mqo/document.hpp"
#include "mqo/number_text.hpp"

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

// True when the document is to be read in its Ver 1.0 form: Ver 1.1 or 1.2, or Ver 1.0 with
// binary vertices. Any other document goes to the converter as it is.
bool NeedsTranslation(const TranslationPlan& plan);

// Reads the whole document from its start and works out its translation; plan.refusal says
// whether it can be made. encoder re-encodes UTF-8 text.
void PlanTranslation(DocumentSource& raw, Cp932Encoder& encoder, TranslationPlan& plan);
// The same for a document held in memory, bytes [0, size), read where they lie.
void PlanTranslation(const char* bytes, std::size_t size, Cp932Encoder& encoder,
                     TranslationPlan& plan);

// Writes the Ver 1.0 form of a planned document held in memory over its own bytes, the raw
// bytes [0, plan.end), and sets size to the form's. It never outgrows them, since no piece of the
// form is longer than the raw bytes it comes from, except the text of binary vertices: false,
// with the bytes untouched, for a plan that holds any.
bool TranslateInPlace(char* bytes, std::size_t& size, const TranslationPlan& plan,
                      Cp932Encoder& encoder);

// A run of bytes of the Ver 1.0 form: raw bytes where they lie, a replacement's text in the plan,
// or text made for the form.
struct FormPiece {
    const char* bytes;
    std::size_t size;
};

// The Ver 1.0 form of a planned document held in memory, made once, as pieces, a part at a time:
// byte for byte what a TranslatingSource over the same bytes hands out. Only the text that is
// not in the document or the plan is written, into room of the writer's own. The raw bytes must
// be those the plan was made from.
//
// The form from the plan's edit first on, up to its edit last (plan.edits.size() for the end):
// two writers of the two parts of the form split at an edit make it together, each into its own
// room, one piece list behind the other.
class FormWriter {
  public:
    // The room for the text of a part: what it keeps, and the bytes behind that it may write
    // over.
    static std::uint64_t Room(const TranslationPlan& plan, std::size_t first, std::size_t last);

    // raw [0, rawSize), the room for text, plan and encoder must outlive the writer.
    FormWriter(const char* raw, std::size_t rawSize, const TranslationPlan& plan,
               Cp932Encoder& encoder, std::size_t first, std::size_t last, char* room);
    // Writes the next part of the form; false, writing nothing, once the form is whole.
    bool WriteNext();
    // The pieces written so far, in the order of the form.
    const std::vector<FormPiece>& Pieces() const { return pieces_; }

  private:
    void WriteVertices();
    // Appends a piece, or lengthens the last where it goes on with it.
    void Add(const char* bytes, std::size_t size);

    const char* raw_;
    std::size_t rawSize_;
    const TranslationPlan& plan_;
    Cp932Encoder& encoder_;
    std::size_t nextEdit_;
    std::size_t lastEdit_;
    std::size_t end_;  // raw bytes the part is made from end here
    std::size_t in_;
    char* room_;
    std::size_t made_ = 0;            // text written into the room
    const Edit* vertices_ = nullptr;  // the Vertices edit being written
    std::uint64_t verticesLeft_ = 0;
    std::vector<FormPiece> pieces_;
    RealTextCache reals_;
    std::string scratch_;
};

// The pieces of a form as a source of its bytes; they must outlive it.
class PiecesSource final : public DocumentSource {
  public:
    explicit PiecesSource(std::vector<FormPiece> pieces) : pieces_(std::move(pieces)) {}
    std::size_t Read(char* into, std::size_t size) override;
    void Rewind() override {
        piece_ = 0;
        at_ = 0;
    }

  private:
    std::vector<FormPiece> pieces_;
    std::size_t piece_ = 0;
    std::size_t at_ = 0;  // bytes of pieces_[piece_] read
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
    std::size_t heldSize_ = 0;
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
