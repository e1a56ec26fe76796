#include "canvas/history.h"

#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>
#include <random>
#include <string>
#include <vector>

#include "canvas/run_length.h"

namespace scribeline {
namespace {

bool sameBytes(const cv::Mat& a, const cv::Mat& b) {
  return a.size() == b.size() && a.type() == b.type() &&
         cv::countNonZero(a.reshape(1) != b.reshape(1)) == 0;
}

struct CodecCase {
  const char* name;
  std::vector<uint8_t> data;
  size_t elementSize;
};

TEST(RunLengthCodec, RoundTripsAndXorsEveryShape) {
  std::mt19937 random(7);
  std::vector<uint8_t> noise(3 * 1000);
  for (uint8_t& byte : noise) byte = static_cast<uint8_t>(random());
  std::vector<uint8_t> mixed;
  for (int block = 0; block < 40; ++block) {
    const uint8_t value = static_cast<uint8_t>(block % 3 == 0 ? random() : 0);
    for (int k = 0; k < 4 * (1 + block % 5); ++k)
      mixed.push_back(block % 3 == 1 ? static_cast<uint8_t>(random()) : value);
  }
  const std::vector<CodecCase> cases = {
      {"one element", {1, 2, 3}, 3},
      {"all zero", std::vector<uint8_t>(3 * 4096, 0), 3},
      {"noise", noise, 3},
      {"runs and literals of ints", mixed, 4},
      {"pairs", {5, 5, 5, 5, 5, 5, 9, 9, 9, 1, 1, 1}, 3},
  };
  for (const CodecCase& c : cases) {
    SCOPED_TRACE(c.name);
    const size_t count = c.data.size() / c.elementSize;
    std::vector<uint8_t> code;
    encodeRuns(c.data.data(), count, c.elementSize, code);
    std::vector<uint8_t> decoded(c.data.size(), 0xAB);
    EXPECT_EQ(decodeRuns(code.data(), code.size(), count, c.elementSize,
                         decoded.data(), false),
              code.size());
    EXPECT_EQ(decoded, c.data);
    // XOR-ing the same code in again gives zero everywhere.
    decodeRuns(code.data(), code.size(), count, c.elementSize, decoded.data(),
               true);
    EXPECT_EQ(decoded, std::vector<uint8_t>(c.data.size(), 0));
    // A cut code is refused, never read past its end.
    if (code.size() > 1) {
      EXPECT_EQ(decodeRuns(code.data(), code.size() - 1, count, c.elementSize,
                           decoded.data(), false),
                0u);
    }
  }
}

// Mask edits of the kinds the tools make: a pen disc, a filled region, a
// repaint of the whole mask in regions of a few labels, an exotic colour.
void edit(cv::Mat& mask, int kind, std::mt19937& random) {
  const cv::Scalar colour(random() % 256, random() % 256, random() % 256);
  const cv::Point at(random() % mask.cols, random() % mask.rows);
  switch (kind % 4) {
    case 0:
      cv::circle(mask, at, 1 + random() % 9, colour, cv::FILLED, cv::LINE_4);
      break;
    case 1:
      cv::rectangle(mask, cv::Rect(at, cv::Size(30, 17)), colour, cv::FILLED);
      break;
    case 2:
      for (int y = 0; y < mask.rows; ++y)
        for (int x = 0; x < mask.cols; ++x)
          mask.at<cv::Vec3b>(y, x) = cv::Vec3b(
              static_cast<uint8_t>(32 * ((x / 23 + y / 19 + kind) % 4)), 0,
              static_cast<uint8_t>(64 * ((x + y) / 41 % 3)));
      break;
    default:
      mask.at<cv::Vec3b>(at) = cv::Vec3b(1, 2, 3);
      break;
  }
}

// The smallest rectangle holding every pixel in which a and b differ.
cv::Rect differingArea(const cv::Mat& a, const cv::Mat& b) {
  cv::Rect area;
  for (int y = 0; y < a.rows; ++y)
    for (int x = 0; x < a.cols; ++x)
      if (a.at<cv::Vec3b>(y, x) != b.at<cv::Vec3b>(y, x))
        area |= cv::Rect(x, y, 1, 1);
  return area;
}

// Sequences of edits, undos and redos on masks whose sizes are and are not
// multiples of the tile size; after every action the mask must equal the one
// recorded along the way, byte for byte, and the area the history reports
// must be the action's change rounded out to whole tiles.
TEST(MaskHistory, SequencesRestoreTheRecordedMasksExactly) {
  const std::vector<cv::Size> sizes = {{64, 64}, {200, 131}, {1, 1}, {65, 3}};
  for (const cv::Size size : sizes) {
    for (unsigned seed = 1; seed <= 6; ++seed) {
      SCOPED_TRACE("size " + std::to_string(size.width) + "x" +
                   std::to_string(size.height) + ", seed " +
                   std::to_string(seed));
      std::mt19937 random(seed);
      cv::Mat mask(size, CV_8UC3, cv::Scalar(0, 0, 0));
      MaskHistory history;
      history.reset(mask);
      std::vector<cv::Mat> states = {mask.clone()};  // states[position]
      size_t position = 0;
      for (int action = 0; action < 60; ++action) {
        const cv::Mat before = mask.clone();
        const int choice = static_cast<int>(random() % 10);
        if (choice < 5) {
          edit(mask, static_cast<int>(random()), random);
          const bool changed = !sameBytes(mask, states[position]);
          ASSERT_EQ(history.record(mask), changed);
          if (changed) {
            states.resize(position + 1);
            states.push_back(mask.clone());
            ++position;
          }
        } else if (choice < 8) {
          ASSERT_EQ(history.undo(mask), position > 0);
          if (position > 0) --position;
        } else {
          ASSERT_EQ(history.redo(mask), position + 1 < states.size());
          if (position + 1 < states.size()) ++position;
        }
        ASSERT_TRUE(sameBytes(mask, states[position])) << "action " << action;
        const cv::Rect changed = differingArea(before, mask);
        const int tile = MaskHistory::kTileSize;
        const cv::Point first(changed.x / tile * tile, changed.y / tile * tile);
        const cv::Point last((changed.br().x + tile - 1) / tile * tile,
                             (changed.br().y + tile - 1) / tile * tile);
        const cv::Rect tiles =
            changed.empty() ? cv::Rect()
                            : cv::Rect(first, last) & cv::Rect({}, mask.size());
        ASSERT_EQ(history.changedArea(), tiles) << "action " << action;
        ASSERT_EQ(history.undoCount(), position);
        ASSERT_EQ(history.redoCount(), states.size() - 1 - position);
      }
    }
  }
}

class CountingCompanion : public StepCompanion {
 public:
  CountingCompanion(std::vector<int>* list, int value)
      : list_(list), value_(value) {}
  void undo() override {
    ASSERT_FALSE(list_->empty());
    ASSERT_EQ(list_->back(), value_);
    list_->pop_back();
  }
  void redo() override { list_->push_back(value_); }
  size_t bytes() const override { return sizeof(*this); }

 private:
  std::vector<int>* list_;
  int value_;
};

// A step with a companion is kept also when no pixel changed, so that the
// companions run in stack order; a new step drops the undone companions.
TEST(MaskHistory, CompanionsFollowTheirStepsAlsoWithoutPixelChanges) {
  cv::Mat mask(10, 10, CV_8UC3, cv::Scalar::all(0));
  MaskHistory history;
  history.reset(mask);
  std::vector<int> strokes;
  strokes.push_back(1);
  ASSERT_TRUE(history.record(
      mask, std::make_unique<CountingCompanion>(&strokes, 1)));  // no change
  strokes.push_back(2);
  mask.at<cv::Vec3b>(3, 3) = cv::Vec3b(9, 9, 9);
  ASSERT_TRUE(
      history.record(mask, std::make_unique<CountingCompanion>(&strokes, 2)));
  ASSERT_TRUE(history.undo(mask));
  EXPECT_EQ(strokes, std::vector<int>({1}));
  EXPECT_EQ(mask.at<cv::Vec3b>(3, 3), cv::Vec3b(0, 0, 0));
  ASSERT_TRUE(history.undo(mask));
  EXPECT_TRUE(strokes.empty());
  ASSERT_TRUE(history.redo(mask));
  EXPECT_EQ(strokes, std::vector<int>({1}));
  strokes.push_back(3);
  ASSERT_TRUE(
      history.record(mask, std::make_unique<CountingCompanion>(&strokes, 3)));
  EXPECT_FALSE(history.redo(mask));
  ASSERT_TRUE(history.undo(mask));
  ASSERT_TRUE(history.undo(mask));
  EXPECT_TRUE(strokes.empty());
}

// On a photo-sized mask, steps that each repaint every pixel with noise
// cannot all be kept: the history stays within one byte per pixel by
// dropping the oldest, and the steps it keeps still undo exactly.
TEST(MaskHistory, StaysWithinItsBoundOnLargeMasks) {
  const cv::Size size(5640, 3172);
  cv::Mat mask(size, CV_8UC3, cv::Scalar::all(0));
  MaskHistory history;
  history.reset(mask);
  EXPECT_EQ(history.budget(), static_cast<size_t>(size.area()));
  cv::RNG random(11);
  std::vector<cv::Mat> states;
  for (int step = 0; step < 6; ++step) {
    cv::Mat noise(size / 8, CV_8UC3);
    random.fill(noise, cv::RNG::UNIFORM, 0, 256);
    cv::resize(noise, mask, size, 0, 0, cv::INTER_NEAREST);
    ASSERT_TRUE(history.record(mask));
    EXPECT_LE(history.bytes(), history.budget()) << "step " << step;
    states.push_back(mask.clone());
  }
  // Each of these steps costs about half a byte per pixel, so not all fit.
  ASSERT_GE(history.undoCount(), 1u);
  ASSERT_LT(history.undoCount(), states.size());
  const size_t kept = history.undoCount();
  for (size_t k = 0; k < kept; ++k) {
    ASSERT_TRUE(history.undo(mask));
    ASSERT_TRUE(sameBytes(mask, states[states.size() - 2 - k]));
  }
  EXPECT_FALSE(history.undo(mask));

  // Small steps: hundreds fit in the same bound.
  history.reset(mask);
  for (int step = 0; step < 300; ++step) {
    cv::circle(mask, cv::Point(40 + 17 * step, 1500), 25,
               cv::Scalar(step % 256, 0, 255), cv::FILLED);
    ASSERT_TRUE(history.record(mask));
  }
  EXPECT_EQ(history.undoCount(), 300u);
  EXPECT_LE(history.bytes(), history.budget());
}

}  // namespace
}  // namespace scribeline
