#pragma once

#include <opencv2/core.hpp>

namespace scribeline {

struct Workspace;

// One editing tool (iScissor, lSnapper, pen). The workspace owns one instance
// per tool number and calls the hooks below; a tool overrides only those it
// needs and keeps its own engine and under-way state (a contour, a stroke, a
// drag), which no other tool sees. Every hook runs on the key-loop thread,
// never two at once.
//
// The defaults do nothing, except onBackspace, which redraws: a tool without
// overrides is a placeholder whose mouse events only redraw.
class Tool {
 public:
  Tool() = default;
  Tool(const Tool&) = delete;
  Tool& operator=(const Tool&) = delete;
  virtual ~Tool() = default;

  // Start-up: every tool is prepared on a thread of its own, concurrently
  // with the other tools; build runs first, then initialize, while the
  // console shows "Over-segmenting.... ". Both may read `image` and
  // `currentLabel` and must touch nothing else of the workspace.
  // build: make the tool's engine over the photograph.
  virtual void build(Workspace& workspace) { (void)workspace; }
  // initialize: the slow preparation that the over-segmenting line announces.
  virtual void initialize(Workspace& workspace) { (void)workspace; }

  // Called by composeView on the current tool only, after the photograph and
  // the mask overlay are in `viewImage`: draw the tool's work into it.
  virtual void drawOverlay(Workspace& workspace) { (void)workspace; }

  // Called by the mouse dispatch on the current tool only, for an event that
  // lies inside the image, between composeView and showView (so `viewImage`
  // holds the fresh picture and may be drawn on). `event` is the mouse event
  // code (kMouseMove, kLeftButtonDown, kLeftButtonUp or any other code),
  // `flags` the button flags (kMouseFlagLeftButton while the left button is
  // held).
  virtual void onMouse(Workspace& workspace, int event, cv::Point point,
                       int flags) {
    (void)workspace, (void)event, (void)point, (void)flags;
  }

  // Backspace while this is the current tool. The hook does the whole
  // command, its redraw included; the default only redraws.
  virtual void onBackspace(Workspace& workspace);

  // Enter (kKeyEnter) or Ctrl+Enter (kKeyCtrlEnter) while this is the current
  // tool; keyCode is the full code the window system returned.
  virtual void onEnterKey(Workspace& workspace, int keyCode) {
    (void)workspace, (void)keyCode;
  }

  // A key selects another tool ("0", "1", "2"): called on the current tool
  // before the switch message is printed and while `currentTool` still names
  // it, so a redraw here still shows this tool's overlay. The tool ends or
  // discards its under-way work here. Not called when the key selects the
  // current tool itself.
  virtual void onLeave(Workspace& workspace) { (void)workspace; }

  // The tool has just become the current one: called after the switch
  // message, once `currentTool` names it. Not called when the key selected
  // the tool that was already current.
  virtual void onEnter(Workspace& workspace) { (void)workspace; }

  // Keys "n" (filled false) and "N" (filled true), called on every tool
  // whatever the current tool, in tool-number order. No redraw follows.
  virtual void onUpdateMask(Workspace& workspace, bool filled) {
    (void)workspace, (void)filled;
  }

  // A label was picked in the toolbox: called on every tool, in tool-number
  // order, after `currentLabel` is set and before the toolbox is redrawn.
  virtual void onLabelPicked(Workspace& workspace) { (void)workspace; }
};

}  // namespace scribeline
