#pragma once

#include <opencv2/core.hpp>
#include <string>

#include "files/image_limits.h"
#include "files/status.h"

namespace scribeline {

// The mask file of an image: its path, unchanged, followed by "_Mask.png".
std::string maskPathFor(const std::string& imagePath);

// Writes the mask as PNG to path without ever leaving a truncated or
// half-written file there: the PNG goes to a temporary file in the same
// folder, which then replaces path in one rename. On failure path is left as
// it was, the temporary file is removed, and the Status says why.
//
// A symbolic link at path is followed: its target is replaced (in the
// target's folder) and the link stays. A file that is replaced passes its
// permission bits on to the new one. With `backup`, the file replaced is
// first kept as its own path followed by "~" (one generation, made as safely
// as the mask); when that cannot be done nothing is written.
Status writeMaskFile(const cv::Mat& mask, const std::string& path,
                     bool backup = false);

// Writes `size` bytes to path with the same guarantee: a temporary file in
// the same folder, flushed to disk, then renamed over path. The new file gets
// the permissions an ordinary new file would get. On failure path is left as
// it was, and the Status says why.
Status writeFileAtomically(const std::string& path, const void* data,
                           size_t size);

// The file a save to path replaces: the one a symbolic link at path leads
// to, or path itself.
std::string maskFileTarget(const std::string& path);

// The backup a save with `backup` keeps of the file at path: the file a
// symbolic link at path leads to, followed by "~".
std::string maskBackupPath(const std::string& path);

// Reads a mask file as an 8-bit BGR image; empty when it cannot be read or
// is refused by checkImageFile (files/image_limits.h), without the library's
// console warnings.
cv::Mat readMaskFile(const std::string& path);

// Reads a file only this program writes (an autosave) as an 8-bit BGR mask,
// never through a symbolic link: the file is judged and read through one
// descriptor, and no more of it than its header's size allows. Refuses with
// the reason a link or anything but a regular file, an empty file, a header
// checkImageFile refuses, and a file whose header says no size or whose bytes
// the reader cannot decode ("not an image the reader can decode").
Result<cv::Mat> readOwnMaskFile(const std::string& path,
                                const ImageLimits& limits);

}  // namespace scribeline
