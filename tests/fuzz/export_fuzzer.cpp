// libFuzzer target: the fuzzer's bytes are a BD1 file, exported into a .glb in memory and read
// back. Any broken invariant aborts, which libFuzzer reports and saves like a crash.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz/export_check.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string broken = fuzzing::ExportAndCheck(data, size);
    if (!broken.empty()) {
        std::fprintf(stderr, "==bloktar== invariant broken: %s\n", broken.c_str());
        std::abort();
    }
    return 0;
}
