#include "tests/support/reference_segmentation.h"

#include "superpixel/edge_sort.h"
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

DisjointSet segmentGraph(int numVertices, std::size_t numEdges, Edge* edges,
                         float k) {
  sortEdgesByWeight(edges, numEdges);
  // Each root's threshold is kept as its root value.
  DisjointSet components(numVertices, k / 1.0f);
  for (std::size_t i = 0; i < numEdges; ++i) {
    const Edge& edge = edges[i];
    const int a = components.find(edge.a);
    const int b = components.find(edge.b);
    if (a != b && edge.w <= components.rootValue(a) &&
        edge.w <= components.rootValue(b)) {
      const int root = components.join(a, b);
      components.setRootValue(
          root, edge.w + k / static_cast<float>(components.size(root)));
    }
  }
  return components;
}

void mergeSmallComponents(DisjointSet& components, const Edge* edges,
                          std::size_t numEdges, int minSize) {
  for (std::size_t i = 0; i < numEdges; ++i) {
    const int a = components.find(edges[i].a);
    const int b = components.find(edges[i].b);
    if (a != b &&
        (components.size(a) < minSize || components.size(b) < minSize)) {
      components.join(a, b);
    }
  }
}

}  // namespace scribeline
