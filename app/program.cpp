#include "app/program.h"

#include <sstream>

#include "app/command_line.h"
#include "app/export.h"
#include "app/folder_session.h"
#include "app/photo_autosave.h"
#include "app/photo_list.h"
#include "app/session.h"
#include "app/start_checks.h"
#include "app/tools.h"
#include "canvas/workspace.h"

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
      const int status =
          runExport({line.exportFolder, line.exportPaths, settings.dataFolders},
                    console, *settings.errors);
      console << std::flush;
      *settings.errors << std::flush;
      return status;
    }
    case CommandLine::Action::Open:
      break;
  }
  printBanner(console);
  const std::string path =
      line.path.empty() ? settings.defaultImagePath : line.path;
  const bool folder = isFolder(path);
  const std::vector<std::string> photos =
      folder ? photosInFolder(path) : std::vector<std::string>{path};
  if (folder && photos.empty()) {
    *settings.errors << photoRefusedLine(path, "a folder with no photos")
                     << std::flush;
    return 0;
  }
  const ImageLimits limits =
      settings.imageLimits.value_or(ImageLimits::ofThisProcess());
  cv::Mat photo;
  std::ostringstream unplaced;  // a single photo has no place to report
  const size_t first =
      findLoadablePhoto(photos, 0, 1, limits, folder ? console : unplaced,
                        *settings.errors, &photo);
  if (photo.empty()) return 0;

  std::string error;
  std::shared_ptr<WindowSystem> windows = openWindows(&error);
  if (!windows) {
    console << "Scribeline: cannot open a display ("
            << (error.empty() ? "no reason given" : error) << ")\n"
            << std::flush;
    return 2;
  }

  const PhotoPreparer prepare = [&settings](Workspace& workspace,
                                            const std::string& photoPath) {
    if (!settings.labelListPath.empty()) {
      workspace.labelListPath = settings.labelListPath;
      return;
    }
    const LabelListChoice labelList =
        findLabelList(photoPath, settings.dataFolders);
    workspace.labelListPath = labelList.path;
    say(workspace, labelListNotice(labelList));
  };
  if (folder)
    return runFolderSession(photos, first, photo, *windows, console,
                            *settings.errors, limits, prepare);

  HeldInput input(*windows);
  Workspace workspace(input, console);
  input.holdFor(&workspace);
  prepare(workspace, path);
  workspace.image = photo;
  installTools(workspace);
  PhotoAutosave autosave(workspace, path);
  StartUp starting(workspace, path);
  // The keys that step through a folder do nothing here.
  while (runKeyLoop(workspace, &starting) != CommandResult::Quit) {
  }
  const int status = shutDown(workspace);
  // A clean end, whatever the answer to "Save?": no autosave is left, also
  // none kept from an earlier run and not recovered.
  autosave.discard();
  return status;
}

}  // namespace scribeline
