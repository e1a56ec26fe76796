#include "canvas/workspace.h"
#include "export/export.h"
