#include "app/folder_session.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <opencv2/imgcodecs.hpp>
#include <sstream>

#include "app/commands.h"
#include "app/program.h"
#include "app/session.h"
#include "files/photo_lock.h"
#include "palette/palette.h"
#include "tests/app/fixture.h"
#include "tests/support/temp_folder.h"
#include "ui/scripted_window_system.h"

namespace scribeline {
namespace {

// A folder of three photos of different sizes (with a mask file, a hidden
// file and a text file that are no photos) run over the scripted window
// system.
class FolderSessionTest : public testing::Test {
 protected:
  FolderSessionTest() {
    for (int i = 0; i < 3; ++i) {
      photos.push_back(folder + "/" + names[i]);
      const cv::Mat photo(30 + 10 * i, 40, CV_8UC3,
                          cv::Scalar(20 * i, 100, 200 - 20 * i));
      EXPECT_TRUE(cv::imwrite(photos.back(), photo));
    }
    std::ofstream(folder + "/notes.txt") << "no photo\n";
    EXPECT_TRUE(
        cv::imwrite(folder + "/.hidden.png", cv::Mat::zeros(5, 5, CV_8UC3)));
    settings.labelListPath = folder + "/label_list.txt";
    std::ofstream(settings.labelListPath) << "1\nbackground\n";
    settings.errors = &errors;
  }
  int run() {
    const char* argv[] = {"scribeline", folder.c_str()};
    return runProgram(
        2, argv, console, [this](std::string*) { return windows; }, settings);
  }
  std::string saveQuestion(int photo) const {
    return "Do you want to save the mask to FILE=" + photos[photo] +
           "_Mask.png ?";
  }
  // A pen stroke in label 1's colour (label 0's would change nothing).
  void paint() {
    windows->pushClick(kToolboxWindow, 90, 30);
    windows->pushKey('2');
    windows->pushDrag(kMainWindow, {{5, 5}, {15, 5}});
  }

  const std::vector<std::string> names = {"a.png", "b.jpg", "c.png"};
  TempFolder temp{"scribeline-folder"};
  std::string folder = temp.path();
  std::vector<std::string> photos;
  ProgramSettings settings;
  std::shared_ptr<ScriptedWindowSystem> windows =
      std::make_shared<ScriptedWindowSystem>();
  std::ostringstream console;
  std::ostringstream errors;
};

TEST_F(FolderSessionTest, PageKeysStepAndAskOnlyForChangedMasks) {
  pushToolsReady(*windows);
  paint();                         // a: changed
  windows->pushKey(kKeyPageDown);  // -> b, "Save?" for a: yes
  windows->pushAnswer(true);
  windows->pushKey(kKeyPageDown);  // b unchanged -> c, no question
  windows->pushKey(kKeyPageDown);  // c is the last: stays
  paint();                         // c: changed
  windows->pushKey('M');           // saved: unchanged again
  windows->pushKey(kKeyPageUp);    // -> b, no question
  paint();                         // b: changed
  windows->pushKey(kKeyPageUp);    // -> a, "Save?" for b: no
  windows->pushAnswer(false);
  windows->pushAnswer(false);    // a's saved mask: "Load?" no
  windows->pushKey(kKeyPageUp);  // a is the first
  windows->pushKey(27);          // "Save?" at exit as always: no
  windows->pushAnswer(false);

  EXPECT_EQ(run(), 1);
  const std::string text = console.str();
  size_t at = 0;
  const std::vector<std::string> lines = {
      "photo 1 of 3: a.png\n",
      "Current Tool = iScissor\n",
      "Saving mask to" + photos[0] + "_Mask.png\n",
      "photo 2 of 3: b.jpg\n",
      "photo 3 of 3: c.png\n",
      "photo 3 of 3: c.png is the last\n",
      "photo 2 of 3: b.jpg\n",
      "photo 1 of 3: a.png\n",
      "photo 1 of 3: a.png is the first\n"};
  for (const std::string& line : lines) {
    const size_t found = text.find(line, at);
    ASSERT_NE(found, std::string::npos) << line << "\nin\n" << text;
    at = found + line.size();
  }

  std::vector<std::string> asked;
  for (const auto& question : windows->questions())
    asked.push_back(question.title + " " + question.text);
  EXPECT_EQ(asked, (std::vector<std::string>{
                       "Save? " + saveQuestion(0), "Save? " + saveQuestion(1),
                       "Load? The corresponding mask file exists. Do you want "
                       "to load it?",
                       "Save? " + saveQuestion(0)}));

  // Each photo's mask went to its own file, of its own size; b's was not
  // saved.
  const cv::Mat a = cv::imread(photos[0] + "_Mask.png", cv::IMREAD_UNCHANGED);
  const cv::Mat c = cv::imread(photos[2] + "_Mask.png", cv::IMREAD_UNCHANGED);
  ASSERT_EQ(a.size(), cv::Size(40, 30));
  ASSERT_EQ(c.size(), cv::Size(40, 50));
  const cv::Vec3b label1(0, 0, 128);
  EXPECT_EQ(a.at<cv::Vec3b>(5, 10), label1);
  EXPECT_EQ(c.at<cv::Vec3b>(5, 10), label1);
  EXPECT_FALSE(std::ifstream(photos[1] + "_Mask.png").good());
  EXPECT_EQ(windows->pendingInputs(), 0u);
  EXPECT_EQ(windows->droppedMouseEvents(), 0);
}

// The label, tool, pen radius, fill tolerance, overlay, opacity, auto
// anchoring and clean-up size chosen on one photo are those of the next:
// labelling a series needs no picking again.
TEST_F(FolderSessionTest, TheNextPhotoKeepsTheWorkSettings) {
  pushToolsReady(*windows);
  windows->pushClick(kToolboxWindow, 90, 7 * 20 + 10);  // label 7
  windows->pushKey('2');                                // pen
  windows->pushKey('.');
  windows->pushKey('.');           // radius 5
  windows->pushKey('u');           // overlay on
  windows->pushKey('>');           // opacity 0.45
  windows->pushKey('a');           // scissors auto anchoring on
  windows->pushKey('{');           // clean-up size 32 (64 by default)
  windows->pushKey(']');           // fill tolerance 25
  windows->pushKey(kKeyPageDown);  // a unchanged -> b, no question
  pushToolsReady(*windows, 2);
  windows->pushKey('a');  // still on: turns it off
  windows->pushKey(']');  // fill tolerance 30
  windows->pushClick(kMainWindow, 20, 20);
  windows->pushKey('{');
  windows->pushKey('M');
  windows->pushKey(27);
  windows->pushAnswer(false);

  EXPECT_EQ(run(), 1);
  const std::string text = console.str();
  const size_t b = text.find("photo 2 of 3: b.jpg\n");
  ASSERT_NE(b, std::string::npos) << text;
  EXPECT_NE(text.find("\n\nCurrent Tool = pen\n", b), std::string::npos)
      << text;
  EXPECT_NE(text.find("auto anchoring OFF\n", b), std::string::npos) << text;
  EXPECT_NE(text.find("current clean-up size = 16 pixels\n", b),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("current fill tolerance = 30\n", b), std::string::npos)
      << text;

  const cv::Mat mask = cv::imread(photos[1] + "_Mask.png", cv::IMREAD_COLOR);
  ASSERT_EQ(mask.size(), cv::Size(40, 40));
  const cv::Scalar label7 = labelColor(7);
  const cv::Vec3b painted(label7[0], label7[1], label7[2]);
  EXPECT_EQ(mask.at<cv::Vec3b>(20, 20), painted);
  EXPECT_EQ(mask.at<cv::Vec3b>(20, 25), painted);  // radius 5
  EXPECT_EQ(mask.at<cv::Vec3b>(20, 26), cv::Vec3b(0, 0, 0));

  // The mask shows over the photo at 0.45.
  const cv::Mat shown = windows->lastShown(kMainWindow);
  ASSERT_EQ(shown.size(), mask.size());
  const cv::Vec3b photo(20, 100, 180);
  for (int channel = 0; channel < 3; ++channel)
    EXPECT_NEAR(shown.at<cv::Vec3b>(17, 20)[channel],
                0.55 * photo[channel] + 0.45 * painted[channel], 1.0)
        << channel;
}

// Each photo has its own autosave: a No when leaving keeps the left photo's
// (written at once, offered at its next start), a Yes that saves removes it,
// and the clean end removes only the autosave of the photo open then.
TEST_F(FolderSessionTest, LeavingKeepsTheAutosaveOnNoAndRemovesItOnYes) {
  const auto autosaveOf = [this](int photo) {
    return photos[photo] + "_Mask.autosave.png";
  };
  paint();                         // a: changed
  windows->pushKey(kKeyPageDown);  // -> b, "Save?" for a: no
  windows->pushAnswer(false);
  paint();                       // b: changed
  windows->pushKey(kKeyPageUp);  // -> a, "Save?" for b: yes
  windows->pushAnswer(true);
  windows->pushAnswer(true);       // a: "Recover?" yes
  windows->pushKey(kKeyPageDown);  // recovered counts as changed: "Save?" no
  windows->pushAnswer(false);
  windows->pushAnswer(false);  // b: no autosave left; "Load?" no
  windows->pushKey(27);        // "Save?" at exit: no
  windows->pushAnswer(false);

  EXPECT_EQ(run(), 1);
  std::vector<std::string> asked;
  for (const auto& question : windows->questions())
    asked.push_back(question.title == "Save?"
                        ? question.title + " " + question.text
                        : question.title);
  EXPECT_EQ(asked, (std::vector<std::string>{
                       "Save? " + saveQuestion(0), "Save? " + saveQuestion(1),
                       "Recover?", "Save? " + saveQuestion(0), "Load?",
                       "Save? " + saveQuestion(1)}));
  EXPECT_NE(console.str().find("Autosaved the mask to " + autosaveOf(0) + "\n"),
            std::string::npos)
      << console.str();

  const cv::Mat kept = cv::imread(autosaveOf(0), cv::IMREAD_UNCHANGED);
  ASSERT_EQ(kept.size(), cv::Size(40, 30));
  EXPECT_EQ(kept.at<cv::Vec3b>(5, 10), cv::Vec3b(0, 0, 128));
  EXPECT_FALSE(std::ifstream(autosaveOf(1)).good());
  EXPECT_TRUE(std::ifstream(photos[1] + "_Mask.png").good());
  EXPECT_FALSE(std::ifstream(photos[0] + "_Mask.png").good());
  EXPECT_EQ(windows->pendingInputs(), 0u);
}

// "Save?" put aside when leaving a changed photo: the step is not taken, the
// photo stays open with its work (and its lock; the next photo's lock is
// not kept), and a later step asks again.
TEST_F(FolderSessionTest, SaveQuestionPutAsideWhenLeavingStaysOnThePhoto) {
  const auto exists = [](const std::string& path) {
    return std::ifstream(path).good();
  };
  pushToolsReady(*windows);
  paint();                         // a: changed
  windows->pushKey(kKeyPageDown);  // "Save?" for a: put aside
  windows->pushCancel();
  windows->pushAction([&] {
    EXPECT_TRUE(exists(lockPathBeside(photos[0])));
    EXPECT_FALSE(exists(lockPathBeside(photos[1])));
  });
  windows->pushDrag(kMainWindow, {{5, 20}, {15, 20}});  // still a's window
  windows->pushKey(kKeyPageDown);  // "Save?" for a: yes; -> b
  windows->pushAnswer(true);
  windows->pushAction([&] {
    EXPECT_FALSE(exists(lockPathBeside(photos[0])));
    EXPECT_TRUE(exists(lockPathBeside(photos[1])));
  });
  windows->pushKey(27);  // "Save?" at exit: no

  EXPECT_EQ(run(), 1);
  const std::string text = console.str();
  EXPECT_NE(text.find("Current Tool = pen\nStaying on photo 1 of 3: a.png\n"
                      "Saving mask to" +
                      photos[0] + "_Mask.png\nphoto 2 of 3: b.jpg\n"),
            std::string::npos)
      << text;
  std::vector<std::string> asked;
  for (const auto& question : windows->questions())
    asked.push_back(question.title + " " + question.text);
  EXPECT_EQ(asked, (std::vector<std::string>{"Save? " + saveQuestion(0),
                                             "Save? " + saveQuestion(0),
                                             "Save? " + saveQuestion(1)}));
  const cv::Mat a = cv::imread(photos[0] + "_Mask.png", cv::IMREAD_UNCHANGED);
  ASSERT_EQ(a.size(), cv::Size(40, 30));
  EXPECT_EQ(a.at<cv::Vec3b>(5, 10), cv::Vec3b(0, 0, 128));
  EXPECT_EQ(a.at<cv::Vec3b>(20, 10), cv::Vec3b(0, 0, 128));
  for (const std::string& path : photos)
    EXPECT_FALSE(exists(lockPathBeside(path))) << path;
  EXPECT_EQ(windows->pendingInputs(), 0u);
  EXPECT_EQ(windows->droppedMouseEvents(), 0);
}

// Two instances label one folder: a photo another running process has open
// is passed over with a line naming it, whichever way the user steps; a
// stale lock (its process gone) is taken over with a line.
TEST_F(FolderSessionTest, PhotosOpenInAnotherInstanceArePassedOver) {
  LockOwner other;
  other.host = thisProcess().host;
  other.pid = getppid();  // running
  other.user = "alice";
  std::ofstream(lockPathBeside(photos[0])) << lockText(other);
  LockOwner ended = other;
  const pid_t child = fork();
  if (child == 0) _exit(0);
  waitpid(child, nullptr, 0);
  ended.pid = child;
  std::ofstream(lockPathBeside(photos[2])) << lockText(ended);
  const std::string heldLine =
      "photo 1 of 3: a.png is open in another Scribeline (user alice, "
      "process " +
      std::to_string(getppid()) + " on host " + other.host + "; lock file " +
      lockPathBeside(photos[0]) + ")\n";

  pushToolsReady(*windows);
  windows->pushKey(kKeyPageUp);  // a is passed over: b is the first
  windows->pushKey(kKeyPageDown);
  pushToolsReady(*windows, 2);
  windows->pushKey(27);
  EXPECT_EQ(run(), 1);
  const std::string text = console.str();
  EXPECT_NE(text.find(heldLine + "photo 2 of 3: b.jpg\n"), std::string::npos)
      << text;
  EXPECT_NE(text.find(heldLine + "photo 2 of 3: b.jpg is the first\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("Scribeline: took over the stale lock " +
                      lockPathBeside(photos[2]) + " (user alice, process " +
                      std::to_string(child) + " on host " + other.host +
                      "): that process has ended\nphoto 3 of 3: c.png\n"),
            std::string::npos)
      << text;
  // The other instance's lock stays as it was; this run's locks are gone.
  EXPECT_EQ(
      parseLockText(
          std::string(std::istreambuf_iterator<char>(
                          std::ifstream(lockPathBeside(photos[0])).rdbuf()),
                      {}))
          ->pid,
      static_cast<long>(getppid()));
  EXPECT_FALSE(std::ifstream(lockPathBeside(photos[1])).good());
  EXPECT_FALSE(std::ifstream(lockPathBeside(photos[2])).good());
}

// a is left at once, before its tools are ready: its preparations end, or
// are dropped, without its workspace, and b's tools work as ever (the
// stroke's solve waits for b's model).
TEST_F(FolderSessionTest, APhotoLeftBeforeItsToolsAreReadyHoldsUpNothing) {
  windows->pushKey(kKeyPageDown);              // a unchanged: no question
  windows->pushClick(kToolboxWindow, 90, 30);  // label 1
  windows->pushKey('1');
  windows->pushDrag(kMainWindow, {{5, 5}, {15, 5}, {25, 5}});
  windows->pushKey('M');
  windows->pushKey(27);
  windows->pushAnswer(false);  // "Save?" at exit

  EXPECT_EQ(run(), 1);
  awaitPreparations();
  const cv::Mat b = cv::imread(photos[1] + "_Mask.png", cv::IMREAD_UNCHANGED);
  ASSERT_EQ(b.size(), cv::Size(40, 40));
  EXPECT_EQ(b.at<cv::Vec3b>(5, 15), cv::Vec3b(0, 0, 128));  // label 1
  EXPECT_EQ(windows->questions().size(), 1u);
  EXPECT_EQ(windows->pendingInputs(), 0u);
  EXPECT_EQ(windows->droppedMouseEvents(), 0);
}

TEST_F(FolderSessionTest, PageKeysDoNothingWithASinglePhoto) {
  windows->pushKey(kKeyPageDown);
  windows->pushKey(kKeyPageUp);
  windows->pushKey(27);
  const char* argv[] = {"scribeline", photos[1].c_str()};
  EXPECT_EQ(
      runProgram(
          2, argv, console, [this](std::string*) { return windows; }, settings),
      1);
  EXPECT_EQ(console.str().find("photo "), std::string::npos);
  EXPECT_EQ(windows->questions().size(), 1u);  // "Save?" at exit
}

// A folder holding one photo is still a folder: its photo is numbered, and
// the page keys say it is the last and the first, unlike a photo named alone.
TEST_F(FolderSessionTest, AFolderOfOnePhotoIsNumbered) {
  ASSERT_EQ(std::remove(photos[0].c_str()), 0);
  ASSERT_EQ(std::remove(photos[2].c_str()), 0);
  windows->pushKey(kKeyPageDown);
  windows->pushKey(kKeyPageUp);
  windows->pushKey(27);
  EXPECT_EQ(run(), 1);
  const std::string text = console.str();
  for (const std::string line :
       {"photo 1 of 1: b.jpg\n", "photo 1 of 1: b.jpg is the last\n",
        "photo 1 of 1: b.jpg is the first\n"})
    EXPECT_NE(text.find(line), std::string::npos) << line << "\nin\n" << text;
  EXPECT_EQ(windows->questions().size(), 1u);  // "Save?" at exit
}

TEST_F(FolderSessionTest, UnreadablePhotosArePassedOverAndAnEmptyFolderEnds) {
  // b.jpg is no longer a photo OpenCV can decode, though it looks like one.
  std::ofstream(photos[1], std::ios::trunc) << "\xff\xd8\xff broken";
  windows->pushKey(kKeyPageDown);
  windows->pushKey(27);
  EXPECT_EQ(run(), 1);
  EXPECT_NE(console.str().find("photo 2 of 3: b.jpg cannot be read\n"
                               "photo 3 of 3: c.png\n"),
            std::string::npos)
      << console.str();
  // The reason goes to standard error, as for a single photo refused.
  EXPECT_EQ(errors.str(), "Scribeline: cannot open " + photos[1] +
                              ": not an image the reader can decode\n");
  errors.str("");

  const std::string empty = folder + "/empty";
  ASSERT_EQ(std::system(("mkdir '" + empty + "'").c_str()), 0);
  std::ostringstream emptyConsole;
  const char* argv[] = {"scribeline", empty.c_str()};
  bool opened = false;
  EXPECT_EQ(runProgram(
                2, argv, emptyConsole,
                [&](std::string*) {
                  opened = true;
                  return windows;
                },
                settings),
            0);
  std::ostringstream banner;
  printBanner(banner);
  EXPECT_EQ(emptyConsole.str(), banner.str());
  EXPECT_EQ(errors.str(),
            "Scribeline: cannot open " + empty + ": a folder with no photos\n");
  EXPECT_FALSE(opened);
}

}  // namespace
}  // namespace scribeline
