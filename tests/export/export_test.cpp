#include "export/export.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <opencv2/imgcodecs.hpp>
#include <random>
#include <sstream>

#include "export/palette_png.h"
#include "palette/palette.h"
#include "tests/export/index_png_reader.h"
#include "tests/support/temp_folder.h"

namespace scribeline {
namespace {

std::string readFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

cv::Vec3b bgr(int red, int green, int blue) {
  return cv::Vec3b(static_cast<unsigned char>(blue),
                   static_cast<unsigned char>(green),
                   static_cast<unsigned char>(red));
}

cv::Vec3b colourOf(int label) {
  const cv::Scalar colour = labelColor(label);
  return cv::Vec3b(static_cast<unsigned char>(colour[0]),
                   static_cast<unsigned char>(colour[1]),
                   static_cast<unsigned char>(colour[2]));
}

// The index a mask pixel must get: the label whose colour it is, else void.
int expectedIndex(const cv::Vec3b& pixel) {
  for (int label = 0; label < numLabels; ++label)
    if (pixel == colourOf(label)) return label;
  return kVoidIndex;
}

// A photo (a plain gradient, saved as PNG) and optionally its mask, in a
// temporary folder; exports run into <folder>/out.
class ExportTest : public testing::Test {
 protected:
  ExportTest() {
    out = folder + "/out";
    std::ofstream(folder + "/label_list.txt") << "3\nbackground\nperson\n\n";
  }
  std::string addPhoto(const std::string& name, cv::Size size) {
    cv::Mat photo(size, CV_8UC3, cv::Scalar(30, 60, 90));
    const std::string path = folder + "/" + name;
    EXPECT_TRUE(cv::imwrite(path, photo));
    return path;
  }
  std::string addPhoto(const std::string& name, const cv::Mat& mask) {
    const std::string path = addPhoto(name, mask.size());
    EXPECT_TRUE(cv::imwrite(path + "_Mask.png", mask));
    return path;
  }

  int exportPaths(const std::vector<std::string>& paths) {
    report.str("");
    errors.str("");
    return runExport({out, paths, {}}, report, errors);
  }

  // The exported index PNG of a stem matches the mask pixel by pixel: the
  // indices as libpng reads them, the colours as OpenCV decodes them.
  void expectIndexPngOf(const std::string& stem, const cv::Mat& mask) {
    SCOPED_TRACE(stem);
    const std::string path = out + "/SegmentationClass/" + stem + ".png";
    const RawPng png = readRawPng(path);
    ASSERT_TRUE(png.read);
    EXPECT_EQ(png.colorType, PNG_COLOR_TYPE_PALETTE);
    EXPECT_EQ(png.bitDepth, 8);
    EXPECT_EQ(png.interlace, PNG_INTERLACE_NONE);
    EXPECT_FALSE(png.hasTransparency);
    ASSERT_EQ(png.palette.size(), 256u);
    for (int i = 0; i < 256; ++i) {
      const cv::Vec3b colour = colourOf(i);
      EXPECT_EQ(png.palette[i],
                (std::array<int, 3>{colour[2], colour[1], colour[0]}))
          << "entry " << i;
    }
    EXPECT_EQ(png.palette[255], (std::array<int, 3>{224, 224, 192}));
    ASSERT_EQ(png.samples.size(), mask.size());
    const cv::Mat decoded = cv::imread(path, cv::IMREAD_COLOR);
    ASSERT_EQ(decoded.size(), mask.size());
    for (int y = 0; y < mask.rows; ++y)
      for (int x = 0; x < mask.cols; ++x) {
        const cv::Vec3b pixel = mask.at<cv::Vec3b>(y, x);
        const int index = expectedIndex(pixel);
        ASSERT_EQ(png.samples.at<unsigned char>(y, x), index)
            << "pixel (" << x << ", " << y << ")";
        ASSERT_EQ(decoded.at<cv::Vec3b>(y, x),
                  index == kVoidIndex ? bgr(224, 224, 192) : pixel)
            << "pixel (" << x << ", " << y << ")";
      }
  }

  bool exists(const std::string& path) const {
    struct stat status;
    return ::stat(path.c_str(), &status) == 0;
  }

  TempFolder temp{"scribeline-export"};
  std::string folder = temp.path();
  std::string out;
  std::ostringstream report, errors;
};

// Every label colour, then colours that are no label: white (left by the
// unfilled update), a label colour off by one, the colours of labels 25 and
// 255 (on the palette but not the program's), and an arbitrary colour.
cv::Mat everyLabelMask() {
  cv::Mat mask(2, numLabels, CV_8UC3, cv::Scalar(0, 0, 0));
  for (int label = 0; label < numLabels; ++label)
    mask.at<cv::Vec3b>(0, label) = colourOf(label);
  const std::vector<cv::Vec3b> voids = {bgr(255, 255, 255), bgr(129, 0, 0),
                                        colourOf(25),       colourOf(255),
                                        bgr(7, 200, 31),    bgr(0, 0, 1)};
  for (size_t i = 0; i < voids.size(); ++i)
    mask.at<cv::Vec3b>(1, static_cast<int>(i)) = voids[i];
  return mask;
}

TEST_F(ExportTest, MasksBecomeIndexPngsAndUnusableOnesAreSkipped) {
  std::mt19937 random(7);  // seed 7: label colours and voids at random
  cv::Mat mixed(37, 53, CV_8UC3);
  for (int y = 0; y < mixed.rows; ++y)
    for (int x = 0; x < mixed.cols; ++x)
      mixed.at<cv::Vec3b>(y, x) =
          random() % 5 == 0 ? bgr(random() % 256, random() % 256, 255)
                            : colourOf(static_cast<int>(random() % numLabels));
  const cv::Mat single(1, 1, CV_8UC3, cv::Scalar(0, 0, 128));  // label 1
  struct Case {
    std::string name;
    cv::Mat mask;  // empty: no mask file
    bool exported;
  };
  const std::vector<Case> cases = {
      {"every label.png", everyLabelMask(), true},
      {"mixed.jpg", mixed, true},
      {"single.bmp", single, true},
      {"other size.png", cv::Mat(), false},
      {"no mask.png", cv::Mat(), false},
  };
  std::vector<std::string> paths;
  for (const Case& c : cases)
    paths.push_back(c.mask.empty() ? addPhoto(c.name, cv::Size(6, 4))
                                   : addPhoto(c.name, c.mask));
  ASSERT_TRUE(cv::imwrite(paths[3] + "_Mask.png",
                          cv::Mat::zeros(4, 5, CV_8UC3)));  // 5 x 4, not 6 x 4

  EXPECT_EQ(exportPaths(paths), kExportIncomplete);
  EXPECT_EQ(errors.str(), "");
  expectIndexPngOf("every label", everyLabelMask());
  expectIndexPngOf("mixed", mixed);
  expectIndexPngOf("single", single);
  EXPECT_FALSE(exists(out + "/SegmentationClass/other size.png"));
  EXPECT_FALSE(exists(out + "/SegmentationClass/no mask.png"));

  // The photos are links to the originals (same file), under their names.
  for (size_t i = 0; i < cases.size(); ++i) {
    struct stat original, placed;
    const bool present =
        ::stat((out + "/JPEGImages/" + cases[i].name).c_str(), &placed) == 0;
    EXPECT_EQ(present, cases[i].exported) << cases[i].name;
    if (!present) continue;
    ASSERT_EQ(::stat(paths[i].c_str(), &original), 0);
    EXPECT_EQ(placed.st_ino, original.st_ino) << cases[i].name;
  }
  EXPECT_EQ(readFile(out + "/ImageSets/Segmentation/default.txt"),
            "every label\nmixed\nsingle\n");

  std::string labelMap =
      "# label:color_rgb:parts:actions\nbackground:0,0,0::\n"
      "person:128,0,0::\n2:0,128,0::\n";
  for (int label = 3; label < numLabels; ++label) {
    const cv::Vec3b c = colourOf(label);
    labelMap += std::to_string(label) + ":" + std::to_string(c[2]) + "," +
                std::to_string(c[1]) + "," + std::to_string(c[0]) + "::\n";
  }
  EXPECT_EQ(readFile(out + "/labelmap.txt"), labelMap);

  // The report names the skipped photos with their reasons.
  const std::string text = report.str();
  EXPECT_NE(text.find("Skipped 2 photos:\n  " + paths[3] +
                      ": the mask is 5 x 4, the photo 6 x 4\n  " + paths[4] +
                      ": no readable mask " + paths[4] + "_Mask.png\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("Exported 3 of 5 photos to " + out + "\n"),
            std::string::npos);
}

TEST_F(ExportTest, CountsAddUpPerPhotoAndInTotal) {
  cv::Mat first(2, 3, CV_8UC3, cv::Scalar(0, 0, 0));
  first.at<cv::Vec3b>(0, 0) = colourOf(24);
  first.at<cv::Vec3b>(1, 2) = bgr(255, 255, 255);
  const cv::Mat second(1, 2, CV_8UC3, cv::Scalar(0, 0, 128));
  EXPECT_EQ(exportPaths({addPhoto("a.png", first), addPhoto("b.png", second)}),
            kExportComplete);
  EXPECT_NE(report.str().find("Pixels per label:\n"
                              "photo  0  1  24  void\n"
                              "a      4  0   1     1\n"
                              "b      0  2   0     0\n"
                              "total  4  2   1     1\n"),
            std::string::npos)
      << report.str();
}

TEST_F(ExportTest, ExistingOutIsUpdatedAndItsListKept) {
  const cv::Mat blank = cv::Mat::zeros(3, 3, CV_8UC3);
  const std::string a = addPhoto("a.png", blank);
  const std::string b = addPhoto("b.png", blank);
  ASSERT_EQ(exportPaths({a, b}), kExportComplete);
  const cv::Mat relabelled(3, 3, CV_8UC3, cv::Scalar(0, 128, 0));  // label 2
  ASSERT_TRUE(cv::imwrite(b + "_Mask.png", relabelled));
  const std::string c = addPhoto("c.png", blank);

  ASSERT_EQ(exportPaths({b, c}), kExportComplete);
  EXPECT_EQ(readFile(out + "/ImageSets/Segmentation/default.txt"), "a\nb\nc\n");
  expectIndexPngOf("b", relabelled);
  expectIndexPngOf("a", blank);
  // No temporary file is left behind.
  EXPECT_EQ(std::system(("test -z \"$(find '" + out +
                         "' -name '.*' "
                         "-type f)\"")
                            .c_str()),
            0);
}

// The splits and the COCO file cover every listed photo, those of earlier
// exports into OUT too; a photo keeps its split when photos are added.
TEST_F(ExportTest, SplitsAndCocoCoverTheWholeListAndStayWhenPhotosAreAdded) {
  const cv::Mat blank = cv::Mat::zeros(2, 3, CV_8UC3);
  auto lines = [&](const std::string& name) {
    std::vector<std::string> names;
    std::istringstream in(readFile(out + "/ImageSets/Segmentation/" + name));
    for (std::string line; std::getline(in, line);) names.push_back(line);
    return names;
  };
  std::vector<std::string> first;
  for (int i = 0; i < 12; ++i)
    first.push_back(addPhoto("p" + std::to_string(i) + ".png", blank));
  ExportRequest request{out, first, {}};
  request.validationFraction = 0.5;
  ASSERT_EQ(runExport(request, report, errors), kExportComplete);
  const std::vector<std::string> val = lines("val.txt");
  const std::vector<std::string> train = lines("train.txt");
  EXPECT_EQ(val.size() + train.size(), 12u);
  EXPECT_FALSE(val.empty());
  EXPECT_FALSE(train.empty());
  EXPECT_EQ(lines("trainval.txt"), lines("default.txt"));

  std::vector<std::string> added;
  for (int i = 12; i < 20; ++i)
    added.push_back(addPhoto("p" + std::to_string(i) + ".png", blank));
  request.paths = added;
  ASSERT_EQ(runExport(request, report, errors), kExportComplete);
  const std::vector<std::string> valAfter = lines("val.txt");
  const std::vector<std::string> trainAfter = lines("train.txt");
  EXPECT_EQ(valAfter.size() + trainAfter.size(), 20u);
  EXPECT_EQ(
      std::vector<std::string>(valAfter.begin(), valAfter.begin() + val.size()),
      val);
  EXPECT_EQ(std::vector<std::string>(trainAfter.begin(),
                                     trainAfter.begin() + train.size()),
            train);
  const auto coco =
      parseCocoDocument(readFile(out + "/annotations/instances_default.json"));
  ASSERT_TRUE(coco.ok()) << coco.reason();
  ASSERT_EQ(coco.value().images.size(), 20u);
  EXPECT_EQ(coco.value().images[0].fileName, "p0.png");
  EXPECT_EQ(coco.value().annotations.size(), 20u);  // label 0 everywhere

  // Without --val: val.txt empty, train.txt all.
  request.validationFraction = 0;
  ASSERT_EQ(runExport(request, report, errors), kExportComplete);
  EXPECT_TRUE(lines("val.txt").empty());
  EXPECT_EQ(lines("train.txt"), lines("default.txt"));
}

// A photo given through a relative symbolic link is placed as the file it
// names, not as a copy of the link (which would point nowhere from OUT).
TEST_F(ExportTest, PhotoBehindARelativeLinkIsPlacedAsItsFile) {
  const cv::Mat blank = cv::Mat::zeros(2, 2, CV_8UC3);
  const std::string photo = addPhoto("real.png", blank);
  ASSERT_EQ(::symlink("real.png", (folder + "/alias.png").c_str()), 0);
  ASSERT_TRUE(cv::imwrite(folder + "/alias.png_Mask.png", blank));
  ASSERT_EQ(exportPaths({folder + "/alias.png"}), kExportComplete);
  struct stat placed, original;
  ASSERT_EQ(::lstat((out + "/JPEGImages/alias.png").c_str(), &placed), 0);
  ASSERT_EQ(::stat(photo.c_str(), &original), 0);
  EXPECT_TRUE(S_ISREG(placed.st_mode));
  EXPECT_EQ(placed.st_ino, original.st_ino);
}

TEST_F(ExportTest, FolderPathsExportTheirPhotosInNameOrder) {
  const cv::Mat blank = cv::Mat::zeros(2, 2, CV_8UC3);
  addPhoto("b.png", blank);
  addPhoto("a.jpg", blank);
  ASSERT_TRUE(cv::imwrite(folder + "/a.jpg_Mask.autosave.png", blank));
  // The backup a save keeps of a replaced mask is a PNG under another name.
  ASSERT_TRUE(cv::imwrite(folder + "/backup.png", blank));
  ASSERT_EQ(::rename((folder + "/backup.png").c_str(),
                     (folder + "/b.png_Mask.png~").c_str()),
            0);
  std::ofstream(folder + "/notes.txt") << "not a photo\n";
  EXPECT_EQ(exportPaths({folder}), kExportComplete) << report.str();
  EXPECT_EQ(readFile(out + "/ImageSets/Segmentation/default.txt"), "a\nb\n");
}

TEST_F(ExportTest, RefusalsWriteNothing) {
  const cv::Mat blank = cv::Mat::zeros(2, 2, CV_8UC3);
  const std::string first = addPhoto("same.png", blank);
  ASSERT_EQ(::mkdir((folder + "/sub").c_str(), 0777), 0);
  const std::string second = addPhoto("sub/same.jpg", blank);
  EXPECT_EQ(exportPaths({first, second}), kExportRefused);
  EXPECT_NE(errors.str().find("Two photos have the name \"same\": " + first +
                              " and " + second + "\n"),
            std::string::npos)
      << errors.str();
  EXPECT_FALSE(exists(out));

  std::ofstream(folder + "/label_list.txt") << "2\nbackground\nper:son\n";
  EXPECT_EQ(exportPaths({first}), kExportRefused);
  EXPECT_EQ(errors.str(),
            "The name of label 1, \"per:son\", holds ':' or a line break: "
            "labelmap.txt cannot hold it. (label list " +
                folder + "/label_list.txt)\nNothing exported.\n");
  EXPECT_FALSE(exists(out));
}

// Photo names the lists of the data set cannot hold (one name per line,
// read back without outer blanks): the export is refused before anything is
// written, each such photo named on one line with its fault.
TEST_F(ExportTest, NamesTheListsCannotHoldAreRefused) {
  const cv::Mat blank = cv::Mat::zeros(2, 2, CV_8UC3);
  const struct {
    std::string name;
    std::string shown;
    std::string fault;
  } rows[] = {
      {"two\nlines.png", "two\\nlines.png", "its name holds a line break"},
      {"carriage\rreturn.png", "carriage\\rreturn.png",
       "its name holds a line break"},
      {"a\ttab.png", "a\\ttab.png", "its name holds a tab"},
      {"bell\x07.png", "bell\\x07.png", "its name holds a control character"},
      {" leading.png", " leading.png", "its name starts or ends with a blank"},
      {"trailing .png", "trailing .png",
       "its name starts or ends with a blank"},
      {"ends.png ", "ends.png ", "its name starts or ends with a blank"},
  };
  const std::string good = addPhoto("good.png", blank);
  for (const auto& row : rows) {
    const std::string photo = addPhoto(row.name, blank);
    EXPECT_EQ(exportPaths({good, photo}), kExportRefused) << row.shown;
    EXPECT_EQ(errors.str(),
              "Cannot export \"" + folder + "/" + row.shown +
                  "\": " + row.fault +
                  ", which the list of names "
                  "(ImageSets/Segmentation/default.txt) cannot hold.\n"
                  "Nothing exported.\n");
    EXPECT_FALSE(exists(out)) << row.shown;
  }
}

// One file named several times (twice by the same path, by another path to
// it, through a link, within its folder) is one photo, not a clash of names;
// it keeps the name it was first given.
TEST_F(ExportTest, TheSameFileNamedTwiceIsOnePhoto) {
  const cv::Mat blank = cv::Mat::zeros(2, 2, CV_8UC3);
  const std::string photo = addPhoto("a.png", blank);
  ASSERT_EQ(::symlink("a.png", (folder + "/b.png").c_str()), 0);
  EXPECT_EQ(exportPaths(
                {photo, photo, folder + "/./a.png", folder + "/b.png", folder}),
            kExportComplete)
      << errors.str();
  EXPECT_EQ(errors.str(), "");
  EXPECT_EQ(readFile(out + "/ImageSets/Segmentation/default.txt"), "a\n");
  EXPECT_NE(report.str().find("Exported 1 of 1 photos to " + out + "\n"),
            std::string::npos)
      << report.str();
  EXPECT_FALSE(exists(out + "/JPEGImages/b.png"));
}

// A photo or mask whose header declares no size is skipped with the reason,
// as every refused file is.
TEST_F(ExportTest, MalformedHeadersAreSkippedWithTheirReason) {
  const std::string blankWidth =
      "P7\nWIDTH  \nHEIGHT 2\nDEPTH 3\nMAXVAL 255\nENDHDR\n" +
      std::string(24, '\0');
  const std::string photo = folder + "/bad.pam";
  std::ofstream(photo, std::ios::binary) << blankWidth;
  const std::string masked = addPhoto("masked.png", cv::Size(2, 2));
  std::ofstream(masked + "_Mask.png", std::ios::binary) << blankWidth;
  const std::string good = addPhoto("good.png", cv::Mat::zeros(2, 2, CV_8UC3));
  EXPECT_EQ(exportPaths({photo, masked, good}), kExportIncomplete);
  EXPECT_NE(report.str().find(
                "Skipped 2 photos:\n  " + photo +
                ": the photo cannot be read: a malformed PAM header: its "
                "WIDTH is blank\n  " +
                masked + ": no readable mask " + masked +
                "_Mask.png: a malformed PAM header: its WIDTH is blank\n"),
            std::string::npos)
      << report.str();
}

// An export cut short leaves temporaries in OUT; the next export into it
// removes them, and nothing else.
TEST_F(ExportTest, TheNextExportRemovesTheLeftoversOfOneCutShort) {
  const std::string good = addPhoto("good.png", cv::Mat::zeros(2, 2, CV_8UC3));
  ASSERT_EQ(exportPaths({good}), kExportComplete);
  const std::vector<std::string> leftovers = {
      out + "/.scribeline-tmp-a1b2c3",
      out + "/SegmentationClass/.scribeline-tmp-Zz9Yy8",
      out + "/JPEGImages/.scribeline-tmp-000000",
      out + "/ImageSets/Segmentation/.scribeline-tmp-QwErTy"};
  const std::string other = out + "/JPEGImages/.scribeline-notes";
  for (const std::string& path : leftovers) std::ofstream(path) << "cut short";
  std::ofstream(other) << "the user's";
  // Written before this export started.
  for (const std::string& path : leftovers) {
    const timespec old[2] = {{1, 0}, {1, 0}};
    ::utimensat(AT_FDCWD, path.c_str(), old, 0);
  }
  ASSERT_EQ(exportPaths({good}), kExportComplete);
  for (const std::string& path : leftovers) EXPECT_FALSE(exists(path)) << path;
  EXPECT_TRUE(exists(other));
}

TEST(LabelMapTest, NamesThatCannotStandInTheFileAreRefused) {
  struct Case {
    std::vector<std::string> names;
    std::string error;  // empty: accepted
  };
  const std::vector<Case> cases = {
      {{}, ""},
      {{"background", "a b", "x-y"}, ""},
      {{"a:b"}, "label 0, \"a:b\", holds ':' or a line break"},
      {{"ok", "two\rlines"}, "label 1, \"two\rlines\", holds ':' or a line"},
      {{"#note"}, "label 0, \"#note\", starts with '#'"},
      {{"cat", "cat"}, "label 1, \"cat\", is also the name of label 0"},
      {{"", "", "", "", "", "", "", "", "", "", "", "", "", "3"},
       "label 13, \"3\", is also the name of label 3"},
  };
  for (const Case& c : cases) {
    const Result<std::string> text = labelMapText(c.names);
    EXPECT_EQ(text.ok(), c.error.empty()) << text.reason();
    if (text.ok()) {
      EXPECT_EQ(std::count(text.value().begin(), text.value().end(), '\n'), 26);
    } else {
      EXPECT_NE(text.reason().find(c.error), std::string::npos)
          << text.reason();
    }
  }
}

}  // namespace
}  // namespace scribeline
