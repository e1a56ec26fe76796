#pragma once

#include <array>
#include <cstdint>
#include <opencv2/core.hpp>
#include <ostream>
#include <string>
#include <vector>

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
// followed by the new ones, each once) and labelmap.txt; the pixel counts
// per label are printed as a table. Every file is written to a temporary
// name and renamed into place, so an existing OUT is updated and never left
// half-written.
struct ExportRequest {
  std::string outFolder;
  std::vector<std::string> paths;
  // Where the label list is looked for after the first photo's folder and
  // the working directory (findLabelList).
  std::vector<std::string> dataFolders;
};

// Runs an export. Progress, the count table and the skipped photos go to
// `out`; the reasons for a refusal go to `errors`.
int runExport(const ExportRequest& request, std::ostream& out,
              std::ostream& errors);

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
