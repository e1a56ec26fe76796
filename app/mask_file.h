#pragma once

#include <opencv2/core.hpp>
#include <string>

namespace scribeline {

// Writes the mask as PNG to path without ever leaving a truncated or
// half-written file there: the PNG goes to a temporary file in the same
// folder, which then replaces path in one rename. On failure path is left as
// it was, the temporary file is removed, *error says why, and false is
// returned.
bool writeMaskFile(const cv::Mat& mask, const std::string& path,
                   std::string* error);

// cv::imread without the library's console warning for a file that cannot
// be opened, and without reading anything refused by refusalOf
// (app/image_check.h); empty then.
cv::Mat readImageQuietly(const std::string& path, int flags);

// Reads a mask file as an 8-bit BGR image; empty when it cannot be read.
cv::Mat readMaskFile(const std::string& path);

}  // namespace scribeline
