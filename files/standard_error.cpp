#include "files/standard_error.h"

#include <unistd.h>

#include <cstdio>
#include <iostream>

namespace scribeline {
namespace {

std::mutex standardErrorMutex;

// Everything buffered on the way to descriptor 2 goes out now, so that it
// lands on the side of the switch it was written on.
void flushStandardError() {
  std::cerr.flush();
  std::clog.flush();
  std::fflush(stderr);
}

std::string readAll(std::FILE* file) {
  std::string text;
  std::rewind(file);
  char chunk[512];
  for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, file)) > 0;)
    text.append(chunk, got);
  return text;
}

}  // namespace

std::unique_lock<std::mutex> holdStandardError() {
  return std::unique_lock<std::mutex>(standardErrorMutex);
}

std::string captureStandardError(const std::function<void()>& call) {
  // Made before the lock is taken and read after it is given back: the lock
  // is held only while the descriptor is switched.
  std::FILE* file = std::tmpfile();
  {
    const std::unique_lock<std::mutex> held = holdStandardError();
    int saved = -1;
    if (file != nullptr) {
      flushStandardError();
      saved = ::dup(STDERR_FILENO);
      if (saved >= 0 && ::dup2(::fileno(file), STDERR_FILENO) < 0) {
        ::close(saved);
        saved = -1;
      }
    }
    const auto restore = [saved] {
      if (saved < 0) return;
      flushStandardError();
      ::dup2(saved, STDERR_FILENO);
      ::close(saved);
    };
    try {
      call();
    } catch (...) {
      restore();
      if (file != nullptr) std::fclose(file);
      throw;
    }
    restore();
    if (saved < 0) {
      if (file != nullptr) std::fclose(file);
      return {};
    }
  }
  std::string text = readAll(file);
  std::fclose(file);
  return text;
}

}  // namespace scribeline
