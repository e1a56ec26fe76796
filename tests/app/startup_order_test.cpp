// The order of start-up now that the tools' engines are prepared in the
// background: the photo, the questions and the keys come first; a tool used
// before its engine is ready waits and then does exactly what it does for a
// user who waited; Escape ends the session at once.
#include <gtest/gtest.h>

#include <condition_variable>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <opencv2/imgcodecs.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "app/commands.h"
#include "app/session.h"
#include "app/tools.h"
#include "canvas/workspace.h"
#include "palette/palette.h"
#include "scissors/scissor_tool.h"
#include "snapping/snapper_tool.h"
#include "tests/app/fixture.h"
#include "tests/support/temp_folder.h"
#include "ui/scripted_window_system.h"

namespace scribeline {
namespace {

// Holds a preparation back until the test opens it.
struct Gate {
  void pass() {
    std::unique_lock<std::mutex> lock(mutex);
    opened.wait(lock, [this] { return open; });
    passed = true;
  }
  void openNow() {
    std::lock_guard<std::mutex> lock(mutex);
    open = true;
    opened.notify_all();
  }
  bool wasPassed() {
    std::lock_guard<std::mutex> lock(mutex);
    return passed;
  }
  std::mutex mutex;
  std::condition_variable opened;
  bool open = false;
  bool passed = false;
};

// A real tool whose preparation waits at a gate before it runs.
template <class RealTool>
class GatedTool : public RealTool {
 public:
  explicit GatedTool(std::shared_ptr<Gate> gate) : gate_(std::move(gate)) {}
  Preparation prepare(Workspace& workspace) override {
    Preparation work = RealTool::prepare(workspace);
    return [work, gate = gate_] {
      gate->pass();
      work();
    };
  }

 private:
  std::shared_ptr<Gate> gate_;
};

// 80 x 60: left half red, right half blue, a dark square in the left half
// over columns 10 to 29 and rows 15 to 34.
cv::Mat testPhoto() {
  cv::Mat photo(60, 80, CV_8UC3, cv::Scalar(0, 0, 200));
  photo(cv::Rect(40, 0, 40, 60)).setTo(cv::Scalar(200, 0, 0));
  photo(cv::Rect(10, 15, 20, 20)).setTo(cv::Scalar::all(40));
  return photo;
}

// What the work left at a point of the script.
struct Snapshot {
  cv::Mat mask;
  std::vector<std::vector<cv::Point>> contours;
  std::vector<int> superpixelLabels;
  size_t undoSteps = 0;
};

class StartUpOrderTest;

// What a row's script may push besides plain input.
struct Script {
  ScriptedWindowSystem& windows;
  const std::ostringstream& console;
  StartUpOrderTest& test;
  // The run in which the user waited for every engine.
  bool waited;
  // The engines of the tools up to `tool` (kToolScissors, kToolSnapper) may
  // be made now; the script goes on once they are ready. The preparations
  // run in tool-number order, each waking the key wait once.
  void ready(int tool);
  // Records a Snapshot of the workspace.
  void snapshot();
  // Runs a check of the test's own at this point, unless the user waited.
  void check(std::function<void(Workspace&)> check);
};

enum class MaskFile { None, Saved, Unreadable };

struct OrderRow {
  const char* name;
  MaskFile maskFile;
  // The user's input and the points where engines become ready; Escape and
  // "No" to "Save?" follow.
  void (*script)(Script& script);
  // The console after the banner, "{help}" standing for the help text and
  // "{mask}" for the mask file's path.
  std::string console;
  // Whether the run, its snapshots compared, must end as a run in which the
  // user waited for every engine before the first input.
  bool sameAsWaiting;
  // Whether the session ends before the engines are ready.
  bool endsEarly = false;
};

std::string expand(std::string text, const std::string& mask) {
  for (const auto& [name, value] :
       {std::pair<std::string, std::string>{"{help}", helpText()},
        std::pair<std::string, std::string>{"{mask}", mask}}) {
    for (size_t at = text.find(name); at != std::string::npos;
         at = text.find(name, at + value.size()))
      text.replace(at, name.size(), value);
  }
  return text;
}

class StartUpOrderTest : public testing::TestWithParam<OrderRow> {
 public:
  ~StartUpOrderTest() override { endPreparations(); }

  // Lets every preparation of an earlier run through and waits for it.
  void endPreparations() {
    for (auto& gate : gates_)
      if (gate) gate->openNow();
    awaitPreparations();
  }

  // One session over the photo: the row's script, Escape, "Save?" No.
  // With `waiting`, every engine is ready before the first input.
  void run(bool waiting) {
    endPreparations();
    gates_ = {std::make_shared<Gate>(), std::make_shared<Gate>()};
    snapshots_.clear();
    console_.str("");
    windows_ = std::make_unique<ScriptedWindowSystem>();
    windows_->setImpatient(true);
    Script script{*windows_, console_, *this, waiting};
    if (waiting) script.ready(kToolSnapper);
    GetParam().script(script);
    windows_->pushKey(kKeyEscape);
    if (GetParam().maskFile == MaskFile::Saved) windows_->pushAnswer(true);
    windows_->pushAnswer(false);  // "Save?"

    HeldInput input(*windows_);
    auto workspace = std::make_unique<Workspace>(input, console_);
    input.holdFor(workspace.get());
    workspace_ = workspace.get();
    workspace->image = testPhoto();
    workspace->labelListPath = folder_ + "/label_list.txt";
    installTools(*workspace);
    workspace->tools[kToolScissors] =
        std::make_unique<GatedTool<ScissorTool>>(gates_[0]);
    workspace->tools[kToolSnapper] =
        std::make_unique<GatedTool<SnapperTool>>(gates_[1]);
    {
      StartUp starting(*workspace, photoPath());
      while (runKeyLoop(*workspace, &starting) != CommandResult::Quit) {
      }
      shutDown(*workspace);
    }
    workspace.reset();
    workspace_ = nullptr;
  }

  std::string photoPath() const { return folder_ + "/photo.png"; }
  std::string maskPath() const { return photoPath() + "_Mask.png"; }

  void openGate(int tool) { gates_[tool]->openNow(); }
  bool gatePassed(int tool) { return gates_[tool]->wasPassed(); }
  Workspace& workspace() { return *workspace_; }
  void takeSnapshot() {
    Snapshot shot;
    shot.mask = workspace_->mask.clone();
    const auto& scissors =
        static_cast<const ScissorTool&>(*workspace_->tools[kToolScissors]);
    if (scissors.scissor() != nullptr)
      for (const Contour& contour : scissors.scissor()->contours())
        shot.contours.push_back(contour.points);
    const auto& snapper =
        static_cast<const SnapperTool&>(*workspace_->tools[kToolSnapper]);
    shot.superpixelLabels = snapper.snapper()->superpixelLabels;
    shot.undoSteps = workspace_->history.undoCount();
    snapshots_.push_back(std::move(shot));
  }

 protected:
  void SetUp() override {
    std::ofstream(folder_ + "/label_list.txt") << "3\na\nb\nc\n";
    ASSERT_TRUE(cv::imwrite(photoPath(), testPhoto()));
    switch (GetParam().maskFile) {
      case MaskFile::None:
        break;
      case MaskFile::Saved:
        ASSERT_TRUE(cv::imwrite(maskPath(), cv::Mat::zeros(60, 80, CV_8UC3)));
        break;
      case MaskFile::Unreadable:
        std::ofstream(maskPath()) << "not a PNG";
        break;
    }
  }

  TempFolder temp_{"scribeline-startup-order"};
  std::string folder_ = temp_.path();
  std::vector<std::shared_ptr<Gate>> gates_;
  std::unique_ptr<ScriptedWindowSystem> windows_;
  std::ostringstream console_;
  Workspace* workspace_ = nullptr;

 public:
  std::vector<Snapshot> snapshots_;
};

void Script::ready(int tool) {
  windows.pushAction([this, tool] {
    for (int each = kToolScissors; each <= tool; ++each) test.openGate(each);
  });
  windows.pushWaitForWakes(tool + 1);
}

void Script::snapshot() {
  windows.pushAction([this] { test.takeSnapshot(); });
}

void Script::check(std::function<void(Workspace&)> check) {
  if (waited) return;
  windows.pushAction([this, check] { check(test.workspace()); });
}

const cv::Point kCorners[] = {{10, 15}, {29, 15}, {29, 34}, {10, 34}};

const OrderRow kRows[] = {
    {"QuestionsAndThePhotoComeBeforeTheEngines", MaskFile::Saved,
     [](Script& s) {
       s.check([&s](Workspace& workspace) {
         ASSERT_EQ(s.windows.questions().size(), 1u);
         EXPECT_EQ(s.windows.questions()[0].title, "Load?");
         EXPECT_EQ(s.console.str(), "Over-segmenting.... ");
         const auto& scissors =
             static_cast<const ScissorTool&>(*workspace.tools[kToolScissors]);
         EXPECT_EQ(scissors.scissor(), nullptr);
         // The photo, then again with the mask loaded.
         EXPECT_EQ(s.windows.showCount(kMainWindow), 2);
         EXPECT_TRUE(s.windows.isOpen(kToolboxWindow));
         EXPECT_TRUE(s.windows.isOpen(kMaskWindow));  // the mask loaded
       });
       s.ready(kToolSnapper);
     },
     "Over-segmenting.... DONE\n\n{help}\n\nCurrent Tool = iScissor\n"
     "Exiting ...\nBye Bye :)\n",
     false},
    {"KeysAreAnsweredWhileTheEnginesArePrepared", MaskFile::None,
     [](Script& s) {
       s.windows.pushKeys("2..u");
       s.ready(kToolSnapper);
     },
     "Over-segmenting.... Current Tool = pen\ncurrent pen radius = 4\n"
     "current pen radius = 5\nDONE\n\n{help}\n\nCurrent Tool = pen\n"
     "Exiting ...\nBye Bye :)\n",
     false},
    {"LinesOfTheMaskStepKeepTheirPlaceAfterDone", MaskFile::Unreadable,
     [](Script& s) {
       s.windows.pushKey('2');
       s.ready(kToolSnapper);
     },
     "Over-segmenting.... Current Tool = pen\nDONE\n\nThe mask file {mask} "
     "was set aside (it cannot be read): a save will replace it, keeping it "
     "as {mask}~\n{help}\n\nCurrent Tool = pen\nExiting ...\nBye Bye :)\n",
     false},
    {"EscapeEndsTheSessionBeforeTheEngines", MaskFile::None,
     [](Script& s) { s.windows.pushKey('2'); },
     "Over-segmenting.... Current Tool = pen\nExiting ...\nBye Bye :)\n", false,
     true},
    // "n" before the engine is ready waits inside the tool; the presses after
    // it, the finishing keys and the undo wait in order behind it.
    {"ScissorsUsedEarlyGiveTheContoursOfAUserWhoWaited", MaskFile::None,
     [](Script& s) {
       s.windows.pushKey('n');
       for (const cv::Point corner : kCorners) {
         s.windows.pushMove(kMainWindow, corner.x, corner.y);
         s.windows.pushClick(kMainWindow, corner.x, corner.y);
       }
       s.windows.pushKey(kKeyCtrlEnter);
       s.windows.pushKey('N');
       s.check([&s](Workspace& workspace) {
         EXPECT_TRUE(s.windows.busy());
         EXPECT_EQ(cv::countNonZero(workspace.mask.reshape(1)), 0);
       });
       s.ready(kToolScissors);
       s.ready(kToolSnapper);
       s.snapshot();
       s.windows.pushKey(kKeyUndo);
       s.snapshot();
     },
     "Over-segmenting.... DONE\n\n{help}\n\nCurrent Tool = iScissor\n"
     "Exiting ...\nBye Bye :)\n",
     true},
    // The stroke shows before the model is ready; its solve waits, and the
    // tool switch after it waits behind the solve.
    {"StrokeDrawnEarlyIsShownThenSolvedAsForAUserWhoWaited", MaskFile::None,
     [](Script& s) {
       s.windows.pushKey('1');
       s.windows.pushClick(kToolboxWindow, 60, 1 * 20 + 5);
       s.windows.pushDrag(kMainWindow, {{5, 40}, {20, 45}, {35, 50}});
       s.check([&s](Workspace& workspace) {
         EXPECT_TRUE(s.windows.busy());
         EXPECT_FALSE(s.windows.isOpen(kMaskWindow));  // not solved yet
         // The stroke shows in label 1's colour on the main view, which the
         // window's 1920 x 1200 picture area shows enlarged.
         const cv::Mat shown = s.windows.lastShown(kMainWindow);
         const cv::Point middle = workspace.views.main.toWindowCentre({20, 45});
         const cv::Scalar colour = labelColor(1);
         EXPECT_EQ(shown.at<cv::Vec3b>(middle),
                   cv::Vec3b(colour[0], colour[1], colour[2]));
       });
       s.windows.pushKey('2');
       s.ready(kToolSnapper);
       s.windows.pushKey('1');
       s.windows.pushClick(kToolboxWindow, 60, 2 * 20 + 5);
       s.windows.pushDrag(kMainWindow, {{75, 10}, {60, 20}, {45, 30}});
       s.snapshot();
     },
     "Over-segmenting.... Current Tool = lSnapper\nDONE\n\n{help}\n\n"
     "Current Tool = lSnapper\nCurrent Tool = pen\nCurrent Tool = lSnapper\n"
     "Exiting ...\nBye Bye :)\n",
     true},
};

TEST_P(StartUpOrderTest, ConsoleAndWorkFollowTheOrderOfStartUp) {
  const OrderRow& row = GetParam();
  run(false);
  EXPECT_EQ(console_.str(), expand(row.console, maskPath()));
  EXPECT_EQ(windows_->pendingInputs(), 0u);
  EXPECT_EQ(windows_->droppedMouseEvents(), 0);
  EXPECT_FALSE(windows_->busy());
  if (row.endsEarly) {
    // The session's objects are gone: a preparation under way finishes on
    // its own data, the one not begun (the snapper's, after the scissors')
    // never runs.
    openGate(kToolScissors);
    openGate(kToolSnapper);
    awaitPreparations();
    EXPECT_FALSE(gatePassed(kToolSnapper));
    EXPECT_EQ(preparationsUnderWay(), 0);
  }
  if (!row.sameAsWaiting) return;
  const std::vector<Snapshot> early = snapshots_;
  run(true);
  ASSERT_EQ(early.size(), snapshots_.size());
  for (size_t i = 0; i < early.size(); ++i) {
    const Snapshot& a = early[i];
    const Snapshot& b = snapshots_[i];
    ASSERT_EQ(a.mask.size(), b.mask.size()) << "snapshot " << i;
    EXPECT_EQ(cv::norm(a.mask, b.mask, cv::NORM_INF), 0) << "snapshot " << i;
    EXPECT_EQ(a.contours, b.contours) << "snapshot " << i;
    EXPECT_EQ(a.superpixelLabels, b.superpixelLabels) << "snapshot " << i;
    EXPECT_EQ(a.undoSteps, b.undoSteps) << "snapshot " << i;
  }
}

// A tool whose waiting for its engine the test sets.
class WaitingTool : public Tool {
 public:
  bool waitsForEngine() const override { return waits; }
  bool waits = false;
};

TEST(HeldInputTest, HoldsInputInOrderWhileAToolWaitsAndEscapeCutsThrough) {
  ScriptedWindowSystem windows;
  windows.setImpatient(true);
  std::ostringstream console;
  HeldInput input(windows);
  Workspace workspace(input, console);
  auto owned = std::make_unique<WaitingTool>();
  WaitingTool& tool = *owned;
  workspace.tools[kToolScissors] = std::move(owned);
  input.holdFor(&workspace);
  std::string seen;
  input.createWindow("A", WindowMode::FreeScale);
  input.createWindow("B", WindowMode::FreeScale);
  input.setMouseHandler("A", [&](int event, int x, int, int) {
    seen += "A" + std::to_string(event) + " ";
    if (x == 1) tool.waits = true;  // the tool took work for later
  });
  input.setMouseHandler("B", [&](int event, int, int, int) {
    seen += "B" + std::to_string(event) + " ";
  });
  windows.pushMove("A", 1, 0);
  windows.pushMove("B", 0, 0);
  windows.pushKey('k');
  windows.pushMouse("A", kLeftButtonDown, 0, 0, kMouseFlagLeftButton);
  windows.pushAction([&] {
    tool.waits = false;  // its engine is ready
    input.wake();
  });
  windows.pushWaitForWakes(1);
  windows.pushKey('z');

  EXPECT_EQ(input.waitKey(), kNoKey);
  EXPECT_EQ(seen, "A0 ");
  EXPECT_TRUE(windows.busy());
  EXPECT_EQ(input.waitKey(), 'k');  // after the move held before it
  EXPECT_EQ(seen, "A0 B0 ");
  EXPECT_TRUE(windows.busy());  // the press is still held
  EXPECT_EQ(input.waitKey(), 'z');
  EXPECT_EQ(seen, "A0 B0 A1 ");
  EXPECT_FALSE(windows.busy());

  tool.waits = true;
  windows.pushKey('q');
  windows.pushKey(kKeyEscape);
  windows.pushKey('w');
  EXPECT_EQ(input.waitKey(), kKeyEscape);  // 'q' dropped
  EXPECT_FALSE(windows.busy());
  EXPECT_EQ(input.waitKey(), 'w');  // nothing is held once the session ends

  // The end was cancelled ("Save?" put aside): input is held again while
  // the tool waits.
  input.resume();
  windows.pushKey('r');
  windows.pushAction([&] {
    tool.waits = false;
    input.wake();
  });
  windows.pushWaitForWakes(2);
  EXPECT_EQ(input.waitKey(), kNoKey);
  EXPECT_EQ(input.waitKey(), 'r');
}

INSTANTIATE_TEST_SUITE_P(Rows, StartUpOrderTest, testing::ValuesIn(kRows),
                         [](const testing::TestParamInfo<OrderRow>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace scribeline
