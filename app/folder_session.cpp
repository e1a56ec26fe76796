#include "app/folder_session.h"

#include <cstring>
#include <memory>

#include "app/photo_autosave.h"
#include "app/photo_list.h"
#include "app/session.h"
#include "app/start_checks.h"
#include "app/tools.h"

namespace scribeline {
namespace {

std::string placeOf(const std::vector<std::string>& photos, size_t index) {
  return "photo " + std::to_string(index + 1) + " of " +
         std::to_string(photos.size()) + ": " + fileNameOf(photos[index]);
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

}  // namespace

size_t findLoadablePhoto(const std::vector<std::string>& photos, long start,
                         int step, const ImageLimits& limits,
                         std::ostream& console, std::ostream& errors,
                         cv::Mat* loaded) {
  const long count = static_cast<long>(photos.size());
  for (long index = start; index >= 0 && index < count; index += step) {
    std::string problem;
    *loaded = readPhoto(photos[index], limits, &problem);
    if (!loaded->empty()) return static_cast<size_t>(index);
    errors << photoRefusedLine(photos[index], problem) << std::flush;
    console << placeOf(photos, static_cast<size_t>(index))
            << " cannot be read\n"
            << std::flush;
  }
  loaded->release();
  return photos.size();
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

int runFolderSession(const std::vector<std::string>& photos, size_t first,
                     cv::Mat photo, WindowSystem& windows,
                     std::ostream& console, std::ostream& errors,
                     const ImageLimits& limits, const PhotoPreparer& prepare) {
  size_t index = first;
  // Each goes before the one above it.
  std::unique_ptr<HeldInput> input;
  std::unique_ptr<Workspace> workspace;
  std::unique_ptr<PhotoAutosave> autosave;
  std::unique_ptr<StartUp> starting;
  for (;;) {
    // The previous photo's engines go before the next photo's are built: a
    // preparation still under way ends before the next photo's begin.
    starting.reset();
    autosave.reset();
    workspace.reset();
    input.reset();
    input = std::make_unique<HeldInput>(windows);
    workspace = std::make_unique<Workspace>(*input, console);
    input->holdFor(workspace.get());
    say(*workspace, placeOf(photos, index) + "\n");
    prepare(*workspace, photos[index]);
    workspace->image = photo;
    photo.release();
    installTools(*workspace);
    autosave = std::make_unique<PhotoAutosave>(*workspace, photos[index]);
    starting = std::make_unique<StartUp>(*workspace, photos[index]);
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
      if (next < photos.size()) {
        leavePhoto(*workspace, *autosave);
        index = next;
        break;
      }
      say(*workspace, placeOf(photos, index) +
                          (step > 0 ? " is the last\n" : " is the first\n"));
    }
  }
}

}  // namespace scribeline
