#include "photos.h"

#include <fstream>

namespace scribeline {

std::string findPhoto(const BenchPhoto& photo) {
  const std::string candidates[] = {
      std::string("/work/shared/images/") + photo.sharedName,
      std::string(SCRIBELINE_SOURCE_DIR) + "/../shared/images/" +
          photo.sharedName,
      photo.debianPath,
  };
  for (const std::string& path : candidates) {
    if (std::ifstream(path).good()) {
      return path;
    }
  }
  return "";
}

}  // namespace scribeline
