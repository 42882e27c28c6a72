#include "update/authenticity.h"

#include <cstring>

#include "util/text.h"

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c |= 0x20;  // "A".."F" to "a".."f"; nothing else lands there
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

bool ParseSha256Hex(const std::string& text, TSha256& out) {
  const std::string digits = Trim(text);
  if (digits.size() != 2 * out.size()) return false;
  for (size_t i = 0; i < out.size(); ++i) {
    const int high = HexDigit(digits[2 * i]);
    const int low = HexDigit(digits[2 * i + 1]);
    if (high < 0 || low < 0) return false;
    out[i] = static_cast<uint8_t>(high << 4 | low);
  }
  return true;
}

std::string Sha256Hex(const TSha256& value) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text(2 * value.size(), '0');
  for (size_t i = 0; i < value.size(); ++i) {
    text[2 * i] = kDigits[value[i] >> 4];
    text[2 * i + 1] = kDigits[value[i] & 0x0F];
  }
  return text;
}

TSha256 TSha256List::operator[](size_t index) const {
  TSha256 value;
  std::memcpy(value.data(), bytes_.data() + index * value.size(), value.size());
  return value;
}

bool TSha256List::Contains(const TSha256& value) const {
  for (size_t at = 0; at < bytes_.size(); at += value.size()) {
    if (std::memcmp(bytes_.data() + at, value.data(), value.size()) == 0) return true;
  }
  return false;
}

TSignerPins ParseSignerPins(const std::string& value) {
  TSignerPins pins;
  pins.pinned = !Trim(value).empty();
  size_t start = 0;
  while (start <= value.size()) {
    size_t comma = value.find(',', start);
    if (comma == std::string::npos) comma = value.size();
    TSha256 key;
    if (ParseSha256Hex(value.substr(start, comma - start), key)) pins.keys.push_back(key);
    start = comma + 1;
  }
  return pins;
}

TSignatureVerdict JudgeSignature(const TSignatureCheck& check, const TSha256List& keys) {
  const uint32_t status = static_cast<uint32_t>(check.trustStatus);
  if (status != 0 && status != kUntrustedRootStatus && status != kChainingStatus) {
    return TSignatureVerdict::kNotTrusted;
  }
  if (!check.hasSignerKey) return TSignatureVerdict::kNoSignerKey;
  return keys.Contains(check.signerKey) ? TSignatureVerdict::kAccepted
                                        : TSignatureVerdict::kOtherSigner;
}

const char* SignatureVerdictName(TSignatureVerdict verdict) {
  switch (verdict) {
    case TSignatureVerdict::kAccepted:
      return "accepted";
    case TSignatureVerdict::kNotTrusted:
      return "signature not valid";
    case TSignatureVerdict::kNoSignerKey:
      return "signer key unreadable";
    case TSignatureVerdict::kOtherSigner:
      return "signer key not accepted";
  }
  return "";
}
