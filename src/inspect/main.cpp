// bloktar-inspect: explains a document block by block, or reads a BD1 file back, and can draw
// the blocks.
#include <csignal>
#include <cstdio>

#include "inspect/command.hpp"

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
    return bloktar::inspect::RunInspector(argc, argv, stdout);
}
#else
int main(int argc, char** argv) {
    // A closed console pipe (| head) must not kill the process; its writes just fail.
    std::signal(SIGPIPE, SIG_IGN);
    return bloktar::inspect::RunInspector(argc, argv, stdout);
}
#endif
