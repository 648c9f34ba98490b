#include "wizard/core/restore_job.h"
