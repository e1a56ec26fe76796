#include "photos.h"

#include "tests/support/photos.h"

namespace scribeline {

std::string findPhoto(const BenchPhoto& photo) {
  return findPhoto(std::string(photo.sharedName));
}

}  // namespace scribeline
