// What the run needs from the operating system: the document's file, the console's encoding,
// room for the output and a second thread (the atomic output file is in atomic_file.hpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "run/console.hpp"

namespace bloktar {

#ifdef _WIN32
using NativeChar = wchar_t;  // command line and file names in UTF-16
#else
using NativeChar = char;  // file names as bytes
#endif
using NativeString = std::basic_string<NativeChar>;

// The longest document path taken from the command line; a longer one is refused, never cut.
// It is counted in NativeChar units: bytes on POSIX, UTF-16 code units on Windows.
inline constexpr std::size_t kMaxPathLength = 255;

// Opens the document named by path for reading in binary (the reader does the text-mode
// translation itself). Returns null when path is null, longer than kMaxPathLength, or does not
// name a regular file that can be read; a FIFO or device is refused without blocking on it.
std::FILE* OpenInputDocument(const NativeChar* path);

// The output's name: the whole input path followed by ".bd1".
NativeString OutputPathFor(const NativeChar* inputPath);

// The whole path followed by an ASCII ending (".glb", ".repaired.mqo"): the name of a file a
// program writes beside the one it reads.
inline NativeString PathWithEnding(const NativeChar* path, std::string_view ending) {
    NativeString named(path);
    for (const char c : ending) named += static_cast<NativeChar>(c);
    return named;
}

// A name taken from a document (Shift_JIS bytes, folders separated by backslashes as on Windows,
// where documents are made) as a native path below folder. False when the name has no native
// form.
bool DocumentNamePath(const NativeString& folder, std::string_view name, NativeString& path);

// The console that the run prints to through stream. Where stream is a terminal or a console
// window, the program's texts are shown so that they can be read there: on a POSIX terminal in
// UTF-8 when the locale uses UTF-8, in a Windows console window as UTF-16 whatever the system's
// code page. A file or a pipe gets the Shift_JIS bytes, and document bytes always pass through
// unchanged.
std::unique_ptr<Console> MakeProcessConsole(std::FILE* stream);

// Whether the program's console is a window of its own that closes when the program ends: on
// Windows, a program started by dropping a file on it in Explorer (no other process shares its
// console window, and the output goes to that window). Never on other systems.
bool ConsoleWindowIsOwn(std::FILE* stream);

// Reads up to size bytes of the open file, from offset on, into into, without moving its stream,
// so that two threads can read one file at once; got says how many, fewer only where the file
// ends. False where reading failed, or where the file cannot be read at a place (a pipe).
bool ReadFileAt(std::FILE* file, std::uint64_t offset, char* into, std::size_t size,
                std::size_t& got);

// The whole of an open regular file, mapped read-only into memory so that it is read where it
// stands: no copy, and no fresh memory to clear. Empty where the file cannot be mapped (a pipe, an
// empty file, no room for it in the address space); the caller then reads it as usual.
class MappedFile {
  public:
    MappedFile() = default;
    ~MappedFile();
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    // Maps file whole; false, leaving this empty, where it cannot.
    bool Map(std::FILE* file);
    std::string_view Bytes() const { return {bytes_, size_}; }
    // Gives the system back the pages that lie wholly within bytes [begin, end): they leave the
    // process's memory, and are read from the file again where they are looked at later.
    void Release(std::size_t begin, std::size_t end) const;

  private:
    const char* bytes_ = nullptr;
    std::size_t size_ = 0;
};

// Asks the system to back a large array (a buffer just reserved, say) with huge pages where it
// can: the pages still come only when first written, but one fault brings 2 MiB instead of 4 KiB.
// Changes no byte; advice only, and nothing where the system has no such pages.
void PreferHugePages(const void* memory, std::size_t size);

// Room for bytes that are written once, front to back, in the form the system gives fastest: on
// Linux in huge pages where it can, which take one page fault per 2 MiB instead of per 4 KiB.
// Not zero-filled. Throws std::bad_alloc when there is no such room.
struct RoomDeleter {
    void operator()(char* room) const;
};
using Room = std::unique_ptr<char[], RoomDeleter>;
Room ObtainRoom(std::size_t size);

// Work done on a second thread while the thread that started it takes its results as they come:
// the work raises a count of what is ready, the starter waits for the count to grow. Where no
// thread can be started, the work is done by Run itself before it returns.
class WorkerThread {
  public:
    WorkerThread();
    ~WorkerThread();  // waits for the work to end
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    // Starts work(context); at most once.
    void Run(void (*work)(void*), void* context);
    // For the work: count is ready; final once the work has nothing more to give. Whatever the
    // work wrote before is visible to the thread that WaitBeyond returns count to.
    void Publish(std::size_t count, bool final);
    // Waits until the count is above seen or final; returns the count and whether it is final.
    std::size_t WaitBeyond(std::size_t seen, bool& final);
    // The count now and whether it is final, without waiting.
    std::size_t Ready(bool& final);
    // Runs step(context) under the lock that Publish and WaitBeyond take: for data that both
    // threads touch, which the work adds to and the starter copies.
    void Locked(void (*step)(void*), void* context);

  private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace bloktar
