#include "tests/graphcut/reference/unchanged_moves.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace scribeline {

UnchangedMoves::UnchangedMoves(int numSites, int numKeys) {
  try {
    labelling_.resize(static_cast<std::size_t>(numSites > 0 ? numSites : 0));
    unchanged_.assign(static_cast<std::size_t>(numKeys > 0 ? numKeys : 0), 0);
    usable_ = true;
  } catch (const std::bad_alloc&) {
    labelling_ = {};
    unchanged_ = {};
  }
}

bool UnchangedMoves::matches(const int* labels) const {
  // With no sites both pointers may be null, which memcmp must never see.
  return valid_ && (labelling_.empty() ||
                    std::memcmp(labelling_.data(), labels,
                                labelling_.size() * sizeof(int)) == 0);
}

bool UnchangedMoves::confirmed(const int* labels, int key) const {
  return usable_ && unchanged_[static_cast<std::size_t>(key)] != 0 &&
         matches(labels);
}

void UnchangedMoves::record(const int* labels, int key, bool changed) {
  if (!usable_) return;
  if (changed || !matches(labels)) {
    std::copy(labels, labels + labelling_.size(), labelling_.begin());
    std::fill(unchanged_.begin(), unchanged_.end(), 0);
    valid_ = true;
  }
  if (!changed) unchanged_[static_cast<std::size_t>(key)] = 1;
}

}  // namespace scribeline
