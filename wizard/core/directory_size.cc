#include "wizard/core/directory_size.h"
