// Max-flow graph: cut values and sides against exhaustive enumeration and
// against Boost.Graph's push-relabel max-flow, storage edge cases, fatal paths.
#include "graphcut/graph.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <boost/graph/adjacency_list.hpp>
#include <boost/graph/push_relabel_max_flow.hpp>
#include <cstdio>
#include <random>
#include <vector>

#include "graphcut/memory.h"

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

Solution solve(const Problem& problem) {
  Graph graph;
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

// Capacity of the cut in which side[i] == SOURCE puts node i on the source side.
double cutCapacity(const Problem& problem, const std::vector<int>& side) {
  double total = 0;
  for (int i = 0; i < problem.numNodes; ++i) {
    total += side[i] == Graph::SOURCE ? problem.sink[i] : problem.source[i];
  }
  for (const Edge& e : problem.edges) {
    if (side[e.from] == Graph::SOURCE && side[e.to] == Graph::SINK) total += e.capacity;
    if (side[e.from] == Graph::SINK && side[e.to] == Graph::SOURCE) total += e.reverseCapacity;
  }
  return total;
}

Problem randomProblem(std::mt19937& rng, int numNodes, int numEdges, int maxCap) {
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
    int b = node(rng);
    if (a == b) continue;
    p.edges.push_back({a, b, static_cast<float>(cap(rng)), static_cast<float>(cap(rng))});
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
    double best = 1e300;
    for (int mask = 0; mask < (1 << numNodes); ++mask) {
      std::vector<int> side(numNodes);
      for (int i = 0; i < numNodes; ++i) side[i] = (mask >> i) & 1 ? Graph::SOURCE : Graph::SINK;
      best = std::min(best, cutCapacity(p, side));
    }
    ASSERT_DOUBLE_EQ(s.flow, best);
    ASSERT_DOUBLE_EQ(cutCapacity(p, s.side), best);
  }
}

}  // namespace
}  // namespace scribeline
