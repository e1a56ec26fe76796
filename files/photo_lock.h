#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace scribeline {

// The lock that keeps two instances of the program from working on one photo
// unawares: a small text file naming the process that has the photo open,
// made exclusively (O_CREAT | O_EXCL, never through a symbolic link) and
// removed when the process leaves the photo, at every end of the process
// that runs its cleanup (releaseHeldPhotoLocks). A lock left by a process
// killed outright is stale: the next process to want the photo sees that
// its process is gone and takes it over.
//
// One photo, one lock: the lock belongs to the photo's resolved path
// (realpath), so every path of the file, through symbolic links or relative
// folders, meets the same lock.

// Who holds a lock, as its file names it, one "key: value" line each:
//   host: NAME
//   pid: ID
//   user: NAME
//   started: YYYY-MM-DD HH:MM:SS +ZZZZ   (when the lock was taken)
//   boot: ID             (the host's boot, Linux's boot_id; may be absent)
//   process-start: TICKS (the process's start in clock ticks after boot)
// The last two tell a process that is gone from a later one given the same
// id.
struct LockOwner {
  std::string host;
  long pid = 0;
  std::string user;
  std::string started;
  std::string bootId;                   // empty: unknown
  unsigned long long processStart = 0;  // 0: unknown
};

// This process as its locks name it (taken once, at the first call).
const LockOwner& thisProcess();

// The text of a lock file naming `owner`.
std::string lockText(const LockOwner& owner);

// The owner a lock file's text names; none unless it names a host and a
// process id above 0 (an empty, truncated or garbled file names none).
// Unknown lines are ignored.
std::optional<LockOwner> parseLockText(std::string_view text);

// What a host knows of its own processes, for judging its locks.
struct HostFacts {
  std::string host;
  std::string bootId;  // empty: unknown
  // The start (clock ticks after boot) of the running process with this id:
  // none when no such process runs (a zombie counts as gone), 0 when one
  // runs but its start cannot be read.
  std::function<std::optional<unsigned long long>(long pid)> processStart;

  // This host, from gethostname, /proc/sys/kernel/random/boot_id and
  // /proc/PID/stat.
  static HostFacts ofThisHost();
};

// Whether a lock of `owner` is stale: it names this host and a process that
// is gone there (none runs with its id, the host has booted since, or the
// process with its id started at another time, the id being reused). The
// processes of another host cannot be seen: their locks are never stale.
bool isStale(const LockOwner& owner, const HostFacts& here);

// A lock file found in place, judged.
struct FoundLock {
  enum class State {
    Held,     // it names a running process, or one of another host
    Stale,    // it names a process of this host that is gone
    Unknown,  // it cannot be read or names no process: taken as held
  };
  State state = State::Unknown;
  std::optional<LockOwner> owner;  // as the file names it
  std::string text;                // the file's content as read
  // Unknown: why, a fragment of a sentence about the file ("cannot be read:
  // Permission denied", "names no process").
  std::string problem;
};

// Reads and judges the lock file at `lockPath` (which must exist; a missing
// one is Unknown, "cannot be read: No such file or directory").
FoundLock inspectLock(const std::string& lockPath, const HostFacts& here);

// "user alice, process 1234 on host kestrel, since 2024-05-01 12:00:00
// +0200", leaving out what the owner does not name.
std::string describeOwner(const LockOwner& owner);

// The lock file of a photo beside it: the photo's resolved path (its path as
// given when it cannot be resolved) followed by "_Mask.lock".
std::string lockPathBeside(const std::string& photoPath);

// The lock file of a photo in `folder`: the photo's file name, a hash of its
// resolved path and "_Mask.lock".
std::string lockPathInFolder(const std::string& photoPath,
                             const std::string& folder);

struct LockAttempt;

// Locks the photo: makes its lock file beside it or, when the photo's folder
// cannot take a new file (permissions, a read-only file system, a name too
// long), in `fallbackFolder` (made, private to the user, when missing; empty:
// none), unless a lock of the photo is there already. A stale lock in the
// way is taken over. `here` judges the locks found.
//
// IMPORTANT: two processes taking over the same stale lock at the same time
// do not both win: the stale file is moved aside first and removed only when
// it still holds what was judged stale; else it is put back and judged
// again.
LockAttempt lockPhoto(const std::string& photoPath,
                      const std::string& fallbackFolder,
                      const HostFacts& here = HostFacts::ofThisHost());

// A lock this process holds, made by lockPhoto. Destroying it removes the
// file, when the file at its path is still the one lockPhoto made. Locks of
// one path held together in this process (the same photo reached by two
// paths) share the file, which goes with the last of them.
class PhotoLock {
 public:
  ~PhotoLock();
  PhotoLock(const PhotoLock&) = delete;
  PhotoLock& operator=(const PhotoLock&) = delete;

  const std::string& path() const { return path_; }

 private:
  friend LockAttempt lockPhoto(const std::string& photoPath,
                               const std::string& fallbackFolder,
                               const HostFacts& here);
  explicit PhotoLock(std::string path) : path_(std::move(path)) {}

  std::string path_;
};

// The outcome of lockPhoto.
struct LockAttempt {
  enum class Outcome {
    Taken,      // this process holds the lock (`lock`)
    TakenOver,  // ditto, after removing a stale lock (`found` says whose)
    Held,       // another process holds it (`found` says who, or Unknown)
    NoLock,     // no lock file could be made (`problem`)
  };
  Outcome outcome = Outcome::NoLock;
  std::unique_ptr<PhotoLock> lock;
  std::string path;  // the lock file (all but NoLock)
  FoundLock found;
  std::string problem;  // NoLock: why
};

// Removes the lock files of every PhotoLock alive in the process, for ends
// that run no destructors (signals, the display going away, exit()). Any
// thread; the PhotoLock objects stay and remove nothing more.
void releaseHeldPhotoLocks();

}  // namespace scribeline
