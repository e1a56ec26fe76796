// What keeps an autosave within its 2 s on a mask of the 18 MP photograph's
// size (5640 x 3172): the encoding, the whole write, and the key loop's
// share of a change.
//
// Masks: "noise", one of the 25 labels per pixel at random (the worst a
// mask of labels gets), and "regions", labels in 64-pixel blocks (a mask as
// lazy snapping leaves it).
//
// Benchmarks:
// - Encode/<mask>/autosave: encodeAutosavePng; peer Encode/<mask>/mask_file,
//   cv::imencode as the mask file is encoded. Counter bytes: the PNG's size.
// - Write/<mask>: encodeAutosavePng, then replaceOwnFile (written, flushed
//   to the disk, renamed): one background write. Counter within_delay: that
//   time divided by half of the autosave's 2 s (the most a write may take
//   for a change noted during another write to be on disk in time: at most
//   1).
// - OnDisk/<mask>: an Autosaver with the program's options told of a change
//   of the whole mask, until its file holds the change (a new file at its
//   path). Counter over_delay: that time divided by the 2 s promised (at
//   most 1).
// - Note/dab and Note/whole: the key loop's part of a change, an Autosaver
//   told of a pen dab (radius 10) by its area against one told of a change
//   of the whole mask.
#include <benchmark/benchmark.h>
#include <sys/stat.h>
#include <unistd.h>

#include <opencv2/imgcodecs.hpp>
#include <string>
#include <thread>
#include <vector>

#include "autosave/autosave.h"
#include "autosave/autosave_png.h"
#include "files/atomic_write.h"
#include "palette/palette.h"

namespace scribeline {
namespace {

const cv::Size kPhotoSize(5640, 3172);

cv::Vec3b colourOf(int label) {
  const cv::Scalar colour = labelColor(label);
  return cv::Vec3b(static_cast<uchar>(colour[0]), static_cast<uchar>(colour[1]),
                   static_cast<uchar>(colour[2]));
}

const cv::Mat& maskOf(const std::string& kind) {
  static const cv::Mat noise = [] {
    cv::Mat mask(kPhotoSize, CV_8UC3);
    cv::RNG rng(20261210);
    for (int y = 0; y < mask.rows; ++y)
      for (int x = 0; x < mask.cols; ++x)
        mask.at<cv::Vec3b>(y, x) = colourOf(rng.uniform(0, numLabels));
    return mask;
  }();
  static const cv::Mat regions = [] {
    cv::Mat mask(kPhotoSize, CV_8UC3);
    for (int y = 0; y < mask.rows; ++y)
      for (int x = 0; x < mask.cols; ++x)
        mask.at<cv::Vec3b>(y, x) =
            colourOf((x / 64 + 7 * (y / 64)) % numLabels);
    return mask;
  }();
  return kind == "noise" ? noise : regions;
}

void encodeAutosave(benchmark::State& state, std::string kind) {
  const cv::Mat& mask = maskOf(kind);
  size_t bytes = 0;
  for (auto _ : state) {
    const auto png = encodeAutosavePng(mask);
    bytes = png.value().size();
  }
  state.counters["bytes"] = static_cast<double>(bytes);
}

void encodeMaskFile(benchmark::State& state, std::string kind) {
  const cv::Mat& mask = maskOf(kind);
  size_t bytes = 0;
  for (auto _ : state) {
    std::vector<unsigned char> png;
    cv::imencode(".png", mask, png);
    bytes = png.size();
  }
  state.counters["bytes"] = static_cast<double>(bytes);
}

void writeAutosave(benchmark::State& state, std::string kind) {
  const cv::Mat& mask = maskOf(kind);
  const std::string path =
      "/tmp/scribeline_bench_" + std::to_string(::getpid()) + ".png";
  double seconds = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    const auto png = encodeAutosavePng(mask);
    const Status written =
        replaceOwnFile(path, png.value().data(), png.value().size());
    seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start)
            .count();
    if (!written.ok()) state.SkipWithError(written.reason().c_str());
  }
  ::unlink(path.c_str());
  state.counters["within_delay"] = seconds / 1.0;
}

ino_t inodeOf(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 ? info.st_ino : 0;
}

void changeOnDisk(benchmark::State& state, std::string kind) {
  cv::Mat live = maskOf(kind).clone();
  const std::string path =
      "/tmp/scribeline_bench_ondisk_" + std::to_string(::getpid()) + ".png";
  Autosaver autosaver(path);
  // A first write measures how long writes take, as in a session.
  autosaver.noteChange(live);
  autosaver.flush();
  double seconds = 0;
  int step = 0;
  for (auto _ : state) {
    live(cv::Rect(step++ % 100, 0, 10, 10)).setTo(cv::Scalar(0, 0, 128));
    const ino_t before = inodeOf(path);
    const auto start = std::chrono::steady_clock::now();
    autosaver.noteChange(live);
    while (inodeOf(path) == before)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start)
            .count();
  }
  autosaver.discard();
  state.counters["over_delay"] = seconds / 2.0;
}

void noteChange(benchmark::State& state, bool dab) {
  cv::Mat live = maskOf("regions").clone();
  // Written never: only the key loop's part is timed.
  Autosaver autosaver(
      "/tmp/scribeline_bench_unwritten.png",
      {std::chrono::hours(1), std::chrono::hours(1), AutosaveReport()});
  autosaver.noteChange(live);
  int step = 0;
  for (auto _ : state) {
    const cv::Rect area((step * 37) % (kPhotoSize.width - 21),
                        (step * 53) % (kPhotoSize.height - 21), 21, 21);
    ++step;
    live(area).setTo(cv::Scalar(128, 0, 128));
    if (dab) {
      autosaver.notePaint(live, area);
    } else {
      autosaver.noteChange(live);
    }
  }
}

BENCHMARK_CAPTURE(encodeAutosave, noise, std::string("noise"))
    ->Name("Encode/noise/autosave")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(encodeMaskFile, noise, std::string("noise"))
    ->Name("Encode/noise/mask_file")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(encodeAutosave, regions, std::string("regions"))
    ->Name("Encode/regions/autosave")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(encodeMaskFile, regions, std::string("regions"))
    ->Name("Encode/regions/mask_file")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(writeAutosave, noise, std::string("noise"))
    ->Name("Write/noise")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);
BENCHMARK_CAPTURE(writeAutosave, regions, std::string("regions"))
    ->Name("Write/regions")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);
BENCHMARK_CAPTURE(changeOnDisk, noise, std::string("noise"))
    ->Name("OnDisk/noise")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK_CAPTURE(changeOnDisk, regions, std::string("regions"))
    ->Name("OnDisk/regions")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK_CAPTURE(noteChange, dab, true)
    ->Name("Note/dab")
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(noteChange, whole, false)
    ->Name("Note/whole")
    ->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace scribeline

BENCHMARK_MAIN();
