#pragma once

#include <deque>
#include <map>
#include <memory>
#include <opencv2/core.hpp>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/commands.h"
#include "canvas/workspace.h"
#include "ui/window_system.h"

namespace scribeline {

// The banner printed before anything else.
void printBanner(std::ostream& console);

// The window system of a session whose tools are prepared in the
// background: forwards every call to `windows`, and while a tool of the
// workspace waits for its engine (Tool::waitsForEngine) shows the busy
// pointer and holds back every later key and mouse event, of every window,
// in order; they are taken again, in that order, once no tool waits. Escape,
// kNoWindowsLeft and kNoKey are never held: Escape and closing every window
// end the session at once, dropping what is held, unless the end is
// cancelled (resume).
// REQUIRES: `windows` outlives the object, and the object the workspace.
class HeldInput : public WindowSystem {
 public:
  explicit HeldInput(WindowSystem& windows) : windows_(windows) {}
  // Takes the handlers it installed back from `windows`.
  ~HeldInput() override;
  HeldInput(const HeldInput&) = delete;
  HeldInput& operator=(const HeldInput&) = delete;

  // The workspace whose tools are asked; none: nothing is held.
  void holdFor(const Workspace* workspace) { workspace_ = workspace; }
  // The end that Escape or closing every window began was cancelled: input
  // is held again while a tool waits.
  void resume() { ended_ = false; }

  void createWindow(const std::string& name, WindowMode mode) override {
    windows_.createWindow(name, mode);
  }
  void destroyWindow(const std::string& name) override {
    windows_.destroyWindow(name);
  }
  void destroyAllWindows() override { windows_.destroyAllWindows(); }
  void showImage(const std::string& name, const cv::Mat& image) override {
    windows_.showImage(name, image);
  }
  void setMouseHandler(const std::string& name, MouseHandler handler) override;
  int waitKey() override;
  void wake() override { windows_.wake(); }
  bool askYesNo(const std::string& title, const std::string& text) override {
    return windows_.askYesNo(title, text);
  }
  Answer askYesNoCancel(const std::string& title,
                        const std::string& text) override {
    return windows_.askYesNoCancel(title, text);
  }
  bool isOpen(const std::string& name) const override {
    return windows_.isOpen(name);
  }
  cv::Rect freeArea() override { return windows_.freeArea(); }
  cv::Rect pictureArea(const std::string& name) override {
    return windows_.pictureArea(name);
  }
  cv::Rect windowFrame(const std::string& name) override {
    return windows_.windowFrame(name);
  }
  void placeWindow(const std::string& name, cv::Point topLeft,
                   cv::Size picture) override {
    windows_.placeWindow(name, topLeft, picture);
  }
  void raiseWindow(const std::string& name) override {
    windows_.raiseWindow(name);
  }
  void makeToolWindow(const std::string& name) override {
    windows_.makeToolWindow(name);
  }
  void setCloseKey(const std::string& name, int code) override {
    windows_.setCloseKey(name, code);
  }
  void setBusy(bool busy) override { windows_.setBusy(busy); }

 private:
  struct Input {
    bool isKey;
    int code;  // the key, or the mouse event
    std::string window;
    int x = 0, y = 0, flags = 0;
  };
  bool holding() const;
  // The busy pointer shows exactly while input is held or to be held.
  void showBusy(bool busy);
  void onMouse(const std::string& window, int event, int x, int y, int flags);
  void deliver(const Input& input);
  // Ends the hold for good: the session is ending.
  void dropHeld();

  WindowSystem& windows_;
  const Workspace* workspace_ = nullptr;
  std::map<std::string, std::shared_ptr<MouseHandler>> handlers_;
  std::deque<Input> held_;
  bool busy_ = false;
  bool ended_ = false;
};

// Start-up after the photograph is loaded, with the tools' engines prepared
// in the background (see Tool::prepare).
//
// The constructor, on the key-loop thread: every tool's prepare hook, the
// blank mask; the toolbox opens and the main window shows the photo; then
// "Over-segmenting.... " as the preparations start, and the mask is found,
// loaded or created (asking "Recover?" or "Load?"). The console lines of the
// toolbox and the mask are held back: with no key pressed before the
// preparations end, the console reads as if start-up had waited for them.
//
// carryOn, on the key-loop thread: each tool whose preparation has ended
// gets onPrepared; once all have, "DONE\n\n", the lines held back, the help
// text and "\n\nCurrent Tool = <current tool>\n" (that line says every tool
// is ready). Each preparation wakes the key wait of the workspace's window
// system when it ends (WindowSystem::wake), until the object is destroyed.
//
// Threads: one worker thread of the process runs the preparations of every
// StartUp one after the other, in the order they were started and, within
// one, in tool-number order (the scissors' link costs, the quickest, first);
// each engine spreads its work over the cores itself, below the key loop's
// priority (nice 10) so that the windows stay quick. The worker shares
// what it touches (see Tool::prepare) and is never joined: destroying the
// object drops its preparations not yet begun, and one under way finishes
// on its own data, frees it and wakes no one. So a photo left early in a
// folder delays the next one's preparations by at most one preparation.
// preparationsUnderWay() tells whether the worker still has work.
//
// REQUIRES: `image` holds the photograph, `tools` are installed, and the
// workspace outlives the object.
class StartUp {
 public:
  StartUp(Workspace& workspace, const std::string& imagePath);
  ~StartUp();
  StartUp(const StartUp&) = delete;
  StartUp& operator=(const StartUp&) = delete;

  // See above. Returns whether every tool is ready and start-up complete.
  // A preparation that failed throws its exception here.
  bool carryOn();
  // Waits until every preparation has ended, then carryOn.
  void finish();

  // What the object shares with the preparation worker.
  struct Shared;

 private:
  // Stops waking the window system and drops the preparations not begun.
  void letGo();

  Workspace& workspace_;
  std::shared_ptr<Shared> shared_;
  std::vector<bool> carried_;
  std::string heldLines_;
  bool complete_ = false;
};

// Start-up as a whole: StartUp, then finish. Returns with every tool ready.
void startUp(Workspace& workspace, const std::string& imagePath);

// The preparations of every StartUp of the process not yet ended (queued or
// running), plus one while the worker thread runs.
int preparationsUnderWay();
// Waits until none is (for tests, which end the process themselves).
void awaitPreparations();

// Runs commands until one ends the loop: Escape, or the user has closed
// every window (both Quit), or a step to another photo of a folder. With a
// start-up under way, it carries on (StartUp::carryOn) before each wait for
// a key and whenever the wait is woken.
CommandResult runKeyLoop(Workspace& workspace, StartUp* startUp = nullptr);

// What became of the work offered for saving.
enum class SaveOutcome {
  Saved,      // Yes, and the save succeeded
  Declined,   // an explicit No: the work is left unsaved
  Cancelled,  // put aside (Escape, the question's window closed)
};

// Asks "Save?" (Yes, No, or put aside) and saves on Yes; a failed save asks
// again, so that the work is never dropped silently. Only an explicit No
// leaves the work unsaved; a question put aside, also after a failed save,
// is Cancelled: the caller goes back to the work.
SaveOutcome offerToSave(Workspace& workspace);

// "Exiting ...", offerToSave; then, unless it was cancelled, closes the
// windows, says goodbye and returns the exit status, 1. A cancelled
// "Save?" says "Not exiting: back to the photo", opens the photo's window
// again when the user had closed it (the end may have come from closing it,
// or every window) and returns nothing: the key loop goes on.
std::optional<int> shutDown(Workspace& workspace);

}  // namespace scribeline
