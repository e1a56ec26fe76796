#include "app/tools.h"

#include <memory>

#include "canvas/pen.h"
#include "scissors/scissor_tool.h"

namespace scribeline {

void installTools(Workspace& workspace) {
  // The lSnapper slot holds a placeholder whose events only redraw until
  // that tool is built.
  workspace.tools[kToolScissors] = std::make_unique<ScissorTool>();
  workspace.tools[kToolSnapper] = std::make_unique<Tool>();
  workspace.tools[kToolPen] = std::make_unique<PenTool>();
}

}  // namespace scribeline
