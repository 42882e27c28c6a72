#include "util/clock.h"

#include <windows.h>

uint64_t PreciseTicks() {
  LARGE_INTEGER now;
  if (!QueryPerformanceCounter(&now)) return GetTickCount();
  return static_cast<uint64_t>(now.QuadPart);
}
