#include "wizard/core/menu_config.h"
