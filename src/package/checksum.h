// The package checksum: an additive sum of the little-endian 32-bit words
// of a package file, compared with the ExpectedCrc of its trailer before
// any of its entries is read. Not a cryptographic check; it catches damaged
// and truncated copies.
#pragma once

#include <cstdint>
#include <string>

// The checksum of the file at `path`, whose trailer is `trailerLength`
// bytes long (the TrailerLength read from that file). The value equals
// CrcOfImage of the file's bytes: the sum of the covered words plus 1234
// for every 4096-byte piece after which more than four covered bytes
// remain. A file that cannot be opened yields 0. Writes "GetCrc - START"
// and "GetCrc - END   MS=... CRC=..." to the debug log.
uint32_t GetCrc(const std::string& path, int32_t trailerLength);
