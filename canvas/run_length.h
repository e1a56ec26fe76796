#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace scribeline {

// A run-length codec over fixed-size elements (3-byte pixels, 4-byte ints).
// The data it is made for is piecewise constant: the XOR of two label masks
// is zero wherever they agree and one constant per pair of labels elsewhere.
//
// Format: a sequence of tokens, each a varint header h followed by its
// elements. h odd: a run of (h >> 1) + 1 copies of the one element that
// follows; h even: (h >> 1) + 1 literal elements follow.

// Appends the code of `count` elements of `elementSize` bytes to `out`.
void encodeRuns(const uint8_t* data, size_t count, size_t elementSize,
                std::vector<uint8_t>& out);

// Decodes exactly `count` elements from `code` into `data`, XOR-ing them into
// what is there when `xorInto` is true and overwriting otherwise. Returns the
// number of code bytes read, or 0 when the code is malformed or short.
size_t decodeRuns(const uint8_t* code, size_t codeSize, size_t count,
                  size_t elementSize, uint8_t* data, bool xorInto);

}  // namespace scribeline
