// segmentImage against OpenCV contrib's graph segmentation (same sigma, k and
// minimum size) on the benchmark photographs, timed in the same run. After
// the runs the ratios ours / OpenCV are printed per photo, of wall time and
// of CPU time (of the whole process, since segmentImage uses two threads).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <memory>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/ximgproc/segmentation.hpp>
#include <string>
#include <vector>

#include "photos.h"
#include "superpixel/segment_image.h"

namespace {

constexpr float sigma = 0.5f;
constexpr float k = 500.0f;
constexpr int minSize = 20;

const cv::Mat& loadedPhoto(const scribeline::BenchPhoto& photo) {
  static std::map<std::string, cv::Mat> cache;
  auto found = cache.find(photo.label);
  if (found == cache.end()) {
    const std::string path = scribeline::findPhoto(photo);
    cv::Mat image;
    if (!path.empty()) {
      image = cv::imread(path, cv::IMREAD_COLOR);
    }
    found = cache.emplace(photo.label, image).first;
  }
  return found->second;
}

void benchScribeline(benchmark::State& state,
                     const scribeline::BenchPhoto* photo) {
  const cv::Mat& image = loadedPhoto(*photo);
  if (image.empty()) {
    state.SkipWithError(
        (std::string("photo not found: ") + photo->sharedName).c_str());
    return;
  }
  std::vector<int> map(image.total());
  int count = 0;
  for (auto _ : state) {
    count = scribeline::segmentImage(image, map.data(), sigma, k, minSize);
    benchmark::DoNotOptimize(map.data());
  }
  state.counters["superpixels"] = count;
  state.counters["MP"] = image.total() / 1.0e6;
}

void benchOpenCv(benchmark::State& state, const scribeline::BenchPhoto* photo) {
  const cv::Mat& image = loadedPhoto(*photo);
  if (image.empty()) {
    state.SkipWithError(
        (std::string("photo not found: ") + photo->sharedName).c_str());
    return;
  }
  cv::Mat labels;
  for (auto _ : state) {
    auto segmentation =
        cv::ximgproc::segmentation::createGraphSegmentation(sigma, k, minSize);
    segmentation->processImage(image, labels);
    benchmark::DoNotOptimize(labels.data);
  }
  double maxLabel = 0;
  cv::minMaxLoc(labels, nullptr, &maxLabel);
  state.counters["superpixels"] = maxLabel + 1;
  state.counters["MP"] = image.total() / 1.0e6;
}

// Console output plus, at the end, ours / OpenCV for every photo.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (!run.error_occurred) {
        seconds_[run.benchmark_name()] = {run.GetAdjustedRealTime() / 1.0e3,
                                          run.GetAdjustedCPUTime() / 1.0e3};
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    for (const scribeline::BenchPhoto& photo : scribeline::benchPhotos) {
      const auto ours =
          seconds_.find(std::string("segmentImage/") + photo.label + suffix);
      const auto peer = seconds_.find(std::string("opencvGraphSegmentation/") +
                                      photo.label + suffix);
      if (ours != seconds_.end() && peer != seconds_.end()) {
        const Seconds& us = ours->second;
        const Seconds& them = peer->second;
        std::printf(
            "%s: wall segmentImage %.3f s, OpenCV %.3f s, ratio %.3f; "
            "CPU segmentImage %.3f s, OpenCV %.3f s, ratio %.3f\n",
            photo.label, us.wall, them.wall, us.wall / them.wall, us.cpu,
            them.cpu, us.cpu / them.cpu);
      }
    }
  }

 private:
  static constexpr const char* suffix =
      "/iterations:1/repeats:3/process_time/real_time_median";
  struct Seconds {
    double wall;
    double cpu;
  };
  std::map<std::string, Seconds> seconds_;
};

}  // namespace

int main(int argc, char** argv) {
  for (const scribeline::BenchPhoto& photo : scribeline::benchPhotos) {
    benchmark::RegisterBenchmark(
        (std::string("segmentImage/") + photo.label).c_str(), benchScribeline,
        &photo)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1)
        ->Repetitions(3)
        ->ReportAggregatesOnly(true)
        ->MeasureProcessCPUTime()
        ->UseRealTime();
    benchmark::RegisterBenchmark(
        (std::string("opencvGraphSegmentation/") + photo.label).c_str(),
        benchOpenCv, &photo)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1)
        ->Repetitions(3)
        ->ReportAggregatesOnly(true)
        ->MeasureProcessCPUTime()
        ->UseRealTime();
  }
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
