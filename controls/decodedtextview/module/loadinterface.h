#pragma once

#include "dtv_export.h"

class IDllInstance;

// The module's plain entry points, found by name by the suite's module loader.
extern "C" {
DTV_EXPORT IDllInstance* VXCreate(const wchar_t* name);
DTV_EXPORT void VXDestroy(IDllInstance* instance);
}
