#pragma once

#include <dirent.h>
#include <stdlib.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

namespace scribeline {

// A new, empty folder under /tmp for one test, removed with everything in it
// when the object goes. A test that takes rights away inside it gives them
// back first.
class TempFolder {
 public:
  // The folder's name is `prefix` and six random characters.
  explicit TempFolder(const std::string& prefix) {
    std::string pattern = "/tmp/" + prefix + "-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr)
      throw std::system_error(errno, std::generic_category(),
                              "cannot create a folder like " + pattern);
    path_ = pattern;
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// The names in a folder, "." and ".." left out, in name order.
inline std::vector<std::string> folderEntries(const std::string& folder) {
  std::vector<std::string> entries;
  if (DIR* dir = opendir(folder.c_str())) {
    while (dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") entries.push_back(name);
    }
    closedir(dir);
  }
  std::sort(entries.begin(), entries.end());
  return entries;
}

// The whole content of a file; empty when it cannot be read.
inline std::string fileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace scribeline
