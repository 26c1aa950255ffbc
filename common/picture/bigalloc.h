// The gate that the large picture buffers pass before they are allocated, so that running out of
// memory on a huge picture can be brought about on purpose.
#pragma once

#include <cstddef>
#include <limits>
#include <new>

namespace bigalloc {

inline std::size_t &Limit() {
    static std::size_t limit = std::numeric_limits<std::size_t>::max();
    return limit;
}

// Makes the next request of more than `bytes` fail as if memory had run out (once).
inline void FailNextOver(std::size_t bytes) {
    Limit() = bytes;
}

// Throws std::bad_alloc for a request the switch above refuses.
inline void Check(std::size_t bytes) {
    if (bytes <= Limit()) return;
    Limit() = std::numeric_limits<std::size_t>::max();
    throw std::bad_alloc();
}

} // namespace bigalloc
