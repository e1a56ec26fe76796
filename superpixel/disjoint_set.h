#pragma once

#include <cstddef>

#include "superpixel/large_array.h"

namespace scribeline {

// Union-find forest over the elements 0 .. count-1 with union by rank and a
// find that re-points only the queried element at its root. Every element
// has a rank (starts at 0), a parent (starts at itself) and a size (starts at
// 1); rank and size are meaningful at roots only.
//
// Each element also carries one float for the caller's use at roots (the
// region merging keeps its threshold there). An element is 8 bytes: a link
// and the float. The link of a non-root is its parent; the link of a root is
// negative and holds the root's size and rank, so that a find reads one
// 8-byte slot per step and a join touches nothing beyond the two roots'
// slots. Halving the element keeps twice as much of the forest in cache,
// which is what the merge's random visits pay for.
class DisjointSet {
 public:
  // count singletons, each with rootValue initialValue.
  // REQUIRES: count >= 0.
  explicit DisjointSet(int count, float initialValue = 0.0f);

  // Where ranks are kept. Packed: in the root's link beside its size,
  // possible while count < packedSizeLimit. Separate: in a byte array of
  // their own. Both behave identically.
  enum class RankStorage { automatic, separate };
  static constexpr int packedSizeLimit = 1 << 26;
  DisjointSet(int count, float initialValue, RankStorage storage);

  DisjointSet(DisjointSet&&) noexcept = default;
  DisjointSet& operator=(DisjointSet&&) noexcept = default;
  DisjointSet(const DisjointSet&) = delete;
  DisjointSet& operator=(const DisjointSet&) = delete;

  // Root of x's set. The elements passed on the way keep their parents;
  // only x is re-pointed directly at the root.
  int find(int x) {
    int root = x;
    while (elements_[root].link >= 0) {
      root = elements_[root].link;
    }
    if (root != x &&
        elements_[x].link !=
            root) {  // leaves the cache line clean when nothing changes
      elements_[x].link = root;
    }
    return root;
  }

  // Root of x's set, changing nothing; several threads may call it at once
  // while none changes the forest.
  int root(int x) const {
    while (elements_[x].link >= 0) {
      x = elements_[x].link;
    }
    return x;
  }

  // Merges the sets of the roots x and y. The root of higher rank stays on
  // top; on equal ranks y becomes the root and its rank grows by one.
  // Returns the root of the merged set.
  // REQUIRES: x and y are distinct roots.
  int join(int x, int y);

  // Current parent link of x (x itself for a root).
  int parent(int x) const {
    return elements_[x].link >= 0 ? elements_[x].link : x;
  }
  // REQUIRES: x is a root.
  int rank(int x) const {
    return packed_ ? ~elements_[x].link & rankMask : ranks_[x];
  }

  // Hints that x's element is about to be read; changes nothing.
  void prefetch(int x) const { __builtin_prefetch(&elements_[x]); }

  // REQUIRES: x is a root.
  int size(int x) const {
    return packed_ ? ~elements_[x].link >> rankBits : ~elements_[x].link;
  }
  // The caller's value at root x; join leaves the surviving root's value
  // as it was. REQUIRES: x is a root.
  float rootValue(int x) const { return elements_[x].value; }
  void setRootValue(int x, float value) { elements_[x].value = value; }

  int numSets() const { return numSets_; }
  // Number of elements the forest was built with.
  int count() const { return count_; }

 private:
  // Invariant: link >= 0 is the parent of a non-root; link < 0 marks a
  // root, and ~link is size * 32 + rank when packed_, else size.
  struct alignas(8) Element {
    int link;
    float value;
  };
  // A rank never exceeds log2(count) < 31.
  static constexpr int rankBits = 5;
  static constexpr int rankMask = (1 << rankBits) - 1;

  int rootWord(int size, int rank) const {
    return ~(packed_ ? size << rankBits | rank : size);
  }

  LargeArray<Element> elements_;
  LargeArray<unsigned char> ranks_;  // empty when packed_
  bool packed_;
  int count_;
  int numSets_;
};

}  // namespace scribeline
