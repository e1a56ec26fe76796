#pragma once

#include <string>

namespace scribeline {

// The titles of the program's windows, which also name them to the window
// system.
inline const std::string kMainWindow = "Scribeline";
inline const std::string kMaskWindow = "Mask";
inline const std::string kToolboxWindow = "Toolbox";

}  // namespace scribeline
