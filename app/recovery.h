#pragma once

#include <string>

#include "canvas/workspace.h"

namespace scribeline {

// The question put at start-up when an autosave of the photo's mask exists
// (beside the photo, or in the state folder) and can be used: titled
// "Recover?", naming the file and the time it was written. On Yes the
// autosave becomes the mask and true is returned.
//
// Only regular files are looked at, never through a symbolic link; anything
// else at an autosave path is never offered (PhotoAutosave names it). An
// autosave that cannot be used (empty, cut short, corrupt, refused by its
// header, of another size than the photo) is named on the console and set
// aside as unusableAutosavePath, never offered and never deleted.
//
// On No the autosave is kept at once as declinedAutosavePath (a second name
// for the file, or a copy; the last declined one is replaced), named on the
// console, before this run's autosave can overwrite it; it stays in place
// too, until this run's first autosave or clean end.
bool offerRecovery(Workspace& workspace, const std::string& imagePath);

// The question's text for an autosave at path written at the given time.
std::string recoveryQuestion(const std::string& path, const std::string& when);

}  // namespace scribeline
