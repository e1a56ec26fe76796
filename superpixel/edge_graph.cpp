#include "superpixel/edge_graph.h"

#include "superpixel/edge_visit.h"

namespace scribeline {

std::size_t edgeCount(int width, int height) {
  if (width <= 0 || height <= 0) {
    return 0;
  }
  const std::size_t w = static_cast<std::size_t>(width);
  const std::size_t h = static_cast<std::size_t>(height);
  return (w - 1) * h + w * (h - 1) + 2 * (w - 1) * (h - 1);
}

EdgeList buildEdges(const FloatImage& r, const FloatImage& g,
                    const FloatImage& b) {
  const int width = r.width();
  const int height = r.height();
  EdgeList list;
  list.edges = allocateLarge<Edge>(4 * static_cast<std::size_t>(width) *
                                   static_cast<std::size_t>(height));
  Edge* out = list.edges.get();
  forEachEdge(r, g, b, [&out](int first, int second, float w, EdgeDirection) {
    *out++ = Edge{w, first, second};
  });
  list.count = static_cast<std::size_t>(out - list.edges.get());
  return list;
}

}  // namespace scribeline
