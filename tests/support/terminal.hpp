// Running the converter with its standard output on a terminal, and the environment it sees.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "support/process.hpp"

namespace testing_support {

// Runs the converter as RunBloktar does, but with standard output on a pseudo-terminal that
// passes bytes through untranslated (no "\n" to "\r\n"); standard input is a pipe fed from
// input. Returns the bytes the terminal received and the exit status. A program still running
// after a minute is killed (status -1).
ProgramRun RunBloktarOnTerminal(const std::vector<std::string>& args, std::string_view input,
                                const std::string& cwd);

// Runs bloktar-inspect (InspectorCommand()) likewise, its standard output on a terminal.
ProgramRun RunInspectorOnTerminal(const std::vector<std::string>& args, std::string_view input,
                                  const std::string& cwd);

// A run whose standard input is the terminal too, typed on by a person.
struct TypedRun {
    std::string out;
    int status;
    // The program was still running, half a second after it had printed typeAfter, when the keys
    // were typed.
    bool waitedForKeys;
};

// Runs the converter with standard input and output on one pseudo-terminal (untranslated, as
// above); once the output holds typeAfter, waits half a second and types keys.
TypedRun RunBloktarOnTerminalTyping(const std::vector<std::string>& args, const std::string& cwd,
                                    std::string_view typeAfter, std::string_view keys);

// Sets (a value) or unsets (nullopt) environment variables, which the programs run meanwhile
// inherit, and puts the earlier values back when it goes.
class ScopedEnvironment {
  public:
    explicit ScopedEnvironment(
        const std::vector<std::pair<std::string, std::optional<std::string>>>& settings);
    ~ScopedEnvironment();
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

  private:
    std::vector<std::pair<std::string, std::optional<std::string>>> earlier_;
};

}  // namespace testing_support
