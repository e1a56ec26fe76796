#include "autosave/autosave_png.h"

#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>
#include <string>

#include "palette/palette.h"

namespace scribeline {
namespace {

// The colour type byte of a PNG's IHDR: 2 RGB, 3 palette.
int colourTypeOf(const std::vector<unsigned char>& png) {
  return png.size() > 25 ? png[25] : -1;
}

// A mask of `colours` distinct colours, each pixel one of them at random
// (colour 0 to 24 the labels', the rest made up, and never a label's: their
// blue is odd), or every pixel a colour of its own when `colours` is 0.
cv::Mat maskOf(int colours, cv::Size size, int seed) {
  cv::Mat mask(size, CV_8UC3);
  cv::RNG rng(seed);
  if (colours == 0) {
    rng.fill(mask, cv::RNG::UNIFORM, 0, 256);
    return mask;
  }
  for (int y = 0; y < mask.rows; ++y)
    for (int x = 0; x < mask.cols; ++x) {
      const int c = rng.uniform(0, colours);
      const cv::Scalar colour =
          c < numLabels ? labelColor(c) : cv::Scalar(1, c & 0xFF, c >> 8);
      mask.at<cv::Vec3b>(y, x) = cv::Vec3b(colour[0], colour[1], colour[2]);
    }
  return mask;
}

struct EncodingRow {
  std::string name;
  int colours;  // 0: noise
  cv::Size size;
  int colourType;
};

std::ostream& operator<<(std::ostream& out, const EncodingRow& row) {
  return out << row.name;
}

class AutosavePngTest : public testing::TestWithParam<EncodingRow> {};

// Any reader gets the mask back exactly, in whichever form it was written;
// and the second encoding of the thread is the same as the first.
TEST_P(AutosavePngTest, DecodesToTheMaskExactly) {
  const EncodingRow& row = GetParam();
  const cv::Mat mask = maskOf(row.colours, row.size, 3);
  for (int round = 0; round < 2; ++round) {
    const Result<std::vector<unsigned char>> png = encodeAutosavePng(mask);
    ASSERT_TRUE(png.ok()) << png.reason();
    EXPECT_EQ(colourTypeOf(png.value()), row.colourType);
    const cv::Mat decoded = cv::imdecode(png.value(), cv::IMREAD_COLOR);
    ASSERT_EQ(decoded.size(), mask.size());
    EXPECT_EQ(cv::norm(decoded, mask, cv::NORM_INF), 0) << "round " << round;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Masks, AutosavePngTest,
    testing::Values(EncodingRow{"blank", 1, {40, 30}, 3},
                    EncodingRow{"labels", numLabels, {61, 37}, 3},
                    EncodingRow{"one_pixel", 1, {1, 1}, 3},
                    EncodingRow{"full_palette", 256, {97, 53}, 3},
                    EncodingRow{"one_colour_beyond", 257, {97, 53}, 2},
                    EncodingRow{"noise", 0, {45, 45}, 2}),
    [](const testing::TestParamInfo<EncodingRow>& info) {
      return info.param.name;
    });

TEST(AutosavePngRefusalTest, RefusesWhatIsNoMask) {
  for (const cv::Mat& mask :
       {cv::Mat(), cv::Mat(3, 3, CV_8UC1), cv::Mat(3, 3, CV_16UC3)}) {
    EXPECT_EQ(encodeAutosavePng(mask).reason(),
              "the mask cannot be encoded as PNG");
  }
}

}  // namespace
}  // namespace scribeline
