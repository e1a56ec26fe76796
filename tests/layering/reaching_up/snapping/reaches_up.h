#include "files/photo_list.h"
