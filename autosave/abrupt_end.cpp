#include "autosave/abrupt_end.h"

#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

#include "autosave/autosave.h"
#include "files/photo_lock.h"

namespace scribeline {
namespace {

std::mutex sessionMutex;
Autosaver* sessionAutosaver = nullptr;  // guarded by sessionMutex

sigset_t watchedSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGHUP);
  sigaddset(&signals, SIGINT);
  return signals;
}

// Standard output without the stream's buffer: another thread may be in the
// middle of a console message, and the process ends right after.
void printRaw(const std::string& line) {
  size_t done = 0;
  while (done < line.size()) {
    const ssize_t written =
        ::write(STDOUT_FILENO, line.data() + done, line.size() - done);
    if (written <= 0) return;
    done += static_cast<size_t>(written);
  }
}

// REQUIRES: sessionMutex held.
void saveSessionWork() {
  if (sessionAutosaver == nullptr) return;
  const Status flushed = sessionAutosaver->flush();
  if (!flushed.ok()) {
    printRaw("Could not autosave the mask to " + sessionAutosaver->path() +
             ": " + flushed.reason() + "\n");
  } else if (sessionAutosaver->holdsWork()) {
    printRaw("Autosaved the mask to " + sessionAutosaver->path() + "\n");
  }
}

void waitForSignals() {
  const sigset_t signals = watchedSignals();
  for (;;) {
    int signal = 0;
    if (sigwait(&signals, &signal) != 0) continue;
    std::lock_guard<std::mutex> lock(sessionMutex);
    saveSessionWork();
    releaseHeldPhotoLocks();
    ::_exit(128 + signal);
  }
}

void saveAtExit() {
  std::lock_guard<std::mutex> lock(sessionMutex);
  saveSessionWork();
  sessionAutosaver = nullptr;
  releaseHeldPhotoLocks();
}

}  // namespace

void watchForAbruptEnds() {
  // A write beyond the file size limit (ulimit -f) fails with EFBIG, and is
  // reported like a full disk, instead of ending the process with the work.
  ::signal(SIGXFSZ, SIG_IGN);
  const sigset_t signals = watchedSignals();
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  std::thread(waitForSignals).detach();
  std::atexit(saveAtExit);
}

void setSessionAutosaver(Autosaver* autosaver) {
  std::lock_guard<std::mutex> lock(sessionMutex);
  sessionAutosaver = autosaver;
}

void endAfterDisplayLost() {
  {
    std::lock_guard<std::mutex> lock(sessionMutex);
    saveSessionWork();
  }
  releaseHeldPhotoLocks();
  ::_exit(kDisplayLostStatus);
}

}  // namespace scribeline
