#include "graphcut/potts_expansion.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <new>

namespace scribeline {
namespace {

struct MergedPair {
  int low;
  int high;
  float weight;
};

// Sums repeated declarations (in declaration order) and orders the pairs by
// (lower site, higher site).
std::vector<MergedPair> mergePairs(const std::vector<WeightedPair>& pairs) {
  std::vector<MergedPair> sorted;
  sorted.reserve(pairs.size());
  for (const WeightedPair& p : pairs) {
    sorted.push_back(
        {std::min(p.first, p.second), std::max(p.first, p.second), p.weight});
  }
  std::stable_sort(sorted.begin(), sorted.end(),
                   [](const MergedPair& a, const MergedPair& b) {
                     return a.low != b.low ? a.low < b.low : a.high < b.high;
                   });
  std::vector<MergedPair> merged;
  for (const MergedPair& p : sorted) {
    if (!merged.empty() && merged.back().low == p.low &&
        merged.back().high == p.high) {
      merged.back().weight += p.weight;
    } else {
      merged.push_back(p);
    }
  }
  return merged;
}

}  // namespace

PottsExpansion::PottsExpansion(int numSites, int numLabels,
                               const std::vector<WeightedPair>& pairs,
                               unsigned seed, const MemoryPolicy& memory)
    : numSites_(numSites),
      numLabels_(numLabels),
      weightSum_(numSites, 0.0),
      memory_(memory) {
  const std::vector<MergedPair> merged = mergePairs(pairs);
  std::vector<int> firstArc(numSites + 1, 0);
  for (const MergedPair& p : merged) {
    ++firstArc[p.low + 1];
    ++firstArc[p.high + 1];
  }
  for (int s = 0; s < numSites; ++s) firstArc[s + 1] += firstArc[s];
  const std::size_t arcs = 2 * merged.size();
  std::vector<int> heads(arcs), sisters(arcs);
  weights_.resize(arcs);
  std::vector<int> cursor(firstArc.begin(), firstArc.end() - 1);
  for (const MergedPair& p : merged) {
    const int down = cursor[p.low]++, up = cursor[p.high]++;
    heads[down] = p.high;
    heads[up] = p.low;
    sisters[down] = up;
    sisters[up] = down;
    weights_[down] = weights_[up] = p.weight;
    weightSum_[p.low] += p.weight;
    weightSum_[p.high] += p.weight;
  }
  network_ = std::make_unique<FlowNetwork>(
      std::move(firstArc), std::move(heads), std::move(sisters));
  labelOrder_.resize(numLabels);
  this->seed(seed);
}

void PottsExpansion::seed(unsigned seed) {
  for (int l = 0; l < numLabels_; ++l) labelOrder_[l] = l;
  random_.reseed(seed);
}

void PottsExpansion::shuffle() {
  for (int n = 0; n < 2 * numLabels_; ++n) {
    const int i = random_.next() % numLabels_;
    const int j = random_.next() % numLabels_;
    std::swap(labelOrder_[i], labelOrder_[j]);
  }
}

double PottsExpansion::energy(const int* labels, const float* dataCosts) const {
  double smooth = 0;
  const FlowNetwork& net = *network_;
  for (int s = 0; s < numSites_; ++s) {
    for (int a = net.firstArc(s); a < net.endArc(s); ++a) {
      const int j = net.head(a);
      if (j > s && labels[j] != labels[s]) smooth += weights_[a];
    }
  }
  double data = 0;
  for (int s = 0; s < numSites_; ++s) {
    data += dataCosts[static_cast<std::size_t>(s) * numLabels_ + labels[s]];
  }
  return smooth + data;
}

// The move on alpha over the sites not labelled alpha: SOURCE side takes
// alpha. A node's terminal capacity starts at D(keep) - D(alpha) and its pairs
// can add at most W (its weight sum) to it and put at most W on its arcs in
// either direction. So D(keep) - D(alpha) > W puts it on the source side of
// every minimum cut, and D(alpha) - D(keep) >= 2 W lets the sink side cost
// nothing more, hence the cut with the fewest source nodes leaves it there.
// Both tests carry a margin for the float rounding of the accumulations.
bool PottsExpansion::move(int alpha, int* labels, const float* dataCosts) {
  FlowNetwork& net = *network_;
  numUndecided_ = 0;
  bool anyFixed = false;
  for (int s = 0; s < numSites_; ++s) {
    const int keep = labels[s];
    if (keep == alpha) {
      role_[s] = kInactive;
      continue;
    }
    const float* costs = dataCosts + static_cast<std::size_t>(s) * numLabels_;
    const float keepCost = costs[keep], alphaCost = costs[alpha];
    const double difference = static_cast<double>(keepCost - alphaCost);
    const double w = weightSum_[s];
    const double margin = (net.endArc(s) - net.firstArc(s) + 2) * 0x1p-20 *
                          (std::fabs(keepCost) + std::fabs(alphaCost) + 2 * w);
    if (difference > w + margin) {
      role_[s] = kToSource;
      anyFixed = true;
    } else if (-difference >= 2 * w + margin) {
      role_[s] = kToSink;
    } else {
      role_[s] = kUndecided;
      undecided_[numUndecided_++] = s;
    }
  }
  if (!anyFixed && numUndecided_ == 0) return false;

  buildCapacities(alpha, labels, dataCosts);
  {
    const float* terminal = net.terminal();
    for (int s : undecided()) builtCapacity_[s] = terminal[s];
  }
  if (flows_.size() > static_cast<std::size_t>(alpha) &&
      !flows_[alpha].listed.empty()) {
    startFromKeptFlow(flows_[alpha], labels);
  }
  // Without source capacity every undecided node stays on the sink side; the
  // flow kept for alpha stays too, as a start as good as any.
  bool anySource = false;
  for (int s : undecided()) anySource |= net.terminal()[s] > 0;
  if (anySource) {
    net.maxFlow(undecided_, numUndecided_);
    keepFlow(alpha);
  }

  bool changed = false;
  if (anyFixed) {
    for (int s = 0; s < numSites_; ++s) {
      if (role_[s] == kToSource) {
        labels[s] = alpha;
        changed = true;
      }
    }
  }
  if (anySource) {
    for (int s : undecided()) {
      if (net.onSourceSide(s)) {
        labels[s] = alpha;
        changed = true;
      }
    }
  }
  return changed;
}

// Source capacity D(keep) - D(alpha) plus, per pair: a neighbour labelled
// alpha or taking it adds w (keeping costs w), a neighbour keeping the same
// label subtracts w (taking alpha costs w); two undecided nodes with the same
// label get w both ways, with different labels the lower one w of source
// capacity and w towards the higher one. Arcs to decided nodes get 0 both
// ways.
void PottsExpansion::buildCapacities(int alpha, const int* labels,
                                     const float* dataCosts) {
  FlowNetwork& net = *network_;
  float* residual = net.residual();
  float* terminal = net.terminal();
  for (int s : undecided()) {
    const int keep = labels[s];
    const float* costs = dataCosts + static_cast<std::size_t>(s) * numLabels_;
    float capacity = costs[keep] - costs[alpha];
    for (int a = net.firstArc(s), end = net.endArc(s); a < end; ++a) {
      const int j = net.head(a);
      const float w = weights_[a];
      switch (role_[j]) {
        case kUndecided:
          if (labels[j] == keep) {
            residual[a] = w;
          } else if (s < j) {
            capacity += w;
            residual[a] = w;
          } else {
            residual[a] = 0;
          }
          continue;
        case kToSink:
          if (labels[j] == keep) capacity -= w;
          break;
        default:  // labelled alpha, or taking it
          capacity += w;
          break;
      }
      residual[a] = 0;
      residual[net.sister(a)] = 0;
    }
    terminal[s] = capacity;
  }
}

// A node's new residual terminal capacity is its kept one plus the change of
// its built capacity and of the flow on its arcs, so that a node whose graph
// and flows did not change starts exactly where it ended. Arc flows are cut
// back to the new capacities; arcs leaving the graph lose theirs.
void PottsExpansion::startFromKeptFlow(const KeptFlow& kept,
                                       const int* labels) {
  FlowNetwork& net = *network_;
  float* residual = net.residual();
  float* terminal = net.terminal();
  for (int s : undecided()) {
    const int keep = labels[s];
    float t = kept.listed[s]
                  ? kept.terminal[s] + (terminal[s] - kept.capacity[s])
                  : terminal[s];
    for (int a = net.firstArc(s), end = net.endArc(s); a < end; ++a) {
      const float before = kept.arcFlow[a];
      float after = 0;
      const int j = net.head(a);
      if (role_[j] == kUndecided) {
        const float w = weights_[a];
        const float forward = residual[a];
        const float backward = labels[j] == keep || j < s ? w : 0.0f;
        after = std::max(-backward, std::min(before, forward));
        residual[a] = forward - after;
      }
      if (after != before) t -= after - before;
    }
    terminal[s] = t;
  }
}

// The capacity of an arc between undecided nodes s < j is w from s to j
// (see buildCapacities), so its flow is w minus its residual.
void PottsExpansion::keepFlow(int alpha) {
  if (flows_.size() <= static_cast<std::size_t>(alpha)) {
    flows_.resize(numLabels_);
  }
  // The record's parts must describe one flow: its storage is all taken
  // before any of it is written, so that running out of memory leaves the
  // previous record whole.
  if (flows_[alpha].listed.empty()) {
    KeptFlow fresh;
    fresh.arcFlow.resize(weights_.size());
    fresh.capacity.resize(numSites_);
    fresh.terminal.resize(numSites_);
    fresh.listed.resize(numSites_);
    flows_[alpha] = std::move(fresh);
  }
  FlowNetwork& net = *network_;
  const float* residual = net.residual();
  const float* terminal = net.terminal();
  KeptFlow& kept = flows_[alpha];
  std::fill(kept.arcFlow.begin(), kept.arcFlow.end(), 0.0f);
  std::fill(kept.listed.begin(), kept.listed.end(), 0);
  for (int s : undecided()) {
    kept.listed[s] = 1;
    kept.capacity[s] = builtCapacity_[s];
    kept.terminal[s] = terminal[s];
    for (int a = net.firstArc(s), end = net.endArc(s); a < end; ++a) {
      const int j = net.head(a);
      if (j < s || role_[j] != kUndecided) continue;
      const float f = weights_[a] - residual[a];
      kept.arcFlow[a] = f;
      kept.arcFlow[net.sister(a)] = -f;
    }
  }
}

PottsExpansion::Scratch::Scratch(const MemoryPolicy& memory, int numSites,
                                 int numLabels) {
  const std::size_t sites = static_cast<std::size_t>(numSites) + 1;
  role = static_cast<unsigned char*>(allocateMemory(memory, sites));
  undecided = static_cast<int*>(allocateMemory(memory, sites * sizeof(int)));
  builtCapacity =
      static_cast<float*>(allocateMemory(memory, sites * sizeof(float)));
  confirmedAt = static_cast<long long*>(allocateMemory(
      memory, (static_cast<std::size_t>(numLabels) + 1) * sizeof(long long)));
  if (!role || !undecided || !builtCapacity || !confirmedAt) {
    release();
    throw std::bad_alloc();
  }
}

void PottsExpansion::Scratch::release() {
  std::free(role);
  std::free(undecided);
  std::free(builtCapacity);
  std::free(confirmedAt);
}

double PottsExpansion::expansion(int* labels, const float* dataCosts,
                                 int maxCycles) {
  double energyNow = energy(labels, dataCosts);
  if (!(energyNow + 1 > energyNow)) return energyNow;
  // A move is a function of the labelling and the costs, which stay fixed
  // during the call: a move that changed nothing need not run again until
  // some other move changes the labelling (counted by `version`).
  long long version = 0;
  const Scratch scratch(memory_, numSites_, numLabels_);
  role_ = scratch.role;
  undecided_ = scratch.undecided;
  builtCapacity_ = scratch.builtCapacity;
  long long* confirmedAt = scratch.confirmedAt;
  std::fill(confirmedAt, confirmedAt + numLabels_, -1);
  for (int cycle = 1; cycle <= maxCycles; ++cycle) {
    const double previous = energyNow;
    if (randomOrder_) shuffle();
    for (int alpha : labelOrder_) {
      if (confirmedAt[alpha] == version) continue;
      if (observer_) before_.assign(labels, labels + numSites_);
      const bool changed = move(alpha, labels, dataCosts);
      if (observer_) observer_(alpha, before_, labels);
      if (changed) {
        ++version;
      } else {
        confirmedAt[alpha] = version;
      }
    }
    energyNow = energy(labels, dataCosts);
    if (!(energyNow < previous)) break;
  }
  return energyNow;
}

}  // namespace scribeline
