#include "export/coco_rle.h"

namespace scribeline {

RleCounts encodeRle(const cv::Mat& indices, unsigned char value) {
  CV_Assert(indices.type() == CV_8UC1);
  RleCounts counts;
  bool inside = false;  // the kind of run being counted; runs start with 0s
  std::uint32_t run = 0;
  for (int column = 0; column < indices.cols; ++column) {
    for (int row = 0; row < indices.rows; ++row) {
      const bool set = indices.at<unsigned char>(row, column) == value;
      if (set != inside) {
        counts.push_back(run);
        run = 0;
        inside = set;
      }
      ++run;
    }
  }
  counts.push_back(run);
  return counts;
}

std::string rleToString(const RleCounts& counts) {
  std::string text;
  for (size_t i = 0; i < counts.size(); ++i) {
    std::int64_t x = counts[i];
    if (i > 2) x -= counts[i - 2];
    bool more = true;
    while (more) {
      int group = static_cast<int>(x & 0x1F);
      x >>= 5;  // arithmetic: a negative difference stays negative
      more = (group & 0x10) ? x != -1 : x != 0;
      if (more) group |= 0x20;
      text += static_cast<char>(48 + group);
    }
  }
  return text;
}

Result<RleCounts> rleFromString(const std::string& text) {
  RleCounts counts;
  size_t p = 0;
  while (p < text.size()) {
    std::int64_t x = 0;
    int shift = 0;
    bool more = true;
    while (more) {
      if (p >= text.size())
        return Status::failure("the RLE string ends inside a count");
      const int c = static_cast<unsigned char>(text[p]) - 48;
      if (c < 0 || c > 0x3F)
        return Status::failure(
            "the RLE string holds a character outside "
            "'0' to 'o' at position " +
            std::to_string(p));
      // Seven groups hold 35 bits, enough for any difference of 32-bit
      // counts; an eighth would shift beyond them.
      if (shift > 30)
        return Status::failure("the RLE string holds a count beyond 32 bits");
      x |= static_cast<std::int64_t>(c & 0x1F) << shift;
      more = (c & 0x20) != 0;
      shift += 5;
      ++p;
      if (!more && (c & 0x10)) x -= std::int64_t{1} << shift;
    }
    const size_t m = counts.size();
    if (m > 2) x += counts[m - 2];
    if (x < 0 || x > UINT32_MAX)
      return Status::failure("the RLE string gives count " +
                             std::to_string(m + 1) + " the value " +
                             std::to_string(x));
    counts.push_back(static_cast<std::uint32_t>(x));
  }
  return counts;
}

Status checkRleSize(const RleCounts& counts, int width, int height) {
  std::uint64_t total = 0;
  for (const std::uint32_t count : counts) total += count;
  const std::uint64_t pixels =
      static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height);
  if (width < 0 || height < 0 || total != pixels)
    return Status::failure("the RLE counts add up to " + std::to_string(total) +
                           " pixels, not " + std::to_string(width) + " x " +
                           std::to_string(height));
  return {};
}

void paintRle(const RleCounts& counts, unsigned char value, cv::Mat* target) {
  CV_Assert(target->type() == CV_8UC1);
  const std::uint64_t rows = static_cast<std::uint64_t>(target->rows);
  std::uint64_t position = 0;
  for (size_t i = 0; i < counts.size(); ++i) {
    const std::uint64_t end = position + counts[i];
    if (i % 2 == 1)
      for (std::uint64_t p = position; p < end; ++p)
        target->at<unsigned char>(static_cast<int>(p % rows),
                                  static_cast<int>(p / rows)) = value;
    position = end;
  }
}

}  // namespace scribeline
