#pragma once

#include <string>

#include "autosave/autosave.h"
#include "canvas/workspace.h"

namespace scribeline {

// The autosave of the work on one photo while the photo is open: an
// Autosaver at chooseAutosavePath(photoPath), told of every change of the
// workspace's mask, and the session's autosaver for abrupt ends.
// Made before startUp (which offers an earlier run's autosave of the photo).
// REQUIRES: the workspace outlives this object.
class PhotoAutosave {
 public:
  PhotoAutosave(Workspace& workspace, const std::string& photoPath);
  // Unhooks from the workspace and from the abrupt ends; leaves the files as
  // they are (a change not yet written stays unwritten).
  ~PhotoAutosave();
  PhotoAutosave(const PhotoAutosave&) = delete;
  PhotoAutosave& operator=(const PhotoAutosave&) = delete;

  // The work on the photo ended cleanly (saved, unchanged, or the "Save?" at
  // exit answered either way): removes the photo's autosave, also one kept
  // from an earlier run and not recovered. Other photos' autosaves stay.
  void discard();

  // The photo is left with unsaved work: writes its newest state now and
  // names the file on the console, so that the next start offers it.
  void keep();

 private:
  Workspace& workspace_;
  const std::string photoPath_;
  Autosaver autosaver_;
};

}  // namespace scribeline
