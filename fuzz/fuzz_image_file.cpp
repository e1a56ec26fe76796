// Photos and masks as files: any bytes are refused with a reason or read,
// never a crash or an exception, as a photo and as the mask of a photo.
// Limits are kept small so that the image library decodes only small images.
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "files/image_limits.h"
#include "files/image_read.h"

namespace {

std::string scratchFile() {
  static const std::string path = [] {
    char folder[] = "/tmp/scribeline-fuzz-XXXXXX";
    if (mkdtemp(folder) == nullptr) std::abort();
    return std::string(folder) + "/input";
  }();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = scratchFile();
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, file) != size) std::abort();
  std::fclose(file);

  scribeline::ImageLimits limits;
  limits.maxWidth = 1024;
  limits.maxHeight = 1024;
  limits.maxPixels = 1 << 18;
  limits.availableBytes = std::uint64_t{1} << 32;
  const auto photo = scribeline::readPhoto(path, limits);
  if (photo.ok() && photo.value().type() != CV_8UC3) std::abort();
  if (!photo.ok() && photo.reason().empty()) std::abort();
  const auto mask = scribeline::readMaskFor(path, cv::Size(8, 8), limits);
  if (mask.state == scribeline::SavedMask::State::kLoaded &&
      (mask.mask.size() != cv::Size(8, 8) || mask.mask.type() != CV_8UC3))
    std::abort();
  return 0;
}
