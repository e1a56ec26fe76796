#pragma once

#include <string>

namespace scribeline {

// True when Qt can be started without aborting for want of a display: the
// X platform is selected (the default) and its server accepts a connection,
// or another Qt platform was chosen explicitly, which Qt then checks itself.
// Otherwise false, with a one-line reason in *reason.
bool displayAvailable(std::string* reason);

}  // namespace scribeline
