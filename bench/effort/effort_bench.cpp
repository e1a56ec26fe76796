// A user's effort: how many strokes, clicks or presses a simulated user needs
// to reach 85 % and 90 % mean intersection over union with an exact ground
// truth, on synthetic photos made here, through the real tools of a whole
// workspace (the scripted window system stands in for the screen).
//
// The simulated users:
//   lSnapper  the next stroke is a short horizontal line through the deepest
//             point of the largest wrongly labelled region, in its true label;
//   iScissor  objects one after the other: the pointer rests on the
//             contour's start; while the live-wire from the last fixed point
//             strays from the true outline, the next click goes to the point
//             of the outline still ahead nearest to where it strays furthest;
//             then a click on the start, Ctrl+Enter, and "N";
//   fill      a press at the deepest point of the largest wrongly labelled
//             region, in its true label, with the tolerance that gains the
//             most there (set before the press, as "[" and "]" do).
// Counts are capped at kCap: "-" in the table means the user never got there.
// This is a measure to improve against, not a test.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <opencv2/imgproc.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "app/commands.h"
#include "app/session.h"
#include "app/tools.h"
#include "canvas/workspace.h"
#include "fill/region_growth.h"
#include "palette/palette.h"
#include "scissors/auto_anchor.h"
#include "scissors/scissor_tool.h"
#include "ui/scripted_window_system.h"

namespace scribeline {
namespace {

constexpr int kCap = 20;
constexpr int kWidth = 360, kHeight = 270;

// ---------------------------------------------------------------------------
// Synthetic photos with their truth (a label index per pixel).

struct Scene {
  std::string name;
  cv::Mat image;  // 8-bit BGR
  cv::Mat truth;  // 8-bit label indices
};

// `base` with a coherent texture: blurred noise of amplitude `grain` and
// diagonal stripes of amplitude `stripes`.
cv::Mat texture(cv::Size size, cv::Scalar base, double grain, double stripes,
                cv::RNG& rng) {
  cv::Mat noise(size, CV_32FC3);
  rng.fill(noise, cv::RNG::NORMAL, cv::Scalar::all(0), cv::Scalar::all(grain));
  cv::GaussianBlur(noise, noise, cv::Size(0, 0), 1.2);
  cv::Mat out(size, CV_32FC3, base);
  out += noise;
  for (int y = 0; y < size.height; ++y)
    for (int x = 0; x < size.width; ++x) {
      const float s = static_cast<float>(stripes * std::sin((x + y) * 0.35));
      out.at<cv::Vec3f>(y, x) += cv::Vec3f(s, s, s);
    }
  cv::Mat bytes;
  out.convertTo(bytes, CV_8UC3);
  return bytes;
}

// Paints `label`'s region (where `shape` is set) with its own texture.
void paint(Scene& scene, const cv::Mat& shape, int label, cv::Scalar colour,
           double grain, double stripes, cv::RNG& rng) {
  texture(scene.image.size(), colour, grain, stripes, rng)
      .copyTo(scene.image, shape);
  scene.truth.setTo(label, shape);
}

cv::Mat blankShape() { return cv::Mat::zeros(kHeight, kWidth, CV_8U); }

Scene makeScene(int which) {
  cv::RNG rng(1234 + which);
  Scene scene;
  scene.truth = blankShape();
  const cv::Scalar ground(70, 110, 80);
  scene.image = texture({kWidth, kHeight}, ground, 14, 8, rng);
  cv::Mat shape;
  switch (which) {
    case 0: {  // clear objects under a flat sky
      scene.name = "shapes";
      shape = blankShape();
      shape(cv::Rect(0, 0, kWidth, 60)).setTo(255);
      paint(scene, shape, 4, cv::Scalar(225, 195, 150), 1.5, 0, rng);
      shape = blankShape();
      cv::ellipse(shape, {100, 160}, {60, 42}, 20, 0, 360, 255, cv::FILLED);
      paint(scene, shape, 1, cv::Scalar(40, 60, 200), 12, 6, rng);
      shape = blankShape();
      cv::rectangle(shape, cv::Rect(200, 90, 100, 80), 255, cv::FILLED);
      paint(scene, shape, 2, cv::Scalar(200, 90, 50), 12, 6, rng);
      break;
    }
    case 1: {  // low-contrast edges
      scene.name = "low-contrast";
      shape = blankShape();
      cv::circle(shape, {110, 130}, 60, 255, cv::FILLED);
      paint(scene, shape, 1, ground + cv::Scalar(22, 18, 28), 14, 8, rng);
      shape = blankShape();
      const std::vector<cv::Point> triangle = {
          {210, 230}, {330, 250}, {280, 60}};
      cv::fillPoly(shape, std::vector<std::vector<cv::Point>>{triangle}, 255);
      paint(scene, shape, 2, ground - cv::Scalar(20, 25, 15), 14, 8, rng);
      break;
    }
    default: {  // a wall with small and thin things on it
      scene.name = "small-things";
      scene.image =
          texture({kWidth, kHeight}, cv::Scalar(170, 170, 160), 2, 0, rng);
      shape = blankShape();
      cv::rectangle(shape, cv::Rect(0, 200, kWidth, 70), 255, cv::FILLED);
      paint(scene, shape, 3, cv::Scalar(60, 60, 60), 16, 10, rng);
      const cv::Point centres[] = {{60, 80}, {150, 60}, {250, 100}, {320, 50}};
      for (const cv::Point centre : centres) {
        shape = blankShape();
        cv::circle(shape, centre, 18, 255, cv::FILLED);
        paint(scene, shape, 1, cv::Scalar(30, 140, 220), 10, 5, rng);
      }
      shape = blankShape();
      cv::line(shape, {20, 150}, {340, 170}, 255, 7);
      paint(scene, shape, 2, cv::Scalar(150, 40, 40), 8, 0, rng);
      break;
    }
  }
  return scene;
}

constexpr int kScenes = 3;

// ---------------------------------------------------------------------------
// Measuring.

std::vector<int> labelsOf(const cv::Mat& truth) {
  std::vector<int> labels;
  for (int label = 0; label < 256; ++label)
    if (cv::countNonZero(truth == label) > 0) labels.push_back(label);
  return labels;
}

// The label index of every mask pixel; 255 for a colour of no label.
cv::Mat labelsOfMask(const cv::Mat& mask, const std::vector<int>& labels) {
  cv::Mat out(mask.size(), CV_8U, cv::Scalar(255));
  for (const int label : labels) {
    const cv::Scalar colour = labelColor(label);
    cv::Mat match;
    cv::inRange(mask, colour, colour, match);
    out.setTo(label, match);
  }
  return out;
}

// Mean over the labels of the truth of each label's intersection over union.
double meanIou(const cv::Mat& mask, const cv::Mat& truth) {
  const std::vector<int> labels = labelsOf(truth);
  const cv::Mat found = labelsOfMask(mask, labels);
  double sum = 0;
  for (const int label : labels) {
    const cv::Mat a = found == label, b = truth == label;
    const double both = cv::countNonZero(a & b);
    const double either = cv::countNonZero(a | b);
    sum += either > 0 ? both / either : 1.0;
  }
  return sum / static_cast<double>(labels.size());
}

// The largest connected region of pixels whose mask label is wrong, all of
// one true label: its pixels and that label. Empty when the mask is right.
struct Wrong {
  cv::Mat region;
  int label = -1;
  int pixels = 0;
};

Wrong largestWrongRegion(const cv::Mat& mask, const cv::Mat& truth) {
  const std::vector<int> labels = labelsOf(truth);
  const cv::Mat wrong = labelsOfMask(mask, labels) != truth;
  Wrong best;
  for (const int label : labels) {
    cv::Mat components, stats, centroids;
    const int count = cv::connectedComponentsWithStats(
        wrong & (truth == label), components, stats, centroids, 8, CV_32S);
    for (int c = 1; c < count; ++c) {
      const int area = stats.at<int>(c, cv::CC_STAT_AREA);
      if (area <= best.pixels) continue;
      best.pixels = area;
      best.label = label;
      best.region = components == c;
    }
  }
  return best;
}

// The point of `region` furthest from its border and from the photo's edge.
cv::Point deepestPoint(const cv::Mat& region) {
  cv::Mat framed, distance;
  cv::copyMakeBorder(region, framed, 1, 1, 1, 1, cv::BORDER_CONSTANT, 0);
  cv::distanceTransform(framed, distance, cv::DIST_L2, 3);
  cv::Point at;
  cv::minMaxLoc(distance, nullptr, nullptr, nullptr, &at);
  return at - cv::Point(1, 1);
}

// ---------------------------------------------------------------------------
// A whole workspace over the scripted window system.

class Session {
 public:
  explicit Session(const Scene& scene) {
    workspace_.image = scene.image.clone();
    workspace_.labelListPath = "no_such_label_list.txt";
    installTools(workspace_);
    startUp(workspace_, "effort_photo.png");
  }
  Workspace& workspace() { return workspace_; }
  const cv::Mat& mask() const { return workspace_.mask; }
  void key(int code) { runCommand(workspace_, code); }
  void pick(int label) {
    windows_.sendMouse(kToolboxWindow, kLeftButtonDown, 60, label * 20 + 5);
  }
  void mouse(int event, cv::Point at, int flags) {
    windows_.sendMouse(kMainWindow, event, at.x, at.y, flags);
  }
  void click(cv::Point at) {
    mouse(kLeftButtonDown, at, kMouseFlagLeftButton);
    mouse(kLeftButtonUp, at, 0);
  }
  void drag(const std::vector<cv::Point>& path) {
    mouse(kLeftButtonDown, path.front(), kMouseFlagLeftButton);
    for (size_t k = 1; k < path.size(); ++k)
      mouse(kMouseMove, path[k], kMouseFlagLeftButton);
    mouse(kLeftButtonUp, path.back(), 0);
  }
  template <typename T>
  T* tool(int number) {
    return dynamic_cast<T*>(workspace_.tools[number].get());
  }

 private:
  ScriptedWindowSystem windows_;
  std::ostringstream console_;
  Workspace workspace_{windows_, console_};
};

// Actions until the mean IoU first reached 0.85 and 0.90; kCap + 1 when not
// within kCap actions.
struct Effort {
  int to85 = kCap + 1;
  int to90 = kCap + 1;
  double last = 0;  // the mean IoU after the last action
  void note(int actions, double iou) {
    last = iou;
    if (iou >= 0.85 && to85 > kCap) to85 = actions;
    if (iou >= 0.90 && to90 > kCap) to90 = actions;
  }
  bool done() const { return to90 <= kCap; }
};

// Options of a run: the clean-up key after every action; auto anchoring of
// the live-wire, with the pointer traced along the outline.
struct Options {
  bool cleanUp = false;
  bool anchoring = false;
};

void afterAction(Session& session, const Options& options) {
  if (options.cleanUp) session.key('c');
}

// ---------------------------------------------------------------------------
// The simulated users.

Effort snapperUser(const Scene& scene, const Options& options) {
  Session session(scene);
  session.key('1');
  Effort effort;
  for (int stroke = 1; stroke <= kCap && !effort.done(); ++stroke) {
    const Wrong wrong = largestWrongRegion(session.mask(), scene.truth);
    if (wrong.label < 0) break;
    const cv::Point centre = deepestPoint(wrong.region);
    std::vector<cv::Point> path;
    for (int dx = -12; dx <= 12; ++dx) {
      const cv::Point p(centre.x + dx, centre.y);
      if (p.x >= 0 && p.x < kWidth && wrong.region.at<uchar>(p) != 0)
        path.push_back(p);
    }
    if (path.size() < 2) path = {centre, centre + cv::Point(1, 0)};
    session.pick(wrong.label);
    session.drag(path);
    afterAction(session, options);
    effort.note(stroke, meanIou(session.mask(), scene.truth));
  }
  return effort;
}

// The outlines of the regions of each label but 0 (what "N" leaves around
// the contours), one point per pixel step, in label order.
std::vector<std::pair<int, std::vector<cv::Point>>> objectsOf(
    const cv::Mat& truth) {
  std::vector<std::pair<int, std::vector<cv::Point>>> objects;
  for (const int label : labelsOf(truth)) {
    if (label == 0) continue;
    std::vector<std::vector<cv::Point>> contours;
    cv::findContours(truth == label, contours, cv::RETR_EXTERNAL,
                     cv::CHAIN_APPROX_NONE);
    for (auto& contour : contours)
      if (contour.size() >= 8) objects.emplace_back(label, std::move(contour));
  }
  return objects;
}

Effort scissorsUser(const Scene& scene, const Options& options) {
  Session session(scene);
  session.key('0');
  ScissorTool* tool = session.tool<ScissorTool>(kToolScissors);
  // A pointer move every 25 ms, on a clock of the user's own.
  AnchorClock::time_point now{};
  tool->setClock([&now] { return now; });
  if (options.anchoring) session.key('a');
  Effort effort;
  int clicks = 0;
  constexpr double kStray = 2.0;  // pixels off the true outline
  // Regions touching the photo's edge are outlined along it, as a user
  // would (the contour runs on the border pixels).
  for (const auto& [label, outline] : objectsOf(scene.truth)) {
    if (clicks > kCap) break;
    session.pick(label);
    const size_t length = outline.size();
    size_t at = 0;  // outline index of the last fixed point
    session.click(outline[0]);
    ++clicks;
    // The pointer rests half-way round, then on the start (index length):
    // each segment the live-wire keeps to the outline becomes a click there.
    while (clicks <= kCap && at < length) {
      const size_t target = at < length / 2 ? length / 2 : length;
      const cv::Point aim = outline[target % length];
      if (options.anchoring) {
        // The pointer follows the outline to the aim; the points fixed on
        // the way cost no click.
        for (size_t k = at + 2; k < target; k += 2) {
          now += std::chrono::milliseconds(25);
          session.mouse(kMouseMove, outline[k], 0);
        }
        // The last point fixed, taken to the outline point nearest to it.
        const cv::Point seed = tool->scissor()->seed();
        double nearest = cv::norm(outline[at % length] - seed);
        for (size_t k = at + 1; k < target; ++k)
          if (cv::norm(outline[k] - seed) < nearest) {
            nearest = cv::norm(outline[k] - seed);
            at = k;
          }
      }
      now += std::chrono::milliseconds(25);
      session.mouse(kMouseMove, aim, 0);
      // The point of the outline between the last fixed point and the aim
      // that the live-wire misses most.
      cv::Mat off(scene.truth.size(), CV_8U, cv::Scalar(255));
      for (const cv::Point p : tool->scissor()->pathToSeed(aim))
        off.at<uchar>(p) = 0;
      off.at<uchar>(outline[at % length]) = 0;
      cv::Mat distance;
      cv::distanceTransform(off, distance, cv::DIST_L2, 3);
      double worst = 0;
      size_t next = target;
      for (size_t k = at + 1; k < target; ++k)
        if (distance.at<float>(outline[k]) > worst) {
          worst = distance.at<float>(outline[k]);
          if (worst > kStray) next = k;
        }
      at = next;
      session.click(outline[at % length]);
      ++clicks;
    }
    if (clicks > kCap) break;
    session.key(kKeyCtrlEnter);
    session.key('N');
    afterAction(session, options);
    effort.note(clicks, meanIou(session.mask(), scene.truth));
  }
  return effort;
}

// The tolerance whose region gains the most at `seed` for `label`: pixels
// of that label not yet so, less pixels right already that it would
// overwrite.
int toleranceNeeded(const Scene& scene, const cv::Mat& mask, cv::Point seed,
                    int label) {
  RegionGrowth growth;
  growth.start(scene.image, seed, kMaxFillTolerance);
  const cv::Mat found = labelsOfMask(mask, labelsOf(scene.truth));
  std::vector<long> gain(kMaxFillTolerance + 2, 0);
  for (int y = 0; y < scene.image.rows; ++y) {
    const std::uint16_t* keys = growth.keyRow(y);
    for (int x = 0; x < scene.image.cols; ++x) {
      const int stored = keys[x] & ~RegionGrowth::kTaken;
      if (stored == 0) continue;
      const int truth = scene.truth.at<uchar>(y, x);
      const int now = found.at<uchar>(y, x);
      gain[stored - 1] += truth == label ? (now != label) : -(now == truth);
    }
  }
  int best = 0;
  long sum = 0, bestSum = LONG_MIN;
  for (int t = 0; t <= kMaxFillTolerance; ++t) {
    sum += gain[t];
    if (sum > bestSum) {
      bestSum = sum;
      best = t;
    }
  }
  return best;
}

Effort fillUser(const Scene& scene, const Options& options) {
  Session session(scene);
  session.key('3');
  Effort effort;
  for (int press = 1; press <= kCap && !effort.done(); ++press) {
    const Wrong wrong = largestWrongRegion(session.mask(), scene.truth);
    if (wrong.label < 0) break;
    const cv::Point seed = deepestPoint(wrong.region);
    // As set with "[" and "]" before the press.
    session.workspace().fillTolerance =
        toleranceNeeded(scene, session.mask(), seed, wrong.label);
    session.pick(wrong.label);
    session.click(seed);
    afterAction(session, options);
    effort.note(press, meanIou(session.mask(), scene.truth));
  }
  return effort;
}

// ---------------------------------------------------------------------------
// The table.

struct Row {
  std::string tool, scene, variant;
  Effort effort;
};

std::vector<Row>& rows() {
  static std::vector<Row> all;
  return all;
}

using User = Effort (*)(const Scene&, const Options&);

void benchUser(benchmark::State& state, const std::string& toolName, User user,
               Options options, const std::string& variant) {
  const Scene scene = makeScene(static_cast<int>(state.range(0)));
  Effort effort;
  for (auto _ : state) effort = user(scene, options);
  state.counters["to85"] = effort.to85;
  state.counters["to90"] = effort.to90;
  rows().push_back({toolName, scene.name, variant, effort});
}

std::string count(int n) { return n > kCap ? "-" : std::to_string(n); }

void printTable() {
  std::printf("\n%-10s %-14s %-14s %6s %6s %9s\n", "tool", "photo", "variant",
              "85%", "90%", "last IoU");
  std::map<std::string, std::pair<double, int>> mean85, mean90;
  for (const Row& row : rows()) {
    std::printf("%-10s %-14s %-14s %6s %6s %9.3f\n", row.tool.c_str(),
                row.scene.c_str(), row.variant.c_str(),
                count(row.effort.to85).c_str(), count(row.effort.to90).c_str(),
                row.effort.last);
    const std::string key = row.tool + " " + row.variant;
    mean85[key].first += std::min(row.effort.to85, kCap);
    mean85[key].second += 1;
    mean90[key].first += std::min(row.effort.to90, kCap);
    mean90[key].second += 1;
  }
  std::printf("\nmean (a miss counts as %d)\n", kCap);
  for (const auto& [key, sum] : mean85)
    std::printf("%-30s %6.1f %6.1f\n", key.c_str(), sum.first / sum.second,
                mean90[key].first / mean90[key].second);
}

}  // namespace
}  // namespace scribeline

int main(int argc, char** argv) {
  using namespace scribeline;
  const struct {
    const char* tool;
    User user;
    Options options;
    const char* variant;
  } runs[] = {
      {"lSnapper", snapperUser, {}, "plain"},
      {"lSnapper", snapperUser, {true}, "clean-up"},
      {"iScissor", scissorsUser, {}, "plain"},
      {"iScissor", scissorsUser, {false, true}, "anchoring"},
      {"iScissor", scissorsUser, {true, true}, "anch+clean"},
      {"fill", fillUser, {}, "plain"},
      {"fill", fillUser, {true}, "clean-up"},
  };
  for (const auto& run : runs)
    benchmark::RegisterBenchmark(
        (std::string("Effort/") + run.tool + "/" + run.variant).c_str(),
        [run](benchmark::State& state) {
          benchUser(state, run.tool, run.user, run.options, run.variant);
        })
        ->DenseRange(0, kScenes - 1)
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  printTable();
  return 0;
}
