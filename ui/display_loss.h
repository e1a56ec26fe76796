#pragma once

namespace scribeline {

// Qt's X11 backend ends the process with exit(1) when the connection to the
// display breaks, right after its warning "The X11 connection broke". Once
// this is called, that warning runs `action` first (which may end the
// process itself with a status of its choice); every other message goes on
// to Qt's usual output. The action runs on the thread that handles the
// windows' events, after the warning is printed.
void watchForDisplayLoss(void (*action)());

}  // namespace scribeline
