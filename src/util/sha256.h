// SHA-256 through the platform's CryptoAPI ("PROV_RSA_AES"): of bytes in
// memory and of a whole file, read in pieces.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

// A SHA-256 value (32 bytes).
using TSha256 = std::array<uint8_t, 32>;

// False when the CryptoAPI cannot give one.
bool Sha256Of(const void* data, size_t size, TSha256& out);

// False when the file cannot be read or hashed.
bool FileSha256(const std::string& path, TSha256& out);
