// bloktar-export: writes a BD1 file, or a document, as a binary glTF 2.0 file that 3D tools open.
#include <csignal>
#include <cstdio>

#include "export/export_run.hpp"

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
    return bloktar::exporter::RunExport(argc, argv, stdin, stdout);
}
#else
int main(int argc, char** argv) {
    // A closed console pipe must not stop the run half way; its writes just fail.
    std::signal(SIGPIPE, SIG_IGN);
    return bloktar::exporter::RunExport(argc, argv, stdin, stdout);
}
#endif
