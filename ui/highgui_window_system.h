#pragma once

#include <memory>
#include <string>

#include "ui/window_system.h"

namespace scribeline {

// Opens the real window system (highgui windows, Qt dialogs, Qt key events).
// Returns null and describes the reason in *error when no display can be
// opened; nothing has been shown then.
std::unique_ptr<WindowSystem> openHighguiWindowSystem(int& argc, char** argv,
                                                      std::string* error);

}  // namespace scribeline
