// How the graph-cut engine's chunk stores and tables get their memory, and
// what happens when none is left.
#pragma once

#include <cstddef>

namespace scribeline {

using AllocationHook = void* (*)(std::size_t bytes);

// Given to a Graph or a LabelOptimizer at construction (see GraphOptions and
// LabelOptimizer::Options) and used for every chunk and table it allocates.
struct MemoryPolicy {
  // Where memory comes from: std::malloc when null. A replacement must return
  // memory that std::free releases, or null when the request cannot be met
  // (tests use it to make an allocation fail on purpose).
  AllocationHook allocate = nullptr;
  // What an exhausted allocation does. false (the default): the object's
  // fatal message on standard output and exit status 1. true: std::bad_alloc
  // is thrown instead, nothing is printed, and the object stays safe to
  // destroy (misuse stays fatal either way).
  bool throwWhenExhausted = false;
};

// A block of `bytes` bytes from the policy's source; null when it cannot be
// had.
void* allocateMemory(const MemoryPolicy& policy, std::size_t bytes);

}  // namespace scribeline
