#include "wizard/core/wizard_environment.h"
