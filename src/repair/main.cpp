// bloktar-repair: writes a document whose boxes the converter misreads as one in which every box
// stands where the converter reads it.
#include <csignal>
#include <cstdio>

#include "repair/repair_run.hpp"

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
    return bloktar::repair::RunRepair(argc, argv, stdin, stdout);
}
#else
int main(int argc, char** argv) {
    // A closed console pipe must not stop the run half way; its writes just fail.
    std::signal(SIGPIPE, SIG_IGN);
    return bloktar::repair::RunRepair(argc, argv, stdin, stdout);
}
#endif
