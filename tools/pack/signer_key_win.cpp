#include "pack/signer_key.h"

#include <windows.h>
#include <wincrypt.h>

#include <fstream>
#include <iterator>
#include <memory>

#include "update/authenticity.h"
#include "update/file_trust.h"

namespace {

struct TCertFree {
  void operator()(PCCERT_CONTEXT cert) const { CertFreeCertificateContext(cert); }
};

}  // namespace

std::string SignerKeySha256Hex(const std::string& path, std::string& hex) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return "Cannot read the certificate file " + path;
  const std::string pem((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::string noCert = path + " holds no PEM certificate (-----BEGIN CERTIFICATE-----)";
  const size_t begin = pem.find("-----BEGIN CERTIFICATE-----");
  if (begin == std::string::npos) return noCert;
  DWORD length = 0;
  if (!CryptStringToBinaryA(pem.c_str() + begin, 0, CRYPT_STRING_BASE64HEADER, nullptr, &length,
                            nullptr, nullptr)) {
    return noCert;
  }
  std::string der(length, '\0');
  if (!CryptStringToBinaryA(pem.c_str() + begin, 0, CRYPT_STRING_BASE64HEADER,
                            reinterpret_cast<BYTE*>(&der[0]), &length, nullptr, nullptr)) {
    return noCert;
  }
  std::unique_ptr<const CERT_CONTEXT, TCertFree> cert(CertCreateCertificateContext(
      X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()), length));
  if (!cert) return noCert;
  const CERT_PUBLIC_KEY_INFO* key = &cert->pCertInfo->SubjectPublicKeyInfo;
  DWORD keyLength = 0;
  if (!CryptEncodeObject(X509_ASN_ENCODING, X509_PUBLIC_KEY_INFO, key, nullptr, &keyLength)) {
    return "Cannot encode the public key of " + path;
  }
  std::string keyDer(keyLength, '\0');
  if (!CryptEncodeObject(X509_ASN_ENCODING, X509_PUBLIC_KEY_INFO, key,
                         reinterpret_cast<BYTE*>(&keyDer[0]), &keyLength)) {
    return "Cannot encode the public key of " + path;
  }
  keyDer.resize(keyLength);
  TSha256 digest = {};
  if (!Sha256Of(keyDer.data(), keyDer.size(), digest))
    return "Cannot hash the public key of " + path;
  hex = Sha256Hex(digest);
  return std::string();
}

std::string FileSha256Hex(const std::string& path, std::string& hex) {
  TSha256 digest = {};
  if (!FileSha256(path, digest)) return "Cannot read or hash " + path;
  hex = Sha256Hex(digest);
  return std::string();
}

bool BytesSha256(const std::string& bytes, TSha256& out) {
  return Sha256Of(bytes.data(), bytes.size(), out);
}
