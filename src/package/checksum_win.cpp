#include "package/checksum.h"

#include <windows.h>

#include "package/handle_source.h"
#include "util/debug_log.h"
#include "util/text.h"

using namespace std::string_view_literals;

uint32_t GetCrc(const std::string& path, int32_t trailerLength) {
  DebugLine("GetCrc - START");
  const DWORD started = GetTickCount();
  uint32_t sum = 0;
  {
    THandleSource file(path);
    if (file.IsOpen()) sum = PackageChecksum(file, trailerLength).Value;
  }
  DebugLineParts(
      {"GetCrc - END   MS="sv, Decimal(GetTickCount() - started), "    CRC="sv, Decimal(sum)});
  return sum;
}
