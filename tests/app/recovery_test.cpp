// The autosaves of earlier runs at start-up, through the whole program over
// the scripted window system: which are offered at "Recover?", which are set
// aside and named, what a No keeps, and the leftovers of writes cut short.
#include "app/recovery.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <fstream>
#include <opencv2/imgcodecs.hpp>
#include <sstream>

#include "app/program.h"
#include "autosave/autosave.h"
#include "tests/app/fixture.h"
#include "tests/support/temp_folder.h"
#include "ui/scripted_window_system.h"

namespace scribeline {
namespace {

const cv::Size kPhotoSize(60, 40);

void writeBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

bool exists(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0;
}

std::string pngOf(const cv::Mat& image) {
  std::vector<unsigned char> bytes;
  cv::imencode(".png", image, bytes);
  return std::string(bytes.begin(), bytes.end());
}

// A mask of the photo's size in one label colour.
cv::Mat work(int blue) {
  return cv::Mat(kPhotoSize, CV_8UC3, cv::Scalar(blue, 0, 128));
}

// Sets a file's times an hour back.
void makeOld(const std::string& path) {
  timeval now;
  gettimeofday(&now, nullptr);
  const timeval old[2] = {{now.tv_sec - 3600, 0}, {now.tv_sec - 3600, 0}};
  lutimes(path.c_str(), old);
}

// A photo in a fresh folder, the state folder of autosaves inside it.
class RecoveryTest : public testing::Test {
 protected:
  RecoveryTest() {
    const char* state = getenv("XDG_STATE_HOME");
    if (state != nullptr) savedState_ = state;
    setenv("XDG_STATE_HOME", (folder + "/state").c_str(), 1);
    cv::Mat image(kPhotoSize, CV_8UC3);
    cv::RNG(3).fill(image, cv::RNG::UNIFORM, 0, 256);
    cv::imwrite(photo, image);
    settings.labelListPath = folder + "/label_list.txt";
    writeBytes(settings.labelListPath, "2\nbackground\nperson\n");
    settings.errors = &errors;
  }
  ~RecoveryTest() override {
    if (savedState_) {
      setenv("XDG_STATE_HOME", savedState_->c_str(), 1);
    } else {
      unsetenv("XDG_STATE_HOME");
    }
  }

  // Runs the program on `path`; the script ends with Escape and No to
  // "Save?".
  int run(const std::string& path) {
    windows->pushKey(27);
    windows->pushAnswer(false);
    const char* argv[] = {"scribeline", path.c_str()};
    return runProgram(
        2, argv, console, [this](std::string*) { return windows; }, settings);
  }
  std::vector<std::string> titles() const {
    std::vector<std::string> asked;
    for (const auto& question : windows->questions())
      asked.push_back(question.title);
    return asked;
  }
  bool said(const std::string& line) const {
    return console.str().find(line) != std::string::npos;
  }

  TempFolder temp{"scribeline-recovery"};
  std::string folder = temp.path();
  std::string photo = folder + "/photo.png";
  std::string autosave = photo + "_Mask.autosave.png";
  ProgramSettings settings;
  std::shared_ptr<ScriptedWindowSystem> windows =
      std::make_shared<ScriptedWindowSystem>();
  std::ostringstream console;
  std::ostringstream errors;

 private:
  std::optional<std::string> savedState_;
};

// Autosaves that cannot be the photo's mask: named with the reason, set
// aside whole under a name of their own, never offered, never deleted.
struct UnusableRow {
  std::string name;
  std::string bytes;
  std::string reason;
};

std::ostream& operator<<(std::ostream& out, const UnusableRow& row) {
  return out << row.name;
}

class UnusableAutosaveTest : public RecoveryTest,
                             public testing::WithParamInterface<UnusableRow> {};

TEST_P(UnusableAutosaveTest, IsNamedAndSetAsideNotOffered) {
  const UnusableRow& row = GetParam();
  writeBytes(autosave, row.bytes);
  pushToolsReady(*windows);
  EXPECT_EQ(run(photo), 1);
  EXPECT_EQ(titles(), std::vector<std::string>{"Save?"});
  EXPECT_TRUE(said("The autosave " + autosave + " cannot be used (" +
                   row.reason + "): set aside as " + autosave + ".unusable\n"))
      << console.str();
  EXPECT_EQ(fileBytes(autosave + ".unusable"), row.bytes);
  EXPECT_FALSE(exists(autosave));
}

const std::string kGoodPng = pngOf(work(0));

INSTANTIATE_TEST_SUITE_P(
    Files, UnusableAutosaveTest,
    testing::Values(
        UnusableRow{"empty", "", "the file is empty"},
        UnusableRow{"cut_short", kGoodPng.substr(0, kGoodPng.size() / 2),
                    "not an image the reader can decode"},
        UnusableRow{"corrupt", "this was never a picture\n",
                    "not an image the reader can decode"},
        UnusableRow{"other_size",
                    pngOf(cv::Mat::zeros(kPhotoSize.height + 1,
                                         kPhotoSize.width, CV_8UC3)),
                    "it is 60 x 41, the photo 60 x 40"},
        UnusableRow{"pam_blank_width",
                    "P7\nWIDTH  \nHEIGHT 2\nDEPTH 3\nMAXVAL 255\nENDHDR\n" +
                        std::string(24, '\0'),
                    "a malformed PAM header: its WIDTH is blank"}),
    [](const testing::TestParamInfo<UnusableRow>& info) {
      return info.param.name;
    });

// Anything but a regular file at the autosave's path beside the photo (a
// link to a perfectly good autosave included) is never offered, never
// written through, left as it is and named once; the autosave goes to the
// state folder.
struct OccupiedRow {
  std::string name;
  std::string kind;
  void (*make)(const std::string& path, const std::string& elsewhere);
};

std::ostream& operator<<(std::ostream& out, const OccupiedRow& row) {
  return out << row.name;
}

class OccupiedAutosavePathTest
    : public RecoveryTest,
      public testing::WithParamInterface<OccupiedRow> {};

TEST_P(OccupiedAutosavePathTest, IsNeverOfferedNorTouched) {
  const OccupiedRow& row = GetParam();
  const std::string elsewhere = folder + "/elsewhere.png";
  writeBytes(elsewhere, kGoodPng);
  row.make(autosave, elsewhere);
  struct stat before;
  ASSERT_EQ(lstat(autosave.c_str(), &before), 0);
  pushToolsReady(*windows);
  windows->pushClick(kToolboxWindow, 90, 30);  // label 1
  windows->pushKey('2');
  windows->pushDrag(kMainWindow, {{5, 5}, {25, 5}});
  EXPECT_EQ(run(photo), 1);

  EXPECT_EQ(titles(), std::vector<std::string>{"Save?"});
  const std::string instead =
      autosavePathInFolder(photo, folder + "/state/scribeline");
  EXPECT_TRUE(said("The autosave path " + autosave + " is " + row.kind +
                   ", not a file of this program: left as it is, autosaving "
                   "to " +
                   instead + " instead\n"))
      << console.str();
  struct stat after;
  ASSERT_EQ(lstat(autosave.c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(after.st_mode, before.st_mode);
  EXPECT_EQ(fileBytes(elsewhere), kGoodPng);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, OccupiedAutosavePathTest,
    testing::Values(
        OccupiedRow{"link_to_a_good_autosave", "a symbolic link",
                    [](const std::string& path, const std::string& elsewhere) {
                      symlink(elsewhere.c_str(), path.c_str());
                    }},
        OccupiedRow{"folder", "a folder",
                    [](const std::string& path, const std::string&) {
                      mkdir(path.c_str(), 0755);
                    }},
        OccupiedRow{"fifo", "a FIFO",
                    [](const std::string& path, const std::string&) {
                      mkfifo(path.c_str(), 0644);
                    }}),
    [](const testing::TestParamInfo<OccupiedRow>& info) {
      return info.param.name;
    });

// No at "Recover?" keeps the autosave as it was, under its declined name,
// before anything can overwrite it; a clean end removes only the autosave;
// the next No replaces the declined copy.
TEST_F(RecoveryTest, DeclinedAutosaveIsKeptBesideItAndOutlivesACleanEnd) {
  for (int run = 0; run < 2; ++run) {
    const std::string declined = pngOf(work(run * 64));
    writeBytes(autosave, declined);
    windows = std::make_shared<ScriptedWindowSystem>();
    console.str("");
    windows->pushAnswer(false);  // "Recover?"
    pushToolsReady(*windows);
    EXPECT_EQ(this->run(photo), 1);
    EXPECT_EQ(titles(), (std::vector<std::string>{"Recover?", "Save?"}));
    EXPECT_TRUE(said("The autosave " + autosave +
                     " was not recovered: kept as " + autosave + "~\n"))
        << console.str();
    EXPECT_FALSE(exists(autosave));
    EXPECT_EQ(fileBytes(autosave + "~"), declined) << "run " << run;
  }
}

// Unsaved work left on a photo of a folder overwrites the photo's autosave;
// the autosave declined at the photo's start stays whole as its copy.
TEST_F(RecoveryTest, NewWorkNeverOverwritesTheDeclinedAutosave) {
  const std::string second = folder + "/second.png";
  cv::imwrite(second, cv::Mat::zeros(kPhotoSize, CV_8UC3));
  const std::string declined = pngOf(work(64));
  writeBytes(autosave, declined);
  windows->pushAnswer(false);  // "Recover?"
  pushToolsReady(*windows);
  windows->pushClick(kToolboxWindow, 90, 30);  // label 1
  windows->pushKey('2');
  windows->pushDrag(kMainWindow, {{5, 5}, {25, 5}});
  windows->pushKey(kKeyPageDown);
  windows->pushAnswer(false);  // "Save?" when leaving: the work is kept
  EXPECT_EQ(run(folder), 1);
  EXPECT_TRUE(said("Autosaved the mask to " + autosave + "\n"))
      << console.str();
  EXPECT_EQ(fileBytes(autosave + "~"), declined);
  const cv::Mat kept = cv::imread(autosave, cv::IMREAD_COLOR);
  ASSERT_EQ(kept.size(), kPhotoSize);
  EXPECT_EQ(kept.at<cv::Vec3b>(5, 15), cv::Vec3b(0, 0, 128));
}

// What writes cut short left in the folders a start writes to goes; nothing
// else does.
TEST_F(RecoveryTest, StartRemovesTheLeftoversOfWritesCutShort) {
  const std::string stateFolder = folder + "/state/scribeline";
  ASSERT_EQ(mkdir((folder + "/state").c_str(), 0700), 0);
  ASSERT_EQ(mkdir(stateFolder.c_str(), 0700), 0);
  const std::vector<std::string> leftovers = {
      folder + "/.scribeline-tmp-Ab12Cd",
      stateFolder + "/.scribeline-tmp-00zz99"};
  const std::vector<std::string> others = {
      folder + "/.scribeline-config", folder + "/.scribeline-tmp-toolong1"};
  for (const auto& list : {leftovers, others})
    for (const std::string& path : list) {
      writeBytes(path, "bytes");
      makeOld(path);
    }
  pushToolsReady(*windows);
  EXPECT_EQ(run(photo), 1);
  for (const std::string& path : leftovers) EXPECT_FALSE(exists(path)) << path;
  for (const std::string& path : others) EXPECT_TRUE(exists(path)) << path;
}

}  // namespace
}  // namespace scribeline
