#include "app/program.h"

#include <iostream>

#include <unistd.h>

#include "app/abrupt_end.h"
#include "app/autosave.h"
#include "app/session.h"
#include "app/start_checks.h"
#include "app/tools.h"
#include "canvas/workspace.h"

namespace scribeline {

int runProgram(int argc, const char* const* argv, std::ostream& console,
               const WindowSystemOpener& openWindows,
               const ProgramSettings& settings) {
  printBanner(console);
  const std::string imagePath =
      argc > 1 ? std::string(argv[1]) : settings.defaultImagePath;
  std::string problem;
  cv::Mat photo = loadPhoto(
      imagePath, settings.imageLimits.value_or(ImageLimits::ofThisProcess()),
      &problem);
  if (photo.empty()) {
    std::cerr << photoRefusedLine(imagePath, problem) << std::flush;
    return 0;
  }

  std::string error;
  std::shared_ptr<WindowSystem> windows = openWindows(&error);
  if (!windows) {
    console << "Scribeline: cannot open a display ("
            << (error.empty() ? "no reason given" : error) << ")\n"
            << std::flush;
    return 2;
  }

  Workspace workspace(*windows, console);
  workspace.labelListPath = settings.labelListPath;
  workspace.image = photo;
  installTools(workspace);
  Autosaver autosaver(chooseAutosavePath(imagePath));
  workspace.onMaskChanged = [&autosaver](const cv::Mat& mask) {
    autosaver.noteChange(mask);
  };
  setSessionAutosaver(&autosaver);
  startUp(workspace, imagePath);
  runKeyLoop(workspace);
  const int status = shutDown(workspace);
  // A clean end, whatever the answer to "Save?": no autosave is left, also
  // none kept from an earlier run and not recovered.
  setSessionAutosaver(nullptr);
  autosaver.discard();
  for (const std::string& path : autosaveCandidates(imagePath))
    ::unlink(path.c_str());
  return status;
}

}  // namespace scribeline
