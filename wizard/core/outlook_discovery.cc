#include "wizard/core/outlook_discovery.h"
