#include "app/start_checks.h"

#include <limits.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace scribeline {

std::string photoRefusedLine(const std::string& path,
                             const std::string& reason) {
  return "Scribeline: cannot open " + path + ": " + reason + "\n";
}

std::string maskSetAsideLine(const std::string& path,
                             const std::string& reason) {
  return "Scribeline: not loading the mask file " + path + ": " + reason +
         "; starting with a blank mask\n";
}

Status checkMaskCanBeSaved(const std::string& maskPath) {
  const std::filesystem::path path(maskPath);
  const std::string folder =
      path.has_parent_path() ? path.parent_path().string() : ".";
  // The name limit belongs to the folder's file system; 255 when it does
  // not say.
  errno = 0;
  long nameMax = ::pathconf(folder.c_str(), _PC_NAME_MAX);
  if (nameMax <= 0) nameMax = NAME_MAX;
  if (path.filename().string().size() > static_cast<std::size_t>(nameMax) ||
      maskPath.size() >= PATH_MAX) {
    return Status::failure(std::strerror(ENAMETOOLONG));
  }
  // The save writes a temporary file into the folder and renames it.
  if (::access(folder.c_str(), W_OK | X_OK) != 0)
    return Status::failure(std::strerror(errno));
  return {};
}

std::string maskUnsavableLine(const std::string& maskPath,
                              const std::string& reason) {
  return "Scribeline: the mask cannot be saved to " + maskPath + ": " + reason +
         "\n";
}

}  // namespace scribeline
