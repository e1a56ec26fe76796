#pragma once

#include <functional>
#include <opencv2/core.hpp>

namespace scribeline {

struct Workspace;

// The slow part of preparing a tool's engine, run off the key-loop thread
// (see Tool::prepare).
using Preparation = std::function<void()>;

// One editing tool (iScissor, lSnapper, pen). The workspace owns one instance
// per tool number and calls the hooks below; a tool overrides only those it
// needs and keeps its own engine and under-way state (a contour, a stroke, a
// drag), which no other tool sees. Every hook runs on the key-loop thread,
// never two at once; only the Preparation that prepare returns runs
// elsewhere.
//
// The defaults do nothing: a tool without overrides is a placeholder whose
// mouse events and Backspace only redraw.
//
// One event, one redraw: the mouse hook and the key hooks update the tool's
// state; the main view is then composed and shown once by whoever called the
// hook (the mouse dispatch, the key command), and drawOverlay draws the
// tool's work from that state. A hook never composes the main view or draws
// into `viewImage`, except where a hook below says it does the redraw.
class Tool {
 public:
  Tool() = default;
  Tool(const Tool&) = delete;
  Tool& operator=(const Tool&) = delete;
  virtual ~Tool() = default;

  // Start-up, before the photograph shows: sets up, cheaply, what the other
  // hooks need before the engine is ready, and returns the slow preparation
  // of the engine over `image`, or an empty function when there is none.
  //
  // The session runs the returned function on a preparation thread,
  // concurrently with the key loop (so with every other hook of this tool),
  // then calls onPrepared on the key-loop thread; other tools' preparations
  // may run before, after or beside it. The function shares ownership of
  // everything it touches (a copy of the `image` header, engine state held by
  // std::shared_ptr) and touches neither the workspace nor the tool object: the
  // session may end, and the tool be destroyed, before it returns; it then
  // finishes on its own data and frees it. Until onPrepared, no hook touches
  // what the function writes.
  virtual Preparation prepare(Workspace& workspace) {
    (void)workspace;
    return {};
  }

  // The engine is ready: called once, on the key-loop thread, after the
  // preparation returned (at once at start-up for a tool without one). The
  // tool carries on with the work it held (see waitsForEngine), redrawing
  // what that work changed as the hooks that took it would have.
  virtual void onPrepared(Workspace& workspace) { (void)workspace; }

  // Whether the tool holds work that needs its engine, taken by a hook
  // before onPrepared (a scissors press, a stroke to solve). While any tool
  // does, the session shows the busy pointer and holds every later input
  // back, in order, so that the work is done as it would have been had the
  // user waited.
  virtual bool waitsForEngine() const { return false; }

  // Called by composeView on the current tool only, after the photograph and
  // the mask overlay are in `viewImage`: draw the tool's work over it through
  // `views.overlay`, from the tool's own state (its contours, its strokes,
  // the live-wire of the move just handled). Draws only.
  virtual void drawOverlay(Workspace& workspace) { (void)workspace; }

  // Called by the mouse dispatch on the current tool only, for an event that
  // lies inside the image, before the main view is composed and shown once
  // for the event: the hook updates the tool's state (and the mask), and the
  // redraw after it shows the result. `event` is the mouse event code
  // (kMouseMove, kLeftButtonDown, kLeftButtonUp or any other code), `flags`
  // the button flags (kMouseFlagLeftButton while the left button is held).
  // The release of a left drag is always seen: one missed outside the image
  // arrives at the first event inside it without the left button held (see
  // onWindowMouse).
  virtual void onMouse(Workspace& workspace, int event, cv::Point point,
                       int flags) {
    (void)workspace, (void)event, (void)point, (void)flags;
  }

  // Radius in photo pixels of the disc outline drawn around the pointer
  // while this is the current tool (in the window the pointer is over);
  // 0 for none.
  virtual int pointerOutlineRadius(const Workspace& workspace) const {
    (void)workspace;
    return 0;
  }

  // Backspace while this is the current tool: take back the tool's newest
  // work. The command redraws the main view once after the hook.
  virtual void onBackspace(Workspace& workspace) { (void)workspace; }

  // Enter (kKeyEnter) or Ctrl+Enter (kKeyCtrlEnter) while this is the current
  // tool; keyCode is the full code the window system returned. No redraw
  // follows: the hook redraws (once) when the key changed what shows.
  virtual void onEnterKey(Workspace& workspace, int keyCode) {
    (void)workspace, (void)keyCode;
  }

  // A key selects another tool ("0", "1", "2"): called on the current tool
  // before the switch message is printed and while `currentTool` still names
  // it, so a redraw here still shows this tool's overlay. The tool ends or
  // discards its under-way work here, redrawing (once) if it wants the
  // result shown at once; no redraw follows. Not called when the key
  // selects the current tool itself.
  virtual void onLeave(Workspace& workspace) { (void)workspace; }

  // The tool has just become the current one: called after the switch
  // message, once `currentTool` names it. Not called when the key selected
  // the tool that was already current.
  virtual void onEnter(Workspace& workspace) { (void)workspace; }

  // Keys "n" (filled false) and "N" (filled true), called on every tool
  // whatever the current tool, in tool-number order. The main view is
  // redrawn once after the last.
  virtual void onUpdateMask(Workspace& workspace, bool filled) {
    (void)workspace, (void)filled;
  }

  // A label was picked in the toolbox: called on every tool, in tool-number
  // order, after `currentLabel` is set and before the toolbox is redrawn.
  virtual void onLabelPicked(Workspace& workspace) { (void)workspace; }
};

// prepare, its preparation and onPrepared, one after the other on the calling
// thread: a tool made ready at once.
inline void prepareAtOnce(Tool& tool, Workspace& workspace) {
  if (const Preparation slow = tool.prepare(workspace)) slow();
  tool.onPrepared(workspace);
}

}  // namespace scribeline
