#include "app/toolbox.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <opencv2/imgproc.hpp>

#include "canvas/window_views.h"
#include "palette/palette.h"

namespace scribeline {
namespace {

// A name is read into a buffer of this many characters: at most one less is
// kept, and a longer line fails the stream.
constexpr std::streamsize kNameBufferSize = 255;

void dropCarriageReturn(std::string& line) {
  if (!line.empty() && line.back() == '\r') line.pop_back();
}

void putToolboxText(cv::Mat& picture, const std::string& text, int x, int y,
                    const cv::Scalar& colour) {
  cv::putText(picture, text, cv::Point(x, y), cv::FONT_HERSHEY_PLAIN, 1.0,
              colour, 1, cv::LINE_8);
}

}  // namespace

std::vector<std::string> readLabelNames(std::istream& in) {
  std::vector<std::string> names;
  int count = 0;
  if (!(in >> count)) return names;
  std::array<char, kNameBufferSize> line{};
  in.getline(line.data(), kNameBufferSize);  // rest of the count line
  const unsigned wanted =
      std::min(static_cast<unsigned>(count), static_cast<unsigned>(numLabels));
  for (unsigned label = 0; label < wanted; ++label) {
    // A failed stream reads nothing: the row gets an empty name.
    line[0] = '\0';
    in.getline(line.data(), kNameBufferSize);
    names.emplace_back(line.data());
    dropCarriageReturn(names.back());
  }
  return names;
}

std::vector<std::string> readLabelNames(const std::string& path) {
  std::ifstream in(path);
  if (!in) return {};
  return readLabelNames(in);
}

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
  renderToolbox(workspace.toolboxImage, workspace.currentLabel,
                readLabelNames(workspace.labelListPath));
  placeToolbox(workspace);
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
  drawToolbox(workspace);
  workspace.windows.setMouseHandler(kToolboxWindow,
                                    [&workspace](int event, int x, int y, int) {
                                      onToolboxMouse(workspace, event, x, y);
                                    });
  workspace.windows.showImage(kToolboxWindow, workspace.toolboxImage);
}

}  // namespace scribeline
