#pragma once

#include <opencv2/core.hpp>
#include <ostream>
#include <string>

#include "app/commands.h"
#include "canvas/workspace.h"

namespace scribeline {

// The banner printed before anything else.
void printBanner(std::ostream& console);

// Start-up after the photograph is loaded: builds and initializes the tools,
// finds, loads or creates the mask, opens the toolbox, prints the help, opens
// the main window and draws the first view.
// REQUIRES: `image` holds the photograph and `tools` are installed.
void startUp(Workspace& workspace, const std::string& imagePath);

// Runs commands until one ends the loop: Escape, or the user has closed
// every window (both Quit), or a step to another photo of a folder.
CommandResult runKeyLoop(Workspace& workspace);

// Asks "Save?" and saves on Yes; a failed save asks again, so that the work
// is never dropped silently.
void offerToSave(Workspace& workspace);

// "Exiting ...", offerToSave, closes the windows, says goodbye. Returns the
// exit status, 1.
int shutDown(Workspace& workspace);

}  // namespace scribeline
