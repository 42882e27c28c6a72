#include "util/sha256.h"

#include <windows.h>
#include <wincrypt.h>

#include <string>

#include "util/file_io.h"

// The headers offer SHA-256 only to systems newer than the one the product
// targets; the providers of XP SP3 and later know it, older ones fail the
// hash and with it the check. 12 is the SHA-256 sub-id.
#ifndef CALG_SHA_256
#define CALG_SHA_256 (ALG_CLASS_HASH | ALG_TYPE_ANY | 12)
#endif

namespace {

// An open SHA-256 hash and its provider, both released when it goes (the
// hash first). Nothing reports a system error from here, so unlike the
// handle wrappers this one need not keep the thread's last error.
class TSha256Hash {
 public:
  TSha256Hash() {
    if (!CryptAcquireContextA(&provider_, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) {
      provider_ = 0;
    } else if (!CryptCreateHash(provider_, CALG_SHA_256, 0, 0, &hash_)) {
      hash_ = 0;
    }
  }
  ~TSha256Hash() {
    if (hash_ != 0) CryptDestroyHash(hash_);
    if (provider_ != 0) CryptReleaseContext(provider_, 0);
  }
  TSha256Hash(const TSha256Hash&) = delete;
  TSha256Hash& operator=(const TSha256Hash&) = delete;

  bool IsOpen() const { return hash_ != 0; }
  bool Add(const void* data, size_t count) {
    return IsOpen() && CryptHashData(hash_, static_cast<const BYTE*>(data),
                                     static_cast<DWORD>(count), 0) != FALSE;
  }
  bool Finish(TSha256& out) {
    DWORD length = static_cast<DWORD>(out.size());
    return IsOpen() && CryptGetHashParam(hash_, HP_HASHVAL, out.data(), &length, 0) &&
           length == out.size();
  }

 private:
  HCRYPTPROV provider_ = 0;
  HCRYPTHASH hash_ = 0;
};

}  // namespace

bool Sha256Of(const void* data, size_t size, TSha256& out) {
  TSha256Hash hash;
  return hash.Add(data, size) && hash.Finish(out);
}

bool FileSha256(const std::string& path, TSha256& out) {
  TReadFile file;
  if (!file.Open(path)) return false;
  TSha256Hash hash;
  std::string buffer(64 * 1024, '\0');
  int64_t left = file.Size();
  while (left > 0) {
    const size_t got = file.Read(&buffer[0], buffer.size());
    if (got == 0 || !hash.Add(buffer.data(), got)) return false;
    left -= static_cast<int64_t>(got);
  }
  return left == 0 && hash.Finish(out);
}
