// Makes a certificate authority trusted inside the running Wine prefix, for
// the HTTPS download tests: adds the DER certificate in FILE to the local
// machine's "Root" store, where the library's certificate chain check looks.
//
//   trust_root FILE      exit 0 when the certificate is in the store
#include <windows.h>
#include <wincrypt.h>

#include <string>

#include "files/file_ops.h"

namespace {

using TOpenStore = HCERTSTORE(WINAPI*)(LPCSTR, DWORD, HCRYPTPROV_LEGACY, DWORD, const void*);
using TAddEncoded = BOOL(WINAPI*)(HCERTSTORE, DWORD, const BYTE*, DWORD, DWORD, PCCERT_CONTEXT*);
using TCloseStore = BOOL(WINAPI*)(HCERTSTORE, DWORD);

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  if (__argc != 2) return 2;
  const std::string der = ReadFilePart(__argv[1], 0, 0);
  if (der.empty()) return 3;
  const HMODULE crypt32 = LoadLibraryA("crypt32.dll");
  if (crypt32 == nullptr) return 4;
  const auto openStore = reinterpret_cast<TOpenStore>(
      reinterpret_cast<void*>(GetProcAddress(crypt32, "CertOpenStore")));
  const auto addEncoded = reinterpret_cast<TAddEncoded>(
      reinterpret_cast<void*>(GetProcAddress(crypt32, "CertAddEncodedCertificateToStore")));
  const auto closeStore = reinterpret_cast<TCloseStore>(
      reinterpret_cast<void*>(GetProcAddress(crypt32, "CertCloseStore")));
  if (openStore == nullptr || addEncoded == nullptr || closeStore == nullptr) return 5;
  const HCERTSTORE store =
      openStore(CERT_STORE_PROV_SYSTEM_A, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, "Root");
  if (store == nullptr) return 6;
  const BOOL added =
      addEncoded(store, X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()),
                 static_cast<DWORD>(der.size()), CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
  closeStore(store, 0);
  return added ? 0 : 7;
}
