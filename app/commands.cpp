#include "app/commands.h"

#include <algorithm>

#include "app/toolbox.h"
#include "canvas/label_statistics.h"
#include "canvas/mask_cleanup.h"
#include "canvas/mask_steps.h"
#include "canvas/mouse.h"
#include "canvas/navigation.h"
#include "canvas/opacity.h"
#include "canvas/view.h"
#include "canvas/window_placement.h"
#include "files/mask_file.h"
#include "fill/fill_tool.h"

namespace scribeline {
namespace {

Tool* currentTool(Workspace& workspace) {
  return workspace.tools[workspace.currentTool].get();
}

CommandResult quit(Workspace&, int) { return CommandResult::Quit; }

CommandResult backspace(Workspace& workspace, int) {
  if (Tool* tool = currentTool(workspace)) tool->onBackspace(workspace);
  recomposeAndShow(workspace);
  return CommandResult::Continue;
}

CommandResult enter(Workspace& workspace, int keyCode) {
  if (Tool* tool = currentTool(workspace)) tool->onEnterKey(workspace, keyCode);
  return CommandResult::Continue;
}

// The outline around the pointer takes the new radius at once.
void reportPenRadius(Workspace& workspace) {
  say(workspace,
      "current pen radius = " + std::to_string(workspace.penRadius) + "\n");
  if (workspace.views.pointer.radius > 0) refreshPointerOutline(workspace);
}

CommandResult penRadiusDown(Workspace& workspace, int) {
  if (workspace.penRadius > 1) --workspace.penRadius;
  reportPenRadius(workspace);
  return CommandResult::Continue;
}

CommandResult penRadiusUp(Workspace& workspace, int) {
  ++workspace.penRadius;
  reportPenRadius(workspace);
  return CommandResult::Continue;
}

// The tool's under-way work is settled before the message and the switch;
// selecting the current tool again only prints the message.
void switchTool(Workspace& workspace, int tool) {
  const std::string message = currentToolLine(tool);
  const bool changes = tool != workspace.currentTool;
  if (Tool* leaving = currentTool(workspace); changes && leaving)
    leaving->onLeave(workspace);
  say(workspace, message);
  workspace.currentTool = tool;
  if (Tool* entering = currentTool(workspace); changes && entering)
    entering->onEnter(workspace);
  // The pen's outline around the pointer comes and goes with the pen.
  const Tool* now = currentTool(workspace);
  if (changes &&
      workspace.views.pointer.radius !=
          (now != nullptr ? now->pointerOutlineRadius(workspace) : 0))
    refreshPointerOutline(workspace);
}

CommandResult toolScissors(Workspace& workspace, int) {
  switchTool(workspace, kToolScissors);
  return CommandResult::Continue;
}

CommandResult toolSnapper(Workspace& workspace, int) {
  switchTool(workspace, kToolSnapper);
  return CommandResult::Continue;
}

CommandResult toolPen(Workspace& workspace, int) {
  switchTool(workspace, kToolPen);
  return CommandResult::Continue;
}

CommandResult toolFill(Workspace& workspace, int) {
  switchTool(workspace, kToolFill);
  return CommandResult::Continue;
}

CommandResult fillToleranceStep(Workspace& workspace, int step) {
  workspace.fillTolerance =
      std::clamp(workspace.fillTolerance + step, 0, kMaxFillTolerance);
  say(workspace, "current fill tolerance = " +
                     std::to_string(workspace.fillTolerance) + "\n");
  return CommandResult::Continue;
}

CommandResult fillToleranceDown(Workspace& workspace, int) {
  return fillToleranceStep(workspace, -kFillToleranceStep);
}

CommandResult fillToleranceUp(Workspace& workspace, int) {
  return fillToleranceStep(workspace, kFillToleranceStep);
}

CommandResult opacityDown(Workspace& workspace, int) {
  workspace.maskOpacity = lowerOpacity(workspace.maskOpacity);
  recomposeAndShow(workspace);
  return CommandResult::Continue;
}

CommandResult opacityUp(Workspace& workspace, int) {
  workspace.maskOpacity = raiseOpacity(workspace.maskOpacity);
  recomposeAndShow(workspace);
  return CommandResult::Continue;
}

CommandResult saveMask(Workspace& workspace, int) {
  saveMaskNow(workspace);
  return CommandResult::Continue;
}

CommandResult updateMask(Workspace& workspace, bool filled) {
  for (auto& tool : workspace.tools)
    if (tool) tool->onUpdateMask(workspace, filled);
  recordMaskStep(workspace);
  // The new mask shows at once (over the photo, with the overlay on).
  recomposeAndShow(workspace);
  return CommandResult::Continue;
}

CommandResult updateMaskFilled(Workspace& workspace, int) {
  return updateMask(workspace, true);
}

CommandResult updateMaskOutlines(Workspace& workspace, int) {
  return updateMask(workspace, false);
}

CommandResult reopenMainWindow(Workspace& workspace, WindowMode mode) {
  workspace.windows.destroyWindow(kMainWindow);
  openMainWindow(workspace.views, workspace.windows, workspace.image.size(),
                 mode);
  registerMainMouse(workspace, kMainWindow);
  recomposeAndShow(workspace);
  if (!workspace.windows.pictureArea(kMaskWindow).empty())
    showMaskView(workspace.views, workspace.windows, workspace.mask);
  return CommandResult::Continue;
}

CommandResult mainScale100(Workspace& workspace, int) {
  return reopenMainWindow(workspace, WindowMode::Scale100);
}

CommandResult mainFreeScale(Workspace& workspace, int) {
  return reopenMainWindow(workspace, WindowMode::FreeScale);
}

CommandResult reopenMaskWindow(Workspace& workspace, WindowMode mode) {
  workspace.windows.destroyWindow(kMaskWindow);
  openMaskWindow(workspace.views, workspace.windows, workspace.image.size(),
                 mode);
  registerMainMouse(workspace, kMaskWindow);
  showMaskView(workspace.views, workspace.windows, workspace.mask);
  return CommandResult::Continue;
}

CommandResult maskScale100(Workspace& workspace, int) {
  return reopenMaskWindow(workspace, WindowMode::Scale100);
}

CommandResult maskFreeScale(Workspace& workspace, int) {
  return reopenMaskWindow(workspace, WindowMode::FreeScale);
}

CommandResult showMask(Workspace& workspace, int) {
  showMaskView(workspace.views, workspace.windows, workspace.mask);
  return CommandResult::Continue;
}

CommandResult showToolbox(Workspace& workspace, int) {
  openToolbox(workspace);
  workspace.windows.raiseWindow(kToolboxWindow);
  return CommandResult::Continue;
}

CommandResult nextPhoto(Workspace&, int) { return CommandResult::NextPhoto; }

CommandResult previousPhoto(Workspace&, int) {
  return CommandResult::PreviousPhoto;
}

template <int dx, int dy>
CommandResult pan(Workspace& workspace, int) {
  panStep(workspace.views, workspace.windows, workspace.image.size(), {dx, dy});
  redrawViews(workspace);
  return CommandResult::Continue;
}

CommandResult toggleOverlay(Workspace& workspace, int) {
  workspace.maskOverlay = !workspace.maskOverlay;
  recomposeAndShow(workspace);
  return CommandResult::Continue;
}

CommandResult toggleAutoAnchoring(Workspace& workspace, int) {
  workspace.autoAnchoring = !workspace.autoAnchoring;
  say(workspace,
      workspace.autoAnchoring ? "auto anchoring ON\n" : "auto anchoring OFF\n");
  return CommandResult::Continue;
}

CommandResult undo(Workspace& workspace, int) {
  undoMaskStep(workspace);
  return CommandResult::Continue;
}

CommandResult redo(Workspace& workspace, int) {
  redoMaskStep(workspace);
  return CommandResult::Continue;
}

}  // namespace

const std::vector<Command>& commandTable() {
  static const std::vector<Command> table = {
      {kKeyEscape, "ESC", "quit the program", quit},
      {'m', "m", "[mask] open mask in a new window", showMask},
      {'M', "M", "[mask] save mask", saveMask},
      {'u', "u", "[mask] ON/OFF mask on top of image", toggleOverlay},
      {'<', "<", "[mask] mask opacity -=0.05", opacityDown},
      {'>', ">", "[mask] mask opacity +=0.05", opacityUp},
      {'x', "x", "[mask] free scale", maskFreeScale},
      {'X', "X", "[mask] scale 100%", maskScale100},
      {'s', "s", "free scale", mainFreeScale},
      {'S', "S", "scale 100%", mainScale100},
      {'t', "t", "show toolbox", showToolbox},
      {'0', "0", "iScissor tool", toolScissors},
      {'1', "1", "lSnapper tool", toolSnapper},
      {'2', "2", "pen tool", toolPen},
      {kKeyEnter, "Enter", "[iScissor] finish the current contour", enter},
      {kKeyCtrlEnter, "Ctrl + Enter",
       "[iScissor] finish the current contour as closed", enter},
      {'n', "n", "[iScissor] update mask (unfilled)", updateMaskOutlines},
      {'N', "N", "[iScissor] update mask (  filled)", updateMaskFilled},
      {',', ",", "[pen] radius --", penRadiusDown},
      {'.', ".", "[pen] radius ++", penRadiusUp},
      {kKeyBackspace, "Backspace", "[iScissor & pen] undo", backspace},
  };
  return table;
}

namespace {

// A tab, the key name padded to 13 characters (a longer name gets one
// space), "= ", the description.
std::string helpLine(const Command& command) {
  constexpr size_t keyColumnWidth = 13;
  std::string key = command.keyName;
  key.resize(key.size() < keyColumnWidth ? keyColumnWidth : key.size() + 1,
             ' ');
  return "\t" + key + "= " + command.description + "\n";
}

}  // namespace

std::string helpText() {
  std::string text = "Hot keys: \n";
  for (const Command& command : commandTable()) text += helpLine(command);
  return text;
}

std::string namedKeyHelpText() {
  std::string text;
  for (const Command& command : namedKeyTable()) text += helpLine(command);
  for (const Command& command : addedKeyTable()) text += helpLine(command);
  return text;
}

const std::vector<Command>& addedKeyTable() {
  static const std::vector<Command> table = {
      {'a', "a", "[iScissor] ON/OFF auto anchoring of the live-wire",
       toggleAutoAnchoring},
      {'c', "c", "[mask] clean up islands and holes below the clean-up size",
       [](Workspace& workspace, int) {
         cleanUpWorkspaceMask(workspace);
         return CommandResult::Continue;
       }},
      {'{', "{", "[mask] clean-up size /2",
       [](Workspace& workspace, int) {
         lowerCleanupSize(workspace);
         return CommandResult::Continue;
       }},
      {'}', "}", "[mask] clean-up size x2",
       [](Workspace& workspace, int) {
         raiseCleanupSize(workspace);
         return CommandResult::Continue;
       }},
      {'i', "i", "[mask] pixels of every label",
       [](Workspace& workspace, int) {
         sayLabelStatistics(workspace);
         return CommandResult::Continue;
       }},
      {'3', "3", "fill tool", toolFill},
      {'[', "[", "[fill] tolerance --", fillToleranceDown},
      {']', "]", "[fill] tolerance ++", fillToleranceUp},
  };
  return table;
}

const std::vector<Command>& namedKeyTable() {
  static const std::vector<Command> table = {
      {kKeyUndo, "Ctrl + Z", "undo the last change of the mask", undo},
      {kKeyRedo, "Ctrl + Shift + Z / Ctrl + Y", "redo the change undone last",
       redo},
      {kKeyLeft, "Left", "pan left", pan<-1, 0>},
      {kKeyUp, "Up", "pan up", pan<0, -1>},
      {kKeyRight, "Right", "pan right", pan<1, 0>},
      {kKeyDown, "Down", "pan down", pan<0, 1>},
      {kKeyPageDown, "PageDown", "[folder] next photo", nextPhoto},
      {kKeyPageUp, "PageUp", "[folder] previous photo", previousPhoto},
  };
  return table;
}

CommandResult runCommand(Workspace& workspace, int keyCode) {
  if (keyCode >= kFirstNamedKey) {
    for (const Command& command : namedKeyTable())
      if (command.code == keyCode) return command.run(workspace, keyCode);
    return CommandResult::Continue;
  }
  const int code = static_cast<signed char>(keyCode & 0xFF);
  for (const Command& command : commandTable())
    if (command.code == code) return command.run(workspace, keyCode);
  for (const Command& command : addedKeyTable())
    if (command.code == code) return command.run(workspace, keyCode);
  return CommandResult::Continue;
}

std::string currentToolLine(int tool) {
  static const char* const names[numTools] = {"iScissor", "lSnapper", "pen",
                                              "fill"};
  return std::string("Current Tool = ") + names[tool] + "\n";
}

bool saveMaskNow(Workspace& workspace) {
  const Status saved = writeMaskFile(workspace.mask, workspace.maskPath,
                                     !workspace.maskBackupTaken);
  if (saved.ok()) {
    workspace.maskBackupTaken = true;
    workspace.savedMask = workspace.mask.clone();
    return true;
  }
  say(workspace, "Could not save the mask to " + workspace.maskPath + ": " +
                     saved.reason() + "\n");
  return false;
}

}  // namespace scribeline
