#include "files/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "files/atomic_write.h"

namespace scribeline {

Result<int> openRegularFile(const std::string& path, Links links) {
  const int flags = O_RDONLY | O_NONBLOCK | O_CLOEXEC |
                    (links == Links::kRefuse ? O_NOFOLLOW : 0);
  const int fd = ::open(path.c_str(), flags);
  if (fd < 0) {
    const int error = errno;
    struct stat info;
    if (error == ELOOP && links == Links::kRefuse &&
        ::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
      return Status::failure("a symbolic link, not a regular file");
    }
    return Status::failure(std::strerror(error));
  }
  struct stat status {};
  Status refused;
  if (::fstat(fd, &status) != 0) {
    refused = Status::failure(std::strerror(errno));
  } else if (!S_ISREG(status.st_mode)) {
    refused =
        Status::failure(kindOfFile(status.st_mode) + ", not a regular file");
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

uint64_t pathHash(const std::string& text) {
  uint64_t hash = 14695981039346656037ull;
  for (const unsigned char c : text) {
    hash ^= c;
    hash *= 1099511628211ull;
  }
  return hash;
}

bool makeFolders(const std::string& folder) {
  for (size_t slash = 1; slash != std::string::npos;) {
    slash = folder.find('/', slash + 1);
    const std::string part = folder.substr(0, slash);
    if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  struct stat info;
  return ::stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace scribeline
