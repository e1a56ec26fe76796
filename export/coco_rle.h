#pragma once

#include <cstdint>
#include <opencv2/core.hpp>
#include <string>
#include <vector>

#include "files/status.h"

namespace scribeline {

// COCO's run-length encoding of a binary mask: the pixels are taken column
// by column (column-major: down the first column, then down the second, ...)
// and the counts alternate between runs of 0 and runs of 1, starting with 0;
// so the first count is the number of leading zeros, 0 when the first pixel
// is set. The counts add up to width * height.
using RleCounts = std::vector<std::uint32_t>;

// The counts of the pixels of `indices` (8-bit, single channel) equal to
// `value`.
RleCounts encodeRle(const cv::Mat& indices, unsigned char value);

// COCO's compressed string form: each count, from the fourth on, is replaced
// by its difference from the count two before it (the first three are
// written as they are), and each number is written in groups of five bits,
// lowest first, as characters 48 + group, with 32 added to every group but
// the last; the last group's bit 4 is the sign.
std::string rleToString(const RleCounts& counts);

// Reads the compressed string form back. Refuses with the reason a
// character outside '0' to 'o', a number cut short or beyond 32 bits, and a
// count that comes out negative.
Result<RleCounts> rleFromString(const std::string& text);

// Whether the counts add up to exactly width * height.
Status checkRleSize(const RleCounts& counts, int width, int height);

// Sets the pixels of `target` (8-bit, single channel, of the counts' size)
// that the counts mark to `value`, leaving the others. The counts must have
// passed checkRleSize for the target's size.
void paintRle(const RleCounts& counts, unsigned char value, cv::Mat* target);

}  // namespace scribeline
