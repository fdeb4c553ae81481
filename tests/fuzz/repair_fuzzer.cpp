// libFuzzer target: the fuzzer's bytes are a document's Ver 1.0 form, repaired in memory. Any
// broken invariant aborts, which libFuzzer reports and saves like a crash.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz/repair_check.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string broken = fuzzing::RepairAndCheck(data, size);
    if (!broken.empty()) {
        std::fprintf(stderr, "==bloktar== invariant broken: %s\n", broken.c_str());
        std::abort();
    }
    return 0;
}
