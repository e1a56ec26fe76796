#pragma once

#include <string>

namespace scribeline {

// A benchmark photograph: the file name in the shared image folder and the
// path of the same photo in Debian's mate-backgrounds package.
struct BenchPhoto {
  const char* label;
  const char* sharedName;
  const char* debianPath;
};

inline constexpr BenchPhoto benchPhotos[] = {
    {"ladybird_4MP", "ladybird_2560x1600.jpg",
     "/usr/share/backgrounds/mate/nature/LadyBird.jpg"},
    {"elephants_18MP", "elephants_5640x3172.jpg",
     "/usr/share/backgrounds/mate/abstract/Elephants_5640x3172.jpg"},
};

// Path of the first existing copy of the photo, or "" when there is none.
std::string findPhoto(const BenchPhoto& photo);

}  // namespace scribeline
