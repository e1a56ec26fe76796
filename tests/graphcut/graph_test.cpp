// Max-flow graph: cut values and sides against exhaustive enumeration and
// against Boost.Graph's push-relabel max-flow, storage edge cases, fatal paths.
#include "tests/graphcut/reference/graph.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "graphcut/memory.h"
#include "tests/graphcut/boost_max_flow.h"

namespace scribeline {
namespace {

struct Edge {
  int from;
  int to;
  float capacity;
  float reverseCapacity;
};

struct Problem {
  int numNodes = 0;
  std::vector<float> source;  // terminal weights, added in one call per node
  std::vector<float> sink;
  std::vector<Edge> edges;
};

struct Solution {
  double flow = 0;
  std::vector<int> side;  // Graph::SOURCE or Graph::SINK per node
};

Solution solve(const Problem& problem, const GraphOptions& options = {}) {
  Graph graph(nullptr, options);
  std::vector<Graph::NodeHandle> nodes;
  for (int i = 0; i < problem.numNodes; ++i) nodes.push_back(graph.addNode());
  for (int i = 0; i < problem.numNodes; ++i) {
    graph.addTerminalWeights(nodes[i], problem.source[i], problem.sink[i]);
  }
  for (const Edge& e : problem.edges) {
    graph.addEdge(nodes[e.from], nodes[e.to], e.capacity, e.reverseCapacity);
  }
  Solution solution;
  solution.flow = graph.maxFlow();
  for (auto* node : nodes) solution.side.push_back(graph.segmentOf(node));
  return solution;
}

// Capacity of the cut in which side[i] == SOURCE puts node i on the source
// side.
double cutCapacity(const Problem& problem, const std::vector<int>& side) {
  double total = 0;
  for (int i = 0; i < problem.numNodes; ++i) {
    total += side[i] == Graph::SOURCE ? problem.sink[i] : problem.source[i];
  }
  for (const Edge& e : problem.edges) {
    if (side[e.from] == Graph::SOURCE && side[e.to] == Graph::SINK)
      total += e.capacity;
    if (side[e.from] == Graph::SINK && side[e.to] == Graph::SOURCE)
      total += e.reverseCapacity;
  }
  return total;
}

// The capacity of the cheapest of all 2^n cuts.
double smallestCutByEnumeration(const Problem& problem) {
  const int n = problem.numNodes;
  double best = 1e300;
  for (int mask = 0; mask < (1 << n); ++mask) {
    std::vector<int> side(n);
    for (int i = 0; i < n; ++i)
      side[i] = (mask >> i) & 1 ? Graph::SOURCE : Graph::SINK;
    best = std::min(best, cutCapacity(problem, side));
  }
  return best;
}

Problem randomProblem(std::mt19937& rng, int numNodes, int numEdges,
                      int maxCap) {
  std::uniform_int_distribution<int> node(0, numNodes - 1);
  std::uniform_int_distribution<int> cap(0, maxCap);
  Problem p;
  p.numNodes = numNodes;
  for (int i = 0; i < numNodes; ++i) {
    p.source.push_back(static_cast<float>(cap(rng)));
    p.sink.push_back(static_cast<float>(cap(rng)));
  }
  for (int e = 0; e < numEdges; ++e) {
    int a = node(rng);
    int b = node(rng);  // self-loops included: they never cross a cut
    p.edges.push_back(
        {a, b, static_cast<float>(cap(rng)), static_cast<float>(cap(rng))});
  }
  return p;
}

TEST(GraphExhaustive, MinCutMatchesEveryCutOnSmallGraphs) {
  for (unsigned seed = 1; seed <= 400; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 rng(seed);
    int numNodes = 1 + static_cast<int>(seed % 10);
    Problem p = randomProblem(rng, numNodes, numNodes * 3, 9);
    Solution s = solve(p);
    const double best = smallestCutByEnumeration(p);
    ASSERT_DOUBLE_EQ(s.flow, best);
    ASSERT_DOUBLE_EQ(cutCapacity(p, s.side), best);
  }
}

// No node with more source than sink weight: no source tree can form, so every
// node ends on the SINK side whatever the arcs, and the flow is still the
// smallest cut.
TEST(GraphExhaustive, NoSourceCapacityLeavesEveryNodeOnTheSinkSide) {
  for (unsigned seed = 1; seed <= 100; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 rng(seed);
    int numNodes = 1 + static_cast<int>(seed % 8);
    Problem p = randomProblem(rng, numNodes, numNodes * 3, 9);
    for (int i = 0; i < numNodes; ++i)
      p.source[i] = std::min(p.source[i], p.sink[i]);
    Solution s = solve(p);
    const double best = smallestCutByEnumeration(p);
    ASSERT_DOUBLE_EQ(s.flow, best);
    for (int i = 0; i < numNodes; ++i)
      EXPECT_EQ(s.side[i], Graph::SINK) << "node " << i;
  }
}

// Max flow of the same network (terminal weights as arcs from the source and
// to the sink) computed by Boost.Graph's push-relabel algorithm.
double boostMaxFlow(const Problem& p) {
  BoostMaxFlow g(p.numNodes + 2);
  auto addArc = [&](int from, int to, double cap) { g.addArc(from, to, cap); };
  int source = p.numNodes;
  int sink = p.numNodes + 1;
  for (int i = 0; i < p.numNodes; ++i) {
    if (p.source[i] > 0) addArc(source, i, p.source[i]);
    if (p.sink[i] > 0) addArc(i, sink, p.sink[i]);
  }
  for (const Edge& e : p.edges) {
    if (e.capacity > 0) addArc(e.from, e.to, e.capacity);
    if (e.reverseCapacity > 0) addArc(e.to, e.from, e.reverseCapacity);
  }
  return g.maxFlow(source, sink);
}

void expectMatchesBoost(const Problem& p) {
  Solution s = solve(p);
  double oracle = boostMaxFlow(p);
  EXPECT_NEAR(s.flow, oracle, 1e-9 * (1 + oracle));
  EXPECT_NEAR(cutCapacity(p, s.side), s.flow, 1e-9 * (1 + oracle));
}

TEST(GraphOracle, FlowMatchesPushRelabelOnRandomSparseGraphs) {
  for (unsigned seed = 11; seed <= 16; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 rng(seed);
    int numNodes = 2000 + static_cast<int>(seed) * 150;
    expectMatchesBoost(randomProblem(rng, numNodes, numNodes * 3, 100));
  }
}

// Grid-shaped graphs with many ties: nodes added in row order, each linked to
// its right and lower neighbour, like the moves build them.
TEST(GraphOracle, FlowMatchesPushRelabelOnGrids) {
  for (unsigned seed = 21; seed <= 23; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> cap(0, 8);
    const int width = 60;
    const int height = 50;
    Problem p;
    p.numNodes = width * height;
    for (int i = 0; i < p.numNodes; ++i) {
      p.source.push_back(static_cast<float>(cap(rng)));
      p.sink.push_back(static_cast<float>(cap(rng)));
    }
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        int i = y * width + x;
        if (x + 1 < width)
          p.edges.push_back({i, i + 1, float(cap(rng)), float(cap(rng))});
        if (y + 1 < height)
          p.edges.push_back({i, i + width, float(cap(rng)), float(cap(rng))});
      }
    }
    expectMatchesBoost(p);
  }
}

// Nodes with many arcs: each row puts `hubs` hub nodes with `arcs` arcs each
// (outgoing or incoming) among ordinary random edges.
struct HubCase {
  int arcs;
  bool outgoing;
  int hubs;
  bool adjacentHubs = false;  // hubs are nodes 0, 1, ... instead of random
};

class GraphHubs : public testing::TestWithParam<HubCase> {};

TEST_P(GraphHubs, LongRunsGiveTheOracleFlowAndCut) {
  const HubCase& c = GetParam();
  unsigned seed =
      1000u + static_cast<unsigned>(c.arcs) + (c.outgoing ? 1u : 0u);
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 rng(seed);
  const int numNodes = 3000;
  Problem p = randomProblem(rng, numNodes, 2000, 20);
  std::uniform_int_distribution<int> node(0, numNodes - 1);
  std::uniform_int_distribution<int> cap(0, 20);
  for (int h = 0; h < c.hubs; ++h) {
    int hub = c.adjacentHubs ? h : node(rng);
    for (int a = 0; a < c.arcs; ++a) {
      int other = node(rng);
      while (other == hub) other = node(rng);
      Edge e{hub, other, float(cap(rng)), float(cap(rng))};
      if (!c.outgoing) std::swap(e.from, e.to);
      p.edges.push_back(e);
    }
  }
  // Interleave so that the hub arcs are spread over many chunks.
  std::shuffle(p.edges.begin(), p.edges.end(), rng);
  expectMatchesBoost(p);
}

INSTANTIATE_TEST_SUITE_P(
    ArcCounts, GraphHubs,
    testing::Values(HubCase{1023, true, 1}, HubCase{1024, true, 1},
                    HubCase{1025, true, 1}, HubCase{5000, true, 1},
                    HubCase{1024, false, 1}, HubCase{1025, false, 1},
                    HubCase{5000, false, 1}, HubCase{1500, true, 4},
                    HubCase{1500, false, 4}, HubCase{2000, true, 3, true},
                    HubCase{2000, false, 3, true}));

// Runs of awkward lengths side by side (empty, exactly a chunk, one more, far
// more), so that chunks close on every kind of run, in both directions.
TEST(GraphHubs, MixedRunLengthsAgainstTheOracle) {
  const int lengths[] = {0, 0, 1, 511, 512, 700, 1023, 1024, 1025, 2048, 3000};
  for (unsigned seed = 31; seed <= 34; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 rng(seed);
    const int numNodes = 400;
    Problem p = randomProblem(rng, numNodes, 0, 30);
    std::uniform_int_distribution<int> pick(
        0, static_cast<int>(std::size(lengths)) - 1);
    std::uniform_int_distribution<int> node(0, numNodes - 1);
    std::uniform_int_distribution<int> cap(0, 30);
    for (int i = 0; i < numNodes; i += 7) {
      int length = lengths[pick(rng)];
      bool outgoing = (i / 7) % 2 == 0;
      for (int a = 0; a < length; ++a) {
        Edge e{i, node(rng), float(cap(rng)), float(cap(rng))};
        if (!outgoing) std::swap(e.from, e.to);
        p.edges.push_back(e);
      }
    }
    std::shuffle(p.edges.begin(), p.edges.end(), rng);
    expectMatchesBoost(p);
  }
}

// A star: every arc of the graph leaves (or enters) one node, checked against
// every cut of the leaves' sides (the hub's side is forced by its terminals).
TEST(GraphHubs, StarWithEveryArcOnOneNode) {
  for (bool outgoing : {true, false}) {
    for (int arcs : {1024, 1025, 5000}) {
      SCOPED_TRACE("arcs " + std::to_string(arcs));
      Problem p;
      p.numNodes = arcs + 1;
      p.source.assign(p.numNodes, 0);
      p.sink.assign(p.numNodes, 0);
      p.source[0] = 1e6f;  // the hub is fixed to the source side
      for (int leaf = 1; leaf <= arcs; ++leaf) {
        p.sink[leaf] = static_cast<float>(leaf % 7);
        Edge e{0, leaf, static_cast<float>(leaf % 5), 0};
        if (!outgoing) e = {leaf, 0, 0, static_cast<float>(leaf % 5)};
        p.edges.push_back(e);
      }
      // Each leaf independently passes min(arc, sink) to the sink.
      double expected = 0;
      for (int leaf = 1; leaf <= arcs; ++leaf)
        expected += std::min(leaf % 5, leaf % 7);
      Solution s = solve(p);
      EXPECT_DOUBLE_EQ(s.flow, expected);
      EXPECT_DOUBLE_EQ(cutCapacity(p, s.side), expected);
      EXPECT_EQ(s.side[0], Graph::SOURCE);
    }
  }
}

// Growth that resumes where it last stopped must do exactly what rescanning
// from the first arc does: same flow to the last bit, same side for every
// node. Shaped like the lazy-snapping moves, where it matters: hubs with
// hundreds of neighbours, every pair joined twice, strong pairwise arcs and
// weak terminal links, so that hubs find path after path.
TEST(GraphResume, ResumedGrowthMatchesFullRescans) {
  for (unsigned seed = 1; seed <= 12; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 rng(seed);
    const int numNodes = 1500;
    Problem p;
    p.numNodes = numNodes;
    std::uniform_real_distribution<float> weak(-0.43f, 0.43f);
    std::uniform_real_distribution<float> colour(0, 40);
    std::uniform_int_distribution<int> node(0, numNodes - 1);
    for (int i = 0; i < numNodes; ++i) {
      float w = weak(rng);
      p.source.push_back(w > 0 ? w : 0);
      p.sink.push_back(w > 0 ? 0 : -w);
    }
    auto join = [&](int a, int b) {
      float d = colour(rng);
      float w = 1000.0f / (1 + d * d);
      p.edges.push_back({a, b, w, w});
      p.edges.push_back({b, a, w, w});
    };
    for (int i = 0; i + 1 < numNodes; ++i)
      join(i, i + 1 + node(rng) % 5 % (numNodes - 1 - i));
    for (int hub : {0, 700, 1499}) {
      for (int a = 0; a < 400; ++a) join(hub, node(rng));
    }
    std::shuffle(p.edges.begin(), p.edges.end(), rng);
    GraphOptions rescans;
    rescans.growthResumes = false;
    Solution full = solve(p, rescans);
    Solution resumed = solve(p);
    EXPECT_EQ(resumed.flow, full.flow);
    EXPECT_EQ(resumed.side, full.side);
  }
}

// Chains across node-chunk boundaries: the flow is the cheapest link.
TEST(GraphChunks, ChainsAcrossNodeChunks) {
  for (int numNodes : {510, 511, 512, 1023, 1024}) {
    SCOPED_TRACE("nodes " + std::to_string(numNodes));
    Problem p;
    p.numNodes = numNodes;
    p.source.assign(numNodes, 0);
    p.sink.assign(numNodes, 0);
    p.source[0] = 50;
    p.sink[numNodes - 1] = 50;
    for (int i = 0; i + 1 < numNodes; ++i) {
      p.edges.push_back({i, i + 1, 10.0f + static_cast<float>(i % 13), 0});
    }
    p.edges[numNodes / 2].capacity = 3;
    Solution s = solve(p);
    EXPECT_DOUBLE_EQ(s.flow, 3);
    for (int i = 0; i < numNodes; ++i) {
      EXPECT_EQ(s.side[i], i <= numNodes / 2 ? Graph::SOURCE : Graph::SINK)
          << i;
    }
  }
}

TEST(GraphChunks, NoEdgesSumsTheSmallerTerminalWeights) {
  Graph graph;
  Graph::NodeHandle a = graph.addNode();
  Graph::NodeHandle b = graph.addNode();
  Graph::NodeHandle c = graph.addNode();
  graph.addTerminalWeights(a, 5, 2);
  graph.addTerminalWeights(b, 1, 4);
  EXPECT_DOUBLE_EQ(graph.maxFlow(), 3);
  EXPECT_EQ(graph.segmentOf(a), Graph::SOURCE);
  EXPECT_EQ(graph.segmentOf(b), Graph::SINK);
  EXPECT_EQ(graph.segmentOf(c), Graph::SINK);  // zero terminal capacity
  EXPECT_DOUBLE_EQ(graph.maxFlow(), 3);        // a second call changes nothing
}

TEST(GraphChunks, EmptyGraphHasNoFlow) {
  Graph graph;
  EXPECT_DOUBLE_EQ(graph.maxFlow(), 0);
}

TEST(GraphTerminals, WeightsAccumulate) {
  Graph graph;
  Graph::NodeHandle node = graph.addNode();
  Graph::NodeHandle other = graph.addNode();
  graph.addTerminalWeights(node, 3, 1);
  graph.addTerminalWeights(node, 0, 2);
  graph.addTerminalWeights(other, 4, 0);
  EXPECT_DOUBLE_EQ(graph.maxFlow(), 3);
  EXPECT_EQ(graph.segmentOf(node), Graph::SINK);
  EXPECT_EQ(graph.segmentOf(other), Graph::SOURCE);
}

TEST(GraphTerminals, NegativeWeightsShiftTheFlow) {
  // A node paying -2 on the sink side and +1 on the source side: the cut puts
  // it on the source side and the flow counts the negative offset.
  Graph graph;
  Graph::NodeHandle node = graph.addNode();
  graph.addTerminalWeights(node, 1, -2);
  EXPECT_DOUBLE_EQ(graph.maxFlow(), -2);
  EXPECT_EQ(graph.segmentOf(node), Graph::SOURCE);
}

TEST(GraphTerminals, TinyResidualKeepsTheArcInTheTree) {
  // 1 + 2^-20 minus 1 leaves a tiny positive residual: the arc is not
  // saturated, so the far node stays reachable from the source.
  Graph graph;
  Graph::NodeHandle a = graph.addNode();
  Graph::NodeHandle b = graph.addNode();
  Graph::NodeHandle c = graph.addNode();
  graph.addTerminalWeights(a, 10, 0);
  graph.addTerminalWeights(b, 0, 1);
  graph.addEdge(a, b, 1.0f + 1.0f / 1048576.0f, 0);
  graph.addEdge(b, c, 5, 0);
  EXPECT_DOUBLE_EQ(graph.maxFlow(), 1);
  EXPECT_EQ(graph.segmentOf(b), Graph::SOURCE);
  EXPECT_EQ(graph.segmentOf(c), Graph::SOURCE);
}

// Fatal paths. The messages go to standard output; the death-test child
// redirects it to standard error, where EXPECT_EXIT looks.
std::size_t failingSize = 0;  // 0: every request fails once armed
bool armed = false;
void* failingAllocation(std::size_t bytes) {
  if (armed && (failingSize == 0 || bytes == failingSize)) return nullptr;
  return std::malloc(bytes);
}

void redirectStdoutToStderr() {
  std::fflush(stdout);
  dup2(2, 1);
}

constexpr std::size_t kNodeChunkBytes =
    2 * sizeof(void*) + 512 * sizeof(GraphNode);
constexpr std::size_t kForwardChunkBytes =
    3 * sizeof(void*) + 1025 * sizeof(ForwardArc) + 7;
constexpr std::size_t kReverseChunkBytes =
    3 * sizeof(void*) + 1025 * sizeof(ReverseArc) + 7;
constexpr std::size_t kOrphanChunkBytes =
    sizeof(void*) + 128 * sizeof(OrphanRef);

enum class Stage { kBuild, kSolve };
struct AllocationFailure {
  const char* name;
  std::size_t bytes;
  Stage armedAt;
  int hubOut;  // arcs leaving node 0 (0: a two-node augmenting path)
  int hubIn;   // arcs entering node 0
  const char* printed;
};

void buildAndSolve(const AllocationFailure& c) {
  failingSize = c.bytes;
  armed = c.armedAt == Stage::kBuild;
  GraphOptions options;
  options.memory.allocate = failingAllocation;
  redirectStdoutToStderr();
  Graph graph(nullptr, options);
  Graph::NodeHandle hub = graph.addNode();
  Graph::NodeHandle other = graph.addNode();
  graph.addTerminalWeights(hub, 5, 0);
  graph.addTerminalWeights(other, 0, 3);
  graph.addEdge(hub, other, 10, 0);
  for (int i = 0; i < c.hubOut; ++i) graph.addEdge(hub, graph.addNode(), 1, 1);
  for (int i = 0; i < c.hubIn; ++i) graph.addEdge(graph.addNode(), hub, 1, 1);
  armed = true;
  graph.maxFlow();
  std::exit(0);
}

class GraphFatal : public testing::TestWithParam<AllocationFailure> {};

TEST_P(GraphFatal, AllocationFailureStopsWithItsMessage) {
  EXPECT_EXIT(buildAndSolve(GetParam()), testing::ExitedWithCode(1),
              testing::StrEq(GetParam().printed));
}

INSTANTIATE_TEST_SUITE_P(
    Messages, GraphFatal,
    testing::Values(
        AllocationFailure{"NodeChunk", kNodeChunkBytes, Stage::kBuild, 0, 0,
                          ""},
        AllocationFailure{"ForwardChunk", kForwardChunkBytes, Stage::kBuild, 0,
                          0,
                          "Fatal ERROR at Ln89 of graph: Not enough memory!"},
        AllocationFailure{"ReverseChunk", kReverseChunkBytes, Stage::kBuild, 0,
                          0,
                          "Fatal ERROR at Ln101 of graph: Not enough memory!"},
        AllocationFailure{"PreparedForwardChunk", 0, Stage::kSolve, 1500, 0,
                          "Fatal ERROR at Ln194 of graph: Not enough memory!"},
        AllocationFailure{"PreparedReverseChunk", 0, Stage::kSolve, 0, 1500,
                          "Fatal ERROR at Ln227 of graph: Not enough memory!"},
        AllocationFailure{"OrphanChunk", kOrphanChunkBytes, Stage::kSolve, 0, 0,
                          "Fatal ERROR at Ln239 of block: Not enough memory!"}),
    [](const testing::TestParamInfo<AllocationFailure>& info) {
      return info.param.name;
    });

void reportToStdout(const char* message) {
  std::printf("callback: %s|", message);
}

TEST(GraphFatalCallback, CallbackHearsTheShortMessageFirst) {
  auto run = [] {
    failingSize = kForwardChunkBytes;
    armed = true;
    GraphOptions options;
    options.memory.allocate = failingAllocation;
    redirectStdoutToStderr();
    Graph graph(reportToStdout, options);
    graph.addEdge(graph.addNode(), graph.addNode(), 1, 1);
  };
  EXPECT_EXIT(
      run(), testing::ExitedWithCode(1),
      testing::StrEq("callback: Not enough memory!|"
                     "Fatal ERROR at Ln89 of graph: Not enough memory!"));
}

}  // namespace
}  // namespace scribeline
