#include "superpixel/disjoint_set.h"

namespace scribeline {

DisjointSet::DisjointSet(int count)
    : parents_(allocateLarge<int>(static_cast<std::size_t>(count))),
      roots_(allocateLarge<RootData>(static_cast<std::size_t>(count))),
      count_(count),
      numSets_(count) {
    for (int i = 0; i < count; ++i) {
        parents_[i] = i;
        roots_[i] = RootData{0, 1};
    }
}

void DisjointSet::join(int x, int y) {
    RootData& rootX = roots_[x];
    RootData& rootY = roots_[y];
    if (rootX.rank > rootY.rank) {
        parents_[y] = x;
        rootX.size += rootY.size;
    } else {
        parents_[x] = y;
        rootY.size += rootX.size;
        if (rootX.rank == rootY.rank) {
            ++rootY.rank;
        }
    }
    --numSets_;
}

void DisjointSet::flatten() {
    // Increasing index order; a parent of lower index is already flat, so
    // most elements need one or two hops.
    for (int i = 0; i < count_; ++i) {
        int root = i;
        while (parents_[root] != root) {
            root = parents_[root];
        }
        parents_[i] = root;
    }
}

}  // namespace scribeline
