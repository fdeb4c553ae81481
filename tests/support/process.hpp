// Running the converter as a process, and the files around it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace testing_support {

struct ProgramRun {
    std::string out;  // every byte written to standard output
    int status;       // exit status, or -1 when a signal ended the process
};

// Runs the converter with args (argv[1] on), standard input fed from input, in directory cwd.
// The program is the one built with the tests, or the command in BLOKTAR_COMMAND (words split
// at spaces, e.g. "wine /path/bloktar.exe").
ProgramRun RunBloktar(const std::vector<std::string>& args, std::string_view input,
                      const std::string& cwd);

// A fresh empty directory, removed with its contents when the test process ends.
std::string MakeTempDir();

void WriteFile(const std::string& path, std::string_view bytes);
std::string ReadFile(const std::string& path);
bool FileExists(const std::string& path);
// The names in directory, sorted, without "." and "..".
std::vector<std::string> ListDirectory(const std::string& directory);

// The repository's own files (examples, test documents).
std::string SourcePath(const std::string& relative);

}  // namespace testing_support
