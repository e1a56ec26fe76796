#include "files/atomic_write.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "files/photo_list.h"

namespace scribeline {
namespace {

// Fixed when the program's static objects are made, before main.
const std::chrono::system_clock::time_point kProgramStart =
    std::chrono::system_clock::now();

constexpr std::size_t kRandomLength = 6;  // the XXXXXX of mkostemp

// Writes all bytes, retrying short writes and interrupted calls.
bool writeAll(int fd, const unsigned char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(fd, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

// mkostemp creates the file readable by its owner only; the file gets the
// permission bits of the file it replaces, or those an ordinary new file
// would get.
void applyPermissions(int fd, const struct stat* replaced) {
  if (replaced != nullptr) {
    ::fchmod(fd, replaced->st_mode & 07777);
    return;
  }
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, 0666 & ~mask);
}

void syncFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

// Refuses what is at `path` when it is there and not a regular file.
Status regularOrAbsent(const std::string& path) {
  struct stat info;
  if (::lstat(path.c_str(), &info) != 0 || S_ISREG(info.st_mode)) return {};
  return Status::failure(path + " is " + kindOfFile(info.st_mode) +
                         ", not a file of this program");
}

// Fills the temporary, flushes it to the disk and renames it over `path`
// (after `check` allows it, when given); removes it on any failure. The
// descriptor stays open, and the temporary locked, until the rename is done.
Status fillAndRename(const TemporaryFile& temporary, const std::string& path,
                     const unsigned char* data, std::size_t size,
                     const struct stat* replaced,
                     Status (*check)(const std::string&)) {
  applyPermissions(temporary.fd, replaced);
  Status failed;
  if (!writeAll(temporary.fd, data, size) || ::fsync(temporary.fd) != 0)
    failed = Status::failure(std::strerror(errno));
  if (failed.ok() && check != nullptr) failed = check(path);
  if (failed.ok() && ::rename(temporary.path.c_str(), path.c_str()) != 0)
    failed = Status::failure(std::strerror(errno));
  if (!failed.ok()) ::unlink(temporary.path.c_str());
  // Once fsync has succeeded, close has nothing left to report.
  ::close(temporary.fd);
  if (!failed.ok()) return failed;
  // The rename itself reaches the disk with the folder.
  syncFolder(folderOf(path));
  return {};
}

std::chrono::system_clock::time_point modificationTime(
    const struct stat& info) {
  return std::chrono::system_clock::time_point(
      std::chrono::duration_cast<std::chrono::system_clock::duration>(
          std::chrono::seconds(info.st_mtim.tv_sec) +
          std::chrono::nanoseconds(info.st_mtim.tv_nsec)));
}

// Removes the temporary at `path` when it is stale (see
// removeStaleTemporaries). The file is judged through one descriptor, and
// removed only if the name still leads to that file.
bool removeIfStale(const std::string& path,
                   std::chrono::system_clock::time_point before) {
  const int fd =
      ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  bool removed = false;
  struct stat info;
  struct stat named;
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
      modificationTime(info) < before && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
      ::lstat(path.c_str(), &named) == 0 && named.st_dev == info.st_dev &&
      named.st_ino == info.st_ino) {
    removed = ::unlink(path.c_str()) == 0;
  }
  ::close(fd);
  return removed;
}

}  // namespace

bool isTemporaryName(const std::string& name) {
  const std::size_t prefix = sizeof kTemporaryPrefix - 1;
  if (name.size() != prefix + kRandomLength ||
      name.compare(0, prefix, kTemporaryPrefix) != 0) {
    return false;
  }
  for (std::size_t i = prefix; i < name.size(); ++i) {
    const char c = name[i];
    const bool alphanumeric = (c >= 'a' && c <= 'z') ||
                              (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    if (!alphanumeric) return false;
  }
  return true;
}

Result<TemporaryFile> createTemporary(const std::string& folder) {
  TemporaryFile temporary;
  temporary.path = folder + "/" + kTemporaryPrefix + "XXXXXX";
  temporary.fd = ::mkostemp(temporary.path.data(), O_CLOEXEC);
  if (temporary.fd < 0) return Status::failure(std::strerror(errno));
  // Uncontended: the file is new. Held until the descriptor is closed.
  ::flock(temporary.fd, LOCK_EX | LOCK_NB);
  return temporary;
}

Result<std::string> freeTemporaryName(const std::string& folder) {
  Result<TemporaryFile> made = createTemporary(folder);
  if (!made.ok()) return made.status();
  ::unlink(made.value().path.c_str());
  ::close(made.value().fd);
  return made.value().path;
}

Status linkAtomically(const std::string& path, const std::string& name) {
  const Result<std::string> temporary = freeTemporaryName(folderOf(name));
  if (!temporary.ok()) return temporary.status();
  if (::link(path.c_str(), temporary.value().c_str()) != 0)
    return Status::failure(std::strerror(errno));
  Status renamed;
  if (::rename(temporary.value().c_str(), name.c_str()) != 0)
    renamed = Status::failure(std::strerror(errno));
  // Gone after a rename, except when `name` was the same file already.
  ::unlink(temporary.value().c_str());
  return renamed;
}

Status replaceAtomically(const std::string& path, const void* data,
                         std::size_t size, const struct stat* replaced) {
  Result<TemporaryFile> temporary = createTemporary(folderOf(path));
  if (!temporary.ok()) return temporary.status();
  return fillAndRename(temporary.value(), path,
                       static_cast<const unsigned char*>(data), size, replaced,
                       nullptr);
}

Status replaceOwnFile(const std::string& path, const void* data,
                      std::size_t size) {
  const Status usable = regularOrAbsent(path);
  if (!usable.ok()) return usable;
  struct stat existing;
  const bool replacing = ::lstat(path.c_str(), &existing) == 0;
  Result<TemporaryFile> temporary = createTemporary(folderOf(path));
  if (!temporary.ok()) return temporary.status();
  // Looked at again just before the rename: something may have been put
  // there meanwhile.
  return fillAndRename(temporary.value(), path,
                       static_cast<const unsigned char*>(data), size,
                       replacing ? &existing : nullptr, regularOrAbsent);
}

std::string kindOfFile(mode_t mode) {
  if (S_ISREG(mode)) return "a regular file";
  if (S_ISLNK(mode)) return "a symbolic link";
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
  if (S_ISSOCK(mode)) return "a socket";
  return "a special file";
}

std::chrono::system_clock::time_point programStartTime() {
  return kProgramStart;
}

std::vector<std::string> removeStaleTemporaries(
    const std::string& folder, std::chrono::system_clock::time_point before) {
  std::vector<std::string> names;
  if (DIR* listing = ::opendir(folder.c_str())) {
    while (const dirent* entry = ::readdir(listing))
      if (isTemporaryName(entry->d_name)) names.push_back(entry->d_name);
    ::closedir(listing);
  }
  std::vector<std::string> removed;
  for (const std::string& name : names) {
    const std::string path = folder + "/" + name;
    if (removeIfStale(path, before)) removed.push_back(path);
  }
  return removed;
}

}  // namespace scribeline
