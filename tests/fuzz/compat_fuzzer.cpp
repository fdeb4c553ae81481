// libFuzzer target: the fuzzer's bytes are a document from today's modeller, or a .mqoz archive
// when they begin like one, taken through bloktar-compat's translation and converted in memory.
// Any broken invariant aborts, which libFuzzer reports and saves like a crash.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz/compat_check.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string broken = fuzzing::TranslateAndCheck(data, size);
    if (!broken.empty()) {
        std::fprintf(stderr, "==bloktar== invariant broken: %s\n", broken.c_str());
        std::abort();
    }
    return 0;
}
