#include "app/tools.h"

#include <memory>

#include "canvas/pen.h"
#include "snapping/snapper_tool.h"

namespace scribeline {

void installTools(Workspace& workspace) {
  // The iScissor slot holds a placeholder whose events only redraw until
  // that tool is built.
  workspace.tools[kToolScissors] = std::make_unique<Tool>();
  workspace.tools[kToolSnapper] = std::make_unique<SnapperTool>();
  workspace.tools[kToolPen] = std::make_unique<PenTool>();
}

}  // namespace scribeline
