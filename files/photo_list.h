#pragma once

#include <string>
#include <vector>

namespace scribeline {

// True when path names a folder (following symbolic links).
bool isFolder(const std::string& path);

// The photos of a folder, in byte order of their file names, as paths
// "<folder>/<name>": every regular file OpenCV can read, except mask files
// ("*_Mask.png"), their backups ("*_Mask.png~"), autosaved masks
// ("*_Mask.autosave.png") and those set aside ("*_Mask.autosave.png~",
// "*_Mask.autosave.png.unusable"), and hidden files
// (names starting with '.', among them the temporary files of an atomic
// save). Sub-folders are not searched. Empty when the folder cannot be read.
std::vector<std::string> photosInFolder(const std::string& folder);

// The last component of a path: "a/b.png" gives "b.png".
std::string fileNameOf(const std::string& path);

// The folder part of a path, "." when there is none: "a/b.png" gives "a",
// "/b.png" gives "/".
std::string folderOf(const std::string& path);

// The file name without its extension (from the last '.', unless the name
// starts with it): "a/b.c.png" gives "b.c", ".png" gives ".png".
std::string stemOf(const std::string& path);

}  // namespace scribeline
