#include "update/http_client.h"

#include <cstring>

#include "files/file_ops.h"
#include "update/download_rules.h"
#include "update/wininet_api.h"
#include "util/divide.h"
#include "util/file_io.h"
#include "util/handle.h"
#include "util/winapi.h"

bool TestMode = false;
TLasting<std::string> TestModeURL;

namespace {

constexpr char kTestModeKey[] = "HKEY_CURRENT_USER\\Software\\Tirabelo\\Orvane\\AutoUpdate";
constexpr DWORD kContentLengthNumber = HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER;
constexpr DWORD kStatusCodeNumber = HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER;
constexpr DWORD kLastModifiedTime = HTTP_QUERY_LAST_MODIFIED | HTTP_QUERY_FLAG_SYSTEMTIME;
constexpr DWORD kBufferSize = 10240;
constexpr DWORD kPartialContent = 206;
// How long a connection attempt, a request or a single receive may take
// before the download gives up: a server that accepts and then sends
// nothing must end as a failed download, never as a launcher that hangs.
constexpr DWORD kNetworkTimeoutMilliseconds = 30000;
constexpr DWORD kLongestUrl = 2084;
// The transfer reads at most one chunk per pass and starts a pass at most
// every this many milliseconds.
constexpr int64_t kPassMilliseconds = 2;

uint32_t previousRefreshTick = 0;

// Bounds every wait of `handle` and of the handles made from it.
void SetTimeouts(HINTERNET handle) {
  for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                       INTERNET_OPTION_RECEIVE_TIMEOUT, INTERNET_OPTION_DATA_SEND_TIMEOUT,
                       INTERNET_OPTION_DATA_RECEIVE_TIMEOUT}) {
    DWORD milliseconds = kNetworkTimeoutMilliseconds;
    WinInetSetOption(handle, option, &milliseconds, sizeof milliseconds);
  }
}

THInternet OpenInternet(const char* userAgent) {
  THInternet internet(WinInetOpen(userAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  if (internet) SetTimeouts(internet.get());
  return internet;
}

// A numeric header as a 32-bit value, -1 when the query fails.
int32_t QueryNumber(HINTERNET request, DWORD query) {
  DWORD value = static_cast<DWORD>(-1);
  DWORD length = sizeof value;
  WinInetHttpQueryInfo(request, query, &value, &length, nullptr);
  return static_cast<int32_t>(value);
}

std::string QueryText(HINTERNET request, DWORD query) {
  // Static, like the download buffer: a short frame. Only the `length` bytes
  // this call wrote are taken, never a rest of an earlier value.
  static char buffer[kLongestUrl + 1];
  DWORD length = sizeof buffer - 1;
  if (!WinInetHttpQueryInfo(request, query, buffer, &length, nullptr)) return {};
  // Up to the first zero byte: memchr comes from msvcrt.dll, strnlen would link a copy in.
  const void* zero = std::memchr(buffer, 0, length);
  return std::string(buffer, zero ? static_cast<const char*>(zero) - buffer : length);
}

// A test-mode value, empty when absent (the switch counts as off then).
std::string TestModeValue(const char* name) { return RegReadValue(kTestModeKey, name, ""); }

// A request and the connection it runs on; the request is closed first.
struct TWebRequest {
  THInternet connection;
  THInternet request;
  explicit operator bool() const { return static_cast<bool>(request); }
  HINTERNET get() const { return request.get(); }
  // Closes both handles and leaves `error` as the thread's last error.
  void Fail(DWORD error) {
    request.reset();
    connection.reset();
    SetLastError(error);
  }
};

// Sends one request for `url` with the extra `headers` (null for none). Web
// addresses go through a connection and a request of their own, so that the
// time limits are in place before the request is sent (the library copies
// them into the connection it opens then, and a limit set on a handle it
// opened itself comes too late); any other address is opened as the library
// knows it. A certificate that does not check out fails the request like any
// other error.
TWebRequest OpenOnce(HINTERNET internet, const std::string& url, const char* headers, DWORD flags) {
  TWebRequest opened;
  const DWORD headersLength = headers != nullptr ? static_cast<DWORD>(strlen(headers)) : 0;
  URL_COMPONENTSA parts = {};
  parts.dwStructSize = sizeof parts;
  parts.dwHostNameLength = 1;  // lengths without buffers: pointers into url
  parts.dwUrlPathLength = 1;
  parts.dwExtraInfoLength = 1;
  const bool cracked = WinInetCrackUrl(url.c_str(), 0, 0, &parts) != FALSE;
  const bool web = parts.nScheme == INTERNET_SCHEME_HTTP || parts.nScheme == INTERNET_SCHEME_HTTPS;
  if (!cracked || !web) {
    opened.request.reset(WinInetOpenUrl(internet, url.c_str(), headers, headersLength, flags, 0));
    return opened;
  }
  const std::string host(parts.lpszHostName, parts.dwHostNameLength);
  std::string object(parts.lpszUrlPath, parts.dwUrlPathLength);
  if (parts.lpszExtraInfo != nullptr) object.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  if (object.empty()) object = "/";
  opened.connection.reset(
      WinInetConnect(internet, host.c_str(), parts.nPort, INTERNET_SERVICE_HTTP, 0));
  if (!opened.connection) return opened;
  SetTimeouts(opened.connection.get());
  const DWORD secure = parts.nScheme == INTERNET_SCHEME_HTTPS ? INTERNET_FLAG_SECURE : 0;
  opened.request.reset(WinInetHttpOpenRequest(opened.connection.get(), "GET", object.c_str(),
                                              flags | secure | INTERNET_FLAG_NO_AUTO_REDIRECT));
  if (!opened.request) return opened;
  SetTimeouts(opened.request.get());
  if (!WinInetHttpSendRequest(opened.request.get(), headers, headersLength)) {
    opened.Fail(GetLastError());
  }
  return opened;
}

// Opens `url` and follows its redirections itself, at most kMaxRedirects of
// them and only to web addresses (never down from https to http), so that
// a server that sends the launcher round in circles or to a local file
// ends as a url that cannot be opened. `url` becomes the address that
// answered, which a range request then asks again directly.
TWebRequest OpenUrl(HINTERNET internet, std::string& url, const char* headers, DWORD flags) {
  for (int hop = 0;; ++hop) {
    TWebRequest web = OpenOnce(internet, url, headers, flags);
    if (!web) return web;
    const int32_t status = QueryNumber(web.get(), kStatusCodeNumber);
    if (!IsRedirectStatus(status)) return web;
    const std::string next = RedirectTarget(url, QueryText(web.get(), HTTP_QUERY_LOCATION));
    if (hop == kMaxRedirects || next.empty()) {
      web.Fail(ERROR_HTTP_REDIRECT_FAILED);
      return web;
    }
    url = next;
  }
}

// The Last-Modified date as a packed DOS date-time, 0 when there is none.
// Out of line, which keeps the download's frame short.
[[gnu::noinline]] int32_t LastModifiedStamp(HINTERNET request) {
  SYSTEMTIME time = {};
  DWORD length = sizeof time;
  WinInetHttpQueryInfo(request, kLastModifiedTime, &time, &length, nullptr);
  return DosStampOfDate(time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute, time.wSecond);
}

// The answer to a range request continues the partial file exactly.
bool ResumesAt(HINTERNET request, int32_t from, int32_t total) {
  if (static_cast<DWORD>(QueryNumber(request, kStatusCodeNumber)) != kPartialContent) return false;
  return ContentRangeResumes(QueryText(request, HTTP_QUERY_CONTENT_RANGE), from, total);
}

// Puts `request` behind the `held` bytes the sink already has and returns
// how many bytes are done. Where the library cannot move the file pointer
// (it refuses for most responses), the rest is asked for with a Range
// header; when the server does not answer with exactly that rest, the sink
// starts again and the resource is fetched from its start, so that no byte
// is ever appended at the wrong place. `request` is null afterwards when the
// url can no longer be opened.
int32_t PositionAfterHeld(HINTERNET internet, TWebRequest& request, std::string& url, DWORD flags,
                          TDownloadSink& sink, int32_t held, int32_t total) {
  if (held == 0 || held == total) return held;
  if (held > 0 && held < total) {
    if (WinInetSetFilePointer(request.get(), held, nullptr, FILE_BEGIN, 0) ==
        static_cast<DWORD>(held)) {
      return held;
    }
    request = OpenUrl(internet, url, RangeRequestHeader(held).c_str(), flags);
    if (request && ResumesAt(request.get(), held, total)) return held;
  }
  sink.Restart();
  request = OpenUrl(internet, url, nullptr, flags);
  return 0;
}

// Paces the transfer loop: each pass waits, handling window messages, until
// its turn comes, one turn every kPassMilliseconds since the transfer
// began. Time comes from the performance counter, since the tick count
// moves in steps of 10-16 ms on many systems and a tick-based wait of 2 ms
// would stretch every pass to a whole step; the time a pass spends reading
// and storing counts towards its turn. A pass that comes late starts the
// schedule afresh instead of catching up in a burst.
class TPassPacer {
 public:
  TPassPacer() {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    frequency_ = frequency.QuadPart;
    interval_ = DivideSigned(frequency_ * kPassMilliseconds, 1000);
    next_ = Now();
  }

  void Wait() {
    for (;;) {
      PumpMessage();
      const int64_t now = Now();
      const int64_t left = next_ - now;
      if (left <= 0) {
        next_ = next_ + interval_ < now ? now : next_ + interval_;
        return;
      }
      // Sleeps until the turn (rounded up to a whole millisecond) or until
      // a message arrives, whichever is first.
      const DWORD milliseconds =
          static_cast<DWORD>(DivideSigned(left * 1000 + frequency_ - 1, frequency_));
      MsgWaitForMultipleObjects(0, nullptr, FALSE, milliseconds, QS_ALLINPUT);
    }
  }

 private:
  int64_t Now() const {
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return counter.QuadPart;
  }

  int64_t frequency_ = 1;
  int64_t interval_ = 0;
  int64_t next_ = 0;
};

}  // namespace

bool IsInternetConnected() {
  DWORD flags = 7;
  return WinInetGetConnectedState(&flags, 0) != FALSE;
}

int32_t QueryRemoteFileSize(const std::string& url) {
  const THInternet internet = OpenInternet("HTTP_Connect_2");
  if (!internet) return -1;
  std::string where = url;
  const TWebRequest request = OpenUrl(internet.get(), where, nullptr, 0);
  if (!request) return -1;
  return QueryNumber(request.get(), kContentLengthNumber);
}

std::string DownloadErrorText(const TDownloadResult& result, const std::string& url) {
  const char* tail = "<P><P>Unable to Download File!";
  switch (result.Status) {
    case TDownloadStatus::kOk:
      return {};
    case TDownloadStatus::kCancelled:
      return "Download Aborted";
    case TDownloadStatus::kNoLibrary:
      return "Unable to initialize \"WinINet.dll\"";
    case TDownloadStatus::kCannotOpen:
      return "Unable to open URL: " + url;
    case TDownloadStatus::kNotFound:
      tail = "<P><P>File Not Found !";
      break;
    case TDownloadStatus::kIncomplete:
    case TDownloadStatus::kCannotStore:
      break;
  }
  return url + tail;
}

int32_t TMemorySink::Resume(int32_t, int32_t) {
  content_.clear();
  return 0;
}

bool TMemorySink::Append(const char* data, size_t size) {
  if (size > kLargestInMemory - content_.size()) return false;
  content_.append(data, size);
  return true;
}

bool TMemorySink::Finish(int32_t total) { return static_cast<int64_t>(content_.size()) == total; }

int32_t TPartialFileSink::Resume(int32_t total, int32_t stamp) {
  partPath_ = PartialFileName(targetPath_, total, stamp);
  if (FileExists(partPath_)) {
    const int64_t size = FileSizeOf(partPath_);
    return size > total ? total + 1 : static_cast<int32_t>(size);
  }
  // Partial files of other lengths or dates belong to another version.
  DeleteByMask(targetPath_ + ".*", false);
  return 0;
}

void TPartialFileSink::Restart() {
  file_.reset();
  DeleteFileA(partPath_.c_str());
}

bool TPartialFileSink::Append(const char* data, size_t size) {
  if (!file_) {
    file_.reset(CreateFileA(partPath_.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER zero{};
    if (!file_ || !SetFilePointerEx(file_.get(), zero, nullptr, FILE_END)) {
      file_.reset();
      return false;
    }
  }
  DWORD written = 0;
  return WriteFile(file_.get(), data, static_cast<DWORD>(size), &written, nullptr) &&
         written == size;
}

bool TPartialFileSink::Finish(int32_t total) {
  file_.reset();
  // Only a complete partial file becomes the target; a short one stays for
  // the next attempt.
  if (partPath_.empty() || FileSizeOf(partPath_) != total) return false;
  DeleteFileA(targetPath_.c_str());
  return MoveFileA(partPath_.c_str(), targetPath_.c_str()) != FALSE;
}

TDownloadResult InternetDownload(HWND window, const std::string& url, TDownloadSink& sink,
                                 TProgressCallback progress, const bool& cancel) {
  Wait(100);
  const THInternet internet = OpenInternet("HTTP_Connect_3");
  if (!internet) return {TDownloadStatus::kNoLibrary, GetLastError()};
  const DWORD flags = sink.KeepsPartial() ? INTERNET_FLAG_RESYNCHRONIZE : INTERNET_FLAG_RELOAD;
  std::string where = url;
  TWebRequest request = OpenUrl(internet.get(), where, nullptr, flags);
  if (!request) return {TDownloadStatus::kCannotOpen, GetLastError()};
  const int32_t total = QueryNumber(request.get(), kContentLengthNumber);
  const int32_t stamp = LastModifiedStamp(request.get());
  if (total <= 0) return {TDownloadStatus::kNotFound, 0};
  if (window != nullptr) ShowWindow(window, SW_SHOW);

  const int32_t held = sink.Resume(total, stamp);
  int32_t done = PositionAfterHeld(internet.get(), request, where, flags, sink, held, total);
  if (!request) return {TDownloadStatus::kCannotOpen, GetLastError()};

  const int32_t chunk = DownloadChunkSize(total);
  TDownloadRate rate;
  {
    const std::string text = rate.Progress(true, total, done, 0);
    if (progress != nullptr) {
      progress(0, 0, ProgressRangeMax(total, chunk), ProgressPosition(done, chunk), 1, text);
    }
  }
  // A sink that already holds every byte needs no further read.
  bool more = done != total;
  // Static, as a stack array this large would need a stack probe; each read
  // is stored before any message runs, so a nested download cannot spoil it.
  static char buffer[kBufferSize];
  TPassPacer pacer;
  TSlowSenderGuard guard(DownloadTickNow());
  TDownloadResult result;
  while (more) {
    pacer.Wait();
    // A chunk is gathered from what has arrived, piece by piece, so that no
    // read waits for a whole chunk from a sender that trickles and the
    // guard sees every piece.
    DWORD received = 0;
    bool ended = false;
    bool slow = false;
    while (received < static_cast<DWORD>(chunk) && !ended && !slow) {
      DWORD available = 0;
      DWORD piece = 0;
      const DWORD room = static_cast<DWORD>(chunk) - received;
      ended = !WinInetQueryDataAvailable(request.get(), &available) || available == 0 ||
              !WinInetReadFile(request.get(), buffer + received,
                               available < room ? available : room, &piece) ||
              piece == 0;
      received += piece;
      slow = !guard.Keeps(DownloadTickNow(), piece);
    }
    // Bytes beyond the announced length belong to no version of the file.
    const bool beyond = received > static_cast<DWORD>(total - done);
    if (beyond) received = static_cast<DWORD>(total - done);
    if (received > 0) {
      // A piece that cannot be stored ends the transfer, since storing the
      // next one after a gap would corrupt the file.
      if (!sink.Append(buffer, received)) {
        result = {TDownloadStatus::kCannotStore, GetLastError()};
        break;
      }
      done += static_cast<int32_t>(received);
      const std::string text = rate.Progress(false, total, done, static_cast<int32_t>(received));
      if (progress != nullptr) progress(1, 0, 0, 0, 0, text);
    }
    if (slow) {
      result = {TDownloadStatus::kIncomplete, 0};
      break;
    }
    more = !ended && !beyond && !cancel;
  }
  const bool complete = sink.Finish(total);
  if (cancel) return {TDownloadStatus::kCancelled, 0};
  if (!result.Ok()) return result;
  if (!complete) return {TDownloadStatus::kIncomplete, 0};
  return result;
}

bool RefreshTestMode(bool force) {
  const uint32_t now = DownloadTickNow();
  if (TestModeReadDue(force, now, previousRefreshTick)) {
    TestMode = TestModeValue("TestMode") == "1";
    *TestModeURL = TestModeValue("TestModeURL");
  }
  previousRefreshTick = now;
  return TestMode;
}
