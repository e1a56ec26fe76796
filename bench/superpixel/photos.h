#pragma once

#include <string>

namespace scribeline {

// A benchmark photograph: its label and its file name in the shared image
// folder.
struct BenchPhoto {
  const char* label;
  const char* sharedName;
};

inline constexpr BenchPhoto benchPhotos[] = {
    {"ladybird_4MP", "ladybird_2560x1600.jpg"},
    {"elephants_18MP", "elephants_5640x3172.jpg"},
};

// Path of the photo, or "" when it is not found.
std::string findPhoto(const BenchPhoto& photo);

}  // namespace scribeline
