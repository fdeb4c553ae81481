// An allocator for the large arrays bloktar-repair fills front to back: their memory comes as a
// run's Room (on Linux in huge pages where it can, one page fault per 2 MiB instead of per 4 KiB),
// and a vector grown by resize leaves the new elements as default-initialisation leaves them
// (bytes not zero-filled) when they are about to be written anyway.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <utility>

#include "run/platform.hpp"

namespace bloktar::repair {

template <typename T>
struct RoomAllocator {
    using value_type = T;

    RoomAllocator() = default;
    template <typename U>
    RoomAllocator(const RoomAllocator<U>&) {}  // NOLINT(google-explicit-constructor): rebinding

    T* allocate(std::size_t count) {
        if (count > static_cast<std::size_t>(-1) / sizeof(T)) throw std::bad_alloc();
        return reinterpret_cast<T*>(ObtainRoom(count * sizeof(T)).release());
    }
    void deallocate(T* records, std::size_t) { RoomDeleter{}(reinterpret_cast<char*>(records)); }

    // Without arguments, default-initialisation: nothing written for plain records and bytes.
    template <typename U>
    void construct(U* at) {
        ::new (static_cast<void*>(at)) U;
    }
    template <typename U, typename... Args>
    void construct(U* at, Args&&... args) {
        ::new (static_cast<void*>(at)) U(std::forward<Args>(args)...);
    }

    template <typename U>
    bool operator==(const RoomAllocator<U>&) const {
        return true;
    }
};

}  // namespace bloktar::repair
