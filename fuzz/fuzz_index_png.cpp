// The index PNGs an import reads (palette or grey): any bytes are refused
// with a reason or give indices within the pixel limit.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "export/palette_png.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  constexpr std::uint64_t kMaxPixels = 1 << 20;
  const auto indices = scribeline::decodeIndexPng(bytes, kMaxPixels);
  if (indices.ok() &&
      (indices.value().type() != CV_8UC1 ||
       static_cast<std::uint64_t>(indices.value().total()) > kMaxPixels))
    std::abort();
  return 0;
}
