#include "mqo/document.hpp"

#include <algorithm>
#include <bit>
#include <cstring>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define BLOKTAR_SSE2 1
#endif

namespace bloktar {
namespace {

constexpr std::size_t kBufferSize = 128 * 1024;
constexpr char kCarriageReturn = '\r';
constexpr char kEndOfText = '\x1a';  // Ctrl-Z

void PrepareBuffer(Document& document) {
    if (!document.buffer) {
        // Room for a terminating zero behind the last byte and the read-ahead behind that;
        // zero-filled, so that reading ahead into the part not yet filled reads known bytes.
        document.buffer = std::make_unique<char[]>(kBufferSize + 1 + kPieceReadAhead);
        document.capacity = kBufferSize;
    }
    document.begin = 0;
    document.end = 0;
    document.holding = false;
    document.sourceEnded = false;
}

// Fetches raw bytes from the source; returns how many (0 at its end or on a read error).
std::size_t FetchRaw(Document& document, char* into, std::size_t size) {
    if (document.file != nullptr) {
        std::size_t got = std::fread(into, 1, size, document.file);
        // A read error ends the document like its end does, also for the reads after it.
        if (std::ferror(document.file)) document.sourceEnded = true;
        return got;
    }
    std::size_t left = document.memorySize - document.memoryOffset;
    std::size_t got = std::min(left, size);
    if (got > 0) {
        std::memcpy(into, document.memory + document.memoryOffset, got);
        document.memoryOffset += got;
    }
    return got;
}

// Appends source bytes behind buffer[end], up to a Ctrl-Z. Returns false when none came.
bool Fetch(Document& document) {
    if (document.sourceEnded) return false;
    char* into = document.buffer.get() + document.end;
    std::size_t got = FetchRaw(document, into, document.capacity - document.end);
    if (got == 0) {
        // End of the source, or a read error, which reads as the end.
        document.sourceEnded = true;
        return false;
    }
    if (const void* stop = std::memchr(into, kEndOfText, got)) {
        got = static_cast<std::size_t>(static_cast<const char*>(stop) - into);
        document.sourceEnded = true;
    }
    document.end += got;
    return got > 0;
}

// The first carriage return or newline in [from, to), or to when there is none. May read up to
// 15 bytes past to, which the buffer's read-ahead bytes cover.
const char* FindLineBreak(const char* from, const char* to) {
#ifdef BLOKTAR_SSE2
    const __m128i carriageReturn = _mm_set1_epi8(kCarriageReturn);
    const __m128i newline = _mm_set1_epi8('\n');
    for (const char* p = from; p < to; p += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i found =
            _mm_or_si128(_mm_cmpeq_epi8(bytes, carriageReturn), _mm_cmpeq_epi8(bytes, newline));
        const auto mask = static_cast<unsigned>(_mm_movemask_epi8(found));
        if (mask != 0) return std::min(p + std::countr_zero(mask), to);
    }
    return to;
#else
    const auto size = static_cast<std::size_t>(to - from);
    const void* newline = std::memchr(from, '\n', size);
    const char* stop = newline != nullptr ? static_cast<const char*>(newline) : to;
    const void* carriageReturn =
        std::memchr(from, kCarriageReturn, static_cast<std::size_t>(stop - from));
    return carriageReturn != nullptr ? static_cast<const char*>(carriageReturn) : stop;
#endif
}

// Delivers buffer[start, stop) in place: its terminating zero replaces buffer[stop], which is
// kept and put back before the next read.
const char* Deliver(Document& document, std::size_t start, std::size_t stop, std::size_t& length) {
    char* text = document.buffer.get();
    document.heldByte = text[stop];
    document.holding = true;
    text[stop] = '\0';
    document.begin = stop;
    length = stop - start;
    return text + start;
}

// The general way to a piece, for whatever the quick ways in NextDocumentPiece leave: carriage
// returns that do not end the line, a piece that continues beyond the bytes fetched so far, the
// end of the document. Removes the carriage returns in place, moving the piece to the buffer's
// start when more bytes must be fetched behind it.
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

}  // namespace

void OpenFileDocument(Document& document, std::FILE* file) {
    document.file = file;
    document.memory = nullptr;
    document.memorySize = 0;
    document.memoryOffset = 0;
    // The document keeps its own buffer; the stream's would only copy every byte once more.
    std::setvbuf(file, nullptr, _IONBF, 0);
    PrepareBuffer(document);
}

void OpenMemoryDocument(Document& document, const void* bytes, std::size_t size) {
    document.file = nullptr;
    document.memory = static_cast<const unsigned char*>(bytes);
    document.memorySize = size;
    document.memoryOffset = 0;
    PrepareBuffer(document);
}

const char* NextDocumentPiece(Document& document, int limit, std::size_t& length) {
    char* text = document.buffer.get();
    if (document.holding) {
        text[document.begin] = document.heldByte;
        document.holding = false;
    }
    const std::size_t room = limit > 1 ? static_cast<std::size_t>(limit) - 1 : 0;
    if (room == 0) return nullptr;

    // The quick ways: the line ends within room characters with a newline or a carriage return
    // and newline, or room characters come without either, or the document's last characters.
    const std::size_t window = std::min(document.end, document.begin + room);
    const char* found = FindLineBreak(text + document.begin, text + window);
    if (found != text + window) {
        const auto at = static_cast<std::size_t>(found - text);
        if (*found == '\n') return Deliver(document, document.begin, at + 1, length);
        if (at + 1 < document.end && text[at + 1] == '\n') {
            // Carriage return and newline become the newline and the terminating zero.
            const std::size_t start = document.begin;
            text[at] = '\n';
            text[at + 1] = '\0';
            document.begin = at + 2;
            length = at + 1 - start;
            return text + start;
        }
    } else if (window == document.begin + room ||
               (document.sourceEnded && window > document.begin)) {
        return Deliver(document, document.begin, window, length);
    }
    return AssemblePiece(document, room, length);
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
    } else {
        document.memoryOffset = 0;
    }
    document.begin = 0;
    document.end = 0;
    document.holding = false;
    document.sourceEnded = false;
}

}  // namespace bloktar
