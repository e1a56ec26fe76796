// Where the graph-cut engine's working memory comes from, and what happens
// when none is left.
#pragma once

#include <cstddef>

namespace scribeline {

using AllocationHook = void* (*)(std::size_t bytes);

// Given to an optimiser at construction and used for the arrays it takes
// while it solves.
struct MemoryPolicy {
  // Where memory comes from: std::malloc when null. A replacement must return
  // memory that std::free releases, or null when the request cannot be met
  // (tests use it to make an allocation fail on purpose).
  AllocationHook allocate = nullptr;
  // What an exhausted allocation does in an object that can also end the
  // process over it. false (the default): the object's fatal message on
  // standard output and exit status 1. true: std::bad_alloc is thrown
  // instead, nothing is printed, and the object stays safe to destroy.
  // PottsExpansion always throws and does not read it.
  bool throwWhenExhausted = false;
};

// A block of `bytes` bytes from the policy's source; null when it cannot be
// had.
void* allocateMemory(const MemoryPolicy& policy, std::size_t bytes);

}  // namespace scribeline
