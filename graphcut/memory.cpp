#include "graphcut/memory.h"

#include <cstdlib>

namespace scribeline {

void* allocateMemory(const MemoryPolicy& policy, std::size_t bytes) {
  if (policy.allocate != nullptr) return policy.allocate(bytes);
  return std::malloc(bytes);
}

}  // namespace scribeline
