#include "tests/graphcut/reference/neighbor_table.h"

#include <cmath>
#include <cstdlib>

#include "graphcut/memory.h"

namespace scribeline {

NeighborTable::~NeighborTable() { release(); }

void NeighborTable::release() {
  std::free(records_);
  std::free(starts_);
  std::free(weightSums_);
  records_ = nullptr;
  starts_ = nullptr;
  weightSums_ = nullptr;
}

bool NeighborTable::rebuild(const NeighborList* lists, int numSites,
                            const MemoryPolicy& memory) {
  release();
  std::size_t sites = numSites > 0 ? static_cast<std::size_t>(numSites) : 0;
  starts_ = static_cast<std::size_t*>(
      allocateMemory(memory, sizeof(std::size_t) * (sites + 1)));
  if (starts_ == nullptr) return false;
  std::size_t total = 0;
  for (std::size_t site = 0; site < sites; ++site) {
    starts_[site] = total;
    lists[site].forEach([&](const NeighborRecord&) { ++total; });
  }
  starts_[sites] = total;
  records_ = static_cast<NeighborRecord*>(
      allocateMemory(memory, sizeof(NeighborRecord) * (total > 0 ? total : 1)));
  weightSums_ = static_cast<double*>(
      allocateMemory(memory, sizeof(double) * (sites > 0 ? sites : 1)));
  if (records_ == nullptr || weightSums_ == nullptr) {
    release();
    return false;
  }
  NeighborRecord* out = records_;
  for (std::size_t site = 0; site < sites; ++site) {
    double sum = 0;
    lists[site].forEach([&](const NeighborRecord& record) {
      *out++ = record;
      sum += std::fabs(static_cast<double>(record.weight));
    });
    weightSums_[site] = sum;
  }
  return true;
}

}  // namespace scribeline
