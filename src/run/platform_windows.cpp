// The operating system's part of the run on Windows. File names are UTF-16 throughout, as the
// command line hands them over, so that any name Explorer can pass opens.
#ifdef _WIN32

#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cwchar>
#include <limits>
#include <new>

#include "run/atomic_file.hpp"
#include "run/platform.hpp"
#include "run/unicode.hpp"

namespace bloktar {
namespace {

constexpr std::intptr_t kNoHandle = -1;

HANDLE AsHandle(std::intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

bool IsValid(HANDLE handle) {
    return reinterpret_cast<std::intptr_t>(handle) != kNoHandle && handle != nullptr;
}

// The absolute form of path, as the file functions resolve it (relative to the current folder
// and drive, "/" read as "\"); empty when it cannot be formed.
std::wstring FullPath(const std::wstring& path) {
    if (path.empty()) return {};
    std::wstring full(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (length == 0) return {};
        if (length < full.size()) {
            full.resize(length);
            return full;
        }
        full.resize(length);  // too small: length is the size needed
    }
}

// A full path in the form the file functions take at any length: paths of MAX_PATH characters
// or more get the "\\?\" prefix, which lifts the limit (the path is already normalised).
std::wstring LongForm(const std::wstring& full) {
    if (full.size() < MAX_PATH || full.starts_with(L"\\\\?\\") || full.starts_with(L"\\\\.\\")) {
        return full;
    }
    if (full.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);  // \\server\share
    return L"\\\\?\\" + full;
}

bool WriteAll(HANDLE file, const void* bytes, std::size_t size) {
    const char* from = static_cast<const char*>(bytes);
    while (size > 0) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size, 1U << 30));
        DWORD written = 0;
        if (!WriteFile(file, from, chunk, &written, nullptr) || written == 0) return false;
        from += written;
        size -= written;
    }
    return true;
}

// The run's console text on a console window: the program's texts as UTF-16, which shows them
// whatever the console's code page; document bytes and numbers as they are, shown in the
// console's code page like any other program's bytes.
class ConsoleWindow final : public Console {
  public:
    explicit ConsoleWindow(HANDLE console) : console_(console) {}

    void Text(const ConsoleText& text) override {
        const std::string_view utf8 = text.utf8;
        if (utf8.empty()) return;
        std::u16string utf16;
        if (!Utf8ToUtf16(utf8, utf16)) return;
        const std::wstring wide(utf16.begin(), utf16.end());
        const wchar_t* from = wide.data();
        DWORD left = static_cast<DWORD>(wide.size());
        while (left > 0) {
            DWORD written = 0;
            if (!WriteConsoleW(console_, from, left, &written, nullptr) || written == 0) return;
            from += written;
            left -= written;
        }
    }

    void Bytes(std::string_view bytes) override {
        const char* from = bytes.data();
        std::size_t left = bytes.size();
        while (left > 0) {
            const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(left, 1U << 16));
            DWORD written = 0;
            if (!WriteConsoleA(console_, from, chunk, &written, nullptr) || written == 0) return;
            from += written;
            left -= written;
        }
    }

  private:
    HANDLE console_;
};

// Reads up to size bytes from offset on; got (zero on entry) says how many, fewer only at the
// end. The place is given with each read: the handle's own position is never relied on (a read
// moves it, on a handle opened for synchronous use).
bool ReadHandleAt(HANDLE handle, std::uint64_t offset, char* into, std::size_t size,
                  std::size_t& got) {
    while (got < size) {
        const std::uint64_t at = offset + got;
        OVERLAPPED place{};
        place.Offset = static_cast<DWORD>(at);
        place.OffsetHigh = static_cast<DWORD>(at >> 32);
        const auto step = static_cast<DWORD>(std::min<std::size_t>(size - got, DWORD{1} << 30));
        DWORD read = 0;
        if (!ReadFile(handle, into + got, step, &read, &place)) {
            return GetLastError() == ERROR_HANDLE_EOF;
        }
        if (read == 0) break;
        got += read;
    }
    return true;
}

}  // namespace

std::FILE* OpenInputDocument(const wchar_t* path) {
    if (path == nullptr || std::wcslen(path) > kMaxPathLength) return nullptr;
    const std::wstring full = FullPath(path);
    // The device namespace ("CON", "NUL", "\\.\COM1", ...) never names a document.
    if (full.empty() || full.starts_with(L"\\\\.\\")) return nullptr;
    // Opening does not wait on anything; what was opened is checked before it is read.
    const HANDLE file = CreateFileW(LongForm(full).c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (!IsValid(file)) return nullptr;
    BY_HANDLE_FILE_INFORMATION information;
    if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &information) ||
        (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        CloseHandle(file);
        return nullptr;
    }
    const int fd = _open_osfhandle(reinterpret_cast<std::intptr_t>(file), _O_RDONLY | _O_BINARY);
    if (fd < 0) {
        CloseHandle(file);
        return nullptr;
    }
    std::FILE* stream = _fdopen(fd, "rb");
    if (stream == nullptr) _close(fd);  // closes the file too
    return stream;
}

std::wstring OutputPathFor(const wchar_t* inputPath) {
    return std::wstring(inputPath) + L".bd1";
}

AtomicFile::AtomicFile(std::wstring path) : path_(std::move(path)) {}

AtomicFile::~AtomicFile() {
    Abandon();
}

bool AtomicFile::Create() {
    const std::wstring output = FullPath(path_);
    const std::size_t separator = output.find_last_of(L"\\/");
    if (separator == std::wstring::npos) return false;
    const std::wstring folder = output.substr(0, separator + 1);
    path_ = output;
    // A short name of the program's own, made unique by trying until one is new.
    const DWORD seed = GetCurrentProcessId() * 2654435761U ^ GetTickCount();
    for (DWORD attempt = 0; attempt < 100; ++attempt) {
        wchar_t name[32];
        std::swprintf(name, 32, L"~bloktar-%06lx.tmp",
                      static_cast<unsigned long>((seed + attempt * 40503U) & 0xFFFFFFU));
        const std::wstring candidate = folder + name;
        const HANDLE file = CreateFileW(LongForm(candidate).c_str(), GENERIC_READ | GENERIC_WRITE,
                                        0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (IsValid(file)) {
            handle_ = reinterpret_cast<std::intptr_t>(file);
            tempPath_ = candidate;
            return true;
        }
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return false;
    }
    return false;
}

bool AtomicFile::Write(const void* bytes, std::size_t size) {
    return handle_ != kNoHandle && WriteAll(AsHandle(handle_), bytes, size);
}

bool AtomicFile::ReadAt(std::uint64_t offset, void* into, std::size_t size,
                        std::size_t& got) const {
    got = 0;
    if (handle_ == kNoHandle) return false;
    const HANDLE file = AsHandle(handle_);
    const bool read = ReadHandleAt(file, offset, static_cast<char*>(into), size, got);
    // The read moved the file's place; writes go on at its end.
    LARGE_INTEGER none{};
    return SetFilePointerEx(file, none, nullptr, FILE_END) && read;
}

bool AtomicFile::Commit() {
    if (handle_ == kNoHandle) return false;
    const HANDLE file = AsHandle(handle_);
    handle_ = kNoHandle;
    if (!CloseHandle(file)) return false;
    if (!MoveFileExW(LongForm(tempPath_).c_str(), LongForm(path_).c_str(),
                     MOVEFILE_REPLACE_EXISTING)) {
        return false;
    }
    tempPath_.clear();
    return true;
}

void AtomicFile::Abandon() {
    if (handle_ != kNoHandle) {
        CloseHandle(AsHandle(handle_));
        handle_ = kNoHandle;
    }
    if (!tempPath_.empty()) {
        DeleteFileW(LongForm(tempPath_).c_str());
        tempPath_.clear();
    }
}

bool DocumentNamePath(const std::wstring& folder, std::string_view name, std::wstring& path) {
    const int units = MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, name.data(),
                                          static_cast<int>(name.size()), nullptr, 0);
    if (units <= 0) return false;
    std::wstring wide(static_cast<std::size_t>(units), L'\0');
    MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, name.data(), static_cast<int>(name.size()),
                        wide.data(), units);
    path = folder + wide;
    return true;
}

bool ConsoleWindowIsOwn(std::FILE* stream) {
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    DWORD mode = 0;
    DWORD processes[2];
    return IsValid(handle) && GetConsoleMode(handle, &mode) &&
           GetConsoleProcessList(processes, 2) == 1;
}

std::unique_ptr<Console> MakeProcessConsole(std::FILE* stream) {
    const int fd = _fileno(stream);
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    DWORD mode = 0;
    if (IsValid(handle) && GetConsoleMode(handle, &mode)) {
        std::fflush(stream);
        return std::make_unique<ConsoleWindow>(handle);
    }
    // Redirected: the bytes exactly as on every other system, without "\n" becoming "\r\n".
    std::fflush(stream);
    _setmode(fd, _O_BINARY);
    return std::make_unique<StreamConsole>(stream, ConsoleEncoding::ShiftJis);
}

bool ReadFileAt(std::FILE* file, std::uint64_t offset, char* into, std::size_t size,
                std::size_t& got) {
    got = 0;
    const int descriptor = _fileno(file);
    if (descriptor < 0) return false;
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(descriptor));
    if (!IsValid(handle) || GetFileType(handle) != FILE_TYPE_DISK) return false;
    return ReadHandleAt(handle, offset, into, size, got);
}

MappedFile::~MappedFile() {
    if (bytes_ != nullptr) UnmapViewOfFile(bytes_);
}

bool MappedFile::Map(std::FILE* file) {
    const int descriptor = _fileno(file);
    if (bytes_ != nullptr || descriptor < 0) return false;
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(descriptor));
    LARGE_INTEGER size{};
    if (!IsValid(handle) || GetFileType(handle) != FILE_TYPE_DISK ||
        !GetFileSizeEx(handle, &size) || size.QuadPart <= 0 ||
        static_cast<std::uint64_t>(size.QuadPart) > std::numeric_limits<std::size_t>::max()) {
        return false;
    }
    const HANDLE mapping = CreateFileMappingW(handle, nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (mapping == nullptr) return false;
    // The view keeps the mapping alive once its own handle is closed.
    const void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
    CloseHandle(mapping);
    if (view == nullptr) return false;
    bytes_ = static_cast<const char*>(view);
    size_ = static_cast<std::size_t>(size.QuadPart);
    return true;
}

void MappedFile::Release(std::size_t begin, std::size_t end) const {
    end = std::min(end, size_);
    if (bytes_ == nullptr || begin >= end) return;
    // Unlocking pages that are not locked takes them out of the process's working set; they stay
    // mapped. It reports that they were not locked, which is what is expected here.
    constexpr std::uintptr_t kPage = 4096;
    const auto first =
        (reinterpret_cast<std::uintptr_t>(bytes_ + begin) + kPage - 1) & ~(kPage - 1);
    const auto last = reinterpret_cast<std::uintptr_t>(bytes_ + end) & ~(kPage - 1);
    if (first < last) VirtualUnlock(reinterpret_cast<void*>(first), last - first);
}

void PreferHugePages(const void*, std::size_t) {}

Room ObtainRoom(std::size_t size) {
    void* room = std::malloc(size > 0 ? size : 1);
    if (room == nullptr) throw std::bad_alloc();
    return Room(static_cast<char*>(room));
}

void RoomDeleter::operator()(char* room) const {
    std::free(room);
}

// The compiler's win32 thread model has no std::thread: the C runtime's thread, the system's
// own lock and condition variable.
struct WorkerThread::State {
    HANDLE thread = nullptr;
    void (*work)(void*) = nullptr;
    void* context = nullptr;
    SRWLOCK lock = SRWLOCK_INIT;
    CONDITION_VARIABLE grown = CONDITION_VARIABLE_INIT;
    std::size_t count = 0;
    bool final = false;

    static unsigned __stdcall Start(void* state) {
        auto* started = static_cast<State*>(state);
        started->work(started->context);
        return 0;
    }
};

WorkerThread::WorkerThread() : state_(std::make_unique<State>()) {}

WorkerThread::~WorkerThread() {
    if (state_->thread != nullptr) {
        WaitForSingleObject(state_->thread, INFINITE);
        CloseHandle(state_->thread);
    }
}

void WorkerThread::Run(void (*work)(void*), void* context) {
    state_->work = work;
    state_->context = context;
    // Through the C runtime, since the work calls it.
    state_->thread = reinterpret_cast<HANDLE>(
        _beginthreadex(nullptr, 0, State::Start, state_.get(), 0, nullptr));
    if (state_->thread == nullptr) work(context);
}

void WorkerThread::Publish(std::size_t count, bool final) {
    AcquireSRWLockExclusive(&state_->lock);
    state_->count = count;
    state_->final = final;
    ReleaseSRWLockExclusive(&state_->lock);
    WakeConditionVariable(&state_->grown);
}

std::size_t WorkerThread::WaitBeyond(std::size_t seen, bool& final) {
    AcquireSRWLockExclusive(&state_->lock);
    while (state_->count <= seen && !state_->final) {
        SleepConditionVariableSRW(&state_->grown, &state_->lock, INFINITE, 0);
    }
    final = state_->final;
    const std::size_t count = state_->count;
    ReleaseSRWLockExclusive(&state_->lock);
    return count;
}

std::size_t WorkerThread::Ready(bool& final) {
    AcquireSRWLockExclusive(&state_->lock);
    final = state_->final;
    const std::size_t count = state_->count;
    ReleaseSRWLockExclusive(&state_->lock);
    return count;
}

void WorkerThread::Locked(void (*step)(void*), void* context) {
    AcquireSRWLockExclusive(&state_->lock);
    step(context);
    ReleaseSRWLockExclusive(&state_->lock);
}

}  // namespace bloktar

#endif  // _WIN32
