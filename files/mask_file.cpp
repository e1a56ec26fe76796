#include "files/mask_file.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <opencv2/imgcodecs.hpp>
#include <vector>

#include "files/atomic_write.h"
#include "files/image_read.h"
#include "files/photo_list.h"
#include "files/regular_file.h"
#include "files/standard_error.h"

namespace scribeline {
namespace {

// Symbolic links are followed to the file they name, so that a save
// replaces the target and leaves the link in place. A dangling link names
// the file to create. Gives up (returning the path reached) after as many
// links as the system itself would follow.
std::string followLinks(std::string path) {
  for (int hops = 0; hops < 40; ++hops) {
    struct stat info;
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) break;
    std::vector<char> target(static_cast<size_t>(info.st_size) + 256);
    const ssize_t length =
        ::readlink(path.c_str(), target.data(), target.size());
    if (length <= 0 || static_cast<size_t>(length) >= target.size()) break;
    const std::string next(target.data(), static_cast<size_t>(length));
    path = next[0] == '/' ? next : folderOf(path) + "/" + next;
  }
  return path;
}

bool readWhole(const std::string& path, std::vector<unsigned char>* bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes->assign(std::istreambuf_iterator<char>(in), {});
  return !in.bad();
}

// Keeps the file at path as path + "~": a second name for the same file when
// the file system allows it (the rename of the new mask then leaves this
// name on the old contents), else a copy, itself written atomically.
Status keepBackup(const std::string& path, const struct stat& replaced) {
  const std::string backup = path + "~";
  if (linkAtomically(path, backup).ok()) return {};
  std::vector<unsigned char> old;
  if (!readWhole(path, &old))
    return Status::failure("the file to replace cannot be read");
  return replaceAtomically(backup, old.data(), old.size(), &replaced);
}

}  // namespace

std::string maskPathFor(const std::string& imagePath) {
  return imagePath + "_Mask.png";
}

Status writeMaskFile(const cv::Mat& mask, const std::string& path,
                     bool backup) {
  std::vector<unsigned char> png;
  bool encoded = false;
  try {
    // libpng may warn on standard error: not while another thread decodes.
    const std::unique_lock<std::mutex> held = holdStandardError();
    encoded = !mask.empty() && cv::imencode(".png", mask, png);
  } catch (const cv::Exception& e) {
    encoded = false;
  }
  if (!encoded) return Status::failure("the mask cannot be encoded as PNG");
  const std::string target = followLinks(path);
  struct stat replaced;
  const bool replacing =
      ::stat(target.c_str(), &replaced) == 0 && S_ISREG(replaced.st_mode);
  if (replacing && backup) {
    const Status kept = keepBackup(target, replaced);
    if (!kept.ok())
      return Status::failure("the file it replaces cannot be kept as " +
                             target + "~: " + kept.reason());
  }
  return replaceAtomically(target, png.data(), png.size(),
                           replacing ? &replaced : nullptr);
}

Status writeFileAtomically(const std::string& path, const void* data,
                           size_t size) {
  return replaceAtomically(path, data, size, nullptr);
}

std::string maskFileTarget(const std::string& path) {
  return followLinks(path);
}

std::string maskBackupPath(const std::string& path) {
  return followLinks(path) + "~";
}

cv::Mat readMaskFile(const std::string& path) {
  // The library warns on the console about a file it cannot open; a missing
  // file is an ordinary case here, so it is not handed over at all, nor is
  // a FIFO (a read would wait without end) or a header beyond the reader's
  // limits (it would throw).
  if (!checkImageFile(path, ImageLimits::ofThisProcess()).ok())
    return cv::Mat();
  return decodeImage(path, cv::IMREAD_COLOR).image;
}

}  // namespace scribeline

namespace scribeline {

Result<cv::Mat> readOwnMaskFile(const std::string& path,
                                const ImageLimits& limits) {
  const Status undecodable =
      Status::failure("not an image the reader can decode");
  const Result<int> opened = openRegularFile(path, Links::kRefuse);
  if (!opened.ok()) return opened.status();
  const int fd = opened.value();
  const Result<std::optional<DeclaredSize>> checked =
      checkOpenImageFile(fd, limits);
  // The program writes its files as PNG, whose header says the size: the
  // file can be no larger than that many pixels at 8 bytes each (16-bit
  // RGBA, stored without compression), so no more is ever read.
  Result<std::string> bytes = undecodable;
  if (checked.ok() && checked.value() && ::lseek(fd, 0, SEEK_SET) == 0) {
    const std::uint64_t pixels = checked.value()->pixels();
    const std::uint64_t most =
        pixels < (UINT64_MAX >> 4) ? pixels * 8 + (1 << 20) : UINT64_MAX;
    bytes = readUpTo(
        fd, static_cast<std::size_t>(std::min<std::uint64_t>(most, SIZE_MAX)));
  }
  ::close(fd);
  if (!checked.ok()) return checked.status();
  if (!bytes.ok()) return bytes.status();
  cv::Mat mask = decodeImageBytes(bytes.value(), cv::IMREAD_COLOR).image;
  if (mask.empty()) return undecodable;
  return mask;
}

}  // namespace scribeline
