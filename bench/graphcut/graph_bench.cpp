// FlowNetwork::maxFlow, network construction included, against the reference
// optimiser's Graph and Boost.Graph's boykov_kolmogorov_max_flow on the same
// instance in the same run; memory held by the Graph per node and per edge.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <boost/graph/adjacency_list.hpp>
#include <boost/graph/boykov_kolmogorov_max_flow.hpp>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "bench/graphcut/bench_graphs.h"
#include "graphcut/flow_network.h"
#include "tests/graphcut/reference/graph.h"

namespace scribeline {
namespace bench {
namespace {

// The whole network is one solve: every node listed, each edge an arc and its
// sister, terminal weights as net capacities (the smaller of the two is flow
// that needs no search).
double solveOurs(const FlowInstance& g) {
  std::vector<int> firstArc(g.numNodes + 1, 0);
  for (const FlowEdge& e : g.edges) {
    ++firstArc[e.from + 1];
    ++firstArc[e.to + 1];
  }
  for (int v = 0; v < g.numNodes; ++v) firstArc[v + 1] += firstArc[v];
  std::vector<int> heads(2 * g.edges.size()), sisters(2 * g.edges.size());
  std::vector<int> forwardArc(g.edges.size());
  std::vector<int> cursor(firstArc.begin(), firstArc.end() - 1);
  for (std::size_t k = 0; k < g.edges.size(); ++k) {
    const FlowEdge& e = g.edges[k];
    const int forward = cursor[e.from]++, back = cursor[e.to]++;
    heads[forward] = e.to;
    heads[back] = e.from;
    sisters[forward] = back;
    sisters[back] = forward;
    forwardArc[k] = forward;
  }
  FlowNetwork network(std::move(firstArc), std::move(heads),
                      std::move(sisters));
  for (std::size_t k = 0; k < g.edges.size(); ++k) {
    network.residual()[forwardArc[k]] = g.edges[k].capacity;
    network.residual()[network.sister(forwardArc[k])] =
        g.edges[k].reverseCapacity;
  }
  double offset = 0;
  std::vector<int> nodes(g.numNodes);
  for (int v = 0; v < g.numNodes; ++v) {
    network.terminal()[v] = g.source[v] - g.sink[v];
    offset += std::min(g.source[v], g.sink[v]);
    nodes[v] = v;
  }
  return offset + network.maxFlow(nodes.data(), g.numNodes);
}

double solveReference(const FlowInstance& g, std::size_t* nodeBytes = nullptr,
                      std::size_t* arcBytes = nullptr) {
  Graph graph;
  std::vector<Graph::NodeHandle> nodes(g.numNodes);
  for (int i = 0; i < g.numNodes; ++i) nodes[i] = graph.addNode();
  for (int i = 0; i < g.numNodes; ++i)
    graph.addTerminalWeights(nodes[i], g.source[i], g.sink[i]);
  for (const FlowEdge& e : g.edges) {
    graph.addEdge(nodes[e.from], nodes[e.to], e.capacity, e.reverseCapacity);
  }
  double flow = graph.maxFlow();
  if (nodeBytes != nullptr) *nodeBytes = graph.nodeBytesHeld();
  if (arcBytes != nullptr) *arcBytes = graph.arcBytesHeld();
  return flow;
}

using Traits =
    boost::adjacency_list_traits<boost::vecS, boost::vecS, boost::directedS>;
using BoostGraph = boost::adjacency_list<
    boost::vecS, boost::vecS, boost::directedS,
    boost::property<boost::vertex_color_t, boost::default_color_type,
                    boost::property<boost::vertex_distance_t, long,
                                    boost::property<boost::vertex_predecessor_t,
                                                    Traits::edge_descriptor>>>,
    boost::property<boost::edge_capacity_t, float,
                    boost::property<boost::edge_residual_capacity_t, float,
                                    boost::property<boost::edge_reverse_t,
                                                    Traits::edge_descriptor>>>>;

// Terminal weights enter Boost's graph as net capacities (the smaller of the
// two is flow that needs no search), the same reduction the others make.
double solveBoost(const FlowInstance& g) {
  BoostGraph graph(g.numNodes + 2);
  auto capacity = boost::get(boost::edge_capacity, graph);
  auto reverse = boost::get(boost::edge_reverse, graph);
  auto addPair = [&](int from, int to, float forwardCap, float backCap) {
    auto forward = boost::add_edge(from, to, graph).first;
    auto back = boost::add_edge(to, from, graph).first;
    capacity[forward] = forwardCap;
    capacity[back] = backCap;
    reverse[forward] = back;
    reverse[back] = forward;
  };
  const int source = g.numNodes;
  const int sink = g.numNodes + 1;
  double offset = 0;
  for (int i = 0; i < g.numNodes; ++i) {
    float net = g.source[i] - g.sink[i];
    offset += std::min(g.source[i], g.sink[i]);
    if (net > 0) addPair(source, i, net, 0);
    if (net < 0) addPair(i, sink, -net, 0);
  }
  for (const FlowEdge& e : g.edges)
    addPair(e.from, e.to, e.capacity, e.reverseCapacity);
  double flow = boost::boykov_kolmogorov_max_flow(
      graph, capacity, boost::get(boost::edge_residual_capacity, graph),
      reverse, boost::get(boost::vertex_predecessor, graph),
      boost::get(boost::vertex_color, graph),
      boost::get(boost::vertex_distance, graph),
      boost::get(boost::vertex_index, graph), source, sink);
  return flow + offset;
}

// Checks the flow against Boost.Graph's.
void checkFlow(benchmark::State& state, const FlowInstance& g, double flow) {
  const double boost = solveBoost(g);
  if (std::fabs(flow - boost) > 1e-4 * std::fabs(boost)) {
    state.SkipWithError("flow differs from Boost.Graph's");
  }
  state.counters["flow"] = flow;
}

void runOurs(benchmark::State& state, const FlowInstance* g) {
  double flow = 0;
  for (auto _ : state) {
    flow = solveOurs(*g);
    benchmark::DoNotOptimize(flow);
  }
  checkFlow(state, *g, flow);
}

void runReference(benchmark::State& state, const FlowInstance* g) {
  double flow = 0;
  for (auto _ : state) {
    flow = solveReference(*g);
    benchmark::DoNotOptimize(flow);
  }
  checkFlow(state, *g, flow);
  std::size_t nodeBytes = 0;
  std::size_t arcBytes = 0;
  solveReference(*g, &nodeBytes, &arcBytes);
  state.counters["bytesPerNode"] = static_cast<double>(nodeBytes) / g->numNodes;
  state.counters["bytesPerEdge"] =
      static_cast<double>(arcBytes) / g->edges.size();
}

void runBoost(benchmark::State& state, const FlowInstance* g) {
  double flow = 0;
  for (auto _ : state) {
    flow = solveBoost(*g);
    benchmark::DoNotOptimize(flow);
  }
  state.counters["flow"] = flow;
}

const FlowInstance& grid() {
  static const FlowInstance instance = gridInstance(1000, 1000, 12345);
  return instance;
}

const FlowInstance& planar() {
  static const FlowInstance instance =
      planarInstance(317, 777);  // 100,489 nodes
  return instance;
}

// The graph of the first expansion move of the expansion benchmark: random
// data costs 0..10 on both terminals, Potts pairs declared twice.
const FlowInstance& expansionMove() {
  static const FlowInstance instance =
      planarInstance(317, 778, 10.0f, 1.0f, 6.0f);
  return instance;
}

void registerPeers(const std::string& name, const FlowInstance& g) {
  benchmark::RegisterBenchmark((name + "/ours").c_str(), runOurs, &g)
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark((name + "/reference").c_str(), runReference, &g)
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark((name + "/boost").c_str(), runBoost, &g)
      ->Unit(benchmark::kMillisecond);
}

const bool registered = [] {
  registerPeers("maxFlow/grid1000x1000", grid());
  registerPeers("maxFlow/planar100k", planar());
  registerPeers("maxFlow/planar100k_expansion_move", expansionMove());
  return true;
}();

}  // namespace
}  // namespace bench
}  // namespace scribeline
