#include "snapping/stroke_split.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "palette/palette.h"

namespace scribeline {

namespace {

// Bytes of the cell array that are not labels: a cell of the superpixel no
// label has reached yet, and a cell outside the superpixel (the grid's frame
// included). Labels lie below both.
constexpr std::uint8_t kUnreached = 254;
constexpr std::uint8_t kOutside = 255;

// Calls visit(row, col, label) for every brush pixel of every stroke, labels
// in increasing order, strokes and their points in stored order.
template <typename Visit>
void forEachBrushPixelOfStrokes(const LabelStrokes& labelStrokes, int height,
                                int width, Visit&& visit) {
  const int numLabels = static_cast<int>(labelStrokes.size());
  for (int label = 0; label < numLabels; ++label) {
    for (const Stroke& stroke : labelStrokes[label]) {
      for (size_t k = 1; k < stroke.size(); ++k) {
        forEachSegmentPixel(stroke[k - 1], stroke[k], height, width,
                            [&](int row, int col) { visit(row, col, label); });
      }
    }
  }
}

// Square cells of 2^shift pixels a side over the superpixel's bounding box,
// with a frame of one cell around them, so that every cell of the superpixel
// has its 8 neighbours inside the grid.
struct Grid {
  int top, left;      // image position of the first pixel of cell (1, 1)
  int bottom, right;  // last row and column of the bounding box
  int shift;
  std::uint32_t width, height;  // in cells, the frame included

  std::uint32_t cellOf(int row, int col) const {
    return ((static_cast<std::uint32_t>(row - top) >> shift) + 1) * width +
           (static_cast<std::uint32_t>(col - left) >> shift) + 1;
  }
};

Grid gridOver(const Superpixel& superpixel) {
  const int top = superpixel.top, left = superpixel.left;
  const int bottom = superpixel.bottom, right = superpixel.right;
  const std::uint64_t boxWidth = std::uint64_t(right - left) + 1;
  const std::uint64_t boxHeight = std::uint64_t(bottom - top) + 1;
  int shift = 0;
  while ((superpixel.count >> (2 * shift)) > kMostSplitCells ||
         ((boxWidth * boxHeight) >> (2 * shift)) > 4 * kMostSplitCells) {
    ++shift;
  }
  const std::uint64_t width = ((boxWidth - 1) >> shift) + 3;
  const std::uint64_t height = ((boxHeight - 1) >> shift) + 3;
  return {top,
          left,
          bottom,
          right,
          shift,
          static_cast<std::uint32_t>(width),
          static_cast<std::uint32_t>(height)};
}

// A stretch of a superpixel's pixels along a row, columns begin .. end - 1.
struct RowRun {
  int row, begin, end;
};

// The superpixel's pixels as maximal row runs in raster order. The passes
// over its pixels share this one scan of its bounding box in the map, whose
// entries are mostly other superpixels' where the superpixel winds through
// the photo; a run takes 12 bytes, at most as many runs as pixels and mostly
// far fewer.
std::vector<RowRun> rowRunsOf(const Superpixel& superpixel, int s,
                              const int* superpixelMap, int width) {
  std::vector<RowRun> runs;
  forEachRunOf(superpixel, s, superpixelMap, width,
               [&](int row, int begin, int end) {
                 runs.push_back({row, begin, end});
               });
  return runs;
}

// Calls visit(row, col) for every pixel of the runs, in their order.
template <typename Visit>
void forEachPixelOfRuns(const std::vector<RowRun>& runs, Visit&& visit) {
  for (const RowRun& run : runs) {
    for (int col = run.begin; col < run.end; ++col) visit(run.row, col);
  }
}

// Mean colour (rounded) of every cell of the superpixel, 3 bytes a cell in
// the image's channel order; the cell's label byte becomes kUnreached. Sums
// are kept for one band of cells at a time, which the raster order of the
// superpixel's pixels completes before the next.
void fillCells(const cv::Mat& image, const std::vector<RowRun>& rowRuns,
               const Grid& grid, std::vector<std::uint8_t>& colours,
               std::vector<std::uint8_t>& labels) {
  struct Sum {
    std::uint64_t channel[3];
    std::uint64_t count;
  };
  std::vector<Sum> band(grid.width);
  const auto flush = [&](std::uint32_t bandRow) {
    for (std::uint32_t c = 0; c < grid.width; ++c) {
      Sum& sum = band[c];
      if (sum.count == 0) continue;
      const std::size_t cell = std::size_t(bandRow) * grid.width + c;
      for (int k = 0; k < 3; ++k) {
        colours[3 * cell + k] = static_cast<std::uint8_t>(
            (sum.channel[k] + sum.count / 2) / sum.count);
      }
      labels[cell] = kUnreached;
      sum = Sum{};
    }
  };
  std::uint32_t bandRow = 0;
  forEachPixelOfRuns(rowRuns, [&](int pixelRow, int pixelCol) {
    const std::uint32_t cell = grid.cellOf(pixelRow, pixelCol);
    const std::uint32_t row = cell / grid.width;
    if (row != bandRow) {
      if (bandRow != 0) flush(bandRow);
      bandRow = row;
    }
    const cv::Vec3b colour = image.at<cv::Vec3b>(pixelRow, pixelCol);
    Sum& sum = band[cell - row * grid.width];
    for (int k = 0; k < 3; ++k) sum.channel[k] += colour[k];
    ++sum.count;
  });
  flush(bandRow);
}

// Queue entries: the grid index of a cell above 8 bits of label.
using Entry = std::uint64_t;

Entry entryOf(std::uint32_t cell, int label) {
  return (static_cast<Entry>(cell) << 8) | static_cast<Entry>(label);
}

// A brush pixel of the superpixel: its place in the image's raster order and
// its label.
struct BrushPixel {
  std::size_t raster;
  int label;
};

// The cells along the boundaries between labels at pixel resolution: every
// cell of the superpixel with an 8-neighbour cell of another label, on both
// sides of the boundary, holds a block of side x side pixel labels.
constexpr std::uint32_t kNoSlot = UINT32_MAX;

struct Band {
  std::vector<std::uint32_t> slotOfCell;  // kNoSlot: not in the band
  std::vector<std::uint32_t> cellOfSlot;
  std::vector<std::uint8_t> labels;  // side * side per slot, row by row

  std::uint32_t indexOf(const Grid& grid, std::uint32_t slot, int row,
                        int col) const {
    const std::uint32_t mask = (1u << grid.shift) - 1;
    return (slot << (2 * grid.shift)) +
           ((static_cast<std::uint32_t>(row - grid.top) & mask) << grid.shift) +
           (static_cast<std::uint32_t>(col - grid.left) & mask);
  }
};

// A queue entry waiting for its distance to come up.
struct Source {
  std::uint64_t distance;
  Entry entry;
};

// Colour-weighted cost of the step between two 8-neighbour pixels.
int pixelStepCost(const cv::Mat& image, int row, int col, int nextRow,
                  int nextCol) {
  const cv::Vec3b a = image.at<cv::Vec3b>(row, col);
  const cv::Vec3b b = image.at<cv::Vec3b>(nextRow, nextCol);
  const int spatial =
      row != nextRow && col != nextCol ? kDiagonalStepCost : kStraightStepCost;
  return spatial + std::abs(a[0] - b[0]) + std::abs(a[1] - b[1]) +
         std::abs(a[2] - b[2]);
}

// Places the boundaries that the search over cells drew to within a cell at
// single pixels: the same search over the pixels of the band, whose labels
// come in from the band's outside (each pixel next to it carrying its cell's
// label and distance) and from the brush pixels within it.
void refineBand(const cv::Mat& image, const int* superpixelMap, int s,
                const Grid& grid, const std::vector<std::uint8_t>& cellLabels,
                const std::vector<std::uint32_t>& reachedAt,
                const std::vector<BrushPixel>& brush, Band& band) {
  const int width = image.cols;
  const std::size_t cells = cellLabels.size();
  const std::ptrdiff_t down = grid.width;
  const std::ptrdiff_t around[8] = {-down - 1, -down,    -down + 1, -1,
                                    1,         down - 1, down,      down + 1};
  band.slotOfCell.assign(cells, kNoSlot);
  for (std::size_t cell = 0; cell < cells; ++cell) {
    const std::uint8_t label = cellLabels[cell];
    if (label >= kUnreached) continue;
    for (const std::ptrdiff_t offset : around) {
      const std::uint8_t other = cellLabels[cell + offset];
      if (other < kUnreached && other != label) {
        band.slotOfCell[cell] =
            static_cast<std::uint32_t>(band.cellOfSlot.size());
        band.cellOfSlot.push_back(static_cast<std::uint32_t>(cell));
        break;
      }
    }
  }
  if (band.cellOfSlot.empty()) return;

  const int side = 1 << grid.shift;
  const auto firstPixel = [&](std::uint32_t cell) {
    const int cellRow = static_cast<int>(cell / grid.width) - 1;
    const int cellCol = static_cast<int>(cell % grid.width) - 1;
    return cv::Point(grid.left + (cellCol << grid.shift),
                     grid.top + (cellRow << grid.shift));
  };
  const auto inSuperpixel = [&](int row, int col) {
    return row >= grid.top && row <= grid.bottom && col >= grid.left &&
           col <= grid.right &&
           superpixelMap[std::size_t(row) * width + col] == s;
  };
  band.labels.assign(band.cellOfSlot.size() << (2 * grid.shift), kOutside);
  std::vector<Source> sources;
  for (std::uint32_t slot = 0; slot < band.cellOfSlot.size(); ++slot) {
    const cv::Point first = firstPixel(band.cellOfSlot[slot]);
    for (int row = first.y; row < first.y + side; ++row) {
      for (int col = first.x; col < first.x + side; ++col) {
        if (!inSuperpixel(row, col)) continue;
        const std::uint32_t index = band.indexOf(grid, slot, row, col);
        band.labels[index] = kUnreached;
        // Reached from every pixel outside the band next to it.
        for (int dy = -1; dy <= 1; ++dy) {
          for (int dx = -1; dx <= 1; ++dx) {
            const int r = row + dy, c = col + dx;
            if ((dy == 0 && dx == 0) || !inSuperpixel(r, c)) continue;
            const std::uint32_t cell = grid.cellOf(r, c);
            if (band.slotOfCell[cell] != kNoSlot) continue;
            if (cellLabels[cell] >= kUnreached) continue;
            sources.push_back({reachedAt[cell] + std::uint64_t(pixelStepCost(
                                                     image, r, c, row, col)),
                               entryOf(index, cellLabels[cell])});
          }
        }
      }
    }
  }
  // Brush pixels at distance 0, labels upwards as the search over cells.
  for (const BrushPixel& pixel : brush) {
    const int row = static_cast<int>(pixel.raster / width);
    const int col = static_cast<int>(pixel.raster % width);
    const std::uint32_t slot = band.slotOfCell[grid.cellOf(row, col)];
    if (slot == kNoSlot) continue;
    sources.push_back(
        {0, entryOf(band.indexOf(grid, slot, row, col), pixel.label)});
  }
  std::stable_sort(
      sources.begin(), sources.end(),
      [](const Source& a, const Source& b) { return a.distance < b.distance; });

  constexpr std::size_t kRing = 1024;
  static_assert(kDiagonalStepCost + 3 * 255 < kRing,
                "a step must not wrap around the ring");
  std::vector<std::vector<Entry>> ring(kRing);
  std::size_t pending = 0, nextSource = 0;
  for (std::uint64_t distance = 0; pending > 0 || nextSource < sources.size();
       ++distance) {
    if (pending == 0) distance = sources[nextSource].distance;
    std::vector<Entry>& bucket = ring[distance % kRing];
    for (; nextSource < sources.size() &&
           sources[nextSource].distance == distance;
         ++nextSource, ++pending) {
      bucket.push_back(sources[nextSource].entry);
    }
    while (!bucket.empty()) {
      const Entry entry = bucket.back();
      bucket.pop_back();
      --pending;
      const std::uint32_t index = static_cast<std::uint32_t>(entry >> 8);
      if (band.labels[index] != kUnreached) continue;
      const std::uint8_t taken = static_cast<std::uint8_t>(entry & 0xff);
      band.labels[index] = taken;
      const std::uint32_t slot = index >> (2 * grid.shift);
      const std::uint32_t within = index & ((1u << (2 * grid.shift)) - 1);
      const cv::Point first = firstPixel(band.cellOfSlot[slot]);
      const int row = first.y + static_cast<int>(within >> grid.shift);
      const int col = first.x + static_cast<int>(within & (side - 1));
      for (int dy = -1; dy <= 1; ++dy) {
        for (int dx = -1; dx <= 1; ++dx) {
          const int r = row + dy, c = col + dx;
          if ((dy == 0 && dx == 0) || !inSuperpixel(r, c)) continue;
          const std::uint32_t nextSlot = band.slotOfCell[grid.cellOf(r, c)];
          if (nextSlot == kNoSlot) continue;
          const std::uint32_t next = band.indexOf(grid, nextSlot, r, c);
          if (band.labels[next] != kUnreached) continue;
          ring[(distance + pixelStepCost(image, row, col, r, c)) % kRing]
              .push_back(entryOf(next, taken));
          ++pending;
        }
      }
    }
  }
}

// Dijkstra's search over the cells from the cells of all brush pixels at
// once, over a ring of buckets, one per distance (the step costs are small
// integers); each cell keeps the label of the first entry taken for it, which
// is one of least distance. Entries go into a bucket's vector at its back and
// leave from there; several entries per cell are allowed and the later ones
// skipped, so that a cell stores only its colour, one byte (its label, or
// whether it is unreached or outside the superpixel) and, when cells are
// larger than a pixel, the distance it was reached at for refineBand.
SuperpixelSplit splitOne(const cv::Mat& image, const LabelStrokes& labelStrokes,
                         const int* superpixelMap, int s,
                         const Superpixel& superpixel, int fallbackLabel) {
  const int width = image.cols;
  const int height = image.rows;
  const Grid grid = gridOver(superpixel);
  const std::size_t cells = std::size_t(grid.width) * grid.height;
  std::vector<std::uint8_t> labels(cells, kOutside);
  std::vector<std::uint8_t> colours(3 * cells);
  const std::vector<RowRun> rowRuns =
      rowRunsOf(superpixel, s, superpixelMap, width);
  fillCells(image, rowRuns, grid, colours, labels);

  // The spatial part of a step grows with the cell's side, so that distances
  // stay in pixels; the colour part is the difference of the cells' means.
  const int side = 1 << grid.shift;
  const int straight = kStraightStepCost * side;
  const int diagonal = kDiagonalStepCost * side;
  // More buckets than the dearest step costs, so that a step never lands in
  // the bucket being emptied nor wraps onto a live one.
  std::size_t ringSize = 1;
  while (ringSize <= std::size_t(diagonal) + 3 * 255) ringSize *= 2;
  std::vector<std::vector<Entry>> ring(ringSize);

  // Brush pixels at distance 0, pushed label by label upwards, so that the
  // highest label covering a cell is taken first.
  std::vector<BrushPixel> brush;
  std::vector<Entry>& sources = ring[0];
  forEachBrushPixelOfStrokes(
      labelStrokes, height, width, [&](int row, int col, int label) {
        const std::size_t raster = std::size_t(row) * width + col;
        if (superpixelMap[raster] != s) return;
        sources.push_back(entryOf(grid.cellOf(row, col), label));
        brush.push_back({raster, label});
      });

  const std::ptrdiff_t down = grid.width;
  const struct Step {
    std::ptrdiff_t offset;
    int cost;
  } steps[8] = {{-down - 1, diagonal}, {-down, straight},
                {-down + 1, diagonal}, {-1, straight},
                {1, straight},         {down - 1, diagonal},
                {down, straight},      {down + 1, diagonal}};

  // The distance at which every cell was reached, for the refinement.
  std::vector<std::uint32_t> reachedAt(grid.shift > 0 ? cells : 0);
  std::uint8_t* const label = labels.data();
  const std::uint8_t* const colour = colours.data();
  std::size_t pending = sources.size();
  for (std::uint64_t distance = 0; pending > 0; ++distance) {
    std::vector<Entry>& bucket = ring[distance & (ringSize - 1)];
    while (!bucket.empty()) {
      const Entry entry = bucket.back();
      bucket.pop_back();
      --pending;
      const std::uint32_t cell = static_cast<std::uint32_t>(entry >> 8);
      if (label[cell] != kUnreached) continue;
      const std::uint8_t taken = static_cast<std::uint8_t>(entry & 0xff);
      label[cell] = taken;
      if (!reachedAt.empty()) {
        reachedAt[cell] = static_cast<std::uint32_t>(
            std::min<std::uint64_t>(distance, UINT32_MAX));
      }
      const std::uint8_t* here = colour + 3 * std::size_t(cell);
      for (const Step& step : steps) {
        const std::uint32_t next =
            static_cast<std::uint32_t>(cell + step.offset);
        if (label[next] != kUnreached) continue;
        const std::uint8_t* there = here + 3 * step.offset;
        const int cost = step.cost + std::abs(here[0] - there[0]) +
                         std::abs(here[1] - there[1]) +
                         std::abs(here[2] - there[2]);
        ring[(distance + cost) & (ringSize - 1)].push_back(
            entryOf(next, taken));
        ++pending;
      }
    }
  }

  Band band;
  if (grid.shift > 0) {
    refineBand(image, superpixelMap, s, grid, labels, reachedAt, brush, band);
  }

  // Every brush pixel keeps its own (highest) label, also where its cell went
  // to another label's stroke nearby.
  std::sort(
      brush.begin(), brush.end(), [](const BrushPixel& a, const BrushPixel& b) {
        return a.raster != b.raster ? a.raster < b.raster : a.label > b.label;
      });
  auto nextBrush = brush.begin();
  SuperpixelSplit split{s, {}};
  forEachPixelOfRuns(rowRuns, [&](int row, int col) {
    const std::size_t raster = std::size_t(row) * width + col;
    int pixelLabel;
    while (nextBrush != brush.end() && nextBrush->raster < raster) ++nextBrush;
    if (nextBrush != brush.end() && nextBrush->raster == raster) {
      pixelLabel = nextBrush->label;
    } else {
      const std::uint32_t cell = grid.cellOf(row, col);
      std::uint8_t reached = label[cell];
      if (!band.slotOfCell.empty() && band.slotOfCell[cell] != kNoSlot) {
        const std::uint8_t refined =
            band.labels[band.indexOf(grid, band.slotOfCell[cell], row, col)];
        if (refined < kUnreached) reached = refined;
      }
      pixelLabel = reached == kUnreached ? fallbackLabel : reached;
    }
    if (!split.runs.empty() && split.runs.back().label == pixelLabel) {
      ++split.runs.back().length;
    } else {
      split.runs.push_back({1, pixelLabel});
    }
  });
  split.runs.shrink_to_fit();
  return split;
}

}  // namespace

std::vector<SuperpixelSplit> splitSharedSuperpixels(
    const cv::Mat& image, const LabelStrokes& labelStrokes,
    const int* superpixelMap, const std::vector<Superpixel>& superpixels,
    const std::vector<int>& superpixelLabels) {
  const int width = image.cols;
  const int height = image.rows;
  const size_t n = superpixels.size();
  CV_Assert(labelStrokes.size() <= kUnreached);
  std::vector<int> lowest(n, INT_MAX), highest(n, -1);
  forEachBrushPixelOfStrokes(
      labelStrokes, height, width, [&](int row, int col, int label) {
        const int s = superpixelMap[static_cast<size_t>(row) * width + col];
        lowest[s] = std::min(lowest[s], label);
        highest[s] = std::max(highest[s], label);
      });

  std::vector<SuperpixelSplit> splits;
  for (size_t s = 0; s < n; ++s) {
    if (highest[s] < 0 || lowest[s] == highest[s]) continue;
    splits.push_back(splitOne(image, labelStrokes, superpixelMap,
                              static_cast<int>(s), superpixels[s],
                              superpixelLabels[s]));
  }
  return splits;
}

void paintSplits(const std::vector<SuperpixelSplit>& splits,
                 const std::vector<Superpixel>& superpixels,
                 const int* superpixelMap, cv::Mat& mask) {
  CV_Assert(mask.type() == CV_8UC3);
  for (const SuperpixelSplit& split : splits) {
    size_t covered = 0;
    for (const LabelRun& run : split.runs) covered += run.length;
    CV_Assert(covered == superpixels[split.superpixel].count);
  }
  forEachSplitPixel(splits, superpixels, superpixelMap, mask.cols,
                    [&](int row, int col, cv::Vec3b colour) {
                      mask.at<cv::Vec3b>(row, col) = colour;
                    });
}

}  // namespace scribeline
