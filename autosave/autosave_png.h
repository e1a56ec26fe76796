#pragma once

#include <opencv2/core.hpp>
#include <vector>

#include "files/status.h"

namespace scribeline {

// Encodes a mask (8-bit BGR) for an autosave: a PNG that any reader decodes
// to exactly the mask's pixels, made as fast as possible, since a change is
// not safe until its autosave is on disk. Size comes second.
//
// A mask holds few colours (25 labels, the white of an unfilled scissors
// update, a few more in masks made elsewhere), so one of at most 256
// colours is written as a palette PNG: a byte per pixel instead of three
// for zlib to work through. A mask of more colours is written as RGB. Either
// way rows are not filtered and zlib runs at its fastest level with its
// run-length strategy, which on masks (long runs of one colour) compresses
// well enough. Measured on 17.9 megapixels of one label per pixel at
// random: about 0.2 s against 0.45 s for the mask file's encoding
// (bench/autosave).
//
// The mask file itself is written as before (writeMaskFile): this encoding
// is for autosaves only.
Result<std::vector<unsigned char>> encodeAutosavePng(const cv::Mat& mask);

}  // namespace scribeline
