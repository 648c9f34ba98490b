#include "wizard/core/config_writer.h"
