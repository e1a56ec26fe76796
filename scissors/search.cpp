#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <new>

#include "scissors/iscissor.h"
#include "scissors/live_wire_search.h"

namespace scribeline {

namespace {

// Pixels the thread settling ahead settles at a time; a call waiting for the
// search stops the batch within a few dozen pixels.
constexpr std::size_t kAheadBatch = 4096;
// Its nice value where idle scheduling is refused.
constexpr int kAheadNice = 10;

}  // namespace

void IScissor::settleAhead(bool on) {
  if (on == ahead_.joinable()) return;
  if (on) {
    aheadStop_ = false;
    ahead_ = std::thread([this] { settleAheadLoop(); });
    return;
  }
  {
    const SearchAccess access(*this);
    aheadStop_ = true;
  }
  ahead_.join();
}

void IScissor::settleAheadLoop() {
  // Idle priority: the thread runs only on a core nothing else wants (the
  // key loop, the X server drawing its pictures, a preparation).
  sched_param idle{};
  if (pthread_setschedparam(pthread_self(), SCHED_IDLE, &idle) != 0)
    setpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)),
                kAheadNice);
  std::unique_lock<std::recursive_mutex> lock(searchMutex_);
  while (!aheadStop_) {
    if (callsWaiting_.load() > 0 || !search_.started() || search_.finished()) {
      aheadWake_.wait(lock);
      continue;
    }
    try {
      search_.settleMore(kAheadBatch, callsWaiting_);
    } catch (const std::bad_alloc&) {
      // The heap could not grow: the calls settle what they need themselves
      // (and meet the shortage there).
      return;
    }
  }
}

std::size_t IScissor::settledCount() const {
  const SearchAccess access(*this);
  return search_.settledCount();
}

bool IScissor::hasSearched() const {
  const SearchAccess access(*this);
  return search_.started();
}

void IScissor::searchFromSeed(int x, int y) {
  if (!inside(x, y)) return;
  const SearchAccess access(*this);
  seedSearch(x, y);
  search_.settleAll();
}

void IScissor::seedSearch(int x, int y) {
  if (!inside(x, y)) return;
  const SearchAccess access(*this);
  search_.start(gridIndex(x, y));
  seed_ = cv::Point(x, y);
}

bool IScissor::settle(cv::Point pixel) const {
  const SearchAccess access(*this);
  if (!search_.started() || !inside(pixel.x, pixel.y)) return false;
  search_.settle(gridIndex(pixel.x, pixel.y));
  return true;
}

std::optional<cv::Point> IScissor::predecessor(cv::Point at) const {
  const SearchAccess access(*this);
  if (!settle(at)) return std::nullopt;
  const std::uint8_t k = search_.prevDirection(gridIndex(at.x, at.y));
  if (k == LiveWireSearch::kNoPredecessor) return std::nullopt;
  return cv::Point(at.x - directionOffsets[k].dx,
                   at.y - directionOffsets[k].dy);
}

std::vector<cv::Point> IScissor::pathToSeed(cv::Point from) const {
  std::vector<cv::Point> path;
  const SearchAccess access(*this);
  // The predecessor of a settled pixel is settled: settling `from` settles
  // its whole path.
  if (!settle(from)) return path;
  cv::Point at = from;
  for (std::uint8_t k = search_.prevDirection(gridIndex(at.x, at.y));
       k != LiveWireSearch::kNoPredecessor;
       k = search_.prevDirection(gridIndex(at.x, at.y))) {
    path.push_back(at);
    at.x -= directionOffsets[k].dx;
    at.y -= directionOffsets[k].dy;
  }
  return path;
}

}  // namespace scribeline
