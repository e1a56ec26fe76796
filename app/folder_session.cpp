#include "app/folder_session.h"

#include <cstring>
#include <memory>

#include "app/photo_list.h"
#include "app/session.h"
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
// IMPORTANT: leaving is not the end of the run. Whatever keeps unsaved work
// of a photo beside it (an autosave) must survive a No here, as it survives
// a No at exit until the run ends cleanly.
void leavePhoto(Workspace& workspace) {
  if (maskChangedSinceSaved(workspace)) offerToSave(workspace);
  workspace.windows.setMouseHandler(kMainWindow, {});
  workspace.windows.setMouseHandler(kToolboxWindow, {});
  workspace.windows.destroyWindow(kMaskWindow);
}

}  // namespace

size_t findLoadablePhoto(const std::vector<std::string>& photos, long start,
                         int step, std::ostream& console, cv::Mat* loaded) {
  const long count = static_cast<long>(photos.size());
  for (long index = start; index >= 0 && index < count; index += step) {
    *loaded = loadPhoto(photos[index]);
    if (!loaded->empty()) return static_cast<size_t>(index);
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
                     std::ostream& console, const PhotoPreparer& prepare) {
  size_t index = first;
  std::unique_ptr<Workspace> workspace;
  for (;;) {
    // The previous photo's engines go before the next photo's are built.
    workspace.reset();
    workspace = std::make_unique<Workspace>(windows, console);
    say(*workspace, placeOf(photos, index) + "\n");
    prepare(*workspace, photos[index]);
    workspace->image = photo;
    photo.release();
    installTools(*workspace);
    startUp(*workspace, photos[index]);
    for (;;) {
      const CommandResult result = runKeyLoop(*workspace);
      if (result == CommandResult::Quit) return shutDown(*workspace);
      const int step = result == CommandResult::NextPhoto ? 1 : -1;
      const size_t next = findLoadablePhoto(
          photos, static_cast<long>(index) + step, step, console, &photo);
      if (next < photos.size()) {
        leavePhoto(*workspace);
        index = next;
        break;
      }
      say(*workspace, placeOf(photos, index) +
                          (step > 0 ? " is the last\n" : " is the first\n"));
    }
  }
}

}  // namespace scribeline
