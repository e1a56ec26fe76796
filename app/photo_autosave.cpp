#include "app/photo_autosave.h"

#include <unistd.h>

#include "autosave/abrupt_end.h"

namespace scribeline {

PhotoAutosave::PhotoAutosave(Workspace& workspace, const std::string& photoPath)
    : workspace_(workspace),
      photoPath_(photoPath),
      autosaver_(chooseAutosavePath(photoPath)) {
  workspace_.onMaskChanged = [this](const cv::Mat& mask) {
    autosaver_.noteChange(mask);
  };
  setSessionAutosaver(&autosaver_);
}

PhotoAutosave::~PhotoAutosave() {
  setSessionAutosaver(nullptr);
  workspace_.onMaskChanged = nullptr;
}

void PhotoAutosave::discard() {
  setSessionAutosaver(nullptr);
  autosaver_.discard();
  for (const std::string& path : autosaveCandidates(photoPath_))
    ::unlink(path.c_str());
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
