// zlib's inflate checks every zlib stream with adler32(); zlib's own runs
// sixteen bytes a step and is five times the code. The launcher's build of
// zlib leaves adler32.c out and links this small version instead (and, built
// without gzip decoding, needs no crc32 at all).
#include <zlib.h>

#include "stub_checks.h"

extern "C" uLong ZEXPORT adler32(uLong adler, const Bytef* buf, uInt len) {
  if (buf == Z_NULL) return 1;
  return Adler32(static_cast<uint32_t>(adler), buf, len);
}
