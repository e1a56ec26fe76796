#include "canvas/label_statistics.h"

#include <gtest/gtest.h>

#include "palette/palette.h"

namespace scribeline {
namespace {

// 8 x 5 = 40 pixels: 20 of label 0, 10 of label 3, 6 of label 24, 3 white,
// 1 of a colour outside the palette.
cv::Mat sampleMask() {
  cv::Mat mask(5, 8, CV_8UC3, cv::Scalar::all(0));
  mask.setTo(cv::Scalar(labelColor(0)));
  mask(cv::Rect(0, 0, 8, 1)).setTo(labelColor(3));
  mask(cv::Rect(0, 1, 2, 1)).setTo(labelColor(3));
  mask(cv::Rect(2, 4, 6, 1)).setTo(labelColor(24));
  mask(cv::Rect(5, 2, 3, 1)).setTo(cv::Scalar(255, 255, 255));
  mask.at<cv::Vec3b>(3, 7) = cv::Vec3b(1, 2, 3);
  return mask;
}

TEST(LabelStatistics, CountsEveryLabelNoLabelAndOtherColours) {
  const LabelStatistics statistics = countLabels(sampleMask());
  EXPECT_EQ(statistics.total, 40);
  EXPECT_EQ(statistics.labels[0], 20);
  EXPECT_EQ(statistics.labels[3], 10);
  EXPECT_EQ(statistics.labels[24], 6);
  EXPECT_EQ(statistics.unlabelled, 3);
  EXPECT_EQ(statistics.otherColours, 1);
}

// Names as the toolbox shows them; a label without one shows its number.
TEST(LabelStatistics, LinesNameTheLabelsPresentInLabelOrder) {
  EXPECT_EQ(labelStatisticsText(countLabels(sampleMask()),
                                {"background", "", "", "car"}),
            "label statistics of 40 pixels:\n"
            "0 background: 20 pixels, 50.00 %\n"
            "3 car: 10 pixels, 25.00 %\n"
            "24: 6 pixels, 15.00 %\n"
            "no label: 3 pixels, 7.50 %\n"
            "other colours: 1 pixels, 2.50 %\n");
  const cv::Mat blank(3, 3, CV_8UC3, cv::Scalar::all(255));
  EXPECT_EQ(labelStatisticsText(countLabels(blank), {}),
            "label statistics of 9 pixels:\n"
            "no label: 9 pixels, 100.00 %\n");
}

}  // namespace
}  // namespace scribeline
