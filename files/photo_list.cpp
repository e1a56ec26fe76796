#include "files/photo_list.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <opencv2/imgcodecs.hpp>

namespace scribeline {
namespace {

bool endsWith(const std::string& text, const std::string& ending) {
  return text.size() >= ending.size() &&
         text.compare(text.size() - ending.size(), ending.size(), ending) == 0;
}

bool isRegularFile(const std::string& path) {
  struct stat status;
  return ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

// Files the program itself writes beside the photos: masks, the backup a
// save keeps of the mask it replaces, autosaves, and the autosaves set aside
// at start-up (declined, or unusable).
bool isProgramFile(const std::string& name) {
  return endsWith(name, "_Mask.png") || endsWith(name, "_Mask.png~") ||
         endsWith(name, "_Mask.autosave.png") ||
         endsWith(name, "_Mask.autosave.png~") ||
         endsWith(name, "_Mask.autosave.png.unusable");
}

// cv::haveImageReader looks at the file's first bytes, not at its name.
bool isReadablePhoto(const std::string& path) {
  try {
    return cv::haveImageReader(path);
  } catch (const cv::Exception&) {
    return false;
  }
}

}  // namespace

bool isFolder(const std::string& path) {
  struct stat status;
  return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

std::vector<std::string> photosInFolder(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* listing = ::opendir(folder.c_str())) {
    while (const dirent* entry = ::readdir(listing)) {
      const std::string name = entry->d_name;
      if (name.empty() || name[0] == '.' || isProgramFile(name)) continue;
      names.push_back(name);
    }
    ::closedir(listing);
  }
  std::sort(names.begin(), names.end());
  const std::string prefix = endsWith(folder, "/") ? folder : folder + "/";
  std::vector<std::string> photos;
  for (const std::string& name : names) {
    const std::string path = prefix + name;
    if (isRegularFile(path) && isReadablePhoto(path)) photos.push_back(path);
  }
  return photos;
}

std::string fileNameOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string folderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string stemOf(const std::string& path) {
  const std::string name = fileNameOf(path);
  const size_t dot = name.rfind('.');
  return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

}  // namespace scribeline
