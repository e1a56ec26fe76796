#include "autosave/autosave.h"
