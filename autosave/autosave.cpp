#include "autosave/autosave.h"

#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "files/mask_file.h"
#include "files/photo_list.h"

namespace scribeline {
namespace {

constexpr char kAutosaveSuffix[] = "_Mask.autosave.png";

std::string absolutePath(const std::string& path) {
  char resolved[PATH_MAX];
  if (::realpath(path.c_str(), resolved) != nullptr) return resolved;
  if (!path.empty() && path[0] == '/') return path;
  char cwd[PATH_MAX];
  if (::getcwd(cwd, sizeof cwd) == nullptr) return path;
  return std::string(cwd) + "/" + path;
}

// FNV-1a, 64 bits: stable across runs and builds.
uint64_t pathHash(const std::string& text) {
  uint64_t hash = 14695981039346656037ull;
  for (const unsigned char c : text) {
    hash ^= c;
    hash *= 1099511628211ull;
  }
  return hash;
}

// Creates the folder and its missing parents, private to the user.
bool makeFolders(const std::string& folder) {
  for (size_t slash = 1; slash != std::string::npos;) {
    slash = folder.find('/', slash + 1);
    const std::string part = folder.substr(0, slash);
    if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  struct stat info;
  return ::stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

std::string autosavePathBeside(const std::string& imagePath) {
  return imagePath + kAutosaveSuffix;
}

std::string autosaveStateFolder() {
  const char* state = std::getenv("XDG_STATE_HOME");
  if (state != nullptr && state[0] == '/')
    return std::string(state) + "/scribeline";
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] == '/')
    return std::string(home) + "/.local/state/scribeline";
  return std::string();
}

std::string autosavePathInFolder(const std::string& imagePath,
                                 const std::string& stateFolder) {
  char hash[17];
  std::snprintf(
      hash, sizeof hash, "%016llx",
      static_cast<unsigned long long>(pathHash(absolutePath(imagePath))));
  // Names are kept short enough for any file system.
  const std::string name = fileNameOf(imagePath).substr(0, 160);
  return stateFolder + "/" + name + "-" + hash + kAutosaveSuffix;
}

namespace {

// Whether a file can be made in the folder: tried, since permission bits
// alone say nothing of read-only mounts, and nothing to a superuser.
bool canCreateFileIn(const std::string& folder) {
  std::string probe = folder + "/.scribeline-probe-XXXXXX";
  const int fd = ::mkstemp(probe.data());
  if (fd < 0) return false;
  ::close(fd);
  ::unlink(probe.c_str());
  return true;
}

}  // namespace

std::string chooseAutosavePath(const std::string& imagePath) {
  if (canCreateFileIn(folderOf(imagePath)))
    return autosavePathBeside(imagePath);
  const std::string state = autosaveStateFolder();
  if (state.empty() || !makeFolders(state))
    return autosavePathBeside(imagePath);
  return autosavePathInFolder(imagePath, state);
}

std::vector<std::string> autosaveCandidates(const std::string& imagePath) {
  std::vector<std::string> candidates = {autosavePathBeside(imagePath)};
  const std::string state = autosaveStateFolder();
  if (!state.empty())
    candidates.push_back(autosavePathInFolder(imagePath, state));
  return candidates;
}

Autosaver::Autosaver(std::string path, std::chrono::milliseconds delay)
    : path_(std::move(path)), delay_(delay), thread_([this] { run(); }) {}

Autosaver::~Autosaver() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void Autosaver::noteChange(const cv::Mat& mask) {
  std::lock_guard<std::mutex> lock(mutex_);
  // The writer may still hold the previous copy: never write into it.
  if (writerHolds_) pending_ = cv::Mat();
  mask.copyTo(pending_);
  if (notedGeneration_ == writtenGeneration_)
    firstUnwritten_ = std::chrono::steady_clock::now();
  ++notedGeneration_;
  wake_.notify_all();
}

bool Autosaver::holdsWork() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return everWritten_;
}

Status Autosaver::flush() {
  std::lock_guard<std::mutex> writing(writeMutex_);
  return writePending();
}

Status Autosaver::writePending() {
  cv::Mat state;
  uint64_t generation;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (discarded_) return Status::failure("the autosave was discarded");
    if (notedGeneration_ == writtenGeneration_) return {};
    generation = notedGeneration_;
    state = pending_;
    writerHolds_ = true;
  }
  Status written = writeMaskFile(state, path_);
  state.release();
  std::lock_guard<std::mutex> lock(mutex_);
  writerHolds_ = false;
  if (written.ok()) {
    writtenGeneration_ = std::max(writtenGeneration_, generation);
    everWritten_ = true;
  } else {
    // Tried again after the delay, or at once by flush.
    firstUnwritten_ = std::chrono::steady_clock::now();
  }
  return written;
}

void Autosaver::run() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stopping_) {
    if (notedGeneration_ == writtenGeneration_) {
      wake_.wait(lock);
      continue;
    }
    const auto due = firstUnwritten_ + delay_;
    if (wake_.wait_until(lock, due, [this] { return stopping_; })) break;
    if (std::chrono::steady_clock::now() < due) continue;
    lock.unlock();
    {
      std::lock_guard<std::mutex> writing(writeMutex_);
      // A failure is tried again; flush() reports one to its caller.
      writePending();
    }
    lock.lock();
  }
}

void Autosaver::discard() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
  std::lock_guard<std::mutex> writing(writeMutex_);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    discarded_ = true;
  }
  ::unlink(path_.c_str());
}

}  // namespace scribeline
