#include "superpixel/edge_graph.h"

#include <cmath>

namespace scribeline {

namespace {

struct Planes {
    const FloatImage& r;
    const FloatImage& g;
    const FloatImage& b;
};

inline float colourDistance(const Planes& planes, int y1, int x1, int y2, int x2) {
    const double dr = static_cast<double>(planes.r.at(y1, x1)) - planes.r.at(y2, x2);
    const double dg = static_cast<double>(planes.g.at(y1, x1)) - planes.g.at(y2, x2);
    const double db = static_cast<double>(planes.b.at(y1, x1)) - planes.b.at(y2, x2);
    return static_cast<float>(std::sqrt(dr * dr + dg * dg + db * db));
}

}  // namespace

std::size_t edgeCount(int width, int height) {
    if (width <= 0 || height <= 0) {
        return 0;
    }
    const std::size_t w = static_cast<std::size_t>(width);
    const std::size_t h = static_cast<std::size_t>(height);
    return (w - 1) * h + w * (h - 1) + 2 * (w - 1) * (h - 1);
}

EdgeList buildEdges(const FloatImage& r, const FloatImage& g, const FloatImage& b) {
    const int width = r.width();
    const int height = r.height();
    const Planes planes{r, g, b};
    EdgeList list;
    list.edges.reset(new Edge[4 * static_cast<std::size_t>(width) * static_cast<std::size_t>(height)]);
    Edge* out = list.edges.get();
    // Edges appended for pixel p, in this order:
    //            . (x+1, y-1)   4: upper-right
    //           /
    //    p ---- . (x+1, y)      1: right
    //    | `.
    //    .   . (x+1, y+1)       2: lower, 3: lower-right
    // (x, y+1)
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int p = y * width + x;
            const bool hasRight = x < width - 1;
            if (hasRight) {
                *out++ = Edge{colourDistance(planes, y, x, y, x + 1), p, p + 1};
            }
            if (y < height - 1) {
                *out++ = Edge{colourDistance(planes, y, x, y + 1, x), p, p + width};
                if (hasRight) {
                    *out++ = Edge{colourDistance(planes, y, x, y + 1, x + 1), p, p + width + 1};
                }
            }
            if (hasRight && y > 0) {
                *out++ = Edge{colourDistance(planes, y, x, y - 1, x + 1), p, p - width + 1};
            }
        }
    }
    list.count = static_cast<std::size_t>(out - list.edges.get());
    return list;
}

}  // namespace scribeline
