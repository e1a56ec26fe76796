#include "canvas/mask_cleanup.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <new>
#include <queue>
#include <string>
#include <utility>
#include <vector>

#include "canvas/mask_steps.h"
#include "canvas/view.h"
#include "palette/palette.h"

namespace scribeline {
namespace {

// Colour classes: the palette's labels by number, then white, then every
// other colour in the order met. A lower class wins a tie of borders.
constexpr int kWhiteClass = numLabels;

std::uint32_t keyOf(const uchar* pixel) {
  return std::uint32_t{pixel[0]} | std::uint32_t{pixel[1]} << 8 |
         std::uint32_t{pixel[2]} << 16;
}

class ColourClasses {
 public:
  ColourClasses() : slots_(64, kEmpty) {
    for (int label = 0; label < numLabels; ++label) {
      const cv::Vec3b pixel = labelPixel(label);
      add(keyOf(pixel.val));
    }
    add(0xFFFFFF);
  }

  int classOf(std::uint32_t key) {
    for (size_t slot = slotOf(key);; slot = (slot + 1) & (slots_.size() - 1)) {
      if (slots_[slot] == kEmpty) return add(key);
      if (keys_[slots_[slot]] == key) return slots_[slot];
    }
  }
  cv::Vec3b colourOf(int colourClass) const {
    const std::uint32_t key = keys_[colourClass];
    return cv::Vec3b(key & 0xFF, key >> 8 & 0xFF, key >> 16 & 0xFF);
  }
  int count() const { return static_cast<int>(keys_.size()); }

 private:
  static constexpr int kEmpty = -1;

  size_t slotOf(std::uint32_t key) const {
    return static_cast<size_t>((key * 0x9E3779B97F4A7C15ull) >> 40) &
           (slots_.size() - 1);
  }
  void place(int id) {
    size_t slot = slotOf(keys_[id]);
    while (slots_[slot] != kEmpty) slot = (slot + 1) & (slots_.size() - 1);
    slots_[slot] = id;
  }
  int add(std::uint32_t key) {
    const int id = count();
    keys_.push_back(key);
    if (keys_.size() * 2 > slots_.size()) {
      slots_.assign(slots_.size() * 2, kEmpty);
      for (int i = 0; i < id; ++i) place(i);
    }
    place(id);
    return id;
  }

  // Open addressing with linear probing over a power-of-two table kept at
  // most half full.
  std::vector<int> slots_;
  std::vector<std::uint32_t> keys_;
};

// A maximal run of one colour within a row: columns [x0, x1).
struct Run {
  int x0, x1;
  int colourClass;
  bool penPainted;  // holds a pixel painted with the pen
  bool atEdge;      // touches the photo's edge
};

// Border between two runs or regions, in pixel edges.
struct Border {
  int other;
  std::int64_t length;
};

int findRoot(std::vector<int>& parent, int i) {
  while (parent[i] != i) {
    parent[i] = parent[parent[i]];
    i = parent[i];
  }
  return i;
}

// The mask as runs, row by row (rowStart[y] .. rowStart[y + 1]).
struct RunImage {
  std::vector<Run> runs;
  std::vector<size_t> rowStart;
};

RunImage runsOf(const cv::Mat& mask, const cv::Mat& penMarks,
                ColourClasses& classes) {
  RunImage image;
  image.rowStart.reserve(mask.rows + 1);
  const bool marked = !penMarks.empty();
  for (int y = 0; y < mask.rows; ++y) {
    image.rowStart.push_back(image.runs.size());
    const uchar* row = mask.ptr(y);
    const uchar* marks = marked ? penMarks.ptr(y) : nullptr;
    const bool edgeRow = y == 0 || y == mask.rows - 1;
    const auto emit = [&](int x0, int x1, std::uint32_t key) {
      const int colourClass = classes.classOf(key);
      // A pixel of a palette label counts as the pen's when its mark names
      // that label (penPainted).
      const bool pen =
          marked && colourClass < numLabels &&
          std::memchr(marks + x0, colourClass + 1, size_t(x1 - x0)) != nullptr;
      image.runs.push_back(
          {x0, x1, colourClass, pen, edgeRow || x0 == 0 || x1 == mask.cols});
    };
    int x0 = 0;
    std::uint32_t key = keyOf(row);
    for (int x = 1; x < mask.cols; ++x) {
      const std::uint32_t next = keyOf(row + 3 * x);
      if (next == key) continue;
      emit(x0, x, key);
      x0 = x;
      key = next;
    }
    emit(x0, mask.cols, key);
  }
  image.rowStart.push_back(image.runs.size());
  return image;
}

// The regions of the mask and their borders, merged as the clean-up goes.
class Regions {
 public:
  // Only regions smaller than `minimumSize` keep their borders: a region
  // never shrinks, so larger ones are never cleaned, and their borders are
  // never read.
  Regions(const RunImage& image, int classCount, std::int64_t minimumSize)
      : minimumSize_(minimumSize) {
    const std::vector<Run>& runs = image.runs;
    std::vector<int> parent(runs.size());
    for (size_t i = 0; i < runs.size(); ++i) parent[i] = static_cast<int>(i);
    // Borders between runs of different colours; runs of one colour that
    // share an edge are one region.
    struct RunBorder {
      int a, b, length;
    };
    std::vector<RunBorder> borders;
    borders.reserve(2 * runs.size());
    const size_t rows = image.rowStart.size() - 1;
    for (size_t y = 0; y < rows; ++y) {
      const int begin = static_cast<int>(image.rowStart[y]);
      const int end = static_cast<int>(image.rowStart[y + 1]);
      for (int j = begin + 1; j < end; ++j) borders.push_back({j - 1, j, 1});
      if (y == 0) continue;
      int i = static_cast<int>(image.rowStart[y - 1]);
      int j = begin;
      while (i < begin && j < end) {
        const Run& above = runs[i];
        const Run& below = runs[j];
        const int overlap =
            std::min(above.x1, below.x1) - std::max(above.x0, below.x0);
        if (overlap > 0) {
          if (above.colourClass == below.colourClass) {
            const int ra = findRoot(parent, i), rb = findRoot(parent, j);
            if (ra != rb) parent[std::max(ra, rb)] = std::min(ra, rb);
          } else {
            borders.push_back({i, j, overlap});
          }
        }
        if (above.x1 <= below.x1) ++i;
        if (below.x1 <= above.x1) ++j;
      }
    }
    // Regions numbered in raster order of their first run.
    regionOfRun_.resize(runs.size());
    for (size_t i = 0; i < runs.size(); ++i) {
      const int root = findRoot(parent, static_cast<int>(i));
      if (root == static_cast<int>(i)) {
        regionOfRun_[i] = static_cast<int>(size_.size());
        size_.push_back(0);
        colourClass_.push_back(runs[i].colourClass);
        penPainted_.push_back(false);
        atEdge_.push_back(false);
      } else {
        regionOfRun_[i] = regionOfRun_[root];
      }
      const int region = regionOfRun_[i];
      size_[region] += runs[i].x1 - runs[i].x0;
      penPainted_[region] = penPainted_[region] || runs[i].penPainted;
      atEdge_[region] = atEdge_[region] || runs[i].atEdge;
    }
    borders_.resize(size_.size());
    {
      std::vector<int> degree(size_.size(), 0);
      for (const RunBorder& border : borders) {
        const int a = regionOfRun_[border.a], b = regionOfRun_[border.b];
        if (small(a)) ++degree[a];
        if (small(b)) ++degree[b];
      }
      for (size_t r = 0; r < size_.size(); ++r)
        if (small(r)) borders_[r].reserve(degree[r]);
    }
    for (const RunBorder& border : borders) {
      const int a = regionOfRun_[border.a], b = regionOfRun_[border.b];
      if (small(a)) borders_[a].push_back({b, border.length});
      if (small(b)) borders_[b].push_back({a, border.length});
    }
    owner_.resize(size_.size());
    for (size_t r = 0; r < size_.size(); ++r) owner_[r] = static_cast<int>(r);
    sum_.assign(size_.size(), 0);
    votes_.assign(classCount, 0);
  }

  int count() const { return static_cast<int>(size_.size()); }
  int find(int region) { return findRoot(owner_, region); }
  std::int64_t size(int region) const { return size_[region]; }
  bool movable(int region) const { return !penPainted_[region]; }
  bool small(size_t region) const { return size_[region] < minimumSize_; }

  // Region `region` (a root, not the pen's): takes the label it shares the
  // longest border with and joins its regions, unless white wins or it has
  // no labelled neighbour. Returns the regions whose surroundings changed
  // (the one it joined and its other neighbours); none when it stays.
  std::vector<int> clean(int region, CleanupCount& count) {
    collectBorders(region);
    const std::vector<Border>& around = borders_[region];
    std::vector<int> classesSeen;
    for (const Border& border : around) {
      const int c = colourClass_[border.other];
      if (votes_[c] == 0) classesSeen.push_back(c);
      votes_[c] += border.length;
    }
    int best = -1;
    std::int64_t bestVotes = 0, whiteVotes = 0;
    for (int c : classesSeen) {
      if (c == kWhiteClass) {
        whiteVotes = votes_[c];
      } else if (votes_[c] > bestVotes ||
                 (votes_[c] == bestVotes && c < best)) {
        best = c;
        bestVotes = votes_[c];
      }
    }
    for (int c : classesSeen) votes_[c] = 0;
    if (best < 0 || whiteVotes > bestVotes) return {};

    const bool hole = classesSeen.size() == 1 && !atEdge_[region];
    ++(hole ? count.holes : count.islands);
    std::vector<int> neighbours;
    for (const Border& border : around) neighbours.push_back(border.other);
    colourClass_[region] = best;
    int joined = region;
    std::vector<int> changed;
    for (int other : neighbours) {
      if (colourClass_[other] == best) {
        joined = join(joined, other);
      } else {
        changed.push_back(other);
      }
    }
    changed.push_back(joined);
    return changed;
  }

  // The class each run ends with.
  int finalClass(size_t run) { return colourClass_[find(regionOfRun_[run])]; }

 private:
  // Sums the borders of `region` by neighbouring root, dropping those with
  // regions it has since joined.
  void collectBorders(int region) {
    std::vector<Border>& borders = borders_[region];
    std::vector<int> roots;
    for (const Border& border : borders) {
      const int other = find(border.other);
      if (other == region) continue;
      if (sum_[other] == 0) roots.push_back(other);
      sum_[other] += border.length;
    }
    borders.clear();
    for (int other : roots) {
      borders.push_back({other, sum_[other]});
      sum_[other] = 0;
    }
  }

  // Joins two roots of one colour; returns the root of the union. The
  // longer border list takes the shorter one.
  int join(int a, int b) {
    if (borders_[a].size() < borders_[b].size()) std::swap(a, b);
    owner_[b] = a;
    size_[a] += size_[b];
    penPainted_[a] = penPainted_[a] || penPainted_[b];
    atEdge_[a] = atEdge_[a] || atEdge_[b];
    if (small(a)) {
      borders_[a].insert(borders_[a].end(), borders_[b].begin(),
                         borders_[b].end());
    } else {
      std::vector<Border>().swap(borders_[a]);
    }
    std::vector<Border>().swap(borders_[b]);
    return a;
  }

  std::int64_t minimumSize_;
  std::vector<int> regionOfRun_;
  std::vector<std::int64_t> size_;
  std::vector<int> colourClass_;
  std::vector<bool> penPainted_;
  std::vector<bool> atEdge_;
  std::vector<std::vector<Border>> borders_;
  std::vector<int> owner_;  // union-find over regions
  // Scratch, all zero between calls.
  std::vector<std::int64_t> sum_;
  std::vector<std::int64_t> votes_;
};

std::string counted(std::int64_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

void setCleanupSize(Workspace& workspace, std::int64_t size) {
  const std::int64_t most = std::max<std::int64_t>(
      2, static_cast<std::int64_t>(workspace.mask.total()));
  workspace.cleanupSize =
      static_cast<long>(std::clamp<std::int64_t>(size, 2, most));
  say(workspace, "current clean-up size = " +
                     std::to_string(workspace.cleanupSize) + " pixels\n");
}

}  // namespace

CleanupCount cleanUpMask(cv::Mat& mask, const cv::Mat& penMarks,
                         std::int64_t minimumSize) {
  CleanupCount count;
  if (mask.empty()) return count;
  CV_Assert(mask.type() == CV_8UC3);
  CV_Assert(penMarks.empty() ||
            (penMarks.type() == CV_8UC1 && penMarks.size() == mask.size()));
  ColourClasses classes;
  const RunImage image = runsOf(mask, penMarks, classes);
  Regions regions(image, classes.count(), minimumSize);

  // Smallest first, then the lower number; an entry whose size is no longer
  // its region's, or whose region has joined another, is stale.
  using Entry = std::pair<std::int64_t, int>;
  std::priority_queue<Entry, std::vector<Entry>, std::greater<Entry>> queue;
  const auto offer = [&](int region) {
    if (regions.movable(region) && regions.small(region))
      queue.push({regions.size(region), region});
  };
  for (int region = 0; region < regions.count(); ++region) offer(region);
  while (!queue.empty()) {
    const auto [size, region] = queue.top();
    queue.pop();
    if (regions.find(region) != region || regions.size(region) != size ||
        !regions.movable(region))
      continue;
    for (int changed : regions.clean(region, count)) offer(changed);
  }

  for (size_t y = 0; y + 1 < image.rowStart.size(); ++y) {
    cv::Vec3b* row = mask.ptr<cv::Vec3b>(static_cast<int>(y));
    for (size_t i = image.rowStart[y]; i < image.rowStart[y + 1]; ++i) {
      const Run& run = image.runs[i];
      const int now = regions.finalClass(i);
      if (now == run.colourClass) continue;
      std::fill(row + run.x0, row + run.x1, classes.colourOf(now));
      count.pixels += run.x1 - run.x0;
    }
  }
  return count;
}

std::int64_t defaultCleanupSize(std::int64_t pixels) {
  return std::max<std::int64_t>(64, pixels / 10000);
}

std::int64_t cleanupSizeOf(const Workspace& workspace) {
  return workspace.cleanupSize > 0
             ? workspace.cleanupSize
             : defaultCleanupSize(
                   static_cast<std::int64_t>(workspace.mask.total()));
}

void cleanUpWorkspaceMask(Workspace& workspace) {
  const std::int64_t size = cleanupSizeOf(workspace);
  CleanupCount count;
  try {
    const bool marked = workspace.penMarks.size() == workspace.mask.size();
    count = cleanUpMask(workspace.mask, marked ? workspace.penMarks : cv::Mat(),
                        size);
  } catch (const std::bad_alloc&) {
    // The mask is written only after every allocation: it is untouched.
    say(workspace, "Could not clean up the mask: not enough memory\n");
    return;
  }
  recordMaskStep(workspace);
  const std::string below =
      "clean-up below " + std::to_string(size) + " pixels: ";
  if (count.islands + count.holes == 0) {
    say(workspace, below + "nothing changed\n");
  } else {
    say(workspace, below + counted(count.islands, "island", "islands") +
                       " and " + counted(count.holes, "hole", "holes") +
                       " changed, " + counted(count.pixels, "pixel", "pixels") +
                       "\n");
  }
  recomposeAndShow(workspace);
}

void lowerCleanupSize(Workspace& workspace) {
  setCleanupSize(workspace, cleanupSizeOf(workspace) / 2);
}

void raiseCleanupSize(Workspace& workspace) {
  setCleanupSize(workspace, cleanupSizeOf(workspace) * 2);
}

}  // namespace scribeline
