#pragma once

#include <array>
#include <functional>
#include <memory>
#include <opencv2/core.hpp>
#include <ostream>
#include <string>
#include <string_view>

#include "canvas/history.h"
#include "canvas/opacity.h"
#include "canvas/tool.h"
#include "canvas/view_scratch.h"
#include "canvas/window_names.h"
#include "canvas/window_views.h"
#include "ui/window_system.h"

namespace scribeline {

// Tool numbers, the values of `currentTool`.
constexpr int kToolScissors = 0;  // iScissor
constexpr int kToolSnapper = 1;   // lSnapper
constexpr int kToolPen = 2;       // pen
constexpr int kToolFill = 3;      // fill
constexpr int numTools = 4;

// The state of one annotation session. main owns the one instance; commands,
// mouse handlers and tools receive it by reference, so tests build their own.
struct Workspace {
  // REQUIRES: windows and console outlive the workspace.
  Workspace(WindowSystem& windows, std::ostream& console)
      : windows(windows), console(console) {}
  Workspace(const Workspace&) = delete;
  Workspace& operator=(const Workspace&) = delete;

  WindowSystem& windows;
  // Every console message goes here and is flushed at once (see say()).
  std::ostream& console;

  cv::Mat image;         // the photograph, 8-bit BGR; never modified
  cv::Mat mask;          // palette colours, 8-bit BGR, the size of `image`
  cv::Mat viewImage;     // the main picture; empty except between
                         // composeView and showView
  cv::Mat toolboxImage;  // 180 x 500, made by the first drawToolbox
  std::string maskPath;  // image path followed by "_Mask.png"
  // The mask as it was when loaded or created at start-up, or last saved;
  // empty after a recovered autosave (unsaved work). Leaving a photo of a
  // folder asks "Save?" only when `mask` differs.
  cv::Mat savedMask;

  int currentTool = kToolScissors;
  int currentLabel = 0;
  int penRadius = 3;  // never below 1
  // Smallest region the clean-up keeps, in pixels; 0 until chosen: the
  // photo's default (canvas/mask_cleanup.h).
  long cleanupSize = 0;
  // Per pixel, 1 + the label the pen last painted there while this photo is
  // open, 0 where it never painted (8-bit, the size of `mask`); empty until
  // the pen first paints. See penPainted (canvas/pen.h).
  cv::Mat penMarks;
  double maskOpacity = kStartOpacity;  // kept within 0.05 to 1.0
  bool maskOverlay = false;
  // Whether the iScissor tool fixes the settled start of its live-wire by
  // itself, as if clicked ("a").
  bool autoAnchoring = false;
  // The tolerance a fill press starts with: 0 .. kMaxFillTolerance, the
  // rounded-up colour distance (fill/region_growth.h).
  int fillTolerance = 20;

  // One tool per tool number; installed before start-up. `toolsBuilt` turns
  // true once every tool's prepare hook has run (its engine may still be in
  // preparation); until then the main window ignores the mouse.
  std::array<std::unique_ptr<Tool>, numTools> tools;
  bool toolsBuilt = false;
  // The tool number a left press went to, until its release (or the event
  // standing for a release missed outside the photo) reaches that tool; -1
  // when no left drag is under way. Kept by the mouse dispatch.
  int leftDragTool = -1;

  // Where the toolbox reads the label names (working directory by default).
  std::string labelListPath = "label_list.txt";

  ViewScratch viewScratch;

  // Every recorded change of `mask`, for undo and redo (canvas/mask_steps.h).
  MaskHistory history;
  // Told of every change of `mask` once it is recorded (the autosave), with
  // the area outside which the mask is as when last told or painted; may be
  // empty. Runs on the key-loop thread.
  std::function<void(const cv::Mat&, const cv::Rect&)> onMaskChanged;
  // Told of paint into `mask` within an area, not yet recorded as a step (a
  // pen drag under way), so that the autosave keeps it as it keeps any
  // change, without a copy of the whole mask each time; may be empty. Runs
  // on the key-loop thread.
  std::function<void(const cv::Mat&, const cv::Rect&)> onMaskPainted;
  // Whether a save of this run has already kept the file it replaced as a
  // backup: later saves leave that backup alone, so that it keeps the mask
  // file as it was before this run.
  bool maskBackupTaken = false;
  // Zoom and pan of the main and "Mask" windows, and their placement.
  WindowViews views;
};

// Writes text to the console as plain text (never as a format) and flushes,
// so that each message is visible at once also when stdout is a pipe.
inline void say(Workspace& workspace, std::string_view text) {
  workspace.console.write(text.data(),
                          static_cast<std::streamsize>(text.size()));
  workspace.console.flush();
}

}  // namespace scribeline
