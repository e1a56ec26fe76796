#pragma once

#include <cmath>

#include "superpixel/float_image.h"

namespace scribeline {

// Calls visit(a, b, w) for every edge of the 8-neighbour graph of the planes,
// in edge-list order: pixels in raster order, and for each pixel p its edge
// to the right, below, below-right and above-right when that neighbour
// exists:
//            . (x+1, y-1)   4: upper-right
//           /
//    p ---- . (x+1, y)      1: right
//    | `.
//    .   . (x+1, y+1)       2: lower, 3: lower-right
// (x, y+1)
// w is the Euclidean distance of the two (r, g, b) values, computed in double
// and rounded to float once.
// Only the pixels of rows firstRow .. endRow-1 are visited (as first end);
// visiting consecutive row ranges one after another gives the whole list.
// REQUIRES: the three planes have the same size,
// 0 <= firstRow <= endRow <= height.
template <typename Visit>
void forEachEdgeInRows(const FloatImage& r, const FloatImage& g, const FloatImage& b, int firstRow, int endRow,
                       Visit&& visit) {
    const int width = r.width();
    const int height = r.height();
    for (int y = firstRow; y < endRow; ++y) {
        const float* rows[3][3] = {};  // [plane][row above, this row, row below]
        const FloatImage* planes[3] = {&r, &g, &b};
        for (int c = 0; c < 3; ++c) {
            rows[c][0] = y > 0 ? planes[c]->row(y - 1) : nullptr;
            rows[c][1] = planes[c]->row(y);
            rows[c][2] = y < height - 1 ? planes[c]->row(y + 1) : nullptr;
        }
        const auto distance = [&rows](int x, int row, int column) {
            double sum = 0.0;
            for (int c = 0; c < 3; ++c) {
                const double difference = static_cast<double>(rows[c][1][x]) - rows[c][row][column];
                sum += difference * difference;
            }
            return static_cast<float>(std::sqrt(sum));
        };
        const bool hasBelow = y < height - 1;
        const bool hasAbove = y > 0;
        const int rowStart = y * width;
        for (int x = 0; x < width; ++x) {
            const int p = rowStart + x;
            const bool hasRight = x < width - 1;
            if (hasRight) {
                visit(p, p + 1, distance(x, 1, x + 1));
            }
            if (hasBelow) {
                visit(p, p + width, distance(x, 2, x));
                if (hasRight) {
                    visit(p, p + width + 1, distance(x, 2, x + 1));
                }
            }
            if (hasRight && hasAbove) {
                visit(p, p - width + 1, distance(x, 0, x + 1));
            }
        }
    }
}

// Every edge, in edge-list order.
template <typename Visit>
void forEachEdge(const FloatImage& r, const FloatImage& g, const FloatImage& b, Visit&& visit) {
    forEachEdgeInRows(r, g, b, 0, r.height(), visit);
}

}  // namespace scribeline
