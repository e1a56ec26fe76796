#pragma once

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <new>
#include <type_traits>

namespace scribeline {

struct FreeDeleter {
    void operator()(void* block) const { std::free(block); }
};

// An uninitialised array of trivial values, owned like unique_ptr<T[]>.
template <typename T>
using LargeArray = std::unique_ptr<T[], FreeDeleter>;

// Allocates count values without writing them. Blocks of several megabytes
// are aligned to 2 MiB and offered to the kernel for huge pages: the pixel
// graph is walked in random order, and 4 KiB pages would make nearly every
// access a TLB miss. Pages are still only backed when first written.
// Throws std::bad_alloc when the memory is not available.
void* allocateLargeBlock(std::size_t bytes);

template <typename T>
LargeArray<T> allocateLarge(std::size_t count) {
    static_assert(std::is_trivially_default_constructible_v<T> && std::is_trivially_destructible_v<T>,
                  "large arrays hold plain values");
    return LargeArray<T>(static_cast<T*>(allocateLargeBlock(count * sizeof(T))));
}

}  // namespace scribeline
