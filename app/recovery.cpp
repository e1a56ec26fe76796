#include "app/recovery.h"

#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "autosave/autosave.h"
#include "files/atomic_write.h"
#include "files/image_limits.h"
#include "files/mask_file.h"
#include "files/photo_list.h"
#include "files/regular_file.h"

namespace scribeline {
namespace {

std::string localTime(time_t when) {
  std::tm parts{};
  localtime_r(&when, &parts);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
  return text;
}

std::string sizeText(const cv::Size& size) {
  return std::to_string(size.width) + " x " + std::to_string(size.height);
}

// Why the autosave at path cannot be the photo's mask, or nothing; *mask
// receives it when it can.
std::string unusableBecause(const std::string& path, const cv::Size& photo,
                            cv::Mat* mask) {
  Result<cv::Mat> read = readOwnMaskFile(path, ImageLimits::ofThisProcess());
  if (!read.ok()) return read.reason();
  if (read.value().size() != photo)
    return "it is " + sizeText(read.value().size()) + ", the photo " +
           sizeText(photo);
  *mask = std::move(read).value();
  return "";
}

void setAsideUnusable(Workspace& workspace, const std::string& path,
                      const std::string& reason) {
  const std::string aside = unusableAutosavePath(path);
  if (::rename(path.c_str(), aside.c_str()) == 0) {
    say(workspace, "The autosave " + path + " cannot be used (" + reason +
                       "): set aside as " + aside + "\n");
    return;
  }
  say(workspace, "The autosave " + path + " cannot be used (" + reason +
                     ") nor set aside as " + aside + ": " +
                     std::strerror(errno) + "\n");
}

// A second name for the file at path, or a copy when the file system has no
// second names. Written without following links at either end.
Status keepCopy(const std::string& path, const std::string& copy) {
  if (linkAtomically(path, copy).ok()) return {};
  const Result<int> opened = openRegularFile(path, Links::kRefuse);
  if (!opened.ok()) return opened.status();
  const Result<std::string> bytes = readUpTo(opened.value(), SIZE_MAX);
  ::close(opened.value());
  if (!bytes.ok()) return bytes.status();
  return replaceOwnFile(copy, bytes.value().data(), bytes.value().size());
}

void keepDeclined(Workspace& workspace, const std::string& path) {
  const std::string declined = declinedAutosavePath(path);
  const Status kept = keepCopy(path, declined);
  if (kept.ok()) {
    say(workspace, "The autosave " + path + " was not recovered: kept as " +
                       declined + "\n");
    return;
  }
  say(workspace, "The autosave " + path +
                     " was not recovered and could not "
                     "be kept as " +
                     declined + ": " + kept.reason() + "\n");
}

}  // namespace

std::string recoveryQuestion(const std::string& path, const std::string& when) {
  return "Unsaved work on this photo's mask was kept in FILE=" + path +
         " (written " + when + "). Do you want to recover it?";
}

bool offerRecovery(Workspace& workspace, const std::string& imagePath) {
  for (const std::string& path : autosaveCandidates(imagePath)) {
    struct stat info;
    if (::lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
    cv::Mat saved;
    const std::string reason =
        unusableBecause(path, workspace.image.size(), &saved);
    if (!reason.empty()) {
      setAsideUnusable(workspace, path, reason);
      continue;
    }
    if (!workspace.windows.askYesNo(
            "Recover?", recoveryQuestion(path, localTime(info.st_mtime)))) {
      keepDeclined(workspace, path);
      return false;
    }
    workspace.mask = saved;
    return true;
  }
  return false;
}

}  // namespace scribeline
