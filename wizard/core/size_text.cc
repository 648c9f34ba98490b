#include "wizard/core/size_text.h"
