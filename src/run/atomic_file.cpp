#include "run/atomic_file.hpp"

namespace bloktar {

bool WriteFileAtomically(const NativeString& path, const void* bytes, std::size_t size) {
    AtomicFile file(path);
    if (file.Create() && file.Write(bytes, size) && file.Commit()) return true;
    file.Abandon();
    return false;
}

}  // namespace bloktar
