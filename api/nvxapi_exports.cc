// libnvxapi.so is nvx_api linked whole; its exports are the classes of api/nvxapi.h.
#include "api/nvxapi.h"
