// bloktar-reverse: writes a BD1 block file back as a Metasequoia document that the converter
// turns into the same file.
#include <csignal>
#include <cstdio>

#include "reverse/reverse.hpp"

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
    return bloktar::reverse::RunReverse(argc, argv, stdin, stdout);
}
#else
int main(int argc, char** argv) {
    // A closed console pipe must not stop the run half way; its writes just fail.
    std::signal(SIGPIPE, SIG_IGN);
    return bloktar::reverse::RunReverse(argc, argv, stdin, stdout);
}
#endif
