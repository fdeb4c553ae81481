#include "driver/platform.hpp"

namespace bloktar {

bool WriteWholeFile(const NativeString& path, const void* bytes, std::size_t size) {
    FileBd1Output output(path);
    if (output.Create() && output.WriteHeader(bytes, size) && output.Finish(nullptr, 0)) {
        return true;
    }
    output.Abandon();
    return false;
}

}  // namespace bloktar
