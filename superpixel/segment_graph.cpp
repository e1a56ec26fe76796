#include "superpixel/segment_graph.h"

#include <memory>
#include <vector>

#include "superpixel/edge_sort.h"

namespace scribeline {

DisjointSet segmentGraph(int numVertices, std::size_t numEdges, Edge* edges, float k) {
    sortEdgesByWeight(edges, numEdges);
    DisjointSet components(numVertices);
    std::unique_ptr<float[]> threshold(new float[static_cast<std::size_t>(numVertices)]);
    std::fill(threshold.get(), threshold.get() + numVertices, k / 1.0f);
    for (std::size_t i = 0; i < numEdges; ++i) {
        const Edge& edge = edges[i];
        const int a = components.find(edge.a);
        const int b = components.find(edge.b);
        if (a != b && edge.w <= threshold[a] && edge.w <= threshold[b]) {
            components.join(a, b);
            const int root = components.find(a);
            threshold[root] = edge.w + k / static_cast<float>(components.size(root));
        }
    }
    return components;
}

void mergeSmallComponents(DisjointSet& components, const Edge* edges, std::size_t numEdges, int minSize) {
    for (std::size_t i = 0; i < numEdges; ++i) {
        const int a = components.find(edges[i].a);
        const int b = components.find(edges[i].b);
        if (a != b && (components.size(a) < minSize || components.size(b) < minSize)) {
            components.join(a, b);
        }
    }
}

void numberComponents(DisjointSet& components, int numElements, int* map) {
    // Marks every root with 1, then replaces the marks by 1, 2, ... in
    // increasing index order; 0 stays for non-roots.
    std::vector<int> number(static_cast<std::size_t>(numElements), 0);
    for (int i = 0; i < numElements; ++i) {
        number[components.find(i)] = 1;
    }
    int next = 1;
    for (int i = 0; i < numElements; ++i) {
        if (number[i] == 1) {
            number[i] = next++;
        }
    }
    for (int i = 0; i < numElements; ++i) {
        map[i] = number[components.find(i)] - 1;
    }
}

}  // namespace scribeline
