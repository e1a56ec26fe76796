#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <opencv2/core.hpp>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "ui/window_system.h"

namespace scribeline {

// A window system driven by a script, for tests. Keys, mouse events and
// windows the user closes are queued in order; waitKey delivers the queued
// mouse events to their window's handler (on the calling thread, as the
// real one does) and carries out the closes until it reaches a key, or the
// close of a window with a close key, which it returns. With the
// queue empty, or with no window open, waitKey returns kNoWindowsLeft.
// Questions take the queued answers in order (No once they run out); a
// Cancel answers a plain Yes/No question as No, as Escape does there.
// Everything the program does to the windows is recorded for inspection.
//
// Work the program does in the background wakes the key wait (wake(), from
// any thread); the script says where that work has to be over. While the
// busy pointer shows, the program waits for such work: waitKey then takes
// no key and no mouse event but waits for a wake it has not yet answered
// and returns kNoKey, so that a script goes on, as a patient user would,
// once the program is ready (unless told to be impatient). Script actions
// are no user input: they run when reached, also while the busy pointer
// shows.
class ScriptedWindowSystem : public WindowSystem {
 public:
  struct WindowChange {
    enum Kind { Created, Destroyed } kind;
    std::string name;
    WindowMode mode;  // the mode of the window created or destroyed
  };
  struct Question {
    std::string title;
    std::string text;
    bool answer;  // true only for Yes
    Answer given;
    // Asked with askYesNoCancel.
    bool cancellable;
  };

  // --- Script ---
  void pushKey(int code);
  // One key per character, in order ("uM" is 117 then 77).
  void pushKeys(std::string_view keys);
  void pushMouse(const std::string& window, int event, int x, int y,
                 int flags = 0);
  // A left click: a press and a release at one point.
  void pushClick(const std::string& window, int x, int y);
  // A pointer move with no button held.
  void pushMove(const std::string& window, int x, int y);
  // Wheel turns at a point: `notches` away from the user (positive) or
  // towards (negative), as one event.
  void pushWheel(const std::string& window, int x, int y, int notches);
  // A middle-button drag along the points, as pushDrag does for the left.
  void pushMiddleDrag(const std::string& window,
                      const std::vector<cv::Point>& path);
  // A left-button drag along the points: a press at the first point, a move
  // with the left button held at each later point, a release at the last.
  void pushDrag(const std::string& window, const std::vector<cv::Point>& path);
  // The user closes every window by hand.
  void pushCloseAll();
  // The user closes one window by hand (its close button). waitKey returns
  // the window's close key then, when it has one (see setCloseKey).
  void pushClose(const std::string& window);
  void pushAnswer(bool yes);
  // The user puts the next question aside (Escape, or its window's close
  // button).
  void pushCancel();
  // Here the program's background work has woken the key wait `total` times
  // in all (counted from the start): waitKey waits for that and returns
  // kNoKey. Waiting gives up after two minutes with std::runtime_error.
  void pushWaitForWakes(int total);
  // Runs `action` (the test's own doing, on the key-loop thread) when the
  // script reaches it.
  void pushAction(std::function<void()> action);
  // An impatient user: keys and mouse events keep coming while the busy
  // pointer shows (only pushWaitForWakes then waits for the program).
  void setImpatient(bool impatient) { impatient_ = impatient; }

  // --- Records ---
  bool isOpen(const std::string& name) const override;
  void beginSession() override { sessionBegun_ = true; }
  bool sessionBegun() const { return sessionBegun_; }
  // REQUIRES: the window is open.
  WindowMode modeOf(const std::string& name) const;
  bool hasMouseHandler(const std::string& name) const;
  // A copy of the last picture shown in the window (empty if none was).
  cv::Mat lastShown(const std::string& name) const;
  int showCount(const std::string& name) const;
  const std::vector<WindowChange>& windowChanges() const { return changes_; }
  const std::vector<Question>& questions() const { return questions_; }
  // Queued inputs not yet consumed, and mouse events dropped because their
  // window was closed or had no handler.
  size_t pendingInputs() const { return inputs_.size(); }
  int droppedMouseEvents() const { return dropped_; }
  int unansweredQuestions() const { return unanswered_; }
  // The windows raised, in order (raising a window not open is not
  // recorded).
  const std::vector<std::string>& raisedWindows() const { return raised_; }
  bool isToolWindow(const std::string& name) const {
    return toolWindows_.count(name) != 0;
  }
  // The key a close of the window reports; 0 for none.
  int closeKeyOf(const std::string& name) const;
  // Busy pointer: whether it shows now, and how often it was asked for.
  bool busy() const { return busyDepth_ > 0; }
  int busyRequests() const { return busyRequests_; }
  // How often the program has called wake() so far.
  int wakes() const;

  // --- Screen ---
  // The free area freeArea() reports; 1920 x 1200 at the origin unless set.
  void setFreeArea(cv::Rect area) { freeArea_ = area; }
  // The user resizes an open free-scale window's picture area.
  void resizeByUser(const std::string& name, cv::Size picture);

  // Calls the window's handler at once, as if the user had used the mouse
  // outside a key wait. Returns false when there is no such handler.
  bool sendMouse(const std::string& window, int event, int x, int y,
                 int flags = 0);

  // --- WindowSystem ---
  void createWindow(const std::string& name, WindowMode mode) override;
  void destroyWindow(const std::string& name) override;
  void destroyAllWindows() override;
  // Keeps a deep copy, as a real window does.
  void showImage(const std::string& name, const cv::Mat& image) override;
  void setMouseHandler(const std::string& name, MouseHandler handler) override;
  int waitKey() override;
  bool askYesNo(const std::string& title, const std::string& text) override;
  Answer askYesNoCancel(const std::string& title,
                        const std::string& text) override;
  cv::Rect freeArea() override { return freeArea_; }
  // An open window lies where it was placed (at the origin if never), as
  // large as it was placed (free scale) or as its last picture (100%, or
  // free scale never placed). No frames: windowFrame equals pictureArea.
  cv::Rect pictureArea(const std::string& name) override;
  cv::Rect windowFrame(const std::string& name) override;
  void placeWindow(const std::string& name, cv::Point topLeft,
                   cv::Size picture) override;
  void raiseWindow(const std::string& name) override;
  void makeToolWindow(const std::string& name) override;
  void setCloseKey(const std::string& name, int code) override;
  void setBusy(bool busy) override;
  void wake() override;

 private:
  struct Input {
    enum Kind { Key, Mouse, CloseAll, Close, Wakes, Action } kind;
    int code = 0;  // key code, mouse event code, or total of wakes
    std::string window;
    int x = 0, y = 0, flags = 0;
    std::function<void()> action;
  };
  // Waits until wake() has been called `total` times in all; kNoKey.
  int awaitWakes(int64_t total);
  struct Placement {
    cv::Point topLeft;
    cv::Size picture;
  };
  // A press of `down` at the first point, moves with `held` at the later
  // ones, a release `up` at the last.
  void pushButtonDrag(const std::string& window,
                      const std::vector<cv::Point>& path, int down, int up,
                      int held);
  struct Window {
    WindowMode mode;
    MouseHandler handler;
    cv::Point topLeft;
    cv::Size area;
  };

  std::deque<Input> inputs_;
  // Takes the next queued answer and records the question.
  Answer ask(const std::string& title, const std::string& text,
             bool cancellable);

  std::deque<Answer> answers_;
  std::map<std::string, Window> open_;
  // Shows survive the window's destruction, for inspection after shutdown.
  std::map<std::string, cv::Mat> lastShown_;
  bool sessionBegun_ = false;
  std::map<std::string, int> showCounts_;
  std::vector<WindowChange> changes_;
  std::vector<Question> questions_;
  // Placements asked for windows not open, applied when they open.
  std::map<std::string, Placement> pendingPlacements_;
  std::vector<std::string> raised_;
  std::set<std::string> toolWindows_;
  std::map<std::string, int> closeKeys_;
  cv::Rect freeArea_{0, 0, 1920, 1200};
  int dropped_ = 0;
  int unanswered_ = 0;
  int busyDepth_ = 0;
  int busyRequests_ = 0;
  bool impatient_ = false;
  mutable std::mutex wakeMutex_;
  std::condition_variable woken_;
  int64_t wakes_ = 0;  // guarded by wakeMutex_
  // The wakes counted when waitKey last returned kNoKey.
  int64_t wakesAnswered_ = 0;
};

}  // namespace scribeline
