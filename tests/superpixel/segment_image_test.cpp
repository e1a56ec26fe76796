#include "superpixel/segment_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <ostream>
#include <string>
#include <vector>

#include "superpixel/edge_graph.h"
#include "superpixel/float_image.h"
#include "superpixel/smoothing.h"
#include "tests/support/reference_segmentation.h"

namespace scribeline {
namespace {

constexpr float photoSigma = 0.5f;
constexpr float photoK = 500.0f;
constexpr int photoMinSize = 20;

std::vector<int> segmented(const cv::Mat& image, float sigma, float k,
                           int minSize, int* count) {
  std::vector<int> map(image.total(), -1);
  *count = segmentImage(image, map.data(), sigma, k, minSize);
  return map;
}

struct UniformCase {
  int width;
  int height;
};

std::ostream& operator<<(std::ostream& out, const UniformCase& row) {
  return out << row.width << " x " << row.height;
}

class UniformImageTest : public testing::TestWithParam<UniformCase> {};

TEST_P(UniformImageTest, IsOneSuperpixel) {
  const cv::Mat image(GetParam().height, GetParam().width, CV_8UC3,
                      cv::Scalar(30, 140, 220));
  int count = 0;
  const std::vector<int> map =
      segmented(image, photoSigma, photoK, photoMinSize, &count);
  EXPECT_EQ(count, 1);
  EXPECT_TRUE(std::all_of(map.begin(), map.end(),
                          [](int value) { return value == 0; }));
}

INSTANTIATE_TEST_SUITE_P(Sizes, UniformImageTest,
                         testing::Values(UniformCase{1, 1}, UniformCase{1, 9},
                                         UniformCase{9, 1},
                                         UniformCase{40, 30}));

TEST(SegmentImage, FewerPixelsThanTheMinimumSizeMakeOneSuperpixel) {
  const unsigned seed = 77;
  cv::RNG random(seed);
  cv::Mat noise(4, 4, CV_8UC3);
  random.fill(noise, cv::RNG::UNIFORM, 0, 256);
  int count = 0;
  const std::vector<int> map = segmented(noise, photoSigma, photoK, 20, &count);
  EXPECT_EQ(count, 1) << "seed " << seed;
  EXPECT_TRUE(
      std::all_of(map.begin(), map.end(), [](int value) { return value == 0; }))
      << "seed " << seed;
}

struct SmallSquareCase {
  int minSize;
  int expectedCount;
};

std::ostream& operator<<(std::ostream& out, const SmallSquareCase& row) {
  return out << "minimum size " << row.minSize;
}

class SmallSquareTest : public testing::TestWithParam<SmallSquareCase> {};

// A 2 x 2 white square on a 10 x 10 black ground, hardly smoothed and with a
// small k, ends the merging as a component of 4 pixels of its own.
TEST_P(SmallSquareTest, MinimumSizeDecidesWhetherTheSquareSurvives) {
  cv::Mat image(10, 10, CV_8UC3, cv::Scalar::all(0));
  image(cv::Rect(4, 4, 2, 2)).setTo(cv::Scalar::all(255));
  int count = 0;
  const std::vector<int> map =
      segmented(image, 0.0f, 1.0f, GetParam().minSize, &count);
  EXPECT_EQ(count, GetParam().expectedCount);
  const int square = map[4 * 10 + 4];
  const int ground = map[0];
  EXPECT_EQ(square == ground, GetParam().expectedCount == 1);
  for (int y = 0; y < 10; ++y) {
    for (int x = 0; x < 10; ++x) {
      const bool inSquare = x >= 4 && x < 6 && y >= 4 && y < 6;
      EXPECT_EQ(map[y * 10 + x], inSquare ? square : ground) << x << "," << y;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(MinimumSizes, SmallSquareTest,
                         testing::Values(SmallSquareCase{1, 2},
                                         SmallSquareCase{4, 2},
                                         SmallSquareCase{5, 1},
                                         SmallSquareCase{97, 1}));

TEST(SegmentImage, EmptyImageLeavesTheMapAlone) {
  int sentinel = 12345;
  EXPECT_EQ(
      segmentImage(cv::Mat(), &sentinel, photoSigma, photoK, photoMinSize), 0);
  EXPECT_EQ(sentinel, 12345);
}

TEST(SegmentImage, GreyImageReadsAsEqualChannels) {
  const unsigned seed = 99;
  cv::RNG random(seed);
  cv::Mat grey(23, 31, CV_8UC1);
  random.fill(grey, cv::RNG::UNIFORM, 0, 256);
  cv::Mat colour;
  cv::merge(std::vector<cv::Mat>{grey, grey, grey}, colour);
  int greyCount = 0;
  int colourCount = 0;
  const std::vector<int> fromGrey =
      segmented(grey, photoSigma, 50.0f, 5, &greyCount);
  const std::vector<int> fromColour =
      segmented(colour, photoSigma, 50.0f, 5, &colourCount);
  EXPECT_EQ(greyCount, colourCount) << "seed " << seed;
  EXPECT_EQ(fromGrey, fromColour) << "seed " << seed;
}

// Straightforward region merging written out in full, independent of the
// library's sort, forest and minimum-size pass: a stable std::sort by weight,
// a literal union-find with one-step re-pointing, every edge visited in both
// passes, and the numbering by root index.
std::vector<int> referenceMap(std::vector<Edge> edges, int numPixels, float k,
                              int minSize, int* count) {
  std::stable_sort(edges.begin(), edges.end(),
                   [](const Edge& l, const Edge& r) { return l.w < r.w; });
  struct Element {
    int rank;
    int parent;
    int size;
  };
  std::vector<Element> forest(static_cast<std::size_t>(numPixels));
  for (int i = 0; i < numPixels; ++i) {
    forest[i] = Element{0, i, 1};
  }
  int sets = numPixels;
  const auto find = [&forest](int x) {
    int root = x;
    while (forest[root].parent != root) {
      root = forest[root].parent;
    }
    forest[x].parent = root;
    return root;
  };
  const auto join = [&forest, &sets](int x, int y) {
    if (forest[x].rank > forest[y].rank) {
      forest[y].parent = x;
      forest[x].size += forest[y].size;
    } else {
      forest[x].parent = y;
      forest[y].size += forest[x].size;
      if (forest[x].rank == forest[y].rank) {
        ++forest[y].rank;
      }
    }
    --sets;
  };
  std::vector<float> threshold(static_cast<std::size_t>(numPixels), k);
  for (const Edge& edge : edges) {
    const int a = find(edge.a);
    const int b = find(edge.b);
    if (a != b && edge.w <= threshold[a] && edge.w <= threshold[b]) {
      join(a, b);
      const int root = find(a);
      threshold[root] = edge.w + k / static_cast<float>(forest[root].size);
    }
  }
  for (const Edge& edge : edges) {
    const int a = find(edge.a);
    const int b = find(edge.b);
    if (a != b && (forest[a].size < minSize || forest[b].size < minSize)) {
      join(a, b);
    }
  }
  *count = sets;
  std::vector<int> number(static_cast<std::size_t>(numPixels), 0);
  for (int i = 0; i < numPixels; ++i) {
    number[find(i)] = 1;
  }
  int next = 1;
  for (int i = 0; i < numPixels; ++i) {
    if (number[i] == 1) {
      number[i] = next++;
    }
  }
  std::vector<int> map(static_cast<std::size_t>(numPixels));
  for (int i = 0; i < numPixels; ++i) {
    map[i] = number[find(i)] - 1;
  }
  return map;
}

// The smoothed edge list of an image, through the public pieces.
std::vector<Edge> smoothedEdgeList(const cv::Mat& image, float sigma) {
  std::vector<cv::Mat> channels;
  cv::split(image, channels);
  const auto plane = [&](int channel) {
    FloatImage raw(image.cols, image.rows, FloatImage::Fill::zeros);
    for (int y = 0; y < image.rows; ++y) {
      for (int x = 0; x < image.cols; ++x) {
        raw.at(y, x) = channels[channel].at<unsigned char>(y, x);
      }
    }
    return smoothChannel(raw, sigma);
  };
  const FloatImage r = plane(2);
  const FloatImage g = plane(1);
  const FloatImage b = plane(0);
  const EdgeList list = buildEdges(r, g, b);
  return std::vector<Edge>(list.edges.get(), list.edges.get() + list.count);
}

// Both the single-threaded and the two-threaded run must give the
// reference's map and count.
void checkAgainstReference(const cv::Mat& image, float sigma, float k,
                           int minSize, const std::string& what) {
  int expectedCount = 0;
  const std::vector<int> expected =
      referenceMap(smoothedEdgeList(image, sigma),
                   static_cast<int>(image.total()), k, minSize, &expectedCount);
  for (const Concurrency concurrency :
       {Concurrency::singleThread, Concurrency::twoThreads}) {
    const std::string how = concurrency == Concurrency::singleThread
                                ? ", one thread"
                                : ", two threads";
    std::vector<int> map(image.total(), -1);
    const int count =
        segmentImage(image, map.data(), sigma, k, minSize, concurrency);
    EXPECT_EQ(count, expectedCount) << what << how;
    EXPECT_EQ(map, expected) << what << how;
  }
}

TEST(SegmentImage, MatchesAStraightforwardMergeOnRandomImages) {
  // Blocky noise: plenty of equal weights, small components and ties.
  for (unsigned seed = 1; seed <= 6; ++seed) {
    cv::RNG random(seed);
    cv::Mat coarse(6 + seed, 9, CV_8UC3);
    random.fill(coarse, cv::RNG::UNIFORM, 0, 4);
    coarse *= 60;
    cv::Mat image;
    cv::repeat(coarse, 3, 4, image);
    checkAgainstReference(image, seed % 2 ? 0.5f : 0.0f, 100.0f * seed,
                          1 + 4 * seed, "seed " + std::to_string(seed));
  }
}

// Dense values, 8-connected superpixels of at least minSize pixels.
void checkSuperpixelMap(const std::vector<int>& map, int width, int height,
                        int count, int minSize) {
  std::vector<int> sizes(static_cast<std::size_t>(count), 0);
  for (const int value : map) {
    ASSERT_GE(value, 0);
    ASSERT_LT(value, count);
    ++sizes[static_cast<std::size_t>(value)];
  }
  for (int label = 0; label < count; ++label) {
    EXPECT_GE(sizes[static_cast<std::size_t>(label)], minSize)
        << "superpixel " << label;
  }
  // One flood fill per superpixel from its first pixel must reach all of it.
  std::vector<char> reached(map.size(), 0);
  std::vector<int> filledSizes(static_cast<std::size_t>(count), 0);
  std::vector<bool> started(static_cast<std::size_t>(count), false);
  std::vector<int> stack;
  for (int start = 0; start < width * height; ++start) {
    const int label = map[static_cast<std::size_t>(start)];
    if (started[static_cast<std::size_t>(label)]) {
      continue;
    }
    started[static_cast<std::size_t>(label)] = true;
    reached[static_cast<std::size_t>(start)] = 1;
    stack.assign(1, start);
    while (!stack.empty()) {
      const int p = stack.back();
      stack.pop_back();
      ++filledSizes[static_cast<std::size_t>(label)];
      const int px = p % width, py = p / width;
      for (int dy = -1; dy <= 1; ++dy) {
        for (int dx = -1; dx <= 1; ++dx) {
          const int qx = px + dx, qy = py + dy;
          if (qx < 0 || qy < 0 || qx >= width || qy >= height) {
            continue;
          }
          const int q = qy * width + qx;
          if (!reached[static_cast<std::size_t>(q)] &&
              map[static_cast<std::size_t>(q)] == label) {
            reached[static_cast<std::size_t>(q)] = 1;
            stack.push_back(q);
          }
        }
      }
    }
  }
  EXPECT_EQ(filledSizes, sizes) << "a superpixel is not 8-connected";
}

class PhotoTest : public testing::TestWithParam<std::string> {};

TEST_P(PhotoTest, MapIsDenseConnectedAndAboveMinimumSize) {
  const cv::Mat image = cv::imread(
      std::string(SUPERPIXEL_TEST_DATA) + "/" + GetParam(), cv::IMREAD_COLOR);
  ASSERT_FALSE(image.empty()) << GetParam();
  int count = 0;
  const std::vector<int> map =
      segmented(image, photoSigma, photoK, photoMinSize, &count);
  EXPECT_GT(count, 1);
  checkSuperpixelMap(map, image.cols, image.rows, count, photoMinSize);
  checkAgainstReference(image, photoSigma, photoK, photoMinSize, GetParam());
}

INSTANTIATE_TEST_SUITE_P(Photos, PhotoTest,
                         testing::Values("coffee.png", "chelsea.png"),
                         [](const testing::TestParamInfo<std::string>& info) {
                           return info.param.substr(0, info.param.find('.'));
                         });

}  // namespace
}  // namespace scribeline
