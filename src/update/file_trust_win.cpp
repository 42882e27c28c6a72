#include "update/file_trust.h"

#include <windows.h>
#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <memory>
#include <string>

#include "util/file_io.h"
#include "util/lasting.h"
#include "util/winapi.h"

namespace {

// ---- wintrust.dll and crypt32.dll, bound on first use ---------------------------

using TWinVerifyTrust = LONG(WINAPI*)(HWND, GUID*, LPVOID);
using TProvDataFromStateData = CRYPT_PROVIDER_DATA*(WINAPI*)(HANDLE);
using TProvSignerFromChain = CRYPT_PROVIDER_SGNR*(WINAPI*)(CRYPT_PROVIDER_DATA*, DWORD, BOOL,
                                                           DWORD);
using TProvCertFromChain = CRYPT_PROVIDER_CERT*(WINAPI*)(CRYPT_PROVIDER_SGNR*, DWORD);
using TCryptEncodeObject = BOOL(WINAPI*)(DWORD, LPCSTR, const void*, BYTE*, DWORD*);

// The functions the check calls, all from "wintrust.dll" but the last.
constexpr const char* kTrustFunctions[] = {"WinVerifyTrust", "WTHelperProvDataFromStateData",
                                           "WTHelperGetProvSignerFromChain",
                                           "WTHelperGetProvCertFromChain", "CryptEncodeObject"};
constexpr int kTrustFunctionCount = sizeof kTrustFunctions / sizeof kTrustFunctions[0];

struct TTrustApi {
  TTrustApi() {
    for (int i = 0; i < kTrustFunctionCount; ++i) {
      procs[i] = GetDllProc(i + 1 < kTrustFunctionCount ? "wintrust.dll" : "crypt32.dll",
                            kTrustFunctions[i]);
      complete = complete && procs[i] != nullptr;
    }
  }

  template <typename Proc>
  Proc At(int index) const {
    return reinterpret_cast<Proc>(reinterpret_cast<void*>(procs[index]));
  }
  TWinVerifyTrust verify() const { return At<TWinVerifyTrust>(0); }
  TProvDataFromStateData provData() const { return At<TProvDataFromStateData>(1); }
  TProvSignerFromChain signer() const { return At<TProvSignerFromChain>(2); }
  TProvCertFromChain cert() const { return At<TProvCertFromChain>(3); }
  TCryptEncodeObject encode() const { return At<TCryptEncodeObject>(4); }

  FARPROC procs[kTrustFunctionCount] = {};
  bool complete = true;
};

const TTrustApi& TrustApi() {
  static const TLasting<TTrustApi> api;
  return *api;
}

// One verification of a file; the state it leaves open (the signer's
// certificates) is closed when the owner goes.
class TTrustVerification {
 public:
  TTrustVerification(const TTrustApi& api, const WCHAR* path) : api_(api) {
    file_.cbStruct = sizeof file_;
    file_.pcwszFilePath = path;
    data_.cbStruct = sizeof data_;
    data_.dwUIChoice = WTD_UI_NONE;
    data_.fdwRevocationChecks = WTD_REVOKE_NONE;
    data_.dwUnionChoice = WTD_CHOICE_FILE;
    data_.pFile = &file_;
    data_.dwStateAction = WTD_STATEACTION_VERIFY;
    // The check never waits for the network: a pinned key needs no chain.
    data_.dwProvFlags = WTD_REVOCATION_CHECK_NONE | WTD_CACHE_ONLY_URL_RETRIEVAL;
    status_ = api_.verify()(NoWindow(), &action_, &data_);
  }
  ~TTrustVerification() {
    data_.dwStateAction = WTD_STATEACTION_CLOSE;
    api_.verify()(NoWindow(), &action_, &data_);
  }
  TTrustVerification(const TTrustVerification&) = delete;
  TTrustVerification& operator=(const TTrustVerification&) = delete;

  LONG Status() const { return status_; }

  // The leaf signer's certificate, or null.
  PCCERT_CONTEXT SignerCertificate() const {
    CRYPT_PROVIDER_DATA* provider = api_.provData()(data_.hWVTStateData);
    if (provider == nullptr) return nullptr;
    CRYPT_PROVIDER_SGNR* signer = api_.signer()(provider, 0, FALSE, 0);
    if (signer == nullptr || signer->csCertChain == 0) return nullptr;
    CRYPT_PROVIDER_CERT* cert = api_.cert()(signer, 0);
    return cert != nullptr ? cert->pCert : nullptr;
  }

 private:
  static HWND NoWindow() { return static_cast<HWND>(INVALID_HANDLE_VALUE); }

  const TTrustApi& api_;
  GUID action_ = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  WINTRUST_FILE_INFO file_ = {};
  WINTRUST_DATA data_ = {};
  LONG status_ = 0;
};

// The path with its terminating zero, as the verification takes it.
std::unique_ptr<WCHAR[]> WidePath(const std::string& path) {
  const int length = MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, nullptr, 0);
  std::unique_ptr<WCHAR[]> wide(new WCHAR[length > 0 ? length : 1]);
  wide[0] = L'\0';
  if (length > 0) MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide.get(), length);
  return wide;
}

// SHA-256 of the certificate's SubjectPublicKeyInfo in its DER encoding.
// Out of line: its encoding and hash would otherwise widen the caller's
// frame, and with it every access to the verification's records.
[[gnu::noinline]] bool PublicKeySha256(const TTrustApi& api, PCCERT_CONTEXT cert, TSha256& out) {
  if (cert == nullptr || cert->pCertInfo == nullptr) return false;
  const CERT_PUBLIC_KEY_INFO* key = &cert->pCertInfo->SubjectPublicKeyInfo;
  DWORD length = 0;
  if (!api.encode()(X509_ASN_ENCODING, X509_PUBLIC_KEY_INFO, key, nullptr, &length)) return false;
  const std::unique_ptr<BYTE[]> der(new BYTE[length]);
  if (!api.encode()(X509_ASN_ENCODING, X509_PUBLIC_KEY_INFO, key, der.get(), &length)) {
    return false;
  }
  return Sha256Of(der.get(), length, out);
}

}  // namespace

TSignatureCheck CheckFileSignature(const std::string& path) {
  TSignatureCheck check;
  const TTrustApi& api = TrustApi();
  if (!api.complete) {
    check.trustStatus = static_cast<int32_t>(TRUST_E_PROVIDER_UNKNOWN);
    return check;
  }
  const std::unique_ptr<WCHAR[]> widePath = WidePath(path);
  const TTrustVerification verification(api, widePath.get());
  check.trustStatus = static_cast<int32_t>(verification.Status());
  check.hasSignerKey = PublicKeySha256(api, verification.SignerCertificate(), check.signerKey);
  return check;
}
