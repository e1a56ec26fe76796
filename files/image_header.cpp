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

// What a header says: a size, nothing, or a refusal (readDeclaredSize).
using Declared = Result<std::optional<DeclaredSize>>;
// A header that does not say its size.
const std::optional<DeclaredSize> kNoSize;

std::optional<DeclaredSize> sized(std::optional<std::uint64_t> width,
                                  std::optional<std::uint64_t> height) {
  if (!width || !height) return {};
  return DeclaredSize{*width, *height};
}

// The outcome of a decimal size field: its value, nothing when the header
// ends before it, or why it is no size.
using Field = Result<std::optional<std::uint64_t>>;

// More digits than this may not fit in 64 bits.
constexpr std::size_t kMaxDigits = 19;

Status malformed(const std::string& format, const std::string& field,
                 const std::string& fault) {
  return Status::failure("a malformed " + format + " header: its " + field +
                         " is " + fault);
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
Declared bmpSize(ByteReader& in) {
  if (!in.skip(12)) return kNoSize;
  const auto headerSize = in.little(4);
  if (!headerSize) return kNoSize;
  if (*headerSize == 12) {
    auto width = in.little(2);
    return sized(width, in.little(2));
  }
  const auto width = in.little(4);
  const auto height = in.little(4);
  if (!width || !height) return kNoSize;
  const auto asSigned = [](std::uint64_t field) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(field));
  };
  const std::int64_t signedWidth = asSigned(*width);
  const std::int64_t signedHeight = asSigned(*height);
  if (signedWidth < 0) return malformed("BMP", "width", "negative");
  if (signedWidth == 0 || signedHeight == 0) return kNoSize;
  return std::optional<DeclaredSize>(DeclaredSize{
      static_cast<std::uint64_t>(signedWidth),
      static_cast<std::uint64_t>(signedHeight < 0 ? -signedHeight
                                                  : signedHeight)});
}

// A decimal size field written as text, after any blanks: digits only.
Field decimalField(const std::string& text, const std::string& format,
                   const std::string& field) {
  const auto first = text.find_first_not_of(" \t\r\v\f");
  if (first == std::string::npos) return malformed(format, field, "blank");
  const std::string value =
      text.substr(first, text.find_last_not_of(" \t\r\v\f") + 1 - first);
  if (value[0] == '-' && value.size() > 1 &&
      value.find_first_not_of("0123456789", 1) == std::string::npos)
    return malformed(format, field, "negative");
  if (value.find_first_not_of("0123456789") != std::string::npos)
    return malformed(format, field, "not a number");
  const auto significant = value.find_first_not_of('0');
  if (significant != std::string::npos &&
      value.size() - significant > kMaxDigits)
    return malformed(format, field, "too large");
  std::uint64_t number = 0;
  for (const char digit : value)
    number = number * 10 + static_cast<std::uint64_t>(digit - '0');
  return std::optional<std::uint64_t>(number);
}

bool isBlank(int c) { return c != EOF && std::isspace(c); }

// A decimal field of a PNM header, after blanks and "#" comments, up to the
// next blank or comment. Nothing when the header ends first.
Field pnmField(ByteReader& in, const std::string& format,
               const std::string& field) {
  for (;;) {
    const int c = in.peek();
    if (c == '#') {
      while (in.peek() != '\n' && in.peek() != EOF) in.get();
    } else if (isBlank(c)) {
      in.get();
    } else {
      break;
    }
  }
  if (in.peek() == EOF) return std::optional<std::uint64_t>();
  std::string token;
  // Long enough to tell "too large" from "not a number", short enough to
  // read no further than a header.
  while (in.peek() != EOF && !isBlank(in.peek()) && in.peek() != '#' &&
         token.size() < 64) {
    token += static_cast<char>(in.get());
  }
  return decimalField(token, format, field);
}

// The name of a PNM format by its second magic byte.
std::string pnmFormat(unsigned char kind) {
  switch (kind) {
    case '1':
    case '4':
      return "PBM";
    case '2':
    case '5':
      return "PGM";
    case '3':
    case '6':
      return "PPM";
    default:
      return "PFM";
  }
}

Declared pnmSize(ByteReader& in, unsigned char kind) {
  const std::string format = pnmFormat(kind);
  const Field width = pnmField(in, format, "width");
  if (!width.ok()) return width.status();
  if (!width.value()) return kNoSize;
  const Field height = pnmField(in, format, "height");
  if (!height.ok()) return height.status();
  return sized(width.value(), height.value());
}

// PAM (P7): "KEY value" lines up to ENDHDR; "#" starts a comment line.
Declared pamSize(ByteReader& in) {
  constexpr int kMaxHeaderLines = 64;
  constexpr std::size_t kMaxHeaderBytes = 1 << 16;
  // Longer lines are judged by their start: a value this long is too large
  // or no number at all either way.
  constexpr std::size_t kKeptPerLine = 256;
  std::optional<std::uint64_t> width, height;
  std::string line;
  std::size_t headerBytes = 0;
  for (int lines = 0; lines < kMaxHeaderLines; ++lines) {
    line.clear();
    for (int c = in.get(); c != '\n'; c = in.get()) {
      if (c == EOF || ++headerBytes > kMaxHeaderBytes) return kNoSize;
      if (line.size() < kKeptPerLine) line += static_cast<char>(c);
    }
    const auto keyStart = line.find_first_not_of(" \t\r");
    if (keyStart == std::string::npos || line[keyStart] == '#') continue;
    const auto keyEnd = line.find_first_of(" \t\r", keyStart);
    const std::string key = line.substr(keyStart, keyEnd - keyStart);
    if (key == "ENDHDR") return sized(width, height);
    if (key != "WIDTH" && key != "HEIGHT") continue;
    const Field value = decimalField(
        keyEnd == std::string::npos ? "" : line.substr(keyEnd), "PAM", key);
    if (!value.ok()) return value.status();
    (key == "WIDTH" ? width : height) = value.value();
  }
  return kNoSize;
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

Result<std::optional<DeclaredSize>> readDeclaredSize(std::istream& stream) {
  ByteReader in(stream);
  std::array<unsigned char, 12> head{};
  if (!in.bytes(head.data(), 2)) return kNoSize;
  const auto startsWith = [&](const char* magic, std::size_t length) {
    return std::memcmp(head.data(), magic, length) == 0;
  };
  if (startsWith("\xFF\xD8", 2)) return jpegSize(in);
  if (startsWith("BM", 2)) return bmpSize(in);
  if (head[0] == 'P' && ((head[1] >= '1' && head[1] <= '6') || head[1] == 'F' ||
                         head[1] == 'f')) {
    return pnmSize(in, head[1]);
  }
  if (startsWith("P7", 2)) {
    if (in.get() != '\n') return kNoSize;
    return pamSize(in);
  }
  if (startsWith("II", 2) || startsWith("MM", 2))
    return tiffSize(in, head[0] == 'M');
  if (!in.bytes(head.data() + 2, 2)) return kNoSize;
  if (startsWith("\x59\xA6\x6A\x95", 4)) {
    auto width = in.big(4);
    return sized(width, in.big(4));
  }
  if (!in.bytes(head.data() + 4, 4)) return kNoSize;
  if (startsWith("\x89PNG\r\n\x1A\n", 8)) return pngSize(in);
  if (!in.bytes(head.data() + 8, 4)) return kNoSize;
  if (startsWith("RIFF", 4) && std::memcmp(head.data() + 8, "WEBP", 4) == 0)
    return webpSize(in);
  return kNoSize;
}

std::optional<std::string> pngChunkPastEnd(const ReadAt& readAt,
                                           std::uint64_t size) {
  constexpr std::uint64_t kSignature = 8;
  constexpr std::uint64_t kFraming = 12;  // length, type and CRC
  char head[8];
  if (!readAt(0, kSignature, head) ||
      std::memcmp(head, "\x89PNG\r\n\x1A\n", kSignature) != 0)
    return {};
  for (std::uint64_t at = kSignature; at + 8 <= size;) {
    if (!readAt(at, 8, head)) return {};
    std::uint64_t length = 0;
    for (int i = 0; i < 4; ++i)
      length = (length << 8) | static_cast<unsigned char>(head[i]);
    const std::string type(head + 4, 4);
    if (type == "IEND") return {};
    const std::uint64_t next = at + kFraming + length;
    // Cut-short image data is streamed, and the reader's own error says it.
    if (next > size) return type == "IDAT" ? std::nullopt
                                           : std::optional<std::string>(type);
    at = next;
  }
  return {};
}

}  // namespace scribeline
