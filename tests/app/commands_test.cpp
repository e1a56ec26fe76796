#include "app/commands.h"

#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>
#include <set>

#include "fixture.h"

namespace scribeline {
namespace {

const char kHelpText[] =
    "Hot keys: \n"
    "\tESC          = quit the program\n"
    "\tm            = [mask] open mask in a new window\n"
    "\tM            = [mask] save mask\n"
    "\tu            = [mask] ON/OFF mask on top of image\n"
    "\t<            = [mask] mask opacity -=0.05\n"
    "\t>            = [mask] mask opacity +=0.05\n"
    "\tx            = [mask] free scale\n"
    "\tX            = [mask] scale 100%\n"
    "\ts            = free scale\n"
    "\tS            = scale 100%\n"
    "\tt            = show toolbox\n"
    "\t0            = iScissor tool\n"
    "\t1            = lSnapper tool\n"
    "\t2            = pen tool\n"
    "\tEnter        = [iScissor] finish the current contour\n"
    "\tCtrl + Enter = [iScissor] finish the current contour as closed\n"
    "\tn            = [iScissor] update mask (unfilled)\n"
    "\tN            = [iScissor] update mask (  filled)\n"
    "\t,            = [pen] radius --\n"
    "\t.            = [pen] radius ++\n"
    "\tBackspace    = [iScissor & pen] undo\n";

TEST(HelpTextTest, ByteForByteAndOneLinePerCommand) {
  EXPECT_EQ(helpText(), kHelpText);
  std::set<int> codes;
  for (const Command& command : commandTable()) codes.insert(command.code);
  EXPECT_EQ(codes,
            (std::set<int>{8,  10, 13, 27, 44,  46,  48,  49,  50,  60, 62,
                           77, 78, 83, 88, 109, 110, 115, 116, 117, 120}));
  EXPECT_EQ(commandTable().size(), codes.size());
}

// What one key does to a fresh workspace (tool iScissor, radius 3, opacity
// 0.4, overlay off, main window and toolbox open).
struct KeyRow {
  int key;
  bool quits;
  std::string console;
  std::string hooks;    // LoggingTool log
  int mainShows;        // redraws of the main window
  std::string windows;  // window changes (see newWindowChanges)
  void (*check)(const Workspace&, const ScriptedWindowSystem&);
};

void noCheck(const Workspace&, const ScriptedWindowSystem&) {}

std::ostream& operator<<(std::ostream& out, const KeyRow& row) {
  return out << "key " << row.key;
}

class KeyTableTest : public WorkspaceFixture,
                     public testing::WithParamInterface<KeyRow> {};

TEST_P(KeyTableTest, RunsItsCommand) {
  const KeyRow& row = GetParam();
  const CommandResult result = runCommand(workspace, row.key);
  EXPECT_EQ(result == CommandResult::Quit, row.quits);
  EXPECT_EQ(console.str(), row.console);
  EXPECT_EQ(hookLog, row.hooks);
  EXPECT_EQ(windows.showCount(kMainWindow), row.mainShows);
  EXPECT_EQ(newWindowChanges(), row.windows);
  row.check(workspace, windows);
}

void expectMaskShown(const ScriptedWindowSystem& windows, bool handler) {
  EXPECT_EQ(windows.showCount(kMaskWindow), 1);
  EXPECT_EQ(windows.hasMouseHandler(kMaskWindow), handler);
}

INSTANTIATE_TEST_SUITE_P(
    EveryKey, KeyTableTest,
    testing::Values(
        KeyRow{8, false, "", "0:backspace ", 1, "", noCheck},
        KeyRow{10, false, "", "0:enterKey10 ", 0, "", noCheck},
        KeyRow{13, false, "", "0:enterKey13 ", 0, "", noCheck},
        KeyRow{27, true, "", "", 0, "", noCheck},
        KeyRow{44, false, "current pen radius = 2\n", "", 0, "",
               [](const Workspace& w, const ScriptedWindowSystem&) {
                 EXPECT_EQ(w.penRadius, 2);
               }},
        KeyRow{46, false, "current pen radius = 4\n", "", 0, "",
               [](const Workspace& w, const ScriptedWindowSystem&) {
                 EXPECT_EQ(w.penRadius, 4);
               }},
        KeyRow{48, false, "Current Tool = iScissor\n", "", 0, "",
               [](const Workspace& w, const ScriptedWindowSystem&) {
                 EXPECT_EQ(w.currentTool, kToolScissors);
               }},
        KeyRow{49, false, "Current Tool = lSnapper\n", "0:leave0 1:enter1 ", 0,
               "",
               [](const Workspace& w, const ScriptedWindowSystem&) {
                 EXPECT_EQ(w.currentTool, kToolSnapper);
               }},
        KeyRow{50, false, "Current Tool = pen\n", "0:leave0 2:enter2 ", 0, "",
               [](const Workspace& w, const ScriptedWindowSystem&) {
                 EXPECT_EQ(w.currentTool, kToolPen);
               }},
        KeyRow{51, false, "Current Tool = fill\n", "0:leave0 3:enter3 ", 0, "",
               [](const Workspace& w, const ScriptedWindowSystem&) {
                 EXPECT_EQ(w.currentTool, kToolFill);
               }},
        KeyRow{91, false, "current fill tolerance = 15\n", "", 0, "",
               [](const Workspace& w, const ScriptedWindowSystem&) {
                 EXPECT_EQ(w.fillTolerance, 15);
               }},
        KeyRow{93, false, "current fill tolerance = 25\n", "", 0, "",
               [](const Workspace& w, const ScriptedWindowSystem&) {
                 EXPECT_EQ(w.fillTolerance, 25);
               }},
        KeyRow{60, false, "", "", 1, "",
               [](const Workspace& w, const ScriptedWindowSystem&) {
                 EXPECT_EQ(w.maskOpacity, 0.4 - 0.05);
               }},
        KeyRow{62, false, "", "", 1, "",
               [](const Workspace& w, const ScriptedWindowSystem&) {
                 EXPECT_EQ(w.maskOpacity, 0.4 + 0.05);
               }},
        KeyRow{77, false, "", "", 0, "",
               [](const Workspace& w, const ScriptedWindowSystem&) {
                 cv::Mat saved = cv::imread(w.maskPath, cv::IMREAD_COLOR);
                 ASSERT_FALSE(saved.empty());
                 EXPECT_EQ(cv::norm(saved, w.mask, cv::NORM_INF), 0);
               }},
        KeyRow{78, false, "", "0:update1 1:update1 2:update1 3:update1 ", 1, "",
               noCheck},
        KeyRow{110, false, "", "0:update0 1:update0 2:update0 3:update0 ", 1,
               "", noCheck},
        KeyRow{83, false, "", "", 1, "-Scribeline +Scribeline:1 ",
               [](const Workspace&, const ScriptedWindowSystem& s) {
                 EXPECT_TRUE(s.hasMouseHandler(kMainWindow));
               }},
        KeyRow{115, false, "", "", 1, "-Scribeline +Scribeline:0 ",
               [](const Workspace&, const ScriptedWindowSystem& s) {
                 EXPECT_TRUE(s.hasMouseHandler(kMainWindow));
               }},
        KeyRow{88, false, "", "", 0, "+Mask:1 ",
               [](const Workspace&, const ScriptedWindowSystem& s) {
                 expectMaskShown(s, true);
               }},
        KeyRow{120, false, "", "", 0, "+Mask:0 ",
               [](const Workspace&, const ScriptedWindowSystem& s) {
                 expectMaskShown(s, true);
               }},
        KeyRow{109, false, "", "", 0, "+Mask:1 ",
               [](const Workspace&, const ScriptedWindowSystem& s) {
                 expectMaskShown(s, false);
               }},
        KeyRow{116, false, "", "", 0, "",
               [](const Workspace& w, const ScriptedWindowSystem& s) {
                 EXPECT_TRUE(s.hasMouseHandler(kToolboxWindow));
                 EXPECT_GE(s.showCount(kToolboxWindow), 1);
                 EXPECT_EQ(w.toolboxImage.size(), cv::Size(180, 500));
               }},
        KeyRow{117, false, "", "", 1, "",
               [](const Workspace& w, const ScriptedWindowSystem&) {
                 EXPECT_TRUE(w.maskOverlay);
               }},
        // Keys beyond the printed help: the clean-up (a blank 600-pixel
        // mask, default size 64) and its size, the label statistics.
        KeyRow{'c', false, "clean-up below 64 pixels: nothing changed\n", "", 1,
               "", noCheck},
        KeyRow{'{', false, "current clean-up size = 32 pixels\n", "", 0, "",
               [](const Workspace& w, const ScriptedWindowSystem&) {
                 EXPECT_EQ(w.cleanupSize, 32);
               }},
        KeyRow{'}', false, "current clean-up size = 128 pixels\n", "", 0, "",
               noCheck},
        KeyRow{'i', false,
               "label statistics of 600 pixels:\n0: 600 pixels, 100.00 %\n", "",
               0, "", noCheck},
        // Extra high bits: the low byte picks the command, the tool gets the
        // full code.
        KeyRow{0x100000 | 13, false, "", "0:enterKey1048589 ", 0, "", noCheck},
        KeyRow{0x10000 | 46, false, "current pen radius = 4\n", "", 0, "",
               noCheck}));

class IgnoredKeyTest : public WorkspaceFixture,
                       public testing::WithParamInterface<int> {};

TEST_P(IgnoredKeyTest, DoesNothing) {
  EXPECT_EQ(runCommand(workspace, GetParam()), CommandResult::Continue);
  EXPECT_EQ(console.str(), "");
  EXPECT_EQ(hookLog, "");
  EXPECT_EQ(windows.showCount(kMainWindow), 0);
  EXPECT_EQ(newWindowChanges(), "");
  EXPECT_EQ(workspace.penRadius, 3);
  EXPECT_EQ(workspace.maskOpacity, 0.4);
  EXPECT_FALSE(workspace.maskOverlay);
}

INSTANTIATE_TEST_SUITE_P(Sample, IgnoredKeyTest,
                         testing::Values(0, 7, 9, 11, 12, 26, 28, 32, 43, 45,
                                         47, 52, 59, 61, 63, 65, 106, 113, 121,
                                         122, 127, 200, 255, -1, 0x10000 | 'q',
                                         // Named-key codes never reach the
                                         // table by their low byte.
                                         kFirstNamedKey | 27,
                                         kFirstNamedKey | 'M'));

TEST_F(WorkspaceFixture, OpacityStepsAndTheirEdges) {
  for (int i = 0; i < 7; ++i) runCommand(workspace, '<');
  EXPECT_EQ(workspace.maskOpacity, 0.05000000000000007);
  runCommand(workspace, '<');
  EXPECT_EQ(workspace.maskOpacity, 0.05);
  runCommand(workspace, '<');
  EXPECT_EQ(workspace.maskOpacity, 0.05);

  workspace.maskOpacity = 0.4;
  for (int i = 0; i < 12; ++i) runCommand(workspace, '>');
  EXPECT_EQ(workspace.maskOpacity, 1.0);
  runCommand(workspace, '>');
  EXPECT_EQ(workspace.maskOpacity, 1.0);
  EXPECT_EQ(windows.showCount(kMainWindow), 9 + 13);
}

TEST_F(WorkspaceFixture, PenRadiusStopsAtOneAndHasNoUpperLimit) {
  workspace.penRadius = 1;
  runCommand(workspace, ',');
  EXPECT_EQ(workspace.penRadius, 1);
  for (int i = 0; i < 200; ++i) runCommand(workspace, '.');
  EXPECT_EQ(workspace.penRadius, 201);
  const std::string text = console.str();
  EXPECT_EQ(text.substr(0, 46),
            "current pen radius = 1\ncurrent pen radius = 2\n");
  EXPECT_EQ(text.substr(text.size() - 25), "current pen radius = 201\n");
}

// The tool left hears it while still current, the tool entered once current;
// selecting the current tool again tells neither.
TEST_F(WorkspaceFixture, ToolSwitchTellsTheToolLeftThenTheToolEntered) {
  runCommand(workspace, '1');
  runCommand(workspace, '1');
  runCommand(workspace, '2');
  runCommand(workspace, '0');
  EXPECT_EQ(hookLog, "0:leave0 1:enter1 1:leave1 2:enter2 2:leave2 0:enter0 ");
  EXPECT_EQ(console.str(),
            "Current Tool = lSnapper\nCurrent Tool = lSnapper\n"
            "Current Tool = pen\nCurrent Tool = iScissor\n");
  EXPECT_EQ(windows.showCount(kMainWindow), 0);
}

TEST_F(WorkspaceFixture, MaskWindowKeepsTheModeOfX) {
  runCommand(workspace, 'x');
  runCommand(workspace, 'm');
  EXPECT_EQ(windows.modeOf(kMaskWindow), WindowMode::FreeScale);
  runCommand(workspace, 'X');
  EXPECT_EQ(windows.modeOf(kMaskWindow), WindowMode::Scale100);
  EXPECT_EQ(newWindowChanges(), "+Mask:0 -Mask +Mask:1 ");
}

TEST_F(WorkspaceFixture, FailedSaveIsReportedWithPathAndReason) {
  workspace.maskPath = folder + "/no such folder/photo%d%s.png_Mask.png";
  runCommand(workspace, 'M');
  EXPECT_EQ(console.str(), "Could not save the mask to " + workspace.maskPath +
                               ": No such file or directory\n");
}

}  // namespace
}  // namespace scribeline
