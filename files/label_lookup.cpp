#include "files/label_lookup.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "files/photo_list.h"

namespace scribeline {
namespace {

bool isReadable(const std::string& path) {
  struct stat status;
  return ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) &&
         std::ifstream(path).is_open();
}

bool sameFile(const std::string& first, const std::string& second) {
  struct stat a, b;
  return ::stat(first.c_str(), &a) == 0 && ::stat(second.c_str(), &b) == 0 &&
         a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

std::string executableFolder() {
  std::string path(4096, '\0');
  const ssize_t length = ::readlink("/proc/self/exe", path.data(), path.size());
  if (length <= 0 || static_cast<size_t>(length) >= path.size()) return "";
  path.resize(static_cast<size_t>(length));
  return folderOf(path);
}

}  // namespace

std::vector<std::string> installedDataFolders() {
  std::vector<std::string> folders;
  const std::string executable = executableFolder();
  if (!executable.empty()) {
    const std::string installed = executable + "/../share/scribeline";
    char* resolved = ::realpath(installed.c_str(), nullptr);
    folders.push_back(resolved ? resolved : installed);
    std::free(resolved);
  }
#ifdef SCRIBELINE_INSTALLED_DATA_DIR
  folders.push_back(SCRIBELINE_INSTALLED_DATA_DIR);
#endif
  return folders;
}

LabelListChoice findLabelList(const std::string& photoPath,
                              const std::vector<std::string>& dataFolders) {
  std::vector<std::string> candidates = {
      folderOf(photoPath) + "/" + kLabelListName, kLabelListName};
  for (const std::string& folder : dataFolders)
    candidates.push_back(folder + "/" + kLabelListName);
  for (const std::string& candidate : candidates) {
    if (!isReadable(candidate)) continue;
    if (sameFile(candidate, kLabelListName)) return {kLabelListName, true};
    return {candidate, false};
  }
  return {kLabelListName, true};
}

std::string labelListNotice(const LabelListChoice& choice) {
  if (choice.fromWorkingDirectory) return "";
  return "Label names from " + choice.path + "\n";
}

}  // namespace scribeline
