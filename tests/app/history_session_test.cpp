// Undo and redo through the keys, over the real tools in a whole workspace on
// the scripted window system: sequences of pen drags, "n", "N", lazy-snapping
// strokes, Backspace, undo, redo and new changes after undo, checked after
// every action against the masks, stroke lists and superpixel labellings
// recorded along the way.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include <opencv2/imgcodecs.hpp>

#include "app/commands.h"
#include "app/photo_autosave.h"
#include "app/session.h"
#include "app/tools.h"
#include "canvas/mask_steps.h"
#include "canvas/workspace.h"
#include "snapping/snapper_tool.h"
#include "tests/support/temp_folder.h"
#include "ui/scripted_window_system.h"

namespace scribeline {
namespace {

constexpr int kWidth = 96, kHeight = 72;

// Four flat quadrants and a bright disc, so that strokes, contours and solves
// all have edges to follow.
cv::Mat quadrantPhoto() {
  cv::Mat image(kHeight, kWidth, CV_8UC3);
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x)
      image.at<cv::Vec3b>(y, x) =
          cv::Vec3b(x < kWidth / 2 ? 200 : 20, y < kHeight / 2 ? 40 : 180, 90);
  for (int y = 26; y < 46; ++y)
    for (int x = 38; x < 58; ++x)
      if ((x - 48) * (x - 48) + (y - 36) * (y - 36) < 64)
        image.at<cv::Vec3b>(y, x) = cv::Vec3b(250, 250, 250);
  return image;
}

struct State {
  cv::Mat mask;
  LabelStrokes strokes;
  std::vector<int> labels;
};

class HistorySessionTest : public testing::Test {
 protected:
  void SetUp() override {
    workspace.image = quadrantPhoto();
    workspace.labelListPath = "no_such_label_list.txt";
    installTools(workspace);
    startUp(workspace, "no_such_photo.png");
    snapper = dynamic_cast<SnapperTool*>(workspace.tools[kToolSnapper].get());
    ASSERT_NE(snapper, nullptr);
    // One closed contour for "n" and "N" to write.
    press({10, 10});
    press({80, 12});
    press({70, 60});
    runCommand(workspace, '\n');
  }

  const LSnapper& engine() const { return *snapper->snapper(); }
  State now() const {
    return {workspace.mask.clone(), engine().labelStrokes,
            engine().superpixelLabels};
  }
  void press(cv::Point at) {
    windows.sendMouse(kMainWindow, kLeftButtonDown, at.x, at.y,
                      kMouseFlagLeftButton);
    windows.sendMouse(kMainWindow, kLeftButtonUp, at.x, at.y, 0);
  }
  void pick(int label) {
    workspace.currentLabel = label;
    for (auto& tool : workspace.tools) tool->onLabelPicked(workspace);
  }
  void drag(const std::vector<cv::Point>& path) {
    windows.sendMouse(kMainWindow, kLeftButtonDown, path[0].x, path[0].y,
                      kMouseFlagLeftButton);
    for (size_t k = 1; k < path.size(); ++k)
      windows.sendMouse(kMainWindow, kMouseMove, path[k].x, path[k].y,
                        kMouseFlagLeftButton);
    windows.sendMouse(kMainWindow, kLeftButtonUp, path.back().x, path.back().y,
                      0);
  }

  ScriptedWindowSystem windows;
  std::ostringstream console;
  Workspace workspace{windows, console};
  SnapperTool* snapper = nullptr;
};

bool sameState(const State& a, const State& b) {
  return cv::countNonZero(a.mask.reshape(1) != b.mask.reshape(1)) == 0 &&
         a.strokes == b.strokes && a.labels == b.labels;
}

struct Sequence {
  const char* name;
  std::vector<std::string> actions;
};

// Actions: "pen<label>" a pen drag, "stroke<label>" a lazy-snapping stroke,
// "back<label>" Backspace in lSnapper with that label picked, "n", "N",
// "undo", "redo". Every step of the model is a change of the mask; strokes
// and Backspace are steps also when the mask stays the same. The autosave,
// told of each step's area only, holds the mask after every action.
TEST_F(HistorySessionTest, SequencesMatchTheStatesRecordedAlongTheWay) {
  const TempFolder folder("scribeline-history-autosave");
  PhotoAutosave autosave(workspace, folder.path() + "/photo.png",
                         [](const std::string&) {});
  const std::vector<Sequence> sequences = {
      {"pen undo redo",
       {"pen3", "pen5", "undo", "undo", "undo", "redo", "redo", "redo"}},
      {"n and N over pen work",
       {"pen4", "n", "pen2", "N", "undo", "undo", "undo", "redo", "N"}},
      {"strokes and their solves",
       {"stroke1", "stroke2", "stroke1", "undo", "undo", "redo", "stroke3",
        "redo", "undo", "undo", "undo", "redo"}},
      {"Backspace as a step",
       {"stroke1", "stroke2", "back2", "back2", "undo", "undo", "redo", "back1",
        "undo", "stroke2"}},
      {"everything mixed",
       {"pen6", "stroke1", "N",       "stroke2", "pen1", "back2",
        "undo", "undo",    "n",       "undo",    "undo", "undo",
        "redo", "redo",    "stroke4", "undo",    "undo", "undo",
        "undo", "undo",    "undo",    "redo"}},
  };
  int drags = 0;
  for (const Sequence& sequence : sequences) {
    SCOPED_TRACE(sequence.name);
    // Each sequence starts from what the one before it left, with a history
    // of its own.
    startMaskHistory(workspace);
    std::vector<State> states = {now()};
    size_t position = 0;
    for (size_t a = 0; a < sequence.actions.size(); ++a) {
      const std::string& action = sequence.actions[a];
      bool step = false;
      if (action == "undo" || action == "redo") {
        runCommand(workspace, action == "undo" ? kKeyUndo : kKeyRedo);
        if (action == "undo" && position > 0) --position;
        if (action == "redo" && position + 1 < states.size()) ++position;
      } else if (action == "n" || action == "N") {
        runCommand(workspace, action[0]);
        step = cv::countNonZero(workspace.mask.reshape(1) !=
                                states[position].mask.reshape(1)) > 0;
      } else {
        const int label =
            std::stoi(action.substr(action.find_first_of("0123456789")));
        pick(label);
        ++drags;
        const int shift = 7 * (drags % 5);
        if (action.rfind("pen", 0) == 0) {
          runCommand(workspace, '2');
          drag({{5 + shift, 60}, {40 + shift, 20 + shift}, {90, 30}});
          step = cv::countNonZero(workspace.mask.reshape(1) !=
                                  states[position].mask.reshape(1)) > 0;
        } else if (action.rfind("stroke", 0) == 0) {
          runCommand(workspace, '1');
          drag({{4 + 2 * shift, 5 + shift}, {30 + shift, 40}});
          step = true;
        } else {
          runCommand(workspace, '1');
          step = !engine().labelStrokes[label].empty();
          runCommand(workspace, '\b');
        }
      }
      if (step) {
        states.resize(position + 1);
        states.push_back(now());
        ++position;
      }
      ASSERT_TRUE(sameState(now(), states[position]))
          << "after action " << a << " (" << action << ")";
      autosave.keep();
      ASSERT_EQ(cv::norm(cv::imread(autosave.path(), cv::IMREAD_COLOR),
                         workspace.mask, cv::NORM_INF),
                0)
          << "after action " << a << " (" << action << ")";
      ASSERT_EQ(workspace.history.undoCount(), position);
      ASSERT_EQ(workspace.history.redoCount(), states.size() - 1 - position);
      // The "Mask" window, once open, shows every state.
      if (windows.isOpen(kMaskWindow)) {
        ASSERT_EQ(cv::norm(windows.lastShown(kMaskWindow), workspace.mask,
                           cv::NORM_INF),
                  0)
            << "after action " << a << " (" << action << ")";
      }
    }
  }
}

// The stroke lists through undo and redo of lazy-snapping steps: an undone
// solve takes its stroke back, an undone Backspace puts its stroke back in
// its place, and a new stroke after an undo drops the undone ones for good.
// (Each solve's labelling is checked by the sequences above.)
TEST_F(HistorySessionTest, StrokeListsFollowUndoAndRedo) {
  runCommand(workspace, '1');
  const Stroke first{{5, 5}, {40, 30}, {40, 30}};
  const Stroke second{{90, 70}, {55, 40}, {55, 40}};
  const Stroke third{{90, 5}, {60, 30}, {60, 30}};
  const Stroke fourth{{5, 70}, {40, 45}, {40, 45}};
  auto strokesOf = [&](int label) { return engine().labelStrokes[label]; };
  pick(1);
  drag({first[0], first[1]});
  drag({second[0], second[1]});
  pick(2);
  drag({third[0], third[1]});
  pick(1);
  runCommand(workspace, '\b');  // takes `second` away
  ASSERT_EQ(strokesOf(1), std::vector<Stroke>{first});

  runCommand(workspace, kKeyUndo);  // the Backspace: `second` is back
  EXPECT_EQ(strokesOf(1), (std::vector<Stroke>{first, second}));
  runCommand(workspace, kKeyUndo);  // the third stroke's solve
  EXPECT_TRUE(strokesOf(2).empty());
  runCommand(workspace, kKeyRedo);
  EXPECT_EQ(strokesOf(2), std::vector<Stroke>{third});
  runCommand(workspace, kKeyUndo);
  runCommand(workspace, kKeyUndo);  // the second stroke's solve
  EXPECT_EQ(strokesOf(1), std::vector<Stroke>{first});

  pick(4);
  drag({fourth[0], fourth[1]});
  EXPECT_EQ(workspace.history.redoCount(), 0u);
  runCommand(workspace, kKeyRedo);  // nothing left to redo
  EXPECT_EQ(strokesOf(1), std::vector<Stroke>{first});
  EXPECT_TRUE(strokesOf(2).empty());
  EXPECT_EQ(strokesOf(4), std::vector<Stroke>{fourth});
  // Backspace works on the lists as they are now.
  runCommand(workspace, '\b');
  EXPECT_TRUE(strokesOf(4).empty());
}

}  // namespace
}  // namespace scribeline
