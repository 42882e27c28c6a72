// What the platform says about a file on disk: its SHA-256, and its
// Authenticode signature with the signer's public key. The hash comes from
// the CryptoAPI ("PROV_RSA_AES"); "wintrust.dll" and "crypt32.dll" are
// loaded from the system folder on first use. Nothing here decides whether
// a file is trusted: JudgeSignature (authenticity.h) does.
#pragma once

#include <string>

#include "update/authenticity.h"
#include "util/sha256.h"

// Verifies the file's Authenticode signature (no user interface, no
// revocation check, no network fetch) and reads the leaf signer's
// SubjectPublicKeyInfo, DER-encoded, as a SHA-256. A library or function
// that cannot be found gives the status TRUST_E_PROVIDER_UNKNOWN and no key.
TSignatureCheck CheckFileSignature(const std::string& path);
