// The COCO file an import reads: any bytes are refused with a reason or give
// images whose masks are made, never a crash or a read outside the input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "export/coco.h"
#include "export/coco_json.h"
#include "export/coco_rle.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const auto parsed = scribeline::parseJson(text);
  if (!parsed.ok() && parsed.reason().empty()) std::abort();
  const auto counts = scribeline::rleFromString(text);
  if (counts.ok() &&
      scribeline::rleToString(counts.value()).size() > 8 * text.size() + 8)
    std::abort();
  const auto document = scribeline::parseCocoDocument(text);
  if (!document.ok()) return 0;
  for (const scribeline::CocoImage& image : document.value().images) {
    // The import makes masks only of its photos' sizes.
    if (static_cast<std::uint64_t>(image.width) * image.height > 1 << 16)
      continue;
    const auto indices = scribeline::cocoIndices(document.value(), image);
    if (indices.ok() && (indices.value().cols != image.width ||
                         indices.value().rows != image.height))
      std::abort();
  }
  return 0;
}
