// The generator behind the optimiser's label shuffles.
#pragma once

#include <cstdint>

namespace scribeline {

// The additive feedback generator r[i] = r[i-3] + r[i-31] (mod 2^32) that the
// GNU C library's rand() uses, seeded as its srand() seeds it, each output
// being r[i] >> 1 (0 .. 2^31 - 1). A seed gives the sequence srand(seed)
// followed by rand() calls gave on that library, so label orders recorded with
// the process-wide generator can be repeated; each optimiser owns its state.
class ShuffleRandom {
 public:
  explicit ShuffleRandom(unsigned seed) { reseed(seed); }

  void reseed(unsigned seed);
  int next() {
    state_[front_] += state_[rear_];
    const int result = static_cast<int>(state_[front_] >> 1);
    front_ = front_ + 1 == kDegree ? 0 : front_ + 1;
    rear_ = rear_ + 1 == kDegree ? 0 : rear_ + 1;
    return result;
  }

 private:
  static constexpr int kDegree = 31;
  static constexpr int kSeparation = 3;

  std::uint32_t state_[kDegree];
  int front_ = kSeparation;
  int rear_ = 0;
};

}  // namespace scribeline
