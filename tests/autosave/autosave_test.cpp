#include "autosave/autosave.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <opencv2/core.hpp>
#include <thread>
#include <vector>

#include "files/mask_file.h"
#include "files/photo_list.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/temp_folder.h"

namespace scribeline {
namespace {

bool exists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0;
}

bool sameBytes(const cv::Mat& a, const cv::Mat& b) {
  return a.size() == b.size() && a.type() == b.type() &&
         cv::countNonZero(a.reshape(1) != b.reshape(1)) == 0;
}

// Waits (without a time limit that could be mistaken for a speed target: a
// minute, for a loaded machine) until the file holds the expected mask.
bool eventuallyHolds(const std::string& path, const cv::Mat& expected) {
  for (int tries = 0; tries < 600; ++tries) {
    if (sameBytes(readMaskFile(path), expected)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return false;
}

cv::Mat maskOf(int value) {
  return cv::Mat(12, 9, CV_8UC3, cv::Scalar(value, 255 - value, value / 2));
}

// A fresh folder for each case.
class AutosaverTest : public testing::Test {
 protected:
  TempFolder temp{"scribeline-autosave"};
  std::string folder = temp.path();
};

TEST_F(AutosaverTest, WritesTheNewestChangeOnItsOwnAndOnFlush) {
  const std::string path = folder + "/p.jpg_Mask.autosave.png";
  Autosaver autosaver(path, {std::chrono::milliseconds(20)});
  EXPECT_TRUE(autosaver.flush().ok());  // nothing noted: nothing to write
  EXPECT_FALSE(exists(path));
  EXPECT_FALSE(autosaver.holdsWork());

  autosaver.noteChange(maskOf(1));
  autosaver.noteChange(maskOf(2));
  EXPECT_TRUE(eventuallyHolds(path, maskOf(2)));
  EXPECT_TRUE(autosaver.holdsWork());

  // A change taken over by the caller's copy, not by reference.
  cv::Mat live = maskOf(3);
  autosaver.noteChange(live);
  live.setTo(cv::Scalar::all(0));
  const Status flushed = autosaver.flush();
  ASSERT_TRUE(flushed.ok()) << flushed.reason();
  EXPECT_TRUE(sameBytes(readMaskFile(path), maskOf(3)));

  autosaver.discard();
  EXPECT_FALSE(exists(path));
  autosaver.noteChange(maskOf(4));
  EXPECT_EQ(autosaver.flush().reason(), "the autosave was discarded");
  EXPECT_FALSE(exists(path));
}

TEST_F(AutosaverTest, PathsBesideThePhotoOrInTheStateFolder) {
  const char* savedState = getenv("XDG_STATE_HOME");
  const std::string stateHome = folder + "/state";
  setenv("XDG_STATE_HOME", stateHome.c_str(), 1);

  const std::string photo = folder + "/a b.jpg";
  EXPECT_EQ(chooseAutosavePath(photo), folder + "/a b.jpg_Mask.autosave.png");

  // A folder where no file can be made: the state folder, made on demand,
  // with one name per full photo path.
  const std::string unwritable = folder + "/gone/a b.jpg";
  const std::string chosen = chooseAutosavePath(unwritable);
  EXPECT_EQ(chosen.rfind(stateHome + "/scribeline/a b.jpg-", 0), 0u) << chosen;
  EXPECT_NE(chosen, chooseAutosavePath(folder + "/other/a b.jpg"));
  EXPECT_EQ(chosen, autosaveCandidates(unwritable).at(1));
  EXPECT_EQ(autosaveCandidates(unwritable).at(0),
            unwritable + "_Mask.autosave.png");
  struct stat info;
  ASSERT_EQ(stat((stateHome + "/scribeline").c_str(), &info), 0);
  EXPECT_TRUE(S_ISDIR(info.st_mode));

  // XDG_STATE_HOME unset or relative: ~/.local/state/scribeline.
  setenv("XDG_STATE_HOME", "relative", 1);
  const char* home = getenv("HOME");
  if (home != nullptr && home[0] == '/') {
    EXPECT_EQ(autosaveStateFolder(),
              std::string(home) + "/.local/state/scribeline");
  }
  if (savedState != nullptr) {
    setenv("XDG_STATE_HOME", savedState, 1);
  } else {
    unsetenv("XDG_STATE_HOME");
  }
}

// Dabs of paint at random places, each noted by its area alone, while the
// writer writes in the background as fast as it may: every flush, and the
// last one, finds the file holding exactly the live mask, whichever buffer
// the writer held when each dab came.
TEST_F(AutosaverTest, PaintNotedByAreaReachesTheFileWhole) {
  const std::string path = folder + "/p.png_Mask.autosave.png";
  Autosaver autosaver(path, {std::chrono::milliseconds(0)});
  cv::Mat live(90, 130, CV_8UC3, cv::Scalar::all(0));
  cv::RNG rng(17);
  autosaver.noteChange(live);
  for (int dab = 0; dab < 300; ++dab) {
    const cv::Rect area(rng.uniform(-10, 130), rng.uniform(-10, 90),
                        rng.uniform(1, 30), rng.uniform(1, 30));
    live(area & cv::Rect(0, 0, live.cols, live.rows))
        .setTo(cv::Scalar(rng.uniform(0, 4) * 64, 0, rng.uniform(0, 4) * 64));
    autosaver.notePaint(live, area);
    if (dab % 50 == 49) {
      ASSERT_TRUE(autosaver.flush().ok());
      ASSERT_TRUE(sameBytes(readMaskFile(path), live)) << "dab " << dab;
    }
  }
  ASSERT_TRUE(autosaver.flush().ok());
  EXPECT_TRUE(sameBytes(readMaskFile(path), live));
  // A whole change after paint: the whole mask is taken again.
  live.setTo(cv::Scalar(0, 64, 192));
  autosaver.noteChange(live);
  ASSERT_TRUE(autosaver.flush().ok());
  EXPECT_TRUE(sameBytes(readMaskFile(path), live));
}

// A note of paint takes only its area: what changed elsewhere without a
// note is not the autosave's to know.
TEST_F(AutosaverTest, NotePaintTakesOnlyItsArea) {
  const std::string path = folder + "/p.png_Mask.autosave.png";
  Autosaver autosaver(path, {std::chrono::hours(1)});
  cv::Mat live = maskOf(10);
  autosaver.noteChange(live);
  live.setTo(cv::Scalar(64, 64, 64));
  autosaver.notePaint(live, cv::Rect(2, 3, 4, 5));
  ASSERT_TRUE(autosaver.flush().ok());
  cv::Mat expected = maskOf(10);
  expected(cv::Rect(2, 3, 4, 5)).setTo(cv::Scalar(64, 64, 64));
  EXPECT_TRUE(sameBytes(readMaskFile(path), expected));
}

// Lines the writer's thread reports, gathered for a test.
class Reports {
 public:
  AutosaveReport sink() {
    return [this](const std::string& line) {
      std::lock_guard<std::mutex> lock(mutex_);
      lines_.push_back(line);
    };
  }
  std::vector<std::string> lines() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
  }
  // Waits (a minute at most, for a loaded machine) for the count.
  bool eventuallyHas(size_t count) const {
    for (int tries = 0; tries < 600; ++tries) {
      if (lines().size() >= count) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
};

// Ways a background write fails and space comes back: the first failure is
// said at once, the tries that follow fail quietly, the first success after
// them is said once; the work is on disk afterwards.
struct Blocked {
  std::string reason;          // empty: this way cannot be made here
  std::function<void()> undo;  // space is back
  bool oldAutosaveStays = true;
};

struct FailureRow {
  std::string name;
  Blocked (*block)(const std::string& path);
};

std::ostream& operator<<(std::ostream& out, const FailureRow& row) {
  return out << row.name;
}

// Undoes a block once, at the latest when the test ends.
class Unblock {
 public:
  explicit Unblock(std::function<void()> undo) : undo_(std::move(undo)) {}
  ~Unblock() { now(); }
  void now() {
    if (undo_) undo_();
    undo_ = nullptr;
  }

 private:
  std::function<void()> undo_;
};

class AutosaverFailureTest : public AutosaverTest,
                             public testing::WithParamInterface<FailureRow> {};

TEST_P(AutosaverFailureTest, SaysTheFailureOnceAndTheRecoveryOnce) {
  const std::string path = folder + "/p.png_Mask.autosave.png";
  Reports reports;
  Autosaver autosaver(path, {std::chrono::milliseconds(0),
                             std::chrono::milliseconds(50), reports.sink()});
  autosaver.noteChange(maskOf(1));
  ASSERT_TRUE(eventuallyHolds(path, maskOf(1)));
  const Blocked blocked = GetParam().block(path);
  if (blocked.reason.empty()) GTEST_SKIP() << "cannot be made here";
  Unblock unblock(blocked.undo);
  cv::Mat big(300, 300, CV_8UC3);
  cv::RNG(5).fill(big, cv::RNG::UNIFORM, 0, 256);  // no palette, no runs
  autosaver.noteChange(big);
  ASSERT_TRUE(reports.eventuallyHas(1));
  // Several tries fail meanwhile, each quietly.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(
      reports.lines(),
      std::vector<std::string>{"Could not autosave the mask to " + path + ": " +
                               blocked.reason + "; trying again every 0 s\n"});
  if (blocked.oldAutosaveStays)
    EXPECT_TRUE(sameBytes(readMaskFile(path), maskOf(1)));
  unblock.now();
  ASSERT_TRUE(reports.eventuallyHas(2));
  EXPECT_EQ(reports.lines().at(1),
            "Autosaved the mask to " + path + " again\n");
  EXPECT_TRUE(sameBytes(readMaskFile(path), big));
  EXPECT_EQ(reports.lines().size(), 2u);
}

// The folder read-only: by its permission bits, or (for the superuser,
// whom they do not stop) by a read-only mount of it over itself.
Blocked readOnlyFolder(const std::string& path) {
  const std::string folder = folderOf(path);
  if (geteuid() != 0) {
    chmod(folder.c_str(), 0555);
    return {std::strerror(EACCES), [folder] { chmod(folder.c_str(), 0755); }};
  }
  if (mount(folder.c_str(), folder.c_str(), nullptr, MS_BIND, nullptr) != 0)
    return {};
  if (mount(nullptr, folder.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY,
            nullptr) != 0) {
    umount(folder.c_str());
    return {};
  }
  return {std::strerror(EROFS), [folder] { umount(folder.c_str()); }};
}

INSTANTIATE_TEST_SUITE_P(
    Ways, AutosaverFailureTest,
    testing::Values(
        FailureRow{
            "disk_full",
            [](const std::string&) {
              auto limit = std::make_shared<FileSizeLimit>(8192);
              return Blocked{std::strerror(EFBIG), [limit] { limit->lift(); }};
            }},
        FailureRow{"path_made_a_folder",
                   [](const std::string& path) {
                     unlink(path.c_str());
                     mkdir(path.c_str(), 0755);
                     return Blocked{
                         path + " is a folder, not a file of this program",
                         [path] { rmdir(path.c_str()); }, false};
                   }},
        FailureRow{"folder_read_only", readOnlyFolder}),
    [](const testing::TestParamInfo<FailureRow>& info) {
      return info.param.name;
    });

// Whatever is put at the path in place of the autosave stays, at the end
// too.
TEST_F(AutosaverTest, DiscardRemovesOnlyARegularFile) {
  const std::string path = folder + "/p.png_Mask.autosave.png";
  std::ofstream(folder + "/precious") << "the user's";
  ASSERT_EQ(symlink("precious", path.c_str()), 0);
  Autosaver autosaver(path, {std::chrono::hours(1)});
  autosaver.noteChange(maskOf(1));
  EXPECT_EQ(autosaver.flush().reason(),
            path + " is a symbolic link, not a file of this program");
  autosaver.discard();
  struct stat info;
  ASSERT_EQ(lstat(path.c_str(), &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode));
  std::ifstream in(folder + "/precious");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "the user's");
}

// What is found at the autosave's path beside the photo decides where the
// autosave goes: a regular file (an earlier autosave) is the program's; a
// link, a folder or a FIFO is left alone, named, and the state folder used.
TEST_F(AutosaverTest, PassesOverAnythingButARegularFileBesideThePhoto) {
  const char* savedState = getenv("XDG_STATE_HOME");
  const std::string stateHome = folder + "/state";
  setenv("XDG_STATE_HOME", stateHome.c_str(), 1);
  const std::string photo = folder + "/p.png";
  const std::string beside = photo + "_Mask.autosave.png";
  const std::string inState =
      autosavePathInFolder(photo, stateHome + "/scribeline");
  const struct {
    const char* kind;
    std::function<void()> make;
  } rows[] = {
      {"", [&] { std::ofstream(beside) << "an earlier autosave"; }},
      {"a symbolic link",
       [&] { symlink((folder + "/elsewhere").c_str(), beside.c_str()); }},
      {"a folder", [&] { mkdir(beside.c_str(), 0755); }},
      {"a FIFO", [&] { mkfifo(beside.c_str(), 0644); }},
  };
  for (const auto& row : rows) {
    row.make();
    const AutosavePlace place = chooseAutosavePlace(photo);
    if (row.kind[0] == '\0') {
      EXPECT_EQ(place.path, beside);
      EXPECT_EQ(place.notice, "");
    } else {
      EXPECT_EQ(place.path, inState) << row.kind;
      EXPECT_EQ(place.notice,
                "The autosave path " + beside + " is " + row.kind +
                    ", not a file of this program: left as it is, "
                    "autosaving to " +
                    inState + " instead\n");
    }
    remove(beside.c_str());
  }
  EXPECT_FALSE(exists(folder + "/elsewhere"));
  if (savedState != nullptr) {
    setenv("XDG_STATE_HOME", savedState, 1);
  } else {
    unsetenv("XDG_STATE_HOME");
  }
}

}  // namespace
}  // namespace scribeline
