#include "wizard/core/config_rewrites.h"
