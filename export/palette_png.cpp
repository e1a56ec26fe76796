#include "export/palette_png.h"

#include <png.h>

#include <csetjmp>

#include "palette/palette.h"

namespace scribeline {
namespace {

void appendToBuffer(png_structp writer, png_bytep data, png_size_t length) {
  auto* buffer =
      static_cast<std::vector<unsigned char>*>(png_get_io_ptr(writer));
  buffer->insert(buffer->end(), data, data + length);
}

void flushNothing(png_structp) {}

// libpng reports errors by longjmp: this function holds no object with a
// destructor, so the jump skips nothing. Rows are read from `indices`, which
// the caller keeps alive; every allocation is owned by the caller.
bool encodeRows(png_structp writer, png_infop info, const cv::Mat& indices,
                std::vector<unsigned char>* png) {
  if (setjmp(png_jmpbuf(writer))) return false;
  png_set_write_fn(writer, png, appendToBuffer, flushNothing);
  png_set_IHDR(writer, info, static_cast<png_uint_32>(indices.cols),
               static_cast<png_uint_32>(indices.rows), 8,
               PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_color entries[256];
  const IndexPalette& palette = indexPalette();
  for (int i = 0; i < 256; ++i)
    entries[i] = png_color{palette[i][0], palette[i][1], palette[i][2]};
  png_set_PLTE(writer, info, entries, 256);
  png_write_info(writer, info);
  for (int row = 0; row < indices.rows; ++row)
    png_write_row(writer, indices.ptr<unsigned char>(row));
  png_write_end(writer, info);
  return true;
}

}  // namespace

const IndexPalette& indexPalette() {
  static const IndexPalette palette = [] {
    IndexPalette entries{};
    for (int i = 0; i < 256; ++i) {
      const cv::Scalar colour = labelColor(i);
      entries[i] = {static_cast<unsigned char>(colour[2]),
                    static_cast<unsigned char>(colour[1]),
                    static_cast<unsigned char>(colour[0])};
    }
    return entries;
  }();
  return palette;
}

Result<std::vector<unsigned char>> encodeIndexPng(const cv::Mat& indices) {
  if (indices.empty() || indices.type() != CV_8UC1)
    return Status::failure(
        "the label indices are not an 8-bit single-channel image");
  std::vector<unsigned char> png;
  png_structp writer =
      png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = writer ? png_create_info_struct(writer) : nullptr;
  const bool ok = info && encodeRows(writer, info, indices, &png);
  png_destroy_write_struct(&writer, info ? &info : nullptr);
  if (!ok) return Status::failure("libpng could not encode the label indices");
  return png;
}

}  // namespace scribeline
