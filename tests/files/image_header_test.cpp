#include "files/image_header.h"

#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <sstream>
#include <string>
#include <vector>

namespace scribeline {
namespace {

Result<std::optional<DeclaredSize>> sizeOf(const std::string& bytes) {
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
    ASSERT_TRUE(declared.ok()) << extension << " " << declared.reason();
    ASSERT_TRUE(declared.value()) << extension << " " << size;
    EXPECT_EQ(declared.value()->width, static_cast<std::uint64_t>(size.width));
    EXPECT_EQ(declared.value()->height,
              static_cast<std::uint64_t>(size.height));
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
  ASSERT_TRUE(declared.ok() && declared.value());
  EXPECT_EQ(declared.value()->width, 37u);
  EXPECT_EQ(declared.value()->height, 23u);
}

// Headers built by hand: sizes no reader would accept are still reported as
// declared, so that they can be refused; headers cut short, without their
// size or of unknown formats give nothing; a size field that is there but
// is no size is refused.
struct HeaderRow {
  std::string description;
  std::string bytes;
  std::optional<std::pair<std::uint64_t, std::uint64_t>> size;
  std::string refusal;  // the reason, exactly; empty: not refused
};

std::ostream& operator<<(std::ostream& out, const HeaderRow& row) {
  return out << row.description;
}

class DeclaredSizeTableTest : public testing::TestWithParam<HeaderRow> {};

TEST_P(DeclaredSizeTableTest, ReadsWhatTheHeaderClaims) {
  const HeaderRow& row = GetParam();
  const auto declared = sizeOf(row.bytes);
  EXPECT_EQ(declared.reason(), row.refusal);
  if (!declared.ok()) return;
  ASSERT_EQ(declared.value().has_value(), row.size.has_value());
  if (!declared.value()) return;
  EXPECT_EQ(declared.value()->width, row.size->first);
  EXPECT_EQ(declared.value()->height, row.size->second);
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
        HeaderRow{"bmp_negative_width",
                  bmpHead(-5, 5),
                  {},
                  "a malformed BMP header: its width is negative"},
        HeaderRow{"bmp_zero_width", bmpHead(0, 5), {}},
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
        HeaderRow{"pam_with_comment_and_blanks",
                  "P7\n# WIDTH x\n\tWIDTH\t12 \r\nHEIGHT 0009\nENDHDR\n",
                  {{12, 9}}},
        HeaderRow{"pam_without_width", "P7\nHEIGHT 3\nENDHDR\n", {}},
        HeaderRow{"pam_other_key_starting_alike",
                  "P7\nWIDTHS x\nWIDTH 4\nHEIGHT 3\nENDHDR\n",
                  {{4, 3}}},
        HeaderRow{"ppm_largest_number",
                  "P6 9999999999999999999 0000000000000000000000001\n255\n",
                  {{9999999999999999999u, 1}}},
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

// Every size field written as text, in every format that has one, with every
// kind of value that is no size: refused, naming the format and the field,
// never passed on to a reader (whose own parsing of such a field is not to
// be trusted).
std::vector<HeaderRow> malformedFieldRows() {
  struct Fault {
    std::string name;
    std::string value;
    std::string fault;
  };
  const std::vector<Fault> faults = {
      {"letters", "abc", "not a number"},
      {"digits_then_letters", "12px", "not a number"},
      {"plus_sign", "+12", "not a number"},
      {"fraction", "1.5", "not a number"},
      {"hexadecimal", "0x10", "not a number"},
      {"lone_minus", "-", "not a number"},
      {"beyond_64_bits", "18446744073709551616", "too large"},
      {"hundred_digits", std::string(100, '9'), "too large"},
      {"negative", "-3", "negative"},
  };
  // Blank is a fault only where a field has a line of its own; in the PNM
  // formats a blank merely separates fields.
  const std::vector<Fault> blanks = {{"blank", "  ", "blank"},
                                     {"blank_tab", "\t\r", "blank"},
                                     {"missing", "", "blank"}};
  struct Format {
    std::string name;
    std::string format;
    std::string field;
    std::string (*header)(const std::string& value);
    bool ownLine;
  };
  const std::vector<Format> formats = {
      {"ppm_width", "PPM", "width",
       [](const std::string& v) { return "P6\n" + v + " 2\n255\n"; }, false},
      {"ppm_height", "PPM", "height",
       [](const std::string& v) { return "P3 3 " + v + "\n255\n"; }, false},
      {"pgm_width", "PGM", "width",
       [](const std::string& v) { return "P5\n# c\n" + v + " 2\n255\n"; },
       false},
      {"pbm_height", "PBM", "height",
       [](const std::string& v) { return "P4 8 " + v + "\n"; }, false},
      {"pfm_width", "PFM", "width",
       [](const std::string& v) { return "PF\n" + v + " 2\n-1.0\n"; }, false},
      {"pam_width", "PAM", "WIDTH",
       [](const std::string& v) {
         return "P7\nWIDTH " + v + "\nHEIGHT 2\nDEPTH 3\nMAXVAL 255\nENDHDR\n";
       },
       true},
      {"pam_height", "PAM", "HEIGHT",
       [](const std::string& v) {
         return "P7\nWIDTH 3\nHEIGHT" + (v.empty() ? "" : " " + v) +
                "\nDEPTH 3\nMAXVAL 255\nENDHDR\n";
       },
       true},
  };
  std::vector<HeaderRow> rows;
  for (const Format& format : formats) {
    std::vector<Fault> kinds = faults;
    if (format.ownLine) kinds.insert(kinds.end(), blanks.begin(), blanks.end());
    for (const Fault& kind : kinds) {
      rows.push_back({format.name + "_" + kind.name,
                      format.header(kind.value) + std::string(24, '\0'),
                      {},
                      "a malformed " + format.format + " header: its " +
                          format.field + " is " + kind.fault});
    }
  }
  return rows;
}

INSTANTIATE_TEST_SUITE_P(MalformedFields, DeclaredSizeTableTest,
                         testing::ValuesIn(malformedFieldRows()),
                         [](const testing::TestParamInfo<HeaderRow>& info) {
                           return info.param.description;
                         });

TEST(DeclaredSizeTest, PixelsSaturateInsteadOfWrapping) {
  const std::uint64_t side = std::uint64_t{1} << 40;
  EXPECT_EQ((DeclaredSize{side, side}.pixels()), UINT64_MAX);
  EXPECT_EQ((DeclaredSize{side, 0}.pixels()), 0u);
  EXPECT_EQ((DeclaredSize{3, 5}.pixels()), 15u);
}

}  // namespace
}  // namespace scribeline
