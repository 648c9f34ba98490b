#include "wizard/core/login_library.h"
