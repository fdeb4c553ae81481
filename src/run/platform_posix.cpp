// The operating system's part of the run on POSIX systems.
#ifndef _WIN32

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include "run/atomic_file.hpp"
#include "run/platform.hpp"

namespace bloktar {
namespace {

// The directory that holds path: everything before its last slash.
std::string DirectoryOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

bool WriteAll(int fd, const void* bytes, std::size_t size) {
    const char* from = static_cast<const char*>(bytes);
    while (size > 0) {
        const ssize_t written = ::write(fd, from, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        from += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

mode_t CurrentUmask() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

// Reads up to size bytes from offset on, never moving the descriptor's place; got (zero on
// entry) says how many, fewer only at the end.
bool ReadDescriptorAt(int descriptor, std::uint64_t offset, char* into, std::size_t size,
                      std::size_t& got) {
    while (got < size) {
        const std::uint64_t at = offset + got;
        if (at > static_cast<std::uint64_t>(std::numeric_limits< ::off_t>::max())) return false;
        const std::size_t step = std::min<std::size_t>(size - got, std::size_t{1} << 30);
        const ::ssize_t read = ::pread(descriptor, into + got, step, static_cast< ::off_t>(at));
        if (read == 0) break;
        if (read < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        got += static_cast<std::size_t>(read);
    }
    return true;
}

}  // namespace

std::FILE* OpenInputDocument(const char* path) {
    if (path == nullptr || std::strlen(path) > kMaxPathLength) return nullptr;
    // Non-blocking, so that opening a FIFO does not wait for a writer.
    const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat status;
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        ::close(fd);
        return nullptr;
    }
    std::FILE* file = ::fdopen(fd, "rb");
    if (file == nullptr) ::close(fd);
    return file;
}

std::string OutputPathFor(const char* inputPath) {
    return std::string(inputPath) + ".bd1";
}

AtomicFile::AtomicFile(std::string path) : path_(std::move(path)) {}

AtomicFile::~AtomicFile() {
    Abandon();
}

bool AtomicFile::Create() {
    std::string name = DirectoryOf(path_) + "/.bloktar-XXXXXX";
    const int fd = ::mkstemp(name.data());
    if (fd < 0) return false;
    handle_ = fd;
    tempPath_ = std::move(name);
    // A replaced output keeps its permission bits; a new one gets those of a plain create.
    struct stat existing;
    const mode_t mode = ::stat(path_.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)
                            ? (existing.st_mode & 07777)
                            : (0666 & ~CurrentUmask());
    ::fchmod(fd, mode);  // the bits are a courtesy: a file system without them still gets the file
    return true;
}

bool AtomicFile::Write(const void* bytes, std::size_t size) {
    return handle_ >= 0 && WriteAll(static_cast<int>(handle_), bytes, size);
}

bool AtomicFile::ReadAt(std::uint64_t offset, void* into, std::size_t size,
                        std::size_t& got) const {
    got = 0;
    return handle_ >= 0 &&
           ReadDescriptorAt(static_cast<int>(handle_), offset, static_cast<char*>(into), size, got);
}

bool AtomicFile::Commit() {
    if (handle_ < 0) return false;
    const int fd = static_cast<int>(handle_);
    handle_ = -1;
    if (::close(fd) != 0) return false;
    if (::rename(tempPath_.c_str(), path_.c_str()) != 0) return false;
    tempPath_.clear();
    return true;
}

void AtomicFile::Abandon() {
    if (handle_ >= 0) {
        ::close(static_cast<int>(handle_));
        handle_ = -1;
    }
    if (!tempPath_.empty()) {
        ::unlink(tempPath_.c_str());
        tempPath_.clear();
    }
}

bool DocumentNamePath(const std::string& folder, std::string_view name, std::string& path) {
    // The bytes stay as they are; a backslash that is a single byte (not the second byte of a
    // Shift_JIS character) becomes the folder separator.
    std::string converted;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto byte = static_cast<unsigned char>(name[i]);
        const bool lead = (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
        if (lead && i + 1 < name.size()) {
            converted += name.substr(i, 2);
            ++i;
        } else {
            converted += byte == '\\' ? '/' : name[i];
        }
    }
    path = folder + converted;
    return true;
}

bool ConsoleWindowIsOwn(std::FILE*) {
    return false;
}

std::unique_ptr<Console> MakeProcessConsole(std::FILE* stream) {
    const bool terminal = ::isatty(::fileno(stream)) == 1;
    const bool utf8 =
        LocaleUsesUtf8(std::getenv("LC_ALL"), std::getenv("LC_CTYPE"), std::getenv("LANG"));
    return std::make_unique<StreamConsole>(stream, ChooseConsoleEncoding(terminal, utf8));
}

bool ReadFileAt(std::FILE* file, std::uint64_t offset, char* into, std::size_t size,
                std::size_t& got) {
    got = 0;
    const int descriptor = ::fileno(file);
    return descriptor >= 0 && ReadDescriptorAt(descriptor, offset, into, size, got);
}

MappedFile::~MappedFile() {
    if (bytes_ != nullptr) ::munmap(const_cast<char*>(bytes_), size_);
}

bool MappedFile::Map(std::FILE* file) {
    const int descriptor = ::fileno(file);
    struct ::stat status {};
    if (bytes_ != nullptr || descriptor < 0 || ::fstat(descriptor, &status) != 0 ||
        !S_ISREG(status.st_mode) || status.st_size <= 0 ||
        static_cast<std::uintmax_t>(status.st_size) > std::numeric_limits<std::size_t>::max()) {
        return false;
    }
    const auto size = static_cast<std::size_t>(status.st_size);
    // Not populated here: the threads that read it first map its pages as they come, a run of
    // them at a time, and the one that maps it goes on at once.
    void* bytes = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, descriptor, 0);
    if (bytes == MAP_FAILED) return false;
    bytes_ = static_cast<const char*>(bytes);
    size_ = size;
    return true;
}

void MappedFile::Release(std::size_t begin, std::size_t end) const {
    const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    end = std::min(end, size_);
    if (bytes_ == nullptr || begin >= end || page == 0) return;
    const auto first = (reinterpret_cast<std::uintptr_t>(bytes_ + begin) + page - 1) / page * page;
    const auto last = reinterpret_cast<std::uintptr_t>(bytes_ + end) / page * page;
    if (first < last) ::madvise(reinterpret_cast<void*>(first), last - first, MADV_DONTNEED);
}

void PreferHugePages([[maybe_unused]] const void* memory, [[maybe_unused]] std::size_t size) {
#ifdef MADV_HUGEPAGE
    constexpr std::uintptr_t kHugePage = 2u << 20;
    if (size < kHugePage) return;
    constexpr std::uintptr_t kPage = 4096;
    const auto first = (reinterpret_cast<std::uintptr_t>(memory) + kPage - 1) & ~(kPage - 1);
    const auto last = (reinterpret_cast<std::uintptr_t>(memory) + size) & ~(kPage - 1);
    ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#endif
}

Room ObtainRoom(std::size_t size) {
    constexpr std::size_t kHugePage = std::size_t{2} << 20;
    void* room = nullptr;
    if (size >= kHugePage && size <= std::numeric_limits<std::size_t>::max() - kHugePage) {
        const std::size_t whole = (size + kHugePage - 1) / kHugePage * kHugePage;
        room = std::aligned_alloc(kHugePage, whole);
        if (room != nullptr) PreferHugePages(room, whole);
    } else {
        room = std::malloc(size > 0 ? size : 1);
    }
    if (room == nullptr) throw std::bad_alloc();
    return Room(static_cast<char*>(room));
}

void RoomDeleter::operator()(char* room) const {
    std::free(room);
}

struct WorkerThread::State {
    std::thread thread;
    std::mutex mutex;
    std::condition_variable grown;
    std::size_t count = 0;
    bool final = false;
};

WorkerThread::WorkerThread() : state_(std::make_unique<State>()) {}

WorkerThread::~WorkerThread() {
    if (state_->thread.joinable()) state_->thread.join();
}

void WorkerThread::Run(void (*work)(void*), void* context) {
    try {
        state_->thread = std::thread(work, context);
    } catch (const std::system_error&) {
        work(context);
    }
}

void WorkerThread::Publish(std::size_t count, bool final) {
    {
        const std::lock_guard<std::mutex> lock(state_->mutex);
        state_->count = count;
        state_->final = final;
    }
    state_->grown.notify_one();
}

std::size_t WorkerThread::WaitBeyond(std::size_t seen, bool& final) {
    std::unique_lock<std::mutex> lock(state_->mutex);
    state_->grown.wait(lock, [&] { return state_->count > seen || state_->final; });
    final = state_->final;
    return state_->count;
}

std::size_t WorkerThread::Ready(bool& final) {
    const std::lock_guard<std::mutex> lock(state_->mutex);
    final = state_->final;
    return state_->count;
}

void WorkerThread::Locked(void (*step)(void*), void* context) {
    const std::lock_guard<std::mutex> lock(state_->mutex);
    step(context);
}

}  // namespace bloktar

#endif  // _WIN32
