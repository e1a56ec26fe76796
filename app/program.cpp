#include "app/program.h"

#include <cstdlib>
#include <future>

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
  // The photo is read while the window system starts: a window system takes
  // as long to start as a few megapixels take to decode. Only the outcome's
  // order is kept: a photo that cannot be read ends the program before any
  // word of the window system, with or without a display.
  std::future<size_t> search = std::async(std::launch::async, [&] {
    return findLoadablePhoto(photos, 0, 1, limits, console, *settings.errors,
                             &photo, &lock);
  });
  beforeWindowSystemFails = [&] {
    search.wait();
    if (!photo.empty()) return;
    console.flush();
    settings.errors->flush();
    std::_Exit(0);
  };
  std::string error;
  std::shared_ptr<WindowSystem> windows;
  {
    // Set for the opening only, whichever way it ends.
    struct Unset {
      ~Unset() { beforeWindowSystemFails = nullptr; }
    } unset;
    windows = openWindows(&error);
  }
  const size_t first = search.get();
  if (photo.empty()) return 0;
  if (!windows) {
    console << "Scribeline: cannot open a display ("
            << (error.empty() ? "no reason given" : error) << ")\n"
            << std::flush;
    return 2;
  }
  windows->beginSession();

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
