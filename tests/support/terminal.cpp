#include "support/terminal.hpp"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <stdexcept>
#include <thread>

namespace testing_support {
namespace {

void Apply(const std::string& name, const std::optional<std::string>& value) {
    if (value) {
        setenv(name.c_str(), value->c_str(), 1);
    } else {
        unsetenv(name.c_str());
    }
}

void WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw std::runtime_error("cannot feed the program");
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

// Runs the command's words with standard output on a pseudo-terminal, and standard input on a
// pipe fed with pipedInput or, when typeAfter is given, on the terminal where keys are typed.
TypedRun RunOnTerminal(std::vector<std::string> words, const std::string& cwd,
                       std::string_view pipedInput, const std::string_view* typeAfter,
                       std::string_view keys) {
    std::signal(SIGPIPE, SIG_IGN);
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);

    termios raw{};
    cfmakeraw(&raw);
    winsize size{};
    size.ws_row = 50;
    size.ws_col = 200;
    int terminal = -1;
    int screen = -1;
    if (openpty(&terminal, &screen, nullptr, &raw, &size) != 0) {
        throw std::runtime_error("openpty failed");
    }
    int toChild[2];
    if (pipe(toChild) != 0) throw std::runtime_error("pipe failed");
    const pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        dup2(typeAfter != nullptr ? screen : toChild[0], STDIN_FILENO);
        dup2(screen, STDOUT_FILENO);
        close(toChild[0]);
        close(toChild[1]);
        close(screen);
        close(terminal);
        if (chdir(cwd.c_str()) != 0) _exit(126);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(toChild[0]);
    close(screen);
    WriteAll(toChild[1], pipedInput);  // a line or two: it fits the pipe at once
    close(toChild[1]);

    // Collect until the terminal is closed on the program's side. Another process may have
    // inherited it (a helper the program started), so once the program has ended, stop when
    // nothing more arrives for a moment.
    TypedRun run{{}, -1, false};
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::minutes(1);
    bool typed = typeAfter == nullptr;
    bool ended = false;
    int status = 0;
    for (;;) {
        if (!typed && run.out.find(*typeAfter) != std::string::npos) {
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            run.waitedForKeys = waitpid(pid, &status, WNOHANG) == 0;
            ended = !run.waitedForKeys;
            WriteAll(terminal, keys);
            typed = true;
        }
        pollfd fd{terminal, POLLIN, 0};
        const int ready = poll(&fd, 1, 200);
        if (ready < 0 && errno == EINTR) continue;
        if (ready > 0) {
            char buffer[4096];
            const ssize_t n = read(terminal, buffer, sizeof buffer);
            if (n <= 0) break;  // EIO: no process has the terminal open any more
            run.out.append(buffer, static_cast<std::size_t>(n));
            continue;
        }
        if (ended) break;
        ended = waitpid(pid, &status, WNOHANG) == pid;
        if (!ended && Clock::now() > deadline) {
            kill(pid, SIGKILL);
            break;
        }
    }
    close(terminal);
    if (!ended) {
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// The words that run program with args.
std::vector<std::string> WithArguments(std::vector<std::string> program,
                                       const std::vector<std::string>& args) {
    program.insert(program.end(), args.begin(), args.end());
    return program;
}

}  // namespace

ProgramRun RunBloktarOnTerminal(const std::vector<std::string>& args, std::string_view input,
                                const std::string& cwd) {
    TypedRun run = RunOnTerminal(WithArguments(ProgramCommand(), args), cwd, input, nullptr, {});
    return {std::move(run.out), run.status};
}

ProgramRun RunInspectorOnTerminal(const std::vector<std::string>& args, std::string_view input,
                                  const std::string& cwd) {
    TypedRun run = RunOnTerminal(WithArguments(InspectorCommand(), args), cwd, input, nullptr, {});
    return {std::move(run.out), run.status};
}

TypedRun RunBloktarOnTerminalTyping(const std::vector<std::string>& args, const std::string& cwd,
                                    std::string_view typeAfter, std::string_view keys) {
    return RunOnTerminal(WithArguments(ProgramCommand(), args), cwd, {}, &typeAfter, keys);
}

ScopedEnvironment::ScopedEnvironment(
    const std::vector<std::pair<std::string, std::optional<std::string>>>& settings) {
    for (const auto& [name, value] : settings) {
        const char* current = std::getenv(name.c_str());
        earlier_.emplace_back(
            name, current == nullptr ? std::nullopt : std::optional<std::string>(current));
        Apply(name, value);
    }
}

ScopedEnvironment::~ScopedEnvironment() {
    for (auto it = earlier_.rbegin(); it != earlier_.rend(); ++it) Apply(it->first, it->second);
}

}  // namespace testing_support
