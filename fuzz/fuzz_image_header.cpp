// Image header sniffing: any bytes give a size or nothing, never a crash, an
// exception or a read past the input.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "files/image_header.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  (void)scribeline::readDeclaredSize(in);
  return 0;
}
