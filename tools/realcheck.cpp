// bloktar-realcheck: checks, for every one of the 2^32 float bit patterns, that the text
// FormatDocumentReal writes for it reads back as exactly that float: through the reader's
// decimal reading (ReadsBackAs), through the vertex chunk reader as the converter reads a document
// (three times on one line, as x, y and z; x is mirrored on reading), and through the general
// vertex-line reader. A NaN must get no text. FormatDocumentReal's quick way for plain decimals
// must write exactly the text of its general way wherever it writes one. Not part of any program.
//
//   bloktar-realcheck [--threads N] [--first HEX] [--count N] [--every K]
//
// --every K checks only every K-th run of 65,536 patterns (those whose top 16 bits are a
// multiple of K), a sample over every sign and exponent; the tests run it so.
//
// Prints the patterns checked, how many texts are not std::to_chars' shortest (the fallback
// for a double rounding), the failures (the first few of them) and the time taken; exits with
// status 1 on any failure.
#include <atomic>
#include <bit>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "mqo/document.hpp"
#include "mqo/mqo.hpp"
#include "mqo/number_text.hpp"

namespace {

using bloktar::kRealTextCapacity;

constexpr std::uint64_t kBatch = 1u << 16;

struct Totals {
    std::atomic<std::uint64_t> checked{0};
    std::atomic<std::uint64_t> nans{0};
    std::atomic<std::uint64_t> fallbacks{0};
    std::atomic<std::uint64_t> quick{0};
    std::atomic<std::uint64_t> failures{0};
    std::mutex printing;
};

bool SameBits(float a, float b) {
    return std::bit_cast<std::uint32_t>(a) == std::bit_cast<std::uint32_t>(b);
}

void Fail(Totals& totals, std::uint32_t bits, const char* text, const char* how) {
    if (totals.failures++ < 20) {
        const std::lock_guard<std::mutex> lock(totals.printing);
        std::printf("FAIL %08x \"%s\": %s\n", bits, text, how);
    }
}

// Checks the patterns [first, first + count), kBatch at a time.
void CheckRange(std::uint64_t first, std::uint64_t count, std::uint64_t every, Totals& totals) {
    std::string lines;
    std::vector<std::uint32_t> patterns;
    std::vector<bloktar::MQO_VERTEX> vertices(kBatch);
    for (std::uint64_t start = first; start < first + count; start += kBatch) {
        const std::uint64_t end = std::min(first + count, start + kBatch);
        if ((start / kBatch) % every != 0) continue;
        lines.clear();
        patterns.clear();
        std::uint64_t fallbacks = 0;
        std::uint64_t nans = 0;
        std::uint64_t quick = 0;
        for (std::uint64_t p = start; p < end; ++p) {
            const auto bits = static_cast<std::uint32_t>(p);
            const float value = std::bit_cast<float>(bits);
            char text[kRealTextCapacity];
            const std::size_t length = bloktar::FormatDocumentReal(value, text);
            if (std::isnan(value)) {
                ++nans;
                if (length != 0) Fail(totals, bits, text, "a NaN got a text");
                continue;
            }
            if (length == 0 || length >= kRealTextCapacity || std::strlen(text) != length) {
                Fail(totals, bits, "", "no text");
                continue;
            }
            // Wherever the quick way writes a text, it is the general way's (elsewhere
            // FormatDocumentReal is the general way); hints of every number of places, and none,
            // give the same text.
            char plain[kRealTextCapacity];
            int hint = static_cast<int>(p % 11);
            if (bloktar::number_text_detail::FormatPlainReal(value, plain, hint) != 0) {
                ++quick;
                char general[kRealTextCapacity];
                bloktar::number_text_detail::FormatRealByDigits(value, general);
                if (std::strcmp(plain, general) != 0) Fail(totals, bits, plain, "quick way");
                if (std::strcmp(plain, text) != 0) Fail(totals, bits, text, "not the quick text");
            }
            char shortest[64];
            *std::to_chars(shortest, shortest + sizeof shortest - 1, value).ptr = '\0';
            if (!std::isinf(value) && std::strcmp(shortest, text) != 0) ++fallbacks;
            if (!bloktar::ReadsBackAs(text, value)) Fail(totals, bits, text, "ReadsBackAs");
            patterns.push_back(bits);
            lines += "\t\t";
            for (int i = 0; i < 3; ++i) {
                lines.append(text, length);
                lines += i < 2 ? ' ' : '\n';
            }
        }
        const std::size_t linesSize = lines.size();
        lines += "\t}\n";
        lines.append(bloktar::kPieceReadAhead + 1, '\0');  // read-ahead slack for the scanners

        // As the converter reads a vertex chunk.
        bloktar::Document document;
        bloktar::OpenMemoryDocument(document, lines.data(), linesSize + 3);
        std::size_t counter = 0;
        bloktar::ReadVertexChunk(document, vertices, counter);
        if (counter != patterns.size()) {
            Fail(totals, static_cast<std::uint32_t>(start), "", "vertex chunk count");
        }
        // The general vertex-line reader on each line where it stands.
        const char* line = lines.data();
        for (std::size_t i = 0; i < patterns.size(); ++i) {
            const float value = std::bit_cast<float>(patterns[i]);
            const bloktar::MQO_VERTEX& read = vertices[i];
            if (i < counter &&
                !(SameBits(read.x, -value) && SameBits(read.y, value) && SameBits(read.z, value))) {
                Fail(totals, patterns[i], "", "vertex chunk reader");
            }
            bloktar::MQO_VERTEX general{};
            if (!bloktar::ReadVertexLine(line, general) || !SameBits(general.x, -value) ||
                !SameBits(general.y, value) || !SameBits(general.z, value)) {
                Fail(totals, patterns[i], "", "vertex line reader");
            }
            line = std::strchr(line, '\n') + 1;
        }
        totals.checked += end - start;
        totals.nans += nans;
        totals.fallbacks += fallbacks;
        totals.quick += quick;
    }
}

}  // namespace

int main(int argc, char** argv) {
    unsigned threads = 2;
    std::uint64_t first = 0;
    std::uint64_t count = std::uint64_t{1} << 32;
    std::uint64_t every = 1;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--threads")
            threads = static_cast<unsigned>(std::strtoul(argv[i + 1], nullptr, 10));
        if (option == "--first") first = std::strtoull(argv[i + 1], nullptr, 16);
        if (option == "--count") count = std::strtoull(argv[i + 1], nullptr, 10);
        if (option == "--every") every = std::strtoull(argv[i + 1], nullptr, 10);
    }
    if (threads == 0 || every == 0 || first + count > (std::uint64_t{1} << 32)) {
        std::fprintf(stderr,
                     "usage: bloktar-realcheck [--threads N] [--first HEX] [--count N] "
                     "[--every K]\n");
        return 2;
    }
    const auto began = std::chrono::steady_clock::now();
    Totals totals;
    std::vector<std::thread> workers;
    // Interleaved slices, so that both threads meet every kind of float.
    const std::uint64_t slice = kBatch * 64;
    std::atomic<std::uint64_t> next{first};
    for (unsigned t = 0; t < threads; ++t) {
        workers.emplace_back([&] {
            for (;;) {
                const std::uint64_t start = next.fetch_add(slice);
                if (start >= first + count) return;
                CheckRange(start, std::min(slice, first + count - start), every, totals);
            }
        });
    }
    for (std::thread& worker : workers) worker.join();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    std::printf(
        "patterns checked: %llu (NaN: %llu)\nnot std::to_chars' text (fallback): %llu\n"
        "written the quick way: %llu\nfailures: %llu\ntime: %.1f s with %u threads\n",
        static_cast<unsigned long long>(totals.checked.load()),
        static_cast<unsigned long long>(totals.nans.load()),
        static_cast<unsigned long long>(totals.fallbacks.load()),
        static_cast<unsigned long long>(totals.quick.load()),
        static_cast<unsigned long long>(totals.failures.load()), seconds, threads);
    return totals.failures.load() == 0 ? 0 : 1;
}
