#include "files/image_header.h"

#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <sstream>
#include <string>
#include <vector>

namespace scribeline {
namespace {

std::optional<DeclaredSize> sizeOf(const std::string& bytes) {
  std::istringstream in(bytes);
  return readDeclaredSize(in);
}

// Byte `i` of `value`, counted from the least significant; zero beyond
// the eighth (a wide field of zeros pads a header).
char byteOf(std::uint64_t value, int i) {
  return i < 8 ? static_cast<char>((value >> (8 * i)) & 0xFF) : '\0';
}

std::string bigEndian(std::uint64_t value, int width) {
  std::string bytes;
  for (int i = width - 1; i >= 0; --i) bytes += byteOf(value, i);
  return bytes;
}

std::string littleEndian(std::uint64_t value, int width) {
  std::string bytes;
  for (int i = 0; i < width; ++i) bytes += byteOf(value, i);
  return bytes;
}

// The first bytes of a PNG: signature and IHDR, nothing after.
std::string pngHead(std::uint64_t width, std::uint64_t height) {
  return std::string("\x89PNG\r\n\x1A\n", 8) + bigEndian(13, 4) + "IHDR" +
         bigEndian(width, 4) + bigEndian(height, 4) + "\x08\x02\x00\x00\x00";
}

// Every format whose header is read, written by the image library itself
// at an odd size and at a size of another aspect: the declared size is the
// decoded one.
class DeclaredSizeOracleTest : public testing::TestWithParam<std::string> {};

TEST_P(DeclaredSizeOracleTest, MatchesTheDecodedSize) {
  const std::string extension = GetParam();
  for (const cv::Size size : {cv::Size(37, 23), cv::Size(5, 301)}) {
    cv::Mat picture(size, CV_8UC3);
    cv::RNG(7).fill(picture, cv::RNG::UNIFORM, 0, 256);
    if (extension == ".pgm" || extension == ".pbm")
      cv::cvtColor(picture, picture, cv::COLOR_BGR2GRAY);
    if (extension == ".pfm") picture.convertTo(picture, CV_32FC3, 1.0 / 255);
    std::vector<unsigned char> encoded;
    ASSERT_TRUE(cv::imencode(extension, picture, encoded)) << extension;
    const std::string bytes(encoded.begin(), encoded.end());
    const cv::Mat decoded = cv::imdecode(encoded, cv::IMREAD_UNCHANGED);
    ASSERT_EQ(decoded.size(), size);
    const auto declared = sizeOf(bytes);
    ASSERT_TRUE(declared) << extension << " " << size;
    EXPECT_EQ(declared->width, static_cast<std::uint64_t>(size.width));
    EXPECT_EQ(declared->height, static_cast<std::uint64_t>(size.height));
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, DeclaredSizeOracleTest,
                         testing::Values(".png", ".jpg", ".bmp", ".ppm", ".pgm",
                                         ".pbm", ".pam", ".pfm", ".tiff",
                                         ".webp", ".ras"),
                         [](const testing::TestParamInfo<std::string>& info) {
                           return info.param.substr(1);
                         });

TEST(DeclaredSizeTest, LosslessWebpIsRead) {
  cv::Mat picture(23, 37, CV_8UC3, cv::Scalar(10, 20, 30));
  std::vector<unsigned char> encoded;
  ASSERT_TRUE(
      cv::imencode(".webp", picture, encoded, {cv::IMWRITE_WEBP_QUALITY, 101}));
  const auto declared = sizeOf(std::string(encoded.begin(), encoded.end()));
  ASSERT_TRUE(declared);
  EXPECT_EQ(declared->width, 37u);
  EXPECT_EQ(declared->height, 23u);
}

// Headers built by hand: sizes no reader would accept are still reported as
// declared, so that they can be refused; malformed or unknown headers give
// nothing.
struct HeaderRow {
  std::string description;
  std::string bytes;
  std::optional<std::pair<std::uint64_t, std::uint64_t>> size;
};

std::ostream& operator<<(std::ostream& out, const HeaderRow& row) {
  return out << row.description;
}

class DeclaredSizeTableTest : public testing::TestWithParam<HeaderRow> {};

TEST_P(DeclaredSizeTableTest, ReadsWhatTheHeaderClaims) {
  const auto declared = sizeOf(GetParam().bytes);
  ASSERT_EQ(declared.has_value(), GetParam().size.has_value());
  if (!declared) return;
  EXPECT_EQ(declared->width, GetParam().size->first);
  EXPECT_EQ(declared->height, GetParam().size->second);
}

const std::string kSoi("\xFF\xD8", 2);

std::string jpegSegment(int marker, const std::string& payload) {
  return std::string{'\xFF', static_cast<char>(marker)} +
         bigEndian(payload.size() + 2, 2) + payload;
}

std::string jpegFrame(int marker, std::uint64_t width, std::uint64_t height) {
  return jpegSegment(marker, "\x08" + bigEndian(height, 2) +
                                 bigEndian(width, 2) +
                                 std::string("\x03\x01\x22\x00", 4));
}

std::string bmpHead(std::int32_t width, std::int32_t height) {
  return "BM" + littleEndian(0, 12) + littleEndian(40, 4) +
         littleEndian(static_cast<std::uint32_t>(width), 4) +
         littleEndian(static_cast<std::uint32_t>(height), 4);
}

// A little-endian TIFF whose directory sits after 100 bytes of pixel data,
// with width and height of the given field types (3 SHORT, 4 LONG).
std::string tiffHead(std::uint64_t width, int widthType, std::uint64_t height,
                     int heightType) {
  auto entry = [](int tag, int type, std::uint64_t value) {
    return littleEndian(tag, 2) + littleEndian(type, 2) + littleEndian(1, 4) +
           littleEndian(value, 4);
  };
  return "II" + littleEndian(42, 2) + littleEndian(108, 4) +
         std::string(100, '\0') + littleEndian(3, 2) + entry(254, 4, 0) +
         entry(256, widthType, width) + entry(257, heightType, height);
}

INSTANTIATE_TEST_SUITE_P(
    Headers, DeclaredSizeTableTest,
    testing::Values(
        HeaderRow{
            "png_beyond_every_limit", pngHead(40000, 40000), {{40000, 40000}}},
        HeaderRow{"png_largest_fields",
                  pngHead(0xFFFFFFFF, 0xFFFFFFFF),
                  {{0xFFFFFFFF, 0xFFFFFFFF}}},
        HeaderRow{"png_cut_in_ihdr", pngHead(40000, 40000).substr(0, 20), {}},
        HeaderRow{"png_other_first_chunk",
                  std::string("\x89PNG\r\n\x1A\n", 8) + bigEndian(13, 4) +
                      "IDAT" + bigEndian(1, 4) + bigEndian(1, 4),
                  {}},
        HeaderRow{"jpeg_after_app_segments",
                  kSoi + jpegSegment(0xE0, std::string(16, 'j')) +
                      jpegSegment(0xE1, std::string(3000, 'e')) +
                      jpegSegment(0xDB, std::string(67, 'q')) +
                      jpegFrame(0xC0, 30000, 20000),
                  {{30000, 20000}}},
        HeaderRow{"jpeg_progressive_after_fill_bytes",
                  kSoi + "\xFF\xFF" + jpegFrame(0xC2, 65535, 65535),
                  {{65535, 65535}}},
        HeaderRow{"jpeg_height_in_dnl", kSoi + jpegFrame(0xC0, 640, 0), {}},
        HeaderRow{"jpeg_data_before_frame", kSoi + "\xFF\xDA" + "xxxx", {}},
        HeaderRow{"jpeg_cut_in_segment",
                  kSoi + jpegSegment(0xE0, std::string(100, 'j')).substr(0, 50),
                  {}},
        HeaderRow{"bmp_bottom_up", bmpHead(20000, 30000), {{20000, 30000}}},
        HeaderRow{"bmp_top_down", bmpHead(20000, -30000), {{20000, 30000}}},
        HeaderRow{"bmp_os2_core",
                  "BM" + littleEndian(0, 12) + littleEndian(12, 4) +
                      littleEndian(640, 2) + littleEndian(480, 2),
                  {{640, 480}}},
        HeaderRow{"bmp_negative_width", bmpHead(-5, 5), {}},
        HeaderRow{"ppm_with_comments",
                  "P6\n# made by hand\n 40000\t# w\n40000\n255\n",
                  {{40000, 40000}}},
        HeaderRow{"pbm_plain", "P1 3 2\n0 1 0\n1 0 1\n", {{3, 2}}},
        HeaderRow{"pgm_without_height", "P5 100", {}},
        HeaderRow{"pam",
                  "P7\nWIDTH 70000\nHEIGHT 3\nDEPTH 3\nMAXVAL 255\n"
                  "TUPLTYPE RGB\nENDHDR\n",
                  {{70000, 3}}},
        HeaderRow{"pam_without_end", "P7\nWIDTH 7\nHEIGHT 3\n", {}},
        HeaderRow{"tiff_long_fields_after_the_pixels",
                  tiffHead(100000, 4, 20000, 4),
                  {{100000, 20000}}},
        HeaderRow{"tiff_short_fields", tiffHead(640, 3, 480, 3), {{640, 480}}},
        HeaderRow{"tiff_directory_beyond_the_end",
                  "II" + littleEndian(42, 2) + littleEndian(1 << 30, 4),
                  {}},
        HeaderRow{"webp_lossy",
                  "RIFF" + littleEndian(100, 4) + "WEBPVP8 " +
                      littleEndian(80, 4) + std::string("\x10\x02\x00", 3) +
                      std::string("\x9D\x01\x2A", 3) + littleEndian(16383, 2) +
                      littleEndian(12000, 2),
                  {{16383, 12000}}},
        HeaderRow{"webp_extended",
                  "RIFF" + littleEndian(100, 4) + "WEBPVP8X" +
                      littleEndian(10, 4) + littleEndian(0, 4) +
                      littleEndian(40000 - 1, 3) + littleEndian(50000 - 1, 3),
                  {{40000, 50000}}},
        HeaderRow{"sun_raster",
                  std::string("\x59\xA6\x6A\x95", 4) + bigEndian(50000, 4) +
                      bigEndian(40000, 4),
                  {{50000, 40000}}},
        HeaderRow{"text", "background\nperson\n", {}},
        HeaderRow{"empty", "", {}}, HeaderRow{"one_byte", "P", {}}),
    [](const testing::TestParamInfo<HeaderRow>& info) {
      return info.param.description;
    });

}  // namespace
}  // namespace scribeline
