// The small HTTP client: connection test, size query, resumable download
// into a file or into memory, the progress text, and the test-mode switch
// that sends the agent to a local folder instead of the server.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "update/download_progress.h"
#include "util/handle.h"
#include "util/lasting.h"
#include "util/progress.h"

// True while the registry's "TestMode" is "1": the agent takes its files
// from TestModeURL (a folder) and never goes to the Internet.
extern bool TestMode;
extern TLasting<std::string> TestModeURL;

bool IsInternetConnected();

// Length of the resource in bytes, -1 when it cannot be learned.
int32_t QueryRemoteFileSize(const std::string& url);

// How a download ended; Win32Error is the system's code where a call
// failed (0 where none did).
enum class TDownloadStatus {
  kOk,
  kCancelled,    // the cancel flag was set during the transfer
  kNoLibrary,    // no Internet handle
  kCannotOpen,   // the url does not open
  kNotFound,     // no length: missing, or a server that sends none
  kIncomplete,   // the transfer ended short
  kCannotStore,  // a received piece could not be stored
};

struct TDownloadResult {
  TDownloadStatus Status = TDownloadStatus::kOk;
  DWORD Win32Error = 0;
  bool Ok() const { return Status == TDownloadStatus::kOk; }
};

// The error box text of a download of `url` that ended as `result`: the
// client's own texts ("Unable to initialize "WinINet.dll"", "Unable to
// open URL: " + url, url + "<P><P>File Not Found !", "Download Aborted"),
// url + "<P><P>Unable to Download File!" for a transfer that ended short or
// could not be stored; empty for a download that succeeded.
std::string DownloadErrorText(const TDownloadResult& result, const std::string& url);

// Where the bytes of a download go.
class TDownloadSink {
 public:
  virtual ~TDownloadSink() = default;
  // Whether bytes of an earlier attempt can be continued (the request then
  // asks the cache to revalidate rather than to reload).
  virtual bool KeepsPartial() const = 0;
  // The length and date are known: the bytes already held from an earlier
  // attempt at this very resource, 0 to start at its beginning.
  virtual int32_t Resume(int32_t total, int32_t stamp) = 0;
  // What is held cannot be continued: forget it and start at 0.
  virtual void Restart() = 0;
  // False when the piece could not be stored whole.
  virtual bool Append(const char* data, size_t size) = 0;
  // The transfer ended: true when all `total` bytes are where they belong.
  virtual bool Finish(int32_t total) = 0;
};

// Collects the body in memory, replacing what `content` held. A body
// larger than kLargestInMemory cannot be stored: what is fetched into
// memory is a small text file, and a server that sends gigabytes must not
// exhaust the process.
class TMemorySink : public TDownloadSink {
 public:
  static constexpr size_t kLargestInMemory = 16 * 1024 * 1024;
  explicit TMemorySink(std::string& content) : content_(content) {}
  bool KeepsPartial() const override { return false; }
  int32_t Resume(int32_t, int32_t) override;
  void Restart() override { content_.clear(); }
  bool Append(const char* data, size_t size) override;
  bool Finish(int32_t total) override;

 private:
  std::string& content_;
};

// Writes the body into a partial file beside `targetPath`, named after the
// length and date, which becomes `targetPath` once it holds every byte. A
// short transfer leaves the partial file for the next attempt; a partial
// file of another length or date is deleted.
class TPartialFileSink : public TDownloadSink {
 public:
  explicit TPartialFileSink(const std::string& targetPath) : targetPath_(targetPath) {}
  bool KeepsPartial() const override { return true; }
  int32_t Resume(int32_t total, int32_t stamp) override;
  void Restart() override;
  bool Append(const char* data, size_t size) override;
  bool Finish(int32_t total) override;

 private:
  std::string targetPath_;
  std::string partPath_;
  // Kept open for the whole transfer, created at the first piece. Each piece
  // is in the file system's cache as soon as its write returns, so an abrupt
  // end of the process loses nothing that was stored.
  TFileHandle file_;
};

// Downloads `url` into `sink`, continuing what it already holds where the
// server allows. `window` (may be null) is shown once the size is known;
// `progress` (may be null) drives a progress bar; setting `cancel` (read
// between pieces, while window messages run) ends the transfer.
TDownloadResult InternetDownload(HWND window, const std::string& url, TDownloadSink& sink,
                                 TProgressCallback progress, const bool& cancel);

// Re-reads the test-mode values when forced or after 30 s; returns TestMode.
bool RefreshTestMode(bool force);
