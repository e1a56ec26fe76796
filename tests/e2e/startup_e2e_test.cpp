// Start-up on a large photo through the real window layer: the photo shows
// and keys are answered while the tools' engines are still being prepared,
// and Escape then ends the program without waiting for them.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <string>

#include "tests/e2e/x_session.h"
#include "tests/support/photos.h"

namespace scribeline::e2e {
namespace {

TEST(StartUpE2e, KeysBeforeDoneAndEscapeEndsWithoutWaitingForTheEngines) {
  const std::string photo = findPhoto("elephants_5640x3172.jpg");
  if (photo.empty()) GTEST_SKIP() << "photo missing";
  XSession session(1920, 1080);
  ASSERT_FALSE(session.display().empty());
  session.copyIn(photo, "elephants.jpg");
  session.copyIn(sourcePath("label_list.txt"));
  session.launch(SCRIBELINE_BINARY, {"elephants.jpg"});
  ASSERT_NE(session.waitForWindow("Scribeline", 120), 0u)
      << session.output() << session.errorOutput();
  ASSERT_NE(session.waitForWindow("Toolbox"), 0u);

  session.key("Scribeline", "2");
  ASSERT_TRUE(session.waitForOutput("Over-segmenting.... Current Tool = pen\n"))
      << session.output();
  // The engines of an 18 MP photo take seconds more: none is ready yet.
  EXPECT_EQ(session.output().find("DONE"), std::string::npos)
      << session.output();

  session.key("Scribeline", "Escape");
  ASSERT_TRUE(session.answer("Save?", false)) << session.output();
  EXPECT_EQ(session.waitForExit(5), 1) << session.output();
  const std::string& console = session.output();
  EXPECT_EQ(console.substr(console.find("Over-segmenting")),
            "Over-segmenting.... Current Tool = pen\nExiting ...\n"
            "Bye Bye :)\n");
  EXPECT_EQ(session.errorOutput().find("terminate"), std::string::npos)
      << session.errorOutput();
}

// The pen works from the start; a signal before the engines are ready keeps
// that work in the autosave, as at any other time.
TEST(StartUpE2e, SignalBeforeTheEnginesKeepsThePenWorkInTheAutosave) {
  const std::string photo = findPhoto("elephants_5640x3172.jpg");
  if (photo.empty()) GTEST_SKIP() << "photo missing";
  XSession session(1920, 1080);
  ASSERT_FALSE(session.display().empty());
  session.copyIn(photo, "elephants.jpg");
  session.copyIn(sourcePath("label_list.txt"));
  session.launch(SCRIBELINE_BINARY, {"elephants.jpg"});
  ASSERT_NE(session.waitForWindow("Scribeline", 120), 0u)
      << session.output() << session.errorOutput();
  ASSERT_NE(session.waitForWindow("Toolbox"), 0u);

  session.click("Toolbox", 100, 5 * 20 + 10);
  session.key("Scribeline", "2");
  ASSERT_TRUE(session.waitForOutput("Current Tool = pen\n"));
  session.drag("Scribeline", {{100, 100}, {200, 100}});
  session.key("Scribeline", "m");  // handled after the drag
  ASSERT_NE(session.waitForWindow("Mask"), 0u);
  EXPECT_EQ(session.output().find("DONE"), std::string::npos)
      << session.output();

  session.signalProgram(SIGTERM);
  EXPECT_EQ(session.waitForExit(10), 128 + SIGTERM) << session.output();
  EXPECT_NE(session.output().find("Autosaved the mask to "), std::string::npos)
      << session.output();
  EXPECT_TRUE(std::filesystem::exists(
      session.workPath("elephants.jpg_Mask.autosave.png")));
}

}  // namespace
}  // namespace scribeline::e2e
