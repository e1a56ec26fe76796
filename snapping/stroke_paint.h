#pragma once

#include <cstdlib>
#include <opencv2/core.hpp>
#include <vector>

namespace scribeline {

// A stroke of the lSnapper tool: image points (x = column, y = row) in the
// order they were drawn.
using Stroke = std::vector<cv::Point>;

// Per label, the strokes of that label in the order they were drawn.
using LabelStrokes = std::vector<std::vector<Stroke>>;

// Byte value of a stroke-map pixel that no stroke has painted.
constexpr unsigned char kUnpainted = 255;

// Calls visit(row, col) for the 21 pixels (x + dx, y + dy), dx and dy in
// -2 .. 2, except the four corners |dx| = |dy| = 2, that lie inside the
// height x width image.
template <typename Visit>
void forEachBrushPixel(int y, int x, int height, int width, Visit&& visit) {
  for (int dy = -2; dy <= 2; ++dy) {
    const int row = y + dy;
    if (row < 0 || row >= height) continue;
    for (int dx = -2; dx <= 2; ++dx) {
      if (std::abs(dx) == 2 && std::abs(dy) == 2) continue;
      const int col = x + dx;
      if (col < 0 || col >= width) continue;
      visit(row, col);
    }
  }
}

// Calls visit(point) for every point a Bresenham line from prev to cur steps
// to, cur included and prev excluded, one step along the major axis at a
// time. When |dx| = |dy| the y axis counts as major. The minor coordinate of
// step k is rounded to the nearer grid line, ties away from prev.
template <typename Visit>
void forEachLinePoint(cv::Point prev, cv::Point cur, Visit&& visit) {
  const int dx = cur.x - prev.x;
  const int dy = cur.y - prev.y;
  const int sx = dx < 0 ? -1 : 1;
  const int sy = dy < 0 ? -1 : 1;
  const int ax = 2 * std::abs(dx);
  const int ay = 2 * std::abs(dy);
  int x = prev.x;
  int y = prev.y;
  if (ax > ay) {
    int e = ay - std::abs(dx);
    while (x != cur.x) {
      if (e >= 0) {
        y += sy;
        e -= ax;
      }
      x += sx;
      e += ay;
      visit(cv::Point(x, y));
    }
  } else {
    int e = ax - std::abs(dy);
    while (y != cur.y) {
      if (e >= 0) {
        x += sx;
        e -= ay;
      }
      y += sy;
      e += ax;
      visit(cv::Point(x, y));
    }
  }
}

// Calls visit(row, col) for every pixel the brush covers along the segment
// from prev to cur (some more than once): nothing when the points are equal,
// one stamp at prev when cur is one of prev's 8 neighbours, and otherwise a
// stamp at prev and at every Bresenham step up to and including cur.
template <typename Visit>
void forEachSegmentPixel(cv::Point prev, cv::Point cur, int height, int width,
                         Visit&& visit) {
  if (cur == prev) return;
  forEachBrushPixel(prev.y, prev.x, height, width, visit);
  if (std::abs(cur.x - prev.x) <= 1 && std::abs(cur.y - prev.y) <= 1) return;
  forEachLinePoint(prev, cur, [&](cv::Point p) {
    forEachBrushPixel(p.y, p.x, height, width, visit);
  });
}

}  // namespace scribeline
