#include "app/session.h"

#include <gtest/gtest.h>

#include <fstream>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <sstream>

#include "app/commands.h"
#include "app/program.h"
#include "files/mask_file.h"
#include "files/photo_lock.h"
#include "palette/palette.h"
#include "tests/app/fixture.h"
#include "tests/support/pen_band.h"
#include "tests/support/temp_folder.h"
#include "ui/scripted_window_system.h"

namespace scribeline {
namespace {

// Whole runs of the program over the scripted window system, in a folder of
// their own holding a 60 x 40 photograph and a label list.
class SessionTest : public testing::Test {
 protected:
  SessionTest() {
    imagePath = folder + "/shot %d %s.png";
    photo = cv::Mat(40, 60, CV_8UC3);
    for (int y = 0; y < photo.rows; ++y)
      for (int x = 0; x < photo.cols; ++x)
        photo.at<cv::Vec3b>(y, x) = cv::Vec3b(4 * x, 6 * y, 100);
    EXPECT_TRUE(cv::imwrite(imagePath, photo));
    settings.labelListPath = folder + "/label_list.txt";
    std::ofstream(settings.labelListPath) << "2\nbackground\nperson\n";
    maskPath = imagePath + "_Mask.png";
    // Every script here begins once the tools are ready.
    pushToolsReady(*windows);
  }
  int run(const std::string& path) {
    const char* argv[] = {"scribeline", path.c_str(), "ignored"};
    return runProgram(
        3, argv, console,
        [this](std::string*) { return windows; },
        settings);
  }
  std::string banner() const {
    std::ostringstream text;
    printBanner(text);
    return text.str();
  }
  std::string startUpText() const {
    return banner() + "Over-segmenting.... DONE\n\n" + helpText() +
           "\n\nCurrent Tool = iScissor\n";
  }
  std::string saveQuestion() const {
    return "Do you want to save the mask to FILE=" + maskPath + " ?";
  }

  TempFolder temp{"scribeline-session"};
  std::string folder = temp.path();
  std::string imagePath, maskPath;
  cv::Mat photo;
  ProgramSettings settings;
  std::shared_ptr<ScriptedWindowSystem> windows =
      std::make_shared<ScriptedWindowSystem>();
  std::ostringstream console;
};

TEST_F(SessionTest, PickLabelPaintWithPenSaveAndQuit) {
  windows->pushClick(kToolboxWindow, 90, 105);  // label 5
  windows->pushMove(kMainWindow, 50, 30);       // pen not yet chosen
  windows->pushKey('2');
  windows->pushMove(kMainWindow, 50, 30);  // no button: paints nothing
  windows->pushDrag(kMainWindow, {{10, 10}, {20, 15}, {30, 15}});
  windows->pushKey('M');
  windows->pushKey(27);
  windows->pushAnswer(true);  // "Save?"

  EXPECT_EQ(run(imagePath), 1);

  // The mask file: the discs and joining bands of the drag in label 5's
  // colour, (128, 0, 128) in red, green, blue, on black.
  cv::Mat expected = cv::Mat::zeros(40, 60, CV_8UC3);
  const cv::Scalar purple(128, 0, 128);
  EXPECT_EQ(labelColor(5), purple);
  const std::vector<cv::Point> path = {{10, 10}, {20, 15}, {30, 15}};
  for (size_t i = 0; i < path.size(); ++i) {
    cv::circle(expected, path[i], 3, purple, -1, cv::LINE_4);
    if (i > 0) paintBand(expected, path[i], path[i - 1], 3, purple);
  }
  const cv::Mat saved = cv::imread(maskPath, cv::IMREAD_UNCHANGED);
  ASSERT_EQ(saved.type(), CV_8UC3);
  ASSERT_EQ(saved.size(), expected.size());
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 60; ++x)
      ASSERT_EQ(saved.at<cv::Vec3b>(y, x), expected.at<cv::Vec3b>(y, x))
          << "pixel (" << x << ", " << y << ")";

  EXPECT_EQ(console.str(), startUpText() + "Current Tool = pen\n" +
                               "Exiting ...\n" + "Saving mask to" + maskPath +
                               "\n" + "Bye Bye :)\n");
  ASSERT_EQ(windows->questions().size(), 1u);
  EXPECT_EQ(windows->questions()[0].title, "Save?");
  EXPECT_EQ(windows->questions()[0].text, saveQuestion());
  EXPECT_EQ(windows->pendingInputs(), 0u);
  EXPECT_EQ(windows->droppedMouseEvents(), 0);
  // Toolbox first, then the main window; everything closed at the end.
  const auto& changes = windows->windowChanges();
  ASSERT_GE(changes.size(), 2u);
  EXPECT_EQ(changes[0].name, kToolboxWindow);
  EXPECT_EQ(changes[0].mode, WindowMode::Scale100);
  EXPECT_EQ(changes[1].name, kMainWindow);
  EXPECT_EQ(changes[1].mode, WindowMode::FreeScale);
  EXPECT_FALSE(windows->isOpen(kMainWindow) || windows->isOpen(kToolboxWindow));
  // The first view, one per mouse event (two moves, a drag of four events),
  // and one when the pen is chosen with the pointer over the photo: its
  // outline shows at once.
  EXPECT_EQ(windows->showCount(kMainWindow), 1 + 2 + 4 + 1);
}

TEST_F(SessionTest, BannerHasItsFixedPieces) {
  const std::string text = banner();
  EXPECT_EQ(
      text.rfind(
          "Scribeline\n\nUsage: EXE filename.img (Drag the image onto "
          "the icon of the EXE file)\n\nAcknowledgements:\n[1] SuperPixel ",
          0),
      0u);
  EXPECT_NE(text.find("\n[2] GraphCut   "), std::string::npos);
  EXPECT_NE(text.find("\n[3] iScissor   "), std::string::npos);
  EXPECT_EQ(text.substr(text.size() - 2), "\n\n");
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 9);
}

TEST_F(SessionTest, UnloadableImageEndsWithStatusZeroAndOneErrorLine) {
  testing::internal::CaptureStderr();
  EXPECT_EQ(run(folder + "/missing.jpg"), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Scribeline: cannot open " + folder +
                "/missing.jpg: No such file or directory\n");
  EXPECT_EQ(console.str(), banner());
  // The window system starts while the photo is read, but no window opens
  // and none of its words are said.
  EXPECT_TRUE(windows->windowChanges().empty());
  EXPECT_FALSE(windows->sessionBegun());
}

TEST_F(SessionTest, MissingMaskFileGivesABlankMaskWithoutAnyMessage) {
  windows->pushKeys("u>>>>>>>>>>>>");  // overlay at opacity 1.0
  windows->pushKey(27);
  testing::internal::CaptureStderr();
  EXPECT_EQ(run(imagePath), 1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(console.str(), startUpText() + "Exiting ...\nBye Bye :)\n");
  EXPECT_EQ(cv::countNonZero(windows->lastShown(kMainWindow).reshape(1)), 0);
  EXPECT_TRUE(windows->sessionBegun());
}

TEST_F(SessionTest, NoDisplayEndsWithStatusTwoAndOneLine) {
  const char* argv[] = {"scribeline", imagePath.c_str()};
  EXPECT_EQ(runProgram(
                2, argv, console,
                [](std::string* error) {
                  *error = "DISPLAY is not set";
                  return std::shared_ptr<WindowSystem>();
                },
                settings),
            2);
  EXPECT_EQ(
      console.str(),
      banner() + "Scribeline: cannot open a display (DISPLAY is not set)\n");
}

TEST_F(SessionTest, WithoutArgumentTheDefaultImageIsOpened) {
  settings.defaultImagePath = imagePath;
  const char* argv[] = {"scribeline"};
  EXPECT_EQ(
      runProgram(
          1, argv, console, [this](std::string*) { return windows; }, settings),
      1);
  ASSERT_EQ(windows->questions().size(), 1u);
  EXPECT_EQ(windows->questions()[0].text, saveQuestion());
  EXPECT_EQ(maskPathFor("sample.JPG"), "sample.JPG_Mask.png");
}

TEST_F(SessionTest, SavedMaskOfTheImageSizeIsOfferedAndLoadedUnchanged) {
  cv::Mat saved(40, 60, CV_8UC3, cv::Scalar(1, 2, 3));  // not a palette colour
  saved(cv::Rect(0, 0, 10, 10)) = cv::Scalar(128, 0, 128);
  ASSERT_TRUE(cv::imwrite(maskPath, saved));
  windows->pushAnswer(true);  // "Load?"
  windows->pushKey('u');
  windows->pushKey('>');
  for (int i = 0; i < 11; ++i) windows->pushKey('>');  // opacity 1.0
  windows->pushKey(27);
  windows->pushAnswer(false);  // "Save?"

  EXPECT_EQ(run(imagePath), 1);
  ASSERT_EQ(windows->questions().size(), 2u);
  EXPECT_EQ(windows->questions()[0].title, "Load?");
  EXPECT_EQ(windows->questions()[0].text,
            "The corresponding mask file exists. Do you want to load it?");
  // The toolbox and the photo first, asked with the photo in sight; then
  // "Mask" opens at 100%, showing the file's colours.
  const auto& changes = windows->windowChanges();
  ASSERT_GE(changes.size(), 3u);
  EXPECT_EQ(changes[0].name, kToolboxWindow);
  EXPECT_EQ(changes[1].name, kMainWindow);
  EXPECT_EQ(changes[2].name, kMaskWindow);
  EXPECT_EQ(changes[2].mode, WindowMode::Scale100);
  EXPECT_EQ(cv::norm(windows->lastShown(kMaskWindow), saved, cv::NORM_INF), 0);
  EXPECT_EQ(cv::norm(windows->lastShown(kMainWindow), saved, cv::NORM_INF), 0);
  // No at exit: nothing written, nothing said about saving.
  EXPECT_EQ(cv::norm(cv::imread(maskPath), saved, cv::NORM_INF), 0);
  EXPECT_EQ(console.str().find("Saving"), std::string::npos);
}

struct SavedMaskRow {
  std::string description;
  cv::Size size;
  bool askedToLoad;
};

class StaleMaskTest : public SessionTest,
                      public testing::WithParamInterface<SavedMaskRow> {};

TEST_P(StaleMaskTest, LeavesABlankMaskAndTheFileUntouched) {
  const cv::Mat saved(GetParam().size, CV_8UC3, cv::Scalar(0, 0, 128));
  ASSERT_TRUE(cv::imwrite(maskPath, saved));
  if (GetParam().askedToLoad) windows->pushAnswer(false);
  windows->pushKeys("u>>>>>>>>>>>>");  // overlay at opacity 1.0
  windows->pushKey(27);
  windows->pushAnswer(false);
  EXPECT_EQ(run(imagePath), 1);
  EXPECT_EQ(windows->questions().size(), GetParam().askedToLoad ? 2u : 1u);
  EXPECT_EQ(cv::countNonZero(windows->lastShown(kMainWindow).reshape(1)), 0);
  EXPECT_FALSE(windows->isOpen(kMaskWindow));
  EXPECT_EQ(cv::norm(cv::imread(maskPath), saved, cv::NORM_INF), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Masks, StaleMaskTest,
    testing::Values(SavedMaskRow{"other_width", {61, 40}, false},
                    SavedMaskRow{"other_height", {60, 39}, false},
                    SavedMaskRow{"answered_no", {60, 40}, true}),
    [](const testing::TestParamInfo<SavedMaskRow>& info) {
      return info.param.description;
    });

// What is on disk at start-up, what the user answers, and what is on disk
// after the run: the autosave comes first, an unusable mask file is named,
// and a save never replaces a mask file without keeping it as a backup
// (the first one of the run: later saves leave that backup alone).
struct DiskRow {
  std::string description;
  std::string maskFile;  // "", "photo size", "other size", "garbage"
  bool autosave;
  std::vector<bool> startAnswers;
  std::string keys;  // "p": a pen drag, other characters as keys
  bool saveAtExit;
  std::vector<std::string> titles;  // every question, in order
  std::string setAside;             // the reason named, or ""
  std::string maskAfter;            // "before" (unchanged), "work", "autosave"
  std::string backupAfter;          // "" (none) or "before"
};

class DiskTest : public SessionTest,
                 public testing::WithParamInterface<DiskRow> {
 protected:
  static std::string bytesOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
};

TEST_P(DiskTest, StartUpAndSavesKeepEveryMaskOnDisk) {
  const DiskRow& row = GetParam();
  const cv::Mat before(40, 60, CV_8UC3, cv::Scalar(0, 128, 0));
  if (row.maskFile == "photo size") cv::imwrite(maskPath, before);
  if (row.maskFile == "other size")
    cv::imwrite(maskPath, cv::Mat(41, 60, CV_8UC3, cv::Scalar(0, 128, 0)));
  if (row.maskFile == "garbage") std::ofstream(maskPath) << "not a picture";
  const std::string bytesBefore = bytesOf(maskPath);
  const cv::Mat autosaved(40, 60, CV_8UC3, cv::Scalar(128, 0, 128));
  const std::string autosavePath = imagePath + "_Mask.autosave.png";
  if (row.autosave) cv::imwrite(autosavePath, autosaved);

  for (bool answer : row.startAnswers) windows->pushAnswer(answer);
  for (char key : row.keys) {
    if (key == 'p') {
      windows->pushClick(kToolboxWindow, 90, 105);  // label 5
      windows->pushKey('2');
      windows->pushDrag(kMainWindow, {{5, 5}, {25, 20}});
    } else {
      windows->pushKey(key);
    }
  }
  windows->pushKey(27);
  windows->pushAnswer(row.saveAtExit);
  EXPECT_EQ(run(imagePath), 1);

  std::vector<std::string> titles;
  for (const auto& question : windows->questions())
    titles.push_back(question.title);
  EXPECT_EQ(titles, row.titles);
  if (row.autosave) {
    EXPECT_EQ(windows->questions()[0].text.rfind(
                  "Unsaved work on this photo's mask was kept in FILE=" +
                      autosavePath + " (written ",
                  0),
              0u)
        << windows->questions()[0].text;
  }
  const std::string line =
      "The mask file " + maskPath + " was set aside (" + row.setAside +
      "): a save will replace it, keeping it as " + maskPath + "~\n";
  EXPECT_EQ(console.str().find(line) != std::string::npos,
            !row.setAside.empty())
      << console.str();

  if (row.maskAfter == "before") {
    EXPECT_EQ(bytesOf(maskPath), bytesBefore);
  } else {
    const cv::Mat saved = cv::imread(maskPath);
    ASSERT_EQ(saved.size(), before.size());
    if (row.maskAfter == "autosave") {
      EXPECT_EQ(cv::norm(saved, autosaved, cv::NORM_INF), 0);
    } else {  // the pen work (if any) on a blank mask
      const bool painted = row.keys.find('p') != std::string::npos;
      EXPECT_EQ(saved.at<cv::Vec3b>(5, 5),
                painted ? cv::Vec3b(128, 0, 128) : cv::Vec3b(0, 0, 0));
      EXPECT_EQ(saved.at<cv::Vec3b>(35, 55), cv::Vec3b(0, 0, 0));
    }
  }
  EXPECT_EQ(bytesOf(maskPath + "~"),
            row.backupAfter == "before" ? bytesBefore : "");
  // A clean end leaves no autosave.
  EXPECT_FALSE(std::ifstream(autosavePath).is_open());
}

INSTANTIATE_TEST_SUITE_P(
    Disk, DiskTest,
    testing::Values(DiskRow{"no_to_load_then_save",
                            "photo size",
                            false,
                            {false},
                            "p",
                            true,
                            {"Load?", "Save?"},
                            "",
                            "work",
                            "before"},
                    DiskRow{"two_saves_keep_the_first_backup",
                            "photo size",
                            false,
                            {false},
                            "pMp",
                            true,
                            {"Load?", "Save?"},
                            "",
                            "work",
                            "before"},
                    DiskRow{"other_size_set_aside",
                            "other size",
                            false,
                            {},
                            "",
                            true,
                            {"Save?"},
                            "its size is not the photo's",
                            "work",
                            "before"},
                    DiskRow{"unreadable_set_aside",
                            "garbage",
                            false,
                            {},
                            "",
                            true,
                            {"Save?"},
                            "it cannot be read",
                            "work",
                            "before"},
                    DiskRow{"unreadable_not_saved",
                            "garbage",
                            false,
                            {},
                            "",
                            false,
                            {"Save?"},
                            "it cannot be read",
                            "before",
                            ""},
                    DiskRow{"autosave_recovered_before_load",
                            "photo size",
                            true,
                            {true},
                            "",
                            true,
                            {"Recover?", "Save?"},
                            "",
                            "autosave",
                            "before"},
                    DiskRow{"autosave_declined_then_loaded",
                            "photo size",
                            true,
                            {false, true},
                            "",
                            false,
                            {"Recover?", "Load?", "Save?"},
                            "",
                            "before",
                            ""}),
    [](const testing::TestParamInfo<DiskRow>& info) {
      return info.param.description;
    });

TEST_F(SessionTest, ClosingEveryWindowEndsLikeEscape) {
  windows->pushKey('2');
  windows->pushCloseAll();
  windows->pushKey('u');  // never delivered: no window is left
  windows->pushAnswer(true);
  EXPECT_EQ(run(imagePath), 1);
  EXPECT_EQ(console.str(), startUpText() + "Current Tool = pen\nExiting ...\n" +
                               "Saving mask to" + maskPath + "\nBye Bye :)\n");
  EXPECT_EQ(windows->pendingInputs(), 1u);
  EXPECT_FALSE(cv::imread(maskPath).empty());
}

TEST_F(SessionTest, FailedSaveAtExitAsksAgain) {
  // A folder in the way of the mask file: no mask loads, every save fails.
  ASSERT_EQ(mkdir(maskPath.c_str(), 0755), 0);
  std::ofstream(maskPath + "/keep") << "x";
  windows->pushKey(27);
  windows->pushAnswer(true);
  windows->pushAnswer(true);
  windows->pushAnswer(false);
  EXPECT_EQ(run(imagePath), 1);
  ASSERT_EQ(windows->questions().size(), 3u);
  for (const auto& question : windows->questions()) {
    EXPECT_EQ(question.title, "Save?");
    EXPECT_EQ(question.text, saveQuestion());
  }
  const std::string failure = "Saving mask to" + maskPath + "\n" +
                              "Could not save the mask to " + maskPath +
                              ": Is a directory\n";
  EXPECT_EQ(console.str(), startUpText() + "Exiting ...\n" + failure + failure +
                               "Bye Bye :)\n");
}

// How the user asks to end the session.
enum class EndAsked { Escape, ClosePhotoWindow, CloseEveryWindow };

struct PutAsideRow {
  const char* name;
  EndAsked how;
  bool saveAtLast;  // the answer to the last "Save?"
};

class PutAsideTest : public SessionTest,
                     public testing::WithParamInterface<PutAsideRow> {
 protected:
  void askToEnd() {
    switch (GetParam().how) {
      case EndAsked::Escape:
        windows->pushKey(kKeyEscape);
        break;
      case EndAsked::ClosePhotoWindow:
        windows->pushClose(kMainWindow);
        break;
      case EndAsked::CloseEveryWindow:
        windows->pushCloseAll();
        break;
    }
  }
};

// "Save?" put aside (Escape in the question, or its close button) twice:
// the session goes on each time with its work, the photo's window open
// again; only the explicit No at last leaves the work unsaved.
TEST_P(PutAsideTest, SaveQuestionPutAsideGoesBackToThePhotoWithTheWork) {
  windows->pushClick(kToolboxWindow, 90, 105);  // label 5
  windows->pushKey('2');
  windows->pushDrag(kMainWindow, {{5, 5}, {15, 5}});
  for (int time = 0; time < 2; ++time) {
    askToEnd();
    windows->pushCancel();
  }
  windows->pushDrag(kMainWindow, {{5, 30}, {15, 30}});
  askToEnd();
  windows->pushAnswer(GetParam().saveAtLast);

  EXPECT_EQ(run(imagePath), 1);
  const std::string back = "Exiting ...\nNot exiting: back to the photo\n";
  EXPECT_EQ(
      console.str(),
      startUpText() + "Current Tool = pen\n" + back + back + "Exiting ...\n" +
          (GetParam().saveAtLast ? "Saving mask to" + maskPath + "\n" : "") +
          "Bye Bye :)\n");
  ASSERT_EQ(windows->questions().size(), 3u);
  for (const auto& question : windows->questions()) {
    EXPECT_EQ(question.title, "Save?");
    EXPECT_EQ(question.text, saveQuestion());
    EXPECT_TRUE(question.cancellable);
  }
  EXPECT_EQ(windows->questions()[1].given, Answer::Cancel);
  EXPECT_EQ(windows->pendingInputs(), 0u);
  EXPECT_EQ(windows->droppedMouseEvents(), 0);
  const cv::Mat saved = cv::imread(maskPath, cv::IMREAD_UNCHANGED);
  if (!GetParam().saveAtLast) {
    EXPECT_TRUE(saved.empty());
  } else {
    ASSERT_EQ(saved.size(), photo.size());
    // Both strokes: the one before the ends put aside and the one after.
    EXPECT_EQ(saved.at<cv::Vec3b>(5, 10), cv::Vec3b(128, 0, 128));
    EXPECT_EQ(saved.at<cv::Vec3b>(30, 10), cv::Vec3b(128, 0, 128));
    EXPECT_EQ(saved.at<cv::Vec3b>(18, 40), cv::Vec3b(0, 0, 0));
  }
  // A clean end leaves no autosave and no lock.
  EXPECT_FALSE(std::ifstream(imagePath + "_Mask.autosave.png").good());
  EXPECT_FALSE(std::ifstream(lockPathBeside(imagePath)).good());
}

INSTANTIATE_TEST_SUITE_P(
    Ends, PutAsideTest,
    testing::Values(
        PutAsideRow{"escape_then_yes", EndAsked::Escape, true},
        PutAsideRow{"escape_then_no", EndAsked::Escape, false},
        PutAsideRow{"photo_window_closed", EndAsked::ClosePhotoWindow, true},
        PutAsideRow{"every_window_closed", EndAsked::CloseEveryWindow, true}),
    [](const testing::TestParamInfo<PutAsideRow>& info) {
      return info.param.name;
    });

TEST_F(SessionTest, SaveQuestionPutAsideAfterAFailedSaveGoesBackToThePhoto) {
  // A folder in the way of the mask file: the first save fails.
  ASSERT_EQ(mkdir(maskPath.c_str(), 0755), 0);
  windows->pushClick(kToolboxWindow, 90, 105);  // label 5
  windows->pushKey('2');
  windows->pushDrag(kMainWindow, {{5, 5}, {15, 5}});
  windows->pushKey(kKeyEscape);
  windows->pushAnswer(true);  // fails; asked again
  windows->pushCancel();
  // The user clears the way meanwhile.
  windows->pushAction([&] { ASSERT_EQ(rmdir(maskPath.c_str()), 0); });
  windows->pushKey(kKeyEscape);
  windows->pushAnswer(true);

  EXPECT_EQ(run(imagePath), 1);
  EXPECT_EQ(console.str(),
            startUpText() + "Current Tool = pen\n" +
                "Exiting ...\nSaving mask to" + maskPath +
                "\nCould not save the mask to " + maskPath +
                ": Is a directory\n" + "Not exiting: back to the photo\n" +
                "Exiting ...\nSaving mask to" + maskPath + "\nBye Bye :)\n");
  const cv::Mat saved = cv::imread(maskPath, cv::IMREAD_UNCHANGED);
  ASSERT_EQ(saved.size(), photo.size());
  EXPECT_EQ(saved.at<cv::Vec3b>(5, 10), cv::Vec3b(128, 0, 128));
}

// The photo is open in another instance (a lock naming another running
// process of this host: the test's parent). The console says who; "Open
// anyway?" No ends the run before anything opens, Yes works on the photo
// and leaves the other instance's lock alone.
TEST_F(SessionTest, APhotoOpenElsewhereOpensOnlyWhenTheUserSaysSo) {
  const std::string lockPath = lockPathBeside(imagePath);
  LockOwner other;
  other.host = thisProcess().host;
  other.pid = getppid();
  other.user = "alice";
  other.started = "2024-05-01 12:00:00 +0200";
  std::ofstream(lockPath) << lockText(other);
  const std::string held =
      imagePath +
      " is open in another Scribeline (user alice, "
      "process " +
      std::to_string(getppid()) + " on host " + other.host +
      ", since 2024-05-01 12:00:00 +0200; lock file " + lockPath + ")";

  for (const bool open : {false, true}) {
    SCOPED_TRACE(open ? "Yes" : "No");
    console.str("");
    windows = std::make_shared<ScriptedWindowSystem>();
    windows->pushAnswer(open);  // "Open anyway?"
    pushToolsReady(*windows);
    windows->pushKey(kKeyEscape);
    EXPECT_EQ(run(imagePath), 1);
    ASSERT_GE(windows->questions().size(), 1u);
    EXPECT_EQ(windows->questions()[0].title, "Open anyway?");
    EXPECT_EQ(windows->questions()[0].text, held + ". Open it anyway?");
    const std::string said = banner() + "Scribeline: " + held + "\n";
    if (!open) {
      EXPECT_EQ(console.str(),
                said + "Scribeline: " + imagePath + " was not opened\n");
      EXPECT_TRUE(windows->windowChanges().empty());
    } else {
      EXPECT_EQ(console.str(),
                said + "Scribeline: two instances now share " + imagePath +
                    ": the mask saved last replaces the other's\n" +
                    startUpText().substr(banner().size()) +
                    "Exiting ...\nBye Bye :)\n");
    }
    EXPECT_EQ(parseLockText(std::string(std::istreambuf_iterator<char>(
                                            std::ifstream(lockPath).rdbuf()),
                                        {}))
                  ->pid,
              static_cast<long>(getppid()));
  }
}

TEST_F(SessionTest, GreyPhotographIsShownInColourChannels) {
  cv::Mat grey(40, 60, CV_8UC1, cv::Scalar(77));
  const std::string greyPath = folder + "/grey.png";
  ASSERT_TRUE(cv::imwrite(greyPath, grey));
  windows->pushKey(27);
  EXPECT_EQ(run(greyPath), 1);
  const cv::Mat shown = windows->lastShown(kMainWindow);
  ASSERT_EQ(shown.type(), CV_8UC3);
  EXPECT_EQ(shown.at<cv::Vec3b>(5, 5), cv::Vec3b(77, 77, 77));
}

}  // namespace
}  // namespace scribeline
