// Atomic whole-file output: a file is written into a new temporary file beside it, which takes
// its name only once every byte has been written and the file closed. A failed or abandoned
// write leaves any earlier file of that name as it was and no temporary file behind.
#pragma once

#include <cstddef>
#include <cstdint>

#include "run/platform.hpp"

namespace bloktar {

// One file being written atomically: Create, Write as often as needed, then Commit. Destroying
// it, or Abandon, before a successful Commit discards everything written.
class AtomicFile {
  public:
    explicit AtomicFile(NativeString path);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Makes the temporary file. A replaced file's permission bits carry over on POSIX systems.
    bool Create();
    // Appends bytes to the temporary file.
    bool Write(const void* bytes, std::size_t size);
    // Reads back up to size bytes of the temporary file from offset on; got says how many. On
    // Windows, where a read moves the file's place, not while another thread writes to it.
    bool ReadAt(std::uint64_t offset, void* into, std::size_t size, std::size_t& got) const;
    // Closes the temporary file and puts it in place of the file at path.
    bool Commit();
    // Closes and deletes the temporary file, if any; the file at path stays as it was.
    void Abandon();

  private:
    NativeString path_;
    NativeString tempPath_;
    std::intptr_t handle_ = -1;  // the open temporary file, -1 when there is none
};

// Writes bytes as the whole content of the file at path, all or nothing.
bool WriteFileAtomically(const NativeString& path, const void* bytes, std::size_t size);

}  // namespace bloktar
