#include "superpixel/disjoint_set.h"

namespace scribeline {

DisjointSet::DisjointSet(int count, float initialValue)
    : elements_(allocateRandomAccess<Element>(static_cast<std::size_t>(count))),
      ranks_(allocateLargeZeroed<unsigned char>(static_cast<std::size_t>(count))),
      count_(count),
      numSets_(count) {
    for (int i = 0; i < count; ++i) {
        elements_[i] = Element{-1, initialValue};
    }
}

void DisjointSet::join(int x, int y) {
    Element& rootX = elements_[x];
    Element& rootY = elements_[y];
    // Sizes are held negated, so adding the links adds the sizes.
    if (ranks_[x] > ranks_[y]) {
        rootX.link += rootY.link;
        rootY.link = x;
    } else {
        rootY.link += rootX.link;
        rootX.link = y;
        if (ranks_[x] == ranks_[y]) {
            ++ranks_[y];
        }
    }
    --numSets_;
}

void DisjointSet::flatten() {
    // Increasing index order; a parent of lower index is already flat, so
    // most elements need one or two hops.
    for (int i = 0; i < count_; ++i) {
        int root = i;
        while (elements_[root].link >= 0) {
            root = elements_[root].link;
        }
        if (root != i) {
            elements_[i].link = root;
        }
    }
}

}  // namespace scribeline
