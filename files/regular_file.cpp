#include "files/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace scribeline {
namespace {

std::string kindOf(mode_t mode) {
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
  if (S_ISSOCK(mode)) return "a socket";
  return "a special file";
}

}  // namespace

Result<int> openRegularFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return Status::failure(std::strerror(errno));
  struct stat status {};
  Status refused;
  if (::fstat(fd, &status) != 0) {
    refused = Status::failure(std::strerror(errno));
  } else if (!S_ISREG(status.st_mode)) {
    refused = Status::failure(kindOf(status.st_mode) + ", not a regular file");
  } else {
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
  }
  ::close(fd);
  return refused;
}

Result<std::string> readUpTo(int fd, std::size_t limit) {
  constexpr std::size_t kChunk = 1 << 16;
  std::string into;
  while (into.size() < limit) {
    const std::size_t before = into.size();
    const std::size_t wanted = std::min(kChunk, limit - before);
    into.resize(before + wanted);
    const ssize_t got = ::read(fd, into.data() + before, wanted);
    into.resize(before + (got > 0 ? static_cast<std::size_t>(got) : 0));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return Status::failure(std::strerror(errno));
    if (got == 0) break;
  }
  return into;
}

}  // namespace scribeline
