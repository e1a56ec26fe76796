// FlowNetwork: cut values against Boost.Graph's push-relabel and against
// every cut of small graphs; the reported source side is the minimum cut
// with the fewest source nodes; solves over node subsets and repeated solves
// on one network.
#include "graphcut/flow_network.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include "tests/graphcut/boost_max_flow.h"

namespace scribeline {
namespace {

struct Edge {
  int u;
  int v;
  float forward;   // u -> v
  float backward;  // v -> u
};

struct Problem {
  int numNodes = 0;
  std::vector<float> source;  // per node, source -> node
  std::vector<float> sink;    // per node, node -> sink
  std::vector<Edge> edges;    // distinct unordered pairs
};

// Topology of a problem's edges, built once.
struct Topology {
  std::vector<int> firstArc, heads, sisters;
  std::vector<std::pair<int, int>> arcOfEdge;  // (u -> v arc, v -> u arc)
};

Topology topologyOf(const Problem& p) {
  Topology t;
  t.firstArc.assign(p.numNodes + 1, 0);
  for (const Edge& e : p.edges) {
    ++t.firstArc[e.u + 1];
    ++t.firstArc[e.v + 1];
  }
  for (int v = 0; v < p.numNodes; ++v) t.firstArc[v + 1] += t.firstArc[v];
  t.heads.resize(2 * p.edges.size());
  t.sisters.resize(2 * p.edges.size());
  std::vector<int> cursor(t.firstArc.begin(), t.firstArc.end() - 1);
  for (const Edge& e : p.edges) {
    const int a = cursor[e.u]++, b = cursor[e.v]++;
    t.heads[a] = e.v;
    t.heads[b] = e.u;
    t.sisters[a] = b;
    t.sisters[b] = a;
    t.arcOfEdge.emplace_back(a, b);
  }
  return t;
}

// Fills the network with the problem's capacities; arcs touching a node
// outside `inGraph` get 0 both ways.
void fill(FlowNetwork& network, const Topology& t, const Problem& p,
          const std::vector<bool>& inGraph) {
  for (std::size_t k = 0; k < p.edges.size(); ++k) {
    const Edge& e = p.edges[k];
    const bool both = inGraph[e.u] && inGraph[e.v];
    network.residual()[t.arcOfEdge[k].first] = both ? e.forward : 0.0f;
    network.residual()[t.arcOfEdge[k].second] = both ? e.backward : 0.0f;
  }
  for (int v = 0; v < p.numNodes; ++v) {
    network.terminal()[v] = p.source[v] - p.sink[v];
  }
}

// Cut of the source side `side` over the nodes in inGraph, in double.
double cutValue(const Problem& p, const std::vector<bool>& side,
                const std::vector<bool>& inGraph) {
  double cut = 0;
  for (int v = 0; v < p.numNodes; ++v) {
    if (!inGraph[v]) continue;
    cut += side[v] ? p.sink[v] : p.source[v];
  }
  for (const Edge& e : p.edges) {
    if (!inGraph[e.u] || !inGraph[e.v]) continue;
    if (side[e.u] && !side[e.v]) cut += e.forward;
    if (side[e.v] && !side[e.u]) cut += e.backward;
  }
  return cut;
}

double boostMinCut(const Problem& p, const std::vector<bool>& inGraph) {
  BoostMaxFlow g(p.numNodes + 2);
  auto add = [&](int from, int to, double cap) { g.addArc(from, to, cap); };
  const int source = p.numNodes, sink = p.numNodes + 1;
  for (int v = 0; v < p.numNodes; ++v) {
    if (!inGraph[v]) continue;
    if (p.source[v] > 0) add(source, v, p.source[v]);
    if (p.sink[v] > 0) add(v, sink, p.sink[v]);
  }
  for (const Edge& e : p.edges) {
    if (!inGraph[e.u] || !inGraph[e.v]) continue;
    add(e.u, e.v, e.forward);
    add(e.v, e.u, e.backward);
  }
  return g.maxFlow(source, sink);
}

std::vector<bool> solve(FlowNetwork& network, const Problem& p,
                        const std::vector<bool>& inGraph) {
  std::vector<int> nodes;
  for (int v = 0; v < p.numNodes; ++v) {
    if (inGraph[v]) nodes.push_back(v);
  }
  network.maxFlow(nodes.data(), static_cast<int>(nodes.size()));
  std::vector<bool> side(p.numNodes, false);
  for (int v : nodes) side[v] = network.onSourceSide(v);
  return side;
}

// Shaped like a superpixel graph: each node joined to a few nodes close by
// in numbering, a few hubs joined to thousands of nodes, weights spanning
// three decades, small terminal capacities of both signs on most nodes and
// large ones on a few "seeds".
Problem hubProblem(std::mt19937& rng, int numNodes, int numHubs,
                   int hubDegree) {
  Problem p;
  p.numNodes = numNodes;
  std::uniform_real_distribution<float> unit(0.0f, 1.0f);
  std::set<std::pair<int, int>> pairs;
  for (int v = 0; v < numNodes; ++v) {
    for (int k = 1; k <= 3; ++k) {
      const int u = v + 1 + static_cast<int>(rng() % 12);
      if (u < numNodes) pairs.emplace(v, u);
    }
  }
  for (int h = 0; h < numHubs; ++h) {
    const int hub = static_cast<int>(rng() % numNodes);
    for (int k = 0; k < hubDegree; ++k) {
      const int u = static_cast<int>(rng() % numNodes);
      if (u != hub) pairs.emplace(std::min(hub, u), std::max(hub, u));
    }
  }
  for (const auto& [u, v] : pairs) {
    const float w = 1000.0f / (1.0f + 2000.0f * unit(rng) * unit(rng));
    // Mostly symmetric, as equal labels give; sometimes one-way.
    const bool oneWay = rng() % 4 == 0;
    p.edges.push_back({u, v, w, oneWay ? 0.0f : w});
  }
  p.source.assign(numNodes, 0.0f);
  p.sink.assign(numNodes, 0.0f);
  for (int v = 0; v < numNodes; ++v) {
    const int kind = static_cast<int>(rng() % 100);
    if (kind < 2) {
      p.source[v] = 1e6f;
    } else if (kind < 4) {
      p.sink[v] = 1e6f;
    } else if (kind < 90) {
      (rng() % 2 ? p.source : p.sink)[v] = 0.5f * unit(rng);
    }
  }
  return p;
}

TEST(FlowNetworkOracle, HubGraphsGiveThePushRelabelCut) {
  struct Shape {
    int nodes, hubs, hubDegree;
  };
  for (const Shape shape :
       {Shape{300, 1, 250}, Shape{3000, 3, 2500}, Shape{6000, 2, 5000}}) {
    for (unsigned seed = 1; seed <= 4; ++seed) {
      std::mt19937 rng(seed * 7919u + shape.nodes);
      const Problem p =
          hubProblem(rng, shape.nodes, shape.hubs, shape.hubDegree);
      const Topology t = topologyOf(p);
      FlowNetwork network(t.firstArc, t.heads, t.sisters);
      const std::vector<bool> all(p.numNodes, true);
      // A second solve on the same network must not see the first one's
      // state, so each problem is solved twice.
      for (int round = 0; round < 2; ++round) {
        fill(network, t, p, all);
        const std::vector<bool> side = solve(network, p, all);
        const double oracle = boostMinCut(p, all);
        EXPECT_NEAR(cutValue(p, side, all), oracle, 1e-5 * oracle + 1e-3)
            << "seed " << seed << ", " << shape.nodes << " nodes, round "
            << round;
      }
    }
  }
}

TEST(FlowNetworkOracle, NodesLeftOutTakeNoPart) {
  for (unsigned seed = 1; seed <= 6; ++seed) {
    std::mt19937 rng(seed);
    const Problem p = hubProblem(rng, 2000, 2, 1500);
    const Topology t = topologyOf(p);
    FlowNetwork network(t.firstArc, t.heads, t.sisters);
    std::vector<bool> inGraph(p.numNodes);
    for (int v = 0; v < p.numNodes; ++v) inGraph[v] = rng() % 3 != 0;
    fill(network, t, p, inGraph);
    // What is left in the arrays of the nodes left out must not matter.
    for (int v = 0; v < p.numNodes; ++v) {
      if (!inGraph[v]) network.terminal()[v] = 5.0f;
    }
    const std::vector<bool> side = solve(network, p, inGraph);
    const double oracle = boostMinCut(p, inGraph);
    EXPECT_NEAR(cutValue(p, side, inGraph), oracle, 1e-5 * oracle + 1e-3)
        << "seed " << seed;
  }
}

// With integer capacities every sum is exact, so ties are real ties: the
// reported side must be the intersection of all minimum cuts.
TEST(FlowNetworkExhaustive, SmallestSourceSideAmongAllMinimumCuts) {
  for (unsigned seed = 1; seed <= 300; ++seed) {
    std::mt19937 rng(seed);
    Problem p;
    p.numNodes = 2 + static_cast<int>(rng() % 9);
    p.source.assign(p.numNodes, 0.0f);
    p.sink.assign(p.numNodes, 0.0f);
    for (int v = 0; v < p.numNodes; ++v) {
      p.source[v] = static_cast<float>(rng() % 4);
      p.sink[v] = static_cast<float>(rng() % 4);
    }
    for (int u = 0; u < p.numNodes; ++u) {
      for (int v = u + 1; v < p.numNodes; ++v) {
        if (rng() % 2) {
          p.edges.push_back({u, v, static_cast<float>(rng() % 4),
                             static_cast<float>(rng() % 4)});
        }
      }
    }
    const Topology t = topologyOf(p);
    FlowNetwork network(t.firstArc, t.heads, t.sisters);
    const std::vector<bool> all(p.numNodes, true);
    fill(network, t, p, all);
    const std::vector<bool> side = solve(network, p, all);

    double best = INFINITY;
    std::vector<bool> intersection(p.numNodes, true);
    for (int mask = 0; mask < (1 << p.numNodes); ++mask) {
      std::vector<bool> cut(p.numNodes);
      for (int v = 0; v < p.numNodes; ++v) cut[v] = (mask >> v) & 1;
      const double value = cutValue(p, cut, all);
      if (value < best) {
        best = value;
        intersection = cut;
      } else if (value == best) {
        for (int v = 0; v < p.numNodes; ++v) {
          intersection[v] = intersection[v] && cut[v];
        }
      }
    }
    EXPECT_EQ(cutValue(p, side, all), best) << "seed " << seed;
    EXPECT_EQ(side, intersection) << "seed " << seed;
  }
}

TEST(FlowNetworkExhaustive, NoSourceCapacityPutsEveryNodeOnTheSinkSide) {
  Problem p;
  p.numNodes = 3;
  p.source = {0, 0, 0};
  p.sink = {1, 0, 2};
  p.edges = {{0, 1, 4, 4}, {1, 2, 4, 4}};
  const Topology t = topologyOf(p);
  FlowNetwork network(t.firstArc, t.heads, t.sisters);
  const std::vector<bool> all(3, true);
  fill(network, t, p, all);
  EXPECT_EQ(solve(network, p, all), std::vector<bool>(3, false));
}

}  // namespace
}  // namespace scribeline
