#include "canvas/tool.h"

#include "canvas/view.h"

namespace scribeline {

void Tool::onBackspace(Workspace& workspace) { recomposeAndShow(workspace); }

}  // namespace scribeline
