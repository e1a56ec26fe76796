#include "graphcut/shuffle_random.h"

namespace scribeline {

void ShuffleRandom::reseed(unsigned seed) {
  if (seed == 0) seed = 1;
  // The seed is read as a 32-bit signed word; the next 30 words follow by
  // word = 16807 * word mod (2^31 - 1), computed with Schrage's split so
  // that it never overflows (a negative seed gives negative remainders,
  // which one addition of the modulus lifts, as the C library does).
  std::int32_t word = static_cast<std::int32_t>(seed);
  state_[0] = static_cast<std::uint32_t>(word);
  for (int i = 1; i < kDegree; ++i) {
    const std::int64_t hi = word / 127773;
    const std::int64_t lo = word % 127773;
    std::int64_t next = 16807 * lo - 2836 * hi;
    if (next < 0) next += 2147483647;
    word = static_cast<std::int32_t>(next);
    state_[i] = static_cast<std::uint32_t>(word);
  }
  front_ = kSeparation;
  rear_ = 0;
  for (int i = 0; i < 10 * kDegree; ++i) next();
}

}  // namespace scribeline
