#include "wizard/core/download_job.h"
