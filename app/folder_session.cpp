#include "app/folder_session.h"

#include <cstring>
#include <memory>
#include <optional>
#include <utility>

#include "app/photo_autosave.h"
#include "app/session.h"
#include "app/start_checks.h"
#include "app/tools.h"
#include "files/image_read.h"
#include "files/photo_list.h"

namespace scribeline {
namespace {

std::string placeOf(const PhotoList& photos, size_t index) {
  return "photo " + std::to_string(index + 1) + " of " +
         std::to_string(photos.paths.size()) + ": " +
         fileNameOf(photos.paths[index]);
}

// Ends the work on a photo before the next one starts: its changed mask is
// offered for saving, the windows stop calling into its workspace, and the
// "Mask" window closes (the next photo opens it only if it loads a mask).
// Leaving is not the end of the run: work left unsaved (a No) stays in the
// photo's autosave, which its next start offers; saved or unchanged work
// needs none.
void leavePhoto(Workspace& workspace, PhotoAutosave& autosave) {
  if (maskChangedSinceSaved(workspace)) offerToSave(workspace);
  if (maskChangedSinceSaved(workspace))
    autosave.keep();
  else
    autosave.discard();
  workspace.windows.setMouseHandler(kMainWindow, {});
  workspace.windows.setMouseHandler(kToolboxWindow, {});
  workspace.windows.destroyWindow(kMaskWindow);
}

// What the user chose for the work, kept from photo to photo of a folder:
// labelling a series takes the same label, tool, pen and overlay on each.
struct WorkSettings {
  int currentTool;
  int currentLabel;
  int penRadius;
  bool maskOverlay;
  double maskOpacity;

  static WorkSettings of(const Workspace& workspace) {
    return {workspace.currentTool, workspace.currentLabel, workspace.penRadius,
            workspace.maskOverlay, workspace.maskOpacity};
  }
  void applyTo(Workspace& workspace) const {
    workspace.currentTool = currentTool;
    workspace.currentLabel = currentLabel;
    workspace.penRadius = penRadius;
    workspace.maskOverlay = maskOverlay;
    workspace.maskOpacity = maskOpacity;
  }
};

}  // namespace

size_t findLoadablePhoto(const PhotoList& photos, long start, int step,
                         const ImageLimits& limits, std::ostream& console,
                         std::ostream& errors, cv::Mat* loaded) {
  const long count = static_cast<long>(photos.paths.size());
  for (long index = start; index >= 0 && index < count; index += step) {
    const std::string& path = photos.paths[index];
    Result<cv::Mat> read = readPhoto(path, limits);
    if (read.ok()) {
      *loaded = std::move(read).value();
      return static_cast<size_t>(index);
    }
    errors << photoRefusedLine(path, read.reason()) << std::flush;
    if (photos.numbered)
      console << placeOf(photos, static_cast<size_t>(index))
              << " cannot be read\n"
              << std::flush;
  }
  loaded->release();
  return photos.paths.size();
}

bool maskChangedSinceSaved(const Workspace& workspace) {
  const cv::Mat& mask = workspace.mask;
  const cv::Mat& saved = workspace.savedMask;
  if (mask.size() != saved.size() || mask.type() != saved.type()) return true;
  for (int row = 0; row < mask.rows; ++row)
    if (std::memcmp(mask.ptr(row), saved.ptr(row),
                    mask.cols * mask.elemSize()) != 0)
      return true;
  return false;
}

int runFolderSession(const PhotoList& photos, size_t first, cv::Mat photo,
                     WindowSystem& windows, std::ostream& console,
                     std::ostream& errors, const ImageLimits& limits,
                     const PhotoPreparer& prepare) {
  size_t index = first;
  // Each goes before the one above it.
  std::unique_ptr<HeldInput> input;
  std::unique_ptr<Workspace> workspace;
  std::unique_ptr<PhotoAutosave> autosave;
  std::unique_ptr<StartUp> starting;
  std::optional<WorkSettings> settings;
  for (;;) {
    // The previous photo's engines go before the next photo's are built: a
    // preparation still under way ends before the next photo's begin.
    if (workspace) settings = WorkSettings::of(*workspace);
    starting.reset();
    autosave.reset();
    workspace.reset();
    input.reset();
    input = std::make_unique<HeldInput>(windows);
    workspace = std::make_unique<Workspace>(*input, console);
    input->holdFor(workspace.get());
    if (settings) settings->applyTo(*workspace);
    const std::string& path = photos.paths[index];
    if (photos.numbered) say(*workspace, placeOf(photos, index) + "\n");
    prepare(*workspace, path);
    workspace->image = photo;
    photo.release();
    installTools(*workspace);
    autosave = std::make_unique<PhotoAutosave>(*workspace, path);
    starting = std::make_unique<StartUp>(*workspace, path);
    for (;;) {
      const CommandResult result = runKeyLoop(*workspace, starting.get());
      if (result == CommandResult::Quit) {
        const int status = shutDown(*workspace);
        // A clean end for the photo open now; the autosaves other photos
        // kept when left unsaved stay for their next start.
        autosave->discard();
        return status;
      }
      const int step = result == CommandResult::NextPhoto ? 1 : -1;
      const size_t next =
          findLoadablePhoto(photos, static_cast<long>(index) + step, step,
                            limits, console, errors, &photo);
      if (next < photos.paths.size()) {
        leavePhoto(*workspace, *autosave);
        index = next;
        break;
      }
      if (photos.numbered)
        say(*workspace, placeOf(photos, index) +
                            (step > 0 ? " is the last\n" : " is the first\n"));
    }
  }
}

}  // namespace scribeline
