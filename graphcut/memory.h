// The one allocation entry of the graph-cut engine's chunk stores and tables,
// so that tests can make an allocation fail on purpose.
#pragma once

#include <cstddef>

namespace scribeline {

// std::malloc unless a test installed a replacement. Memory is released with
// std::free. Returns null when the request cannot be met.
void* allocateMemory(std::size_t bytes);

using AllocationHook = void* (*)(std::size_t bytes);
// Test seam: routes allocateMemory through `hook` (null restores malloc).
void setAllocationHookForTesting(AllocationHook hook);

}  // namespace scribeline
