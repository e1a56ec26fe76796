// Boost.Graph's push-relabel max-flow as an independent oracle for the tests:
// arcs with double capacities between numbered nodes, two of which are
// named the source and the sink when the flow is computed.
#pragma once

// The algorithm's closing self-checks compare sums of double capacities for
// exact equality, which rounding breaks in builds that keep assertions; the
// tests compare flows and cuts within their own tolerance instead.
#define BOOST_DISABLE_ASSERTS
#include <boost/graph/adjacency_list.hpp>
#include <boost/graph/push_relabel_max_flow.hpp>
#undef BOOST_DISABLE_ASSERTS

namespace scribeline {

class BoostMaxFlow {
 public:
  explicit BoostMaxFlow(int numNodes) : graph_(numNodes) {}

  void addArc(int from, int to, double capacity) {
    auto capacities = boost::get(boost::edge_capacity, graph_);
    auto reverse = boost::get(boost::edge_reverse, graph_);
    auto forward = boost::add_edge(from, to, graph_).first;
    auto back = boost::add_edge(to, from, graph_).first;
    capacities[forward] = capacity;
    capacities[back] = 0;
    reverse[forward] = back;
    reverse[back] = forward;
  }

  double maxFlow(int source, int sink) {
    return boost::push_relabel_max_flow(graph_, source, sink);
  }

 private:
  using Traits =
      boost::adjacency_list_traits<boost::vecS, boost::vecS, boost::directedS>;
  using Graph = boost::adjacency_list<
      boost::vecS, boost::vecS, boost::directedS, boost::no_property,
      boost::property<
          boost::edge_capacity_t, double,
          boost::property<boost::edge_residual_capacity_t, double,
                          boost::property<boost::edge_reverse_t,
                                          Traits::edge_descriptor>>>>;
  Graph graph_;
};

}  // namespace scribeline
