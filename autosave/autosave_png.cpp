#include "autosave/autosave_png.h"

#include <png.h>
#include <zlib.h>

#include <csetjmp>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace scribeline {
namespace {

constexpr int kMaxPaletteColours = 256;

std::uint32_t keyOf(const unsigned char* bgr) {
  return std::uint32_t{bgr[0]} | std::uint32_t{bgr[1]} << 8 |
         std::uint32_t{bgr[2]} << 16;
}

// The colours of a mask in order of first appearance, with the index of
// each: a table over all 2^24 colours whose pages cost nothing until a
// colour on them is met (calloc), so a mask of few colours touches few.
class ColourTable {
 public:
  ColourTable()
      : slots_(static_cast<std::uint16_t*>(
            std::calloc(std::size_t{1} << 24, sizeof(std::uint16_t)))) {}
  ~ColourTable() { std::free(slots_); }
  ColourTable(const ColourTable&) = delete;
  ColourTable& operator=(const ColourTable&) = delete;

  bool made() const { return slots_ != nullptr; }

  // Collects the mask's colours; false when there are more than fit a
  // palette.
  bool collect(const cv::Mat& mask) {
    std::uint32_t last = ~0u;
    for (int row = 0; row < mask.rows; ++row) {
      const unsigned char* pixel = mask.ptr<unsigned char>(row);
      for (int column = 0; column < mask.cols; ++column, pixel += 3) {
        const std::uint32_t key = keyOf(pixel);
        if (key == last || slots_[key] != 0) {
          last = key;
          continue;
        }
        if (colours_.size() == kMaxPaletteColours) return false;
        colours_.push_back(key);
        slots_[key] = static_cast<std::uint16_t>(colours_.size());
        last = key;
      }
    }
    return true;
  }

  // REQUIRES: collect() has met the colour.
  unsigned char indexOf(std::uint32_t key) const {
    return static_cast<unsigned char>(slots_[key] - 1);
  }
  const std::vector<std::uint32_t>& colours() const { return colours_; }

  // Clears what collect() set, so that the table can be used again.
  void clear() {
    for (const std::uint32_t key : colours_) slots_[key] = 0;
    colours_.clear();
  }

 private:
  std::uint16_t* slots_;  // 0: not met; else the index plus one
  std::vector<std::uint32_t> colours_;
};

void appendToBuffer(png_structp writer, png_bytep data, png_size_t length) {
  auto* buffer =
      static_cast<std::vector<unsigned char>*>(png_get_io_ptr(writer));
  buffer->insert(buffer->end(), data, data + length);
}

void flushNothing(png_structp) {}

// libpng reports errors by longjmp: this function holds no object with a
// destructor, so the jump skips nothing; `row` and `png` are the caller's.
// With a palette (`colours` not null) each row is mapped to indices in
// `row` before it is written.
bool encodeRows(png_structp writer, png_infop info, const cv::Mat& mask,
                const ColourTable* colours, unsigned char* row,
                std::vector<unsigned char>* png) {
  if (setjmp(png_jmpbuf(writer))) return false;
  png_set_write_fn(writer, png, appendToBuffer, flushNothing);
  png_set_IHDR(writer, info, static_cast<png_uint_32>(mask.cols),
               static_cast<png_uint_32>(mask.rows), 8,
               colours ? PNG_COLOR_TYPE_PALETTE : PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (colours != nullptr) {
    png_color entries[kMaxPaletteColours];
    int count = 0;
    for (const std::uint32_t key : colours->colours()) {
      entries[count++] = png_color{static_cast<png_byte>(key >> 16),
                                   static_cast<png_byte>(key >> 8),
                                   static_cast<png_byte>(key)};
    }
    png_set_PLTE(writer, info, entries, count);
  }
  png_set_filter(writer, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
  png_set_compression_level(writer, Z_BEST_SPEED);
  png_set_compression_strategy(writer, Z_RLE);
  png_write_info(writer, info);
  if (colours == nullptr) png_set_bgr(writer);
  for (int y = 0; y < mask.rows; ++y) {
    const unsigned char* pixels = mask.ptr<unsigned char>(y);
    if (colours == nullptr) {
      png_write_row(writer, pixels);
      continue;
    }
    for (int x = 0; x < mask.cols; ++x)
      row[x] = colours->indexOf(keyOf(pixels + 3 * x));
    png_write_row(writer, row);
  }
  png_write_end(writer, info);
  return true;
}

}  // namespace

Result<std::vector<unsigned char>> encodeAutosavePng(const cv::Mat& mask) {
  if (mask.empty() || mask.type() != CV_8UC3)
    return Status::failure("the mask cannot be encoded as PNG");
  // One table for the thread's every autosave: only the few pages of the
  // colours met are ever touched.
  thread_local ColourTable table;
  const bool palette = table.made() && table.collect(mask);
  std::vector<unsigned char> row(palette ? mask.cols : 0);
  std::vector<unsigned char> png;
  png.reserve(mask.total() / 8);
  png_structp writer =
      png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = writer ? png_create_info_struct(writer) : nullptr;
  const bool ok =
      info && encodeRows(writer, info, mask, palette ? &table : nullptr,
                         row.data(), &png);
  png_destroy_write_struct(&writer, info ? &info : nullptr);
  table.clear();
  if (!ok) return Status::failure("the mask cannot be encoded as PNG");
  return png;
}

}  // namespace scribeline
