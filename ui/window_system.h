#pragma once

#include <functional>
#include <memory>
#include <opencv2/core.hpp>
#include <string>

namespace scribeline {

// Mouse event codes and flags as the image library reports them.
enum MouseEvent {
  kMouseMove = 0,
  kLeftButtonDown = 1,
  kMiddleButtonDown = 3,
  kLeftButtonUp = 4,
  kMiddleButtonUp = 6,
  kMouseWheel = 10,
};
constexpr int kMouseFlagLeftButton = 1;
constexpr int kMouseFlagMiddleButton = 4;

// A kMouseWheel event carries the turn in the upper 16 bits of its flags,
// signed: 120 per notch, positive when the wheel turns away from the user.
constexpr int kWheelNotch = 120;
constexpr int wheelDelta(int flags) {
  return static_cast<short>((flags >> 16) & 0xffff);
}
constexpr int wheelFlags(int delta) {
  return static_cast<int>(static_cast<unsigned>(delta & 0xffff) << 16);
}

// Receives mouse events of one window: event code, position in pixels of the
// picture last shown in it (may lie outside the picture during a drag), and
// the button/modifier flags.
using MouseHandler = std::function<void(int event, int x, int y, int flags)>;

enum class WindowMode {
  FreeScale = 0,  // resizable; the picture is stretched to the window
  Scale100 = 1,   // the window takes the picture's size
};

// Returned by waitKey once the user has closed every window.
constexpr int kNoWindowsLeft = -1;
// Returned by waitKey after wake(): no key was pressed; the caller looks at
// what it was woken for and waits again.
constexpr int kNoKey = -2;

// The answers of askYesNoCancel.
enum class Answer { Yes, No, Cancel };

// Codes of the control keys the program uses, as waitKey reports them.
constexpr int kKeyBackspace = '\b';
constexpr int kKeyCtrlEnter = '\n';
constexpr int kKeyEnter = '\r';
constexpr int kKeyEscape = '\x1b';

// Codes of keys that have no character of their own. They lie above every
// character code; the command table never sees them (see runCommand).
constexpr int kFirstNamedKey = 0x110000;
constexpr int kKeyUndo = 0x110001;  // Ctrl+Z
constexpr int kKeyRedo = 0x110002;  // Ctrl+Shift+Z, Ctrl+Y
constexpr int kKeyLeft = 0x110011;  // arrow keys
constexpr int kKeyUp = 0x110012;
constexpr int kKeyRight = 0x110013;
constexpr int kKeyDown = 0x110014;
constexpr int kKeyPageUp = 0x110021;
constexpr int kKeyPageDown = 0x110022;

// Everything the program asks of the window system. The real implementation
// talks to highgui and Qt; tests use a scripted one.
class WindowSystem {
 public:
  virtual ~WindowSystem() = default;

  // The window system is opened while the program still reads its photo.
  // Once the photo is there, this says what the window system held back
  // while it started; a window system destroyed before (the photo was
  // refused) says none of it.
  virtual void beginSession() {}

  // Creating a window that is already open changes nothing (its mode stays).
  virtual void createWindow(const std::string& name, WindowMode mode) = 0;
  virtual void destroyWindow(const std::string& name) = 0;
  virtual void destroyAllWindows() = 0;
  virtual void showImage(const std::string& name, const cv::Mat& image) = 0;
  // Replaces the window's handler. The handler runs on the thread that calls
  // waitKey, while it waits.
  virtual void setMouseHandler(const std::string& name,
                               MouseHandler handler) = 0;

  // Waits without time limit for the next key press and returns its code:
  // printable keys as their character with case ("M" 77, "m" 109), Backspace
  // 8, Ctrl+Enter 10, Enter 13, Escape 27; the kKey codes above for undo,
  // redo, arrows and page keys. Bare modifier presses are not reported. Returns
  // kNoWindowsLeft once every window has been closed, and kNoKey once after
  // wake().
  virtual int waitKey() = 0;

  // Makes the waitKey under way, or else the next one, return kNoKey (once
  // for wakes that come together). Callable from any thread, also while
  // another thread waits in waitKey: work done in the background tells the
  // key loop so that it need not wait for the next key to learn of it.
  virtual void wake() {}

  // Yes/No question; true only for Yes. Escape, or closing the question's
  // window, answers No.
  virtual bool askYesNo(const std::string& title, const std::string& text) = 0;

  // A Yes/No question that the user may also put aside: Escape, or closing
  // the question's window, answers Cancel (which askYesNo takes as No), so
  // that a key pressed in haste never counts as No.
  virtual Answer askYesNoCancel(const std::string& title,
                                const std::string& text) = 0;

  // Whether the named window is open: made and neither destroyed nor closed
  // by the user.
  virtual bool isOpen(const std::string& name) const = 0;
  // --- Placement. Screen positions and sizes are in screen pixels. ---
  // The part of the screen windows may use (without panels and docks);
  // empty when unknown.
  virtual cv::Rect freeArea() { return {}; }
  // Where the open window's picture area lies on the screen; empty when the
  // window is not open. A free-scale window's picture area is the size the
  // user has given it, which the next picture should have to be shown one
  // to one.
  virtual cv::Rect pictureArea(const std::string& name) {
    (void)name;
    return {};
  }
  // The open window with its frame (title bar, borders); empty when the
  // window is not open. Equals pictureArea when there is no window manager.
  virtual cv::Rect windowFrame(const std::string& name) {
    (void)name;
    return {};
  }
  // Puts the window's frame at `topLeft` and, for a free-scale window, gives
  // its picture area the size `picture` (a 100% window takes its picture's
  // size). For a window not open yet, applies when it opens.
  virtual void placeWindow(const std::string& name, cv::Point topLeft,
                           cv::Size picture) {
    (void)name, (void)topLeft, (void)picture;
  }

  // --- Stacking and closing. ---
  // Brings the open window above the program's other windows (a window
  // manager may also give it the keyboard focus). Does nothing for a window
  // that is not open.
  virtual void raiseWindow(const std::string& name) { (void)name; }
  // Makes the window a tool window of the program: where a window manager
  // runs, it stays above the program's other windows (it opens with that
  // role, so call this before the window is created). Without a window
  // manager it is stacked as any window.
  virtual void makeToolWindow(const std::string& name) { (void)name; }
  // From now on, the user closing the window (its close button, or any
  // WM_DELETE_WINDOW request) is reported by waitKey as the key `code`, as
  // if that key had been pressed; 0 takes this back. The window closes as
  // usual. Holds for every later window of that name.
  virtual void setCloseKey(const std::string& name, int code) {
    (void)name, (void)code;
  }

  // Shows the busy pointer over every window (true) or takes back one such
  // request (false); requests nest.
  virtual void setBusy(bool busy) { (void)busy; }
};

// Shows the busy pointer for the lifetime of the object.
class BusyPointer {
 public:
  // REQUIRES: windows outlives the object.
  explicit BusyPointer(WindowSystem& windows) : windows_(windows) {
    windows_.setBusy(true);
  }
  ~BusyPointer() { windows_.setBusy(false); }
  BusyPointer(const BusyPointer&) = delete;
  BusyPointer& operator=(const BusyPointer&) = delete;

 private:
  WindowSystem& windows_;
};

// Run, when set, by a window system that must end the process because it
// could not start after all, before it does so: the program waits there for
// the photo it is reading meanwhile, and ends as it would have without
// windows when the photo is refused.
inline std::function<void()> beforeWindowSystemFails;

}  // namespace scribeline
