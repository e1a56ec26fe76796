#pragma once

#include <string>

#include "files/status.h"

namespace scribeline {

// The one-line messages of start-up about its files, each ending in a line
// feed. Paths are printed as plain text.

// The photograph cannot be opened (standard error; the program then ends
// with status 0).
std::string photoRefusedLine(const std::string& path,
                             const std::string& reason);

// A mask file that is there was not read (standard error; the session
// starts with a blank mask and the file stays as it is).
std::string maskSetAsideLine(const std::string& path,
                             const std::string& reason);

// Refuses, found without writing anything, when no save can succeed at
// `maskPath`: the file name is longer than its folder allows, the whole path
// longer than the system allows, or the folder cannot be written. Ok when a
// save can be tried.
Status checkMaskCanBeSaved(const std::string& maskPath);

// The console line for a mask that cannot be saved where it must go.
std::string maskUnsavableLine(const std::string& maskPath,
                              const std::string& reason);

}  // namespace scribeline
