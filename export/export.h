#pragma once

#include <array>
#include <cstdint>
#include <opencv2/core.hpp>
#include <ostream>
#include <string>
#include <vector>

#include "export/coco.h"
#include "files/status.h"

namespace scribeline {

// Exit statuses of an export.
constexpr int kExportComplete = 0;    // every photo exported
constexpr int kExportIncomplete = 1;  // some photos skipped, or a file failed
constexpr int kExportRefused = 2;     // usage error or refused input; nothing
                                      // written

// `scribeline --export OUT PATH...`: each PATH is a photo or a folder of
// photos (photosInFolder). For every photo whose mask file has its size, OUT
// receives SegmentationClass/<stem>.png (label indices, encodeIndexPng),
// JPEGImages/<file name> (a hard link, or a copy where linking fails),
// ImageSets/Segmentation/default.txt (the stems of earlier exports into OUT
// followed by the new ones, each once), the split of those stems into
// train.txt and val.txt (isValidationName) with trainval.txt holding all,
// annotations/instances_default.json (COCO, CocoWriter) for every stem of
// default.txt, read back from its index PNG, and labelmap.txt; the pixel
// counts per label are printed as a table. Every file is written to a temporary
// name and renamed into place, so an existing OUT is updated and never left
// half-written.
struct ExportRequest {
  std::string outFolder;
  std::vector<std::string> paths;
  // Where the label list is looked for after the first photo's folder and
  // the working directory (findLabelList).
  std::vector<std::string> dataFolders;
  // The share of the photos that go to val.txt, 0 to 1.
  double validationFraction = 0;
  CocoRleForm rleForm = CocoRleForm::kCompressed;
};

// Runs an export. Progress, the count table and the skipped photos go to
// `out`; the reasons for a refusal go to `errors`.
int runExport(const ExportRequest& request, std::ostream& out,
              std::ostream& errors);

// Whether the photo of this stem belongs to val.txt when that share of the
// photos goes there: a hash of the stem alone decides, so a photo stays in
// its split when others are added, and a larger share only moves photos
// from train to val. A share of 0 puts none there, 1 every photo.
bool isValidationName(const std::string& stem, double fraction);

// The photos the paths name, in order (a folder gives its photos,
// photosInFolder, saying "No photos in FOLDER" to `out` when it has none;
// anything else is taken as a photo), each file once under the name it was
// first given (one named twice, through another path or a link, is one).
std::vector<std::string> photosNamed(const std::vector<std::string>& paths,
                                     std::ostream& out);

// Pixel counts per index (0 to 24 the labels, kVoidIndex the rest).
using IndexCounts = std::array<std::uint64_t, 256>;

// The label index of every pixel of an 8-bit BGR mask by exact colour match
// against labelColor(0..24); every other colour gives kVoidIndex. Adds the
// pixel count of each index to *counts.
cv::Mat labelIndices(const cv::Mat& mask, IndexCounts* counts);

// labelmap.txt in CVAT's syntax for the 25 labels: a name is the label
// list's, or the label's number where the list has none. Refuses, naming
// the label, a name that cannot stand in the file (it holds ':' or a line
// break, starts with '#', or repeats another label's name).
Result<std::string> labelMapText(const std::vector<std::string>& listNames);

}  // namespace scribeline
