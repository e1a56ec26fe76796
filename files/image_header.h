#pragma once

#include <cstdint>
#include <functional>
#include <istream>
#include <optional>
#include <string>

#include "files/status.h"

namespace scribeline {

// Width and height as a file's header declares them, before any check: a
// header may claim sizes no reader would accept.
struct DeclaredSize {
  std::uint64_t width = 0;
  std::uint64_t height = 0;

  // Saturates: two declared sides may multiply beyond 64 bits.
  std::uint64_t pixels() const {
    if (height != 0 && width > UINT64_MAX / height) return UINT64_MAX;
    return width * height;
  }
};

// Reads the size an image file declares from its first bytes, without
// decoding or allocating any pixels: the header alone says whether the
// pixels can be afforded. Knows PNG, JPEG, BMP, the PNM family (PBM, PGM,
// PPM, PAM, PFM), TIFF, WebP and Sun raster, the formats the image reader
// most often meets. For JPEG the markers are followed up to the frame
// header, skipping the segments before it by their lengths.
//
// Three outcomes:
// - the size the header declares, however large;
// - nothing, for another format, or a header that does not say: cut short
//   before its size, or one whose size comes later (a JPEG with DNL). The
//   reader then decides alone, and may fail;
// - a refusal, for a header whose size field is there but is no size: blank,
//   not a number, beyond any 64-bit number, or negative (the decimal fields
//   of the PNM family and PAM, the signed width of BMP). Such a header is
//   never handed to a reader. The reason names the format and the field:
//   "a malformed PAM header: its WIDTH is blank".
Result<std::optional<DeclaredSize>> readDeclaredSize(std::istream& in);

// The image library's PNG reader takes every chunk but the image data whole
// into memory, at the length the chunk declares, before it reads a byte of
// it: a file of a few hundred bytes whose text chunk claims 2 GB makes it
// allocate 2 GB. Walks the chunks of a PNG of `size` bytes up to IEND and
// names the first one other than IDAT whose declared length runs past the
// end of the file: "tEXt". Nothing for another format, or when every such
// chunk fits. `readAt(offset, count, into)` reads `count` bytes at
// `offset`, false at the end of the file.
using ReadAt =
    std::function<bool(std::uint64_t offset, std::size_t count, char* into)>;
std::optional<std::string> pngChunkPastEnd(const ReadAt& readAt,
                                           std::uint64_t size);

}  // namespace scribeline
