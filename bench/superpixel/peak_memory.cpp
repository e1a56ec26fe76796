// Peak resident memory of one over-segmentation, per pixel of the photo.
// Usage: superpixel_peak_memory [scribeline|opencv]
// For every benchmark photo, in a fresh child process: load the photo, fill a
// caller-owned map, reset the kernel's high-water mark, segment once, and
// report (high-water mark - resident size before the call) / pixels. The
// photo (3 B/px) and the map (4 B/px) are the caller's and not included.
#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/ximgproc/segmentation.hpp>
#include <string>
#include <vector>

#include "photos.h"
#include "superpixel/segment_image.h"

namespace {

// VmRSS or VmHWM of this process, in bytes; -1 when unreadable.
long long statusBytes(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  const std::size_t fieldLength = std::strlen(field);
  while (std::getline(status, line)) {
    if (line.compare(0, fieldLength, field) == 0 && line.size() > fieldLength &&
        line[fieldLength] == ':') {
      return std::stoll(line.substr(fieldLength + 1)) * 1024;
    }
  }
  return -1;
}

bool resetHighWaterMark() {
  std::ofstream clearRefs("/proc/self/clear_refs");
  clearRefs << "5";
  clearRefs.flush();
  return clearRefs.good();
}

int measure(const scribeline::BenchPhoto& photo, bool useOpenCv) {
  const std::string path = scribeline::findPhoto(photo);
  if (path.empty()) {
    std::printf("%s: photo not found, skipped\n", photo.label);
    return 0;
  }
  const cv::Mat image = cv::imread(path, cv::IMREAD_COLOR);
  std::vector<int> map(image.total(), 0);
  cv::Mat labels;
  malloc_trim(0);
  if (!resetHighWaterMark()) {
    std::printf("%s: cannot reset the high-water mark\n", photo.label);
    return 1;
  }
  const long long before = statusBytes("VmRSS");
  int count = 0;
  if (useOpenCv) {
    cv::ximgproc::segmentation::createGraphSegmentation(0.5, 500.0f, 20)
        ->processImage(image, labels);
    double maxLabel = 0;
    cv::minMaxLoc(labels, nullptr, &maxLabel);
    count = static_cast<int>(maxLabel) + 1;
  } else {
    count = scribeline::segmentImage(image, map.data(), 0.5f, 500.0f, 20);
  }
  const long long peak = statusBytes("VmHWM");
  std::printf(
      "%s %s: %d superpixels, peak %.1f MB above the %.1f MB before the call, "
      "%.2f bytes/pixel\n",
      photo.label, useOpenCv ? "opencv" : "segmentImage", count,
      (peak - before) / 1.0e6, before / 1.0e6,
      static_cast<double>(peak - before) / static_cast<double>(image.total()));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const bool useOpenCv = argc > 1 && std::strcmp(argv[1], "opencv") == 0;
  int status = 0;
  for (const scribeline::BenchPhoto& photo : scribeline::benchPhotos) {
    std::fflush(stdout);
    const pid_t child = fork();
    if (child == 0) {
      const int result = measure(photo, useOpenCv);
      std::fflush(stdout);
      _exit(result);
    }
    int childStatus = 0;
    waitpid(child, &childStatus, 0);
    if (!WIFEXITED(childStatus) || WEXITSTATUS(childStatus) != 0) {
      status = 1;
    }
  }
  return status;
}
