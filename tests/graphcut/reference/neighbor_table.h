// Contiguous copy of the optimiser's neighbour lists: every site's records in
// the lists' iteration order, the sites one after another. Reading a site's
// neighbours is then a linear scan instead of a walk over separately
// allocated records.
#pragma once

#include <cstddef>

#include "tests/graphcut/reference/neighbor_list.h"

namespace scribeline {

class NeighborTable {
 public:
  NeighborTable() = default;
  ~NeighborTable();
  NeighborTable(const NeighborTable&) = delete;
  NeighborTable& operator=(const NeighborTable&) = delete;

  // Copies the records of lists[0 .. numSites-1]. Returns false (and keeps the
  // table empty) when `memory` cannot give the room.
  bool rebuild(const NeighborList* lists, int numSites,
               const MemoryPolicy& memory);

  const NeighborRecord* begin(int site) const {
    return records_ + starts_[site];
  }
  const NeighborRecord* end(int site) const {
    return records_ + starts_[site + 1];
  }
  // Sum of the absolute weights of the site's records.
  double weightSum(int site) const { return weightSums_[site]; }

 private:
  void release();

  NeighborRecord* records_ = nullptr;
  std::size_t* starts_ = nullptr;  // numSites + 1 offsets into records_
  double* weightSums_ = nullptr;   // numSites entries
};

}  // namespace scribeline
