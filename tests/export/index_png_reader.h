#pragma once

#include <png.h>

#include <array>
#include <csetjmp>
#include <cstdio>
#include <opencv2/core.hpp>
#include <string>
#include <vector>

namespace scribeline {

// A PNG as libpng reports it, without any conversion: the header fields,
// whether a transparency chunk is present, the palette, and the raw 8-bit
// samples of a single-channel (palette or grey) image.
struct RawPng {
  bool read = false;
  int colorType = -1;
  int bitDepth = 0;
  int interlace = -1;
  bool hasTransparency = false;
  std::vector<std::array<int, 3>> palette;  // (red, green, blue)
  cv::Mat samples;                          // CV_8UC1 when bitDepth is 8
};

namespace detail {
// Holds no object with a destructor, so libpng's longjmp skips nothing.
inline bool readRawPng(png_structp reader, png_infop info, std::FILE* file,
                       RawPng* png) {
  if (setjmp(png_jmpbuf(reader))) return false;
  png_init_io(reader, file);
  png_read_info(reader, info);
  png->colorType = png_get_color_type(reader, info);
  png->bitDepth = png_get_bit_depth(reader, info);
  png->interlace = png_get_interlace_type(reader, info);
  png->hasTransparency = png_get_valid(reader, info, PNG_INFO_tRNS) != 0;
  png_colorp entries = nullptr;
  int count = 0;
  if (png_get_PLTE(reader, info, &entries, &count) & PNG_INFO_PLTE)
    for (int i = 0; i < count; ++i)
      png->palette.push_back(
          {entries[i].red, entries[i].green, entries[i].blue});
  const int width = static_cast<int>(png_get_image_width(reader, info));
  const int height = static_cast<int>(png_get_image_height(reader, info));
  if (png->bitDepth != 8 || png_get_channels(reader, info) != 1 ||
      png->interlace != PNG_INTERLACE_NONE)
    return true;
  png->samples.create(height, width, CV_8UC1);
  for (int row = 0; row < height; ++row)
    png_read_row(reader, png->samples.ptr<png_byte>(row), nullptr);
  png_read_end(reader, nullptr);
  return true;
}
}  // namespace detail

inline RawPng readRawPng(const std::string& path) {
  RawPng png;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return png;
  png_structp reader =
      png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = reader ? png_create_info_struct(reader) : nullptr;
  png.read = info && detail::readRawPng(reader, info, file, &png);
  png_destroy_read_struct(&reader, info ? &info : nullptr, nullptr);
  std::fclose(file);
  return png;
}

}  // namespace scribeline
