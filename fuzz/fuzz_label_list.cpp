// The label list: any file gives at most 25 names of at most 254 characters.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "files/label_list.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  const auto names = scribeline::readLabelNames(in);
  if (names.size() > 25) std::abort();
  for (const std::string& name : names)
    if (name.size() > 254) std::abort();
  return 0;
}
