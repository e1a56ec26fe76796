#include "snapping/color_clusters.h"

namespace scribeline {

namespace {

// A pass count no real input reaches: the assignment cost falls with every
// pass that changes something, so the loop ends long before. The cap only
// guards the mouse handler against a float rounding cycle.
constexpr int kMaxPasses = 100000;

// Returns true when at least one sample changed centre.
bool assignSamples(const std::vector<cv::Vec3b>& samples,
                   const std::vector<cv::Vec3f>& centres,
                   const std::vector<int>& activeCentres,
                   std::vector<int>& assignment) {
  bool changed = false;
  for (size_t i = 0; i < samples.size(); ++i) {
    const cv::Vec3b& s = samples[i];
    float best = 1e8f;
    int index = 0;
    for (int c : activeCentres) {
      const double d0 = s[0] - static_cast<double>(centres[c][0]);
      const double d1 = s[1] - static_cast<double>(centres[c][1]);
      const double d2 = s[2] - static_cast<double>(centres[c][2]);
      const double d = d0 * d0 + d2 * d2 + d1 * d1;
      if (d < best) {
        best = static_cast<float>(d);
        index = c;
      }
    }
    if (assignment[i] != index) {
      assignment[i] = index;
      changed = true;
    }
  }
  return changed;
}

// Moves every centre to the mean of its samples and fills counts; centres
// without samples leave activeCentres.
void updateCentres(const std::vector<cv::Vec3b>& samples,
                   const std::vector<int>& assignment,
                   std::vector<cv::Vec3f>& centres, std::vector<int>& counts,
                   std::vector<int>& activeCentres) {
  std::vector<cv::Vec3d> sums(kGridCentres, cv::Vec3d(0, 0, 0));
  std::fill(counts.begin(), counts.end(), 0);
  for (size_t i = 0; i < samples.size(); ++i) {
    const int c = assignment[i];
    ++counts[c];
    sums[c] += cv::Vec3d(samples[i][0], samples[i][1], samples[i][2]);
  }
  activeCentres.clear();
  for (int c = 0; c < kGridCentres; ++c) {
    if (counts[c] == 0) continue;
    activeCentres.push_back(c);
    centres[c] = cv::Vec3f(static_cast<float>(sums[c][0] / counts[c]),
                           static_cast<float>(sums[c][1] / counts[c]),
                           static_cast<float>(sums[c][2] / counts[c]));
  }
}

}  // namespace

int clusterColors(const std::vector<cv::Vec3b>& samples,
                  std::vector<int>& assignment,
                  std::vector<cv::Vec3f>& centres) {
  centres.assign(kGridCentres, cv::Vec3f());
  std::vector<int> activeCentres(kGridCentres);
  for (int c = 0; c < kGridCentres; ++c) {
    const int i = c / 64, j = (c / 8) % 8, k = c % 8;
    centres[c] = cv::Vec3f(16.0f + 32 * i, 16.0f + 32 * j, 16.0f + 32 * k);
    activeCentres[c] = c;
  }
  assignment.assign(samples.size(), 0);
  // Before any update every sample counts for centre 0, which holds them all
  // if the first pass moves none.
  std::vector<int> counts(kGridCentres, 0);
  counts[0] = static_cast<int>(samples.size());

  for (int pass = 0; pass < kMaxPasses && !samples.empty(); ++pass) {
    if (!assignSamples(samples, centres, activeCentres, assignment)) break;
    updateCentres(samples, assignment, centres, counts, activeCentres);
  }

  const long long m = static_cast<long long>(samples.size());
  int kept = 0;
  for (int c = 0; c < kGridCentres; ++c) {
    if (counts[c] * 100LL > m) centres[kept++] = centres[c];
  }
  return kept;
}

}  // namespace scribeline
