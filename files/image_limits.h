#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "files/image_header.h"
#include "files/status.h"

namespace scribeline {

// What may be read and worked on. The reader's limits are those the image
// library enforces itself (by an exception): they are checked against the
// header first, so that no read ever reaches them.
struct ImageLimits {
  std::uint64_t maxWidth = std::uint64_t{1} << 20;
  std::uint64_t maxHeight = std::uint64_t{1} << 20;
  std::uint64_t maxPixels = std::uint64_t{1} << 30;
  // Memory the machine can give now; no memory check when unknown.
  std::optional<std::uint64_t> availableBytes;

  // The reader's limits as the image library takes them from the
  // environment (OPENCV_IO_MAX_IMAGE_WIDTH, _HEIGHT, _PIXELS, plain decimal
  // numbers; its defaults otherwise), and MemAvailable of /proc/meminfo.
  static ImageLimits ofThisProcess();
};

// Peak memory of start-up for a photograph of `pixels` pixels: the photo,
// the scissors' link costs, the over-segmentation and the lazy-snapping
// model, all built before the first window shows. Measured on the program
// itself (see the definition).
std::uint64_t startUpBytes(std::uint64_t pixels);

// Whether the file at `path` may be handed to the image reader, judged
// before any pixel is decoded. Refuses a path that cannot be opened,
// anything but a regular file (a FIFO is never opened for reading, which
// would wait for a writer without end), an empty file, and a header
// declaring more than `limits` allow. Ok with the header's size when the
// format is known (see readDeclaredSize), with nothing otherwise.
Result<std::optional<DeclaredSize>> checkImageFile(const std::string& path,
                                                   const ImageLimits& limits);

// checkImageFile for a regular file already open, read from its start; the
// descriptor is left open, at an unspecified position.
Result<std::optional<DeclaredSize>> checkOpenImageFile(
    int fd, const ImageLimits& limits);

// Refuses with "W x H pixels: REASON" when start-up on an image of that size
// needs more memory than `limits` say is available.
Status checkStartUpMemory(DeclaredSize size, const ImageLimits& limits);

}  // namespace scribeline
