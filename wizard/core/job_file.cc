#include "wizard/core/job_file.h"
