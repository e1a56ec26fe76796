// The real window layer under its own X server, through window_probe: keys,
// mouse coordinates, windows re-created or closed by the user, questions,
// and the missing display.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/e2e/child_process.h"
#include "tests/e2e/x_session.h"
#include "ui/window_system.h"

namespace scribeline::e2e {
namespace {

struct MouseEvent {
  int event = -1, x = 0, y = 0, flags = 0;
};

// Waits for the next mouse report of `window` with the given event code.
bool nextMouse(XSession& session, const std::string& window, int event,
               MouseEvent* seen) {
  std::string rest;
  while (session.waitForLine("mouse " + window + " ", &rest, 20)) {
    std::istringstream fields(rest);
    fields >> seen->event >> seen->x >> seen->y >> seen->flags;
    if (seen->event == event) return true;
  }
  return false;
}

class WindowLayerTest : public ::testing::Test {
 protected:
  void start(int width, int height, std::vector<std::string> more = {}) {
    ASSERT_FALSE(session.display().empty());
    std::vector<std::string> args{std::to_string(width),
                                  std::to_string(height)};
    args.insert(args.end(), more.begin(), more.end());
    session.launch(WINDOW_PROBE_BINARY, args);
    ASSERT_TRUE(session.waitForOutput("ready\n")) << session.errorOutput();
    ASSERT_NE(session.waitForWindow("Probe"), 0u);
    ASSERT_NE(session.waitForWindow("Pad"), 0u);
  }

  // Sends a key to "Probe" and returns the code the probe reports next.
  int codeOf(const std::string& chord) {
    session.key("Probe", chord);
    std::string code;
    if (!session.waitForLine("key ", &code, 20)) return -1000;
    return std::stoi(code);
  }

  XSession session;
};

struct KeyCase {
  const char* chord;
  int code;
};

TEST_F(WindowLayerTest, KeysArriveWithCaseAndModifiers) {
  start(320, 240);
  const KeyCase cases[] = {
      {"M", 77},
      {"m", 109},
      {"N", 78},
      {"n", 110},
      {"S", 83},
      {"s", 115},
      {"X", 88},
      {"x", 120},
      {"ctrl+Return", 10},
      {"Return", 13},
      {"KP_Enter", 13},
      {"BackSpace", 8},
      {"comma", 44},
      {"period", 46},
      {"less", 60},
      {"greater", 62},
      {"2", 50},
      {"KP_2", 50},
      {"shift+Return", 13},
      {"ctrl+BackSpace", 8},
      {"0", 48},
      {"1", 49},
      {"t", 116},
      {"u", 117},
      {"ctrl+z", kKeyUndo},
      {"ctrl+shift+z", kKeyRedo},
      {"ctrl+y", kKeyRedo},
      {"Left", kKeyLeft},
      {"Right", kKeyRight},
      {"Up", kKeyUp},
      {"Down", kKeyDown},
      {"Prior", kKeyPageUp},
      {"Next", kKeyPageDown},
  };
  for (const KeyCase& c : cases) {
    EXPECT_EQ(codeOf(c.chord), c.code) << c.chord;
  }
}

TEST_F(WindowLayerTest, KeysWithoutCodeAreNotReported) {
  start(320, 240);
  // Each ignored key is followed by "t"; the next report must be 116.
  for (const char* ignored :
       {"shift", "ctrl", "alt", "Shift_R", "F5", "ctrl+s", "ctrl+m",
        "ctrl+bracketleft", "ctrl+h", "Caps_Lock"}) {
    session.key("Probe", ignored);
    EXPECT_EQ(codeOf("t"), 116) << ignored;
    if (std::string(ignored) == "Caps_Lock") session.key("Probe", "Caps_Lock");
  }
}

TEST_F(WindowLayerTest, EscapeReachesTheProgram) {
  start(320, 240);
  EXPECT_EQ(codeOf("Escape"), 27);
  EXPECT_EQ(session.waitForExit(), 3);
}

TEST_F(WindowLayerTest, MouseReportsPicturePixelsAtFullSize) {
  start(640, 480);
  EXPECT_TRUE(session.waitForWindowSize("Probe", {640, 480}));
  EXPECT_EQ(session.windowSize("Pad"), cv::Size(200, 100));
  const cv::Point points[] = {{0, 0}, {639, 479}, {321, 17}, {5, 400}};
  for (const cv::Point& p : points) {
    session.click("Probe", p.x, p.y);
    MouseEvent press, release;
    ASSERT_TRUE(nextMouse(session, "Probe", 1, &press));
    EXPECT_EQ(cv::Point(press.x, press.y), p);
    ASSERT_TRUE(nextMouse(session, "Probe", 4, &release));
    EXPECT_EQ(cv::Point(release.x, release.y), p);
  }
  session.click("Pad", 199, 99);
  MouseEvent press;
  ASSERT_TRUE(nextMouse(session, "Pad", 1, &press));
  EXPECT_EQ(cv::Point(press.x, press.y), cv::Point(199, 99));
}

// The program's arguments are its own: Qt options among them are not
// applied (with "-platform offscreen" taken by Qt, no window would appear).
TEST_F(WindowLayerTest, ArgumentsAreNotTakenAsQtOptions) {
  start(320, 240, {"-platform", "offscreen", "-reverse"});
  EXPECT_EQ(codeOf("t"), 116);
}

// Pixels of the window that differ from the probe's picture at 100%.
int differingPixels(const cv::Mat& shown) {
  int differing = 0;
  for (int y = 0; y < shown.rows; ++y) {
    for (int x = 0; x < shown.cols; ++x) {
      if (shown.at<cv::Vec3b>(y, x) != cv::Vec3b(x % 256, y % 256, 128)) {
        ++differing;
      }
    }
  }
  return differing;
}

TEST_F(WindowLayerTest, CaptureShowsThePictureAtFullSize) {
  start(320, 240);
  const cv::Mat shown = session.capture("Probe");
  ASSERT_EQ(shown.size(), cv::Size(320, 240));
  EXPECT_EQ(differingPixels(shown), 0);
}

// The wheel neither zooms the view nor turns a later drag into panning.
TEST_F(WindowLayerTest, WheelLeavesTheViewAlone) {
  start(640, 480);
  session.wheel("Probe", 320, 240, 3);
  session.wheel("Probe", 320, 240, -1);
  session.drag("Probe", {{300, 300}, {350, 300}, {400, 300}});
  MouseEvent seen;
  ASSERT_TRUE(nextMouse(session, "Probe", 1, &seen));
  EXPECT_EQ(cv::Point(seen.x, seen.y), cv::Point(300, 300));
  ASSERT_TRUE(nextMouse(session, "Probe", 4, &seen));
  EXPECT_EQ(cv::Point(seen.x, seen.y), cv::Point(400, 300));
  EXPECT_EQ(differingPixels(session.capture("Probe")), 0);
}

// Wheel turns reach the handler at the picture pixel under the pointer, with
// their direction and size in the flags' upper half; the middle button
// reports its own press and release, and moves carry its flag.
TEST_F(WindowLayerTest, WheelAndMiddleButtonReachTheHandler) {
  start(640, 480);
  session.wheel("Probe", 320, 240, 1);
  MouseEvent seen;
  ASSERT_TRUE(nextMouse(session, "Probe", kMouseWheel, &seen));
  EXPECT_EQ(cv::Point(seen.x, seen.y), cv::Point(320, 240));
  EXPECT_EQ(wheelDelta(seen.flags), kWheelNotch);
  session.wheel("Probe", 17, 401, -1);
  ASSERT_TRUE(nextMouse(session, "Probe", kMouseWheel, &seen));
  EXPECT_EQ(cv::Point(seen.x, seen.y), cv::Point(17, 401));
  EXPECT_EQ(wheelDelta(seen.flags), -kWheelNotch);

  session.drag("Probe", {{100, 100}, {150, 120}, {200, 140}}, true, 2);
  ASSERT_TRUE(nextMouse(session, "Probe", kMiddleButtonDown, &seen));
  EXPECT_EQ(cv::Point(seen.x, seen.y), cv::Point(100, 100));
  std::string rest;
  ASSERT_TRUE(session.waitForLine("mouse Probe 0 200 140 ", &rest, 20));
  EXPECT_EQ(std::stoi(rest) & kMouseFlagMiddleButton, kMouseFlagMiddleButton);
  ASSERT_TRUE(nextMouse(session, "Probe", kMiddleButtonUp, &seen));
  EXPECT_EQ(cv::Point(seen.x, seen.y), cv::Point(200, 140));
}

// With no window manager, windows go where the program places them, a
// free-scale one with the picture area asked for; the free area is the
// screen.
TEST_F(WindowLayerTest, WindowsGoWhereTheyArePlaced) {
  start(2000, 1000);
  session.key("Probe", "f");
  ASSERT_TRUE(session.waitForOutput("free 0 0 1600 1200\n"));
  session.key("Probe", "l");
  ASSERT_TRUE(session.waitForOutput("placed\n"));
  EXPECT_TRUE(session.waitForWindowSize("Probe", {400, 200}));
  EXPECT_EQ(session.windowRect("Probe"), cv::Rect(100, 50, 400, 200));
  EXPECT_EQ(session.windowRect("Pad"), cv::Rect(700, 300, 200, 100));
  session.setPictureSize("Probe", {2000, 1000});
  session.click("Probe", 1000, 500);
  MouseEvent press;
  ASSERT_TRUE(nextMouse(session, "Probe", 1, &press));
  EXPECT_NEAR(press.x, 1000, 5);
  EXPECT_NEAR(press.y, 500, 5);
}

// Under a window manager too, placed windows' frames go where they are
// placed, whatever the manager's own placement policy, and a free-scale
// window gets the picture area asked for.
class WindowLayerUnderManager : public ::testing::TestWithParam<WindowManager> {
};

TEST_P(WindowLayerUnderManager, FramesGoWhereTheyArePlaced) {
  XSession session;
  ASSERT_FALSE(session.display().empty());
  ASSERT_TRUE(session.startWindowManager(GetParam()));
  session.launch(WINDOW_PROBE_BINARY, {"2000", "1000"});
  ASSERT_TRUE(session.waitForOutput("ready\n")) << session.errorOutput();
  session.key("Probe", "l");
  ASSERT_TRUE(session.waitForOutput("placed\n"));
  const auto start = Clock::now();
  while ((session.frameRect("Pad").tl() != cv::Point(700, 300) ||
          session.frameRect("Probe").tl() != cv::Point(100, 50) ||
          session.windowSize("Probe") != cv::Size(400, 200)) &&
         secondsSince(start) < 10) {
    pollPause();
  }
  EXPECT_EQ(session.frameRect("Pad").tl(), cv::Point(700, 300));
  EXPECT_EQ(session.windowSize("Pad"), cv::Size(200, 100));
  EXPECT_EQ(session.frameRect("Probe").tl(), cv::Point(100, 50));
  EXPECT_EQ(session.windowSize("Probe"), cv::Size(400, 200));
  session.key("Probe", "Escape");
  EXPECT_EQ(session.waitForExit(), 3);
}

INSTANTIATE_TEST_SUITE_P(
    Managers, WindowLayerUnderManager,
    ::testing::Values(WindowManager::NoManager, WindowManager::Openbox,
                      WindowManager::Xfwm4),
    [](const ::testing::TestParamInfo<WindowManager>& info) {
      return windowManagerName(info.param);
    });

// A picture larger than the 1600 x 1200 screen opens scaled down to fit it,
// with its aspect ratio, and the mouse still reports picture pixels.
struct OversizeCase {
  int width, height;
  cv::Size window;
};

void PrintTo(const OversizeCase& c, std::ostream* out) {
  *out << c.width << " x " << c.height << " in a " << c.window.width << " x "
       << c.window.height << " window";
}

class OversizePictureTest : public WindowLayerTest,
                            public ::testing::WithParamInterface<OversizeCase> {
};

TEST_P(OversizePictureTest, FitsTheScreenAndReportsPicturePixels) {
  const OversizeCase c = GetParam();
  start(c.width, c.height);
  EXPECT_TRUE(session.waitForWindowSize("Probe", c.window))
      << session.windowSize("Probe");
  session.setPictureSize("Probe", {c.width, c.height});
  const double pixel = double(c.width) / c.window.width;
  const cv::Point points[] = {
      {0, 0}, {c.width - 1, c.height - 1}, {c.width / 3, c.height / 2}};
  for (const cv::Point& p : points) {
    session.click("Probe", p.x, p.y);
    MouseEvent press;
    ASSERT_TRUE(nextMouse(session, "Probe", 1, &press));
    EXPECT_NEAR(press.x, p.x, pixel) << p;
    EXPECT_NEAR(press.y, p.y, pixel) << p;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Screen1600x1200, OversizePictureTest,
    ::testing::Values(OversizeCase{4000, 2000, {1600, 800}},
                      OversizeCase{1000, 3000, {400, 1200}},
                      OversizeCase{2400, 1800, {1600, 1200}}),
    [](const ::testing::TestParamInfo<OversizeCase>& info) {
      return std::to_string(info.param.width) + "x" +
             std::to_string(info.param.height);
    });

// Moves and the release keep coming, in picture coordinates beyond the
// picture, when a drag leaves the window (Qt may merge queued moves, but the
// last one before the release always arrives).
TEST_F(WindowLayerTest, DragLeavingTheWindowKeepsReporting) {
  start(320, 240);
  session.moveWindow("Probe", 300, 200);
  session.drag("Probe", {{100, 100}, {200, 120}, {500, 130}, {-40, -20}});
  MouseEvent seen;
  ASSERT_TRUE(nextMouse(session, "Probe", 1, &seen));
  EXPECT_EQ(cv::Point(seen.x, seen.y), cv::Point(100, 100));
  std::string rest;
  ASSERT_TRUE(session.waitForLine("mouse Probe 0 -40 -20 ", &rest, 20))
      << session.output();
  EXPECT_EQ(std::stoi(rest) & 1, 1) << "moves carry the left-button flag";
  ASSERT_TRUE(nextMouse(session, "Probe", 4, &seen));
  EXPECT_EQ(cv::Point(seen.x, seen.y), cv::Point(-40, -20));
}

TEST_F(WindowLayerTest, WindowsRecreatedInEitherModeKeepTheirHandler) {
  start(2000, 1000);
  EXPECT_TRUE(session.waitForWindowSize("Probe", {1600, 800}));
  session.key("Probe", "r");
  ASSERT_TRUE(session.waitForOutput("recreated 100\n"));
  EXPECT_TRUE(session.waitForWindowSize("Probe", {2000, 1000}));
  session.click("Probe", 1500, 900);
  MouseEvent press;
  ASSERT_TRUE(nextMouse(session, "Probe", 1, &press));
  EXPECT_EQ(cv::Point(press.x, press.y), cv::Point(1500, 900));

  session.key("Probe", "r");
  ASSERT_TRUE(session.waitForOutput("recreated free\n"));
  EXPECT_TRUE(session.waitForWindowSize("Probe", {1600, 800}));
  session.setPictureSize("Probe", {2000, 1000});
  session.click("Probe", 1000, 500);
  ASSERT_TRUE(nextMouse(session, "Probe", 1, &press));
  EXPECT_NEAR(press.x, 1000, 1.25);
  EXPECT_NEAR(press.y, 500, 1.25);
}

TEST_F(WindowLayerTest, QuestionIsAnsweredWithYAndN) {
  start(320, 240);
  session.key("Probe", "a");
  ASSERT_TRUE(session.answer("Probe?", true));
  EXPECT_TRUE(session.waitForOutput("answer yes\n"));
  session.key("Probe", "a");
  ASSERT_TRUE(session.answer("Probe?", false));
  EXPECT_TRUE(session.waitForOutput("answer no\n"));
  // The answering keys belong to the dialog, not to the program.
  EXPECT_EQ(codeOf("t"), 116);
  EXPECT_EQ(session.output().find("key 121"), std::string::npos);
  EXPECT_EQ(session.output().find("key 110"), std::string::npos);
}

TEST_F(WindowLayerTest, ClosedWindowComesBackWithItsHandler) {
  start(320, 240);
  session.closeWindow("Pad");
  for (int i = 0; i < 200 && session.hasWindow("Pad"); ++i) {
    session.waitForOutput("\x01", 0.05);
  }
  ASSERT_FALSE(session.hasWindow("Pad"));
  EXPECT_EQ(codeOf("p"), 112);
  ASSERT_TRUE(session.waitForOutput("pad shown\n"));
  EXPECT_EQ(session.windowSize("Pad"), cv::Size(200, 100));
  session.click("Pad", 150, 50);
  MouseEvent press;
  ASSERT_TRUE(nextMouse(session, "Pad", 1, &press));
  EXPECT_EQ(cv::Point(press.x, press.y), cv::Point(150, 50));
}

// A handler that throws is reported and the program goes on.
TEST_F(WindowLayerTest, FailingHandlerDoesNotEndTheProgram) {
  start(320, 240);
  EXPECT_EQ(codeOf("e"), 101);
  session.click("Pad", 20, 30);
  EXPECT_TRUE(session.waitForOutput(
      "mouse event 1 at 20,30 failed: probe handler failure\n", 20))
      << session.output();
  EXPECT_EQ(codeOf("t"), 116);
  EXPECT_TRUE(session.running());
}

TEST_F(WindowLayerTest, ClosingEveryWindowEndsTheWait) {
  start(320, 240);
  session.closeWindow("Pad");
  EXPECT_EQ(codeOf("t"), 116) << "keys still reach the remaining window";
  session.closeWindow("Probe");
  EXPECT_TRUE(session.waitForOutput("no windows left\n", 20));
  EXPECT_EQ(session.waitForExit(), 0);
}

struct NoDisplayCase {
  std::optional<std::string> display;
  const char* line;
};

void PrintTo(const NoDisplayCase& c, std::ostream* out) {
  *out << "DISPLAY " << (c.display ? "\"" + *c.display + "\"" : "unset");
}

class WindowLayerWithoutDisplay
    : public ::testing::TestWithParam<NoDisplayCase> {};

TEST_P(WindowLayerWithoutDisplay, ReportsTheReasonInsteadOfAborting) {
  XSession session;
  session.setEnv("DISPLAY", GetParam().display);
  session.launch(WINDOW_PROBE_BINARY, {});
  EXPECT_EQ(session.waitForExit(), 2);
  EXPECT_EQ(session.output(), GetParam().line);
}

INSTANTIATE_TEST_SUITE_P(
    Reasons, WindowLayerWithoutDisplay,
    ::testing::Values(
        NoDisplayCase{std::nullopt,
                      "no display: the DISPLAY environment variable is not "
                      "set\n"},
        NoDisplayCase{"",
                      "no display: the DISPLAY environment variable is not "
                      "set\n"},
        NoDisplayCase{":64999",
                      "no display: no X server accepts connections on "
                      "display :64999\n"}),
    [](const ::testing::TestParamInfo<NoDisplayCase>& info) {
      const std::optional<std::string>& display = info.param.display;
      if (!display) return std::string("Unset");
      return display->empty() ? std::string("Empty") : std::string("NoServer");
    });

// An X server that resets each time its last client leaves, with other
// clients coming and going all the while: the server resets again and
// again while the probe starts, and drops a connection still being set up
// when it does. Every start must open its windows. A display check whose
// connection closes before Qt connects leaves Qt's connection to such a
// reset, and Qt aborts then.
TEST(WindowLayerOnResettingServer, EveryStartOpensItsWindows) {
  constexpr int kStarts = 10;
  XSession session(640, 480, ServerReset::WhenLastClientLeaves);
  ASSERT_FALSE(session.display().empty());
  for (int start = 0; start < kStarts; ++start) {
    session.setClientChurn(true);
    session.launch(WINDOW_PROBE_BINARY, {"64", "48"});
    const bool ready = session.waitForOutput("ready\n");
    session.setClientChurn(false);
    ASSERT_TRUE(ready) << "start " << start << ": status "
                       << session.waitForExit(5) << "\n"
                       << session.output() << session.errorOutput();
    session.key("Probe", "Escape");
    ASSERT_EQ(session.waitForExit(), 3) << "start " << start;
  }
}

}  // namespace
}  // namespace scribeline::e2e
