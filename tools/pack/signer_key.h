// SHA-256 values the publisher puts into the update files: of a whole
// package (the info file announces it) and of a signer certificate's DER
// SubjectPublicKeyInfo (the installation settings file pins it). Linux reads
// certificates with OpenSSL, Windows with crypt32; both give the same text.
#pragma once

#include <string>

#include "update/authenticity.h"

// The first certificate of the PEM file `path` ("-----BEGIN CERTIFICATE-----"):
// `hex` = 64 lowercase hex digits of the SHA-256 of its public key info.
// Returns an error text.
std::string SignerKeySha256Hex(const std::string& path, std::string& hex);

// `hex` = 64 lowercase hex digits of the SHA-256 of the whole file. Returns
// an error text.
std::string FileSha256Hex(const std::string& path, std::string& hex);

// The SHA-256 of `bytes` (the old and new file a patch names). False when
// no hash can be made.
bool BytesSha256(const std::string& bytes, TSha256& out);
