#include "graphcut/neighbor_table.h"

#include <cstdlib>

#include "graphcut/memory.h"

namespace scribeline {

NeighborTable::~NeighborTable() { release(); }

void NeighborTable::release() {
  std::free(records_);
  std::free(starts_);
  records_ = nullptr;
  starts_ = nullptr;
}

bool NeighborTable::rebuild(const NeighborList* lists, int numSites) {
  release();
  std::size_t sites = numSites > 0 ? static_cast<std::size_t>(numSites) : 0;
  starts_ = static_cast<std::size_t*>(allocateMemory(sizeof(std::size_t) * (sites + 1)));
  if (starts_ == nullptr) return false;
  std::size_t total = 0;
  for (std::size_t site = 0; site < sites; ++site) {
    starts_[site] = total;
    lists[site].forEach([&](const NeighborRecord&) { ++total; });
  }
  starts_[sites] = total;
  records_ = static_cast<NeighborRecord*>(
      allocateMemory(sizeof(NeighborRecord) * (total > 0 ? total : 1)));
  if (records_ == nullptr) {
    release();
    return false;
  }
  NeighborRecord* out = records_;
  for (std::size_t site = 0; site < sites; ++site) {
    lists[site].forEach([&](const NeighborRecord& record) { *out++ = record; });
  }
  return true;
}

}  // namespace scribeline
