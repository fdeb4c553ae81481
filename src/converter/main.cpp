// bloktar: converts a Metasequoia text document into a BD1 block file.
#include <csignal>
#include <cstdio>

#include "converter/run.hpp"

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
    return bloktar::RunConverter(argc, argv, stdin, stdout);
}
#else
int main(int argc, char** argv) {
    // A closed console pipe must not stop the run half way; its writes just fail.
    std::signal(SIGPIPE, SIG_IGN);
    return bloktar::RunConverter(argc, argv, stdin, stdout);
}
#endif
