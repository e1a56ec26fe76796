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

// The first photo of `photos` from `start` on in steps of `step` (+1 or -1)
// that loads (readPhoto within `limits`): its index, and the photo in
// *loaded. Every photo passed over is reported with its place on the console
// ("photo 2 of 7: b.png cannot be read") and with the reason on `errors`
// (photoRefusedLine). Returns photos.size() with *loaded empty when none
// loads.
size_t findLoadablePhoto(const std::vector<std::string>& photos, long start,
                         int step, const ImageLimits& limits,
                         std::ostream& console, std::ostream& errors,
                         cv::Mat* loaded);

// True when the mask differs from the one last loaded, created or saved.
bool maskChangedSinceSaved(const Workspace& workspace);

// A session over the photos of a folder, from photos[first] (already loaded
// as `photo`). Each photo starts as a single photo does, after the line
// "photo <n> of <count>: <file name>"; PageDown and PageUp leave it for the
// next or previous photo that loads (findLoadablePhoto), asking "Save?"
// first when its mask changed since it was last saved. Escape, or closing
// every window, ends the session as with a single photo. Returns the exit
// status, 1.
// REQUIRES: windows, console and errors outlive the call.
int runFolderSession(const std::vector<std::string>& photos, size_t first,
                     cv::Mat photo, WindowSystem& windows,
                     std::ostream& console, std::ostream& errors,
                     const ImageLimits& limits, const PhotoPreparer& prepare);

}  // namespace scribeline
