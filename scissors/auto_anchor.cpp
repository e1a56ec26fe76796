#include "scissors/auto_anchor.h"

#include <algorithm>

#include "scissors/iscissor.h"

namespace scribeline {

namespace {

// Previews kept at most. Only more moves than this within rule.hold (input
// held back and then delivered at once) reach it; dropping the oldest then
// only makes a fix wait longer.
constexpr std::size_t kMostPreviews = 1024;

// Length of the common prefix of a and b, counting no further than `limit`.
std::size_t commonPrefix(const std::vector<cv::Point>& a,
                         const std::vector<cv::Point>& b, std::size_t limit) {
  const std::size_t end = std::min({limit, a.size(), b.size()});
  std::size_t n = 0;
  while (n < end && a[n] == b[n]) ++n;
  return n;
}

}  // namespace

std::vector<cv::Point> liveWireFrom(const IScissor& scissor,
                                    cv::Point pointer) {
  std::vector<cv::Point> wire = scissor.pathToSeed(pointer);
  std::reverse(wire.begin(), wire.end());
  return wire;
}

StablePrefix::StablePrefix(AnchorRule rule) : rule_(rule) {}

std::size_t StablePrefix::observe(std::vector<cv::Point> wire,
                                  AnchorClock::time_point time) {
  if (previews_.size() == kMostPreviews) previews_.pop_front();
  previews_.push_back({time, std::move(wire)});
  const Preview& newest = previews_.back();
  // Walk back from the newest preview, narrowing the shared part, to the
  // newest preview that starts a run long enough in moves and in time. Older
  // previews could only narrow it further, and every later run starts at or
  // after this one, so they are dropped.
  std::size_t shared = newest.wire.size();
  const std::size_t needed =
      static_cast<std::size_t>(std::max(rule_.previews, 1));
  for (std::size_t i = previews_.size(); i-- > 0;) {
    shared = commonPrefix(newest.wire, previews_[i].wire, shared);
    const std::size_t run = previews_.size() - i;
    if (run >= needed && newest.time - previews_[i].time >= rule_.hold) {
      previews_.erase(previews_.begin(),
                      previews_.begin() + static_cast<std::ptrdiff_t>(i));
      const std::size_t backOff =
          static_cast<std::size_t>(std::max(rule_.backOff, 0));
      const std::size_t least =
          static_cast<std::size_t>(std::max(rule_.minLength, 1));
      if (shared < backOff + least) return 0;
      return shared - backOff;
    }
  }
  return 0;
}

std::optional<cv::Point> anchorForMove(const IScissor& scissor,
                                       StablePrefix& stable, cv::Point pointer,
                                       AnchorClock::time_point time) {
  std::vector<cv::Point> wire = liveWireFrom(scissor, pointer);
  const std::size_t settled = stable.observe(wire, time);
  if (settled == 0) return std::nullopt;
  return wire[settled - 1];
}

std::vector<cv::Point> runAutoAnchoring(IScissor& scissor, cv::Point start,
                                        const std::vector<PointerMove>& moves,
                                        const AnchorRule& rule) {
  std::vector<cv::Point> anchors;
  const cv::Rect image(0, 0, scissor.width(), scissor.height());
  if (!image.contains(start)) return anchors;
  scissor.startContour(start, 0);
  scissor.seedSearch(start.x, start.y);
  StablePrefix stable(rule);
  for (const PointerMove& move : moves) {
    if (!image.contains(move.at)) continue;
    const std::optional<cv::Point> anchor =
        anchorForMove(scissor, stable, move.at, move.time);
    if (!anchor) continue;
    scissor.appendSegment(*anchor);
    scissor.seedSearch(anchor->x, anchor->y);
    stable.reset();
    anchors.push_back(*anchor);
  }
  return anchors;
}

}  // namespace scribeline
