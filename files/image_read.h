#pragma once

#include <opencv2/core.hpp>
#include <string>

#include "files/image_limits.h"
#include "files/status.h"

namespace scribeline {

// Reads the photograph as 8-bit BGR (grey files become three channels), or
// refuses it with a one-line reason (the checks of checkImageFile and
// checkStartUpMemory, or an image the reader cannot decode).
Result<cv::Mat> readPhoto(const std::string& path, const ImageLimits& limits);

// What start-up found at a photo's mask path.
struct SavedMask {
  enum class State {
    kNone,        // no file there
    kLoaded,      // `mask` holds it, of the photo's size
    kOtherSize,   // a readable image of another size (seen from its header
                  // when the format is known, without decoding)
    kUnreadable,  // a regular file that is no image the reader can decode,
                  // an empty one included
    kRefused,     // refused by checkImageFile: `refusal` says why
  };
  State state = State::kNone;
  cv::Mat mask;  // 8-bit BGR
  Status refusal;
};

// Reads the saved mask of an image of `imageSize`.
SavedMask readMaskFor(const std::string& path, cv::Size imageSize,
                      const ImageLimits& limits);

// An image as cv::imread gives it, and what the image libraries wrote to
// standard error while it was read.
struct DecodedImage {
  cv::Mat image;  // empty when the image cannot be decoded
  std::string libraryMessages;
};

// cv::imread that never lets an exception out. What the image libraries
// write to standard error meanwhile is held back (captureStandardError,
// files/standard_error.h) and handed over. A PNG that would make the
// library allocate far beyond its size (pngChunkPastEnd) is not handed over:
// the image is empty and the messages say why.
DecodedImage decodeImage(const std::string& path, int flags);

// decodeImage for the bytes of a file already read (cv::imdecode).
DecodedImage decodeImageBytes(const std::string& bytes, int flags);

}  // namespace scribeline
