#include "superpixel/disjoint_set.h"

namespace scribeline {

DisjointSet::DisjointSet(int count, float initialValue)
    : elements_(allocateRandomAccess<Element>(static_cast<std::size_t>(count))), count_(count), numSets_(count) {
    for (int i = 0; i < count; ++i) {
        elements_[i] = Element{0, i, 1, initialValue};
    }
}

void DisjointSet::join(int x, int y) {
    Element& rootX = elements_[x];
    Element& rootY = elements_[y];
    if (rootX.rank > rootY.rank) {
        rootY.parent = x;
        rootX.size += rootY.size;
    } else {
        rootX.parent = y;
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
        while (elements_[root].parent != root) {
            root = elements_[root].parent;
        }
        elements_[i].parent = root;
    }
}

}  // namespace scribeline
