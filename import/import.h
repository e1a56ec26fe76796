#pragma once

#include <opencv2/core.hpp>
#include <ostream>
#include <string>
#include <vector>

#include "files/status.h"

namespace scribeline {

// Exit statuses of an import, as those of an export.
constexpr int kImportComplete = 0;    // every photo got its mask
constexpr int kImportIncomplete = 1;  // some photos skipped
constexpr int kImportRefused = 2;     // the source cannot be used; nothing
                                      // written

// `scribeline --import SOURCE PATH...`: each PATH is a photo or a folder of
// photos, as for the export (photosNamed). SOURCE is either a folder in the
// export's layout, whose SegmentationClass/<stem>.png holds a photo's label
// indices (an 8-bit palette or grey PNG, decodeIndexPng), or a COCO
// instance file, whose image entry with the file name of that stem (any
// extension) gives them (cocoIndices). For every photo with indices of its
// size, all of them labels or void, <photo>_Mask.png is written in the label
// colours (maskFromIndices); a mask file already there is first kept as
// <mask path>~. Photos without a mask in SOURCE, of another size, with
// refused indices or unreadable are skipped with the reason; the names in
// SOURCE that no photo has are listed.
struct ImportRequest {
  std::string source;
  std::vector<std::string> paths;
};

// Runs an import. Progress and the skipped photos go to `out`; the reasons
// for a refusal go to `errors`.
int runImport(const ImportRequest& request, std::ostream& out,
              std::ostream& errors);

// The mask of label indices (8-bit, single channel): index i in 0 to 24
// becomes labelColor(i), 255 (void) white, the colour no label has, which
// the export reads back as void. Refuses, naming the first such pixel, any
// other index.
Result<cv::Mat> maskFromIndices(const cv::Mat& indices);

}  // namespace scribeline
