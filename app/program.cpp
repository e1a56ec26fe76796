#include "app/program.h"

#include "app/command_line.h"
#include "app/folder_session.h"
#include "app/session.h"
#include "app/start_checks.h"
#include "canvas/workspace.h"
#include "export/export.h"
#include "files/photo_list.h"
#include "import/import.h"

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
      ExportRequest request{line.exportFolder, line.exportPaths,
                            settings.dataFolders};
      request.validationFraction = line.validationFraction;
      request.rleForm =
          line.plainRle ? CocoRleForm::kPlain : CocoRleForm::kCompressed;
      const int status = runExport(request, console, *settings.errors);
      console << std::flush;
      *settings.errors << std::flush;
      return status;
    }
    case CommandLine::Action::Import: {
      const int status = runImport({line.importSource, line.importPaths},
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
  // A photo named alone is a list of one, without numbers.
  const PhotoList photos = isFolder(path)
                               ? PhotoList{photosInFolder(path), true}
                               : PhotoList{{path}, false};
  if (photos.paths.empty()) {
    *settings.errors << photoRefusedLine(path, "a folder with no photos")
                     << std::flush;
    return 0;
  }
  const ImageLimits limits =
      settings.imageLimits.value_or(ImageLimits::ofThisProcess());
  cv::Mat photo;
  std::unique_ptr<PhotoLock> lock;
  const size_t first = findLoadablePhoto(photos, 0, 1, limits, console,
                                         *settings.errors, &photo, &lock);
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
  return runFolderSession(photos, first, photo, std::move(lock), *windows,
                          console, *settings.errors, limits, prepare);
}

}  // namespace scribeline
