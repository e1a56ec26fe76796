#pragma once

// Harness for real-window tests: a private X server, one program under test
// in a temporary working directory, its console read as it comes, and user
// input sent as real X events (xdotool, XTEST).
//
// Typical use:
//
//   scribeline::e2e::XSession session;            // own Xvfb, fresh folder
//   session.copyIn(sourcePath("sample.JPG"));    // into the working folder
//   session.launch(SCRIBELINE_BINARY, {"sample.JPG"});
//   ASSERT_TRUE(session.waitForOutput("Current Tool = iScissor\n"));
//   session.click("Toolbox", 100, 5 * 20 + 10);   // image pixels of "Toolbox"
//   session.key("Scribeline", "2");
//   session.drag("Scribeline", {{100, 100}, {200, 100}});
//   session.key("Scribeline", "M");              // Shift+m
//   session.key("Scribeline", "Escape");
//   ASSERT_TRUE(session.answer("Save?", true));  // presses "y" in the dialog
//   EXPECT_EQ(session.waitForExit(), 1);
//
// Every waiting call has a timeout; on timeout it returns false (or a
// failure value) and the test fails on its own assertion. Helpers that act
// on a window wait for that window first (see waitForWindow) and report a
// missing window as a non-fatal GoogleTest failure. The session kills the
// program and the X server when it ends; the working folder is removed
// unless the test failed, in which case its path is printed.
//
// Coordinates are pixels of the picture shown in the named window. A window
// showing its picture at 100% needs nothing more; for a window that shows a
// picture of another size scaled (free-scale windows), tell the session the
// picture's size once with setPictureSize and points are mapped onto the
// window's current size.
//
// Known behaviour of the program's windows under this harness: there is no
// window manager unless the test starts one (startWindowManager), so windows
// go exactly where they are put, a window opened without a place at the
// screen's top-left corner, and they may overlap (pointer helpers raise
// their window first; under a manager the raise may not take effect, and a
// test points only at windows it knows to be uncovered); a window may be
// mapped before the program gives it its final size (waitForWindowSize);
// windows re-created by a key are new X windows (waitForNewWindow); Qt
// merges queued pointer moves (setDragPace).
//
// Window managers: startWindowManager runs openbox or xfwm4 (the latter in a
// D-Bus session of its own, which its settings daemon needs) on the
// session's server, in a process group of its own that ends with the
// session. Window positions and sizes are those of client areas (without
// the frame) in screen coordinates, read from the X server; frameRect adds
// the frame the manager has set.
//
// Building: every tests/e2e/*_test.cpp becomes a GoogleTest executable
// linked with this harness (target scribeline_e2e_harness) and
// GTest::gtest_main, with SCRIBELINE_BINARY (the built program) and
// WINDOW_PROBE_BINARY defined as paths; tests of the program exist only when
// its target is built.
//
// Environment: SCRIBELINE_E2E_KEEP=1 keeps the working folder and prints its
// path even when the test passes.

#include <atomic>
#include <map>
#include <opencv2/core.hpp>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/e2e/child_process.h"

namespace scribeline::e2e {

// The project's source folder (for sample.JPG, label_list.txt, fixtures).
std::string sourcePath(const std::string& relative);

// Whether the X server resets (drops its state and, for a moment, its new
// connections) each time its last client leaves, as a server started
// without -noreset does.
enum class ServerReset { Never, WhenLastClientLeaves };

// The window managers a session can run (see startWindowManager).
enum class WindowManager { NoManager, Openbox, Xfwm4 };
// "none", "openbox", "xfwm4".
std::string windowManagerName(WindowManager manager);

class XSession {
 public:
  // Starts Xvfb on a display number it picks itself (several sessions and
  // outer X servers can coexist) with one screen of the given size.
  explicit XSession(int screenWidth = 1600, int screenHeight = 1200,
                    ServerReset reset = ServerReset::Never);
  ~XSession();
  XSession(const XSession&) = delete;
  XSession& operator=(const XSession&) = delete;

  // ":N", or empty when the server could not be started (the constructor
  // has reported a GoogleTest failure then).
  const std::string& display() const { return display_; }
  // The program's working folder, created empty for this session.
  const std::string& workDir() const { return workDir_; }
  // Absolute path of a file in the working folder.
  std::string workPath(const std::string& name) const;

  // Copies a file into the working folder, under its own name or `as`.
  // Returns the new path.
  std::string copyIn(const std::string& source, const std::string& as = "");
  // Creates a file in the working folder with the given content.
  std::string writeFile(const std::string& name, const std::string& content);

  // Starts the window manager on this session's server (nothing for
  // WindowManager::NoManager) and waits until it has taken the screen over: it
  // names itself on the root window as the freedesktop.org window manager
  // hints say. False after a GoogleTest failure saying why (not installed:
  // scripts/install-deps.sh installs both; ended; not ready in time).
  bool startWindowManager(WindowManager manager, double timeoutSeconds = 30);
  WindowManager windowManager() const { return manager_; }
  // Stops the window manager (SIGSTOP to its processes) or lets it go on:
  // a paused manager leaves windows unmanaged, and every request to it
  // waiting, as a manager slowed down by a busy machine does for a moment.
  // X client tools that wait for the manager (key, answer) hang meanwhile.
  void pauseWindowManager(bool paused);

  // Sets (or, with no value, removes) a variable of the environment of the
  // programs launched from now on; applied after DISPLAY is chosen.
  void setEnv(const std::string& name, std::optional<std::string> value);

  // Starts the program in the working folder, with DISPLAY set to this
  // session's server, or with DISPLAY unset when withDisplay is false, and
  // without QT_QPA_PLATFORM and WAYLAND_DISPLAY (then setEnv applies). Its
  // standard output is read by the harness; its standard error goes to the
  // file "stderr.txt" of the working folder. One program per session.
  void launch(const std::string& binary, const std::vector<std::string>& args,
              bool withDisplay = true);

  // Waits until `text` appears in the program's standard output after the
  // end of the previous successful match (so repeated lines are awaited one
  // after the other). False when the time runs out or the program's output
  // ends without it.
  bool waitForOutput(const std::string& text, double timeoutSeconds = 60);
  // Waits for a whole line that begins with `prefix`, after the end of the
  // previous successful match, and gives the rest of that line (without the
  // line feed) in *rest. False when the time runs out or the output ends.
  bool waitForLine(const std::string& prefix, std::string* rest,
                   double timeoutSeconds = 60);
  // Everything the program has written to standard output so far (reads what
  // is available without waiting).
  const std::string& output();
  // The program's standard error so far.
  std::string errorOutput() const;

  // Waits for the program to end and returns its exit status, 128 + signal
  // number when a signal ended it, or -1 when it is still running after the
  // timeout (it is killed then).
  int waitForExit(double timeoutSeconds = 60);
  bool running();
  // The program's process id (for reading its /proc entries); -1 before
  // launch().
  int programPid() const { return program_.pid(); }
  // Sends a signal to the program (SIGTERM, SIGHUP, ...).
  void signalProgram(int number);
  // A full disk for the running program alone: sets its file size limit
  // (RLIMIT_FSIZE), so that its writes past `bytes` fail with EFBIG (the
  // program ignores SIGXFSZ); with no value the limit is lifted again (space
  // is back). Reports a GoogleTest failure when it cannot.
  void limitProgramFileSize(std::optional<unsigned long long> bytes);
  // Kills the X server under the program, as when the display goes away.
  void killServer();

  // Waits until a visible window titled exactly `title` exists and returns
  // its X id, or 0 after the timeout.
  unsigned long waitForWindow(const std::string& title,
                              double timeoutSeconds = 30);
  // Waits until the visible window titled `title` is another X window than
  // `previous` (the program has destroyed and re-created it) and returns its
  // id, or 0 after the timeout. Keys and pointer events sent before that
  // could still reach the old window.
  unsigned long waitForNewWindow(const std::string& title,
                                 unsigned long previous,
                                 double timeoutSeconds = 30);
  // True while a visible window titled exactly `title` exists.
  bool hasWindow(const std::string& title);
  // Client-area size of the window (0 x 0 when it is missing).
  cv::Size windowSize(const std::string& title);
  // Waits until the window has the given client size. A program may map a
  // window before it gives it its final size; pointer events at points
  // beyond the first size would miss it.
  bool waitForWindowSize(const std::string& title, cv::Size size,
                         double timeoutSeconds = 30);
  // Position on the screen and size of the window's client area.
  cv::Rect windowRect(const std::string& title);
  // The window's frame on the screen: its client area grown by the frame
  // extents its window manager has set on it; the client area when it has
  // none. Empty when the window is missing.
  cv::Rect frameRect(const std::string& title);
  // Moves the window's top-left corner to a screen position (with no window
  // manager: see moveOnTop otherwise). Windows opened without a place lie
  // at the screen's top-left corner, so a test that drags past the left or
  // top edge of a picture moves them first.
  void moveWindow(const std::string& title, int x, int y);
  // Moves the window's client area to the screen position as a user
  // dragging its title bar would (through the window manager, with its
  // frame, when one runs), puts it on top of the others and focuses it,
  // and waits until the X server shows it there. False when it did not get
  // there in time.
  bool moveOnTop(const std::string& title, int x, int y);
  // Asks the window manager to maximise the window, and waits until it has
  // (the window's state says so). False without a manager or after the
  // timeout.
  bool maximize(const std::string& title, double timeoutSeconds = 10);

  // The size of the picture the window shows, for mapping points onto a
  // window that shows it scaled. Without it points are taken at 100%.
  void setPictureSize(const std::string& title, cv::Size picture);

  // Left click (press and release) at a picture pixel.
  void click(const std::string& title, int x, int y);
  // Left press at the first point, moves through the others, release at the
  // last one (unless `release` is false: the button stays held, as a user
  // still dragging holds it, until runTool({"xdotool", "mouseup", ...}));
  // with press false, only the moves. `button` 2 drags with the middle button.
  // Points may lie outside the picture and the window; the X server stops the
  // pointer at the screen's edges. The window is raised first, so that it
  // receives the events.
  void drag(const std::string& title, const std::vector<cv::Point>& path,
            bool press = true, int button = 1, bool release = true);
  // Pause after each move of a drag, in seconds (default 0.03). Qt merges
  // pointer moves that are already queued when the program gets to them, so
  // without a pause a program may see only the first and last points of a
  // quick drag; the pause lets it take each point on its own in practice,
  // though a busy machine may still merge some. Tests that need every point
  // should check what matters with that in mind (a straight stroke paints
  // the same line either way).
  void setDragPace(double seconds) { dragPaceSeconds_ = seconds; }
  // Moves the pointer to a picture pixel without pressing.
  void moveTo(const std::string& title, int x, int y);
  // Turns the mouse wheel with the pointer at a picture pixel: `clicks`
  // steps away from the user (up, X button 4), or towards (down, button 5)
  // when negative.
  void wheel(const std::string& title, int x, int y, int clicks);
  // Focuses the window and types one key chord in xdotool's syntax: "2",
  // "m", "M" (sent as Shift+m), "comma", "less", "BackSpace", "Return",
  // "KP_Enter", "ctrl+Return", "Escape".
  void key(const std::string& title, const std::string& chord);
  // Closes the window the way a window manager does when the user clicks
  // its close button (WM_DELETE_WINDOW).
  void closeWindow(const std::string& title);
  // Asks the window manager to close the window, as its close button or
  // "wmctrl -c" does (_NET_CLOSE_WINDOW; the manager then sends
  // WM_DELETE_WINDOW). With no manager, closeWindow.
  void closeThroughManager(const std::string& title);

  // The whole screen as it shows now (8-bit BGR), read from the root
  // window: whatever lies on top at each pixel.
  cv::Mat grabScreen();

  // The window's client area as the screen shows it (8-bit BGR), raised
  // first; taken again until two takes agree, so that the program has
  // repainted what the raise uncovered. Empty when the window is missing.
  // Pixels are those of the window: a scaled picture appears scaled.
  cv::Mat capture(const std::string& title);

  // Waits until the file `name` of the working folder exists and reads as a
  // picture (as stored: no conversion); empty when it did not in time.
  cv::Mat waitForPicture(const std::string& name, double timeoutSeconds = 10);

  // Waits for the dialog titled `title`, then answers it with the key "y"
  // (yes) or "n" (no). False when no such dialog appeared in time.
  bool answer(const std::string& title, bool yes, double timeoutSeconds = 30);

  // While on, a thread of the session connects to the X server and leaves
  // again, over and over: a server that resets when its last client leaves
  // (ServerReset::WhenLastClientLeaves) then resets whenever nothing else
  // is connected, and drops a connection still being set up when it does.
  // Only for stretches in which the test itself sends no X requests.
  void setClientChurn(bool on);

  // Runs an X client tool (xdotool, xwininfo, ...) against this server and
  // returns its standard output; *status receives its exit status.
  std::string runTool(const std::vector<std::string>& args,
                      int* status = nullptr);

 private:
  cv::Point toScreen(const std::string& title, const cv::Rect& window,
                     cv::Point picture) const;
  void readAvailable(double waitSeconds);

  // Sends a client message about `window` to the root window, as window
  // managers expect requests from pagers and task lists.
  void sendToRoot(unsigned long window, const char* type,
                  std::vector<long> data);

  std::string display_;
  ChildProcess server_;
  WindowManager manager_ = WindowManager::NoManager;
  ChildProcess managerProcess_;
  std::string workDir_;
  ChildProcess program_;
  std::string output_;
  size_t outputCursor_ = 0;
  std::map<std::string, cv::Size> pictureSizes_;
  double dragPaceSeconds_ = 0.03;
  std::map<std::string, std::optional<std::string>> environment_;
  std::atomic<bool> churning_{false};
  std::thread churn_;
};

}  // namespace scribeline::e2e
