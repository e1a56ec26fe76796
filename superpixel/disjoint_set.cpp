#include "superpixel/disjoint_set.h"

namespace scribeline {

DisjointSet::DisjointSet(int count)
    : elements_(static_cast<std::size_t>(count)), numSets_(count) {
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

}  // namespace scribeline
