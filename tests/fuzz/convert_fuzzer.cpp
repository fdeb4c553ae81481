// libFuzzer target: the fuzzer's bytes are the document, converted entirely in memory and read
// once more by the plain reference reader. Any broken invariant or difference aborts, which
// libFuzzer reports and saves like a crash.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz/conversion_check.hpp"
#include "fuzz/reader_check.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string broken = fuzzing::ConvertAndCheck(data, size);
    if (broken.empty()) broken = fuzzing::CompareWithReference(data, size);
    if (!broken.empty()) {
        std::fprintf(stderr, "==bloktar== invariant broken: %s\n", broken.c_str());
        std::abort();
    }
    return 0;
}
