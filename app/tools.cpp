#include "app/tools.h"

#include <memory>

#include "canvas/pen.h"

namespace scribeline {

void installTools(Workspace& workspace) {
  // The iScissor and lSnapper slots hold placeholders whose events only
  // redraw until those tools are built.
  workspace.tools[kToolScissors] = std::make_unique<Tool>();
  workspace.tools[kToolSnapper] = std::make_unique<Tool>();
  workspace.tools[kToolPen] = std::make_unique<PenTool>();
}

}  // namespace scribeline
