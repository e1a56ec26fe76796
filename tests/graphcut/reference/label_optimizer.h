// Multi-label energy optimiser: data costs per (site, label) plus pairwise
// smoothness costs between neighbouring sites, minimised by expansion (or swap)
// moves, each move solved exactly as one minimum cut on a Graph.
//
// Misuse is fatal: a message on standard output and exit status 1 (see
// fatalError). So is exhausted memory, unless the optimiser was built with
// OptimizerOptions::memory.throwWhenExhausted: its allocations and those of
// its graphs then throw std::bad_alloc instead (see LabelOptimizer).
#pragma once

#include "graphcut/memory.h"
#include "graphcut/shuffle_random.h"
#include "tests/graphcut/reference/neighbor_list.h"
#include "tests/graphcut/reference/neighbor_table.h"
#include "tests/graphcut/reference/unchanged_moves.h"

namespace scribeline {

// Cost functions of the function forms. Costs are floats.
using DataCostFn = float (*)(int site, int label);
using DataCostFnXY = float (*)(int x, int y, int label);
// Cost of a pair (site1 < site2 on a general graph; left/upper and right/lower
// site on a grid) with the labels of site1 and site2. Not weighted.
using SmoothCostFn = float (*)(int site1, int site2, int label1, int label2);
// Grid coordinate form: x and y of the left (upper) site, then the label of the
// right (lower) site, then the label of the left (upper) site.
using SmoothCostFnXY = float (*)(int x, int y, int labelRightOrLower,
                                 int labelLeftOrUpper);

// Prints "\n <message> \n" to standard output and ends the process with exit
// status 1 when `condition` holds.
void fatalError(bool condition, const char* message);

// Choices fixed when an optimiser is built. The defaults are the program's.
struct OptimizerOptions {
  // A move whose terminal capacities already show that no node can reach the
  // SOURCE side settles without building its graph. false: every move builds
  // and cuts its graph. The labels come out the same either way (tests
  // compare the two).
  bool settledMovesSkipped = true;
  // Source of the tables' and graphs' memory, and what an exhausted
  // allocation does.
  MemoryPolicy memory;
};

// With OptimizerOptions::memory.throwWhenExhausted, a move that runs out of
// memory throws std::bad_alloc before it changes any label; the moves before
// it in the same call keep their labels (a caller that needs the labelling as
// it was keeps a copy). The optimiser stays usable.
class LabelOptimizer {
 public:
  // General graph, labels given. The caller's array is kept (not copied): it
  // is read as the initial labelling and receives every result, so it must
  // outlive the optimiser. Every initial label must lie in 0 .. numLabels-1.
  // A null `labels` makes the optimiser allocate its own array (all 0).
  LabelOptimizer(int* labels, int numSites, int numLabels, int dataFlag,
                 int smoothFlag, const OptimizerOptions& options = {});
  // General graph, labels allocated and owned (all 0).
  LabelOptimizer(int numSites, int numLabels, int dataFlag, int smoothFlag,
                 const OptimizerOptions& options = {});
  // width x height grid with the 4-neighbourhood, labels given.
  LabelOptimizer(int* labels, int width, int height, int numLabels,
                 int dataFlag, int smoothFlag,
                 const OptimizerOptions& options = {});
  // width x height grid, labels allocated and owned (all 0).
  // The first parameter's type tells the forms apart: an int* is a labels
  // array (general form above), an int a width (this grid form).
  LabelOptimizer(int width, int height, int numLabels, int dataFlag,
                 int smoothFlag, const OptimizerOptions& options = {});
  ~LabelOptimizer();
  LabelOptimizer(const LabelOptimizer&) = delete;
  LabelOptimizer& operator=(const LabelOptimizer&) = delete;

  // General graph only. Appends (site2, weight) to site1's list and (site1,
  // weight) to site2's list; a pair declared twice counts twice. When it
  // throws std::bad_alloc the pair may stand in site1's list only.
  // REQUIRES: both sites in range (not checked).
  void setNeighbors(int site1, int site2, float weight);
  void setNeighbors(int site1, int site2);  // weight 1.0

  // Per-element setters. REQUIRES: site and labels in range (not checked).
  void setDataCost(int site, int label, float cost);
  void setSmoothCost(int label1, int label2, float cost);

  // Whole-table and function setters; each requires that no data (smoothness)
  // costs of another form were given before. Adopted tables are borrowed: they
  // must outlive the optimiser. dataTable is site-major (site * numLabels +
  // label); smoothTable row-major (label1 * numLabels + label2).
  void setDataCost(float* dataTable);
  void setDataCost(DataCostFn fn);
  void setDataCost(DataCostFnXY fn);  // grid only
  void setSmoothCost(float* smoothTable);
  // Grid only: a pair's cost is the table entry times the cue of its left
  // (upper) site; one cue per site.
  void setSmoothCost(float* smoothTable, float* horizontalCues,
                     float* verticalCues);
  void setSmoothCost(SmoothCostFnXY horizontal,
                     SmoothCostFnXY vertical);  // grid only
  void setSmoothCost(SmoothCostFn fn);

  double dataEnergy();
  double smoothEnergy();
  double computeEnergy();  // smoothEnergy() + dataEnergy()

  // Repeats cycles of expansion moves (every label once, in labelOrder) while
  // the energy strictly decreases, at most maxIterations cycles. Returns the
  // energy after the last cycle.
  double expansion(int maxIterations = 1000000000);
  double expandOnLabel(int label);
  double swap(int maxIterations = 1000000000);
  double swapLabels(int a, int b);

  // Shuffle labelOrder before every cycle (on by default): 2 x numLabels
  // exchanges of the entries i and j, i drawn before j, each as the
  // optimiser's generator's next value mod numLabels.
  void setRandomOrder(bool on);
  // Seeds the optimiser's generator, as srand(seed) seeded rand() (see
  // ShuffleRandom). A new optimiser seeds it from the clock. labelOrder stays
  // as it is; together with resetLabelOrder the visiting orders of the
  // following cycles depend on the seed alone.
  void setRandomSeed(unsigned seed) { random_.reseed(seed); }
  // labelOrder back to 0, 1, ..., numLabels-1, as in a new optimiser.
  void resetLabelOrder();
  // The generator as it stands; its next value is the next one drawn.
  const ShuffleRandom& shuffleRandom() const { return random_; }

  int numSites() const { return numSites_; }
  int numLabels() const { return numLabels_; }
  bool isGrid() const { return isGrid_; }
  int width() const { return width_; }
  int height() const { return height_; }
  int label(int site) const { return labels_[site]; }
  const int* labels() const { return labels_; }
  // The order in which the next cycle visits the labels (before its shuffle).
  const int* labelOrder() const { return labelOrder_; }

 private:
  enum CostKind {
    kTable = 0,
    kFunction = 1,
    kCoordinateFunction = 2,
    kNotGiven = 3
  };

  void initialise(int* labels, int numLabels, int dataFlag, int smoothFlag);
  void allocateTables(int* labels, int dataFlag, int smoothFlag);
  void release();
  // Appends (neighbor, weight) to the list of `site`.
  void addNeighbor(int site, int neighbor, float weight);
  // Out of memory when `failed`: throws std::bad_alloc or stops with
  // `message` (see OptimizerOptions::memory).
  void checkMemory(bool failed, const char* message) const;
  template <typename T>
  T* allocateArray(long long count, const char* failure) const;
  float dataCost(int site, int label) const {
    switch (dataKind_) {
      case kTable:
        return dataTable_[static_cast<std::size_t>(site) * numLabels_ + label];
      case kFunction:
        return dataFunction_(site, label);
      default:
        return dataFunctionXY_(site % width_, site / width_, label);
    }
  }
  float gridPairCost(int upperOrLeft, int lowerOrRight, bool horizontal,
                     int labelUpperOrLeft, int labelLowerOrRight) const;
  double gridSmoothEnergy() const;
  double generalSmoothEnergy();

  double runCycles(int maxIterations, bool swapCycles);
  double expansionCycle(UnchangedMoves& unchanged);
  double swapCycle(UnchangedMoves& unchanged);
  void requireCosts() const;
  // The neighbour lists as one contiguous table, copied again after any
  // setNeighbors. General graph only.
  const NeighborTable& neighborTable();
  void shuffleLabelOrder();
  template <typename Choice>
  int listActiveSites(const Choice& choice);
  // Returns whether the move changed any label.
  template <typename Choice>
  bool runMove(const Choice& choice);
  template <typename Choice>
  bool settlesByDataCosts(const Choice& choice, int count);
  // Builder: a Graph adapter or a TerminalLedger, nodes named by index.
  template <typename Builder, typename Choice>
  void buildMove(Builder& graph, const Choice& choice, int count);
  template <typename Builder, typename Choice>
  void addGridSmoothTerms(Builder& graph, const Choice& choice);

  OptimizerOptions options_;
  int numLabels_;
  int width_;
  int height_;
  int numSites_;
  int* labels_;
  int dataKind_;
  int smoothKind_;
  bool randomOrder_;
  bool isGrid_;
  bool usesCues_;
  int dataGivenLater_;
  int smoothGivenLater_;
  int ownsLabels_;
  float* dataTable_;
  float* smoothTable_;
  float* verticalCues_;
  float* horizontalCues_;
  NeighborList* neighbors_;
  NeighborTable neighborTable_;
  bool neighborTableStale_;
  int* labelOrder_;
  ShuffleRandom random_{1};
  int* siteIndex_;
  float* terminalLedger_;  // one float per site, reused by every move
  // Per label: whether the last expansion on it had source capacity.
  unsigned char* hadSourceCapacity_;
  DataCostFn dataFunction_;
  DataCostFnXY dataFunctionXY_;
  SmoothCostFnXY smoothFunctionH_;
  SmoothCostFnXY smoothFunctionV_;
  SmoothCostFn smoothFunction_;
};

}  // namespace scribeline
