// A minimal program over the real window system, for the real-window tests of
// the window layer itself. It opens "Probe" (free scale) with a generated
// picture of the size given on the command line and "Pad" (scale 100%) with a
// 200 x 100 picture, and reports on standard output, one flushed line each:
//   "ready"                        once both windows are shown
//   "mouse NAME EVENT X Y FLAGS"   every mouse event of either window
//   "key CODE"                     every key code
//   "answer yes" / "answer no"     after the question of key "a"
//   "recreated free" / "recreated 100", "pad shown"   after "r" and "p"
//   "placed"                       after "l"
//   "free X Y W H"                 the screen's free area, after "f"
//   "no windows left"              when the user has closed every window
// Keys: "a" asks "Probe?" / "Shall we?"; "r" re-creates "Probe" in the other
// mode; "p" shows "Pad" again (re-opening it when the user has closed it);
// "e" gives "Pad" a handler that throws; "l" places "Pad" at (700, 300) and
// "Probe" at (100, 50) with a 400 x 200 picture area; Escape ends with
// status 3. Without a
// display it prints "no display: REASON" and ends with status 2.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <opencv2/core.hpp>
#include <stdexcept>
#include <string>

#include "ui/highgui_window_system.h"

namespace {

using scribeline::WindowMode;
using scribeline::WindowSystem;

cv::Mat probePicture(int width, int height) {
  cv::Mat picture(height, width, CV_8UC3);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      picture.at<cv::Vec3b>(y, x) = cv::Vec3b(x % 256, y % 256, 128);
    }
  }
  return picture;
}

void report(const std::string& line) { std::cout << line << std::endl; }

void attach(WindowSystem& windows, const std::string& name) {
  windows.setMouseHandler(name, [name](int event, int x, int y, int flags) {
    report("mouse " + name + " " + std::to_string(event) + " " +
           std::to_string(x) + " " + std::to_string(y) + " " +
           std::to_string(flags));
  });
}

}  // namespace

int main(int argc, char** argv) {
  const int width = argc > 2 ? std::atoi(argv[1]) : 640;
  const int height = argc > 2 ? std::atoi(argv[2]) : 480;
  std::string error;
  std::unique_ptr<WindowSystem> windows =
      scribeline::openHighguiWindowSystem(argc, argv, &error);
  if (!windows) {
    report("no display: " + error);
    return 2;
  }
  const cv::Mat picture = probePicture(width, height);
  WindowMode probeMode = WindowMode::FreeScale;
  windows->createWindow("Probe", probeMode);
  attach(*windows, "Probe");
  windows->showImage("Probe", picture);
  windows->createWindow("Pad", WindowMode::Scale100);
  attach(*windows, "Pad");
  windows->showImage("Pad", probePicture(200, 100));
  report("ready");
  for (;;) {
    const int key = windows->waitKey();
    if (key == scribeline::kNoWindowsLeft) {
      report("no windows left");
      return 0;
    }
    report("key " + std::to_string(key));
    if (key == 27) return 3;
    if (key == 'a') {
      report(windows->askYesNo("Probe?", "Shall we?") ? "answer yes"
                                                      : "answer no");
    } else if (key == 'e') {
      windows->setMouseHandler("Pad", [](int, int, int, int) {
        throw std::runtime_error("probe handler failure");
      });
    } else if (key == 'l') {
      windows->placeWindow("Pad", {700, 300}, {});
      windows->placeWindow("Probe", {100, 50}, {400, 200});
      report("placed");
    } else if (key == 'f') {
      const cv::Rect free = windows->freeArea();
      report("free " + std::to_string(free.x) + " " + std::to_string(free.y) +
             " " + std::to_string(free.width) + " " +
             std::to_string(free.height));
    } else if (key == 'p') {
      windows->showImage("Pad", probePicture(200, 100));
      report("pad shown");
    } else if (key == 'r') {
      probeMode = probeMode == WindowMode::FreeScale ? WindowMode::Scale100
                                                     : WindowMode::FreeScale;
      windows->destroyWindow("Probe");
      windows->createWindow("Probe", probeMode);
      attach(*windows, "Probe");
      windows->showImage("Probe", picture);
      report(std::string("recreated ") +
             (probeMode == WindowMode::FreeScale ? "free" : "100"));
    }
  }
}
