#pragma once

#include <cstdint>
#include <istream>
#include <optional>

namespace scribeline {

// Width and height as a file's header declares them, before any check: a
// header may claim sizes no reader would accept.
struct DeclaredSize {
  std::uint64_t width = 0;
  std::uint64_t height = 0;

  std::uint64_t pixels() const { return width * height; }
};

// Reads the size an image file declares from its first bytes, without
// decoding or allocating any pixels: the header alone says whether the
// pixels can be afforded. Knows PNG, JPEG, BMP, the PNM family (PBM, PGM,
// PPM, PAM, PFM), TIFF, WebP and Sun raster, the formats the image reader
// most often meets. Returns nothing for another format, or for a header cut
// short or malformed: the reader then decides alone, and may fail.
// For JPEG the markers are followed up to the frame header, skipping the
// segments before it by their lengths.
std::optional<DeclaredSize> readDeclaredSize(std::istream& in);

}  // namespace scribeline
