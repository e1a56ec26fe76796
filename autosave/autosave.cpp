#include "autosave/autosave.h"

#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "autosave/autosave_png.h"
#include "files/atomic_write.h"
#include "files/photo_list.h"
#include "files/regular_file.h"

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
  Result<TemporaryFile> probe = createTemporary(folder);
  if (!probe.ok()) return false;
  ::unlink(probe.value().path.c_str());
  ::close(probe.value().fd);
  return true;
}

// What is at path, when it is there and is not a regular file: "a symbolic
// link", "a folder", ...; empty otherwise.
std::string occupiedBy(const std::string& path) {
  struct stat info;
  if (::lstat(path.c_str(), &info) != 0 || S_ISREG(info.st_mode)) return "";
  return kindOfFile(info.st_mode);
}

std::string passedOverLine(const std::string& path, const std::string& kind,
                           const std::string& instead) {
  return "The autosave path " + path + " is " + kind +
         ", not a file of this program: left as it is, autosaving to " +
         instead + " instead\n";
}

cv::Rect wholeOf(const cv::Mat& mask) { return cv::Rect({0, 0}, mask.size()); }

// The smallest rectangle holding both (an empty one holds nothing).
cv::Rect unite(const cv::Rect& a, const cv::Rect& b) {
  if (a.empty()) return b;
  if (b.empty()) return a;
  return a | b;
}

// A first write's duration, before one has been measured: generous for an
// encoding of a mask of few colours (bench/autosave) and its file.
constexpr auto kFirstWritePerPixel = std::chrono::nanoseconds(40);

}  // namespace

AutosavePlace chooseAutosavePlace(const std::string& imagePath) {
  AutosavePlace place;
  const std::string beside = autosavePathBeside(imagePath);
  const std::string besideKind = occupiedBy(beside);
  if (besideKind.empty() && canCreateFileIn(folderOf(imagePath))) {
    place.path = beside;
    return place;
  }
  const std::string state = autosaveStateFolder();
  if (state.empty() || !makeFolders(state)) {
    // Nowhere else: the writes say why they fail.
    place.path = beside;
    return place;
  }
  place.path = autosavePathInFolder(imagePath, state);
  if (!besideKind.empty())
    place.notice = passedOverLine(beside, besideKind, place.path);
  return place;
}

std::string chooseAutosavePath(const std::string& imagePath) {
  return chooseAutosavePlace(imagePath).path;
}

std::vector<std::string> autosaveCandidates(const std::string& imagePath) {
  std::vector<std::string> candidates = {autosavePathBeside(imagePath)};
  const std::string state = autosaveStateFolder();
  if (!state.empty())
    candidates.push_back(autosavePathInFolder(imagePath, state));
  return candidates;
}

std::string declinedAutosavePath(const std::string& autosavePath) {
  return autosavePath + "~";
}

std::string unusableAutosavePath(const std::string& autosavePath) {
  return autosavePath + ".unusable";
}

void printLineFromAnyThread(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fflush(stdout);
}

Autosaver::Autosaver(std::string path, AutosaveOptions options)
    : path_(std::move(path)),
      options_(std::move(options)),
      thread_([this] { run(); }) {}

Autosaver::~Autosaver() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void Autosaver::noteChange(const cv::Mat& mask) {
  notePaint(mask, wholeOf(mask));
}

void Autosaver::notePaint(const cv::Mat& mask, const cv::Rect& area) {
  const cv::Rect changed = area & wholeOf(mask);
  std::lock_guard<std::mutex> lock(mutex_);
  for (int i = 0; i < 2; ++i) {
    if (buffers_[i].size() != mask.size() || buffers_[i].type() != mask.type())
      stale_[i] = wholeOf(mask);
    else
      stale_[i] = unite(stale_[i], changed);
  }
  // The newest state goes into a buffer the writer does not hold.
  const int target = current_ >= 0 && current_ != held_ ? current_
                     : held_ == 0                       ? 1
                                                        : 0;
  cv::Mat& buffer = buffers_[target];
  if (buffer.size() != mask.size() || buffer.type() != mask.type())
    buffer.create(mask.size(), mask.type());
  if (!stale_[target].empty())
    mask(stale_[target]).copyTo(buffer(stale_[target]));
  stale_[target] = cv::Rect();
  current_ = target;
  if (notedGeneration_ == takenGeneration_) firstUntaken_ = Clock::now();
  ++notedGeneration_;
  wake_.notify_all();
}

bool Autosaver::holdsWork() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return everWritten_;
}

Status Autosaver::flush() {
  Status written;
  {
    std::lock_guard<std::mutex> writing(writeMutex_);
    written = writePending();
  }
  if (written.ok()) {
    // The caller says that the file holds the work.
    std::lock_guard<std::mutex> lock(mutex_);
    failing_ = false;
  }
  return written;
}

Status Autosaver::writePending() {
  cv::Mat state;
  uint64_t generation;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (discarded_) return Status::failure("the autosave was discarded");
    if (notedGeneration_ == writtenGeneration_) return {};
    generation = notedGeneration_;
    takenGeneration_ = generation;
    held_ = current_;
    state = buffers_[held_];
  }
  const Clock::time_point start = Clock::now();
  const Result<std::vector<unsigned char>> png = encodeAutosavePng(state);
  const Status written =
      png.ok() ? replaceOwnFile(path_, png.value().data(), png.value().size())
               : png.status();
  const Clock::time_point end = Clock::now();
  std::lock_guard<std::mutex> lock(mutex_);
  held_ = -1;
  if (written.ok()) {
    lastWrite_ = end - start;
    writtenGeneration_ = std::max(writtenGeneration_, generation);
    everWritten_ = true;
  } else {
    // What the write took is not written: it waits for the next try.
    takenGeneration_ = writtenGeneration_;
    firstUntaken_ = end;
    retryAt_ = end + options_.retry;
  }
  return written;
}

Autosaver::Clock::time_point Autosaver::nextWriteDue() const {
  Clock::duration expected = lastWrite_;
  if (expected == Clock::duration::zero() && current_ >= 0)
    expected = kFirstWritePerPixel * buffers_[current_].total();
  // Room for a write slower than the last one (a busy machine) and for the
  // thread's own wake-up.
  expected = expected * 3 / 2 + std::chrono::milliseconds(150);
  const Clock::duration wait =
      std::max(Clock::duration::zero(),
               Clock::duration(options_.delay) -
                   std::min<Clock::duration>(expected, options_.delay));
  return std::max(firstUntaken_ + wait, retryAt_);
}

void Autosaver::run() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stopping_) {
    if (notedGeneration_ == writtenGeneration_) {
      wake_.wait(lock);
      continue;
    }
    const Clock::time_point due = nextWriteDue();
    if (wake_.wait_until(lock, due, [this] { return stopping_; })) break;
    if (Clock::now() < nextWriteDue()) continue;
    lock.unlock();
    Status written;
    {
      std::lock_guard<std::mutex> writing(writeMutex_);
      written = writePending();
    }
    lock.lock();
    std::string line;
    if (!written.ok() && !failing_ && !discarded_) {
      failing_ = true;
      line = "Could not autosave the mask to " + path_ + ": " +
             written.reason() + "; trying again every " +
             std::to_string(std::chrono::duration_cast<std::chrono::seconds>(
                                options_.retry)
                                .count()) +
             " s\n";
    } else if (written.ok() && failing_) {
      failing_ = false;
      line = "Autosaved the mask to " + path_ + " again\n";
    }
    if (!line.empty() && options_.report) {
      lock.unlock();
      options_.report(line);
      lock.lock();
    }
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
  // Only a file of this program's: whatever else was put there stays.
  struct stat info;
  if (::lstat(path_.c_str(), &info) == 0 && S_ISREG(info.st_mode))
    ::unlink(path_.c_str());
}

}  // namespace scribeline
