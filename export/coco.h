#pragma once

#include <cstdint>
#include <opencv2/core.hpp>
#include <string>
#include <vector>

#include "export/coco_rle.h"
#include "files/status.h"

namespace scribeline {

// COCO's instance format for semantic masks: one annotation per image and
// label present, its segmentation the label's pixels as RLE.

// How the export writes an annotation's RLE counts.
enum class CocoRleForm { kCompressed, kPlain };

// Builds annotations/instances_default.json photo by photo, so that no
// more than one photo's indices are held at a time. Image ids are 1, 2, ...
// in the order added; a category's id is its label number + 1.
class CocoWriter {
 public:
  explicit CocoWriter(CocoRleForm form) : form_(form) {}

  // One image entry, and an annotation for each label 0 to 24 present in
  // `indices` (8-bit label indices; other values, void, get none).
  void addImage(const std::string& fileName, const cv::Mat& indices);

  // The whole document; `categoryNames` holds one name per label.
  std::string text(const std::vector<std::string>& categoryNames) const;

 private:
  CocoRleForm form_;
  std::int64_t images_ = 0;
  std::int64_t annotations_ = 0;
  std::string imageEntries_;
  std::string annotationEntries_;
};

// One image entry of a COCO file as read.
struct CocoImage {
  std::int64_t id = 0;
  std::string fileName;
  int width = 0;
  int height = 0;
};

// One annotation as read: an RLE (either form) or polygons.
struct CocoAnnotation {
  std::int64_t imageId = 0;
  std::int64_t categoryId = 0;
  bool isRle = false;
  RleCounts counts;  // checked against the image's size when painted
  int rleWidth = 0;
  int rleHeight = 0;
  // Each polygon as x0, y0, x1, y1, ...: at least three points.
  std::vector<std::vector<double>> polygons;
};

struct CocoDocument {
  std::vector<CocoImage> images;
  std::vector<CocoAnnotation> annotations;
};

// Reads a COCO instance file's images and annotations (every other member
// is passed over). Refuses with the reason a text that is no JSON, and
// images or annotations without the members this reading needs or with
// values of the wrong kind: ids and categories whole numbers, sizes
// 0 to 2^30, an RLE whose counts are neither a list of whole numbers nor a
// valid compressed string, polygon coordinates beyond +-2^20.
Result<CocoDocument> parseCocoDocument(const std::string& text);

// The label indices of an image: every pixel void (255), then each of the
// image's annotations painted in file order (a later one wins where two
// overlap) with index category id - 1. Refuses with the reason an
// annotation whose category gives an index outside 0 to 24, and an RLE
// whose size or counts are not the image's.
//
// Polygons follow COCO's pixel convention, pixel (x, y) covering the square
// from (x, y) to (x + 1, y + 1): a polygon takes the pixels whose centres
// (x + 0.5, y + 0.5) lie inside it (even-odd rule; a centre on its left or
// top edge inside, on its right or bottom edge outside), so one drawn along
// pixel borders takes exactly the pixels within. The polygons of one
// annotation are united.
Result<cv::Mat> cocoIndices(const CocoDocument& document,
                            const CocoImage& image);

}  // namespace scribeline
