// The open document and its line input.
//
// A document is read as text: every carriage return is dropped, a Ctrl-Z byte ends it, and a
// read with limit L delivers at most L - 1 characters, stopping after a newline, like fgets.
// The same reader serves a file, a block of memory and any other source of bytes (one that
// hands out the bytes of a document made on the fly), so the whole conversion can run on bytes
// held in memory (tests, fuzzing, the inspector) or produced as they are read.
#pragma once

#include <algorithm>
#include <bit>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

#include "mqo/simd.hpp"

namespace bloktar {

// Readable bytes that every piece delivered in place has behind its terminating zero, so that
// the number readers may load a few bytes at a time without looking for the end first.
inline constexpr std::size_t kPieceReadAhead = 16;
// Readable bytes behind the buffer's last byte and the zero byte after it, for the line scans,
// which load up to 64 bytes at a time.
inline constexpr std::size_t kBufferReadAhead = 64;
// How far past their end the line scans (FindLineBreak, FindNewline) may read.
inline constexpr std::size_t kLineScanReadAhead = 31;
static_assert(kLineScanReadAhead <= kBufferReadAhead);
// A piece ends at the latest on the zero byte behind the buffer's last byte.
static_assert(kPieceReadAhead <= kBufferReadAhead);

// A source of document bytes besides a file and memory: hands out the bytes in order and can
// start again from the first.
class DocumentSource {
  public:
    virtual ~DocumentSource() = default;
    // Stores up to size of the next bytes at into; returns how many, 0 at the end (or on a
    // failure, which reads as the end).
    virtual std::size_t Read(char* into, std::size_t size) = 0;
    // Goes back to the first byte.
    virtual void Rewind() = 0;
};

struct Document {
    // Exactly one source: an open file (read from its start), bytes in memory, or a
    // DocumentSource.
    std::FILE* file = nullptr;
    DocumentSource* source = nullptr;
    const unsigned char* memory = nullptr;
    std::size_t memorySize = 0;
    std::size_t memoryOffset = 0;

    // Bytes of the source waiting to be delivered, as read, nothing from a Ctrl-Z on:
    // buffer[begin, end), followed by a zero byte. Carriage returns are removed as the pieces are
    // taken out; each piece is delivered in place, zero-terminated. The buffer holds capacity
    // bytes of the source, then room for a zero byte and kBufferReadAhead bytes, which are never
    // filled from it.
    std::unique_ptr<char[]> buffer;
    std::size_t capacity = 0;
    std::size_t begin = 0;
    std::size_t end = 0;
    // The last piece's terminating zero stands on buffer[begin]; heldByte is what it replaced.
    bool holding = false;
    char heldByte = 0;
    // Set by the end of the source, a read error or a Ctrl-Z; cleared only by a rewind.
    bool sourceEnded = false;
    // Set by a Ctrl-Z, which ended the document before its source did; cleared by a rewind.
    bool endOfText = false;
};

// Prepares a document over an open file, positioned at its first byte. The document does not
// own the file. It turns the stream's own buffering off (setvbuf), which must come before any
// other operation on the stream: open the file, then call this before anything reads it.
void OpenFileDocument(Document& document, std::FILE* file);

// Prepares a document over bytes in memory; the bytes must outlive the document.
void OpenMemoryDocument(Document& document, const void* bytes, std::size_t size);

// Prepares a document over a source, positioned at its first byte; the source must outlive the
// document.
void OpenSourceDocument(Document& document, DocumentSource& source);

// Reads the next line, or the next piece of a long line, into buffer (which holds at least
// limit bytes; limit is at least 2 and at most 64 KiB): at most limit - 1 characters, the newline
// included when it comes first, then a zero byte. Returns false at the end of the document
// (nothing stored).
bool ReadDocumentLine(char* buffer, int limit, Document& document);

namespace document_detail {

// The first carriage return or newline in [from, to), or to when there is none. May read up to
// 31 bytes past to, which the buffer's read-ahead bytes cover.
inline const char* FindLineBreak(const char* from, const char* to) {
#ifdef BLOKTAR_USE_SSE2
    static_assert(2 * sizeof(__m128i) - 1 == kLineScanReadAhead);
    const __m128i carriageReturn = _mm_set1_epi8('\r');
    const __m128i newline = _mm_set1_epi8('\n');
    for (const char* p = from; p < to; p += 32) {
        const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
        const auto mask = static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_or_si128(
                              _mm_cmpeq_epi8(low, carriageReturn), _mm_cmpeq_epi8(low, newline)))) |
                          static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_or_si128(
                              _mm_cmpeq_epi8(high, carriageReturn), _mm_cmpeq_epi8(high, newline))))
                              << 16;
        if (mask != 0) return std::min(p + std::countr_zero(mask), to);
    }
    return to;
#else
    const auto size = static_cast<std::size_t>(to - from);
    const void* newline = std::memchr(from, '\n', size);
    const char* stop = newline != nullptr ? static_cast<const char*>(newline) : to;
    const void* carriageReturn = std::memchr(from, '\r', static_cast<std::size_t>(stop - from));
    return carriageReturn != nullptr ? static_cast<const char*>(carriageReturn) : stop;
#endif
}

// The first newline in [from, to), or to when there is none; reads like FindLineBreak.
inline const char* FindNewline(const char* from, const char* to) {
#ifdef BLOKTAR_USE_SSE2
    const __m128i newline = _mm_set1_epi8('\n');
    for (const char* p = from; p < to; p += 32) {
        const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
        const auto mask =
            static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(low, newline))) |
            static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(high, newline))) << 16;
        if (mask != 0) return std::min(p + std::countr_zero(mask), to);
    }
    return to;
#else
    const void* newline = std::memchr(from, '\n', static_cast<std::size_t>(to - from));
    return newline != nullptr ? static_cast<const char*>(newline) : to;
#endif
}

#ifdef BLOKTAR_USE_SSE2
// Bit i set where text[i] is a newline, for i from 0 to 63, which it reads.
inline std::uint64_t NewlineMask64(const char* text) {
    static_assert(63 <= kBufferReadAhead);
    const __m128i newline = _mm_set1_epi8('\n');
    std::uint64_t mask = 0;
    for (int part = 0; part < 4; ++part) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + 16 * part));
        mask |= static_cast<std::uint64_t>(
                    static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, newline))))
                << (16 * part);
    }
    return mask;
}
#endif

// NextDocumentPiece for whatever its quick ways leave: carriage returns that do not end the
// line, a piece that continues beyond the bytes fetched so far, the end of the document.
const char* AssemblePiece(Document& document, std::size_t room, std::size_t& length);

}  // namespace document_detail

// Reads the next line or piece exactly like ReadDocumentLine, but leaves it in the document's
// buffer: returns it zero-terminated there, with its length (which counts any zero bytes in it),
// or null at the end of the document. The piece stays valid until the next read or rewind, and
// kPieceReadAhead bytes past its terminating zero may be read.
inline const char* NextDocumentPiece(Document& document, int limit, std::size_t& length) {
    char* text = document.buffer.get();
    if (document.holding) {
        text[document.begin] = document.heldByte;
        document.holding = false;
    }
    const std::size_t room = limit > 1 ? static_cast<std::size_t>(limit) - 1 : 0;
    if (room == 0) return nullptr;

    // The quick ways: the line ends within room characters with a newline, or with a carriage
    // return and a newline, or room characters come without either, or the document's last
    // characters. The piece's terminating zero replaces the byte behind it, which is kept.
    const std::size_t start = document.begin;
    const std::size_t window = std::min(document.end, start + room);
    const char* found = document_detail::FindLineBreak(text + start, text + window);
    std::size_t stop = window;
    if (found != text + window) {
        const auto at = static_cast<std::size_t>(found - text);
        if (*found == '\n') {
            stop = at + 1;
        } else if (at + 1 < document.end && text[at + 1] == '\n') {
            // Carriage return and newline become the newline and the terminating zero.
            text[at] = '\n';
            text[at + 1] = '\0';
            document.begin = at + 2;
            length = at + 1 - start;
            assert(text[start + length] == '\0');
            return text + start;
        } else {
            return document_detail::AssemblePiece(document, room, length);
        }
    } else if (window != start + room && (!document.sourceEnded || window == start)) {
        return document_detail::AssemblePiece(document, room, length);
    }
    document.heldByte = text[stop];
    document.holding = true;
    text[stop] = '\0';
    document.begin = stop;
    length = stop - start;
    assert(text[start + length] == '\0');
    return text + start;
}

// True when the zero-terminated text starts with the whole of prefix.
template <std::size_t N>
inline bool BeginsWith(const char* text, const char (&prefix)[N]) {
    for (std::size_t i = 0; i + 1 < N; ++i) {
        if (text[i] != prefix[i]) return false;
    }
    return true;
}

// For a reader that recognises a line by its shape before the line is delimited: the bytes at
// the read position as they were fetched, carriage returns still in them, up to the end of the
// bytes fetched so far, where a zero byte stands; kPieceReadAhead bytes past it may be read.
inline const char* PeekDocument(Document& document) {
    char* text = document.buffer.get();
    if (document.holding) {
        text[document.begin] = document.heldByte;
        document.holding = false;
    }
    // The bytes fetched so far end on a zero byte, read ahead of by the scanners.
    assert(text[document.end] == '\0');
    return text + document.begin;
}

// Takes the line at the read position as a read with limit would deliver it, when the caller
// has found that the line's text before stop holds no carriage return, newline, Ctrl-Z or zero
// byte, and a newline, or a carriage return and a newline, stands right at stop. Returns false,
// taking nothing, when no such line ending stands there among the bytes fetched, or when the
// line would come in more than one piece.
inline bool TakeLineEndingAt(Document& document, const char* stop, int limit) {
    const char* text = document.buffer.get();
    const auto at = static_cast<std::size_t>(stop - text);
    const std::size_t newline = text[at] == '\r' ? at + 1 : at;
    if (newline >= document.end || text[newline] != '\n') return false;
    if (static_cast<int>(at - document.begin) + 1 > limit - 1) return false;
    document.begin = newline + 1;
    return true;
}

// Passes over the lines from the read position on, one after another, while the read with limit
// that NextDocumentPiece would make delivers the line whole and it begins with two tabs: that is,
// while a line begins with two tabs and a newline ends it within limit - 1 bytes as fetched. For
// a reader that has nothing to do with such lines (vertex and face lines begin so).
inline void SkipTwoTabLines(Document& document, int limit) {
    const char* text = PeekDocument(document) - document.begin;
    const std::size_t end = document.end;
    // The newline must stand within limit - 1 bytes of the line's start.
    const auto longest = static_cast<std::size_t>(limit) - 2;
    std::size_t start = document.begin;
    // The zero byte behind the fetched bytes ends a comparison there.
    const auto twoTabs = [text](std::size_t at) {
        return text[at] == '\t' && text[at + 1] == '\t';
    };
    if (twoTabs(start)) {
#ifdef BLOKTAR_USE_SSE2
        // The newlines of 64 bytes at a time; the scan reads up to 63 bytes past the end, which
        // the buffer's read-ahead covers, and newlines found there do not count.
        for (std::size_t block = start; block < end; block += 64) {
            std::uint64_t newlines = document_detail::NewlineMask64(text + block);
            if (end - block < 64) newlines &= (std::uint64_t{1} << (end - block)) - 1;
            for (; newlines != 0; newlines &= newlines - 1) {
                const std::size_t newline =
                    block + static_cast<std::size_t>(std::countr_zero(newlines));
                if (newline - start > longest) break;
                start = newline + 1;
                if (!twoTabs(start)) break;
            }
            // Stopped at a line that is passed over no further; or one too long for the limit.
            if (newlines != 0 || block + 64 - start > longest) break;
        }
#else
        for (;;) {
            const char* window = text + std::min(end, start + longest + 1);
            const char* newline = document_detail::FindNewline(text + start, window);
            if (newline == window) break;
            start = static_cast<std::size_t>(newline + 1 - text);
            if (!twoTabs(start)) break;
        }
#endif
    }
    document.begin = start;
}

// Goes back to the document's first byte; a Ctrl-Z or an end seen before no longer counts.
void RewindDocument(Document& document);

}  // namespace bloktar
