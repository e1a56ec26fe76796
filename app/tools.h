#pragma once

#include "canvas/workspace.h"

namespace scribeline {

// Puts the four tools into `tools`, one per tool number. The one place
// where tools are registered.
void installTools(Workspace& workspace);

}  // namespace scribeline
