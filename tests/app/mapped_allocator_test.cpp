#include "app/mapped_allocator.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <opencv2/imgproc.hpp>

namespace scribeline {
namespace {

struct PictureCase {
  cv::Size size;
  int type;
};

class MappedPictureTest : public testing::TestWithParam<PictureCase> {};

// Zeroed pictures of every size hold what is written, copy, convert and go
// away like any picture; the large ones are mapped, starting on a huge page.
TEST_P(MappedPictureTest, ZeroPictureIsAnOrdinaryPicture) {
  const PictureCase c = GetParam();
  cv::Mat picture = zeroPicture(c.size, c.type);
  ASSERT_EQ(picture.size(), c.size);
  ASSERT_EQ(picture.type(), c.type);
  EXPECT_EQ(cv::countNonZero(picture.reshape(1)), 0);
  const bool large =
      picture.total() * picture.elemSize() >= MappedAllocator::kLargeBytes;
  EXPECT_EQ(
      dynamic_cast<const MappedAllocator*>(picture.u->currAllocator) != nullptr,
      large);
  if (large)
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(picture.data) % (2 << 20), 0u);

  cv::randu(picture, 0, 255);
  cv::Mat copy = picture.clone();
  EXPECT_EQ(cv::norm(picture, copy, cv::NORM_INF), 0);
  const cv::Vec3b corner =
      picture.at<cv::Vec3b>(c.size.height - 1, c.size.width - 1);
  picture.release();
  EXPECT_EQ(copy.at<cv::Vec3b>(c.size.height - 1, c.size.width - 1), corner);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, MappedPictureTest,
    testing::Values(PictureCase{{3, 2}, CV_8UC3},
                    PictureCase{{640, 480}, CV_8UC3},     // just below
                    PictureCase{{5640, 3172}, CV_8UC3}),  // a camera's photo
    [](const testing::TestParamInfo<PictureCase>& info) {
      return std::to_string(info.param.size.width) + "x" +
             std::to_string(info.param.size.height);
    });

// As OpenCV's default, the allocator serves every picture the library makes,
// large ones from mappings, and leaves pictures over the caller's own
// memory as they are.
TEST(MappedAllocatorTest, ServesTheLibraryAsItsDefault) {
  cv::MatAllocator* before = cv::Mat::getDefaultAllocator();
  allocateLargePicturesMapped();
  cv::Mat large(2000, 1000, CV_8UC3, cv::Scalar(1, 2, 3));
  cv::Mat reduced;
  cv::resize(large, reduced, {1000, 500}, 0, 0, cv::INTER_AREA);
  uint8_t own[12] = {};
  cv::Mat borrowed(2, 2, CV_8UC3, own);
  borrowed.setTo(cv::Scalar(7, 7, 7));
  cv::Mat::setDefaultAllocator(before);

  EXPECT_EQ(large.u->currAllocator, &mappedAllocator());
  EXPECT_EQ(reduced.u->currAllocator, &mappedAllocator());
  EXPECT_EQ(reduced.at<cv::Vec3b>(499, 999), cv::Vec3b(1, 2, 3));
  EXPECT_EQ(borrowed.data, own);
  EXPECT_EQ(own[11], 7);
}

// A freed picture's mapping goes to the next picture of its size, and only
// to one of that size.
TEST(MappedAllocatorTest, KeepsFreedMappingsForPicturesOfTheSameSize) {
  MappedAllocator allocator(true);
  cv::Mat first;
  first.allocator = &allocator;
  first.create(1000, 1000, CV_8UC3);
  const uchar* const data = first.data;
  first.release();
  cv::Mat other, same;
  other.allocator = same.allocator = &allocator;
  other.create(1000, 1001, CV_8UC3);
  same.create(1000, 1000, CV_8UC3);
  EXPECT_NE(other.data, data);
  EXPECT_EQ(same.data, data);
}

}  // namespace
}  // namespace scribeline
