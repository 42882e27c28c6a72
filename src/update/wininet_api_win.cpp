#include "update/wininet_api.h"

#include "util/lasting.h"
#include "util/winapi.h"

bool DownloadAbortRequested = false;

namespace {

enum TWinInetFunction {
  kGetConnectedState,
  kCloseHandle,
  kOpen,
  kOpenUrl,
  kHttpQueryInfo,
  kReadFile,
  kSetFilePointer,
  kSetOption,
  kCrackUrl,
  kConnect,
  kHttpOpenRequest,
  kHttpSendRequest,
  kQueryDataAvailable,
  kWinInetFunctionCount
};

constexpr const char* kFunctionNames[kWinInetFunctionCount] = {
    "InternetGetConnectedState", "InternetCloseHandle", "InternetOpenA",
    "InternetOpenUrlA",          "HttpQueryInfoA",      "InternetReadFile",
    "InternetSetFilePointer",    "InternetSetOptionA",  "InternetCrackUrlA",
    "InternetConnectA",          "HttpOpenRequestA",    "HttpSendRequestA",
    "InternetQueryDataAvailable"};

struct TWinInetApi {
  TModule module;
  FARPROC entries[kWinInetFunctionCount] = {};
};

// At namespace scope rather than inside a function: no guard to test at
// each call. The library stays loaded until the process ends.
TLasting<TWinInetApi> api;

TWinInetApi& Api() { return *api; }

// The address of `function`, binding the library and the name on first use.
template <typename T>
T Bound(TWinInetFunction function) {
  TWinInetApi& api = Api();
  if (!api.module) api.module.reset(LoadSystemLibrary("WinINet.dll"));
  if (!api.module) return nullptr;
  if (api.entries[function] == nullptr) {
    api.entries[function] = GetProcAddress(api.module.get(), kFunctionNames[function]);
  }
  return reinterpret_cast<T>(reinterpret_cast<void*>(api.entries[function]));
}

using TGetConnectedState = BOOL(WINAPI*)(DWORD*, DWORD);
using TCloseHandleFn = BOOL(WINAPI*)(HINTERNET);
using TOpen = HINTERNET(WINAPI*)(LPCSTR, DWORD, LPCSTR, LPCSTR, DWORD);
using TOpenUrl = HINTERNET(WINAPI*)(HINTERNET, LPCSTR, LPCSTR, DWORD, DWORD, DWORD_PTR);
using THttpQueryInfo = BOOL(WINAPI*)(HINTERNET, DWORD, LPVOID, LPDWORD, LPDWORD);
using TReadFileFn = BOOL(WINAPI*)(HINTERNET, LPVOID, DWORD, LPDWORD);
using TSetFilePointer = DWORD(WINAPI*)(HINTERNET, LONG, PLONG, DWORD, DWORD_PTR);
using TSetOption = BOOL(WINAPI*)(HINTERNET, DWORD, LPVOID, DWORD);
using TCrackUrl = BOOL(WINAPI*)(LPCSTR, DWORD, DWORD, LPURL_COMPONENTSA);
using TConnect = HINTERNET(WINAPI*)(HINTERNET, LPCSTR, INTERNET_PORT, LPCSTR, LPCSTR, DWORD, DWORD,
                                    DWORD_PTR);
using THttpOpenRequest = HINTERNET(WINAPI*)(HINTERNET, LPCSTR, LPCSTR, LPCSTR, LPCSTR, LPCSTR*,
                                            DWORD, DWORD_PTR);
using THttpSendRequest = BOOL(WINAPI*)(HINTERNET, LPCSTR, DWORD, LPVOID, DWORD);
using TQueryDataAvailable = BOOL(WINAPI*)(HINTERNET, LPDWORD, DWORD, DWORD_PTR);

}  // namespace

void UnloadWinInetApi() {
  TWinInetApi& api = Api();
  for (FARPROC& entry : api.entries) entry = nullptr;
  api.module.reset();
}

BOOL WinInetGetConnectedState(DWORD* flags, DWORD reserved) {
  const auto function = Bound<TGetConnectedState>(kGetConnectedState);
  return function != nullptr ? function(flags, reserved) : FALSE;
}

BOOL WinInetCloseHandle(HINTERNET handle) {
  const auto function = Bound<TCloseHandleFn>(kCloseHandle);
  return function != nullptr ? function(handle) : FALSE;
}

HINTERNET WinInetOpen(const char* agent, DWORD accessType, const char* proxy,
                      const char* proxyBypass, DWORD flags) {
  const auto function = Bound<TOpen>(kOpen);
  return function != nullptr ? function(agent, accessType, proxy, proxyBypass, flags) : nullptr;
}

HINTERNET WinInetOpenUrl(HINTERNET internet, const char* url, const char* headers,
                         DWORD headersLength, DWORD flags, DWORD_PTR context) {
  const auto function = Bound<TOpenUrl>(kOpenUrl);
  return function != nullptr ? function(internet, url, headers, headersLength, flags, context)
                             : nullptr;
}

BOOL WinInetHttpQueryInfo(HINTERNET request, DWORD infoLevel, void* buffer, DWORD* bufferLength,
                          DWORD* index) {
  const auto function = Bound<THttpQueryInfo>(kHttpQueryInfo);
  return function != nullptr ? function(request, infoLevel, buffer, bufferLength, index) : FALSE;
}

BOOL WinInetReadFile(HINTERNET file, void* buffer, DWORD bytesToRead, DWORD* bytesRead) {
  const auto function = Bound<TReadFileFn>(kReadFile);
  return function != nullptr ? function(file, buffer, bytesToRead, bytesRead) : FALSE;
}

DWORD WinInetSetFilePointer(HINTERNET file, LONG distance, LONG* distanceHigh, DWORD moveMethod,
                            DWORD_PTR context) {
  const auto function = Bound<TSetFilePointer>(kSetFilePointer);
  return function != nullptr ? function(file, distance, distanceHigh, moveMethod, context) : 0;
}

BOOL WinInetSetOption(HINTERNET handle, DWORD option, void* buffer, DWORD bufferLength) {
  const auto function = Bound<TSetOption>(kSetOption);
  return function != nullptr ? function(handle, option, buffer, bufferLength) : FALSE;
}

BOOL WinInetCrackUrl(const char* url, DWORD urlLength, DWORD flags, URL_COMPONENTSA* components) {
  const auto function = Bound<TCrackUrl>(kCrackUrl);
  return function != nullptr ? function(url, urlLength, flags, components) : FALSE;
}

HINTERNET WinInetConnect(HINTERNET internet, const char* server, INTERNET_PORT port, DWORD service,
                         DWORD flags) {
  const auto function = Bound<TConnect>(kConnect);
  return function != nullptr ? function(internet, server, port, nullptr, nullptr, service, flags, 0)
                             : nullptr;
}

HINTERNET WinInetHttpOpenRequest(HINTERNET connection, const char* verb, const char* object,
                                 DWORD flags) {
  const auto function = Bound<THttpOpenRequest>(kHttpOpenRequest);
  if (function == nullptr) return nullptr;
  return function(connection, verb, object, nullptr, nullptr, nullptr, flags, 0);
}

BOOL WinInetHttpSendRequest(HINTERNET request, const char* headers, DWORD headersLength) {
  const auto function = Bound<THttpSendRequest>(kHttpSendRequest);
  return function != nullptr ? function(request, headers, headersLength, nullptr, 0) : FALSE;
}

BOOL WinInetQueryDataAvailable(HINTERNET file, DWORD* available) {
  const auto function = Bound<TQueryDataAvailable>(kQueryDataAvailable);
  return function != nullptr ? function(file, available, 0, 0) : FALSE;
}
