#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <opencv2/core.hpp>
#include <optional>
#include <vector>

#include "canvas/photo_overlay.h"
#include "canvas/tool.h"
#include "scissors/auto_anchor.h"
#include "scissors/iscissor.h"

namespace scribeline {

// Colour of the live-wire preview (blue, green, red).
const cv::Scalar livePreviewColour(0, 0, 255);

// Draws every contour over the view: each point as one photo pixel in its
// label's colour, and for a closed contour the line from its first point to
// its last (thickness 1, 8-connected).
void drawScissorOverlay(const IScissor& scissor, PhotoOverlay& overlay);

// Paints the live-wire of the last search from `pointer` back to the seed,
// the seed itself excluded, in livePreviewColour.
void drawLivePreview(const IScissor& scissor, cv::Point pointer,
                     PhotoOverlay& overlay);

// The iScissor tool: presses fix points of a contour joined by live-wire
// segments, Enter and Ctrl+Enter finish it open or closed, Backspace takes
// back segments and contours, "n" and "N" write the closed contours into
// the mask. Leaving the tool discards the contour under way.
//
// A contour is under way from the press that starts it until Enter, Ctrl+
// Enter or leaving the tool ends it; it is the engine's last contour. While
// one is, the picture of each pointer move shows the live-wire from the
// pointer back to the seed; other redraws (keys, the wheel) show none, as
// they follow no pointer.
//
// Auto anchoring (Workspace::autoAnchoring): while it is on, a pointer move
// whose live-wire start has settled (StablePrefix, AnchorRule's defaults)
// fixes the end of that part exactly as a press there would: the same
// segment, the same segment length for Backspace, the search seeded there.
// The redraw of that move shows the wire from the new fixed point.
//
// The engine (the link costs of the whole photograph) is made by the
// preparation prepare returns. Before it is ready no contour can be under
// way; a press, "n" or "N" taken then is held (waitsForEngine) and done in
// onPrepared, as it would have been once the engine was ready.
//
// A rewrite of the mask that replaces pixels not written by the scissors'
// own last rewrite (the pen's paint, a solve, a loaded mask) says how many
// on the console.
class ScissorTool : public Tool {
 public:
  ScissorTool();
  ~ScissorTool() override;

  Preparation prepare(Workspace& workspace) override;
  void onPrepared(Workspace& workspace) override;
  bool waitsForEngine() const override { return !held_.empty(); }
  void drawOverlay(Workspace& workspace) override;
  void onMouse(Workspace& workspace, int event, cv::Point point,
               int flags) override;
  void onBackspace(Workspace& workspace) override;
  void onEnterKey(Workspace& workspace, int keyCode) override;
  void onLeave(Workspace& workspace) override;
  void onUpdateMask(Workspace& workspace, bool filled) override;

  // The engine; null until onPrepared.
  const IScissor* scissor() const;

  // True while a contour is under way; false before the engine is ready.
  bool contourUnderWay() const;
  // For the contour under way: the points each committed live-wire segment
  // added, oldest first; the bottom entry 0 stands for the start point.
  const std::deque<int>& segmentLengths() const { return segmentLengths_; }

  // The clock that times pointer moves for auto anchoring; steady_clock by
  // default.
  void setClock(std::function<AnchorClock::time_point()> clock) {
    clock_ = std::move(clock);
  }

 private:
  // The engine with the photograph it reads (it keeps a pointer to it),
  // shared with the preparation that makes it.
  struct Engine;

  void scissorMouse(Workspace& workspace, int event, cv::Point point);
  void undoLastSegment();
  // Ends the segment under way at `point` and seeds the search there: the
  // work of a press while a contour is under way.
  void fixPoint(IScissor& scissor, cv::Point point);
  IScissor* engine() const;

  // Written by the preparation only; the tool reads it from onPrepared on.
  std::shared_ptr<Engine> engine_;
  bool ready_ = false;
  // Work taken before the engine was ready, oldest first.
  std::vector<std::function<void(Workspace&)>> held_;
  bool contourStarted_ = false;
  // The pointer of the move being handled, for the live-wire in the redraw
  // of that move only (drawOverlay clears it).
  std::optional<cv::Point> livePointer_;
  std::deque<int> segmentLengths_;
  // The previews since the seed last moved, while auto anchoring is on.
  StablePrefix stable_;
  std::function<AnchorClock::time_point()> clock_ = [] {
    return AnchorClock::now();
  };

  // Rewrites the mask from the contours ("n", "N") and says how many pixels
  // painted otherwise it replaced (canvas/replaced_pixels.h).
  void rebuildMask(Workspace& workspace, bool filled);
  // The closed contours and the fill of the last rewrite, from which its
  // output is drawn again; empty before the first.
  struct LastOutput {
    std::vector<Contour> contours;
    bool filled;
  };
  std::optional<LastOutput> lastOutput_;
  // Whether two rewrites write the same mask.
  static bool sameOutput(const LastOutput& a, const LastOutput& b);
};

}  // namespace scribeline
