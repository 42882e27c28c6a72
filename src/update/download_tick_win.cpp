#include <windows.h>

#include "update/download_progress.h"

uint32_t SystemTickCount() { return GetTickCount(); }
