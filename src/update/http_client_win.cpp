#include <cstring>

#include "files/file_ops.h"
#include "update/download_rules.h"
#include "update/http_client.h"
#include "update/wininet_api.h"
#include "util/file_io.h"
#include "util/handle.h"
#include "util/winapi.h"

bool TestMode = false;
std::string TestModeURL;

namespace {

constexpr char kTestModeKey[] = "HKEY_CURRENT_USER\\Software\\Tirabelo\\Orvane\\AutoUpdate";
constexpr DWORD kContentLengthNumber = HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER;
constexpr DWORD kStatusCodeNumber = HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER;
constexpr DWORD kLastModifiedTime = HTTP_QUERY_LAST_MODIFIED | HTTP_QUERY_FLAG_SYSTEMTIME;
constexpr DWORD kBufferSize = 10240;
constexpr DWORD kPartialContent = 206;
// The transfer reads at most one chunk per pass and starts a pass at most
// every this many milliseconds.
constexpr int64_t kPassMilliseconds = 2;

uint32_t previousRefreshTick = 0;

THInternet OpenInternet(const char* userAgent) {
  return THInternet(WinInetOpen(userAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
}

THInternet OpenUrl(HINTERNET internet, const std::string& url, const std::string& headers,
                   DWORD flags) {
  const char* extra = headers.empty() ? nullptr : headers.c_str();
  return THInternet(
      WinInetOpenUrl(internet, url.c_str(), extra, static_cast<DWORD>(headers.size()), flags, 0));
}

// A numeric header as a 32-bit value, -1 when the query fails.
int32_t QueryNumber(HINTERNET request, DWORD query) {
  DWORD value = static_cast<DWORD>(-1);
  DWORD length = sizeof value;
  WinInetHttpQueryInfo(request, query, &value, &length, nullptr);
  return static_cast<int32_t>(value);
}

std::string QueryText(HINTERNET request, DWORD query) {
  char buffer[256] = {};
  DWORD length = sizeof buffer - 1;
  if (!WinInetHttpQueryInfo(request, query, buffer, &length, nullptr)) return "";
  return std::string(buffer, strnlen(buffer, sizeof buffer));
}

// The Last-Modified date as a packed DOS date-time, 0 when there is none.
int32_t LastModifiedStamp(HINTERNET request) {
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
int32_t PositionAfterHeld(HINTERNET internet, THInternet& request, const std::string& url,
                          DWORD flags, TDownloadSink& sink, int32_t held, int32_t total) {
  if (held == 0 || held == total) return held;
  if (held > 0 && held < total) {
    if (WinInetSetFilePointer(request.get(), held, nullptr, FILE_BEGIN, 0) ==
        static_cast<DWORD>(held)) {
      return held;
    }
    request = OpenUrl(internet, url, RangeRequestHeader(held), flags);
    if (request && ResumesAt(request.get(), held, total)) return held;
  }
  sink.Restart();
  request = OpenUrl(internet, url, "", flags);
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
    interval_ = frequency_ * kPassMilliseconds / 1000;
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
      const DWORD milliseconds = static_cast<DWORD>((left * 1000 + frequency_ - 1) / frequency_);
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
  const THInternet request = OpenUrl(internet.get(), url, "", 0);
  if (!request) return -1;
  return QueryNumber(request.get(), kContentLengthNumber);
}

std::string DownloadErrorText(const TDownloadResult& result, const std::string& url) {
  switch (result.Status) {
    case TDownloadStatus::kOk: return "";
    case TDownloadStatus::kCancelled: return "Download Aborted";
    case TDownloadStatus::kNoLibrary: return "Unable to initialize \"WinINet.dll\"";
    case TDownloadStatus::kCannotOpen: return "Unable to open URL: " + url;
    case TDownloadStatus::kNotFound: return url + "<P><P>File Not Found !";
    case TDownloadStatus::kIncomplete:
    case TDownloadStatus::kCannotStore: return url + "<P><P>Unable to Download File!";
  }
  return url + "<P><P>Unable to Download File!";
}

int32_t TMemorySink::Resume(int32_t, int32_t) {
  content_.clear();
  return 0;
}

bool TMemorySink::Append(const char* data, size_t size) {
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
  THInternet request = OpenUrl(internet.get(), url, "", flags);
  if (!request) return {TDownloadStatus::kCannotOpen, GetLastError()};
  const int32_t total = QueryNumber(request.get(), kContentLengthNumber);
  const int32_t stamp = LastModifiedStamp(request.get());
  if (total <= 0) return {TDownloadStatus::kNotFound, 0};
  if (window != nullptr) ShowWindow(window, SW_SHOW);

  int32_t done =
      PositionAfterHeld(internet.get(), request, url, flags, sink, sink.Resume(total, stamp), total);
  if (!request) return {TDownloadStatus::kCannotOpen, GetLastError()};

  const int32_t chunk = DownloadChunkSize(total);
  std::string text = FormatDownloadProgress(true, total, done, 0);
  if (progress != nullptr) {
    progress(0, 0, ProgressRangeMax(total, chunk), ProgressPosition(done, chunk), 1, text);
  }
  // A sink that already holds every byte needs no further read.
  bool more = done != total;
  char buffer[kBufferSize];
  TPassPacer pacer;
  TDownloadResult result;
  while (more) {
    pacer.Wait();
    std::memset(buffer, 0, sizeof buffer);
    DWORD received = 0;
    if (!WinInetReadFile(request.get(), buffer, static_cast<DWORD>(chunk), &received)) {
      received = 0;
    }
    if (received > 0) {
      // A piece that cannot be stored ends the transfer, since storing the
      // next one after a gap would corrupt the file.
      if (!sink.Append(buffer, received)) {
        result = {TDownloadStatus::kCannotStore, GetLastError()};
        break;
      }
      done += static_cast<int32_t>(received);
      text = FormatDownloadProgress(false, total, done, static_cast<int32_t>(received));
      if (progress != nullptr) progress(1, 0, 0, 0, 0, text);
    }
    more = received > 0 && !cancel;
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
    TestMode = RegReadValue(kTestModeKey, "TestMode", "0") == "1";
    TestModeURL = RegReadValue(kTestModeKey, "TestModeURL", "");
  }
  previousRefreshTick = now;
  return TestMode;
}
