// Qt's messages while the program holds them: kept in order, printed or
// dropped on release, and still watched for the display's loss.
#include <gtest/gtest.h>

#include <QtGlobal>
#include <atomic>

#include "ui/display_loss.h"

namespace scribeline {
namespace {

std::atomic<int> displayLosses{0};
void countDisplayLoss() { ++displayLosses; }

class QtMessagesTest : public testing::Test {
 protected:
  void SetUp() override {
    watchForDisplayLoss(countDisplayLoss);
    displayLosses = 0;
  }
};

TEST_F(QtMessagesTest, HeldMessagesArePrintedInOrderOnRelease) {
  testing::internal::CaptureStderr();
  holdQtMessages();
  qWarning("first");
  qInfo("second");
  const std::string whileHeld = testing::internal::GetCapturedStderr();
  testing::internal::CaptureStderr();
  releaseQtMessages(true);
  qWarning("after");
  EXPECT_EQ(whileHeld, "");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "first\nsecond\nafter\n");
}

TEST_F(QtMessagesTest, DroppedMessagesAreNeverPrinted) {
  testing::internal::CaptureStderr();
  holdQtMessages();
  qWarning("never");
  releaseQtMessages(false);
  releaseQtMessages(true);  // nothing held any more
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST_F(QtMessagesTest, TheDisplaysLossIsSeenWhileHeld) {
  testing::internal::CaptureStderr();
  holdQtMessages();
  qWarning("The X11 connection broke (error 1). Did the X11 server die?");
  EXPECT_EQ(displayLosses, 1);
  releaseQtMessages(false);
  testing::internal::GetCapturedStderr();
}

}  // namespace
}  // namespace scribeline
