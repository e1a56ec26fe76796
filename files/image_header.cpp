#include "files/image_header.h"

#include <array>
#include <cctype>
#include <cstring>
#include <string>

namespace scribeline {
namespace {

// Reads fixed-size fields of either byte order; every read fails softly
// (nothing) at the end of the stream.
class ByteReader {
 public:
  explicit ByteReader(std::istream& in) : in_(in) {}

  bool bytes(unsigned char* into, std::size_t count) {
    in_.read(reinterpret_cast<char*>(into),
             static_cast<std::streamsize>(count));
    return static_cast<std::size_t>(in_.gcount()) == count;
  }
  std::optional<std::uint64_t> big(int width) { return number(width, true); }
  std::optional<std::uint64_t> little(int width) {
    return number(width, false);
  }
  bool skip(std::uint64_t count) {
    in_.ignore(static_cast<std::streamsize>(count));
    return static_cast<std::uint64_t>(in_.gcount()) == count;
  }
  bool seek(std::uint64_t offset) {
    in_.clear();
    in_.seekg(static_cast<std::streamoff>(offset));
    return static_cast<bool>(in_);
  }
  int get() { return in_.get(); }
  int peek() { return in_.peek(); }

 private:
  std::optional<std::uint64_t> number(int width, bool bigEndian) {
    std::array<unsigned char, 8> field{};
    if (!bytes(field.data(), static_cast<std::size_t>(width))) return {};
    std::uint64_t value = 0;
    for (int i = 0; i < width; ++i) {
      const int at = bigEndian ? i : width - 1 - i;
      value = (value << 8) | field[static_cast<std::size_t>(at)];
    }
    return value;
  }

  std::istream& in_;
};

std::optional<DeclaredSize> sized(std::optional<std::uint64_t> width,
                                  std::optional<std::uint64_t> height) {
  if (!width || !height) return {};
  return DeclaredSize{*width, *height};
}

// After the 8-byte signature: the IHDR chunk, always first.
std::optional<DeclaredSize> pngSize(ByteReader& in) {
  std::array<unsigned char, 8> chunk{};
  if (!in.bytes(chunk.data(), chunk.size()) ||
      std::memcmp(chunk.data() + 4, "IHDR", 4) != 0) {
    return {};
  }
  auto width = in.big(4);
  return sized(width, in.big(4));
}

// A start-of-frame marker: C0 to CF except DHT (C4), JPG (C8) and DAC (CC).
bool isFrameMarker(int marker) {
  return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 &&
         marker != 0xCC;
}

// After SOI: segments up to the first frame header. A height of 0 is
// defined later in the stream (DNL): not known from the header.
std::optional<DeclaredSize> jpegSize(ByteReader& in) {
  constexpr int kMaxSegments = 4096;
  for (int segment = 0; segment < kMaxSegments; ++segment) {
    if (in.get() != 0xFF) return {};
    int marker = in.get();
    while (marker == 0xFF) marker = in.get();  // fill bytes
    if (marker < 0) return {};
    if ((marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) continue;
    if (marker == 0xD9 || marker == 0xDA) return {};  // no frame before data
    const auto length = in.big(2);
    if (!length || *length < 2) return {};
    if (isFrameMarker(marker)) {
      if (!in.skip(1)) return {};  // sample precision
      auto height = in.big(2);
      auto width = in.big(2);
      if (!height || *height == 0) return {};
      return sized(width, height);
    }
    if (!in.skip(*length - 2)) return {};
  }
  return {};
}

// After "BM": the file header's rest, then the DIB header, whose size tells
// the OS/2 core layout (16-bit fields) from the Windows ones (32-bit, signed,
// a negative height meaning rows stored top-down).
std::optional<DeclaredSize> bmpSize(ByteReader& in) {
  if (!in.skip(12)) return {};
  const auto headerSize = in.little(4);
  if (!headerSize) return {};
  if (*headerSize == 12) {
    auto width = in.little(2);
    return sized(width, in.little(2));
  }
  const auto width = in.little(4);
  const auto height = in.little(4);
  if (!width || !height) return {};
  const auto asSigned = [](std::uint64_t field) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(field));
  };
  const std::int64_t signedWidth = asSigned(*width);
  const std::int64_t signedHeight = asSigned(*height);
  if (signedWidth <= 0 || signedHeight == 0) return {};
  return DeclaredSize{static_cast<std::uint64_t>(signedWidth),
                      static_cast<std::uint64_t>(
                          signedHeight < 0 ? -signedHeight : signedHeight)};
}

// A decimal field of a PNM header, after blanks and "#" comments. Values
// beyond 20 digits are malformed.
std::optional<std::uint64_t> pnmNumber(ByteReader& in) {
  for (;;) {
    const int c = in.peek();
    if (c == '#') {
      while (in.peek() != '\n' && in.peek() != EOF) in.get();
    } else if (c != EOF && std::isspace(c)) {
      in.get();
    } else {
      break;
    }
  }
  std::uint64_t value = 0;
  int digits = 0;
  while (in.peek() != EOF && std::isdigit(in.peek())) {
    if (++digits > 19) return {};
    value = value * 10 + static_cast<std::uint64_t>(in.get() - '0');
  }
  if (digits == 0) return {};
  return value;
}

// PAM (P7): "KEY value" lines up to ENDHDR.
std::optional<DeclaredSize> pamSize(ByteReader& in) {
  constexpr int kMaxHeaderLines = 64;
  std::optional<std::uint64_t> width, height;
  std::string line;
  for (int lines = 0; lines < kMaxHeaderLines; ++lines) {
    line.clear();
    for (int c = in.get(); c != '\n'; c = in.get()) {
      if (c == EOF || line.size() > 256) return {};
      line += static_cast<char>(c);
    }
    if (line.rfind("ENDHDR", 0) == 0) return sized(width, height);
    const bool isWidth = line.rfind("WIDTH", 0) == 0;
    const bool isHeight = line.rfind("HEIGHT", 0) == 0;
    if (!isWidth && !isHeight) continue;
    const std::string digits = line.substr(line.find_first_of(" \t") + 1);
    if (digits.empty() || digits.size() > 19 ||
        digits.find_first_not_of("0123456789 \t\r") != std::string::npos) {
      return {};
    }
    (isWidth ? width : height) = std::stoull(digits);
  }
  return {};
}

// After the byte-order mark: the first image file directory, whose
// ImageWidth (256) and ImageLength (257) fields are SHORT or LONG.
std::optional<DeclaredSize> tiffSize(ByteReader& in, bool bigEndian) {
  const auto read = [&](int width) {
    return bigEndian ? in.big(width) : in.little(width);
  };
  const auto magic = read(2);
  const auto directory = read(4);
  if (!magic || *magic != 42 || !directory || !in.seek(*directory)) return {};
  const auto entries = read(2);
  if (!entries) return {};
  std::optional<std::uint64_t> width, height;
  for (std::uint64_t i = 0; i < *entries && (!width || !height); ++i) {
    const auto tag = read(2);
    const auto type = read(2);
    if (!tag || !type || !read(4)) return {};
    std::optional<std::uint64_t> value;
    if (*type == 3) {
      value = read(2);
      if (!in.skip(2)) return {};
    } else {
      value = read(4);
      if (*type != 4) value.reset();
    }
    if (*tag == 256) width = value;
    if (*tag == 257) height = value;
  }
  return sized(width, height);
}

std::uint64_t bits(std::uint64_t value, int from, int count) {
  return (value >> from) & ((std::uint64_t{1} << count) - 1);
}

// After "RIFF", the RIFF size and "WEBP": the first chunk, lossy (VP8),
// lossless (VP8L) or extended (VP8X) with the canvas size.
std::optional<DeclaredSize> webpSize(ByteReader& in) {
  std::array<unsigned char, 4> chunk{};
  if (!in.bytes(chunk.data(), chunk.size()) || !in.skip(4)) return {};
  if (std::memcmp(chunk.data(), "VP8 ", 4) == 0) {
    std::array<unsigned char, 6> frame{};
    if (!in.bytes(frame.data(), frame.size()) || frame[3] != 0x9D ||
        frame[4] != 0x01 || frame[5] != 0x2A) {
      return {};
    }
    const auto width = in.little(2);
    const auto height = in.little(2);
    if (!width || !height) return {};
    return DeclaredSize{bits(*width, 0, 14), bits(*height, 0, 14)};
  }
  if (std::memcmp(chunk.data(), "VP8L", 4) == 0) {
    if (in.get() != 0x2F) return {};
    const auto packed = in.little(4);
    if (!packed) return {};
    return DeclaredSize{bits(*packed, 0, 14) + 1, bits(*packed, 14, 14) + 1};
  }
  if (std::memcmp(chunk.data(), "VP8X", 4) == 0) {
    if (!in.skip(4)) return {};
    const auto width = in.little(3);
    const auto height = in.little(3);
    if (!width || !height) return {};
    return DeclaredSize{*width + 1, *height + 1};
  }
  return {};
}

}  // namespace

std::optional<DeclaredSize> readDeclaredSize(std::istream& stream) {
  ByteReader in(stream);
  std::array<unsigned char, 12> head{};
  if (!in.bytes(head.data(), 2)) return {};
  const auto startsWith = [&](const char* magic, std::size_t length) {
    return std::memcmp(head.data(), magic, length) == 0;
  };
  if (startsWith("\xFF\xD8", 2)) return jpegSize(in);
  if (startsWith("BM", 2)) return bmpSize(in);
  if (head[0] == 'P' && ((head[1] >= '1' && head[1] <= '6') || head[1] == 'F' ||
                         head[1] == 'f')) {
    auto width = pnmNumber(in);
    return sized(width, pnmNumber(in));
  }
  if (startsWith("P7", 2)) {
    if (in.get() != '\n') return {};
    return pamSize(in);
  }
  if (startsWith("II", 2) || startsWith("MM", 2))
    return tiffSize(in, head[0] == 'M');
  if (!in.bytes(head.data() + 2, 2)) return {};
  if (startsWith("\x59\xA6\x6A\x95", 4)) {
    auto width = in.big(4);
    return sized(width, in.big(4));
  }
  if (!in.bytes(head.data() + 4, 4)) return {};
  if (startsWith("\x89PNG\r\n\x1A\n", 8)) return pngSize(in);
  if (!in.bytes(head.data() + 8, 4)) return {};
  if (startsWith("RIFF", 4) && std::memcmp(head.data() + 8, "WEBP", 4) == 0)
    return webpSize(in);
  return {};
}

}  // namespace scribeline
