#pragma once

// Photos for the benchmarks that run the program, by name.

#include <sys/stat.h>

#include <cstdlib>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <string>

#include "tests/support/photos.h"

namespace scribeline::e2e {

inline bool fileExists(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0;
}

// Where made photos are kept between runs: SCRIBELINE_BENCH_CACHE or /tmp.
inline std::string cacheFolder() {
  const char* folder = std::getenv("SCRIBELINE_BENCH_CACHE");
  return folder != nullptr && *folder != '\0' ? folder : "/tmp";
}

// The photo to start on, by name: "tiny" (64 x 48, made here), a photo of
// the shared folder, or "elephants_100MP": the 18 MP elephants enlarged 2.4
// times to 13536 x 7613 (103 MP), made once and kept in the cache folder.
// Empty when it cannot be had.
inline std::string photoPath(const std::string& name) {
  if (name == "tiny") {
    const std::string path = cacheFolder() + "/scribeline_bench_tiny.png";
    if (!fileExists(path)) {
      cv::Mat tiny(48, 64, CV_8UC3);
      cv::randu(tiny, 0, 255);
      cv::imwrite(path, tiny);
    }
    return path;
  }
  if (name == "elephants_100MP") {
    const std::string path =
        cacheFolder() + "/scribeline_bench_elephants_13536x7613.jpg";
    if (!fileExists(path)) {
      const std::string source = findPhoto("elephants_5640x3172.jpg");
      if (source.empty()) return "";
      cv::Mat enlarged;
      cv::resize(cv::imread(source), enlarged, cv::Size(13536, 7613), 0, 0,
                 cv::INTER_CUBIC);
      cv::imwrite(path, enlarged, {cv::IMWRITE_JPEG_QUALITY, 90});
    }
    return path;
  }
  return findPhoto(name);
}

}  // namespace scribeline::e2e
