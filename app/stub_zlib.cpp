// zlib's inflate links crc32() for gzip streams; zlib's own version brings
// 8 KB of tables and table code. Packages hold zlib streams, which inflate
// checks with Adler-32, so the launcher links this small version instead
// (the linker then leaves zlib's crc32 member out).
#include <zlib.h>

#include "stub_crc32.h"

extern "C" uLong ZEXPORT crc32(uLong crc, const Bytef* buf, uInt len) {
  if (buf == Z_NULL) return 0;
  return BitwiseCrc32(static_cast<uint32_t>(crc), buf, len);
}
