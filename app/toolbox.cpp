#include "app/toolbox.h"

#include <algorithm>
#include <opencv2/imgproc.hpp>

#include "canvas/window_placement.h"
#include "files/label_list.h"
#include "palette/palette.h"

namespace scribeline {
namespace {

void putToolboxText(cv::Mat& picture, const std::string& text, int x, int y,
                    const cv::Scalar& colour) {
  cv::putText(picture, text, cv::Point(x, y), cv::FONT_HERSHEY_PLAIN, 1.0,
              colour, 1, cv::LINE_8);
}

}  // namespace

void renderToolbox(cv::Mat& picture, int currentLabel,
                   const std::vector<std::string>& names) {
  if (picture.empty()) picture.create(kToolboxHeight, kToolboxWidth, CV_8UC3);
  const cv::Scalar white(255, 255, 255), red(0, 0, 255);
  constexpr int numberBlockWidth = 40;
  for (int label = 0; label < numLabels; ++label) {
    const int top = label * kToolboxRowHeight;
    const cv::Scalar colour = labelColor(label);
    picture(cv::Rect(0, top, numberBlockWidth, kToolboxRowHeight)) = white;
    picture(cv::Rect(numberBlockWidth, top, kToolboxWidth - numberBlockWidth,
                     kToolboxRowHeight)) = colour;
    putToolboxText(picture, std::to_string(label), 15, top + 15, colour);
  }
  putToolboxText(picture, ">", 1, currentLabel * kToolboxRowHeight + 15, red);
  const size_t shown = std::min(names.size(), static_cast<size_t>(numLabels));
  for (size_t label = 0; label < shown; ++label)
    putToolboxText(picture, names[label], 45,
                   static_cast<int>(label) * kToolboxRowHeight + 15, white);
}

void drawToolbox(Workspace& workspace) {
  // The list is read afresh at every drawing; a list that cannot be read is
  // named once, at the first drawing (start-up), not at every pick.
  const bool firstDrawing = workspace.toolboxImage.empty();
  const Result<std::vector<std::string>> names =
      readLabelNames(workspace.labelListPath);
  if (firstDrawing && !names.ok())
    say(workspace,
        "Scribeline: no label names, cannot read " + names.reason() + "\n");
  renderToolbox(workspace.toolboxImage, workspace.currentLabel,
                names.valueOr({}));
  placeToolbox(workspace.windows);
  workspace.windows.createWindow(kToolboxWindow, WindowMode::Scale100);
  workspace.windows.showImage(kToolboxWindow, workspace.toolboxImage);
}

void onToolboxMouse(Workspace& workspace, int event, int x, int y) {
  (void)x;  // the whole row picks its label
  if (event != kLeftButtonDown || y < 0) return;
  const int label = y / kToolboxRowHeight;
  if (label >= numLabels) return;
  workspace.currentLabel = label;
  for (auto& tool : workspace.tools)
    if (tool) tool->onLabelPicked(workspace);
  drawToolbox(workspace);
}

void openToolbox(Workspace& workspace) {
  workspace.windows.makeToolWindow(kToolboxWindow);
  drawToolbox(workspace);
  workspace.windows.setMouseHandler(kToolboxWindow,
                                    [&workspace](int event, int x, int y, int) {
                                      onToolboxMouse(workspace, event, x, y);
                                    });
  workspace.windows.showImage(kToolboxWindow, workspace.toolboxImage);
}

}  // namespace scribeline
