#include "ui/scripted_window_system.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

namespace scribeline {
namespace {

TEST(ScriptedWindowSystemTest, DeliversMouseEventsInOrderDuringTheKeyWait) {
  ScriptedWindowSystem windows;
  std::string seen;
  windows.createWindow("A", WindowMode::FreeScale);
  windows.setMouseHandler("A", [&](int event, int x, int y, int flags) {
    seen += std::to_string(event) + "@" + std::to_string(x) + "," +
            std::to_string(y) + "/" + std::to_string(flags) + " ";
  });
  windows.pushClick("A", 1, 2);
  windows.pushMouse("B", kMouseMove, 0, 0);  // no such window: dropped
  windows.pushKey('x');
  windows.pushDrag("A", {{3, 4}, {5, 6}});
  windows.pushCloseAll();
  windows.pushKey('y');

  EXPECT_EQ(windows.waitKey(), 'x');
  EXPECT_EQ(seen, "1@1,2/1 4@1,2/0 ");
  EXPECT_EQ(windows.droppedMouseEvents(), 1);
  EXPECT_EQ(windows.waitKey(), kNoWindowsLeft);  // every window closed
  EXPECT_EQ(seen, "1@1,2/1 4@1,2/0 1@3,4/1 0@5,6/1 4@5,6/0 ");
  EXPECT_EQ(windows.pendingInputs(), 1u);
  EXPECT_EQ(windows.waitKey(), kNoWindowsLeft);
}

TEST(ScriptedWindowSystemTest, RecordsWindowsShowsAndQuestions) {
  ScriptedWindowSystem windows;
  windows.createWindow("A", WindowMode::FreeScale);
  windows.createWindow("A", WindowMode::Scale100);  // already open: no change
  EXPECT_EQ(windows.modeOf("A"), WindowMode::FreeScale);
  cv::Mat picture(2, 3, CV_8UC3, cv::Scalar(1, 2, 3));
  windows.showImage("B", picture);  // opens B at 100%
  picture.setTo(cv::Scalar(9, 9, 9));
  EXPECT_EQ(windows.modeOf("B"), WindowMode::Scale100);
  EXPECT_EQ(windows.lastShown("B").at<cv::Vec3b>(1, 2), cv::Vec3b(1, 2, 3));
  EXPECT_EQ(windows.showCount("B"), 1);
  windows.destroyAllWindows();
  EXPECT_FALSE(windows.isOpen("A") || windows.isOpen("B"));
  EXPECT_EQ(windows.windowChanges().size(), 4u);
  EXPECT_EQ(windows.showCount("B"), 1);  // kept after the window is gone

  windows.pushAnswer(true);
  EXPECT_TRUE(windows.askYesNo("T", "first"));
  EXPECT_FALSE(windows.askYesNo("T", "second"));  // no answer left: No
  EXPECT_EQ(windows.unansweredQuestions(), 1);
  ASSERT_EQ(windows.questions().size(), 2u);
  EXPECT_EQ(windows.questions()[1].text, "second");

  // A question put aside: Cancel where it may be, No for a plain Yes/No.
  windows.pushCancel();
  windows.pushCancel();
  windows.pushAnswer(false);
  EXPECT_EQ(windows.askYesNoCancel("T", "third"), Answer::Cancel);
  EXPECT_FALSE(windows.askYesNo("T", "fourth"));
  EXPECT_EQ(windows.askYesNoCancel("T", "fifth"), Answer::No);
  EXPECT_EQ(windows.askYesNoCancel("T", "sixth"), Answer::No);  // none left
  ASSERT_EQ(windows.questions().size(), 6u);
  EXPECT_TRUE(windows.questions()[2].cancellable);
  EXPECT_FALSE(windows.questions()[3].cancellable);
  EXPECT_EQ(windows.questions()[3].given, Answer::Cancel);
  EXPECT_FALSE(windows.questions()[3].answer);
  EXPECT_EQ(windows.unansweredQuestions(), 2);
}

// Wakes come from other threads; the script says where they must have come,
// and while the busy pointer shows a patient script takes no input but
// answers the next wake with kNoKey.
TEST(ScriptedWindowSystemTest, WakesAreAwaitedWhereTheScriptSaysAndWhileBusy) {
  ScriptedWindowSystem windows;
  windows.createWindow("A", WindowMode::FreeScale);
  std::string log;
  windows.pushKey('a');
  windows.pushWaitForWakes(2);
  windows.pushAction([&] { log += "action "; });
  windows.pushKey('b');
  windows.pushKey('c');

  EXPECT_EQ(windows.waitKey(), 'a');
  std::thread waker([&] {
    windows.wake();
    windows.wake();
  });
  EXPECT_EQ(windows.waitKey(), kNoKey);  // both wakes came
  waker.join();
  windows.setBusy(true);
  std::thread third([&] { windows.wake(); });
  EXPECT_EQ(windows.waitKey(), kNoKey);  // the action ran; 'b' waits
  third.join();
  EXPECT_EQ(log, "action ");
  EXPECT_EQ(windows.pendingInputs(), 2u);
  windows.setImpatient(true);
  EXPECT_EQ(windows.waitKey(), 'b');
  windows.setBusy(false);
  EXPECT_EQ(windows.waitKey(), 'c');
  EXPECT_EQ(windows.wakes(), 3);
}

}  // namespace
}  // namespace scribeline
