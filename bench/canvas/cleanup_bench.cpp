// The clean-up and the label statistics on the 18 MP photograph, over masks
// of many regions of every size: the photograph, blurred, cut into 25 labels
// by brightness and hue, so that textured parts break into specks and flat
// parts into large regions. The argument is the blur's kernel size: 5 gives
// a mask of about 2.2 million runs (an extreme of speckle), 41 one of about
// 0.5 million. Peers in the same run: one
// cv::connectedComponentsWithStats (4-connected) over the pixels of one
// label, and one copy of the mask.
#include <benchmark/benchmark.h>

#include <map>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <string>

#include "canvas/label_statistics.h"
#include "canvas/mask_cleanup.h"
#include "palette/palette.h"
#include "tests/support/photos.h"

namespace scribeline {
namespace {

// The mask described above; empty when the photograph is not found.
cv::Mat speckledMask(int blur) {
  static std::map<int, cv::Mat> masks;
  if (masks.count(blur) == 0)
    masks[blur] = [blur] {
      const std::string path = findPhoto("elephants_5640x3172.jpg");
      if (path.empty()) return cv::Mat();
      const cv::Mat photo = cv::imread(path, cv::IMREAD_COLOR);
      cv::Mat blurred, hsv;
      cv::GaussianBlur(photo, blurred, cv::Size(blur, blur), 0);
      cv::cvtColor(blurred, hsv, cv::COLOR_BGR2HSV);
      cv::Mat result(photo.size(), CV_8UC3);
      for (int y = 0; y < hsv.rows; ++y) {
        for (int x = 0; x < hsv.cols; ++x) {
          const cv::Vec3b p = hsv.at<cv::Vec3b>(y, x);
          const int label = (p[2] / 52) * 5 + p[0] / 36;  // 5 x 5 bins
          result.at<cv::Vec3b>(y, x) = labelPixel(label % numLabels);
        }
      }
      return result;
    }();
  return masks[blur];
}

bool haveMask(benchmark::State& state) {
  if (!speckledMask(5).empty()) return true;
  state.SkipWithError("elephants_5640x3172.jpg not found");
  return false;
}

void BM_CleanUp(benchmark::State& state) {
  if (!haveMask(state)) return;
  cv::Mat mask;
  CleanupCount count;
  for (auto _ : state) {
    state.PauseTiming();
    speckledMask(static_cast<int>(state.range(0))).copyTo(mask);
    state.ResumeTiming();
    count = cleanUpMask(mask, cv::Mat(), defaultCleanupSize(mask.total()));
  }
  state.counters["islands"] = double(count.islands);
  state.counters["holes"] = double(count.holes);
  state.counters["pixels"] = double(count.pixels);
}
BENCHMARK(BM_CleanUp)->Arg(5)->Arg(41)->Unit(benchmark::kMillisecond);

void BM_LabelStatistics(benchmark::State& state) {
  if (!haveMask(state)) return;
  for (auto _ : state) benchmark::DoNotOptimize(countLabels(speckledMask(5)));
}
BENCHMARK(BM_LabelStatistics)->Unit(benchmark::kMillisecond);

void BM_PeerConnectedComponentsOfOneLabel(benchmark::State& state) {
  if (!haveMask(state)) return;
  cv::Mat plane, labels, stats, centroids;
  const cv::Scalar colour = labelColor(0);
  for (auto _ : state) {
    cv::inRange(speckledMask(5), colour, colour, plane);
    benchmark::DoNotOptimize(cv::connectedComponentsWithStats(
        plane, labels, stats, centroids, 4, CV_32S));
  }
}
BENCHMARK(BM_PeerConnectedComponentsOfOneLabel)->Unit(benchmark::kMillisecond);

void BM_PeerCopyOfTheMask(benchmark::State& state) {
  if (!haveMask(state)) return;
  cv::Mat copy;
  for (auto _ : state) speckledMask(5).copyTo(copy);
}
BENCHMARK(BM_PeerCopyOfTheMask)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace scribeline

BENCHMARK_MAIN();
