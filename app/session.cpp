#include "app/session.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <condition_variable>
#include <deque>
#include <exception>
#include <iostream>
#include <mutex>
#include <new>
#include <opencv2/imgcodecs.hpp>
#include <sstream>
#include <thread>
#include <vector>

#include "app/commands.h"
#include "app/mapped_allocator.h"
#include "app/recovery.h"
#include "app/start_checks.h"
#include "app/toolbox.h"
#include "canvas/mask_steps.h"
#include "canvas/mouse.h"
#include "canvas/view.h"
#include "canvas/window_placement.h"
#include "files/image_read.h"
#include "files/mask_file.h"

namespace scribeline {
namespace {

// The preparations of every StartUp of the process, run one after the other
// by one worker thread, which starts when there is work and ends when there
// is none left.
struct Job {
  std::shared_ptr<StartUp::Shared> shared;
  int tool;
  Preparation work;
};
std::mutex jobsMutex;
std::condition_variable jobsEnded;
std::deque<Job> jobs;     // waiting, oldest first; guarded by jobsMutex
int jobsUnderWay = 0;     // waiting or running; guarded by jobsMutex
bool workerRuns = false;  // guarded by jobsMutex

// The nice value of the preparation worker: a low priority, not an idle one.
constexpr int kPreparationNice = 10;

// From this size on, a photo's engines are prepared before its first view
// is shown (see StartUp::StartUp).
constexpr size_t kPrepareAtOncePixels = size_t{8} << 20;

// Sends what is written to `console` to `held` instead, for the object's
// lifetime.
class ConsoleHold {
 public:
  ConsoleHold(std::ostream& console, std::string& held)
      : console_(console), held_(held), before_(console.rdbuf(&buffer_)) {}
  ~ConsoleHold() {
    console_.rdbuf(before_);
    held_ += buffer_.str();
  }
  ConsoleHold(const ConsoleHold&) = delete;
  ConsoleHold& operator=(const ConsoleHold&) = delete;

 private:
  std::ostream& console_;
  std::string& held_;
  std::stringbuf buffer_;
  std::streambuf* before_;
};

// An all-zero mask (label 0 everywhere) of the given size, made at once.
cv::Mat blankMask(cv::Size size) { return zeroPicture(size, CV_8UC3); }

// The mask starts blank (all label 0) and that is where the history starts;
// it is what was last saved unless findOrCreateMask takes another. Each is a
// blank of its own, made at once: no copy of a whole mask before the photo
// shows.
void startBlankMask(Workspace& workspace) {
  const cv::Size size = workspace.image.size();
  workspace.mask = blankMask(size);
  workspace.history.adopt(blankMask(size));
  workspace.savedMask = blankMask(size);
}

// After startBlankMask: an autosave of this photo is offered first; else a
// saved mask of the image's size is offered for loading. A mask taken either
// way is the first step, and shows in the "Mask" window. A mask file that
// cannot be used is named, as the first save will replace it. Returns
// whether a mask was taken.
bool findOrCreateMask(Workspace& workspace, const std::string& imagePath) {
  const bool recovered = offerRecovery(workspace, imagePath);
  bool taken = recovered;
  if (!taken) {
    const SavedMask saved =
        readMaskFor(workspace.maskPath, workspace.image.size(),
                    ImageLimits::ofThisProcess());
    using State = SavedMask::State;
    switch (saved.state) {
      case State::kNone:
        break;
      case State::kLoaded:
        taken = workspace.windows.askYesNo(
            "Load?",
            "The corresponding mask file exists. Do you want to load it?");
        if (taken) workspace.mask = saved.mask;
        break;
      case State::kOtherSize:
      case State::kUnreadable:
        say(workspace, "The mask file " + workspace.maskPath +
                           " was set aside (" +
                           (saved.state == State::kUnreadable
                                ? "it cannot be read"
                                : "its size is not the photo's") +
                           "): a save will replace it, keeping it as " +
                           maskBackupPath(workspace.maskPath) + "\n");
        break;
      case State::kRefused:
        std::cerr << maskSetAsideLine(workspace.maskPath,
                                      saved.refusal.reason())
                  << std::flush;
        break;
    }
  }
  if (!taken) return false;
  // A recovered autosave is work not yet saved: it leaves savedMask empty,
  // which differs from any mask.
  workspace.savedMask.release();
  if (!recovered) workspace.savedMask = workspace.mask.clone();
  // Recorded without telling the autosave: this state is on disk already.
  workspace.history.record(workspace.mask);
  showMaskView(workspace.views, workspace.windows, workspace.mask);
  return true;
}

}  // namespace

void printBanner(std::ostream& console) {
  console << "Scribeline\n\n"
          << "Usage: EXE filename.img (Drag the image onto the icon of the "
             "EXE file)\n\n"
          << "Acknowledgements:\n"
          << "[1] SuperPixel after P. F. Felzenszwalb and D. P. Huttenlocher, "
             "Efficient Graph-Based Image Segmentation (IJCV 2004)\n"
          << "[2] GraphCut   after Y. Boykov, O. Veksler, R. Zabih and "
             "V. Kolmogorov, expansion moves and max-flow (PAMI 2001, 2004)\n"
          << "[3] iScissor   after E. N. Mortensen and W. A. Barrett, "
             "Intelligent Scissors for Image Composition (SIGGRAPH 1995)\n\n"
          << std::flush;
}

// What a StartUp shares with the preparation worker.
struct StartUp::Shared {
  std::mutex mutex;
  std::condition_variable ended;
  // By tool number, guarded by mutex: whether the tool's preparation has
  // ended (a tool without one: from the start), and how it failed.
  std::vector<bool> done = std::vector<bool>(numTools, true);
  std::vector<std::exception_ptr> failures =
      std::vector<std::exception_ptr>(numTools);
  // Woken at each end; null once the StartUp is gone. Guarded by mutex.
  WindowSystem* windows = nullptr;
};

namespace {

// Runs one preparation and reports its end to its StartUp (and wakes that
// StartUp's key wait), after it has freed what the preparation held.
void runJob(Job job) {
  std::exception_ptr failure;
  try {
    job.work();
  } catch (...) {
    failure = std::current_exception();
  }
  job.work = nullptr;
  StartUp::Shared& shared = *job.shared;
  std::lock_guard<std::mutex> lock(shared.mutex);
  shared.done[job.tool] = true;
  shared.failures[job.tool] = failure;
  shared.ended.notify_all();
  if (shared.windows != nullptr) shared.windows->wake();
}

void runJobs() {
  // Below the key loop, so that the photo, the keys and the mouse are
  // answered at once while the engines are prepared: the engines' own
  // helper threads, started from here, inherit the priority.
  setpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)),
              kPreparationNice);
  std::unique_lock<std::mutex> lock(jobsMutex);
  while (!jobs.empty()) {
    Job job = std::move(jobs.front());
    jobs.pop_front();
    lock.unlock();
    runJob(std::move(job));
    lock.lock();
    --jobsUnderWay;
  }
  workerRuns = false;
  jobsEnded.notify_all();
}

// Queues the preparations in tool-number order.
void startPreparations(const std::shared_ptr<StartUp::Shared>& shared,
                       std::vector<Preparation> work) {
  std::lock_guard<std::mutex> lock(jobsMutex);
  for (int tool = 0; tool < static_cast<int>(work.size()); ++tool) {
    if (!work[tool]) continue;
    jobs.push_back({shared, tool, std::move(work[tool])});
    ++jobsUnderWay;
  }
  if (workerRuns || jobs.empty()) return;
  workerRuns = true;
  std::thread(runJobs).detach();
}

}  // namespace

StartUp::StartUp(Workspace& workspace, const std::string& imagePath)
    : workspace_(workspace),
      shared_(std::make_shared<Shared>()),
      carried_(numTools, false) {
  workspace.maskPath = maskPathFor(imagePath);
  // Said before the long work, not learnt at the first save.
  const Status savable = checkMaskCanBeSaved(workspace.maskPath);
  if (!savable.ok())
    say(workspace, maskUnsavableLine(workspace.maskPath, savable.reason()));
  std::vector<Preparation> work(numTools);
  for (int tool = 0; tool < numTools; ++tool) {
    if (workspace.tools[tool])
      work[tool] = workspace.tools[tool]->prepare(workspace);
    shared_->done[tool] = !work[tool];
  }
  workspace.toolsBuilt = true;
  shared_->windows = &workspace.windows;
  // The engines of a small photo are ready within moments: they are
  // prepared once the photo is on the screen, as until then they would take
  // the cores the window system and the first view need. Those of a large
  // photo take seconds, which would add up to the photo's own start: they
  // are prepared at once.
  bool preparing = false;
  const auto startPreparing = [&] {
    say(workspace, "Over-segmenting.... ");
    startPreparations(shared_, std::move(work));
    preparing = true;
  };
  if (workspace.image.total() >= kPrepareAtOncePixels) startPreparing();
  try {
    reduceMainViewAhead(workspace);
    startBlankMask(workspace);
    {
      ConsoleHold hold(workspace.console, heldLines_);
      openToolbox(workspace);
    }
    // Under a window manager the toolbox's frame changes the main picture.
    reduceMainViewAhead(workspace);
    // Closing the photo's window ends the session as Escape does.
    workspace.windows.setCloseKey(kMainWindow, kKeyEscape);
    openMainWindow(workspace.views, workspace.windows, workspace.image.size(),
                   WindowMode::FreeScale);
    registerMainMouse(workspace, kMainWindow);
    recomposeAndShow(workspace);
    if (!preparing) startPreparing();
    // The questions come with the photo in sight.
    bool taken;
    {
      ConsoleHold hold(workspace.console, heldLines_);
      taken = findOrCreateMask(workspace, imagePath);
    }
    if (taken) recomposeAndShow(workspace);
  } catch (...) {
    letGo();
    throw;
  }
}

StartUp::~StartUp() { letGo(); }

void StartUp::letGo() {
  {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    shared_->windows = nullptr;
  }
  // Preparations not begun are dropped; freed outside the lock.
  std::vector<Job> dropped;
  std::lock_guard<std::mutex> lock(jobsMutex);
  for (auto job = jobs.begin(); job != jobs.end();) {
    if (job->shared != shared_) {
      ++job;
      continue;
    }
    dropped.push_back(std::move(*job));
    job = jobs.erase(job);
    --jobsUnderWay;
  }
  if (jobsUnderWay == 0 && !workerRuns) jobsEnded.notify_all();
}

bool StartUp::carryOn() {
  if (complete_) return true;
  std::vector<int> ready;
  std::exception_ptr failure;
  {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    for (int tool = 0; tool < numTools; ++tool) {
      if (!shared_->done[tool] || carried_[tool]) continue;
      carried_[tool] = true;
      ready.push_back(tool);
      if (!failure) failure = shared_->failures[tool];
    }
  }
  if (failure) std::rethrow_exception(failure);
  for (int tool : ready)
    if (workspace_.tools[tool]) workspace_.tools[tool]->onPrepared(workspace_);
  for (bool carried : carried_)
    if (!carried) return false;
  complete_ = true;
  say(workspace_, "DONE\n\n");
  say(workspace_, heldLines_);
  heldLines_.clear();
  say(workspace_, helpText());
  say(workspace_, "\n\n" + currentToolLine(workspace_.currentTool));
  return true;
}

void StartUp::finish() {
  {
    std::unique_lock<std::mutex> lock(shared_->mutex);
    shared_->ended.wait(lock, [this] {
      for (bool done : shared_->done)
        if (!done) return false;
      return true;
    });
  }
  carryOn();
}

void startUp(Workspace& workspace, const std::string& imagePath) {
  StartUp(workspace, imagePath).finish();
}

int preparationsUnderWay() {
  std::lock_guard<std::mutex> lock(jobsMutex);
  return jobsUnderWay + (workerRuns ? 1 : 0);
}

void awaitPreparations() {
  std::unique_lock<std::mutex> lock(jobsMutex);
  jobsEnded.wait(lock, [] { return jobsUnderWay == 0 && !workerRuns; });
}

HeldInput::~HeldInput() {
  for (const auto& entry : handlers_) windows_.setMouseHandler(entry.first, {});
  showBusy(false);
}

void HeldInput::setMouseHandler(const std::string& name, MouseHandler handler) {
  if (!handler) {
    handlers_.erase(name);
    windows_.setMouseHandler(name, {});
    return;
  }
  handlers_[name] = std::make_shared<MouseHandler>(std::move(handler));
  windows_.setMouseHandler(name,
                           [this, name](int event, int x, int y, int flags) {
                             onMouse(name, event, x, y, flags);
                           });
}

bool HeldInput::holding() const {
  if (ended_ || workspace_ == nullptr) return false;
  for (const auto& tool : workspace_->tools)
    if (tool && tool->waitsForEngine()) return true;
  return false;
}

void HeldInput::showBusy(bool busy) {
  if (busy == busy_) return;
  busy_ = busy;
  windows_.setBusy(busy);
}

void HeldInput::onMouse(const std::string& window, int event, int x, int y,
                        int flags) {
  const Input input{false, event, window, x, y, flags};
  if (holding() || !held_.empty()) {
    if (!ended_) held_.push_back(input);
  } else {
    deliver(input);
  }
  showBusy(holding() || !held_.empty());
}

void HeldInput::deliver(const Input& input) {
  auto entry = handlers_.find(input.window);
  if (entry == handlers_.end()) return;
  // A copy: the handler may replace itself.
  const std::shared_ptr<MouseHandler> handler = entry->second;
  (*handler)(input.code, input.x, input.y, input.flags);
}

void HeldInput::dropHeld() {
  ended_ = true;
  held_.clear();
  showBusy(false);
}

int HeldInput::waitKey() {
  for (;;) {
    while (!holding() && !held_.empty()) {
      const Input input = held_.front();
      held_.pop_front();
      if (input.isKey) {
        showBusy(holding() || !held_.empty());
        return input.code;
      }
      // A window closed meanwhile no longer gets its events.
      if (!windows_.isOpen(input.window)) continue;
      // As the window system does for an event it delivers itself: a failed
      // handler is reported and the session goes on.
      try {
        deliver(input);
      } catch (const std::exception& failure) {
        if (workspace_ != nullptr)
          workspace_->console << "mouse event " << input.code << " at "
                              << input.x << "," << input.y
                              << " failed: " << failure.what() << std::endl;
      }
    }
    showBusy(holding());
    const int key = windows_.waitKey();
    if (key == kNoKey) return key;
    if (key == kNoWindowsLeft || key == kKeyEscape) {
      dropHeld();
      return key;
    }
    if (!holding() && held_.empty()) return key;
    held_.push_back({true, key, {}});
  }
}

CommandResult runKeyLoop(Workspace& workspace, StartUp* startUp) {
  for (;;) {
    if (startUp != nullptr) startUp->carryOn();
    const int key = workspace.windows.waitKey();
    if (key == kNoKey) continue;
    // Every window closed: no key can come any more, so end as Escape does.
    if (key == kNoWindowsLeft) return CommandResult::Quit;
    const CommandResult result = runCommand(workspace, key);
    if (result != CommandResult::Continue) return result;
  }
}

SaveOutcome offerToSave(Workspace& workspace) {
  const std::string question =
      "Do you want to save the mask to FILE=" + workspace.maskPath + " ?";
  for (;;) {
    switch (workspace.windows.askYesNoCancel("Save?", question)) {
      case Answer::No:
        return SaveOutcome::Declined;
      case Answer::Cancel:
        return SaveOutcome::Cancelled;
      case Answer::Yes:
        break;
    }
    say(workspace, "Saving mask to" + workspace.maskPath + "\n");
    if (saveMaskNow(workspace)) return SaveOutcome::Saved;
  }
}

std::optional<int> shutDown(Workspace& workspace) {
  say(workspace, "Exiting ...\n");
  if (offerToSave(workspace) == SaveOutcome::Cancelled) {
    say(workspace, "Not exiting: back to the photo\n");
    if (!workspace.windows.isOpen(kMainWindow)) {
      openMainWindow(workspace.views, workspace.windows, workspace.image.size(),
                     WindowMode::FreeScale);
      registerMainMouse(workspace, kMainWindow);
      recomposeAndShow(workspace);
    }
    return std::nullopt;
  }
  workspace.windows.destroyAllWindows();
  workspace.viewImage.release();
  workspace.toolboxImage.release();
  say(workspace, "Bye Bye :)\n");
  return 1;
}

}  // namespace scribeline
