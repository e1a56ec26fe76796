#include "export/coco.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <sstream>

#include "export/coco_json.h"
#include "export/coco_rle.h"
#include "export/export.h"
#include "export/palette_png.h"
#include "palette/palette.h"
#include "tests/support/temp_folder.h"

namespace scribeline {
namespace {

// A rows x columns mask of 0s with 1 at the given (row, column) pixels.
cv::Mat maskWith(int rows, int columns,
                 const std::vector<std::pair<int, int>>& set) {
  cv::Mat mask(rows, columns, CV_8UC1, cv::Scalar(0));
  for (const auto& [row, column] : set) mask.at<unsigned char>(row, column) = 1;
  return mask;
}

cv::Mat column(int rows, int columns, int which) {
  cv::Mat mask(rows, columns, CV_8UC1, cv::Scalar(0));
  mask.col(which).setTo(1);
  return mask;
}

cv::Mat row(int rows, int columns, int which) {
  cv::Mat mask(rows, columns, CV_8UC1, cv::Scalar(0));
  mask.row(which).setTo(1);
  return mask;
}

// A column of `zeros` 0s above `ones` 1s.
cv::Mat tail(int zeros, int ones) {
  cv::Mat mask(zeros + ones, 1, CV_8UC1, cv::Scalar(0));
  mask.rowRange(zeros, zeros + ones).setTo(1);
  return mask;
}

struct RleCase {
  const char* name;
  cv::Mat mask;
  RleCounts counts;
  std::string text;
};

// Counts and strings worked out by hand: pixels column by column, runs
// starting with 0s; in the string the first three counts stand as they are
// and the later ones as differences from the count two before, in five-bit
// groups (low first, +32 when more follow, the last group's bit 4 the sign)
// written as 48 + group.
TEST(CocoRleTest, MasksGiveTheCountsAndStringsWorkedOutByHand) {
  const std::vector<RleCase> cases = {
      {"all zeros", maskWith(2, 2, {}), {4}, "4"},
      {"all ones", cv::Mat(2, 2, CV_8UC1, cv::Scalar(1)), {0, 4}, "04"},
      {"top left", maskWith(2, 3, {{0, 0}}), {0, 1, 5}, "015"},
      {"bottom left", maskWith(2, 3, {{1, 0}}), {1, 1, 4}, "114"},
      {"top right", maskWith(2, 3, {{0, 2}}), {4, 1, 1}, "411"},
      {"bottom right", maskWith(2, 3, {{1, 2}}), {5, 1}, "51"},
      {"a column", column(3, 3, 1), {3, 3, 3}, "333"},
      // 1, 1, 2, then 1-1, 2-2, 1-1 and 1-2 = -1, which is 31 ('O').
      {"a row", row(3, 3, 1), {1, 1, 2, 1, 2, 1, 1}, "112000O"},
      // 33 = 1 + 32: groups 1 (+32 more) and 1.
      {"above 31", tail(33, 7), {33, 7}, "Q17"},
      // 1050 = 26 + 0 * 32 + 1 * 1024: 26 has bit 4 set, so a 0 group and a
      // 1 follow; 50 = 18 + 32 likewise.
      {"above 1023", tail(1050, 50), {1050, 50}, "jP1b1"},
      // 1000 = 8 + 31 * 32: groups 8 (+32), 31 (+32: its bit 4 alone would
      // read as a sign) and 0; then 20 and -990, 10 - 1000, as 18 (+32),
      // 1 (+32), 31; 1060 - 20 = 1040 and so on.
      {"negative difference",
       [] {
         cv::Mat mask(2100, 1, CV_8UC1, cv::Scalar(0));
         mask.rowRange(10, 1010).setTo(1);
         mask.rowRange(1010 + 20, 1010 + 20 + 10).setTo(1);
         return mask;
       }(),
       {10, 1000, 20, 10, 1060},
       ":Xo0d0RQO`P1"},
      {"one pixel set", maskWith(1, 1, {{0, 0}}), {0, 1}, "01"},
      {"one pixel clear", maskWith(1, 1, {}), {1}, "1"},
  };
  for (const RleCase& c : cases) {
    SCOPED_TRACE(c.name);
    const RleCounts counts = encodeRle(c.mask, 1);
    EXPECT_EQ(counts, c.counts);
    EXPECT_EQ(rleToString(counts), c.text);
    const Result<RleCounts> back = rleFromString(c.text);
    ASSERT_TRUE(back.ok()) << back.reason();
    EXPECT_EQ(back.value(), c.counts);
    ASSERT_TRUE(checkRleSize(counts, c.mask.cols, c.mask.rows).ok());
    cv::Mat painted(c.mask.size(), CV_8UC1, cv::Scalar(0));
    paintRle(counts, 1, &painted);
    EXPECT_EQ(cv::countNonZero(painted != c.mask), 0);
  }
}

TEST(CocoRleTest, OddSizedMasksOfManyRunsGoThereAndBack) {
  std::mt19937 random(11);  // seed 11: runs of 1 to 2000 pixels
  for (const cv::Size size :
       {cv::Size(1, 1), cv::Size(7, 5), cv::Size(333, 211)}) {
    cv::Mat mask(size, CV_8UC1);
    int value = 0;
    for (int p = 0; p < size.area();) {
      const int run = 1 + static_cast<int>(random() % 2000);
      for (int i = 0; i < run && p < size.area(); ++i, ++p)
        mask.at<unsigned char>(p % size.height, p / size.height) =
            static_cast<unsigned char>(value);
      value = 1 - value;
    }
    const RleCounts counts = encodeRle(mask, 1);
    const Result<RleCounts> back = rleFromString(rleToString(counts));
    ASSERT_TRUE(back.ok());
    EXPECT_EQ(back.value(), counts);
    cv::Mat painted(size, CV_8UC1, cv::Scalar(0));
    paintRle(back.value(), 1, &painted);
    EXPECT_EQ(cv::countNonZero(painted != mask), 0) << size;
  }
}

TEST(CocoRleTest, MalformedStringsAndSizesAreRefused) {
  for (const std::string text :
       {std::string("Q"), std::string("0~"), std::string("0 1"),
        std::string("0O"), std::string("ooooooo1"), std::string("1\0", 2)}) {
    SCOPED_TRACE(text);
    EXPECT_FALSE(rleFromString(text).ok());
  }
  EXPECT_FALSE(checkRleSize({1, 2}, 2, 2).ok());
  EXPECT_TRUE(checkRleSize({1, 3}, 2, 2).ok());
  EXPECT_TRUE(checkRleSize({0}, 0, 0).ok());
}

TEST(JsonTest, StrictReadingRefusesWhatJsonIsNot) {
  const std::vector<std::string> refused = {
      "",
      " ",
      "{",
      "[1,]",
      "[1 2]",
      "01",
      "1.",
      "-",
      ".5",
      "1e",
      "+1",
      "{\"a\":1,}",
      "{\"a\" 1}",
      "{a:1}",
      "'a'",
      "\"a",
      "\"\\x\"",
      "\"\\u12\"",
      "\"\\ud800\"",
      "\"\\udc00\"",
      "\"\\ud800\\u0041\"",
      std::string("\"a\nb\""),
      "{\"a\":1,\"a\":2}",
      "1 2",
      "nan",
      "tru",
      "nul",
      "1e999",
      "// c\n1",
      std::string(65, '[') + std::string(65, ']'),
      std::string("[1]\0", 4)};
  for (const std::string& text : refused) {
    SCOPED_TRACE(text);
    const Result<JsonValue> parsed = parseJson(text);
    EXPECT_FALSE(parsed.ok());
    if (!parsed.ok())
      EXPECT_NE(parsed.reason().find("JSON line"), std::string::npos);
  }
  const Result<JsonValue> nested =
      parseJson(std::string(64, '[') + std::string(64, ']'));
  EXPECT_TRUE(nested.ok());
}

TEST(JsonTest, ValuesAreReadAndStringsQuotedBack) {
  const Result<JsonValue> parsed = parseJson(
      " {\"n\": -12.5e1, \"s\": \"a\\\"\\\\\\/\\n\\u00e9\\ud83d\\ude00\","
      " \"l\": [true, false, null, {}], \"z\": 0, \"h\": 0.5}\n");
  ASSERT_TRUE(parsed.ok()) << parsed.reason();
  const JsonValue& root = parsed.value();
  EXPECT_EQ(root.member("n")->number, -125);
  EXPECT_EQ(root.member("s")->text, "a\"\\/\n\xC3\xA9\xF0\x9F\x98\x80");
  ASSERT_EQ(root.member("l")->items.size(), 4u);
  EXPECT_TRUE(root.member("l")->items[0].boolean);
  EXPECT_EQ(root.member("l")->items[2].kind, JsonValue::Kind::kNull);
  EXPECT_EQ(root.member("missing"), nullptr);
  EXPECT_TRUE(jsonInteger(root.member("z"), "z", 0, 1).ok());
  EXPECT_TRUE(jsonInteger(root.member("n"), "n", -125, 0).ok());
  EXPECT_FALSE(jsonInteger(root.member("n"), "n", -124, 0).ok());
  EXPECT_FALSE(jsonInteger(root.member("s"), "s", 0, 1).ok());
  EXPECT_FALSE(jsonInteger(root.member("h"), "h", 0, 1).ok());
  const std::string odd = std::string("q\"b\\s\x01\t\x7F") + "\xC3\xA9";
  const Result<JsonValue> back = parseJson(jsonQuoted(odd));
  ASSERT_TRUE(back.ok());
  EXPECT_EQ(back.value().text, odd);
}

// The COCO document of a 5 x 3 photo: label 2 in a block, label 0 at one
// corner, the rest void; a 1 x 1 photo of label 24.
TEST(CocoDocumentTest, ImagesCategoriesAndAnnotationsAreWrittenAndReadBack) {
  cv::Mat indices(3, 5, CV_8UC1, cv::Scalar(kVoidIndex));
  indices(cv::Rect(1, 1, 3, 2)).setTo(2);
  indices.at<unsigned char>(0, 4) = 0;
  const cv::Mat single(1, 1, CV_8UC1, cv::Scalar(24));
  std::vector<std::string> names;
  for (int label = 0; label < numLabels; ++label)
    names.push_back(label == 1 ? "na\"me" : std::to_string(label));
  for (const CocoRleForm form :
       {CocoRleForm::kCompressed, CocoRleForm::kPlain}) {
    SCOPED_TRACE(form == CocoRleForm::kPlain ? "plain" : "compressed");
    CocoWriter writer(form);
    writer.addImage("a b.jpg", indices);
    writer.addImage("one.png", single);
    const std::string text = writer.text(names);
    const Result<JsonValue> json = parseJson(text);
    ASSERT_TRUE(json.ok()) << json.reason();
    const JsonValue& root = json.value();
    const JsonValue& images = *root.member("images");
    ASSERT_EQ(images.items.size(), 2u);
    EXPECT_EQ(images.items[0].member("file_name")->text, "a b.jpg");
    EXPECT_EQ(images.items[0].member("width")->number, 5);
    EXPECT_EQ(images.items[0].member("height")->number, 3);
    EXPECT_EQ(images.items[1].member("id")->number, 2);
    const JsonValue& categories = *root.member("categories");
    ASSERT_EQ(categories.items.size(), 25u);
    EXPECT_EQ(categories.items[1].member("id")->number, 2);
    EXPECT_EQ(categories.items[1].member("name")->text, "na\"me");
    const JsonValue& annotations = *root.member("annotations");
    ASSERT_EQ(annotations.items.size(), 3u);
    struct Expected {
      int imageId, categoryId, area;
      std::vector<double> bbox;
      RleCounts counts;
    };
    // Column-major: label 0 is pixel 12 of 15; label 2 runs 4-5, 7-8, 10-11.
    const std::vector<Expected> expected = {
        {1, 1, 1, {4, 0, 1, 1}, {12, 1, 2}},
        {1, 3, 6, {1, 1, 3, 2}, {4, 2, 1, 2, 1, 2, 3}},
        {2, 25, 1, {0, 0, 1, 1}, {0, 1}}};
    for (size_t i = 0; i < expected.size(); ++i) {
      const JsonValue& a = annotations.items[i];
      EXPECT_EQ(a.member("id")->number, static_cast<double>(i + 1));
      EXPECT_EQ(a.member("image_id")->number, expected[i].imageId);
      EXPECT_EQ(a.member("category_id")->number, expected[i].categoryId);
      EXPECT_EQ(a.member("area")->number, expected[i].area);
      EXPECT_EQ(a.member("iscrowd")->number, 0);
      std::vector<double> bbox;
      for (const JsonValue& v : a.member("bbox")->items)
        bbox.push_back(v.number);
      EXPECT_EQ(bbox, expected[i].bbox);
      const JsonValue& counts = *a.member("segmentation")->member("counts");
      if (form == CocoRleForm::kPlain) {
        RleCounts plain;
        for (const JsonValue& v : counts.items)
          plain.push_back(static_cast<std::uint32_t>(v.number));
        EXPECT_EQ(plain, expected[i].counts);
      } else {
        EXPECT_EQ(counts.text, rleToString(expected[i].counts));
      }
    }
    const Result<CocoDocument> document = parseCocoDocument(text);
    ASSERT_TRUE(document.ok()) << document.reason();
    const Result<cv::Mat> first =
        cocoIndices(document.value(), document.value().images[0]);
    ASSERT_TRUE(first.ok()) << first.reason();
    EXPECT_EQ(cv::countNonZero(first.value() != indices), 0);
    const Result<cv::Mat> second =
        cocoIndices(document.value(), document.value().images[1]);
    ASSERT_TRUE(second.ok());
    EXPECT_EQ(second.value().at<unsigned char>(0, 0), 24);
  }
}

TEST(SplitTest, ShareAndStabilityOfTheValidationSplit) {
  std::vector<std::string> stems;
  for (int i = 0; i < 400; ++i) stems.push_back("IMG_" + std::to_string(i));
  std::set<std::string> atHalf;
  for (const std::string& stem : stems) {
    EXPECT_FALSE(isValidationName(stem, 0)) << stem;
    EXPECT_TRUE(isValidationName(stem, 1)) << stem;
    if (isValidationName(stem, 0.5)) atHalf.insert(stem);
    // A larger share only adds names.
    if (isValidationName(stem, 0.2)) EXPECT_TRUE(isValidationName(stem, 0.5));
  }
  EXPECT_GT(atHalf.size(), 160u);
  EXPECT_LT(atHalf.size(), 240u);
}

}  // namespace
}  // namespace scribeline
