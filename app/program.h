#pragma once

#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "files/image_limits.h"
#include "files/label_lookup.h"
#include "ui/window_system.h"

namespace scribeline {

// Opens the window system; on failure returns null and sets *error to the
// reason.
using WindowSystemOpener =
    std::function<std::shared_ptr<WindowSystem>(std::string* error)>;

struct ProgramSettings {
  std::string defaultImagePath = "sample.JPG";
  // The label list to use; when empty it is looked up (findLabelList) beside
  // the photo, in the working directory and in `dataFolders`.
  std::string labelListPath;
  std::vector<std::string> dataFolders = installedDataFolders();
  // Usage errors and refusals go here; everything else to the console.
  std::ostream* errors = &std::cerr;
  // What a photograph may need; the reader's and the machine's when unset.
  std::optional<ImageLimits> imageLimits;
};

// The whole program. The command line (parseCommandLine) asks for --help or
// --version (status 0), an export (runExport's status), or a session: banner,
// the first photograph that loads, window system, then runFolderSession over
// the folder's photos, or over the photo named alone as a list of one.
// Returns the exit status: 0
// when the photograph (for a folder: every photo) cannot be loaded (one line
// on `errors` names each and the reason), 2 for a usage error (the usage
// on `errors`) or when no window system can be opened, 1 after a session.
int runProgram(int argc, const char* const* argv, std::ostream& console,
               const WindowSystemOpener& openWindows,
               const ProgramSettings& settings = {});

}  // namespace scribeline
