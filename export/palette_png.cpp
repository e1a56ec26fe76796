#include "export/palette_png.h"

#include <png.h>

#include <csetjmp>
#include <cstring>

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

struct ByteSource {
  const std::string* bytes;
  size_t position;
};

void readFromBytes(png_structp reader, png_bytep data, png_size_t length) {
  auto* source = static_cast<ByteSource*>(png_get_io_ptr(reader));
  if (length > source->bytes->size() - source->position)
    png_error(reader, "the PNG is cut short");
  std::memcpy(data, source->bytes->data() + source->position, length);
  source->position += length;
}

// What decodeRows found; filled in before any jump can happen past it.
struct DecodeOutcome {
  std::string refusal;
  cv::Mat indices;
};

// As encodeRows: no object with a destructor is created in this frame
// after setjmp; `outcome` and `rows` belong to the caller.
bool decodeRows(png_structp reader, png_infop info, ByteSource* source,
                std::uint64_t maxPixels, DecodeOutcome* outcome,
                std::vector<png_bytep>* rows) {
  if (setjmp(png_jmpbuf(reader))) return false;
  png_set_read_fn(reader, source, readFromBytes);
  png_read_info(reader, info);
  const png_uint_32 width = png_get_image_width(reader, info);
  const png_uint_32 height = png_get_image_height(reader, info);
  const int colorType = png_get_color_type(reader, info);
  const int bitDepth = png_get_bit_depth(reader, info);
  if ((colorType != PNG_COLOR_TYPE_PALETTE &&
       colorType != PNG_COLOR_TYPE_GRAY) ||
      bitDepth != 8) {
    outcome->refusal =
        "not a PNG of 8-bit palette indices or 8-bit grey values";
    return true;
  }
  if (static_cast<std::uint64_t>(width) * height > maxPixels) {
    outcome->refusal = "a PNG of " + std::to_string(width) + " x " +
                       std::to_string(height) + " pixels, more than " +
                       std::to_string(maxPixels);
    return true;
  }
  png_set_interlace_handling(reader);
  png_read_update_info(reader, info);
  outcome->indices.create(static_cast<int>(height), static_cast<int>(width),
                          CV_8UC1);
  rows->resize(height);
  for (png_uint_32 row = 0; row < height; ++row)
    (*rows)[row] = outcome->indices.ptr<png_byte>(static_cast<int>(row));
  png_read_image(reader, rows->data());
  png_read_end(reader, nullptr);
  return true;
}

}  // namespace

Result<cv::Mat> decodeIndexPng(const std::string& bytes,
                               std::uint64_t maxPixels) {
  ByteSource source{&bytes, 0};
  DecodeOutcome outcome;
  std::vector<png_bytep> rows;
  png_structp reader =
      png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = reader ? png_create_info_struct(reader) : nullptr;
  if (reader) {
    // libpng's own messages would go to standard error: an error jumps
    // back at once, a warning is dropped.
    png_set_error_fn(
        reader, nullptr,
        [](png_structp failing, png_const_charp) { png_longjmp(failing, 1); },
        [](png_structp, png_const_charp) {});
    // A limit of its own for the width and height, and none for the memory
    // a chunk may take beyond what the pixels need.
    png_set_user_limits(reader, 1u << 30, 1u << 30);
  }
  const bool ok =
      info && decodeRows(reader, info, &source, maxPixels, &outcome, &rows);
  png_destroy_read_struct(&reader, info ? &info : nullptr, nullptr);
  if (!ok) return Status::failure("not a PNG libpng can decode");
  if (!outcome.refusal.empty()) return Status::failure(outcome.refusal);
  return outcome.indices;
}

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
