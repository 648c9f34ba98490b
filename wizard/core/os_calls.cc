#include "wizard/core/os_calls.h"
