// Moves known to change nothing on the labelling as it now stands.
//
// A move is a function of the labelling and the costs alone (its graph, its
// cut and so its labels follow from them, bit for bit), and the costs cannot
// change while one call of expansion or swap runs its cycles. So a move that
// changed nothing would change nothing again as long as the labelling is the
// same: the last cycle of a call, which only confirms that no move improves
// the energy any more, need not repeat the moves the cycle before it already
// confirmed after its last change.
#pragma once

#include <vector>

namespace scribeline {

class UnchangedMoves {
 public:
  // Moves are named by a key in 0 .. numKeys-1. Without the memory for a copy
  // of the labelling it knows no move (every move then runs).
  UnchangedMoves(int numSites, int numKeys);

  // Whether the move `key` ran on exactly this labelling and changed nothing.
  bool confirmed(const int* labels, int key) const;
  // After the move `key` ran and left `labels`: `changed` says whether it
  // changed any label.
  void record(const int* labels, int key, bool changed);

 private:
  bool matches(const int* labels) const;

  std::vector<int> labelling_;            // the labelling the flags refer to
  std::vector<unsigned char> unchanged_;  // per key
  bool valid_ = false;                    // labelling_ holds a labelling
  bool usable_ = false;                   // the storage could be had
};

}  // namespace scribeline
