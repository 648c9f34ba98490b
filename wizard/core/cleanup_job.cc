#include "wizard/core/cleanup_job.h"
