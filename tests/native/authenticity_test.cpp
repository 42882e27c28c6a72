// Reading the announced package hash and the pinned publisher keys, and the
// verdict on a signature: which platform results a pinned key may accept.
#include "update/authenticity.h"

#include <gtest/gtest.h>

namespace {

const std::string kHexA = "00112233445566778899aabbccddeeff00112233445566778899aabbccddeeff";
const std::string kHexB = "ffeeddccbbaa99887766554433221100ffeeddccbbaa99887766554433221100";

TSha256 Key(const std::string& hex) {
  TSha256 key = {};
  EXPECT_TRUE(ParseSha256Hex(hex, key)) << hex;
  return key;
}

TEST(Authenticity, Sha256HexReadsOnlySixtyFourDigits) {
  struct Case {
    std::string text;
    bool ok;
  };
  const Case cases[] = {
      {kHexA, true},
      {"00112233445566778899AABBCCDDEEFF00112233445566778899aAbBcCdDeEfF", true},
      {"  " + kHexA + "\t", true},
      {kHexA.substr(1), false},
      {kHexA + "0", false},
      {kHexA.substr(0, 63) + "g", false},
      {kHexA.substr(0, 32) + " " + kHexA.substr(33), false},
      {"", false},
  };
  for (const Case& c : cases) {
    TSha256 value = {};
    EXPECT_EQ(ParseSha256Hex(c.text, value), c.ok) << c.text;
    if (c.ok) EXPECT_EQ(Sha256Hex(value), kHexA) << c.text;
  }
}

TEST(Authenticity, PinsFailClosedOnAnythingButBlanks) {
  struct Case {
    std::string value;
    bool pinned;
    std::vector<std::string> keys;
  };
  const Case cases[] = {
      {"", false, {}},
      {"  \t", false, {}},
      {kHexA, true, {kHexA}},
      {kHexA + "," + kHexB, true, {kHexA, kHexB}},
      {" " + kHexB + " , " + kHexA + " ", true, {kHexB, kHexA}},
      // Damaged values pin nothing that could match, but still pin.
      {"not a key", true, {}},
      {kHexA + ",,x", true, {kHexA}},
      {",", true, {}},
  };
  for (const Case& c : cases) {
    const TSignerPins pins = ParseSignerPins(c.value);
    EXPECT_EQ(pins.pinned, c.pinned) << c.value;
    std::vector<std::string> keys;
    for (size_t i = 0; i < pins.keys.size(); ++i) keys.push_back(Sha256Hex(pins.keys[i]));
    EXPECT_EQ(keys, c.keys) << c.value;
  }
}

TEST(Authenticity, SignatureVerdict) {
  const TSha256List pins = {Key(kHexA), Key(kHexB)};
  struct Case {
    uint32_t status;
    bool hasKey;
    std::string key;
    TSignatureVerdict verdict;
  };
  const Case cases[] = {
      {0, true, kHexA, TSignatureVerdict::kAccepted},
      {0, true, kHexB, TSignatureVerdict::kAccepted},
      // A self-signed publisher certificate on Windows: the chain alone fails.
      {kUntrustedRootStatus, true, kHexA, TSignatureVerdict::kAccepted},
      {kChainingStatus, true, kHexB, TSignatureVerdict::kAccepted},
      {kUntrustedRootStatus, true, std::string(64, '1'), TSignatureVerdict::kOtherSigner},
      {0, true, std::string(64, '2'), TSignatureVerdict::kOtherSigner},
      {0, false, kHexA, TSignatureVerdict::kNoSignerKey},
      // A damaged digest, no signature, an expired or revoked certificate,
      // an unknown provider: never accepted, whatever the key.
      {0x80096010u, true, kHexA, TSignatureVerdict::kNotTrusted},
      {0x800B0100u, false, kHexA, TSignatureVerdict::kNotTrusted},
      {0x800B0101u, true, kHexA, TSignatureVerdict::kNotTrusted},
      {0x800B010Cu, true, kHexA, TSignatureVerdict::kNotTrusted},
      {0x800B0001u, false, kHexA, TSignatureVerdict::kNotTrusted},
  };
  for (const Case& c : cases) {
    TSignatureCheck check;
    check.trustStatus = static_cast<int32_t>(c.status);
    check.hasSignerKey = c.hasKey;
    check.signerKey = Key(c.key);
    EXPECT_EQ(JudgeSignature(check, pins), c.verdict) << std::hex << c.status << " " << c.key;
  }
  TSignatureCheck trusted;
  trusted.hasSignerKey = true;
  trusted.signerKey = Key(kHexA);
  EXPECT_EQ(JudgeSignature(trusted, {}), TSignatureVerdict::kOtherSigner) << "no key pinned";
}

}  // namespace
