#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include "app/image_check.h"
#include "ui/window_system.h"

namespace scribeline {

// Opens the window system; on failure returns null and sets *error to the
// reason.
using WindowSystemOpener =
    std::function<std::shared_ptr<WindowSystem>(std::string* error)>;

struct ProgramSettings {
  std::string defaultImagePath = "sample.JPG";
  std::string labelListPath = "label_list.txt";
  // What a photograph may need; the reader's and the machine's when unset.
  std::optional<ImageLimits> imageLimits;
};

// The whole program: banner, photograph, window system, start-up, key loop,
// shutdown. argv[1], when present, is the image path; further arguments are
// ignored. Returns the exit status: 0 when the photograph cannot be loaded
// (one line on standard error names it and the reason), 2 when no window
// system can be opened, 1 after a session.
int runProgram(int argc, const char* const* argv, std::ostream& console,
               const WindowSystemOpener& openWindows,
               const ProgramSettings& settings = {});

}  // namespace scribeline
