#pragma once

#include <string>
#include <vector>

namespace scribeline {

// The label list's file name, looked for in each place in turn.
inline const std::string kLabelListName = "label_list.txt";

// The label list a run uses. `fromWorkingDirectory` is true when it is the
// working directory's list (also when that is the photo's folder); then the
// console says nothing about it.
struct LabelListChoice {
  std::string path;
  bool fromWorkingDirectory = true;
};

// The installed data folders, most specific first: <executable's
// folder>/../share/scribeline (so an installed or unpacked tree finds its own
// data wherever it lies), then the data folder of the configured install
// prefix.
std::vector<std::string> installedDataFolders();

// Looks for kLabelListName beside the photo first, then in the working
// directory, then in each of `dataFolders` in order, and takes the first
// that can be opened for reading. When none can, the working directory's
// (missing) list is named, so the toolbox shows no names.
LabelListChoice findLabelList(const std::string& photoPath,
                              const std::vector<std::string>& dataFolders);

// The console line for a list that is not the working directory's, empty
// otherwise.
std::string labelListNotice(const LabelListChoice& choice);

}  // namespace scribeline
