// bloktar-compat: converts a document saved by today's modeller (Ver 1.1 or 1.2, UTF-8 names,
// binary vertices, a .mqoz archive) exactly as the converter converts its Ver 1.0 form.
#include <csignal>
#include <cstdio>

#include "compat/compat_run.hpp"

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
    return bloktar::compat::RunCompat(argc, argv, stdin, stdout);
}
#else
int main(int argc, char** argv) {
    // A closed console pipe must not stop the run half way; its writes just fail.
    std::signal(SIGPIPE, SIG_IGN);
    return bloktar::compat::RunCompat(argc, argv, stdin, stdout);
}
#endif
