#include "tests/e2e/x_session.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

// Last: Xlib defines macros (None, Bool, Status) that clash with C++ headers.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace scribeline::e2e {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr double kToolTimeoutSeconds = 20;

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Polling interval of the waiting helpers: events, not time, decide their
// outcome; this only bounds how long a ready condition goes unnoticed.
void pause() { std::this_thread::sleep_for(std::chrono::milliseconds(20)); }

// Child side of a spawn: never returns.
[[noreturn]] void execChild(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  execvp(argv[0], argv.data());
  std::fprintf(stderr, "cannot run %s: %s\n", argv[0], std::strerror(errno));
  _exit(127);
}

void redirect(int fd, const std::string& path) {
  const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (file >= 0) {
    dup2(file, fd);
    close(file);
  }
}

std::string quoteForRegex(const std::string& text) {
  std::string quoted = "^";
  for (char c : text) {
    if (std::strchr("\\^$.|?*+()[]{}", c) != nullptr) quoted += '\\';
    quoted += c;
  }
  return quoted + "$";
}

bool waitChild(pid_t pid, double timeoutSeconds, int* status) {
  const auto start = Clock::now();
  for (;;) {
    const pid_t done = waitpid(pid, status, WNOHANG);
    if (done == pid) return true;
    if (done < 0 || secondsSince(start) > timeoutSeconds) return false;
    pause();
  }
}

int decodeStatus(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

}  // namespace

std::string sourcePath(const std::string& relative) {
  return (fs::path(SCRIBELINE_E2E_SOURCE_DIR) / relative).string();
}

XSession::XSession(int screenWidth, int screenHeight) {
  char pattern[] = "/tmp/scribeline-e2e-XXXXXX";
  if (mkdtemp(pattern) == nullptr) {
    ADD_FAILURE() << "cannot create a working folder: " << std::strerror(errno);
    return;
  }
  workDir_ = pattern;
  fs::create_directory(workDir_ + "/.x");

  int ready[2];
  if (pipe(ready) != 0) {
    ADD_FAILURE() << "pipe: " << std::strerror(errno);
    return;
  }
  serverPid_ = fork();
  if (serverPid_ == 0) {
    close(ready[0]);
    redirect(STDOUT_FILENO, workDir_ + "/.x/xvfb.txt");
    redirect(STDERR_FILENO, workDir_ + "/.x/xvfb.txt");
    execChild({"Xvfb", "-displayfd", std::to_string(ready[1]), "-screen", "0",
               std::to_string(screenWidth) + "x" + std::to_string(screenHeight) +
                   "x24",
               "-nolisten", "tcp", "-noreset"});
  }
  close(ready[1]);
  // Xvfb writes the display number it chose once it accepts connections.
  std::string number;
  const auto start = Clock::now();
  pollfd wait{ready[0], POLLIN, 0};
  while (number.find('\n') == std::string::npos && secondsSince(start) < 30) {
    if (poll(&wait, 1, 200) <= 0) continue;
    char buffer[32];
    const ssize_t n = read(ready[0], buffer, sizeof buffer);
    if (n <= 0) break;
    number.append(buffer, n);
  }
  close(ready[0]);
  if (number.find('\n') == std::string::npos) {
    ADD_FAILURE() << "Xvfb did not start; see " << workDir_ << "/.x/xvfb.txt";
    return;
  }
  display_ = ":" + number.substr(0, number.find('\n'));
}

XSession::~XSession() {
  stopProgram();
  if (serverPid_ > 0) {
    kill(serverPid_, SIGTERM);
    int status = 0;
    if (!waitChild(serverPid_, 10, &status)) {
      kill(serverPid_, SIGKILL);
      waitpid(serverPid_, &status, 0);
    }
  }
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
  if (error) ADD_FAILURE() << "cannot copy " << source << ": " << error.message();
  return target;
}

std::string XSession::writeFile(const std::string& name,
                                const std::string& content) {
  const std::string target = workPath(name);
  std::ofstream(target, std::ios::binary) << content;
  return target;
}

void XSession::setEnv(const std::string& name,
                      std::optional<std::string> value) {
  environment_[name] = std::move(value);
}

void XSession::launch(const std::string& binary,
                      const std::vector<std::string>& args, bool withDisplay) {
  if (programPid_ > 0) {
    ADD_FAILURE() << "a program is already running in this session";
    return;
  }
  int out[2];
  if (pipe(out) != 0) {
    ADD_FAILURE() << "pipe: " << std::strerror(errno);
    return;
  }
  std::vector<std::string> command{binary};
  command.insert(command.end(), args.begin(), args.end());
  programPid_ = fork();
  if (programPid_ == 0) {
    close(out[0]);
    dup2(out[1], STDOUT_FILENO);
    close(out[1]);
    redirect(STDERR_FILENO, workPath("stderr.txt"));
    if (chdir(workDir_.c_str()) != 0) _exit(127);
    unsetenv("QT_QPA_PLATFORM");
    unsetenv("WAYLAND_DISPLAY");
    if (withDisplay) {
      setenv("DISPLAY", display_.c_str(), 1);
    } else {
      unsetenv("DISPLAY");
    }
    for (const auto& [name, value] : environment_) {
      if (value) {
        setenv(name.c_str(), value->c_str(), 1);
      } else {
        unsetenv(name.c_str());
      }
    }
    execChild(command);
  }
  close(out[1]);
  outputFd_ = out[0];
  fcntl(outputFd_, F_SETFL, fcntl(outputFd_, F_GETFL) | O_NONBLOCK);
  output_.clear();
  outputCursor_ = 0;
  programStatus_ = -1;
}

void XSession::readAvailable(double waitSeconds) {
  if (outputFd_ < 0) return;
  pollfd wait{outputFd_, POLLIN, 0};
  poll(&wait, 1, static_cast<int>(waitSeconds * 1000));
  char buffer[4096];
  for (;;) {
    const ssize_t n = read(outputFd_, buffer, sizeof buffer);
    if (n > 0) {
      output_.append(buffer, n);
      continue;
    }
    if (n == 0) {
      close(outputFd_);
      outputFd_ = -1;
    }
    return;
  }
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
    if (outputFd_ < 0 || left <= 0) return false;
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
      *rest = output_.substr(found + prefix.size(), end - found - prefix.size());
      outputCursor_ = end + 1;
      return true;
    }
    const double left = timeoutSeconds - secondsSince(start);
    if (outputFd_ < 0 || left <= 0) return false;
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

bool XSession::running() {
  if (programPid_ <= 0) return false;
  int status = 0;
  if (waitpid(programPid_, &status, WNOHANG) != programPid_) return true;
  programStatus_ = decodeStatus(status);
  programPid_ = -1;
  return false;
}

int XSession::waitForExit(double timeoutSeconds) {
  const auto start = Clock::now();
  while (running()) {
    if (secondsSince(start) > timeoutSeconds) {
      stopProgram();
      return -1;
    }
    readAvailable(0.05);
  }
  // The rest of the output: the pipe closes once the program has ended.
  while (outputFd_ >= 0 && secondsSince(start) <= timeoutSeconds) {
    readAvailable(0.2);
  }
  return programStatus_;
}

void XSession::stopProgram() {
  if (programPid_ > 0) {
    kill(programPid_, SIGKILL);
    int status = 0;
    waitpid(programPid_, &status, 0);
    programPid_ = -1;
  }
  if (outputFd_ >= 0) {
    close(outputFd_);
    outputFd_ = -1;
  }
}

std::string XSession::runTool(const std::vector<std::string>& args, int* status) {
  int out[2];
  if (pipe(out) != 0) return "";
  const pid_t pid = fork();
  if (pid == 0) {
    close(out[0]);
    dup2(out[1], STDOUT_FILENO);
    close(out[1]);
    redirect(STDERR_FILENO, "/dev/null");
    setenv("DISPLAY", display_.c_str(), 1);
    execChild(args);
  }
  close(out[1]);
  std::string text;
  char buffer[4096];
  const auto start = Clock::now();
  pollfd wait{out[0], POLLIN, 0};
  for (;;) {
    if (poll(&wait, 1, 200) > 0) {
      const ssize_t n = read(out[0], buffer, sizeof buffer);
      if (n <= 0) break;
      text.append(buffer, n);
    }
    if (secondsSince(start) > kToolTimeoutSeconds) {
      ADD_FAILURE() << args[0] << " " << (args.size() > 1 ? args[1] : "")
                    << " did not finish";
      kill(pid, SIGKILL);
      break;
    }
  }
  close(out[0]);
  int raw = 0;
  waitpid(pid, &raw, 0);
  if (status != nullptr) *status = decodeStatus(raw);
  return text;
}

bool XSession::hasWindow(const std::string& title) {
  std::istringstream ids(runTool(
      {"xdotool", "search", "--onlyvisible", "--name", quoteForRegex(title)}));
  // xdotool matches without regard to case: keep exact titles only.
  for (std::string id; ids >> id;) {
    std::string name = runTool({"xdotool", "getwindowname", id});
    if (!name.empty() && name.back() == '\n') name.pop_back();
    if (name == title) return true;
  }
  return false;
}

unsigned long XSession::waitForWindow(const std::string& title,
                                      double timeoutSeconds) {
  const auto start = Clock::now();
  do {
    std::istringstream ids(runTool(
        {"xdotool", "search", "--onlyvisible", "--name", quoteForRegex(title)}));
    unsigned long found = 0;
    for (std::string id; ids >> id;) {
      std::string name = runTool({"xdotool", "getwindowname", id});
      if (!name.empty() && name.back() == '\n') name.pop_back();
      if (name == title) found = std::stoul(id);
    }
    if (found != 0) return found;
    pause();
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
    pause();
  } while (secondsSince(start) < timeoutSeconds);
  return 0;
}

cv::Rect XSession::windowRect(const std::string& title) {
  const unsigned long id = waitForWindow(title, 0);
  if (id == 0) return {};
  std::istringstream shell(
      runTool({"xdotool", "getwindowgeometry", "--shell", std::to_string(id)}));
  cv::Rect rect;
  for (std::string line; std::getline(shell, line);) {
    const size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    const std::string name = line.substr(0, equals);
    const int value = std::atoi(line.c_str() + equals + 1);
    if (name == "X") rect.x = value;
    if (name == "Y") rect.y = value;
    if (name == "WIDTH") rect.width = value;
    if (name == "HEIGHT") rect.height = value;
  }
  return rect;
}

cv::Size XSession::windowSize(const std::string& title) {
  return windowRect(title).size();
}

bool XSession::waitForWindowSize(const std::string& title, cv::Size size,
                                 double timeoutSeconds) {
  const auto start = Clock::now();
  while (windowSize(title) != size) {
    if (secondsSince(start) > timeoutSeconds) return false;
    pause();
  }
  return true;
}

void XSession::moveWindow(const std::string& title, int x, int y) {
  const unsigned long id = waitForWindow(title);
  if (id == 0) {
    ADD_FAILURE() << "no window \"" << title << "\" to move";
    return;
  }
  runTool({"xdotool", "windowmove", "--sync", std::to_string(id),
           std::to_string(x), std::to_string(y)});
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
    at.y = (window.height - shown.height * scale) / 2 + (picture.y + 0.5) * scale;
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
                    const std::vector<cv::Point>& path, bool press) {
  const unsigned long id = waitForWindow(title);
  if (id == 0 || path.empty()) {
    ADD_FAILURE() << "no window \"" << title << "\" to point at";
    return;
  }
  const cv::Rect window = windowRect(title);
  // Without a window manager all windows open at the screen's corner and
  // overlap: the pointer acts on the topmost one.
  std::vector<std::string> command{"xdotool", "windowraise", std::to_string(id)};
  for (size_t i = 0; i < path.size(); ++i) {
    const cv::Point at = toScreen(title, window, path[i]);
    for (const std::string& word :
         {std::string("mousemove"), std::string("--sync"),
          std::to_string(at.x), std::to_string(at.y)}) {
      command.push_back(word);
    }
    if (i == 0 && press) {
      command.push_back("mousedown");
      command.push_back("1");
    }
    if (path.size() > 1 && dragPaceSeconds_ > 0) {
      command.push_back("sleep");
      command.push_back(std::to_string(dragPaceSeconds_));
    }
  }
  if (press) {
    command.push_back("mouseup");
    command.push_back("1");
  }
  runTool(command);
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
    if (!previous.empty() && cv::norm(previous, taken, cv::NORM_INF) == 0) break;
    taken.copyTo(previous);
    pause();
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
