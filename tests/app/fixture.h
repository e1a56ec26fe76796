#pragma once

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "app/session.h"
#include "canvas/workspace.h"
#include "tests/app/await_preparations.h"
#include "tests/support/temp_folder.h"
#include "ui/scripted_window_system.h"

namespace scribeline {

// The tools of installTools that prepare their engines in the background
// (iScissor, lSnapper): each wakes the key wait once when it is done.
constexpr int kToolsPreparedInBackground = 2;

// The script goes on only once the tools of the `photo`-th photo opened
// (from 1; every earlier one left with its tools ready) are ready, as a user
// who waits for "DONE" does: the console then reads as if start-up had
// waited for the tools.
inline void pushToolsReady(ScriptedWindowSystem& windows, int photo = 1) {
  windows.pushWaitForWakes(kToolsPreparedInBackground * photo);
}

// A tool that writes every hook call into a shared log as
// "<tool number>:<hook><argument> ", and redraws on Backspace as the default
// does. The argument of leave and enter is `currentTool` at the call.
class LoggingTool : public Tool {
 public:
  LoggingTool(int number, std::string* log) : number_(number), log_(log) {}
  void onBackspace(Workspace& workspace) override {
    note("backspace");
    Tool::onBackspace(workspace);
  }
  void onEnterKey(Workspace&, int keyCode) override {
    note("enterKey" + std::to_string(keyCode));
  }
  void onLeave(Workspace& workspace) override {
    note("leave" + std::to_string(workspace.currentTool));
  }
  void onEnter(Workspace& workspace) override {
    note("enter" + std::to_string(workspace.currentTool));
  }
  void onUpdateMask(Workspace&, bool filled) override {
    note(filled ? "update1" : "update0");
  }
  void onLabelPicked(Workspace& workspace) override {
    note("picked" + std::to_string(workspace.currentLabel));
  }

 private:
  void note(const std::string& what) {
    *log_ += std::to_string(number_) + ":" + what + " ";
  }
  int number_;
  std::string* log_;
};

// A small workspace after start-up, with logging tools, a main window and a
// label list of its own in a fresh temporary folder.
class WorkspaceFixture : public testing::Test {
 protected:
  WorkspaceFixture() : workspace(windows, console) {
    workspace.image = cv::Mat(20, 30, CV_8UC3, cv::Scalar(40, 80, 120));
    workspace.mask = cv::Mat::zeros(20, 30, CV_8UC3);
    workspace.maskPath = folder + "/photo.png_Mask.png";
    workspace.labelListPath = folder + "/label_list.txt";
    // Start-up has drawn the toolbox once.
    workspace.toolboxImage = cv::Mat::zeros(500, 180, CV_8UC3);
    for (int number = 0; number < numTools; ++number)
      workspace.tools[number] = std::make_unique<LoggingTool>(number, &hookLog);
    workspace.toolsBuilt = true;
    windows.createWindow(kMainWindow, WindowMode::FreeScale);
    windows.createWindow(kToolboxWindow, WindowMode::Scale100);
    changesBefore = windows.windowChanges().size();
  }
  // The window changes since the fixture was built, as "+Name:mode" for a
  // creation and "-Name" for a destruction, blank-separated.
  std::string newWindowChanges() const {
    std::string text;
    const auto& changes = windows.windowChanges();
    for (size_t i = changesBefore; i < changes.size(); ++i) {
      const auto& change = changes[i];
      if (change.kind == ScriptedWindowSystem::WindowChange::Created)
        text += "+" + change.name + ":" +
                std::to_string(static_cast<int>(change.mode)) + " ";
      else
        text += "-" + change.name + " ";
    }
    return text;
  }

  TempFolder temp{"scribeline-test"};
  std::string folder = temp.path();
  std::string hookLog;
  ScriptedWindowSystem windows;
  std::ostringstream console;
  Workspace workspace;
  size_t changesBefore = 0;
};

}  // namespace scribeline
