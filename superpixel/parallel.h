#pragma once

#include <thread>
#include <vector>

namespace scribeline {

// Runs work(0) .. work(numParts-1), part 0 on the calling thread and every
// other part on a thread of its own, and returns when all are done.
// REQUIRES: the parts touch disjoint data, and work does not throw.
template <typename Work>
void runParts(int numParts, Work&& work) {
  std::vector<std::thread> helpers;
  for (int part = 1; part < numParts; ++part) {
    helpers.emplace_back([&work, part] { work(part); });
  }
  work(0);
  for (std::thread& helper : helpers) {
    helper.join();
  }
}

}  // namespace scribeline
