// Expansion moves for a Potts energy over a fixed weighted neighbourhood:
//   E(labels) = sum_s D(s, labels[s])
//             + sum_{pairs {s,j}} w_sj [labels[s] != labels[j]],
// D given per call (site-major table), the pairs and weights fixed at
// construction (repeated declarations of a pair add up).
//
// Cycles: each cycle first shuffles the label order with draws from a
// ShuffleRandom seeded by the caller, then runs one expansion move per label
// in that order; cycles repeat while the energy strictly decreases. A move on
// alpha lets every site not labelled alpha keep its label or take alpha,
// choosing the labelling of least energy among those: the source side of the
// minimum cut of the move's graph, the cut with the fewest source nodes where
// several are minimal (ties between cuts of nearly equal value fall as float
// rounding decides). Hence no move raises the energy.
//
// How a move is solved, none of which changes which labelling is minimal:
// - each adjacent pair is one pair of arcs of a FlowNetwork carrying the
//   summed weight of all its declarations;
// - a node whose data costs alone decide its side (the difference exceeds
//   what its pairs can add) takes that side without entering the flow, its
//   pairs folded into its neighbours' terminal capacities;
// - a move already confirmed on the current labelling is not run again;
// - a move on a label starts from the flow the last move on that label left
//   (kept across calls), cut back to the new capacities: any flow within the
//   capacities is a valid start, since what it leaves at a node is terminal
//   capacity of a graph whose cuts differ from the move's by a constant.
// The tests compare its labellings with those of a reference implementation
// of expansion moves, which agree where every move's minimum cut is unique.
//
// Memory: the working arrays of one expansion call come from the given
// MemoryPolicy's source when the call starts and go back when it ends; the
// network and the kept flows are std::vector. Exhaustion throws
// std::bad_alloc and leaves the labels as they were after the last completed
// move (none, when the working arrays cannot be had).
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "graphcut/flow_network.h"
#include "graphcut/memory.h"
#include "graphcut/shuffle_random.h"

namespace scribeline {

// One declaration of a neighbour pair; order and orientation do not matter,
// repeated declarations add up.
struct WeightedPair {
  int first;
  int second;
  float weight;
};

class PottsExpansion {
 public:
  // Called after every move that ran (also when it changed nothing) with the
  // label and the labelling before and after it.
  using MoveObserver = std::function<void(
      int alpha, const std::vector<int>& before, const int* after)>;

  // REQUIRES: 0 <= first, second < numSites, first != second, weight >= 0.
  // The label order starts as 0, 1, ..., numLabels-1 and the draws come from
  // a ShuffleRandom seeded with `seed`, as seed(seed) sets them.
  // Only memory.allocate is used; exhaustion always throws.
  PottsExpansion(int numSites, int numLabels,
                 const std::vector<WeightedPair>& pairs, unsigned seed,
                 const MemoryPolicy& memory = {});
  PottsExpansion(const PottsExpansion&) = delete;
  PottsExpansion& operator=(const PottsExpansion&) = delete;

  // Restarts the label order at 0, 1, ... and the generator at `seed`. The
  // same costs, starting labels, seed and kept flows (see forgetFlows) give
  // the same solve.
  void seed(unsigned seed);
  void setRandomOrder(bool on) { randomOrder_ = on; }
  void setMoveObserver(MoveObserver observer) {
    observer_ = std::move(observer);
  }
  // The next move on every label starts from zero flow, as the first does.
  void forgetFlows() { flows_.clear(); }

  // Runs expansion cycles from `labels` (numSites entries in 0 ..
  // numLabels-1) over dataCosts (site-major, numSites * numLabels), each label
  // once per cycle in an order reshuffled before the cycle with two draws per
  // exchange (2 * numLabels exchanges), until a cycle no longer lowers the
  // energy or maxCycles cycles ran. No cycle runs when adding 1 to the energy
  // does not change it. Returns the final energy.
  double expansion(int* labels, const float* dataCosts,
                   int maxCycles = 1000000000);

  double energy(const int* labels, const float* dataCosts) const;
  int numSites() const { return numSites_; }
  int numLabels() const { return numLabels_; }
  const std::vector<int>& labelOrder() const { return labelOrder_; }

 private:
  enum : unsigned char { kInactive, kUndecided, kToSource, kToSink };

  void shuffle();
  // Capacities of the move's graph over the undecided nodes, into the network.
  void buildCapacities(int alpha, const int* labels, const float* dataCosts);
  struct KeptFlow {
    std::vector<float> arcFlow;   // per arc, tail to head; 0 off the graph
    std::vector<float> capacity;  // per node: terminal capacity as built
    std::vector<float> terminal;  // per node: residual terminal capacity
    std::vector<unsigned char> listed;  // per node: took part
  };
  // Starts from the flow kept for alpha, cut back to the capacities.
  void startFromKeptFlow(const KeptFlow& kept, const int* labels);
  // Keeps the flow the network carries (per arc, tail to head).
  void keepFlow(int alpha);
  // Returns whether the move changed any label.
  bool move(int alpha, int* labels, const float* dataCosts);

  int numSites_;
  int numLabels_;
  // Per site: arcs (symmetric, one per neighbour) with summed weights.
  std::unique_ptr<FlowNetwork> network_;
  std::vector<float> weights_;     // per arc
  std::vector<double> weightSum_;  // per site
  std::vector<int> labelOrder_;
  bool randomOrder_ = true;
  ShuffleRandom random_{1};
  MoveObserver observer_;
  // Working arrays of one expansion call, released when it ends.
  struct Scratch {
    Scratch(const MemoryPolicy& memory, int numSites, int numLabels);
    ~Scratch() { release(); }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
    void release();
    unsigned char* role = nullptr;     // per site
    int* undecided = nullptr;          // sites of the move's graph
    float* builtCapacity = nullptr;    // per site
    long long* confirmedAt = nullptr;  // per label
  };
  struct SiteRange {
    const int* first;
    const int* last;
    const int* begin() const { return first; }
    const int* end() const { return last; }
  };
  SiteRange undecided() const {
    return {undecided_, undecided_ + numUndecided_};
  }

  MemoryPolicy memory_;
  // Point into the Scratch of the expansion call under way.
  unsigned char* role_ = nullptr;
  int* undecided_ = nullptr;
  int numUndecided_ = 0;
  float* builtCapacity_ = nullptr;
  std::vector<int> before_;
  // Per label: the flow of the last move on it (empty: none yet).
  std::vector<KeptFlow> flows_;
};

}  // namespace scribeline
