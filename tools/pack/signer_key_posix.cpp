#include "pack/signer_key.h"

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <vector>

#include "update/authenticity.h"

namespace {

struct TBioFree {
  void operator()(BIO* bio) const { BIO_free(bio); }
};
struct TX509Free {
  void operator()(X509* cert) const { X509_free(cert); }
};
struct TDerFree {
  void operator()(unsigned char* der) const { OPENSSL_free(der); }
};
struct TDigestFree {
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

// Feeds `read` into a SHA-256 until it returns 0; false on a digest error.
template <typename Read>
bool DigestSha256(Read read, TSha256& out) {
  std::unique_ptr<EVP_MD_CTX, TDigestFree> context(EVP_MD_CTX_new());
  if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1) return false;
  std::vector<char> buffer(1 << 16);
  for (;;) {
    const size_t got = read(buffer.data(), buffer.size());
    if (got == 0) break;
    if (EVP_DigestUpdate(context.get(), buffer.data(), got) != 1) return false;
  }
  unsigned int length = 0;
  return EVP_DigestFinal_ex(context.get(), out.data(), &length) == 1 && length == out.size();
}

}  // namespace

std::string SignerKeySha256Hex(const std::string& path, std::string& hex) {
  std::unique_ptr<BIO, TBioFree> bio(BIO_new_file(path.c_str(), "rb"));
  if (!bio) return "Cannot read the certificate file " + path;
  std::unique_ptr<X509, TX509Free> cert(PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr));
  if (!cert) return path + " holds no PEM certificate (-----BEGIN CERTIFICATE-----)";
  unsigned char* raw = nullptr;
  const int length = i2d_X509_PUBKEY(X509_get_X509_PUBKEY(cert.get()), &raw);
  std::unique_ptr<unsigned char, TDerFree> der(raw);
  if (length <= 0) return "Cannot encode the public key of " + path;
  size_t offset = 0;
  TSha256 digest = {};
  const bool ok = DigestSha256(
      [&](char* data, size_t room) {
        const size_t count = std::min(room, static_cast<size_t>(length) - offset);
        std::copy(der.get() + offset, der.get() + offset + count, data);
        offset += count;
        return count;
      },
      digest);
  if (!ok) return "Cannot hash the public key of " + path;
  hex = Sha256Hex(digest);
  return std::string();
}

std::string FileSha256Hex(const std::string& path, std::string& hex) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return "Cannot read " + path;
  TSha256 digest = {};
  const bool ok = DigestSha256(
      [&](char* data, size_t room) {
        in.read(data, static_cast<std::streamsize>(room));
        return static_cast<size_t>(in.gcount());
      },
      digest);
  if (!ok || in.bad()) return "Cannot hash " + path;
  hex = Sha256Hex(digest);
  return std::string();
}

bool BytesSha256(const std::string& bytes, TSha256& out) {
  size_t offset = 0;
  return DigestSha256(
      [&](char* data, size_t room) {
        const size_t count = std::min(room, bytes.size() - offset);
        std::copy(bytes.data() + offset, bytes.data() + offset + count, data);
        offset += count;
        return count;
      },
      out);
}
