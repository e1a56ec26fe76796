#include "app/photo_autosave.h"

#include <sys/stat.h>
#include <unistd.h>

#include "autosave/abrupt_end.h"
#include "files/atomic_write.h"
#include "files/mask_file.h"
#include "files/photo_list.h"

namespace scribeline {
namespace {

// Where this photo's files are written: its folder, its mask file's (which
// a link may put elsewhere), and the state folder of autosaves.
void removeLeftovers(const std::string& photoPath) {
  removeStaleTemporaries(folderOf(photoPath));
  const std::string maskFolder =
      folderOf(maskFileTarget(maskPathFor(photoPath)));
  if (maskFolder != folderOf(photoPath)) removeStaleTemporaries(maskFolder);
  const std::string state = autosaveStateFolder();
  if (!state.empty()) removeStaleTemporaries(state);
}

// Opens the autosave after the leftovers are gone, naming what it passed
// over.
AutosavePlace placeAfterCleanUp(const std::string& photoPath) {
  removeLeftovers(photoPath);
  return chooseAutosavePlace(photoPath);
}

}  // namespace

PhotoAutosave::PhotoAutosave(Workspace& workspace, const std::string& photoPath,
                             AutosaveReport report)
    : PhotoAutosave(workspace, photoPath, placeAfterCleanUp(photoPath),
                    std::move(report)) {}

PhotoAutosave::PhotoAutosave(Workspace& workspace, const std::string& photoPath,
                             const AutosavePlace& place, AutosaveReport report)
    : workspace_(workspace),
      photoPath_(photoPath),
      autosaver_(place.path,
                 AutosaveOptions{std::chrono::seconds(2),
                                 std::chrono::seconds(10), std::move(report)}) {
  if (!place.notice.empty()) say(workspace_, place.notice);
  // A step copies only what it changed into the autosave's picture of the
  // mask, not the whole mask.
  workspace_.onMaskChanged = [this](const cv::Mat& mask, const cv::Rect& area) {
    autosaver_.notePaint(mask, area);
  };
  workspace_.onMaskPainted = [this](const cv::Mat& mask, const cv::Rect& area) {
    autosaver_.notePaint(mask, area);
  };
  setSessionAutosaver(&autosaver_);
}

PhotoAutosave::~PhotoAutosave() {
  setSessionAutosaver(nullptr);
  workspace_.onMaskChanged = nullptr;
  workspace_.onMaskPainted = nullptr;
}

void PhotoAutosave::discard() {
  setSessionAutosaver(nullptr);
  autosaver_.discard();
  for (const std::string& path : autosaveCandidates(photoPath_)) {
    struct stat info;
    if (::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode))
      ::unlink(path.c_str());
  }
}

void PhotoAutosave::keep() {
  const Status flushed = autosaver_.flush();
  if (!flushed.ok())
    say(workspace_, "Could not autosave the mask to " + autosaver_.path() +
                        ": " + flushed.reason() + "\n");
  else if (autosaver_.holdsWork())
    say(workspace_, "Autosaved the mask to " + autosaver_.path() + "\n");
}

}  // namespace scribeline
