// Adoption of orphans: a node cut off from its tree looks for a new parent in
// the same tree with a valid path to the terminal, preferring the shortest
// (distances validated lazily by timestamp); failing that it becomes free and
// its children become orphans in turn.
#include <new>

#include "tests/graphcut/reference/graph.h"
#include "tests/graphcut/reference/graph_chunks.h"

namespace scribeline {

using graphdetail::forEachReference;
using graphdetail::inRun;
using graphdetail::kOrphan;
using graphdetail::kTerminal;
using graphdetail::offsetNode;
using graphdetail::outRun;
using graphdetail::parentOf;
using graphdetail::tagged;
using graphdetail::untagged;

namespace {

constexpr int kInfiniteDistance = 1000000000;  // no path to the terminal

inline bool isRealArc(ForwardArc* link) {
  return link != kTerminal && link != kOrphan;
}

}  // namespace

// Distance from `node` (which has a parent) to its terminal, or
// kInfiniteDistance when the path runs into an orphan.
int Graph::distanceToTerminal(GraphNode* node) {
  int distance = 0;
  for (;;) {
    if (node->timestamp == time_) return distance + node->distance;
    ForwardArc* link = node->parent;
    ++distance;
    if (link == kTerminal) {
      node->timestamp = time_;
      node->distance = 1;
      return distance;
    }
    if (link == kOrphan) return kInfiniteDistance;
    node = parentOf(node);
  }
}

void Graph::stampPath(GraphNode* node, int distance) {
  for (; node->timestamp != time_; node = parentOf(node)) {
    node->timestamp = time_;
    node->distance = distance--;
  }
}

// In the source tree a neighbour j can adopt (or be a child of) the orphan i
// when the arc j -> i has capacity; in the sink tree when i -> j has.
template <bool kSinkTree>
void Graph::processOrphan(GraphNode* orphan) {
  ForwardArc* bestLink = nullptr;
  int bestDistance = kInfiniteDistance;
  const std::int32_t now = time_;
  auto consider = [&](GraphNode* neighbor, ForwardArc* link) {
    if ((neighbor->inSinkTree != 0) != kSinkTree || neighbor->parent == nullptr)
      return;
    int distance;
    if (neighbor->timestamp == now) {
      // Already measured in this round: its path is stamped.
      distance = neighbor->distance;
    } else {
      distance = distanceToTerminal(neighbor);
      if (distance >= kInfiniteDistance) return;
      stampPath(neighbor, distance);
    }
    if (distance < bestDistance) {
      bestLink = link;
      bestDistance = distance;
    }
  };
  ForwardArc* arc;
  ForwardArc* arcEnd;
  outRun(orphan, arc, arcEnd);
  for (ForwardArc* a = arc; a < arcEnd; ++a) {
    if ((kSinkTree ? a->residual : a->reverseResidual) != 0) {
      consider(offsetNode(orphan, a->shift), a);
    }
  }
  ReverseArc* reference;
  ReverseArc* referenceEnd;
  inRun(orphan, reference, referenceEnd);
  GraphNode* const* sources = referenceSources(orphan, reference, referenceEnd);
  forEachReference(
      orphan, reference, referenceEnd, 0, sources,
      [&](ForwardArc* in, GraphNode* neighbor) {
        if ((neighbor->inSinkTree != 0) == kSinkTree &&
            neighbor->parent != nullptr &&
            (kSinkTree ? in->reverseResidual : in->residual) != 0) {
          consider(neighbor, tagged(in));
        }
        return false;
      });
  if (bestLink != nullptr) {
    orphan->parent = bestLink;
    orphan->timestamp = time_;
    orphan->distance = bestDistance + 1;
    return;
  }

  orphan->parent = nullptr;
  orphan->timestamp = 0;
  noteFreed(orphan);
  // `usable`: the capacity from the neighbour towards the orphan in the
  // tree's direction.
  auto release = [&](GraphNode* neighbor, ForwardArc* shared,
                     const float& usable) {
    if ((neighbor->inSinkTree != 0) != kSinkTree) return;
    ForwardArc* link = neighbor->parent;
    if (link == nullptr) return;
    if (usable != 0) makeActive(neighbor);
    if (isRealArc(link) && untagged(link) == shared) setOrphanRear(neighbor);
  };
  for (ForwardArc* a = arc; a < arcEnd; ++a) {
    release(offsetNode(orphan, a->shift), a,
            kSinkTree ? a->residual : a->reverseResidual);
  }
  forEachReference(orphan, reference, referenceEnd, 0, sources,
                   [&](ForwardArc* in, GraphNode* neighbor) {
                     release(neighbor, in,
                             kSinkTree ? in->reverseResidual : in->residual);
                     return false;
                   });
}

GraphNode* const* Graph::referenceSources(GraphNode* node, ReverseArc* begin,
                                          ReverseArc* end) {
  if (end - begin < kListedReferences) return nullptr;
  try {
    std::vector<GraphNode*>& sources = referenceSources_[node];
    if (sources.empty()) {
      sources.reserve(static_cast<std::size_t>(end - begin));
      for (ReverseArc* r = begin; r < end; ++r) {
        sources.push_back(offsetNode(node, -r->forwardArc->shift));
      }
    }
    return sources.data();
  } catch (const std::bad_alloc&) {
    referenceSources_.erase(node);
    return nullptr;
  }
}

template void Graph::processOrphan<false>(GraphNode* orphan);
template void Graph::processOrphan<true>(GraphNode* orphan);

}  // namespace scribeline
