#pragma once

#include <functional>
#include <memory>
#include <opencv2/core.hpp>
#include <ostream>
#include <string>
#include <vector>

#include "canvas/workspace.h"
#include "files/image_limits.h"
#include "files/photo_lock.h"
#include "ui/window_system.h"

namespace scribeline {

// Readies a fresh workspace for a photo before its tools are installed and
// its start-up runs (the label list). Called once per photo opened.
using PhotoPreparer =
    std::function<void(Workspace& workspace, const std::string& photoPath)>;

// The photos of a session, in order. A folder's photos are numbered: the
// console gives each one's place ("photo 2 of 7: b.png") as it starts or is
// passed over, and at the last (first) photo PageDown (PageUp) says so. A
// photo named alone is a list of one without numbers: no place is printed,
// and the page keys do nothing.
struct PhotoList {
  std::vector<std::string> paths;
  bool numbered = true;
};

// The first photo of `photos` from `start` on in steps of `step` (+1 or -1)
// that loads (readPhoto within `limits`): its index, and the photo in
// *loaded. Every photo passed over is reported with the reason on `errors`
// (photoRefusedLine) and, when the list is numbered, with its place on the
// console ("photo 2 of 7: b.png cannot be read"). Returns the number of
// photos with *loaded empty when none loads.
//
// With `lock`, a numbered list's photos are locked (lockPhotoOf) before they
// are read: a photo that another process has open is passed over with its
// place and the holder on the console ("photo 2 of 7: b.png is open in
// another Scribeline (...)"), so that several people can label one shared
// folder; the lock of the photo found is left in *lock (null when no lock
// could be made). A photo named alone is not locked here (see
// runFolderSession).
size_t findLoadablePhoto(const PhotoList& photos, long start, int step,
                         const ImageLimits& limits, std::ostream& console,
                         std::ostream& errors, cv::Mat* loaded,
                         std::unique_ptr<PhotoLock>* lock = nullptr);

// Locks the photo (lockPhoto, with the autosaves' state folder as the place
// for a lock the photo's folder cannot take) and says on the console what
// came of it beyond the lock being taken: a stale lock taken over, a photo
// that cannot be locked. Returns the attempt; a Held one is for the caller
// to report (heldPhotoText).
LockAttempt lockPhotoOf(const std::string& photoPath, std::ostream& console);

// What a lock in the way says of its photo: "is open in another Scribeline
// (user alice, process 1234 on host kestrel, since ...; lock file PATH)",
// or "is locked by PATH, which is empty" when the lock names no one.
// REQUIRES: attempt.outcome is Held.
std::string heldPhotoText(const LockAttempt& attempt);

// True when the mask differs from the one last loaded, created or saved.
bool maskChangedSinceSaved(const Workspace& workspace);

// A session over the photos, from photos.paths[first] (already loaded as
// `photo` and, for a numbered list, locked as `lock` by findLoadablePhoto);
// a single photo is a list of one. A photo named alone is locked first: when
// another process has it open, the console says who and "Open anyway?" is
// asked; No ends the run (status 1, nothing opened), Yes opens it, saying
// that two instances now share the photo. Each photo starts alike (in a
// numbered list after the line "photo <n> of <count>: <file name>"): a
// fresh workspace (with the label, tool, pen radius, overlay, opacity and
// clean-up size of the photo left), its tools, its autosave, start-up. PageDown
// and PageUp leave it for the next or previous photo that loads
// (findLoadablePhoto), asking "Save?" first when its mask changed since it was
// last saved; that "Save?" put aside (Escape) stays on the photo. Each photo's
// lock goes when it is left. Escape, or closing every window, ends the session:
// shutDown, and the autosave of the photo open then is removed; a "Save?"
// put aside there goes back to the photo. Returns the exit status, 1.
// REQUIRES: windows, console and errors outlive the call.
int runFolderSession(const PhotoList& photos, size_t first, cv::Mat photo,
                     std::unique_ptr<PhotoLock> lock, WindowSystem& windows,
                     std::ostream& console, std::ostream& errors,
                     const ImageLimits& limits, const PhotoPreparer& prepare);

}  // namespace scribeline
