#include "superpixel/edge_sort.h"

#include <algorithm>

namespace scribeline {

void sortEdgesByWeight(Edge* edges, std::size_t count) {
    std::stable_sort(edges, edges + count, [](const Edge& lhs, const Edge& rhs) { return lhs.w < rhs.w; });
}

}  // namespace scribeline
