#include "scissors/live_wire_search.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <opencv2/imgcodecs.hpp>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "scissors/iscissor.h"
#include "tests/scissors/test_images.h"
#include "tests/support/photos.h"

namespace scribeline {
namespace {

using testing_images::randomImage;

// What a caller reads for one pixel: the path back to the seed and the cost.
struct Reading {
  std::vector<cv::Point> path;
  double pathCost;
};

Reading readPixel(const IScissor& scissor, cv::Point pixel) {
  return {scissor.pathToSeed(pixel), scissor.node(pixel.x, pixel.y).pathCost};
}

// A pixel near `centre` (within `radius` in both coordinates), clipped to
// the image.
cv::Point pixelNear(cv::Point centre, int radius, const cv::Size& size,
                    std::mt19937& generator) {
  std::uniform_int_distribution<int> offset(-radius, radius);
  return {std::clamp(centre.x + offset(generator), 0, size.width - 1),
          std::clamp(centre.y + offset(generator), 0, size.height - 1)};
}

// The readings an on-demand session gives, pixel by pixel, for one seed.
struct SeedReadings {
  cv::Point seed;
  std::vector<cv::Point> pixels;
  std::vector<Reading> readings;
};

// Every predecessor and path cost of `onDemand`'s search, asked for from the
// bottom row up, equals that of the whole-image search `whole`.
void expectSameTree(const IScissor& onDemand, const IScissor& whole) {
  for (int y = whole.height() - 1; y >= 0; --y) {
    for (int x = 0; x < whole.width(); ++x) {
      ASSERT_EQ(onDemand.predecessor({x, y}), whole.predecessor({x, y}))
          << "(" << x << ", " << y << ")";
      ASSERT_EQ(onDemand.node(x, y).pathCost, whole.node(x, y).pathCost)
          << "(" << x << ", " << y << ")";
    }
  }
}

struct SessionShape {
  int seeds;
  int requestsPerSeed;
  int nearRadius;  // most requests lie this close to the seed
  int farPercent;  // the others anywhere in the image
};

// Drives `scissor` as the tool does, on demand only: a seed, requests for
// pixels near it and now and then far away, then a press at one of them
// (the next seed), and sometimes a step back to an earlier seed. Returns
// what every request read.
std::vector<SeedReadings> onDemandSession(IScissor& scissor,
                                          const SessionShape& shape,
                                          std::uint32_t randomSeed) {
  std::mt19937 generator(randomSeed);
  const cv::Size size(scissor.width(), scissor.height());
  std::uniform_int_distribution<int> anyX(0, size.width - 1);
  std::uniform_int_distribution<int> anyY(0, size.height - 1);
  std::uniform_int_distribution<int> percent(0, 99);
  std::vector<SeedReadings> session;
  cv::Point seed(anyX(generator), anyY(generator));
  for (int s = 0; s < shape.seeds; ++s) {
    scissor.seedSearch(seed.x, seed.y);
    SeedReadings round{seed, {}, {}};
    for (int r = 0; r < shape.requestsPerSeed; ++r) {
      const cv::Point pixel =
          percent(generator) < shape.farPercent
              ? cv::Point(anyX(generator), anyY(generator))
              : pixelNear(seed, shape.nearRadius, size, generator);
      round.pixels.push_back(pixel);
      round.readings.push_back(readPixel(scissor, pixel));
    }
    session.push_back(round);
    if (percent(generator) < 20 && session.size() > 1) {
      seed = session[session.size() - 2].seed;  // Backspace
    } else {
      seed = round.pixels[percent(generator) % round.pixels.size()];
    }
  }
  return session;
}

// The whole-image search from each seed of the session must read the same.
// It runs once per distinct seed.
void expectWholeImageReadings(IScissor& scissor,
                              std::vector<SeedReadings> session) {
  std::stable_sort(session.begin(), session.end(),
                   [](const SeedReadings& a, const SeedReadings& b) {
                     return std::make_pair(a.seed.y, a.seed.x) <
                            std::make_pair(b.seed.y, b.seed.x);
                   });
  for (std::size_t r = 0; r < session.size(); ++r) {
    const SeedReadings& round = session[r];
    if (r == 0 || round.seed != session[r - 1].seed)
      scissor.searchFromSeed(round.seed.x, round.seed.y);
    for (std::size_t i = 0; i < round.pixels.size(); ++i) {
      const cv::Point pixel = round.pixels[i];
      const Reading whole = readPixel(scissor, pixel);
      ASSERT_EQ(round.readings[i].path, whole.path)
          << "seed (" << round.seed.x << ", " << round.seed.y << "), pixel ("
          << pixel.x << ", " << pixel.y << ")";
      ASSERT_EQ(round.readings[i].pathCost, whole.pathCost)
          << "seed (" << round.seed.x << ", " << round.seed.y << "), pixel ("
          << pixel.x << ", " << pixel.y << ")";
    }
  }
}

using RandomCase = testing_images::ImageCase;

class OnDemandAgainstWholeImage : public ::testing::TestWithParam<RandomCase> {
};

TEST_P(OnDemandAgainstWholeImage, EveryPathAndPathCostIsTheSame) {
  const RandomCase& c = GetParam();
  SCOPED_TRACE(::testing::Message() << "seed " << c.seed);
  const cv::Mat image = testing_images::caseImage(c);
  IScissor onDemand(image);
  const std::vector<SeedReadings> session =
      onDemandSession(onDemand, {12, 15, 6, 10}, c.seed);
  // The last seed's tree, completed pixel by pixel, against the whole one.
  const cv::Point lastSeed = session.back().seed;
  onDemand.seedSearch(lastSeed.x, lastSeed.y);
  IScissor whole(image);
  whole.searchFromSeed(lastSeed.x, lastSeed.y);
  expectSameTree(onDemand, whole);
  expectWholeImageReadings(whole, session);
}

INSTANTIATE_TEST_SUITE_P(
    Search, OnDemandAgainstWholeImage,
    ::testing::Values(RandomCase{1, 1, 256, 71}, RandomCase{17, 1, 2, 72},
                      RandomCase{23, 19, 1, 0}, RandomCase{48, 31, 1, 0},
                      RandomCase{40, 30, 2, 73}, RandomCase{35, 44, 3, 74},
                      RandomCase{64, 48, 256, 75}));

// The CC0 photographs, if present: a session of presses and requests on
// demand against the whole-image search from the same seeds.
class OnDemandOnPhotos : public ::testing::TestWithParam<const char*> {};

TEST_P(OnDemandOnPhotos, EveryPathAndPathCostIsTheSame) {
  const std::string path = findPhoto(GetParam());
  if (path.empty()) GTEST_SKIP() << "photograph not found: " << GetParam();
  const cv::Mat image = cv::imread(path, cv::IMREAD_COLOR);
  ASSERT_FALSE(image.empty()) << "unreadable photograph: " << path;
  const std::uint32_t seed = 81;
  SCOPED_TRACE(::testing::Message() << "seed " << seed);
  IScissor scissor(image);
  const std::vector<SeedReadings> session =
      onDemandSession(scissor, {4, 20, 300, 2}, seed);
  expectWholeImageReadings(scissor, session);
}

INSTANTIATE_TEST_SUITE_P(Search, OnDemandOnPhotos,
                         ::testing::Values("ladybird_2560x1600.jpg",
                                           "elephants_5640x3172.jpg"));

TEST(OnDemandSearch, SeedingSettlesNothingAndARequestOnlyWhatPrecedesIt) {
  const std::uint32_t seed = 91;
  SCOPED_TRACE(::testing::Message() << "seed " << seed);
  const cv::Mat image = randomImage(60, 50, seed);
  IScissor whole(image);
  whole.searchFromSeed(30, 25);
  IScissor onDemand(image);
  onDemand.seedSearch(30, 25);
  EXPECT_EQ(onDemand.settledCount(), 0u);
  ASSERT_TRUE(onDemand.settle({36, 21}));
  // Exactly the pixels cheaper than the target leave the heap before it (the
  // photograph's costs have no ties to speak of).
  const double target = whole.node(36, 21).pathCost;
  std::size_t cheaper = 0;
  for (int y = 0; y < image.rows; ++y) {
    for (int x = 0; x < image.cols; ++x)
      cheaper += whole.node(x, y).pathCost < target;
  }
  EXPECT_EQ(onDemand.settledCount(), cheaper + 1);
}

TEST(OnDemandSearch, ARequestForASettledPixelDoesNoWork) {
  const cv::Mat image = randomImage(40, 30, 92);
  IScissor scissor(image);
  scissor.seedSearch(5, 5);
  const std::vector<cv::Point> path = scissor.pathToSeed({30, 20});
  const std::size_t settled = scissor.settledCount();
  ASSERT_GT(settled, 0u);
  EXPECT_TRUE(scissor.settle({30, 20}));
  EXPECT_EQ(scissor.settledCount(), settled);
  // Every pixel of a settled path is settled too.
  for (const cv::Point& pixel : path) scissor.pathToSeed(pixel);
  EXPECT_EQ(scissor.settledCount(), settled);
  EXPECT_TRUE(scissor.pathToSeed({5, 5}).empty());
  EXPECT_EQ(scissor.settledCount(), settled);
}

TEST(OnDemandSearch, RequestsOutsideTheImageAreRefusedWithoutChange) {
  const std::uint32_t seed = 93;
  SCOPED_TRACE(::testing::Message() << "seed " << seed);
  const cv::Mat image = randomImage(30, 20, seed, 3);
  IScissor scissor(image);
  EXPECT_FALSE(scissor.settle({3, 3}));  // no search yet
  scissor.seedSearch(10, 10);
  scissor.settle({14, 12});
  const std::size_t settled = scissor.settledCount();
  const cv::Point outside[] = {{-1, 0}, {0, -1}, {30, 5}, {5, 20}, {-7, 40}};
  for (const cv::Point& pixel : outside) {
    EXPECT_FALSE(scissor.settle(pixel));
    EXPECT_TRUE(scissor.pathToSeed(pixel).empty());
    EXPECT_FALSE(scissor.predecessor(pixel).has_value());
  }
  scissor.seedSearch(-1, 4);  // a seed outside is ignored
  EXPECT_EQ(scissor.settledCount(), settled);
  EXPECT_EQ(scissor.seed(), cv::Point(10, 10));
  IScissor whole(image);
  whole.searchFromSeed(10, 10);
  expectSameTree(scissor, whole);
}

// A seed after a search that went everywhere, and one after a search that
// stopped early (its heap and half-reached rows left behind).
TEST(OnDemandSearch, ANewSeedDiscardsTheOldSearch) {
  const std::uint32_t seed = 94;
  SCOPED_TRACE(::testing::Message() << "seed " << seed);
  const cv::Mat image = randomImage(45, 35, seed, 2);
  struct FirstSearch {
    cv::Point seed, request;
  };
  const FirstSearch firstSearches[] = {{{1, 2}, {44, 34}},
                                       {{20, 17}, {22, 18}}};
  for (const FirstSearch& first : firstSearches) {
    IScissor scissor(image);
    scissor.seedSearch(first.seed.x, first.seed.y);
    scissor.settle(first.request);
    scissor.seedSearch(40, 30);
    EXPECT_EQ(scissor.settledCount(), 0u);
    EXPECT_EQ(scissor.seed(), cv::Point(40, 30));
    IScissor whole(image);
    whole.searchFromSeed(40, 30);
    expectSameTree(scissor, whole);
  }
}

// Settling ahead on the engine's own thread changes no answer: presses and
// requests with pauses of varied length (none, a little, long enough for
// the thread to finish the search) read what the whole-image search does;
// left alone, the thread settles a search to its end; stopped, it settles
// nothing more; and the engine may go while the thread is busy.
TEST(SettlingAhead, ChangesNoAnswerAndFinishesASearchLeftAlone) {
  const cv::Mat image = randomImage(160, 120, 95);
  const std::size_t pixels = image.total();
  IScissor ahead(image);
  ahead.settleAhead(true);
  std::mt19937 generator(95);
  std::uniform_int_distribution<int> anyX(0, image.cols - 1);
  std::uniform_int_distribution<int> anyY(0, image.rows - 1);
  const std::chrono::milliseconds pauses[] = {std::chrono::milliseconds(0),
                                              std::chrono::milliseconds(1),
                                              std::chrono::milliseconds(30)};
  std::vector<SeedReadings> session;
  for (int s = 0; s < 9; ++s) {
    SeedReadings round{{anyX(generator), anyY(generator)}, {}, {}};
    ahead.seedSearch(round.seed.x, round.seed.y);
    for (int r = 0; r < 6; ++r) {
      std::this_thread::sleep_for(pauses[(s + r) % 3]);
      const cv::Point pixel =
          r % 2 == 0 ? pixelNear(round.seed, 8, image.size(), generator)
                     : cv::Point(anyX(generator), anyY(generator));
      round.pixels.push_back(pixel);
      round.readings.push_back(readPixel(ahead, pixel));
    }
    session.push_back(round);
  }
  IScissor whole(image);
  expectWholeImageReadings(whole, session);

  ahead.seedSearch(3, 4);
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (ahead.settledCount() < pixels &&
         std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_EQ(ahead.settledCount(), pixels);
  whole.searchFromSeed(3, 4);
  expectSameTree(ahead, whole);

  ahead.settleAhead(false);
  ahead.seedSearch(100, 60);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(ahead.settledCount(), 0u);
  ahead.settleAhead(true);
  ahead.seedSearch(10, 100);  // the engine goes while the thread works
}

}  // namespace
}  // namespace scribeline
