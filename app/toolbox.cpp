#include "app/toolbox.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <opencv2/imgproc.hpp>
#include <sstream>

#include "app/regular_file.h"
#include "canvas/window_views.h"
#include "palette/palette.h"

namespace scribeline {
namespace {

// A longer name is cut: it could not be shown in full on its row anyway.
constexpr std::size_t kMaxNameLength = 254;
// 25 names of that length and a count line fit many times over; a larger
// file is read only this far.
constexpr std::size_t kMaxListBytes = 1 << 20;

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
  std::string line;
  std::getline(in, line);  // rest of the count line
  const unsigned wanted =
      std::min(static_cast<unsigned>(count), static_cast<unsigned>(numLabels));
  for (unsigned label = 0; label < wanted; ++label) {
    // Lines missing at the end of the file give empty names.
    line.clear();
    std::getline(in, line);
    dropCarriageReturn(line);
    if (line.size() > kMaxNameLength) line.resize(kMaxNameLength);
    names.push_back(line);
  }
  return names;
}

std::vector<std::string> readLabelNames(const std::string& path,
                                        std::string* problem) {
  std::string reason;
  const int fd = openRegularFile(path, &reason);
  std::string content;
  const bool read = fd >= 0 && readUpTo(fd, kMaxListBytes, &content, &reason);
  if (fd >= 0) ::close(fd);
  if (!read) {
    // Named in full: a relative path depends on the working folder.
    std::error_code ignored;
    if (problem != nullptr)
      *problem =
          std::filesystem::absolute(path, ignored).string() + ": " + reason;
    return {};
  }
  std::istringstream in(content);
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
  // The list is read afresh at every drawing; a list that cannot be read is
  // named once, at the first drawing (start-up), not at every pick.
  const bool firstDrawing = workspace.toolboxImage.empty();
  std::string problem;
  const std::vector<std::string> names =
      readLabelNames(workspace.labelListPath, &problem);
  if (firstDrawing && !problem.empty())
    say(workspace, "Scribeline: no label names, cannot read " + problem + "\n");
  renderToolbox(workspace.toolboxImage, workspace.currentLabel, names);
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
  workspace.windows.makeToolWindow(kToolboxWindow);
  drawToolbox(workspace);
  workspace.windows.setMouseHandler(kToolboxWindow,
                                    [&workspace](int event, int x, int y, int) {
                                      onToolboxMouse(workspace, event, x, y);
                                    });
  workspace.windows.showImage(kToolboxWindow, workspace.toolboxImage);
}

}  // namespace scribeline
