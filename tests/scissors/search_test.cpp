#include <gtest/gtest.h>

#include <algorithm>
#include <boost/graph/adjacency_list.hpp>
#include <boost/graph/dijkstra_shortest_paths.hpp>
#include <vector>

#include "scissors/iscissor.h"
#include "tests/scissors/test_images.h"

namespace scribeline {
namespace {

using testing_images::chainEndsAtSeed;
using testing_images::randomImage;

bool insideImage(const IScissor& scissor, int x, int y) {
  return x >= 0 && y >= 0 && x < scissor.width() && y < scissor.height();
}

// Shortest path costs from the seed over the same link costs, by Boost.Graph.
std::vector<double> boostDistances(const IScissor& scissor, cv::Point seed) {
  using Graph =
      boost::adjacency_list<boost::vecS, boost::vecS, boost::directedS,
                            boost::no_property,
                            boost::property<boost::edge_weight_t, double>>;
  const int width = scissor.width();
  Graph graph(static_cast<std::size_t>(width) * scissor.height());
  for (int y = 0; y < scissor.height(); ++y) {
    for (int x = 0; x < width; ++x) {
      for (int k = 0; k < 8; ++k) {
        const int nx = x + directionOffsets[k].dx;
        const int ny = y + directionOffsets[k].dy;
        if (!insideImage(scissor, nx, ny)) continue;
        boost::add_edge(y * width + x, ny * width + nx,
                        scissor.linkCost(x, y, k), graph);
      }
    }
  }
  std::vector<double> distances(boost::num_vertices(graph));
  boost::dijkstra_shortest_paths(graph, seed.y * width + seed.x,
                                 boost::distance_map(distances.data()));
  return distances;
}

using SearchCase = testing_images::ImageCase;

class SearchAgainstBoost : public ::testing::TestWithParam<SearchCase> {};

TEST_P(SearchAgainstBoost, PathCostsAreShortestAndChainsEndAtTheSeed) {
  const SearchCase& c = GetParam();
  SCOPED_TRACE(::testing::Message() << "seed " << c.seed);
  const cv::Mat image = randomImage(c.width, c.height, c.seed, c.levels);
  IScissor scissor(image);
  const cv::Point seeds[] = {
      {0, 0}, {c.width / 2, c.height / 2}, {c.width - 1, c.height - 1}};
  for (const cv::Point& seed : seeds) {
    SCOPED_TRACE(::testing::Message()
                 << "search from (" << seed.x << ", " << seed.y << ")");
    scissor.searchFromSeed(seed.x, seed.y);
    const std::vector<double> expected = boostDistances(scissor, seed);
    for (int y = 0; y < c.height; ++y) {
      for (int x = 0; x < c.width; ++x) {
        const ScissorNode node = scissor.node(x, y);
        const double want = expected[y * c.width + x];
        ASSERT_NEAR(node.pathCost, want, 1e-9 * std::max(1.0, want))
            << "(" << x << ", " << y << ")";
        ASSERT_EQ(node.searchState, kExpanded);
        ASSERT_TRUE(chainEndsAtSeed(scissor, {x, y}, seed))
            << "(" << x << ", " << y << ")";
        if (!node.prev) continue;
        // The path cost is the predecessor's plus the link read at the
        // predecessor.
        const cv::Point step(x - node.prev->x, y - node.prev->y);
        int k = 0;
        while (directionOffsets[k].dx != step.x ||
               directionOffsets[k].dy != step.y)
          ++k;
        ASSERT_EQ(node.pathCost,
                  scissor.node(node.prev->x, node.prev->y).pathCost +
                      scissor.linkCost(node.prev->x, node.prev->y, k));
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Search, SearchAgainstBoost,
    ::testing::Values(SearchCase{1, 1, 256, 11}, SearchCase{9, 1, 256, 12},
                      SearchCase{1, 8, 256, 13}, SearchCase{12, 9, 256, 14},
                      SearchCase{23, 17, 256, 15}, SearchCase{30, 20, 3, 16},
                      SearchCase{41, 29, 256, 17}));

// The search written out plainly, one record per pixel with a pointer to its
// predecessor, following the heap rules literally. The engine must find the
// same tree, bit for bit, including every choice between equal costs.
class ReferenceSearch {
 public:
  explicit ReferenceSearch(const IScissor& scissor)
      : width_(scissor.width()),
        height_(scissor.height()),
        nodes_(width_ * height_) {
    for (int y = 0; y < height_; ++y) {
      for (int x = 0; x < width_; ++x) {
        Node& node = at(x, y);
        node.x = x;
        node.y = y;
        for (int k = 0; k < 8; ++k)
          node.linkCost[k] = scissor.linkCost(x, y, k);
      }
    }
  }

  void run(int x, int y) {
    for (Node& node : nodes_) node.state = 0;
    Node* seed = &at(x, y);
    seed->pathCost = 0.0;
    seed->prev = nullptr;
    heap_.clear();
    insert(seed);
    while (!heap_.empty()) {
      Node* p = removeTop();
      p->state = 2;
      for (int k = 0; k < 8; ++k) {
        const int nx = p->x + directionOffsets[k].dx;
        const int ny = p->y + directionOffsets[k].dy;
        if (nx < 0 || ny < 0 || nx >= width_ || ny >= height_) continue;
        Node* q = &at(nx, ny);
        if (q->state == 2) continue;
        const double cost = p->pathCost + p->linkCost[k];
        if (q->state == 0) {
          q->prev = p;
          q->pathCost = cost;
          insert(q);
          q->state = 1;
        } else if (cost < q->pathCost) {
          q->prev = p;
          q->pathCost = cost;
          moveUp(q->place, q);
        }
      }
    }
  }

  double pathCost(int x, int y) { return at(x, y).pathCost; }
  std::optional<cv::Point> prev(int x, int y) {
    const Node* prev = at(x, y).prev;
    if (prev == nullptr) return std::nullopt;
    return cv::Point(prev->x, prev->y);
  }

 private:
  struct Node {
    double linkCost[8];
    int state = 0;
    double pathCost = 0.0;
    Node* prev = nullptr;
    int x = 0, y = 0;
    std::size_t place = 0;
  };

  Node& at(int x, int y) { return nodes_[y * width_ + x]; }

  void insert(Node* node) {
    heap_.push_back(node);
    moveUp(heap_.size() - 1, node);
  }

  void moveUp(std::size_t place, Node* node) {
    while (place > 0 && heap_[(place - 1) / 2]->pathCost > node->pathCost) {
      heap_[place] = heap_[(place - 1) / 2];
      heap_[place]->place = place;
      place = (place - 1) / 2;
    }
    heap_[place] = node;
    node->place = place;
  }

  Node* removeTop() {
    Node* top = heap_[0];
    Node* last = heap_.back();
    heap_.pop_back();
    if (heap_.empty()) return top;
    std::size_t hole = 0;
    while (2 * hole + 2 < heap_.size()) {
      const std::size_t left = 2 * hole + 1;
      const std::size_t right = left + 1;
      const std::size_t child =
          heap_[left]->pathCost < heap_[right]->pathCost ? left : right;
      heap_[hole] = heap_[child];
      heap_[hole]->place = hole;
      hole = child;
    }
    if (2 * hole + 1 < heap_.size()) {
      heap_[hole] = heap_[2 * hole + 1];
      heap_[hole]->place = hole;
      hole = 2 * hole + 1;
    }
    moveUp(hole, last);
    return top;
  }

  int width_, height_;
  std::vector<Node> nodes_;
  std::vector<Node*> heap_;
};

class SearchAgainstReference : public ::testing::TestWithParam<SearchCase> {};

TEST_P(SearchAgainstReference, SameTreeIncludingEveryTie) {
  const SearchCase& c = GetParam();
  SCOPED_TRACE(::testing::Message() << "seed " << c.seed);
  const cv::Mat image = testing_images::caseImage(c);
  IScissor scissor(image);
  ReferenceSearch reference(scissor);
  const cv::Point seeds[] = {
      {c.width / 2, c.height / 2}, {0, c.height - 1}, {c.width - 1, 0}};
  for (const cv::Point& seed : seeds) {
    SCOPED_TRACE(::testing::Message()
                 << "search from (" << seed.x << ", " << seed.y << ")");
    scissor.searchFromSeed(seed.x, seed.y);
    reference.run(seed.x, seed.y);
    for (int y = 0; y < c.height; ++y) {
      for (int x = 0; x < c.width; ++x) {
        ASSERT_EQ(scissor.predecessor({x, y}), reference.prev(x, y))
            << "(" << x << ", " << y << ")";
        ASSERT_EQ(scissor.node(x, y).pathCost, reference.pathCost(x, y));
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Search, SearchAgainstReference,
    ::testing::Values(SearchCase{13, 11, 1, 0}, SearchCase{40, 30, 1, 0},
                      SearchCase{25, 19, 2, 21}, SearchCase{50, 33, 2, 22},
                      SearchCase{37, 41, 4, 23}, SearchCase{60, 45, 256, 24}));

// Equal costs everywhere: the heap's rules alone pick the predecessors.
// From the seed (2, 2) the eight neighbours enter in direction order at cost
// 255. (3, 2) leaves first; on equal children the hole sinks to the right
// child, so (2, 1) leaves second, before (3, 1), and keeps (3, 0) and (1, 0)
// for itself: a later equal offer does not replace a predecessor.
TEST(Search, EqualCostsFollowTheHeapRules) {
  const cv::Mat image(5, 5, CV_8UC3, cv::Scalar::all(50));
  IScissor scissor(image);
  scissor.searchFromSeed(2, 2);
  struct Row {
    cv::Point pixel, prev;
  };
  const Row rows[] = {{{3, 2}, {2, 2}}, {{4, 2}, {3, 2}}, {{4, 1}, {3, 2}},
                      {{4, 3}, {3, 2}}, {{3, 0}, {2, 1}}, {{2, 0}, {2, 1}},
                      {{1, 0}, {2, 1}}};
  for (const Row& row : rows) {
    EXPECT_EQ(scissor.predecessor(row.pixel), row.prev)
        << "pixel (" << row.pixel.x << ", " << row.pixel.y << ")";
  }
}

TEST(Search, SecondSearchLeavesNothingOfTheFirst) {
  const std::uint32_t seed = 31;
  SCOPED_TRACE(::testing::Message() << "seed " << seed);
  const cv::Mat image = randomImage(19, 14, seed, 3);
  IScissor twice(image);
  IScissor once(image);
  twice.searchFromSeed(2, 3);
  twice.searchFromSeed(15, 10);
  once.searchFromSeed(15, 10);
  for (int y = 0; y < image.rows; ++y) {
    for (int x = 0; x < image.cols; ++x) {
      ASSERT_EQ(twice.predecessor({x, y}), once.predecessor({x, y}));
      ASSERT_EQ(twice.node(x, y).pathCost, once.node(x, y).pathCost);
    }
  }
  EXPECT_TRUE(twice.pathToSeed({15, 10}).empty());
}

TEST(Search, NoPredecessorsBeforeTheFirstSearchOrFromOutside) {
  const cv::Mat image = randomImage(6, 5, 41);
  IScissor scissor(image);
  scissor.searchFromSeed(-1, 2);
  scissor.searchFromSeed(6, 0);
  EXPECT_FALSE(scissor.hasSearched());
  EXPECT_FALSE(scissor.predecessor({3, 3}).has_value());
  EXPECT_TRUE(scissor.pathToSeed({3, 3}).empty());
}

TEST(Search, PathToSeedRunsFromThePointerToTheSeedExcluded) {
  const cv::Mat image = randomImage(16, 12, 51);
  IScissor scissor(image);
  scissor.searchFromSeed(4, 5);
  const std::vector<cv::Point> path = scissor.pathToSeed({13, 2});
  ASSERT_FALSE(path.empty());
  EXPECT_EQ(path.front(), cv::Point(13, 2));
  EXPECT_EQ(scissor.predecessor(path.back()), cv::Point(4, 5));
  for (std::size_t i = 1; i < path.size(); ++i) {
    EXPECT_EQ(scissor.predecessor(path[i - 1]), path[i]);
  }
}

}  // namespace
}  // namespace scribeline
