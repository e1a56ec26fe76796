#include "app/program.h"

#include "app/command_line.h"
#include "app/export.h"
#include "app/session.h"
#include "app/tools.h"
#include "app/workspace.h"

namespace scribeline {

int runProgram(int argc, const char* const* argv, std::ostream& console,
               const WindowSystemOpener& openWindows,
               const ProgramSettings& settings) {
  const CommandLine line = parseCommandLine(argc, argv);
  switch (line.action) {
    case CommandLine::Action::Help:
      console << usageText() << std::flush;
      return 0;
    case CommandLine::Action::Version:
      console << versionText() << std::flush;
      return 0;
    case CommandLine::Action::UsageError:
      *settings.errors << "scribeline: " << line.problem << "\n\n"
                       << usageText() << std::flush;
      return 2;
    case CommandLine::Action::Export: {
      const int status = runExport(
          {line.exportFolder, line.exportPaths, settings.dataFolders}, console,
          *settings.errors);
      console << std::flush;
      *settings.errors << std::flush;
      return status;
    }
    case CommandLine::Action::Open:
      break;
  }
  printBanner(console);
  const std::string imagePath =
      line.path.empty() ? settings.defaultImagePath : line.path;
  cv::Mat photo = loadPhoto(imagePath);
  if (photo.empty()) return 0;

  std::string error;
  std::shared_ptr<WindowSystem> windows = openWindows(&error);
  if (!windows) {
    console << "Scribeline: cannot open a display ("
            << (error.empty() ? "no reason given" : error) << ")\n"
            << std::flush;
    return 2;
  }

  Workspace workspace(*windows, console);
  if (settings.labelListPath.empty()) {
    const LabelListChoice labelList =
        findLabelList(imagePath, settings.dataFolders);
    workspace.labelListPath = labelList.path;
    say(workspace, labelListNotice(labelList));
  } else {
    workspace.labelListPath = settings.labelListPath;
  }
  workspace.image = photo;
  installTools(workspace);
  startUp(workspace, imagePath);
  runKeyLoop(workspace);
  return shutDown(workspace);
}

}  // namespace scribeline
