#include "superpixel/disjoint_set.h"

namespace scribeline {

DisjointSet::DisjointSet(int count)
    : elements_(allocateLarge<Element>(static_cast<std::size_t>(count))), count_(count), numSets_(count) {
    for (int i = 0; i < count; ++i) {
        elements_[i] = Element{0, i, 1};
    }
}

void DisjointSet::join(int x, int y) {
    Element& ex = elements_[x];
    Element& ey = elements_[y];
    if (ex.rank > ey.rank) {
        ey.parent = x;
        ex.size += ey.size;
    } else {
        ex.parent = y;
        ey.size += ex.size;
        if (ex.rank == ey.rank) {
            ++ey.rank;
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
