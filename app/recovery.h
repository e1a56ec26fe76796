#pragma once

#include <string>

#include "canvas/workspace.h"

namespace scribeline {

// The question put at start-up when an autosave of the photo's mask exists
// (beside the photo, or in the state folder) and has the photo's size:
// titled "Recover?", naming the file and the time it was written. On Yes the
// autosave becomes the mask and true is returned; on No, or without a usable
// autosave, nothing changes (the file stays where it is).
bool offerRecovery(Workspace& workspace, const std::string& imagePath);

// The question's text for an autosave at path written at the given time.
std::string recoveryQuestion(const std::string& path, const std::string& when);

}  // namespace scribeline
