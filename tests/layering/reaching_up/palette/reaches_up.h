#include "files/mask_file.h"
