// The run-length codec of the undo history: any data encodes and decodes
// back exactly, and any code decodes within the output it is given (or is
// refused), for both element sizes the history uses.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "canvas/run_length.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const size_t elementSize = (data[0] & 1) ? 4 : 3;
  const size_t count = data[1];
  data += 2;
  size -= 2;

  // Round trip of the input's bytes taken as elements.
  const size_t elements = size / elementSize;
  std::vector<uint8_t> code;
  scribeline::encodeRuns(data, elements, elementSize, code);
  std::vector<uint8_t> back(elements * elementSize);
  if (scribeline::decodeRuns(code.data(), code.size(), elements, elementSize,
                             back.data(), false) != code.size())
    std::abort();
  if (!back.empty() && std::memcmp(back.data(), data, back.size()) != 0)
    std::abort();

  // The input taken as a code: decoded into exactly `count` elements.
  std::vector<uint8_t> out(count * elementSize, 0x5a);
  const size_t read =
      scribeline::decodeRuns(data, size, count, elementSize, out.data(),
                             size > 0 && (data[0] & 2) != 0);
  if (read > size) std::abort();
  return 0;
}
