#include "graphcut/memory.h"

#include <cstdlib>

namespace scribeline {
namespace {
AllocationHook allocationHook = nullptr;
}  // namespace

void* allocateMemory(std::size_t bytes) {
  if (allocationHook != nullptr) return allocationHook(bytes);
  return std::malloc(bytes);
}

void setAllocationHookForTesting(AllocationHook hook) { allocationHook = hook; }

}  // namespace scribeline
