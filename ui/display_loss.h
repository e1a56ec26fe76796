#pragma once

namespace scribeline {

// Qt's X11 backend ends the process with exit(1) when the connection to the
// display breaks, right after its warning "The X11 connection broke". Once
// this is called, that warning runs `action` first (which may end the
// process itself with a status of its choice); every other message goes on
// to Qt's usual output. The action runs on the thread that handles the
// windows' events, after the warning is printed.
void watchForDisplayLoss(void (*action)());

// Qt starts while the program is still reading its photo, which may yet be
// refused. Between these calls Qt's messages are kept instead of printed
// (the display-loss watch still sees them); releasing prints them in order,
// or drops them, as a program that never started Qt would have printed
// none. Needs watchForDisplayLoss first; releasing what is not held does
// nothing.
void holdQtMessages();
void releaseQtMessages(bool print);

}  // namespace scribeline
