#pragma once

namespace scribeline {

class Autosaver;

// Ends that do not pass through the key loop's Escape: the signals SIGTERM,
// SIGHUP and SIGINT, the display going away, and exit() called from deep
// inside (a fatal error). Each writes the session's autosave at once when
// there is unsaved work, and prints one line naming the file; each removes
// the photo locks the process holds (releaseHeldPhotoLocks).

// The status after the display went away: that of a hangup, 128 + SIGHUP.
constexpr int kDisplayLostStatus = 129;

// Blocks the three signals in the calling thread and starts the one thread
// that waits for them; on one, the autosave is written and the process ends
// with status 128 + the signal's number. Also arranges for an exit() during
// a session to write the autosave first, and ignores SIGXFSZ, so that a
// write past the file size limit fails (EFBIG) as on a full disk instead of
// ending the process. REQUIRES: called once, before any
// other thread starts (threads inherit the blocked signals, so none of them
// is interrupted).
void watchForAbruptEnds();

// The autosaver of the session now running, or null once it has ended
// cleanly. REQUIRES: a non-null autosaver stays alive until it is replaced
// here by null.
void setSessionAutosaver(Autosaver* autosaver);

// Writes the autosave (when there is unsaved work), prints its line, and
// ends the process with kDisplayLostStatus.
[[noreturn]] void endAfterDisplayLost();

}  // namespace scribeline
