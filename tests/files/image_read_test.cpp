#include "files/image_read.h"

#include <gtest/gtest.h>

#include <fstream>
#include <opencv2/imgcodecs.hpp>
#include <string>
#include <vector>

#include "tests/support/png_header.h"
#include "tests/support/temp_folder.h"

namespace scribeline {
namespace {

void writeBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string encoded(const std::string& extension, const cv::Mat& image) {
  std::vector<unsigned char> bytes;
  EXPECT_TRUE(cv::imencode(extension, image, bytes));
  return std::string(bytes.begin(), bytes.end());
}

cv::Mat noise() {
  cv::Mat image(24, 32, CV_8UC3);
  cv::RNG(5).fill(image, cv::RNG::UNIFORM, 0, 256);
  return image;
}

// What the image libraries print is held back from standard error while a
// photo is read: the first line of it joins the refusal of a photo that
// cannot be decoded; the words about a photo that could be read reach
// standard error after the read.
struct ReadRow {
  std::string name;
  std::string bytes;
  bool loads;
  std::string reason;   // the refusal, exactly
  std::string printed;  // standard error holds it
};

std::ostream& operator<<(std::ostream& out, const ReadRow& row) {
  return out << row.name;
}

class ReadPhotoTest : public testing::TestWithParam<ReadRow> {};

TEST_P(ReadPhotoTest, RefusesWithTheLibrarysFirstLineOrPrintsItsWarning) {
  const TempFolder temp("scribeline-read");
  const std::string path = temp.path() + "/photo";
  writeBytes(path, GetParam().bytes);
  ImageLimits limits;
  limits.availableBytes.reset();
  testing::internal::CaptureStderr();
  const Result<cv::Mat> photo = readPhoto(path, limits);
  const std::string printed = testing::internal::GetCapturedStderr();
  EXPECT_EQ(photo.ok(), GetParam().loads);
  EXPECT_EQ(photo.reason(), GetParam().reason);
  if (GetParam().printed.empty()) {
    EXPECT_EQ(printed, "");
  } else {
    EXPECT_NE(printed.find(GetParam().printed), std::string::npos) << printed;
  }
}

const std::string kPng = encoded(".png", noise());
const std::string kJpeg = encoded(".jpg", noise());

INSTANTIATE_TEST_SUITE_P(
    Files, ReadPhotoTest,
    testing::Values(
        ReadRow{"png", kPng, true, "", ""},
        ReadRow{"png_cut_short", kPng.substr(0, kPng.size() / 2), false,
                "not an image the reader can decode (libpng error: Read "
                "Error)",
                ""},
        // A few hundred bytes that would have the reader allocate 2 GB.
        ReadRow{"png_text_chunk_past_end",
                kPng.substr(0, kPng.size() - 12) +
                    std::string("\x74\x00\x00\x25tEXtdate", 12) +
                    kPng.substr(kPng.size() - 12),
                false,
                "not an image the reader can decode (its tEXt chunk runs past "
                "the end of the file)",
                ""},
        ReadRow{"png_header_crc", pngHeaderOnly(30, 20) + "garbage", false,
                "not an image the reader can decode (libpng error: IHDR: CRC "
                "error)",
                ""},
        ReadRow{"jpeg_cut_short", kJpeg.substr(0, kJpeg.size() / 2), true, "",
                "Premature end of JPEG file"},
        ReadRow{"text", "a list of things to do\n", false,
                "not an image the reader can decode", ""},
        // Its decoder aborts on malformed ones, so it is never handed over.
        ReadRow{"dicom_mark", std::string(128, '\0') + "DICM" + "garbage",
                false, "a DICOM file, which is not read here", ""}),
    [](const testing::TestParamInfo<ReadRow>& info) {
      return info.param.name;
    });

TEST(DecodeImageTest, HandsOverTheLibrarysWordsWithTheImage) {
  const TempFolder temp("scribeline-decode");
  const std::string path = temp.path() + "/cut.png";
  writeBytes(path, kPng.substr(0, kPng.size() / 2));
  testing::internal::CaptureStderr();
  const DecodedImage decoded = decodeImage(path, cv::IMREAD_COLOR);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_TRUE(decoded.image.empty());
  EXPECT_EQ(decoded.libraryMessages.rfind("libpng error: Read Error", 0), 0u)
      << decoded.libraryMessages;
}

}  // namespace
}  // namespace scribeline
