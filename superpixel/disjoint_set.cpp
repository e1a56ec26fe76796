#include "superpixel/disjoint_set.h"

namespace scribeline {

DisjointSet::DisjointSet(int count, float initialValue)
    : DisjointSet(count, initialValue, RankStorage::automatic) {}

DisjointSet::DisjointSet(int count, float initialValue, RankStorage storage)
    : elements_(allocateRandomAccess<Element>(static_cast<std::size_t>(count))),
      packed_(storage == RankStorage::automatic && count < packedSizeLimit),
      count_(count),
      numSets_(count) {
  if (!packed_) {
    ranks_ =
        allocateLargeZeroed<unsigned char>(static_cast<std::size_t>(count));
  }
  const int singleton = rootWord(1, 0);
  for (int i = 0; i < count; ++i) {
    elements_[i] = Element{singleton, initialValue};
  }
}

int DisjointSet::join(int x, int y) {
  const int rankX = rank(x);
  const int rankY = rank(y);
  const int joinedSize = size(x) + size(y);
  if (rankX > rankY) {
    elements_[x].link = rootWord(joinedSize, rankX);
    elements_[y].link = x;
    --numSets_;
    return x;
  }
  const int rankTop = rankX == rankY ? rankY + 1 : rankY;
  elements_[y].link = rootWord(joinedSize, rankTop);
  elements_[x].link = y;
  if (!packed_) {
    ranks_[y] = static_cast<unsigned char>(rankTop);
  }
  --numSets_;
  return y;
}

}  // namespace scribeline
