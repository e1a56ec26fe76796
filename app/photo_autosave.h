#pragma once

#include <string>

#include "autosave/autosave.h"
#include "canvas/workspace.h"

namespace scribeline {

// The autosave of the work on one photo while the photo is open: an
// Autosaver at chooseAutosavePlace(photoPath), told of every change of the
// workspace's mask (and of a pen drag's paint while it goes on), and the
// session's autosaver for abrupt ends.
// Made before startUp (which offers an earlier run's autosave of the photo).
//
// Made, it first removes the temporaries that writes cut short left in the
// folders its files go to (the photo's, the mask file's, the state folder;
// removeStaleTemporaries), and names an autosave path passed over (a
// symbolic link, a folder, a FIFO beside the photo) on the console.
//
// Background writes report on their own thread through `report`: the first
// failure of a run of failures, and the first success after it. By default
// the line goes to standard output (printLineFromAnyThread), the console of
// the program.
// REQUIRES: the workspace outlives this object, and holds the photo.
class PhotoAutosave {
 public:
  PhotoAutosave(Workspace& workspace, const std::string& photoPath,
                AutosaveReport report = printLineFromAnyThread);
  // Unhooks from the workspace and from the abrupt ends; leaves the files as
  // they are (a change not yet written stays unwritten).
  ~PhotoAutosave();
  PhotoAutosave(const PhotoAutosave&) = delete;
  PhotoAutosave& operator=(const PhotoAutosave&) = delete;

  const std::string& path() const { return autosaver_.path(); }

  // The work on the photo ended cleanly (saved, unchanged, or the "Save?" at
  // exit answered either way): removes the photo's autosave, also one kept
  // from an earlier run and not recovered (which offerRecovery kept as its
  // declined copy). Other photos' autosaves stay, and so does anything at
  // an autosave path that is not a regular file.
  void discard();

  // The photo is left with unsaved work: writes its newest state now and
  // names the file on the console, so that the next start offers it.
  void keep();

 private:
  PhotoAutosave(Workspace& workspace, const std::string& photoPath,
                const AutosavePlace& place, AutosaveReport report);

  Workspace& workspace_;
  const std::string photoPath_;
  Autosaver autosaver_;
};

}  // namespace scribeline
