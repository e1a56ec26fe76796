#include "canvas/workspace.h"
#include "autosave/autosave.h"
#include "files/mask_file.h"
