// Rules for trusting a downloaded package beyond its token: the SHA-256 of
// the whole file that the info file announces, and the publisher keys that
// the installation settings file pins. Pure text and number logic,
// unit-tested natively; the Windows side (signature check, hashing) is in
// authenticity_win.cpp.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

#include "util/sha256.h"

// Exactly 64 hex digits (either letter case) after trimming blanks; false
// for anything else, leaving `out` unspecified.
bool ParseSha256Hex(const std::string& text, TSha256& out);

// The value as 64 lowercase hex digits.
std::string Sha256Hex(const TSha256& value);

// SHA-256 values end to end in one string: the list grows through the
// string code the launcher has anyway, where a vector of arrays would bring
// growth code of its own (about 250 bytes).
class TSha256List {
 public:
  TSha256List() = default;
  TSha256List(std::initializer_list<TSha256> values) {
    for (const TSha256& value : values) push_back(value);
  }
  void push_back(const TSha256& value) {
    bytes_.append(reinterpret_cast<const char*>(value.data()), value.size());
  }
  size_t size() const { return bytes_.size() / sizeof(TSha256); }
  TSha256 operator[](size_t index) const;
  bool Contains(const TSha256& value) const;

 private:
  std::string bytes_;
};

// The publisher keys pinned by the installation settings file: SHA-256
// values of the signer certificates' DER SubjectPublicKeyInfo, separated by
// commas (two during a key rollover).
struct TSignerPins {
  // The setting holds anything but blanks. A pinned installation accepts
  // only a signed package, even when no value in it could be read: a
  // damaged pin fails closed, never open.
  bool pinned = false;
  TSha256List keys;  // the values that could be read
};
TSignerPins ParseSignerPins(const std::string& value);

// What the signature check of a file found, as the platform reported it.
struct TSignatureCheck {
  int32_t trustStatus = 0;  // the verification's result code, 0 = trusted
  bool hasSignerKey = false;
  TSha256 signerKey = {};  // SHA-256 of the leaf signer's SubjectPublicKeyInfo
};

// The verdict on a signature, judged against what the holder trusts.
enum class TSignatureVerdict {
  kAccepted,
  kNotTrusted,   // no signature, a damaged digest or another verification failure
  kNoSignerKey,  // trusted, but the signer's key could not be read
  kOtherSigner,  // intact, but signed with a key the holder does not accept
};

// Status codes of a signature whose digest and signature verify but whose
// certificate chain ends in a root the machine does not trust (a
// self-signed publisher certificate). Only a pinned key makes such a
// signature acceptable.
inline constexpr uint32_t kUntrustedRootStatus = 0x800B0109u;
inline constexpr uint32_t kChainingStatus = 0x800B010Au;

// Accepts a trust status of 0, or one of the two chain-only failures
// above, when the signer's key is among `keys`.
TSignatureVerdict JudgeSignature(const TSignatureCheck& check, const TSha256List& keys);

// The debug-log word of a verdict.
const char* SignatureVerdictName(TSignatureVerdict verdict);
