#include "mqo/document.hpp"

#include <algorithm>
#include <cstring>

namespace bloktar {
namespace {

constexpr std::size_t kBufferSize = 64 * 1024;
constexpr char kCarriageReturn = '\r';
constexpr char kEndOfText = '\x1a';  // Ctrl-Z

void PrepareBuffer(Document& document) {
    if (!document.buffer) {
        document.buffer = std::make_unique<char[]>(kBufferSize);
        document.capacity = kBufferSize;
    }
    document.begin = 0;
    document.end = 0;
    document.sourceEnded = false;
}

// Fetches raw bytes from the source into the buffer; returns how many (0 at its end or on a
// read error).
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

// Removes every carriage return from text[0, size) in place; returns the new size.
std::size_t DropCarriageReturns(char* text, std::size_t size) {
    char* cr = static_cast<char*>(std::memchr(text, kCarriageReturn, size));
    if (cr == nullptr) return size;
    char* out = cr;
    const char* in = cr + 1;
    const char* stop = text + size;
    while (in < stop) {
        const char* next = static_cast<const char*>(
            std::memchr(in, kCarriageReturn, static_cast<std::size_t>(stop - in)));
        const char* runEnd = next != nullptr ? next : stop;
        std::size_t run = static_cast<std::size_t>(runEnd - in);
        std::memmove(out, in, run);
        out += run;
        in = runEnd + 1;
    }
    return static_cast<std::size_t>(out - text);
}

// Refills the empty buffer with translated bytes. Returns false when nothing more will come.
bool Refill(Document& document) {
    while (!document.sourceEnded) {
        char* text = document.buffer.get();
        std::size_t got = FetchRaw(document, text, document.capacity);
        if (got == 0) {
            // End of the source, or a read error, which reads as the end.
            document.sourceEnded = true;
            break;
        }
        const char* stop = static_cast<const char*>(std::memchr(text, kEndOfText, got));
        if (stop != nullptr) {
            got = static_cast<std::size_t>(stop - text);
            document.sourceEnded = true;
        }
        got = DropCarriageReturns(text, got);
        document.begin = 0;
        document.end = got;
        if (got > 0) return true;
    }
    return false;
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

bool ReadDocumentLine(char* buffer, int limit, Document& document) {
    const std::size_t room = limit > 1 ? static_cast<std::size_t>(limit) - 1 : 0;
    std::size_t stored = 0;
    while (stored < room) {
        if (document.begin == document.end && !Refill(document)) break;
        const char* from = document.buffer.get() + document.begin;
        std::size_t available = std::min(document.end - document.begin, room - stored);
        const char* newline = static_cast<const char*>(std::memchr(from, '\n', available));
        std::size_t take =
            newline != nullptr ? static_cast<std::size_t>(newline - from) + 1 : available;
        std::memcpy(buffer + stored, from, take);
        stored += take;
        document.begin += take;
        if (newline != nullptr) break;
    }
    if (stored == 0) return false;
    buffer[stored] = '\0';
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
    document.sourceEnded = false;
}

}  // namespace bloktar
