#include "app/session.h"

#include <future>
#include <iostream>
#include <opencv2/imgcodecs.hpp>
#include <vector>

#include "app/commands.h"
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

// Each tool prepares its own engine from the photograph alone, so the tools
// prepare side by side, one thread each: the scissors' link costs are computed
// on the second core while the over-segmentation runs. The console lines come
// in the same order as with one thread.
void buildTools(Workspace& workspace) {
  BusyPointer busy(workspace.windows);
  std::vector<std::future<void>> preparing;
  for (auto& tool : workspace.tools) {
    if (!tool) continue;
    Tool* each = tool.get();
    preparing.push_back(std::async(std::launch::async, [each, &workspace] {
      each->build(workspace);
      each->initialize(workspace);
    }));
  }
  say(workspace, "Over-segmenting.... ");
  for (auto& done : preparing) done.get();
  say(workspace, "DONE\n\n");
  workspace.toolsBuilt = true;
}

// The mask starts blank (all label 0) and that is where the history starts.
// An autosave of this photo is offered first; else a saved mask of the
// image's size is offered for loading. A mask taken either way is the first
// step, and shows in the "Mask" window. A mask file that cannot be used is
// named, as the first save will replace it.
void findOrCreateMask(Workspace& workspace, const std::string& imagePath) {
  workspace.mask = cv::Mat::zeros(workspace.image.size(), CV_8UC3);
  startMaskHistory(workspace);
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
  // A recovered autosave is work not yet saved: it leaves savedMask empty,
  // which differs from any mask.
  workspace.savedMask.release();
  if (!recovered) workspace.savedMask = workspace.mask.clone();
  if (!taken) return;
  // Recorded without telling the autosave: this state is on disk already.
  workspace.history.record(workspace.mask);
  showMaskView(workspace.views, workspace.windows, workspace.mask);
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

void startUp(Workspace& workspace, const std::string& imagePath) {
  workspace.maskPath = maskPathFor(imagePath);
  // Said before the long work, not learnt at the first save.
  const Status savable = checkMaskCanBeSaved(workspace.maskPath);
  if (!savable.ok())
    say(workspace, maskUnsavableLine(workspace.maskPath, savable.reason()));
  buildTools(workspace);
  findOrCreateMask(workspace, imagePath);
  openToolbox(workspace);
  say(workspace, helpText());
  // Closing the photo's window ends the session as Escape does.
  workspace.windows.setCloseKey(kMainWindow, kKeyEscape);
  openMainWindow(workspace.views, workspace.windows, workspace.image.size(),
                 WindowMode::FreeScale);
  registerMainMouse(workspace, kMainWindow);
  recomposeAndShow(workspace);
  say(workspace, "\n\n" + currentToolLine(workspace.currentTool));
}

CommandResult runKeyLoop(Workspace& workspace) {
  for (;;) {
    const int key = workspace.windows.waitKey();
    // Every window closed: no key can come any more, so end as Escape does.
    if (key == kNoWindowsLeft) return CommandResult::Quit;
    const CommandResult result = runCommand(workspace, key);
    if (result != CommandResult::Continue) return result;
  }
}

void offerToSave(Workspace& workspace) {
  const std::string question =
      "Do you want to save the mask to FILE=" + workspace.maskPath + " ?";
  while (workspace.windows.askYesNo("Save?", question)) {
    say(workspace, "Saving mask to" + workspace.maskPath + "\n");
    if (saveMaskNow(workspace)) break;
  }
}

int shutDown(Workspace& workspace) {
  say(workspace, "Exiting ...\n");
  offerToSave(workspace);
  workspace.windows.destroyAllWindows();
  workspace.viewImage.release();
  workspace.toolboxImage.release();
  say(workspace, "Bye Bye :)\n");
  return 1;
}

}  // namespace scribeline
