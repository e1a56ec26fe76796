#pragma once

#include <array>
#include <cstdint>
#include <opencv2/core.hpp>
#include <string>
#include <vector>

#include "files/status.h"

namespace scribeline {

// Index written for a pixel whose colour belongs to no label.
constexpr unsigned char kVoidIndex = 255;

// The 256 palette entries of an index PNG, as (red, green, blue): entry i is
// labelColor(i), so entries 0 to 24 are the program's label colours, the rest
// continue the same colour map, and entry 255 is (224, 224, 192).
using IndexPalette = std::array<std::array<unsigned char, 3>, 256>;
const IndexPalette& indexPalette();

// Encodes an 8-bit single-channel image of label indices as an 8-bit palette
// PNG with indexPalette(): no transparency chunk, not interlaced. Refuses
// an image that is not 8-bit single-channel or is empty, and says when
// libpng fails.
Result<std::vector<unsigned char>> encodeIndexPng(const cv::Mat& indices);

// Reads the label indices of a PNG of 8-bit samples in one channel: a
// palette PNG gives its palette indices (whatever the palette's colours), a
// grey PNG its grey values. Refuses with the reason any other kind (colour,
// grey with alpha, 16-bit or fewer than 8 bits), a PNG with more than
// `maxPixels` pixels (judged from its header, before any pixel is read) and
// bytes libpng cannot decode. Interlaced PNGs are read too.
Result<cv::Mat> decodeIndexPng(const std::string& bytes,
                               std::uint64_t maxPixels);

}  // namespace scribeline
