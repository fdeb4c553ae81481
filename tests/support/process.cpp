#include "support/process.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace testing_support {
namespace {

std::vector<std::string> ProgramCommand(const char* variable, const char* built) {
    const char* command = std::getenv(variable);
    if (command == nullptr || *command == '\0') return {built};
    std::vector<std::string> words;
    std::istringstream in(command);
    for (std::string word; in >> word;) words.push_back(word);
    return words;
}

}  // namespace

std::vector<std::string> ProgramCommand() {
    return ProgramCommand("BLOKTAR_COMMAND", BLOKTAR_PROGRAM);
}

bool ProgramIsNative() {
    const char* command = std::getenv("BLOKTAR_COMMAND");
    return command == nullptr || *command == '\0';
}

bool ProgramIsWindows() {
    const std::vector<std::string> words = ProgramCommand();
    if (words.empty()) return false;
    std::string program = words.back();
    std::transform(program.begin(), program.end(), program.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return program.ends_with(".exe");
}

namespace {

struct TempRoot {
    std::filesystem::path path;
    ~TempRoot() {
        std::error_code ignored;
        if (!path.empty()) std::filesystem::remove_all(path, ignored);
    }
};

// A started process with pipes to its standard input and from its standard output.
struct Child {
    pid_t pid;
    int input;
    int output;
};

Child StartProcess(std::vector<std::string> words, const std::string& cwd) {
    std::signal(SIGPIPE, SIG_IGN);  // a child that stops reading must not end the tests
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);

    int toChild[2];
    int fromChild[2];
    if (pipe(toChild) != 0 || pipe(fromChild) != 0) throw std::runtime_error("pipe failed");
    const pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        dup2(toChild[0], STDIN_FILENO);
        dup2(fromChild[1], STDOUT_FILENO);
        close(toChild[0]);
        close(toChild[1]);
        close(fromChild[0]);
        close(fromChild[1]);
        if (chdir(cwd.c_str()) != 0) _exit(126);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(toChild[0]);
    close(fromChild[1]);
    return Child{pid, toChild[1], fromChild[0]};
}

std::vector<std::string> BloktarCommand(const std::vector<std::string>& args) {
    std::vector<std::string> words = ProgramCommand("BLOKTAR_COMMAND", BLOKTAR_PROGRAM);
    words.insert(words.end(), args.begin(), args.end());
    return words;
}

}  // namespace

ProgramRun RunBloktar(const std::vector<std::string>& args, std::string_view input,
                      const std::string& cwd) {
    return RunCommand(BloktarCommand(args), input, cwd);
}

std::vector<std::string> InspectorCommand() {
    return ProgramCommand("BLOKTAR_INSPECT_COMMAND", BLOKTAR_INSPECT_PROGRAM);
}

ProgramRun RunInspector(const std::vector<std::string>& args, const std::string& cwd) {
    std::vector<std::string> words = InspectorCommand();
    words.insert(words.end(), args.begin(), args.end());
    return RunCommand(words, "", cwd);
}

ProgramRun RunReverse(const std::vector<std::string>& args, std::string_view input,
                      const std::string& cwd) {
    std::vector<std::string> words =
        ProgramCommand("BLOKTAR_REVERSE_COMMAND", BLOKTAR_REVERSE_PROGRAM);
    words.insert(words.end(), args.begin(), args.end());
    return RunCommand(words, input, cwd);
}

#ifdef BLOKTAR_EXPORT_PROGRAM
ProgramRun RunExporter(const std::vector<std::string>& args, std::string_view input,
                       const std::string& cwd) {
    std::vector<std::string> words =
        ProgramCommand("BLOKTAR_EXPORT_COMMAND", BLOKTAR_EXPORT_PROGRAM);
    words.insert(words.end(), args.begin(), args.end());
    return RunCommand(words, input, cwd);
}
#endif

ProgramRun RunRepair(const std::vector<std::string>& args, std::string_view input,
                     const std::string& cwd) {
    std::vector<std::string> words =
        ProgramCommand("BLOKTAR_REPAIR_COMMAND", BLOKTAR_REPAIR_PROGRAM);
    words.insert(words.end(), args.begin(), args.end());
    return RunCommand(words, input, cwd);
}

ProgramRun RunCompat(const std::vector<std::string>& args, std::string_view input,
                     const std::string& cwd) {
    std::vector<std::string> words =
        ProgramCommand("BLOKTAR_COMPAT_COMMAND", BLOKTAR_COMPAT_PROGRAM);
    words.insert(words.end(), args.begin(), args.end());
    return RunCommand(words, input, cwd);
}

ProgramRun RunCommand(const std::vector<std::string>& command, std::string_view input,
                      const std::string& cwd) {
    const Child child = StartProcess(command, cwd);
    fcntl(child.input, F_SETFL, O_NONBLOCK);

    // Feed standard input and collect standard output together, so neither pipe can stall.
    ProgramRun run{{}, -1};
    std::size_t fed = 0;
    int writeEnd = child.input;
    if (input.empty()) {
        close(writeEnd);
        writeEnd = -1;
    }
    for (;;) {
        pollfd fds[2] = {{child.output, POLLIN, 0}, {writeEnd, POLLOUT, 0}};
        const int ready = poll(fds, writeEnd >= 0 ? 2 : 1, -1);
        if (ready < 0 && errno == EINTR) continue;
        if (writeEnd >= 0 && (fds[1].revents & (POLLOUT | POLLERR | POLLHUP)) != 0) {
            const ssize_t n = write(writeEnd, input.data() + fed, input.size() - fed);
            if (n > 0) fed += static_cast<std::size_t>(n);
            if (n < 0 || fed == input.size()) {
                close(writeEnd);
                writeEnd = -1;
            }
        }
        if ((fds[0].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
            char buffer[65536];
            const ssize_t n = read(child.output, buffer, sizeof buffer);
            if (n <= 0) break;
            run.out.append(buffer, static_cast<std::size_t>(n));
        }
    }
    if (writeEnd >= 0) close(writeEnd);
    close(child.output);
    int status = 0;
    while (waitpid(child.pid, &status, 0) < 0 && errno == EINTR) {
    }
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

int RunGenerator(const std::vector<std::string>& args) {
    std::vector<std::string> words{BLOKTAR_MQOGEN};
    words.insert(words.end(), args.begin(), args.end());
    return RunCommand(words, "", ".").status;
}

std::string MakeTempDir() {
    static TempRoot root;
    if (root.path.empty()) {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "bloktar-test-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        root.path = pattern;
    }
    static int next = 0;
    const std::filesystem::path dir = root.path / std::to_string(next++);
    std::filesystem::create_directory(dir);
    return dir.string();
}

void WriteFile(const std::string& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

bool FileExists(const std::string& path) {
    std::error_code ignored;
    return std::filesystem::exists(std::filesystem::symlink_status(path, ignored));
}

std::vector<std::string> ListDirectory(const std::string& directory) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(directory)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string SourcePath(const std::string& relative) {
    return std::string(BLOKTAR_SOURCE_DIR) + "/" + relative;
}

std::string BuildPath(const std::string& relative) {
    return std::string(BLOKTAR_BINARY_DIR) + "/" + relative;
}

RunningBloktar::RunningBloktar(const std::vector<std::string>& args, const std::string& cwd) {
    const Child child = StartProcess(BloktarCommand(args), cwd);
    pid_ = child.pid;
    input_ = child.input;
    output_ = child.output;
}

RunningBloktar::~RunningBloktar() {
    CloseInput();
    int status = 0;
    if (!Ended(10000, status)) {
        kill(pid_, SIGKILL);
        while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
    }
    if (output_ >= 0) close(output_);
}

std::string RunningBloktar::ReadUntil(std::string_view suffix, int timeoutMs) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (output_ >= 0 && (suffix.empty() || !collected_.ends_with(suffix))) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) break;
        pollfd fd{output_, POLLIN, 0};
        const int ready = poll(&fd, 1, static_cast<int>(left));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) break;
        char buffer[4096];
        const ssize_t n = read(output_, buffer, sizeof buffer);
        if (n <= 0) {
            close(output_);
            output_ = -1;
            break;
        }
        collected_.append(buffer, static_cast<std::size_t>(n));
    }
    return collected_;
}

void RunningBloktar::Write(std::string_view text) {
    std::size_t done = 0;
    while (input_ >= 0 && done < text.size()) {
        const ssize_t n = write(input_, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
}

void RunningBloktar::CloseInput() {
    if (input_ >= 0) close(input_);
    input_ = -1;
}

bool RunningBloktar::Ended(int timeoutMs, int& status) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!ended_) {
        int raw = 0;
        const pid_t done = waitpid(pid_, &raw, WNOHANG);
        if (done == pid_) {
            ended_ = true;
            status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
            break;
        }
        if (Clock::now() >= deadline) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    status = status_;
    return ended_;
}

}  // namespace testing_support
