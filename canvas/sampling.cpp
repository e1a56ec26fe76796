#include "canvas/sampling.h"

#include <algorithm>

namespace scribeline {

cv::Rect prepareView(const Viewport& view, std::vector<int>& columns,
                     std::vector<int>& rows, cv::Mat& picture) {
  const cv::Size window = view.windowSize();
  picture.create(window, CV_8UC3);
  columns.resize(window.width);
  rows.resize(window.height);
  for (int x = 0; x < window.width; ++x) columns[x] = view.toPhoto({x, 0}).x;
  for (int y = 0; y < window.height; ++y) rows[y] = view.toPhoto({0, y}).y;
  const cv::Rect inside = view.photoArea() & cv::Rect({0, 0}, window);
  if (inside.size() != window) picture.setTo(kSurroundColour);
  return inside;
}

cv::Rect renderNearest(const cv::Mat& source, const Viewport& view,
                       std::vector<int>& columns, std::vector<int>& rows,
                       cv::Mat& picture) {
  CV_Assert(source.type() == CV_8UC3 && source.size() == view.photoSize());
  const cv::Rect inside = prepareView(view, columns, rows, picture);
  if (inside.empty()) return inside;
  cv::Mat part = picture(inside);
  samplePixels(source, columns, rows, inside, part);
  return inside;
}

void samplePixels(const cv::Mat& source, const std::vector<int>& columns,
                  const std::vector<int>& rows, const cv::Rect& inside,
                  cv::Mat& out, cv::Point origin) {
  out.create(inside.size(), CV_8UC3);
  const int* column = columns.data() + inside.x;
  const int first = column[0] - origin.x;
  // One to one: whole rows at once.
  const bool rowCopies =
      column[inside.width - 1] - column[0] == inside.width - 1;
  for (int y = 0; y < inside.height; ++y) {
    const cv::Vec3b* from =
        source.ptr<cv::Vec3b>(rows[inside.y + y] - origin.y);
    cv::Vec3b* to = out.ptr<cv::Vec3b>(y);
    if (rowCopies) {
      std::copy(from + first, from + first + inside.width, to);
      continue;
    }
    for (int x = 0; x < inside.width; ++x) to[x] = from[column[x] - origin.x];
  }
}

}  // namespace scribeline
