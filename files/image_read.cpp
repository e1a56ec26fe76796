#include "files/image_read.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <exception>
#include <opencv2/imgcodecs.hpp>
#include <optional>
#include <utility>

#include "files/image_header.h"
#include "files/standard_error.h"

namespace scribeline {
namespace {

// " (FIRST LINE)" of the libraries' messages, or nothing.
std::string firstLineOf(const std::string& messages) {
  const std::string line = messages.substr(0, messages.find('\n'));
  return line.empty() ? "" : " (" + line + ")";
}

// Why a file is not handed to the image library at all, in the words of
// its messages, or nothing.
std::optional<std::string> notToDecode(const ReadAt& readAt,
                                       std::uint64_t size) {
  if (const auto chunk = pngChunkPastEnd(readAt, size))
    return "its " + *chunk + " chunk runs past the end of the file";
  return {};
}

std::optional<std::string> notToDecode(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {};  // the library's own reading says why
  struct stat status {};
  std::optional<std::string> reason;
  if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode)) {
    reason = notToDecode(
        [fd](std::uint64_t offset, std::size_t count, char* into) {
          return ::pread(fd, into, count, static_cast<off_t>(offset)) ==
                 static_cast<ssize_t>(count);
        },
        static_cast<std::uint64_t>(status.st_size));
  }
  ::close(fd);
  return reason;
}

}  // namespace

DecodedImage decodeImage(const std::string& path, int flags) {
  DecodedImage decoded;
  if (auto reason = notToDecode(path)) {
    decoded.libraryMessages = std::move(*reason);
    return decoded;
  }
  decoded.libraryMessages = captureStandardError([&] {
    try {
      decoded.image = cv::imread(path, flags);
    } catch (const std::exception&) {
      // cv::Exception (a limit of the reader, a corrupt file) or bad_alloc.
      decoded.image.release();
    }
  });
  return decoded;
}

DecodedImage decodeImageBytes(const std::string& bytes, int flags) {
  DecodedImage decoded;
  if (bytes.empty() || bytes.size() > static_cast<std::size_t>(INT_MAX))
    return decoded;
  const auto readAt = [&bytes](std::uint64_t offset, std::size_t count,
                               char* into) {
    if (offset > bytes.size() || count > bytes.size() - offset) return false;
    std::memcpy(into, bytes.data() + offset, count);
    return true;
  };
  if (auto reason = notToDecode(readAt, bytes.size())) {
    decoded.libraryMessages = std::move(*reason);
    return decoded;
  }
  // A view of the bytes, not a copy.
  const cv::Mat encoded(1, static_cast<int>(bytes.size()), CV_8UC1,
                        const_cast<char*>(bytes.data()));
  decoded.libraryMessages = captureStandardError([&] {
    try {
      decoded.image = cv::imdecode(encoded, flags);
    } catch (const std::exception&) {
      decoded.image.release();
    }
  });
  return decoded;
}

Result<cv::Mat> readPhoto(const std::string& path, const ImageLimits& limits) {
  const Result<std::optional<DeclaredSize>> checked =
      checkImageFile(path, limits);
  if (!checked.ok()) return checked.status();
  const std::optional<DeclaredSize>& declared = checked.value();
  if (declared) {
    Status memory = checkStartUpMemory(*declared, limits);
    if (!memory.ok()) return memory;
  }
  DecodedImage decoded = decodeImage(path, cv::IMREAD_COLOR);
  if (decoded.image.empty())
    return Status::failure("not an image the reader can decode" +
                           firstLineOf(decoded.libraryMessages));
  // What the libraries said about an image they could read (a warning on a
  // damaged JPEG, say) reaches standard error as before.
  std::fputs(decoded.libraryMessages.c_str(), stderr);
  cv::Mat photo = std::move(decoded.image);
  // A format whose header is not read here is judged once decoded: the
  // pixels are there, but the tools' work on them is still to come.
  if (!declared) {
    Status memory = checkStartUpMemory({static_cast<std::uint64_t>(photo.cols),
                                        static_cast<std::uint64_t>(photo.rows)},
                                       limits);
    if (!memory.ok()) return memory;
  }
  return photo;
}

SavedMask readMaskFor(const std::string& path, cv::Size imageSize,
                      const ImageLimits& limits) {
  using State = SavedMask::State;
  SavedMask found;
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0 &&
      (errno == ENOENT || errno == ENOTDIR || errno == ENAMETOOLONG)) {
    return found;
  }
  if (S_ISREG(status.st_mode) && status.st_size == 0) {
    found.state = State::kUnreadable;
    return found;
  }
  const Result<std::optional<DeclaredSize>> checked =
      checkImageFile(path, limits);
  if (!checked.ok()) {
    found.state = State::kRefused;
    found.refusal = checked.status();
    return found;
  }
  const std::optional<DeclaredSize>& declared = checked.value();
  // A header of another size is enough to set the file aside undecoded. The
  // reader may turn an image by its orientation tag, so either order of the
  // sides is decoded, and the decoded size decides.
  const auto width = static_cast<std::uint64_t>(imageSize.width);
  const auto height = static_cast<std::uint64_t>(imageSize.height);
  if (declared && !(declared->width == width && declared->height == height) &&
      !(declared->width == height && declared->height == width)) {
    found.state = State::kOtherSize;
    return found;
  }
  // What the libraries say about a file they cannot decode is held back:
  // the set-aside line says it.
  const cv::Mat mask = decodeImage(path, cv::IMREAD_COLOR).image;
  if (mask.empty()) {
    found.state = State::kUnreadable;
  } else if (mask.size() != imageSize) {
    found.state = State::kOtherSize;
  } else {
    found.state = State::kLoaded;
    found.mask = mask;
  }
  return found;
}

}  // namespace scribeline
