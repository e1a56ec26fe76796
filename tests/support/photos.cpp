#include "tests/support/photos.h"

#include <fstream>

namespace scribeline {

std::string findPhoto(const std::string& name) {
  const std::string path = std::string(SCRIBELINE_PHOTO_DIR) + "/" + name;
  return std::ifstream(path).good() ? path : "";
}

}  // namespace scribeline
