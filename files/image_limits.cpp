#include "files/image_limits.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <istream>
#include <streambuf>

#include "files/regular_file.h"

namespace scribeline {
namespace {

// Start-up's peak resident memory (VmHWM once every tool is prepared),
// measured on the program (Release build) with photos of 17.9 and 103
// megapixels: 886 MB and 4344 MB, about 42 and 41 bytes per pixel over a
// fixed part of about 130 MB for the libraries and windows (the
// over-segmentation's working memory is most of it). Both parts are rounded
// up, so that the estimate errs on the side of refusing.
constexpr std::uint64_t kStartUpFixedBytes = 160ull << 20;
constexpr std::uint64_t kStartUpBytesPerPixel = 50;

// Where a DICOM file carries its "DICM" mark, after a 128-byte preamble.
constexpr off_t kDicomMarkOffset = 128;

std::uint64_t limitFromEnvironment(const char* name, std::uint64_t fallback) {
  const char* text = std::getenv(name);
  if (text == nullptr || *text == '\0') return fallback;
  char* end = nullptr;
  errno = 0;
  const unsigned long long value = std::strtoull(text, &end, 10);
  if (errno != 0 || *end != '\0') return fallback;
  return value;
}

std::optional<std::uint64_t> memAvailable() {
  std::ifstream meminfo("/proc/meminfo");
  for (std::string key; meminfo >> key;) {
    std::uint64_t kilobytes = 0;
    if (key == "MemAvailable:" && meminfo >> kilobytes) return kilobytes << 10;
    meminfo.ignore(1 << 10, '\n');
  }
  return {};
}

std::string sizeText(DeclaredSize size) {
  return std::to_string(size.width) + " x " + std::to_string(size.height) +
         " pixels";
}

std::string gigabytes(std::uint64_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f GB",
                static_cast<double>(bytes) / (1ull << 30));
  return text;
}

Status checkReaderLimits(DeclaredSize size, const ImageLimits& limits) {
  if (size.width > limits.maxWidth)
    return Status::failure(sizeText(size) +
                           ": wider than the image reader's limit of " +
                           std::to_string(limits.maxWidth) + " pixels");
  if (size.height > limits.maxHeight)
    return Status::failure(sizeText(size) +
                           ": taller than the image reader's limit of " +
                           std::to_string(limits.maxHeight) + " pixels");
  if (size.pixels() > limits.maxPixels)
    return Status::failure(sizeText(size) +
                           ": more than the image reader's limit of " +
                           std::to_string(limits.maxPixels) + " pixels");
  return {};
}

// Closes the descriptor however the check ends.
class OpenFile {
 public:
  explicit OpenFile(int fd) : fd_(fd) {}
  ~OpenFile() {
    if (fd_ >= 0) ::close(fd_);
  }
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;
  int fd() const { return fd_; }

 private:
  int fd_;
};

// Reads a descriptor as a seekable stream, for the header readers (a TIFF
// header may point anywhere in the file).
class DescriptorBuffer : public std::streambuf {
 public:
  explicit DescriptorBuffer(int fd) : fd_(fd) {}

 protected:
  int_type underflow() override {
    ssize_t got;
    do {
      got = ::read(fd_, buffer_, sizeof buffer_);
    } while (got < 0 && errno == EINTR);
    if (got <= 0) return traits_type::eof();
    setg(buffer_, buffer_, buffer_ + got);
    return traits_type::to_int_type(buffer_[0]);
  }
  pos_type seekoff(off_type offset, std::ios_base::seekdir direction,
                   std::ios_base::openmode) override {
    if (direction == std::ios_base::cur) offset -= egptr() - gptr();
    const int whence = direction == std::ios_base::beg   ? SEEK_SET
                       : direction == std::ios_base::cur ? SEEK_CUR
                                                         : SEEK_END;
    const off_t at = ::lseek(fd_, offset, whence);
    setg(buffer_, buffer_, buffer_);
    return at < 0 ? pos_type(off_type(-1)) : pos_type(at);
  }
  pos_type seekpos(pos_type position, std::ios_base::openmode mode) override {
    return seekoff(off_type(position), std::ios_base::beg, mode);
  }

 private:
  int fd_;
  char buffer_[4096];
};

}  // namespace

ImageLimits ImageLimits::ofThisProcess() {
  ImageLimits limits;
  limits.maxWidth =
      limitFromEnvironment("OPENCV_IO_MAX_IMAGE_WIDTH", limits.maxWidth);
  limits.maxHeight =
      limitFromEnvironment("OPENCV_IO_MAX_IMAGE_HEIGHT", limits.maxHeight);
  limits.maxPixels =
      limitFromEnvironment("OPENCV_IO_MAX_IMAGE_PIXELS", limits.maxPixels);
  limits.availableBytes = memAvailable();
  return limits;
}

std::uint64_t startUpBytes(std::uint64_t pixels) {
  return kStartUpFixedBytes + kStartUpBytesPerPixel * pixels;
}

Result<std::optional<DeclaredSize>> checkImageFile(const std::string& path,
                                                   const ImageLimits& limits) {
  const Result<int> opened = openRegularFile(path);
  if (!opened.ok()) return opened.status();
  const OpenFile file(opened.value());
  // The header is read through the descriptor already checked, so the file
  // looked at is the one judged.
  return checkOpenImageFile(file.fd(), limits);
}

Result<std::optional<DeclaredSize>> checkOpenImageFile(
    int fd, const ImageLimits& limits) {
  struct stat status {};
  if (::fstat(fd, &status) != 0) return Status::failure(std::strerror(errno));
  if (status.st_size == 0) return Status::failure("the file is empty");
  // The image library hands a file with the DICOM mark to a decoder that
  // aborts the whole program on some malformed ones; photos never carry it.
  char mark[4] = {};
  if (::pread(fd, mark, sizeof mark, kDicomMarkOffset) ==
          static_cast<ssize_t>(sizeof mark) &&
      std::memcmp(mark, "DICM", sizeof mark) == 0)
    return Status::failure("a DICOM file, which is not read here");
  if (::lseek(fd, 0, SEEK_SET) != 0)
    return Status::failure(std::strerror(errno));
  DescriptorBuffer buffer(fd);
  std::istream header(&buffer);
  const Result<std::optional<DeclaredSize>> read = readDeclaredSize(header);
  if (!read.ok()) return read.status();
  const std::optional<DeclaredSize>& declared = read.value();
  if (declared) {
    Status withinLimits = checkReaderLimits(*declared, limits);
    if (!withinLimits.ok()) return withinLimits;
  }
  return declared;
}

Status checkStartUpMemory(DeclaredSize size, const ImageLimits& limits) {
  if (!limits.availableBytes) return {};
  const std::uint64_t needed = startUpBytes(size.pixels());
  if (needed <= *limits.availableBytes) return {};
  return Status::failure(sizeText(size) + ": opening it needs about " +
                         gigabytes(needed) + " of memory, and " +
                         gigabytes(*limits.availableBytes) + " are available");
}

}  // namespace scribeline
