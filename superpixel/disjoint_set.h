#pragma once

#include <cstddef>

#include "superpixel/large_array.h"

namespace scribeline {

// Union-find forest over the elements 0 .. count-1 with union by rank and a
// find that re-points only the queried element at its root. Every element
// has a rank (starts at 0), a parent (starts at itself) and a size (starts at
// 1); rank and size are meaningful at roots only.
//
// The parents are kept in an array of their own, apart from rank and size:
// finds walk parents only, and a compact parent array keeps more of the walk
// in cache.
class DisjointSet {
public:
    // count singletons. REQUIRES: count >= 0.
    explicit DisjointSet(int count);

    DisjointSet(DisjointSet&&) noexcept = default;
    DisjointSet& operator=(DisjointSet&&) noexcept = default;
    DisjointSet(const DisjointSet&) = delete;
    DisjointSet& operator=(const DisjointSet&) = delete;

    // Root of x's set. The elements passed on the way keep their parents;
    // only x is re-pointed directly at the root.
    int find(int x) {
        int root = x;
        while (parents_[root] != root) {
            root = parents_[root];
        }
        if (parents_[x] != root) {  // leaves the cache line clean when nothing changes
            parents_[x] = root;
        }
        return root;
    }

    // Merges the sets of the roots x and y. The root of higher rank stays on
    // top; on equal ranks y becomes the root and its rank grows by one.
    // REQUIRES: x and y are distinct roots.
    void join(int x, int y);

    // Current parent link of x (x itself for a root).
    int parent(int x) const { return parents_[x]; }
    int rank(int x) const { return roots_[x].rank; }

    // Hints that x's parent link is about to be read; changes nothing.
    void prefetch(int x) const { __builtin_prefetch(&parents_[x]); }
    // Hints that x's rank and size are about to be read; changes nothing.
    void prefetchRoot(int x) const { __builtin_prefetch(&roots_[x]); }

    // Points every element straight at its root. Sets, roots, ranks and sizes
    // stay as they are; only the paths that later finds walk get shorter.
    void flatten();

    // REQUIRES: x is a root.
    int size(int x) const { return roots_[x].size; }
    int numSets() const { return numSets_; }
    // Number of elements the forest was built with.
    int count() const { return count_; }

private:
    struct RootData {
        int rank;
        int size;
    };
    LargeArray<int> parents_;
    LargeArray<RootData> roots_;
    int count_;
    int numSets_;
};

}  // namespace scribeline
