// libFuzzer target: the fuzzer's bytes are a BD1 file, reversed into a document in memory and
// converted back. Any broken invariant aborts, which libFuzzer reports and saves like a crash.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz/reverse_check.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string broken = fuzzing::ReverseAndCheck(data, size);
    if (!broken.empty()) {
        std::fprintf(stderr, "==bloktar== invariant broken: %s\n", broken.c_str());
        std::abort();
    }
    return 0;
}
