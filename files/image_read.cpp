#include "files/image_read.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <exception>
#include <opencv2/imgcodecs.hpp>

namespace scribeline {
namespace {

// The image libraries (libpng, libjpeg, libtiff) write their complaints to
// standard error themselves. While an object of this class lives, standard
// error goes to a temporary file instead; finish() puts it back and returns
// what was written. Without a temporary file nothing is held back.
class StandardErrorCapture {
 public:
  StandardErrorCapture() {
    std::fflush(stderr);
    file_ = std::tmpfile();
    if (file_ == nullptr) return;
    saved_ = ::dup(STDERR_FILENO);
    if (saved_ >= 0 && ::dup2(::fileno(file_), STDERR_FILENO) < 0) {
      ::close(saved_);
      saved_ = -1;
    }
  }
  ~StandardErrorCapture() {
    finish();
    if (file_ != nullptr) std::fclose(file_);
  }
  StandardErrorCapture(const StandardErrorCapture&) = delete;
  StandardErrorCapture& operator=(const StandardErrorCapture&) = delete;

  // Puts standard error back (the first call only) and returns what was
  // written to it meanwhile.
  std::string finish() {
    if (saved_ < 0) return {};
    std::fflush(stderr);
    ::dup2(saved_, STDERR_FILENO);
    ::close(saved_);
    saved_ = -1;
    std::string text;
    std::rewind(file_);
    char chunk[512];
    for (std::size_t got;
         (got = std::fread(chunk, 1, sizeof chunk, file_)) > 0;)
      text.append(chunk, got);
    return text;
  }

 private:
  std::FILE* file_ = nullptr;
  int saved_ = -1;
};

// " (FIRST LINE)" of the libraries' messages, or nothing.
std::string firstLineOf(const std::string& messages) {
  const std::string line = messages.substr(0, messages.find('\n'));
  return line.empty() ? "" : " (" + line + ")";
}

}  // namespace

cv::Mat decodeImage(const std::string& path, int flags,
                    std::string* libraryMessages) {
  StandardErrorCapture capture;
  cv::Mat image;
  try {
    image = cv::imread(path, flags);
  } catch (const std::exception&) {
    // cv::Exception (a limit of the reader, a corrupt file) or bad_alloc.
    image.release();
  }
  *libraryMessages = capture.finish();
  return image;
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
  std::string messages;
  cv::Mat photo = decodeImage(path, cv::IMREAD_COLOR, &messages);
  if (photo.empty())
    return Status::failure("not an image the reader can decode" +
                           firstLineOf(messages));
  // What the libraries said about an image they could read (a warning on a
  // damaged JPEG, say) reaches standard error as before.
  std::fputs(messages.c_str(), stderr);
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
  std::string messages;
  cv::Mat mask = decodeImage(path, cv::IMREAD_COLOR, &messages);
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
