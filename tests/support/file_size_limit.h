// A full disk for the writes of one test, without a disk: the file size
// limit (RLIMIT_FSIZE) of the process. A write past it fails with EFBIG, as
// one on a full disk fails with ENOSPC, and SIGXFSZ is ignored meanwhile so
// that the process is not ended by it (the program ignores it too).
#pragma once

#include <signal.h>
#include <sys/resource.h>

#include <cstdint>

namespace scribeline {

// Lowers the soft limit for its lifetime; the old limit and signal
// disposition come back with its end. REQUIRES: no other thread of the
// process writes files meanwhile except the code under test.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(std::uint64_t bytes) {
    previousHandler_ = ::signal(SIGXFSZ, SIG_IGN);
    ::getrlimit(RLIMIT_FSIZE, &previous_);
    rlimit lowered = previous_;
    lowered.rlim_cur = static_cast<rlim_t>(bytes);
    ::setrlimit(RLIMIT_FSIZE, &lowered);
  }
  ~FileSizeLimit() { lift(); }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

  // Space is back: the old limit, before the object ends.
  void lift() {
    if (lifted_) return;
    lifted_ = true;
    ::setrlimit(RLIMIT_FSIZE, &previous_);
    ::signal(SIGXFSZ, previousHandler_);
  }

 private:
  rlimit previous_{};
  void (*previousHandler_)(int) = SIG_DFL;
  bool lifted_ = false;
};

}  // namespace scribeline
