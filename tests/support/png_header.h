// A PNG file cut short after its header: a few bytes that claim any size,
// for the tests of what the program refuses unread.
#pragma once

#include <cstdint>
#include <string>

namespace scribeline {

// The signature and the IHDR chunk (8-bit RGB) claiming width x height;
// nothing follows, so no reader can decode it.
inline std::string pngHeaderOnly(std::uint32_t width, std::uint32_t height) {
  const auto bigEndian = [](std::uint32_t value) {
    return std::string{static_cast<char>(value >> 24),
                       static_cast<char>(value >> 16),
                       static_cast<char>(value >> 8), static_cast<char>(value)};
  };
  return std::string("\x89PNG\r\n\x1A\n", 8) + bigEndian(13) + "IHDR" +
         bigEndian(width) + bigEndian(height) +
         std::string("\x08\x02\x00\x00\x00", 5);
}

}  // namespace scribeline
