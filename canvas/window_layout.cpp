#include "canvas/window_layout.h"

#include <algorithm>
#include <vector>

namespace scribeline {

namespace {

cv::Rect frameOf(const ScreenLayout& layout, const cv::Rect& picture) {
  return {picture.x - layout.decoration.width,
          picture.y - layout.decoration.height,
          picture.width + layout.decoration.width,
          picture.height + layout.decoration.height};
}

// The picture area of a frame placed at the top-left of `room`, at most
// `wanted` large; empty when not even one pixel fits.
cv::Rect pictureIn(const ScreenLayout& layout, const cv::Rect& room,
                   cv::Size wanted) {
  const int width =
      std::min(wanted.width, room.width - layout.decoration.width);
  const int height =
      std::min(wanted.height, room.height - layout.decoration.height);
  if (width <= 0 || height <= 0) return {};
  return {room.x + layout.decoration.width, room.y + layout.decoration.height,
          width, height};
}

}  // namespace

cv::Rect toolboxFrame(const ScreenLayout& layout) {
  const cv::Point at = layout.freeArea.tl();
  return frameOf(
      layout, {at.x + layout.decoration.width, at.y + layout.decoration.height,
               layout.toolboxPicture.width, layout.toolboxPicture.height});
}

cv::Rect mainPicture(const ScreenLayout& layout, cv::Size photo,
                     WindowMode mode) {
  const cv::Rect toolbox = toolboxFrame(layout);
  const cv::Rect& free = layout.freeArea;
  const int left = toolbox.x + toolbox.width + kWindowGap;
  const cv::Rect room(left, free.y, std::max(1, free.x + free.width - left),
                      free.height);
  const cv::Size fits(std::max(1, room.width - layout.decoration.width),
                      std::max(1, room.height - layout.decoration.height));
  cv::Size size(std::min(photo.width, fits.width),
                std::min(photo.height, fits.height));
  if (mode == WindowMode::FreeScale) {
    const double scale =
        std::min({1.0, static_cast<double>(fits.width) / photo.width,
                  static_cast<double>(fits.height) / photo.height});
    size = cv::Size(std::max(1, static_cast<int>(photo.width * scale)),
                    std::max(1, static_cast<int>(photo.height * scale)));
  }
  return {room.x + layout.decoration.width, room.y + layout.decoration.height,
          size.width, size.height};
}

cv::Rect maskPicture(const ScreenLayout& layout, const cv::Rect& mainPicture,
                     cv::Size wanted, cv::Point workPoint) {
  const cv::Rect& free = layout.freeArea;
  const cv::Rect main = frameOf(layout, mainPicture);
  const cv::Rect toolbox = toolboxFrame(layout);
  const int freeRight = free.x + free.width, freeBottom = free.y + free.height;
  const int mainRight = main.x + main.width + kWindowGap;
  const int mainBottom = main.y + main.height + kWindowGap;
  const int toolboxBottom = toolbox.y + toolbox.height + kWindowGap;
  // Right of the main window, below it, and below the toolbox.
  const std::vector<cv::Rect> rooms = {
      {mainRight, free.y, freeRight - mainRight, free.height},
      {main.x, mainBottom, freeRight - main.x, freeBottom - mainBottom},
      {free.x, toolboxBottom, main.x - kWindowGap - free.x,
       freeBottom - toolboxBottom}};
  cv::Rect best;
  for (const cv::Rect& room : rooms) {
    const cv::Rect picture = pictureIn(layout, room, wanted);
    if (picture.area() > best.area()) best = picture;
  }
  if (best.width >= std::min(wanted.width, kSmallestMaskPicture.width) &&
      best.height >= std::min(wanted.height, kSmallestMaskPicture.height))
    return best;
  // No room: the half of the main picture away from the work, the side
  // halves when the picture is wider than high.
  cv::Rect half = mainPicture;
  if (mainPicture.width >= mainPicture.height) {
    half.width = mainPicture.width / 2;
    if (workPoint.x < mainPicture.x + half.width)
      half.x = mainPicture.x + mainPicture.width - half.width;
  } else {
    half.height = mainPicture.height / 2;
    if (workPoint.y < mainPicture.y + half.height)
      half.y = mainPicture.y + mainPicture.height - half.height;
  }
  half.width = std::max(1, std::min(half.width, wanted.width));
  half.height = std::max(1, std::min(half.height, wanted.height));
  return half;
}

cv::Point frameTopLeft(const ScreenLayout& layout, const cv::Rect& picture) {
  return frameOf(layout, picture).tl();
}

}  // namespace scribeline
