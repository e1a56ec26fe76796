#include "app/recovery.h"

#include <sys/stat.h>

#include <ctime>

#include "autosave/autosave.h"
#include "files/mask_file.h"

namespace scribeline {
namespace {

std::string localTime(time_t when) {
  std::tm parts{};
  localtime_r(&when, &parts);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
  return text;
}

}  // namespace

std::string recoveryQuestion(const std::string& path, const std::string& when) {
  return "Unsaved work on this photo's mask was kept in FILE=" + path +
         " (written " + when + "). Do you want to recover it?";
}

bool offerRecovery(Workspace& workspace, const std::string& imagePath) {
  for (const std::string& path : autosaveCandidates(imagePath)) {
    struct stat info;
    if (::stat(path.c_str(), &info) != 0) continue;
    cv::Mat saved = readMaskFile(path);
    if (saved.empty() || saved.size() != workspace.image.size()) continue;
    if (!workspace.windows.askYesNo(
            "Recover?", recoveryQuestion(path, localTime(info.st_mtime))))
      return false;
    workspace.mask = saved;
    return true;
  }
  return false;
}

}  // namespace scribeline
