#include "app/mask_file.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <opencv2/imgcodecs.hpp>
#include <vector>

#include "app/image_check.h"

namespace scribeline {
namespace {

std::string folderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// Writes all bytes, retrying short writes and interrupted calls.
bool writeAll(int fd, const unsigned char* data, size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(fd, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

// mkstemp creates the file readable by its owner only; a mask file gets the
// permissions an ordinary new file would get.
void applyUsualPermissions(int fd) {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, 0666 & ~mask);
}

}  // namespace

bool writeMaskFile(const cv::Mat& mask, const std::string& path,
                   std::string* error) {
  std::vector<unsigned char> png;
  bool encoded = false;
  try {
    encoded = !mask.empty() && cv::imencode(".png", mask, png);
  } catch (const cv::Exception& e) {
    encoded = false;
  }
  if (!encoded) {
    *error = "the mask cannot be encoded as PNG";
    return false;
  }
  std::string temporary = folderOf(path) + "/.scribeline-mask-XXXXXX";
  const int fd = ::mkstemp(temporary.data());
  if (fd < 0) {
    *error = std::strerror(errno);
    return false;
  }
  applyUsualPermissions(fd);
  bool ok = writeAll(fd, png.data(), png.size()) && ::fsync(fd) == 0;
  int savedErrno = errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    savedErrno = errno;
  }
  if (ok && ::rename(temporary.c_str(), path.c_str()) != 0) {
    ok = false;
    savedErrno = errno;
  }
  if (!ok) {
    ::unlink(temporary.c_str());
    *error = std::strerror(savedErrno);
  }
  return ok;
}

cv::Mat readImageQuietly(const std::string& path, int flags) {
  // The library warns on the console about a file it cannot open; a missing
  // file is an ordinary case here, so it is not handed over at all, nor is
  // a FIFO (a read would wait without end) or a header beyond the reader's
  // limits (it would throw).
  std::optional<DeclaredSize> declared;
  if (!refusalOf(path, ImageLimits::ofThisProcess(), &declared).empty())
    return cv::Mat();
  std::string ignored;
  return decodeImage(path, flags, &ignored);
}

cv::Mat readMaskFile(const std::string& path) {
  return readImageQuietly(path, cv::IMREAD_COLOR);
}

}  // namespace scribeline
