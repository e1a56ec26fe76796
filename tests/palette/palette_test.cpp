#include "palette/palette.h"

#include <gtest/gtest.h>

namespace scribeline {
namespace {

struct PaletteRow {
  int label;
  int red, green, blue;
};

class PaletteTest : public testing::TestWithParam<PaletteRow> {};

TEST_P(PaletteTest, ColourOfLabel) {
  const PaletteRow row = GetParam();
  EXPECT_EQ(labelColor(row.label), cv::Scalar(row.blue, row.green, row.red, 0))
      << "label " << row.label;
}

INSTANTIATE_TEST_SUITE_P(
    Labels, PaletteTest,
    testing::Values(PaletteRow{0, 0, 0, 0}, PaletteRow{1, 128, 0, 0},
                    PaletteRow{2, 0, 128, 0}, PaletteRow{3, 128, 128, 0},
                    PaletteRow{4, 0, 0, 128}, PaletteRow{5, 128, 0, 128},
                    PaletteRow{6, 0, 128, 128}, PaletteRow{7, 128, 128, 128},
                    PaletteRow{8, 64, 0, 0}, PaletteRow{9, 192, 0, 0},
                    PaletteRow{10, 64, 128, 0}, PaletteRow{11, 192, 128, 0},
                    PaletteRow{12, 64, 0, 128}, PaletteRow{13, 192, 0, 128},
                    PaletteRow{14, 64, 128, 128}, PaletteRow{15, 192, 128, 128},
                    PaletteRow{16, 0, 64, 0}, PaletteRow{17, 128, 64, 0},
                    PaletteRow{18, 0, 192, 0}, PaletteRow{19, 128, 192, 0},
                    PaletteRow{20, 0, 64, 128}, PaletteRow{21, 128, 64, 128},
                    PaletteRow{22, 0, 192, 128}, PaletteRow{23, 128, 192, 128},
                    PaletteRow{24, 64, 64, 0}, PaletteRow{255, 224, 224, 192},
                    PaletteRow{-5, 0, 0, 0}));

// The pixel bytes are the colour's channels, for labels in range and beyond.
TEST(LabelPixelTest, BytesAreTheColourChannels) {
  for (int label = -3; label < 600; ++label) {
    const cv::Scalar colour = labelColor(label);
    EXPECT_EQ(labelPixel(label), cv::Vec3b(static_cast<uchar>(colour[0]),
                                           static_cast<uchar>(colour[1]),
                                           static_cast<uchar>(colour[2])))
        << "label " << label;
  }
}

}  // namespace
}  // namespace scribeline
