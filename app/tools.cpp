#include "app/tools.h"

#include <memory>

#include "canvas/pen.h"
#include "fill/fill_tool.h"
#include "scissors/scissor_tool.h"
#include "snapping/snapper_tool.h"

namespace scribeline {

void installTools(Workspace& workspace) {
  workspace.tools[kToolScissors] = std::make_unique<ScissorTool>();
  workspace.tools[kToolSnapper] = std::make_unique<SnapperTool>();
  workspace.tools[kToolPen] = std::make_unique<PenTool>();
  workspace.tools[kToolFill] = std::make_unique<FillTool>();
}

}  // namespace scribeline
