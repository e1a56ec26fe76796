#include "tests/e2e/x_session.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <opencv2/imgcodecs.hpp>
#include <sstream>
#include <thread>
#include <vector>

// Last: Xlib defines macros (None, Bool, Status) that clash with C++ headers.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <xcb/xcb.h>

namespace scribeline::e2e {

namespace fs = std::filesystem;

namespace {

constexpr double kToolTimeoutSeconds = 20;

// Xlib ends the process on a protocol error by default; a window of the
// program may vanish between a search and a query, which then just fails.
int ignoreXErrors(Display*, XErrorEvent*) { return 0; }

// A connection of the test's own, closed with the object.
class XConnection {
 public:
  explicit XConnection(const std::string& display)
      : display_(XOpenDisplay(display.c_str())) {
    static const bool handlerSet = (XSetErrorHandler(ignoreXErrors), true);
    (void)handlerSet;
  }
  ~XConnection() {
    if (display_ != nullptr) XCloseDisplay(display_);
  }
  XConnection(const XConnection&) = delete;
  XConnection& operator=(const XConnection&) = delete;
  Display* get() const { return display_; }
  Window root() const { return DefaultRootWindow(display_); }
  Atom atom(const char* name) const { return XInternAtom(display_, name, 0); }

  // The 32-bit items of a property (longs, as Xlib hands them out); empty
  // when it is missing.
  std::vector<unsigned long> items(Window window, const char* property,
                                   Atom type) const {
    Atom actualType = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::vector<unsigned long> values;
    if (XGetWindowProperty(display_, window, atom(property), 0, 64, False, type,
                           &actualType, &format, &count, &after,
                           &data) == Success &&
        data != nullptr && format == 32 && actualType == type) {
      const auto* longs = reinterpret_cast<const unsigned long*>(data);
      values.assign(longs, longs + count);
    }
    if (data != nullptr) XFree(data);
    return values;
  }

 private:
  Display* display_;
};

// The command that runs the manager, and the programs it needs.
struct ManagerCommand {
  std::vector<std::string> command;
  std::vector<std::string> needs;
};

ManagerCommand managerCommand(WindowManager manager) {
  switch (manager) {
    case WindowManager::Openbox:
      return {{"openbox", "--sm-disable"}, {"openbox"}};
    case WindowManager::Xfwm4:
      // xfwm4 reads its settings through the xfconf daemon, which it
      // reaches over a D-Bus session.
      return {{"dbus-run-session", "--", "xfwm4", "--compositor=off"},
              {"xfwm4", "dbus-run-session"}};
    case WindowManager::NoManager:
      break;
  }
  return {};
}

bool onPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::istringstream folders(path != nullptr ? path : "/usr/bin:/bin");
  for (std::string folder; std::getline(folders, folder, ':');) {
    if (!folder.empty() && access((folder + "/" + program).c_str(), X_OK) == 0)
      return true;
  }
  return false;
}

std::string quoteForRegex(const std::string& text) {
  std::string quoted = "^";
  for (char c : text) {
    if (std::strchr("\\^$.|?*+()[]{}", c) != nullptr) quoted += '\\';
    quoted += c;
  }
  return quoted + "$";
}

}  // namespace

std::string windowManagerName(WindowManager manager) {
  switch (manager) {
    case WindowManager::Openbox:
      return "openbox";
    case WindowManager::Xfwm4:
      return "xfwm4";
    case WindowManager::NoManager:
      break;
  }
  return "none";
}

std::string sourcePath(const std::string& relative) {
  return (fs::path(SCRIBELINE_E2E_SOURCE_DIR) / relative).string();
}

XSession::XSession(int screenWidth, int screenHeight, ServerReset reset) {
  char pattern[] = "/tmp/scribeline-e2e-XXXXXX";
  if (mkdtemp(pattern) == nullptr) {
    ADD_FAILURE() << "cannot create a working folder: " << std::strerror(errno);
    return;
  }
  workDir_ = pattern;
  const std::string log = workPath("xvfb.txt");
  // With -displayfd Xvfb picks a free display number itself and writes it,
  // here to its standard output, once it accepts connections.
  const std::string screen =
      std::to_string(screenWidth) + "x" + std::to_string(screenHeight) + "x24";
  std::vector<std::string> command{"Xvfb", "-displayfd", "1",         "-screen",
                                   "0",    screen,       "-nolisten", "tcp"};
  if (reset == ServerReset::Never) command.push_back("-noreset");
  if (!server_.start(command, "", {}, log)) {
    ADD_FAILURE() << "cannot start Xvfb";
    return;
  }
  std::string number;
  const auto start = Clock::now();
  while (number.find('\n') == std::string::npos && !server_.outputEnded() &&
         secondsSince(start) < 30) {
    server_.read(&number, 0.2);
  }
  if (number.find('\n') == std::string::npos) {
    ADD_FAILURE() << "Xvfb did not start; see " << log;
    return;
  }
  display_ = ":" + number.substr(0, number.find('\n'));
}

XSession::~XSession() {
  setClientChurn(false);
  program_.stop(0);
  managerProcess_.stop(2);
  server_.stop(10);
  if (workDir_.empty()) return;
  const bool keep = std::getenv("SCRIBELINE_E2E_KEEP") != nullptr ||
                    ::testing::Test::HasFailure();
  if (keep) {
    std::cout << "working folder kept: " << workDir_ << std::endl;
  } else {
    std::error_code ignored;
    fs::remove_all(workDir_, ignored);
  }
}

std::string XSession::workPath(const std::string& name) const {
  return (fs::path(workDir_) / name).string();
}

std::string XSession::copyIn(const std::string& source, const std::string& as) {
  const std::string target =
      workPath(as.empty() ? fs::path(source).filename().string() : as);
  std::error_code error;
  fs::copy_file(source, target, fs::copy_options::overwrite_existing, error);
  if (error)
    ADD_FAILURE() << "cannot copy " << source << ": " << error.message();
  return target;
}

std::string XSession::writeFile(const std::string& name,
                                const std::string& content) {
  const std::string target = workPath(name);
  std::ofstream(target, std::ios::binary) << content;
  return target;
}

bool XSession::startWindowManager(WindowManager manager,
                                  double timeoutSeconds) {
  if (manager == WindowManager::NoManager) return true;
  const std::string name = windowManagerName(manager);
  if (display_.empty()) {
    ADD_FAILURE() << "no X server to run " << name << " on";
    return false;
  }
  const ManagerCommand how = managerCommand(manager);
  for (const std::string& program : how.needs) {
    if (!onPath(program)) {
      ADD_FAILURE() << "window manager " << name << ": \"" << program
                    << "\" is not installed (scripts/install-deps.sh "
                       "installs it)";
      return false;
    }
  }
  const std::string log = workPath("window-manager.txt");
  // Its settings and caches stay in the working folder; no accessibility
  // bus is started for it.
  const Environment environment{{"DISPLAY", display_},
                                {"XDG_CONFIG_HOME", workPath("wm-config")},
                                {"XDG_CACHE_HOME", workPath("wm-cache")},
                                {"NO_AT_BRIDGE", "1"},
                                {"SESSION_MANAGER", std::nullopt}};
  if (!managerProcess_.start(how.command, workDir_, environment, log, true)) {
    ADD_FAILURE() << "cannot start " << name;
    return false;
  }
  const auto start = Clock::now();
  XConnection x(display_);
  while (x.get() != nullptr && managerProcess_.running() &&
         secondsSince(start) < timeoutSeconds) {
    const Atom window = XA_WINDOW;
    const auto check = x.items(x.root(), "_NET_SUPPORTING_WM_CHECK", window);
    if (check.size() == 1 &&
        x.items(check[0], "_NET_SUPPORTING_WM_CHECK", window) == check) {
      manager_ = manager;
      return true;
    }
    pollPause();
  }
  ADD_FAILURE() << name << " did not take the screen over ("
                << (managerProcess_.running() ? "still starting" : "it ended")
                << "); see " << log;
  return false;
}

void XSession::pauseWindowManager(bool paused) {
  managerProcess_.sendSignal(paused ? SIGSTOP : SIGCONT);
}

void XSession::setEnv(const std::string& name,
                      std::optional<std::string> value) {
  environment_[name] = std::move(value);
}

void XSession::launch(const std::string& binary,
                      const std::vector<std::string>& args, bool withDisplay) {
  if (program_.running()) {
    ADD_FAILURE() << "a program is already running in this session";
    return;
  }
  std::vector<std::string> command{binary};
  command.insert(command.end(), args.begin(), args.end());
  Environment environment{{"QT_QPA_PLATFORM", std::nullopt},
                          {"WAYLAND_DISPLAY", std::nullopt}};
  environment["DISPLAY"] =
      withDisplay ? std::optional<std::string>(display_) : std::nullopt;
  for (const auto& [name, value] : environment_) environment[name] = value;
  output_.clear();
  outputCursor_ = 0;
  if (!program_.start(command, workDir_, environment, workPath("stderr.txt"))) {
    ADD_FAILURE() << "cannot start " << binary;
  }
}

void XSession::readAvailable(double waitSeconds) {
  program_.read(&output_, waitSeconds);
}

bool XSession::waitForOutput(const std::string& text, double timeoutSeconds) {
  const auto start = Clock::now();
  for (;;) {
    const size_t found = output_.find(text, outputCursor_);
    if (found != std::string::npos) {
      outputCursor_ = found + text.size();
      return true;
    }
    const double left = timeoutSeconds - secondsSince(start);
    if (program_.outputEnded() || left <= 0) return false;
    readAvailable(std::min(left, 0.2));
  }
}

bool XSession::waitForLine(const std::string& prefix, std::string* rest,
                           double timeoutSeconds) {
  const auto start = Clock::now();
  for (;;) {
    for (size_t found = output_.find(prefix, outputCursor_);
         found != std::string::npos; found = output_.find(prefix, found + 1)) {
      if (found > 0 && output_[found - 1] != '\n') continue;
      const size_t end = output_.find('\n', found);
      if (end == std::string::npos) break;
      *rest =
          output_.substr(found + prefix.size(), end - found - prefix.size());
      outputCursor_ = end + 1;
      return true;
    }
    const double left = timeoutSeconds - secondsSince(start);
    if (program_.outputEnded() || left <= 0) return false;
    readAvailable(std::min(left, 0.2));
  }
}

const std::string& XSession::output() {
  readAvailable(0);
  return output_;
}

std::string XSession::errorOutput() const {
  std::ifstream in(workPath("stderr.txt"), std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

bool XSession::running() { return program_.running(); }

void XSession::signalProgram(int number) { program_.sendSignal(number); }

void XSession::limitProgramFileSize(std::optional<unsigned long long> bytes) {
  if (!program_.limitFileSize(bytes))
    ADD_FAILURE() << "cannot set the program's file size limit";
}

void XSession::killServer() { server_.stop(0); }

int XSession::waitForExit(double timeoutSeconds) {
  const auto start = Clock::now();
  while (program_.running()) {
    if (secondsSince(start) > timeoutSeconds) {
      program_.stop(0);
      return -1;
    }
    readAvailable(0.05);
  }
  // The rest of the output: the pipe closes once the program has ended.
  while (!program_.outputEnded() && secondsSince(start) <= timeoutSeconds) {
    readAvailable(0.2);
  }
  return program_.status();
}

void XSession::setClientChurn(bool on) {
  if (on == churning_.load()) return;
  churning_ = on;
  if (!on) {
    churn_.join();
    return;
  }
  churn_ = std::thread([this] {
    // xcb rather than Xlib: Xlib ends the process when a connection the
    // server dropped is closed.
    while (churning_) {
      xcb_connection_t* connection = xcb_connect(display_.c_str(), nullptr);
      if (xcb_connection_has_error(connection) == 0)
        xcb_discard_reply(connection, xcb_get_input_focus(connection).sequence);
      xcb_flush(connection);
      xcb_disconnect(connection);
    }
  });
}

std::string XSession::runTool(const std::vector<std::string>& args,
                              int* status) {
  int result = 0;
  std::string text = runCommand(args, display_, kToolTimeoutSeconds, &result);
  if (result == 128 + SIGKILL) {
    ADD_FAILURE() << args[0] << " " << (args.size() > 1 ? args[1] : "")
                  << " did not finish";
  }
  if (status != nullptr) *status = result;
  // Keeps the program's output pipe drained, so that the program never
  // blocks on a full pipe while the test is busy sending events.
  readAvailable(0);
  return text;
}

bool XSession::hasWindow(const std::string& title) {
  return waitForWindow(title, 0) != 0;
}

unsigned long XSession::waitForWindow(const std::string& title,
                                      double timeoutSeconds) {
  const auto start = Clock::now();
  do {
    std::istringstream ids(runTool({"xdotool", "search", "--onlyvisible",
                                    "--name", quoteForRegex(title)}));
    unsigned long found = 0;
    for (std::string id; ids >> id;) {
      std::string name = runTool({"xdotool", "getwindowname", id});
      if (!name.empty() && name.back() == '\n') name.pop_back();
      if (name == title) found = std::stoul(id);
    }
    if (found != 0) return found;
    pollPause();
    readAvailable(0);
  } while (secondsSince(start) < timeoutSeconds);
  return 0;
}

unsigned long XSession::waitForNewWindow(const std::string& title,
                                         unsigned long previous,
                                         double timeoutSeconds) {
  const auto start = Clock::now();
  do {
    const unsigned long id = waitForWindow(title, 0);
    if (id != 0 && id != previous) return id;
    pollPause();
  } while (secondsSince(start) < timeoutSeconds);
  return 0;
}

// Read from the X server: xdotool's own geometry counts the frame of a
// window manager twice.
cv::Rect XSession::windowRect(const std::string& title) {
  const unsigned long id = waitForWindow(title, 0);
  XConnection x(display_);
  if (id == 0 || x.get() == nullptr) return {};
  XWindowAttributes attributes;
  int rootX = 0, rootY = 0;
  Window child = 0;
  if (XGetWindowAttributes(x.get(), id, &attributes) == 0 ||
      !XTranslateCoordinates(x.get(), id, x.root(), 0, 0, &rootX, &rootY,
                             &child))
    return {};
  return {rootX, rootY, attributes.width, attributes.height};
}

cv::Rect XSession::frameRect(const std::string& title) {
  const cv::Rect client = windowRect(title);
  const unsigned long id = waitForWindow(title, 0);
  XConnection x(display_);
  if (client.empty() || x.get() == nullptr) return client;
  const auto extents = x.items(id, "_NET_FRAME_EXTENTS", XA_CARDINAL);
  if (extents.size() != 4) return client;
  const int left = static_cast<int>(extents[0]);
  const int right = static_cast<int>(extents[1]);
  const int top = static_cast<int>(extents[2]);
  const int bottom = static_cast<int>(extents[3]);
  return {client.x - left, client.y - top, client.width + left + right,
          client.height + top + bottom};
}

void XSession::sendToRoot(unsigned long window, const char* type,
                          std::vector<long> data) {
  XConnection x(display_);
  if (x.get() == nullptr) return;
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = x.atom(type);
  event.xclient.format = 32;
  for (size_t i = 0; i < data.size() && i < 5; ++i)
    event.xclient.data.l[i] = data[i];
  XSendEvent(x.get(), x.root(), False,
             SubstructureNotifyMask | SubstructureRedirectMask, &event);
  XSync(x.get(), False);
}

bool XSession::moveOnTop(const std::string& title, int x, int y) {
  const unsigned long id = waitForWindow(title);
  if (id == 0) {
    ADD_FAILURE() << "no window \"" << title << "\" to move";
    return false;
  }
  // Requests from a pager (source 2), which managers carry out as the
  // user's own: the client area's position with static gravity (10).
  constexpr long kPager = 2, kStaticGravity = 10, kXAndY = (1 << 8) | (1 << 9);
  if (manager_ != WindowManager::NoManager) {
    sendToRoot(id, "_NET_MOVERESIZE_WINDOW",
               {kStaticGravity | kXAndY | (kPager << 12), x, y, 0, 0});
  } else {
    runTool({"xdotool", "windowmove", std::to_string(id), std::to_string(x),
             std::to_string(y)});
  }
  const auto start = Clock::now();
  while (windowRect(title).tl() != cv::Point(x, y)) {
    if (secondsSince(start) > 10) return false;
    pollPause();
  }
  if (manager_ != WindowManager::NoManager) {
    sendToRoot(id, "_NET_ACTIVE_WINDOW", {kPager, CurrentTime, 0});
  } else {
    runTool({"xdotool", "windowraise", std::to_string(id)});
  }
  return true;
}

bool XSession::maximize(const std::string& title, double timeoutSeconds) {
  const unsigned long id = waitForWindow(title);
  if (id == 0 || manager_ == WindowManager::NoManager) return false;
  XConnection x(display_);
  if (x.get() == nullptr) return false;
  const Atom vertical = x.atom("_NET_WM_STATE_MAXIMIZED_VERT");
  const Atom horizontal = x.atom("_NET_WM_STATE_MAXIMIZED_HORZ");
  constexpr long kAdd = 1, kPager = 2;
  sendToRoot(id, "_NET_WM_STATE",
             {kAdd, static_cast<long>(vertical), static_cast<long>(horizontal),
              kPager});
  const auto start = Clock::now();
  for (;;) {
    const auto state = x.items(id, "_NET_WM_STATE", XA_ATOM);
    if (std::count(state.begin(), state.end(), vertical) == 1 &&
        std::count(state.begin(), state.end(), horizontal) == 1)
      return true;
    if (secondsSince(start) > timeoutSeconds) return false;
    pollPause();
  }
}

cv::Size XSession::windowSize(const std::string& title) {
  return windowRect(title).size();
}

bool XSession::waitForWindowSize(const std::string& title, cv::Size size,
                                 double timeoutSeconds) {
  const auto start = Clock::now();
  while (windowSize(title) != size) {
    if (secondsSince(start) > timeoutSeconds) return false;
    pollPause();
  }
  return true;
}

void XSession::moveWindow(const std::string& title, int x, int y) {
  const unsigned long id = waitForWindow(title);
  if (id == 0) {
    ADD_FAILURE() << "no window \"" << title << "\" to move";
    return;
  }
  runTool({"xdotool", "windowmove", std::to_string(id), std::to_string(x),
           std::to_string(y)});
  const auto start = Clock::now();
  while (windowRect(title).tl() != cv::Point(x, y) &&
         secondsSince(start) < 10) {
    pollPause();
  }
}

void XSession::setPictureSize(const std::string& title, cv::Size picture) {
  pictureSizes_[title] = picture;
}

cv::Point XSession::toScreen(const std::string& title, const cv::Rect& window,
                             cv::Point picture) const {
  const auto known = pictureSizes_.find(title);
  cv::Point2d at(picture.x, picture.y);
  if (known != pictureSizes_.end() && known->second != window.size() &&
      window.area() > 0) {
    // The picture is scaled to the window keeping its aspect ratio and
    // centred; the point goes to the centre of its scaled pixel.
    const cv::Size shown = known->second;
    const double scale = std::min(double(window.width) / shown.width,
                                  double(window.height) / shown.height);
    at.x = (window.width - shown.width * scale) / 2 + (picture.x + 0.5) * scale;
    at.y =
        (window.height - shown.height * scale) / 2 + (picture.y + 0.5) * scale;
  }
  // The X server keeps the pointer on the screen: points beyond its edges
  // arrive at the edge.
  return {std::max(0, window.x + static_cast<int>(std::floor(at.x))),
          std::max(0, window.y + static_cast<int>(std::floor(at.y)))};
}

void XSession::moveTo(const std::string& title, int x, int y) {
  drag(title, {{x, y}}, false);
}

void XSession::click(const std::string& title, int x, int y) {
  drag(title, {{x, y}});
}

void XSession::drag(const std::string& title,
                    const std::vector<cv::Point>& path, bool press, int button,
                    bool release) {
  const unsigned long id = waitForWindow(title);
  if (id == 0 || path.empty()) {
    ADD_FAILURE() << "no window \"" << title << "\" to point at";
    return;
  }
  const cv::Rect window = windowRect(title);
  // Without a window manager all windows open at the screen's corner and
  // overlap: the pointer acts on the topmost one. The X server carries out
  // the raise, moves and presses in order, so no step waits for the one
  // before (xdotool's "mousemove --sync" would even stall for seconds when
  // the pointer is already in place).
  std::vector<std::string> command{"xdotool", "windowraise",
                                   std::to_string(id)};
  for (size_t i = 0; i < path.size(); ++i) {
    const cv::Point at = toScreen(title, window, path[i]);
    for (const std::string& word :
         {std::string("mousemove"), std::to_string(at.x),
          std::to_string(at.y)}) {
      command.push_back(word);
    }
    if (i == 0 && press) {
      command.push_back("mousedown");
      command.push_back(std::to_string(button));
    }
    if (path.size() > 1 && dragPaceSeconds_ > 0) {
      command.push_back("sleep");
      command.push_back(std::to_string(dragPaceSeconds_));
    }
  }
  if (press && release) {
    command.push_back("mouseup");
    command.push_back(std::to_string(button));
  }
  runTool(command);
}

void XSession::wheel(const std::string& title, int x, int y, int clicks) {
  moveTo(title, x, y);
  runTool({"xdotool", "click", "--repeat", std::to_string(std::abs(clicks)),
           clicks > 0 ? "4" : "5"});
}

void XSession::key(const std::string& title, const std::string& chord) {
  const unsigned long id = waitForWindow(title);
  if (id == 0) {
    ADD_FAILURE() << "no window \"" << title << "\" to type into";
    return;
  }
  runTool({"xdotool", "windowfocus", "--sync", std::to_string(id), "key",
           "--clearmodifiers", chord});
}

void XSession::closeWindow(const std::string& title) {
  const unsigned long id = waitForWindow(title);
  if (id == 0) {
    ADD_FAILURE() << "no window \"" << title << "\" to close";
    return;
  }
  Display* x = XOpenDisplay(display_.c_str());
  if (x == nullptr) {
    ADD_FAILURE() << "cannot open " << display_;
    return;
  }
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = id;
  event.xclient.message_type = XInternAtom(x, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] =
      static_cast<long>(XInternAtom(x, "WM_DELETE_WINDOW", False));
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(x, id, False, NoEventMask, &event);
  XCloseDisplay(x);
}

void XSession::closeThroughManager(const std::string& title) {
  if (manager_ == WindowManager::NoManager) {
    closeWindow(title);
    return;
  }
  const unsigned long id = waitForWindow(title);
  if (id == 0) {
    ADD_FAILURE() << "no window \"" << title << "\" to close";
    return;
  }
  constexpr long kPager = 2;
  sendToRoot(id, "_NET_CLOSE_WINDOW", {CurrentTime, kPager});
}

cv::Mat XSession::grabScreen() {
  XConnection x(display_);
  if (x.get() == nullptr) return {};
  XWindowAttributes root;
  if (XGetWindowAttributes(x.get(), x.root(), &root) == 0) return {};
  XImage* image = XGetImage(x.get(), x.root(), 0, 0, root.width, root.height,
                            AllPlanes, ZPixmap);
  if (image == nullptr) return {};
  cv::Mat screen(root.height, root.width, CV_8UC3);
  for (int row = 0; row < root.height; ++row) {
    auto* to = screen.ptr<cv::Vec3b>(row);
    for (int col = 0; col < root.width; ++col) {
      const unsigned long pixel = XGetPixel(image, col, row);
      to[col] =
          cv::Vec3b(pixel & 0xff, (pixel >> 8) & 0xff, (pixel >> 16) & 0xff);
    }
  }
  XDestroyImage(image);
  return screen;
}

cv::Mat XSession::waitForPicture(const std::string& name,
                                 double timeoutSeconds) {
  const std::string path = workPath(name);
  const auto deadline = std::chrono::steady_clock::now() +
                        std::chrono::duration<double>(timeoutSeconds);
  do {
    if (std::filesystem::exists(path)) {
      cv::Mat picture = cv::imread(path, cv::IMREAD_UNCHANGED);
      if (!picture.empty()) return picture;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  } while (std::chrono::steady_clock::now() < deadline);
  return {};
}

cv::Mat XSession::capture(const std::string& title) {
  const unsigned long id = waitForWindow(title);
  if (id == 0) {
    ADD_FAILURE() << "no window \"" << title << "\" to capture";
    return {};
  }
  runTool({"xdotool", "windowraise", std::to_string(id)});
  const cv::Rect rect = windowRect(title);
  Display* x = XOpenDisplay(display_.c_str());
  if (x == nullptr || rect.area() == 0) {
    if (x != nullptr) XCloseDisplay(x);
    return {};
  }
  cv::Mat previous;
  cv::Mat taken;
  for (int attempt = 0; attempt < 100; ++attempt) {
    XImage* image = XGetImage(x, DefaultRootWindow(x), rect.x, rect.y,
                              rect.width, rect.height, AllPlanes, ZPixmap);
    if (image == nullptr) break;
    taken.create(rect.height, rect.width, CV_8UC3);
    for (int row = 0; row < rect.height; ++row) {
      for (int col = 0; col < rect.width; ++col) {
        const unsigned long pixel = XGetPixel(image, col, row);
        taken.at<cv::Vec3b>(row, col) =
            cv::Vec3b(pixel & 0xff, (pixel >> 8) & 0xff, (pixel >> 16) & 0xff);
      }
    }
    XDestroyImage(image);
    if (!previous.empty() && cv::norm(previous, taken, cv::NORM_INF) == 0)
      break;
    taken.copyTo(previous);
    pollPause();
  }
  XCloseDisplay(x);
  return taken;
}

bool XSession::answer(const std::string& title, bool yes,
                      double timeoutSeconds) {
  if (waitForWindow(title, timeoutSeconds) == 0) return false;
  key(title, yes ? "y" : "n");
  const auto start = Clock::now();
  while (hasWindow(title)) {
    if (secondsSince(start) > timeoutSeconds) return false;
    readAvailable(0.05);
  }
  return true;
}

}  // namespace scribeline::e2e
