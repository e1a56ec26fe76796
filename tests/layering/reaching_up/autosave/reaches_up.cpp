#include "app/session.h"
#include "export/export.h"
#include "files/mask_file.h"
