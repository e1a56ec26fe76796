#include "tests/graphcut/reference/graph.h"

#include <cstdio>
#include <cstdlib>
#include <new>

#include "graphcut/memory.h"
#include "tests/graphcut/reference/graph_chunks.h"

namespace scribeline {

Graph::Graph(GraphErrorCallback callback, const GraphOptions& options)
    : errorCallback_(callback), options_(options) {}

Graph::~Graph() {
  while (nodeChunks_ != nullptr) {
    NodeChunk* older = nodeChunks_->next;
    std::free(nodeChunks_);
    nodeChunks_ = older;
  }
  while (forwardChunks_ != nullptr) {
    ForwardChunk* next = forwardChunks_->next;
    std::free(forwardChunks_->allocation);
    forwardChunks_ = next;
  }
  while (reverseChunks_ != nullptr) {
    ReverseChunk* next = reverseChunks_->next;
    std::free(reverseChunks_->allocation);
    reverseChunks_ = next;
  }
  delete orphanBlock_;
}

void Graph::fail(const char* printed) const {
  if (options_.memory.throwWhenExhausted) throw std::bad_alloc();
  if (errorCallback_ != nullptr) errorCallback_("Not enough memory!");
  if (printed != nullptr) std::fputs(printed, stdout);
  std::exit(1);
}

namespace {

// Allocates a chunk header followed by `slots` records, the start rounded up
// so that records sit at addresses aligned for them (even, at the least).
template <typename Chunk, typename Record>
Chunk* allocateArcChunk(const MemoryPolicy& memory, std::size_t slots) {
  constexpr std::size_t kAlign = alignof(Record) > 2 ? alignof(Record) : 2;
  void* raw = allocateMemory(
      memory, sizeof(Chunk) + slots * sizeof(Record) + kAlign - 1);
  if (raw == nullptr) return nullptr;
  std::uintptr_t start = (reinterpret_cast<std::uintptr_t>(raw) + kAlign - 1) &
                         ~static_cast<std::uintptr_t>(kAlign - 1);
  Chunk* chunk = reinterpret_cast<Chunk*>(start);
  chunk->allocation = raw;
  chunk->cursor = chunk->records();
  chunk->next = nullptr;
  return chunk;
}

}  // namespace

Graph::ForwardChunk* Graph::newForwardChunk(std::size_t records,
                                            const char* printed) {
  ForwardChunk* chunk =
      allocateArcChunk<ForwardChunk, ForwardArc>(options_.memory, records + 1);
  if (chunk == nullptr) fail(printed);
  return chunk;
}

Graph::ReverseChunk* Graph::newReverseChunk(std::size_t records,
                                            const char* printed) {
  ReverseChunk* chunk =
      allocateArcChunk<ReverseChunk, ReverseArc>(options_.memory, records + 1);
  if (chunk == nullptr) fail(printed);
  return chunk;
}

void Graph::flushCursors() {
  if (nodeChunks_ != nullptr) nodeChunks_->cursor = nodeCursor_;
  if (forwardChunks_ != nullptr) forwardChunks_->cursor = arcCursor_;
  if (reverseChunks_ != nullptr) reverseChunks_->cursor = referenceCursor_;
}

void Graph::openNodeChunk() {
  NodeChunk* chunk = static_cast<NodeChunk*>(
      allocateMemory(options_.memory, sizeof(NodeChunk)));
  if (chunk == nullptr) fail(nullptr);
  if (nodeChunks_ != nullptr) nodeChunks_->cursor = nodeCursor_;
  chunk->cursor = chunk->slots;
  chunk->next = nodeChunks_;
  nodeChunks_ = chunk;
  nodeCursor_ = chunk->slots;
  nodeLimit_ = &chunk->slots[kNodesPerChunk - 1];
}

void Graph::openForwardChunk() {
  ForwardChunk* chunk = newForwardChunk(
      kArcsPerChunk, "Fatal ERROR at Ln89 of graph: Not enough memory!");
  if (forwardChunks_ != nullptr) forwardChunks_->cursor = arcCursor_;
  chunk->next = forwardChunks_;
  forwardChunks_ = chunk;
  arcCursor_ = chunk->records();
  arcLimit_ = chunk->records() + kArcsPerChunk;
}

void Graph::openReverseChunk() {
  ReverseChunk* chunk = newReverseChunk(
      kArcsPerChunk, "Fatal ERROR at Ln101 of graph: Not enough memory!");
  if (reverseChunks_ != nullptr) reverseChunks_->cursor = referenceCursor_;
  chunk->next = reverseChunks_;
  reverseChunks_ = chunk;
  referenceCursor_ = chunk->records();
  referenceLimit_ = chunk->records() + kArcsPerChunk;
}

std::size_t Graph::nodeBytesHeld() const {
  std::size_t bytes = 0;
  for (NodeChunk* chunk = nodeChunks_; chunk != nullptr; chunk = chunk->next) {
    bytes += sizeof(NodeChunk);
  }
  return bytes;
}

std::size_t Graph::arcBytesHeld() const {
  std::size_t bytes = 0;
  for (ForwardChunk* chunk = forwardChunks_; chunk != nullptr;
       chunk = chunk->next) {
    ForwardArc* end = chunk == forwardChunks_ ? arcCursor_ : chunk->cursor;
    std::size_t slots = static_cast<std::size_t>(end - chunk->records());
    if (slots < kArcsPerChunk + 1) slots = kArcsPerChunk + 1;
    bytes += sizeof(ForwardChunk) + slots * sizeof(ForwardArc) +
             alignof(ForwardArc) - 1;
  }
  for (ReverseChunk* chunk = reverseChunks_; chunk != nullptr;
       chunk = chunk->next) {
    ReverseArc* end =
        chunk == reverseChunks_ ? referenceCursor_ : chunk->cursor;
    std::size_t slots = static_cast<std::size_t>(end - chunk->records());
    if (slots < kArcsPerChunk + 1) slots = kArcsPerChunk + 1;
    bytes += sizeof(ReverseChunk) + slots * sizeof(ReverseArc) +
             alignof(ReverseArc) - 1;
  }
  return bytes;
}

}  // namespace scribeline
