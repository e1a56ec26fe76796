#include "import/import.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <random>
#include <sstream>

#include "export/coco.h"
#include "export/export.h"
#include "export/palette_png.h"
#include "files/mask_file.h"
#include "files/photo_list.h"
#include "palette/palette.h"
#include "tests/support/photos.h"
#include "tests/support/temp_folder.h"

namespace scribeline {
namespace {

cv::Vec3b colourOf(int label) {
  const cv::Scalar colour = labelColor(label);
  return cv::Vec3b(static_cast<unsigned char>(colour[0]),
                   static_cast<unsigned char>(colour[1]),
                   static_cast<unsigned char>(colour[2]));
}

const cv::Vec3b kWhite(255, 255, 255);

// Indices 0 to 24 and void in stripes, of the given size.
cv::Mat stripes(cv::Size size) {
  cv::Mat indices(size, CV_8UC1);
  for (int y = 0; y < size.height; ++y)
    for (int x = 0; x < size.width; ++x)
      indices.at<unsigned char>(y, x) = static_cast<unsigned char>(
          (x + 2 * y) % 26 == 25 ? 255 : (x + 2 * y) % 26);
  return indices;
}

// The mask of those indices as the import must write it.
cv::Mat coloursOf(const cv::Mat& indices) {
  cv::Mat mask(indices.size(), CV_8UC3);
  for (int y = 0; y < indices.rows; ++y)
    for (int x = 0; x < indices.cols; ++x) {
      const int index = indices.at<unsigned char>(y, x);
      mask.at<cv::Vec3b>(y, x) = index == 255 ? kWhite : colourOf(index);
    }
  return mask;
}

bool sameImage(const cv::Mat& a, const cv::Mat& b) {
  if (a.size() != b.size() || a.type() != b.type()) return false;
  cv::Mat difference;
  cv::absdiff(a, b, difference);
  return cv::countNonZero(difference.reshape(1)) == 0;
}

void writeBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// Photos in <folder>/photos, a source in <folder>/source (an export's
// layout) or a COCO file.
class ImportTest : public testing::Test {
 protected:
  ImportTest() {
    ::mkdir(photos.c_str(), 0777);
    ::mkdir(source.c_str(), 0777);
    ::mkdir((source + "/SegmentationClass").c_str(), 0777);
  }
  std::string addPhoto(const std::string& name, cv::Size size) {
    const std::string path = photos + "/" + name;
    EXPECT_TRUE(
        cv::imwrite(path, cv::Mat(size, CV_8UC3, cv::Scalar(9, 80, 140))));
    return path;
  }
  void addPalettePng(const std::string& stem, const cv::Mat& indices) {
    const auto png = encodeIndexPng(indices);
    ASSERT_TRUE(png.ok());
    writeBytes(source + "/SegmentationClass/" + stem + ".png",
               std::string(png.value().begin(), png.value().end()));
  }
  void addGreyPng(const std::string& stem, const cv::Mat& indices) {
    ASSERT_TRUE(
        cv::imwrite(source + "/SegmentationClass/" + stem + ".png", indices));
  }
  int importFrom(const std::string& from,
                 const std::vector<std::string>& paths) {
    report.str("");
    errors.str("");
    return runImport({from, paths}, report, errors);
  }
  static cv::Mat maskOf(const std::string& photo) {
    return cv::imread(maskPathFor(photo), cv::IMREAD_COLOR);
  }
  bool exists(const std::string& path) const {
    struct stat status;
    return ::stat(path.c_str(), &status) == 0;
  }

  TempFolder temp{"scribeline-import"};
  std::string photos = temp.path() + "/photos";
  std::string source = temp.path() + "/source";
  std::ostringstream report, errors;
};

TEST_F(ImportTest, PaletteAndGreyPngsBecomeMasksInTheLabelColours) {
  const std::string a = addPhoto("a.jpg", {29, 13});
  const std::string b = addPhoto("b.png", {1, 1});
  addPalettePng("a", stripes({29, 13}));
  addGreyPng("b", cv::Mat(1, 1, CV_8UC1, cv::Scalar(24)));
  EXPECT_EQ(importFrom(source, {photos}), kImportComplete) << report.str();
  EXPECT_TRUE(sameImage(maskOf(a), coloursOf(stripes({29, 13}))));
  EXPECT_EQ(maskOf(b).at<cv::Vec3b>(0, 0), colourOf(24));
  EXPECT_NE(report.str().find("Imported 2 of 2 photos"), std::string::npos);
}

// Each photo that cannot take its mask is named with the reason; the
// others are imported; the names in the source without a photo are listed.
TEST_F(ImportTest, UnusableMasksAreSkippedWithTheirReasonAndTheOthersGoOn) {
  struct Case {
    const char* photo;
    const char* reason;
  };
  const std::vector<Case> cases = {
      {"index.png", "index 30 at (2, 1) is no label"},
      {"size.png", "the mask is 4 x 3, the photo 5 x 3"},
      {"nomask.png", "no mask for it in the source"},
      {"garbled.png", "cannot be used: not a PNG libpng can decode"},
      {"colour.png", "not a PNG of 8-bit palette indices or 8-bit grey"},
  };
  for (const Case& c : cases) addPhoto(c.photo, {5, 3});
  const std::string good = addPhoto("good.png", {5, 3});
  cv::Mat refused(3, 5, CV_8UC1, cv::Scalar(1));
  refused.at<unsigned char>(1, 2) = 30;
  addPalettePng("index", refused);
  addPalettePng("size", cv::Mat(3, 4, CV_8UC1, cv::Scalar(1)));
  writeBytes(source + "/SegmentationClass/garbled.png", "\x89PNG\r\n\x1a\nxx");
  ASSERT_TRUE(cv::imwrite(source + "/SegmentationClass/colour.png",
                          cv::Mat(3, 5, CV_8UC3, cv::Scalar(1, 2, 3))));
  addGreyPng("good", cv::Mat(3, 5, CV_8UC1, cv::Scalar(255)));
  addGreyPng("stranger", cv::Mat(3, 5, CV_8UC1, cv::Scalar(3)));
  const std::string missing = photos + "/missing.jpg";

  EXPECT_EQ(importFrom(source, {photos, missing}), kImportIncomplete);
  const std::string text = report.str();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.photo);
    EXPECT_NE(text.find(photos + "/" + c.photo + ": "), std::string::npos)
        << text;
    EXPECT_NE(text.find(c.reason), std::string::npos) << text;
    EXPECT_FALSE(exists(maskPathFor(photos + "/" + c.photo)));
  }
  EXPECT_NE(text.find(missing + ": the photo cannot be read"),
            std::string::npos);
  EXPECT_NE(text.find("No photo for 1 mask of " + source + ": stranger"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("Imported 1 of 7 photos"), std::string::npos) << text;
  EXPECT_EQ(maskOf(good).at<cv::Vec3b>(2, 4), kWhite);
}

TEST_F(ImportTest, AMaskAlreadyThereIsKeptAsItsBackup) {
  const std::string photo = addPhoto("p.png", {4, 2});
  const std::string maskPath = maskPathFor(photo);
  writeBytes(maskPath, "the old mask");
  addPalettePng("p", cv::Mat(2, 4, CV_8UC1, cv::Scalar(5)));
  EXPECT_EQ(importFrom(source, {photo}), kImportComplete);
  EXPECT_EQ(fileBytes(maskPath + "~"), "the old mask");
  EXPECT_EQ(maskOf(photo).at<cv::Vec3b>(1, 3), colourOf(5));
  EXPECT_NE(report.str().find("kept as " + maskPath + "~"), std::string::npos);
}

TEST_F(ImportTest, SourcesThatCannotBeUsedRefuseTheImport) {
  const std::string photo = addPhoto("p.png", {4, 2});
  const std::string json = temp.path() + "/c.json";
  for (const std::string& text :
       {std::string("{\"images\": [}"), std::string("[]"),
        std::string("{\"images\": [{\"id\": 1}]}"),
        std::string("{\"images\": [], \"annotations\": [{\"image_id\": 1, "
                    "\"category_id\": 1, \"segmentation\": {\"size\": [2, "
                    "4], \"counts\": \"~\"}}]}")}) {
    SCOPED_TRACE(text);
    writeBytes(json, text);
    EXPECT_EQ(importFrom(json, {photo}), kImportRefused);
    EXPECT_NE(errors.str().find("Nothing imported"), std::string::npos);
  }
  EXPECT_EQ(importFrom(temp.path() + "/absent.json", {photo}), kImportRefused);
  EXPECT_EQ(importFrom(photos, {photo}),
            kImportRefused);  // no SegmentationClass
  EXPECT_FALSE(exists(maskPathFor(photo)));
}

// COCO files: RLE in both forms (through the writer), polygons and the
// refusals of one image that leave the others.
TEST_F(ImportTest, CocoFilesGiveMasksFromRleAndPolygons) {
  const cv::Mat indices = stripes({7, 5});
  for (const CocoRleForm form :
       {CocoRleForm::kCompressed, CocoRleForm::kPlain}) {
    const std::string photo = addPhoto("r.jpg", {7, 5});
    CocoWriter writer(form);
    writer.addImage("r.png", indices);  // another extension: the stem counts
    const std::string json = temp.path() + "/rle.json";
    writeBytes(json, writer.text(std::vector<std::string>(25, "x")));
    EXPECT_EQ(importFrom(json, {photo}), kImportComplete) << report.str();
    EXPECT_TRUE(sameImage(maskOf(photo), coloursOf(indices)));
  }

  const std::string square = addPhoto("square.png", {6, 5});
  const std::string wide = addPhoto("wide.png", {6, 5});
  const std::string category = addPhoto("category.png", {6, 5});
  const std::string json = temp.path() + "/poly.json";
  writeBytes(json, R"({"images": [
    {"id": 7, "file_name": "sub/square.jpg", "width": 6, "height": 5},
    {"id": 8, "file_name": "wide.jpg", "width": 7, "height": 5},
    {"id": 9, "file_name": "category.jpg", "width": 6, "height": 5}],
   "annotations": [
    {"image_id": 7, "category_id": 4,
     "segmentation": [[1, 1, 4, 1, 4, 3, 1, 3], [5, 4, 6, 4, 6, 5, 5, 5]]},
    {"image_id": 9, "category_id": 26, "segmentation": [[0, 0, 1, 0, 1, 1]]}],
   "categories": []})");
  EXPECT_EQ(importFrom(json, {photos}), kImportIncomplete);
  const std::string text = report.str();
  EXPECT_NE(text.find("wide.png: its COCO image is 7 x 5, the photo 6 x 5"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("category.png: category 26 gives index 25"),
            std::string::npos)
      << text;
  EXPECT_FALSE(exists(maskPathFor(category)));
  // Pixel (x, y) covers (x, y) to (x + 1, y + 1): the first square covers
  // columns 1 to 3 and rows 1 and 2, the second the corner pixel (5, 4).
  const cv::Mat mask = maskOf(square);
  ASSERT_EQ(mask.size(), cv::Size(6, 5));
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 6; ++x) {
      const bool inside =
          (x >= 1 && x <= 3 && y >= 1 && y <= 2) || (x == 5 && y == 4);
      EXPECT_EQ(mask.at<cv::Vec3b>(y, x), inside ? colourOf(3) : kWhite)
          << x << ", " << y;
    }
}

// A photo of the shared set with a mask made here goes out through the
// export and comes back through either form of the data set unchanged:
// label colours as they were, every other colour as white.
TEST_F(ImportTest, ExportAndImportGoThereAndBack) {
  const std::string shared = findPhoto("ladybird_2560x1600.jpg");
  if (shared.empty()) GTEST_SKIP() << "no shared photos";
  const cv::Mat image = cv::imread(shared, cv::IMREAD_COLOR);
  const std::string photo = photos + "/ladybird.jpg";
  ASSERT_TRUE(cv::imwrite(photo, image));
  cv::Mat mask(image.size(), CV_8UC3, cv::Scalar(255, 255, 255));
  std::mt19937 random(5);  // seed 5: 60 discs of random labels
  for (int i = 0; i < 60; ++i)
    cv::circle(
        mask,
        {static_cast<int>(random() % 2560), static_cast<int>(random() % 1600)},
        20 + static_cast<int>(random() % 300),
        cv::Scalar(colourOf(static_cast<int>(random() % 25))), cv::FILLED);
  mask(cv::Rect(0, 0, 10, 10)).setTo(cv::Scalar(1, 2, 3));  // no label's
  ASSERT_TRUE(cv::imwrite(maskPathFor(photo), mask));
  cv::Mat expected = mask.clone();
  expected(cv::Rect(0, 0, 10, 10)).setTo(cv::Scalar(255, 255, 255));

  const std::string out = temp.path() + "/out";
  std::ostringstream exportReport, exportErrors;
  ExportRequest request{out, {photo}, {}};
  ASSERT_EQ(runExport(request, exportReport, exportErrors), kExportComplete)
      << exportErrors.str();
  for (const std::string& from :
       {out, out + "/annotations/instances_default.json"}) {
    SCOPED_TRACE(from);
    ASSERT_TRUE(cv::imwrite(maskPathFor(photo), cv::Mat(image.size(), CV_8UC3,
                                                        cv::Scalar(0, 0, 0))));
    EXPECT_EQ(importFrom(from, {photo}), kImportComplete) << report.str();
    EXPECT_TRUE(sameImage(maskOf(photo), expected));
  }
}

}  // namespace
}  // namespace scribeline
