// zlib's inflate calls crc32() (gzip streams only) and adler32(); zlib's own
// versions bring 8 KB of CRC tables and table code and a sixteen-fold
// unrolled Adler-32. The launcher links these small versions instead, so
// the linker leaves zlib's crc32 and adler32 members out.
#include <zlib.h>

#include "stub_checks.h"

extern "C" uLong ZEXPORT crc32(uLong crc, const Bytef* buf, uInt len) {
  if (buf == Z_NULL) return 0;
  return BitwiseCrc32(static_cast<uint32_t>(crc), buf, len);
}

extern "C" uLong ZEXPORT adler32(uLong adler, const Bytef* buf, uInt len) {
  if (buf == Z_NULL) return 1;
  return Adler32(static_cast<uint32_t>(adler), buf, len);
}
