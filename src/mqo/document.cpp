#include "mqo/document.hpp"

#include <algorithm>
#include <cassert>
#include <cstring>

namespace bloktar {
namespace {

constexpr std::size_t kBufferSize = 128 * 1024;
constexpr char kCarriageReturn = '\r';
constexpr char kEndOfText = '\x1a';  // Ctrl-Z

void PrepareBuffer(Document& document) {
    if (!document.buffer) {
        // Room for a zero byte behind the last byte and the read-ahead behind that; zero-filled,
        // so that reading ahead into the part not yet filled reads known bytes.
        document.buffer = std::make_unique<char[]>(kBufferSize + 1 + kBufferReadAhead);
        document.capacity = kBufferSize;
    }
    document.begin = 0;
    document.end = 0;
    document.buffer[0] = '\0';
    document.holding = false;
    document.sourceEnded = false;
    document.endOfText = false;
}

// Fetches raw bytes from the source; returns how many (0 at its end or on a read error).
std::size_t FetchRaw(Document& document, char* into, std::size_t size) {
    if (document.file != nullptr) {
        std::size_t got = std::fread(into, 1, size, document.file);
        // A read error ends the document like its end does, also for the reads after it.
        if (std::ferror(document.file)) document.sourceEnded = true;
        return got;
    }
    if (document.source != nullptr) return document.source->Read(into, size);
    std::size_t left = document.memorySize - document.memoryOffset;
    std::size_t got = std::min(left, size);
    if (got > 0) {
        std::memcpy(into, document.memory + document.memoryOffset, got);
        document.memoryOffset += got;
    }
    return got;
}

// Appends source bytes behind buffer[end], up to a Ctrl-Z, and a zero byte behind them. Returns
// false when none came.
bool Fetch(Document& document) {
    char* text = document.buffer.get();
    std::size_t got = 0;
    // A full buffer takes nothing more; that happens only for a limit beyond the buffer's size.
    if (!document.sourceEnded && document.end < document.capacity) {
        char* into = text + document.end;
        got = FetchRaw(document, into, document.capacity - document.end);
        if (got == 0) {
            // End of the source, or a read error, which reads as the end.
            document.sourceEnded = true;
        } else if (const void* stop = std::memchr(into, kEndOfText, got)) {
            got = static_cast<std::size_t>(static_cast<const char*>(stop) - into);
            document.sourceEnded = true;
            document.endOfText = true;
        }
        document.end += got;
    }
    text[document.end] = '\0';
    return got > 0;
}

}  // namespace

namespace document_detail {

// Removes the carriage returns in place, moving the piece to the buffer's start when more bytes
// must be fetched behind it.
const char* AssemblePiece(Document& document, std::size_t room, std::size_t& length) {
    char* text = document.buffer.get();
    std::size_t out = document.begin;
    std::size_t in = document.begin;
    std::size_t stored = 0;
    while (stored < room) {
        if (in == document.end) {
            std::memmove(text, text + document.begin, out - document.begin);
            out -= document.begin;
            in = out;
            document.begin = 0;
            document.end = out;
            if (!Fetch(document)) break;
            continue;
        }
        const char c = text[in++];
        if (c == kCarriageReturn) continue;
        text[out++] = c;
        ++stored;
        if (c == '\n') break;
    }
    const std::size_t start = document.begin;
    document.begin = in;
    if (stored == 0) return nullptr;
    // Behind the piece stands either a byte already taken (a carriage return, or one moved
    // forward) or the next byte to deliver, which must be kept.
    if (out == in) {
        document.heldByte = text[out];
        document.holding = true;
    }
    text[out] = '\0';
    length = out - start;
    return text + start;
}

}  // namespace document_detail

void OpenFileDocument(Document& document, std::FILE* file) {
    document.file = file;
    document.source = nullptr;
    document.memory = nullptr;
    document.memorySize = 0;
    document.memoryOffset = 0;
    // The document keeps its own buffer; the stream's would only copy every byte once more.
    [[maybe_unused]] const int unbuffered = std::setvbuf(file, nullptr, _IONBF, 0);
    assert(unbuffered == 0);  // fails when the stream was used before
    PrepareBuffer(document);
}

void OpenMemoryDocument(Document& document, const void* bytes, std::size_t size) {
    document.file = nullptr;
    document.source = nullptr;
    document.memory = static_cast<const unsigned char*>(bytes);
    document.memorySize = size;
    document.memoryOffset = 0;
    PrepareBuffer(document);
}

void OpenSourceDocument(Document& document, DocumentSource& source) {
    document.file = nullptr;
    document.source = &source;
    document.memory = nullptr;
    document.memorySize = 0;
    document.memoryOffset = 0;
    source.Rewind();
    PrepareBuffer(document);
}

bool ReadDocumentLine(char* buffer, int limit, Document& document) {
    std::size_t length = 0;
    const char* piece = NextDocumentPiece(document, limit, length);
    if (piece == nullptr) return false;
    std::memcpy(buffer, piece, length + 1);
    return true;
}

void RewindDocument(Document& document) {
    if (document.file != nullptr) {
        std::clearerr(document.file);
        std::fseek(document.file, 0, SEEK_SET);
    } else if (document.source != nullptr) {
        document.source->Rewind();
    } else {
        document.memoryOffset = 0;
    }
    document.begin = 0;
    document.end = 0;
    if (document.buffer) document.buffer[0] = '\0';
    document.holding = false;
    document.sourceEnded = false;
    document.endOfText = false;
}

}  // namespace bloktar
