#include "app/folder_session.h"

#include <cstring>
#include <memory>
#include <optional>
#include <utility>

#include "app/photo_autosave.h"
#include "app/session.h"
#include "app/start_checks.h"
#include "app/tools.h"
#include "autosave/autosave.h"
#include "files/image_read.h"
#include "files/photo_list.h"

namespace scribeline {
namespace {

std::string placeOf(const PhotoList& photos, size_t index) {
  return "photo " + std::to_string(index + 1) + " of " +
         std::to_string(photos.paths.size()) + ": " +
         fileNameOf(photos.paths[index]);
}

// Ends the work on a photo before the next one starts: its changed mask is
// offered for saving, the windows stop calling into its workspace, and the
// "Mask" window closes (the next photo opens it only if it loads a mask).
// Leaving is not the end of the run: work left unsaved (a No) stays in the
// photo's autosave, which its next start offers; saved or unchanged work
// needs none. Returns false, leaving everything as it was, when the user
// puts "Save?" aside: the photo stays open.
bool leavePhoto(Workspace& workspace, PhotoAutosave& autosave) {
  if (maskChangedSinceSaved(workspace) &&
      offerToSave(workspace) == SaveOutcome::Cancelled)
    return false;
  if (maskChangedSinceSaved(workspace))
    autosave.keep();
  else
    autosave.discard();
  workspace.windows.setMouseHandler(kMainWindow, {});
  workspace.windows.setMouseHandler(kToolboxWindow, {});
  workspace.windows.destroyWindow(kMaskWindow);
  return true;
}

// Locks a photo named alone. Another process having it open is said on the
// console and asked about ("Open anyway?"); returns false when the user
// leaves the photo to it. *lock: the lock taken (null when none).
bool lockAlonePhoto(const std::string& path, WindowSystem& windows,
                    std::ostream& console, std::unique_ptr<PhotoLock>* lock) {
  LockAttempt attempt = lockPhotoOf(path, console);
  *lock = std::move(attempt.lock);
  if (attempt.outcome != LockAttempt::Outcome::Held) return true;
  const std::string held = path + " " + heldPhotoText(attempt);
  console << "Scribeline: " << held << "\n" << std::flush;
  if (!windows.askYesNo("Open anyway?", held + ". Open it anyway?")) {
    console << "Scribeline: " << path << " was not opened\n" << std::flush;
    return false;
  }
  console << "Scribeline: two instances now share " << path
          << ": the mask saved last replaces the other's\n"
          << std::flush;
  return true;
}

// What the user chose for the work, kept from photo to photo of a folder:
// labelling a series takes the same label, tool, pen, fill tolerance,
// overlay, scissors anchoring and clean-up size on each. The pen's marks
// belong to their photo: each photo's fresh workspace starts without.
struct WorkSettings {
  int currentTool;
  int currentLabel;
  int penRadius;
  int fillTolerance;
  bool maskOverlay;
  double maskOpacity;
  bool autoAnchoring;
  long cleanupSize;  // 0: each photo's default

  static WorkSettings of(const Workspace& workspace) {
    return {workspace.currentTool,   workspace.currentLabel,
            workspace.penRadius,     workspace.fillTolerance,
            workspace.maskOverlay,   workspace.maskOpacity,
            workspace.autoAnchoring, workspace.cleanupSize};
  }
  void applyTo(Workspace& workspace) const {
    workspace.currentTool = currentTool;
    workspace.currentLabel = currentLabel;
    workspace.penRadius = penRadius;
    workspace.fillTolerance = fillTolerance;
    workspace.maskOverlay = maskOverlay;
    workspace.maskOpacity = maskOpacity;
    workspace.autoAnchoring = autoAnchoring;
    workspace.cleanupSize = cleanupSize;
  }
};

}  // namespace

LockAttempt lockPhotoOf(const std::string& photoPath, std::ostream& console) {
  LockAttempt attempt = lockPhoto(photoPath, autosaveStateFolder());
  switch (attempt.outcome) {
    case LockAttempt::Outcome::TakenOver:
      console << "Scribeline: took over the stale lock " << attempt.path;
      if (attempt.found.owner)
        console << " (" << describeOwner(*attempt.found.owner)
                << "): that process has ended\n";
      else
        console << ", which named no process\n";
      break;
    case LockAttempt::Outcome::NoLock:
      console << "Scribeline: " << photoPath
              << " is not locked against a second instance: " << attempt.problem
              << "\n";
      break;
    case LockAttempt::Outcome::Taken:
    case LockAttempt::Outcome::Held:
      break;
  }
  console << std::flush;
  return attempt;
}

std::string heldPhotoText(const LockAttempt& attempt) {
  const FoundLock& found = attempt.found;
  if (!found.owner)
    return "is locked by " + attempt.path + ", which " + found.problem;
  return "is open in another Scribeline (" + describeOwner(*found.owner) +
         "; lock file " + attempt.path + ")";
}

size_t findLoadablePhoto(const PhotoList& photos, long start, int step,
                         const ImageLimits& limits, std::ostream& console,
                         std::ostream& errors, cv::Mat* loaded,
                         std::unique_ptr<PhotoLock>* lock) {
  const bool locking = lock != nullptr && photos.numbered;
  if (lock != nullptr) lock->reset();
  const long count = static_cast<long>(photos.paths.size());
  for (long index = start; index >= 0 && index < count; index += step) {
    const std::string& path = photos.paths[index];
    if (locking) {
      LockAttempt attempt = lockPhotoOf(path, console);
      if (attempt.outcome == LockAttempt::Outcome::Held) {
        console << placeOf(photos, static_cast<size_t>(index)) << " "
                << heldPhotoText(attempt) << "\n"
                << std::flush;
        continue;
      }
      *lock = std::move(attempt.lock);
    }
    Result<cv::Mat> read = readPhoto(path, limits);
    if (read.ok()) {
      *loaded = std::move(read).value();
      return static_cast<size_t>(index);
    }
    if (locking) lock->reset();
    errors << photoRefusedLine(path, read.reason()) << std::flush;
    if (photos.numbered)
      console << placeOf(photos, static_cast<size_t>(index))
              << " cannot be read\n"
              << std::flush;
  }
  loaded->release();
  return photos.paths.size();
}

bool maskChangedSinceSaved(const Workspace& workspace) {
  const cv::Mat& mask = workspace.mask;
  const cv::Mat& saved = workspace.savedMask;
  if (mask.size() != saved.size() || mask.type() != saved.type()) return true;
  for (int row = 0; row < mask.rows; ++row)
    if (std::memcmp(mask.ptr(row), saved.ptr(row),
                    mask.cols * mask.elemSize()) != 0)
      return true;
  return false;
}

int runFolderSession(const PhotoList& photos, size_t first, cv::Mat photo,
                     std::unique_ptr<PhotoLock> lock, WindowSystem& windows,
                     std::ostream& console, std::ostream& errors,
                     const ImageLimits& limits, const PhotoPreparer& prepare) {
  if (!photos.numbered &&
      !lockAlonePhoto(photos.paths[first], windows, console, &lock))
    return 1;
  size_t index = first;
  // Each goes before the one above it.
  std::unique_ptr<HeldInput> input;
  std::unique_ptr<Workspace> workspace;
  std::unique_ptr<PhotoAutosave> autosave;
  std::unique_ptr<StartUp> starting;
  std::optional<WorkSettings> settings;
  for (;;) {
    // The previous photo's engines go before the next photo's are built: a
    // preparation still under way ends before the next photo's begin.
    if (workspace) settings = WorkSettings::of(*workspace);
    starting.reset();
    autosave.reset();
    workspace.reset();
    input.reset();
    input = std::make_unique<HeldInput>(windows);
    workspace = std::make_unique<Workspace>(*input, console);
    input->holdFor(workspace.get());
    if (settings) settings->applyTo(*workspace);
    const std::string& path = photos.paths[index];
    if (photos.numbered) say(*workspace, placeOf(photos, index) + "\n");
    prepare(*workspace, path);
    workspace->image = photo;
    photo.release();
    installTools(*workspace);
    autosave = std::make_unique<PhotoAutosave>(*workspace, path);
    starting = std::make_unique<StartUp>(*workspace, path);
    for (;;) {
      const CommandResult result = runKeyLoop(*workspace, starting.get());
      if (result == CommandResult::Quit) {
        const std::optional<int> status = shutDown(*workspace);
        if (!status) {
          input->resume();
          continue;
        }
        // A clean end for the photo open now; the autosaves other photos
        // kept when left unsaved stay for their next start.
        autosave->discard();
        return *status;
      }
      const int step = result == CommandResult::NextPhoto ? 1 : -1;
      std::unique_ptr<PhotoLock> nextLock;
      const size_t next =
          findLoadablePhoto(photos, static_cast<long>(index) + step, step,
                            limits, console, errors, &photo, &nextLock);
      if (next < photos.paths.size()) {
        if (!leavePhoto(*workspace, *autosave)) {
          photo.release();
          say(*workspace, "Staying on " + placeOf(photos, index) + "\n");
          continue;
        }
        // The photo left is unlocked once its work is settled.
        lock = std::move(nextLock);
        index = next;
        break;
      }
      if (photos.numbered)
        say(*workspace, placeOf(photos, index) +
                            (step > 0 ? " is the last\n" : " is the first\n"));
    }
  }
}

}  // namespace scribeline
