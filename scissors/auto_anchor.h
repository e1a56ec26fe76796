#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <opencv2/core.hpp>
#include <optional>
#include <vector>

namespace scribeline {

class IScissor;

// The clock the pointer moves are timed by.
using AnchorClock = std::chrono::steady_clock;

// When the start of the live-wire counts as settled and is fixed. The wire
// of each pointer move is one preview; the part next to the seed that a run
// of previews share is settled when the run is long in moves AND in time:
// a fast sweep gives many previews in little time, a pause few previews in
// much time, and neither fixes anything on its own.
struct AnchorRule {
  // Previews that must share the part, the newest included.
  int previews = 6;
  // Time from the oldest of those previews to the newest.
  std::chrono::milliseconds hold{300};
  // Points given up at the end where the previews part ways: the wires
  // branch there, so its last few pixels are the least certain.
  int backOff = 3;
  // Fewest points one fix takes; shorter settled parts wait.
  int minLength = 12;
};

// The live-wire of the last search from its seed to `pointer`, seed side
// first, the seed itself excluded (what a press on `pointer` would append).
std::vector<cv::Point> liveWireFrom(const IScissor& scissor, cv::Point pointer);

// Watches the previews from one seed and says when part of them has
// settled. Every wire comes from the same tree of cheapest paths, so two
// wires share a prefix and never meet again once they part; the part the
// run shares is the shortest of the newest wire's common prefixes with the
// others.
//
// The previews kept are those the rule may still need: the run ending at the
// newest preview that just meets both counts, and any newer ones.
class StablePrefix {
 public:
  explicit StablePrefix(AnchorRule rule = {});

  const AnchorRule& rule() const { return rule_; }

  // Records the preview `wire` (seed side first, seed excluded) of the move
  // at `time` and returns how many of its leading points are settled: 0, or
  // at least rule().minLength. Times must not go backwards.
  std::size_t observe(std::vector<cv::Point> wire,
                      AnchorClock::time_point time);

  // Forgets every preview: the seed moved, or the previews stop counting.
  void reset() { previews_.clear(); }

 private:
  struct Preview {
    AnchorClock::time_point time;
    std::vector<cv::Point> wire;
  };

  AnchorRule rule_;
  std::deque<Preview> previews_;
};

// The point a pointer move fixes, if any: the end of the settled part of the
// wire to `pointer`. The caller fixes it as a press there would (its segment
// appended, the search seeded there) and resets `stable`.
// REQUIRES: a search has run on `scissor` and every preview `stable` holds
// came from that search.
std::optional<cv::Point> anchorForMove(const IScissor& scissor,
                                       StablePrefix& stable, cv::Point pointer,
                                       AnchorClock::time_point time);

// One pointer position of a scripted pointer path.
struct PointerMove {
  cv::Point at;
  AnchorClock::time_point time;
};

// A contour drawn with automatic anchoring only, without windows: starts a
// contour at `start` (label 0), takes `moves` in order as the iScissor tool
// takes pointer moves with auto anchoring on, and returns the points fixed,
// oldest first. The contour stays under way as the engine's last contour,
// its last point the last fixed point, and the search is seeded there.
// Moves outside the image are skipped.
std::vector<cv::Point> runAutoAnchoring(IScissor& scissor, cv::Point start,
                                        const std::vector<PointerMove>& moves,
                                        const AnchorRule& rule = {});

}  // namespace scribeline
