#pragma once

#include <functional>
#include <memory>
#include <opencv2/core.hpp>
#include <string>

namespace scribeline {

// Mouse event codes and flags as the image library reports them.
enum MouseEvent { kMouseMove = 0, kLeftButtonDown = 1, kLeftButtonUp = 4 };
constexpr int kMouseFlagLeftButton = 1;

// Receives mouse events of one window: event code, position in image pixels
// (may lie outside the image during a drag), and the button/modifier flags.
using MouseHandler = std::function<void(int event, int x, int y, int flags)>;

enum class WindowMode {
  FreeScale = 0,  // resizable; the picture is stretched to the window
  Scale100 = 1,   // the window takes the picture's size
};

// Returned by waitKey once the user has closed every window.
constexpr int kNoWindowsLeft = -1;

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
  // kNoWindowsLeft once every window has been closed.
  virtual int waitKey() = 0;

  // Yes/No question; true only for Yes.
  virtual bool askYesNo(const std::string& title, const std::string& text) = 0;
};

}  // namespace scribeline
