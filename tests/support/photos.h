// The photographs that tests and benchmarks run on (ladybird_2560x1600.jpg,
// elephants_5640x3172.jpg, ...) are not part of the project: they live in the
// shared image folder beside it, whose path the build passes in.
#pragma once

#include <string>

namespace scribeline {

// Path of the photo `name` in the shared image folder, or "" when it is not
// there (a test then skips, a benchmark reports the photo missing).
std::string findPhoto(const std::string& name);

}  // namespace scribeline
