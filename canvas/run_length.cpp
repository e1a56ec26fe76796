#include "canvas/run_length.h"

#include <cstring>

namespace scribeline {
namespace {

// Runs shorter than this are cheaper as part of a literal.
constexpr size_t kShortestRun = 2;

void putVarint(size_t value, std::vector<uint8_t>& out) {
  while (value >= 0x80) {
    out.push_back(static_cast<uint8_t>(value | 0x80));
    value >>= 7;
  }
  out.push_back(static_cast<uint8_t>(value));
}

// Returns the bytes read, 0 when the code ends inside the varint.
size_t getVarint(const uint8_t* code, size_t size, size_t* value) {
  size_t result = 0;
  for (size_t i = 0; i < size && i < 10; ++i) {
    result |= static_cast<size_t>(code[i] & 0x7F) << (7 * i);
    if ((code[i] & 0x80) == 0) {
      *value = result;
      return i + 1;
    }
  }
  return 0;
}

bool isZero(const uint8_t* element, size_t elementSize) {
  for (size_t b = 0; b < elementSize; ++b)
    if (element[b] != 0) return false;
  return true;
}

void putLiteral(const uint8_t* data, size_t count, size_t elementSize,
                std::vector<uint8_t>& out) {
  if (count == 0) return;
  putVarint((count - 1) << 1, out);
  out.insert(out.end(), data, data + count * elementSize);
}

// The codec over elements of a size known at compile time, so that element
// comparisons and copies become single loads and stores: the masks run
// through it a whole mask at a time.
template <size_t kSize>
void encodeFixed(const uint8_t* data, size_t count, size_t elementSize,
                 std::vector<uint8_t>& out) {
  const size_t size = kSize != 0 ? kSize : elementSize;
  size_t literalStart = 0;
  size_t i = 0;
  while (i < count) {
    const uint8_t* element = data + i * size;
    size_t end = i + 1;
    while (end < count && std::memcmp(data + end * size, element, size) == 0) {
      ++end;
    }
    if (end - i >= kShortestRun) {
      putLiteral(data + literalStart * size, i - literalStart, size, out);
      putVarint(((end - i - 1) << 1) | 1, out);
      out.insert(out.end(), element, element + size);
      literalStart = end;
    }
    i = end;
  }
  putLiteral(data + literalStart * size, count - literalStart, size, out);
}

template <size_t kSize>
size_t decodeFixed(const uint8_t* code, size_t codeSize, size_t count,
                   size_t elementSize, uint8_t* data, bool xorInto) {
  const size_t size = kSize != 0 ? kSize : elementSize;
  size_t read = 0;
  size_t done = 0;
  while (done < count) {
    size_t header = 0;
    const size_t headerBytes = getVarint(code + read, codeSize - read, &header);
    if (headerBytes == 0) return 0;
    read += headerBytes;
    const size_t length = (header >> 1) + 1;
    if (length > count - done) return 0;
    const bool run = (header & 1) != 0;
    const size_t payload = run ? size : length * size;
    if (payload > codeSize - read) return 0;
    const uint8_t* source = code + read;
    uint8_t* target = data + done * size;
    read += payload;
    done += length;
    if (!xorInto) {
      if (!run) {
        std::memcpy(target, source, payload);
        continue;
      }
      for (size_t k = 0; k < length; ++k)
        std::memcpy(target + k * size, source, size);
      continue;
    }
    if (run && isZero(source, size)) continue;
    for (size_t k = 0; k < length; ++k) {
      const uint8_t* element = run ? source : source + k * size;
      uint8_t* into = target + k * size;
      for (size_t b = 0; b < size; ++b) into[b] ^= element[b];
    }
  }
  return read;
}

}  // namespace

void encodeRuns(const uint8_t* data, size_t count, size_t elementSize,
                std::vector<uint8_t>& out) {
  switch (elementSize) {
    case 3:
      return encodeFixed<3>(data, count, elementSize, out);
    case 4:
      return encodeFixed<4>(data, count, elementSize, out);
    default:
      return encodeFixed<0>(data, count, elementSize, out);
  }
}

size_t decodeRuns(const uint8_t* code, size_t codeSize, size_t count,
                  size_t elementSize, uint8_t* data, bool xorInto) {
  switch (elementSize) {
    case 3:
      return decodeFixed<3>(code, codeSize, count, elementSize, data, xorInto);
    case 4:
      return decodeFixed<4>(code, codeSize, count, elementSize, data, xorInto);
    default:
      return decodeFixed<0>(code, codeSize, count, elementSize, data, xorInto);
  }
}

}  // namespace scribeline
