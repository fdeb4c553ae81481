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

// The words of the command that runs the converter: the program built with the tests, or the
// command in BLOKTAR_COMMAND split at spaces (e.g. "wine /path/bloktar.exe").
std::vector<std::string> ProgramCommand();

// True when the tests run the POSIX program built with them. Tests that depend on what only a
// POSIX process has (resource limits, FIFOs, permission bits, signals) skip themselves
// otherwise, with SKIP_UNLESS_NATIVE_PROGRAM.
bool ProgramIsNative();
// True when the command runs the Windows program (its last word names an ".exe"), under Wine.
bool ProgramIsWindows();

#define SKIP_UNLESS_NATIVE_PROGRAM(reason)                                                   \
    do {                                                                                     \
        if (!::testing_support::ProgramIsNative()) {                                         \
            GTEST_SKIP() << "needs the POSIX program built with the tests (BLOKTAR_COMMAND " \
                            "runs another): "                                                \
                         << (reason);                                                        \
        }                                                                                    \
    } while (false)

// Runs the converter with args (argv[1] on), standard input fed from input, in directory cwd.
// The program is the one built with the tests, or the command in BLOKTAR_COMMAND (words split
// at spaces, e.g. "wine /path/bloktar.exe").
ProgramRun RunBloktar(const std::vector<std::string>& args, std::string_view input,
                      const std::string& cwd);

// The words of the command that runs bloktar-inspect: the one built with the tests, or the
// command in BLOKTAR_INSPECT_COMMAND.
std::vector<std::string> InspectorCommand();

// Runs bloktar-inspect likewise: the one built with the tests, or the command in
// BLOKTAR_INSPECT_COMMAND.
ProgramRun RunInspector(const std::vector<std::string>& args, const std::string& cwd);

// Runs bloktar-reverse likewise, standard input fed from input: the one built with the tests,
// or the command in BLOKTAR_REVERSE_COMMAND.
ProgramRun RunReverse(const std::vector<std::string>& args, std::string_view input,
                      const std::string& cwd);

// Runs bloktar-compat likewise, with standard input fed from input: the one built with the
// tests, or the command in BLOKTAR_COMPAT_COMMAND.
ProgramRun RunCompat(const std::vector<std::string>& args, std::string_view input,
                     const std::string& cwd);

// Runs bloktar-export likewise, with standard input fed from input: the one built with the
// tests, or the command in BLOKTAR_EXPORT_COMMAND.
ProgramRun RunExporter(const std::vector<std::string>& args, std::string_view input,
                       const std::string& cwd);
// Runs bloktar-repair likewise, with standard input fed from input: the one built with the
// tests, or the command in BLOKTAR_REPAIR_COMMAND.
ProgramRun RunRepair(const std::vector<std::string>& args, std::string_view input,
                     const std::string& cwd);

// Runs any command (argv[0] looked up in PATH) likewise.
ProgramRun RunCommand(const std::vector<std::string>& argv, std::string_view input,
                      const std::string& cwd);

// Runs the document generator (bloktar-mqogen) with args and returns its exit status, or -1
// when a signal ended it.
int RunGenerator(const std::vector<std::string>& args);

// A fresh empty directory, removed with its contents when the test process ends.
std::string MakeTempDir();

void WriteFile(const std::string& path, std::string_view bytes);
std::string ReadFile(const std::string& path);
bool FileExists(const std::string& path);
// The names in directory, sorted, without "." and "..".
std::vector<std::string> ListDirectory(const std::string& directory);

// The repository's own files (examples, test documents).
std::string SourcePath(const std::string& relative);

// The path of a file the build writes, relative to the build folder.
std::string BuildPath(const std::string& relative);

// A converter process that keeps running while the test writes to its standard input and reads
// its standard output, for watching the closing pause.
class RunningBloktar {
  public:
    RunningBloktar(const std::vector<std::string>& args, const std::string& cwd);
    ~RunningBloktar();
    RunningBloktar(const RunningBloktar&) = delete;
    RunningBloktar& operator=(const RunningBloktar&) = delete;

    // Collects standard output until it ends with suffix (an empty suffix: until the output
    // ends), the output ends or timeoutMs pass; returns everything collected so far.
    std::string ReadUntil(std::string_view suffix, int timeoutMs);
    void Write(std::string_view text);
    void CloseInput();
    // True when the process has ended within timeoutMs; status as in ProgramRun.
    bool Ended(int timeoutMs, int& status);

  private:
    int pid_ = -1;
    int input_ = -1;
    int output_ = -1;
    std::string collected_;
    bool ended_ = false;
    int status_ = -1;
};

}  // namespace testing_support
