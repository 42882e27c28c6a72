// The Internet library, bound at run time on first use and released when
// the main loop ends, and the flag that stops a running download.
//
// "WinINet.dll" is loaded from the system folder only. Each of its
// functions is looked up on its first call and the address kept. When the
// library or the function cannot be found the call is not made and the
// wrapper returns 0 (null for handles), which every caller takes as failure.
#pragma once

#include <windows.h>
#include <wininet.h>

#include "util/handle.h"

// Raised by the first close request of the main window (which then only
// stops the download) and when the window is destroyed; the callers of a
// download clear it just before they start one.
extern bool DownloadAbortRequested;

// Frees "WinINet.dll" if it was loaded and forgets the bound addresses; the
// next use loads it again. Internet handles must be closed before.
void UnloadWinInetApi();

BOOL WinInetGetConnectedState(DWORD* flags, DWORD reserved);
BOOL WinInetCloseHandle(HINTERNET handle);
HINTERNET WinInetOpen(const char* agent, DWORD accessType, const char* proxy,
                      const char* proxyBypass, DWORD flags);
// `headers` may be null; its length -1 lets the library measure it.
HINTERNET WinInetOpenUrl(HINTERNET internet, const char* url, const char* headers,
                         DWORD headersLength, DWORD flags, DWORD_PTR context);
BOOL WinInetHttpQueryInfo(HINTERNET request, DWORD infoLevel, void* buffer, DWORD* bufferLength,
                          DWORD* index);
BOOL WinInetReadFile(HINTERNET file, void* buffer, DWORD bytesToRead, DWORD* bytesRead);
// Waits, within the receive time-out, until some bytes of `file` have
// arrived; 0 of them at its end.
BOOL WinInetQueryDataAvailable(HINTERNET file, DWORD* available);
// The new position, INVALID_SET_FILE_POINTER on failure, 0 when unbound.
DWORD WinInetSetFilePointer(HINTERNET file, LONG distance, LONG* distanceHigh, DWORD moveMethod,
                            DWORD_PTR context);
BOOL WinInetSetOption(HINTERNET handle, DWORD option, void* buffer, DWORD bufferLength);
BOOL WinInetCrackUrl(const char* url, DWORD urlLength, DWORD flags, URL_COMPONENTSA* components);
// A connection to `server` without user name or password, context 0.
HINTERNET WinInetConnect(HINTERNET internet, const char* server, INTERNET_PORT port, DWORD service,
                         DWORD flags);
// A request for `object` with the default version, no referrer, any type.
HINTERNET WinInetHttpOpenRequest(HINTERNET connection, const char* verb, const char* object,
                                 DWORD flags);
BOOL WinInetHttpSendRequest(HINTERNET request, const char* headers, DWORD headersLength);

struct THInternetTraits {
  using Type = HINTERNET;
  static Type Invalid() { return nullptr; }
  static void Close(Type handle) { WinInetCloseHandle(handle); }
};
// An Internet, connection or request handle, closed through the bound
// "InternetCloseHandle".
using THInternet = TUniqueHandle<THInternetTraits>;
