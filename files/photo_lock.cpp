#include "files/photo_lock.h"

#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <limits>
#include <mutex>
#include <sstream>
#include <vector>

#include "files/photo_list.h"
#include "files/regular_file.h"

namespace scribeline {
namespace {

constexpr char kLockSuffix[] = "_Mask.lock";
// A lock file is a few short lines; anything longer is not one.
constexpr size_t kLockFileLimit = 4096;
// Rounds of judging and taking over a stale lock before giving up: each
// round is lost only to another process changing the file meanwhile.
constexpr int kTakeOverRounds = 4;

std::string errorText(int error) { return std::strerror(error); }

std::string trimmed(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  const size_t last = text.find_last_not_of(" \t\r\n");
  return std::string(text.substr(first, last - first + 1));
}

// One line of a lock file holds one value: line breaks become blanks.
std::string oneLine(std::string text) {
  for (char& c : text)
    if (c == '\n' || c == '\r') c = ' ';
  return text;
}

std::string firstLineOf(const std::string& path) {
  std::ifstream file(path);
  std::string line;
  std::getline(file, line);
  return trimmed(line);
}

std::string hostName() {
  char name[HOST_NAME_MAX + 1] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return "localhost";
  return name;
}

std::string userName() {
  const uid_t uid = ::geteuid();
  std::vector<char> buffer(16384);
  passwd entry;
  passwd* found = nullptr;
  if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 &&
      found != nullptr && found->pw_name != nullptr)
    return found->pw_name;
  if (const char* user = std::getenv("USER"); user != nullptr && *user != 0)
    return user;
  return std::to_string(uid);
}

std::string localTimeNow() {
  const std::time_t now = std::time(nullptr);
  std::tm parts{};
  char text[64] = {};
  if (::localtime_r(&now, &parts) == nullptr ||
      std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S %z", &parts) == 0)
    return {};
  return text;
}

// Two fields of /proc/PID/stat, read after the command name (which may hold
// blanks and parentheses itself): the state (field 3) and the start time
// (field 22).
struct ProcessStat {
  char state = '?';
  unsigned long long startTicks = 0;
};

std::optional<ProcessStat> readProcessStat(long pid) {
  std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(file)),
                   std::istreambuf_iterator<char>());
  const size_t close = text.rfind(')');
  if (close == std::string::npos) return std::nullopt;
  std::istringstream fields(text.substr(close + 1));
  ProcessStat stat;
  std::string field;
  if (!(fields >> stat.state)) return std::nullopt;
  // Fields 4 to 21 lie between the state (3) and the start time (22).
  for (int skipped = 4; skipped < 22; ++skipped)
    if (!(fields >> field)) return std::nullopt;
  if (!(fields >> stat.startTicks)) return std::nullopt;
  return stat;
}

std::optional<unsigned long long> startOfProcess(long pid) {
  if (pid <= 0 || pid > INT_MAX) return std::nullopt;
  if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
    return std::nullopt;
  const std::optional<ProcessStat> stat = readProcessStat(pid);
  // It runs (or did a moment ago) and its record cannot be read.
  if (!stat) return 0ull;
  if (stat->state == 'Z' || stat->state == 'X') return std::nullopt;
  return stat->startTicks;
}

std::string bootIdOfThisHost() {
  return firstLineOf("/proc/sys/kernel/random/boot_id");
}

std::string resolvedPath(const std::string& path) {
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (resolved == nullptr) return path;
  std::string result = resolved;
  std::free(resolved);
  return result;
}

// The lock files of this process's PhotoLock objects: where, which file, and
// how many objects share it. Never destroyed: the ends of the process that
// release the locks run after static destruction.
struct HeldFile {
  std::string path;
  dev_t device;
  ino_t inode;
  int holders;
};
struct Registry {
  std::mutex mutex;
  std::vector<HeldFile> files;  // guarded by mutex
};
Registry& registry() {
  static Registry* const instance = new Registry;
  return *instance;
}

// Removes the file at `path` only when it is the file this process made.
void removeIfOurs(const HeldFile& held) {
  struct stat info;
  if (::lstat(held.path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
      info.st_dev == held.device && info.st_ino == held.inode)
    ::unlink(held.path.c_str());
}

bool writeAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t written = ::write(fd, text.data() + done, text.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    done += static_cast<size_t>(written);
  }
  return true;
}

// Errors that say the folder cannot take a new file of that name, so that
// the next place is tried.
bool refusesNewFiles(int error) {
  return error == EACCES || error == EPERM || error == EROFS ||
         error == ENAMETOOLONG;
}

enum class TakeAway { Removed, Changed, Refused };

// Removes the lock at `path` if it still holds `judged`: moved aside first
// (atomic), read there, and removed, or put back when it changed since it
// was judged (another process took the lock meanwhile). *error: why Refused.
TakeAway takeAway(const std::string& path, const std::string& judged,
                  int* error) {
  const std::string aside = folderOf(path) + "/." + fileNameOf(path) +
                            ".stale-" + std::to_string(::getpid());
  if (::rename(path.c_str(), aside.c_str()) != 0) {
    // Someone else removed it first: the way is free.
    if (errno == ENOENT) return TakeAway::Removed;
    *error = errno;
    return TakeAway::Refused;
  }
  std::string text;
  const Result<int> opened = openRegularFile(aside);
  if (opened.ok()) {
    text = readUpTo(opened.value(), kLockFileLimit).valueOr("");
    ::close(opened.value());
  }
  if (text == judged) {
    ::unlink(aside.c_str());
    return TakeAway::Removed;
  }
  // A lock taken meanwhile goes back where it was (unless yet another one
  // is there now).
  if (::link(aside.c_str(), path.c_str()) != 0 && errno != EEXIST)
    ::rename(aside.c_str(), path.c_str());
  ::unlink(aside.c_str());
  return TakeAway::Changed;
}

}  // namespace

const LockOwner& thisProcess() {
  static const LockOwner owner = [] {
    LockOwner made;
    made.host = hostName();
    made.pid = static_cast<long>(::getpid());
    made.user = userName();
    made.bootId = bootIdOfThisHost();
    if (const std::optional<ProcessStat> stat = readProcessStat(made.pid))
      made.processStart = stat->startTicks;
    return made;
  }();
  return owner;
}

std::string lockText(const LockOwner& owner) {
  std::string text = "host: " + oneLine(owner.host) +
                     "\npid: " + std::to_string(owner.pid) +
                     "\nuser: " + oneLine(owner.user) +
                     "\nstarted: " + oneLine(owner.started) + "\n";
  if (!owner.bootId.empty()) text += "boot: " + oneLine(owner.bootId) + "\n";
  if (owner.processStart != 0)
    text += "process-start: " + std::to_string(owner.processStart) + "\n";
  return text;
}

std::optional<LockOwner> parseLockText(std::string_view text) {
  LockOwner owner;
  bool hasPid = false;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view()
                                         : text.substr(end + 1);
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    const std::string key = trimmed(line.substr(0, colon));
    const std::string value = trimmed(line.substr(colon + 1));
    if (key == "host") {
      owner.host = value;
    } else if (key == "user") {
      owner.user = value;
    } else if (key == "started") {
      owner.started = value;
    } else if (key == "boot") {
      owner.bootId = value;
    } else if (key == "pid" || key == "process-start") {
      if (value.empty() || value[0] < '0' || value[0] > '9') continue;
      char* stop = nullptr;
      errno = 0;
      const unsigned long long number = std::strtoull(value.c_str(), &stop, 10);
      if (errno != 0 || *stop != 0) continue;
      if (key == "process-start") {
        owner.processStart = number;
      } else if (number > 0 &&
                 number <= static_cast<unsigned long long>(
                               std::numeric_limits<long>::max())) {
        owner.pid = static_cast<long>(number);
        hasPid = true;
      }
    }
  }
  if (owner.host.empty() || !hasPid) return std::nullopt;
  return owner;
}

HostFacts HostFacts::ofThisHost() {
  return {hostName(), bootIdOfThisHost(), startOfProcess};
}

bool isStale(const LockOwner& owner, const HostFacts& here) {
  if (owner.host != here.host) return false;
  if (!owner.bootId.empty() && !here.bootId.empty() &&
      owner.bootId != here.bootId)
    return true;
  const std::optional<unsigned long long> start =
      here.processStart ? here.processStart(owner.pid) : 0ull;
  if (!start) return true;
  return owner.processStart != 0 && *start != 0 && *start != owner.processStart;
}

FoundLock inspectLock(const std::string& lockPath, const HostFacts& here) {
  FoundLock found;
  const int fd =
      ::open(lockPath.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    found.problem = errno == ELOOP ? "is a symbolic link, not a lock file"
                                   : "cannot be read: " + errorText(errno);
    return found;
  }
  struct stat info;
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    found.problem = "is not a regular file";
    return found;
  }
  Result<std::string> text = readUpTo(fd, kLockFileLimit);
  ::close(fd);
  if (!text.ok()) {
    found.problem = "cannot be read: " + text.reason();
    return found;
  }
  found.text = std::move(text).value();
  found.owner = parseLockText(found.text);
  if (!found.owner) {
    found.problem = found.text.empty() ? "is empty" : "names no process";
    return found;
  }
  found.state = isStale(*found.owner, here) ? FoundLock::State::Stale
                                            : FoundLock::State::Held;
  return found;
}

std::string describeOwner(const LockOwner& owner) {
  std::string text;
  if (!owner.user.empty()) text += "user " + owner.user + ", ";
  text += "process " + std::to_string(owner.pid) + " on host " + owner.host;
  if (!owner.started.empty()) text += ", since " + owner.started;
  return text;
}

std::string lockPathBeside(const std::string& photoPath) {
  return resolvedPath(photoPath) + kLockSuffix;
}

std::string lockPathInFolder(const std::string& photoPath,
                             const std::string& folder) {
  const std::string resolved = resolvedPath(photoPath);
  char hash[17];
  std::snprintf(hash, sizeof hash, "%016llx",
                static_cast<unsigned long long>(pathHash(resolved)));
  // Names are kept short enough for any file system.
  return folder + "/" + fileNameOf(resolved).substr(0, 160) + "-" + hash +
         kLockSuffix;
}

PhotoLock::~PhotoLock() {
  Registry& held = registry();
  std::lock_guard<std::mutex> lock(held.mutex);
  for (auto file = held.files.begin(); file != held.files.end(); ++file) {
    if (file->path != path_) continue;
    if (--file->holders == 0) {
      removeIfOurs(*file);
      held.files.erase(file);
    }
    return;
  }
}

namespace {

// The one of `paths` whose lock this process holds already, now shared by
// one more holder; empty when none.
std::string shareHeldLock(const std::vector<std::string>& paths) {
  Registry& held = registry();
  std::lock_guard<std::mutex> lock(held.mutex);
  for (HeldFile& file : held.files) {
    for (const std::string& path : paths) {
      if (file.path != path) continue;
      ++file.holders;
      return path;
    }
  }
  return {};
}

}  // namespace

LockAttempt lockPhoto(const std::string& photoPath,
                      const std::string& fallbackFolder,
                      const HostFacts& here) {
  std::vector<std::string> paths = {lockPathBeside(photoPath)};
  if (!fallbackFolder.empty())
    paths.push_back(lockPathInFolder(photoPath, fallbackFolder));
  LockAttempt attempt;
  if (std::string shared = shareHeldLock(paths); !shared.empty()) {
    attempt.outcome = LockAttempt::Outcome::Taken;
    attempt.path = shared;
    attempt.lock.reset(new PhotoLock(std::move(shared)));
    return attempt;
  }
  LockOwner owner = thisProcess();
  owner.started = localTimeNow();
  const std::string text = lockText(owner);
  std::string problem = "no place for it";
  for (size_t place = 0; place < paths.size(); ++place) {
    const std::string& path = paths[place];
    if (place > 0 && !makeFolders(fallbackFolder)) {
      problem = "cannot make " + fallbackFolder;
      break;
    }
    std::optional<FoundLock> takenOver;
    for (int round = 0; round < kTakeOverRounds; ++round) {
      const int fd =
          ::open(path.c_str(),
                 O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
      if (fd >= 0) {
        struct stat info;
        const bool written = writeAll(fd, text) && ::fstat(fd, &info) == 0;
        const int error = errno;
        ::close(fd);
        if (!written) {
          ::unlink(path.c_str());
          attempt.problem = "cannot write " + path + ": " + errorText(error);
          return attempt;
        }
        {
          Registry& held = registry();
          std::lock_guard<std::mutex> lock(held.mutex);
          held.files.push_back({path, info.st_dev, info.st_ino, 1});
        }
        attempt.outcome = takenOver ? LockAttempt::Outcome::TakenOver
                                    : LockAttempt::Outcome::Taken;
        attempt.path = path;
        attempt.lock.reset(new PhotoLock(path));
        if (takenOver) attempt.found = std::move(*takenOver);
        return attempt;
      }
      const int error = errno;
      if (error != EEXIST) {
        if (!refusesNewFiles(error)) {
          attempt.problem = "cannot make " + path + ": " + errorText(error);
          return attempt;
        }
        problem = "cannot make " + path + ": " + errorText(error);
        break;
      }
      FoundLock found = inspectLock(path, here);
      if (found.state != FoundLock::State::Stale ||
          round == kTakeOverRounds - 1) {
        attempt.outcome = LockAttempt::Outcome::Held;
        attempt.path = path;
        attempt.found = std::move(found);
        return attempt;
      }
      int refusal = 0;
      const TakeAway taken = takeAway(path, found.text, &refusal);
      if (taken == TakeAway::Removed) takenOver = std::move(found);
      if (taken == TakeAway::Refused) {
        problem =
            "cannot remove the stale lock " + path + ": " + errorText(refusal);
        break;
      }
    }
  }
  attempt.problem = problem;
  return attempt;
}

void releaseHeldPhotoLocks() {
  Registry& held = registry();
  std::lock_guard<std::mutex> lock(held.mutex);
  for (const HeldFile& file : held.files) removeIfOurs(file);
  held.files.clear();
}

}  // namespace scribeline
