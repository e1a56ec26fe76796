// Random max-flow instances for the benchmarks, built once outside timing.
#pragma once

#include <random>
#include <vector>

namespace scribeline {
namespace bench {

struct FlowEdge {
  int from;
  int to;
  float capacity;
  float reverseCapacity;
};

struct FlowInstance {
  int numNodes = 0;
  std::vector<float> source;
  std::vector<float> sink;
  std::vector<FlowEdge> edges;
};

// width x height grid, 4-connected, symmetric smoothness edges.
inline FlowInstance gridInstance(int width, int height, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> terminal(0.0f, 100.0f);
  std::uniform_real_distribution<float> smooth(1.0f, 50.0f);
  FlowInstance g;
  g.numNodes = width * height;
  for (int i = 0; i < g.numNodes; ++i) {
    g.source.push_back(terminal(rng));
    g.sink.push_back(terminal(rng));
  }
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      int i = y * width + x;
      if (x + 1 < width) {
        float w = smooth(rng);
        g.edges.push_back({i, i + 1, w, w});
      }
      if (y + 1 < height) {
        float w = smooth(rng);
        g.edges.push_back({i, i + width, w, w});
      }
    }
  }
  return g;
}

// Planar graph of about `numNodes` nodes with mean degree about 6: a grid
// whose cells are each cut by one diagonal of random direction (a
// triangulation of jittered points), the shape of a superpixel adjacency.
inline std::vector<std::pair<int, int>> planarPairs(int side, unsigned seed) {
  std::mt19937 rng(seed);
  std::bernoulli_distribution flip(0.5);
  std::vector<std::pair<int, int>> pairs;
  for (int y = 0; y < side; ++y) {
    for (int x = 0; x < side; ++x) {
      int i = y * side + x;
      if (x + 1 < side) pairs.push_back({i, i + 1});
      if (y + 1 < side) pairs.push_back({i, i + side});
      if (x + 1 < side && y + 1 < side) {
        if (flip(rng)) {
          pairs.push_back({i, i + side + 1});
        } else {
          pairs.push_back({i + 1, i + side});
        }
      }
    }
  }
  return pairs;
}

inline FlowInstance planarInstance(int side, unsigned seed,
                                   float maxTerminal = 100.0f,
                                   float minSmooth = 1.0f,
                                   float maxSmooth = 50.0f) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> terminal(0.0f, maxTerminal);
  std::uniform_real_distribution<float> smooth(minSmooth, maxSmooth);
  FlowInstance g;
  g.numNodes = side * side;
  for (int i = 0; i < g.numNodes; ++i) {
    g.source.push_back(terminal(rng));
    g.sink.push_back(terminal(rng));
  }
  for (auto [a, b] : planarPairs(side, seed + 1)) {
    float w = smooth(rng);
    g.edges.push_back({a, b, w, w});
  }
  return g;
}

}  // namespace bench
}  // namespace scribeline
