#pragma once

#include <functional>
#include <opencv2/core.hpp>
#include <ostream>
#include <string>
#include <vector>

#include "canvas/workspace.h"
#include "files/image_limits.h"
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
size_t findLoadablePhoto(const PhotoList& photos, long start, int step,
                         const ImageLimits& limits, std::ostream& console,
                         std::ostream& errors, cv::Mat* loaded);

// True when the mask differs from the one last loaded, created or saved.
bool maskChangedSinceSaved(const Workspace& workspace);

// A session over the photos, from photos.paths[first] (already loaded as
// `photo`); a single photo is a list of one. Each photo starts alike (in a
// numbered list after the line "photo <n> of <count>: <file name>"): a
// fresh workspace (with the label, tool, pen radius, overlay and opacity
// of the photo left), its tools, its autosave, start-up. PageDown and PageUp
// leave it for the next or previous photo that loads (findLoadablePhoto),
// asking "Save?" first when its mask changed since it was last saved.
// Escape, or closing every window, ends the session: shutDown, and the
// autosave of the photo open then is removed. Returns the exit status, 1.
// REQUIRES: windows, console and errors outlive the call.
int runFolderSession(const PhotoList& photos, size_t first, cv::Mat photo,
                     WindowSystem& windows, std::ostream& console,
                     std::ostream& errors, const ImageLimits& limits,
                     const PhotoPreparer& prepare);

}  // namespace scribeline
