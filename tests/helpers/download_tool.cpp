// Downloads one url into a file through InternetDownload and reports how
// long it took, for bench/download-bench.sh.
//
//   download_tool URL TARGET [STOP_AFTER_BYTES]
//
// Prints one line: "elapsed_ms=N passes=N bytes=N error=TEXT", where passes
// counts the reads that delivered data. With STOP_AFTER_BYTES the download
// is aborted once that many bytes are done, leaving its partial file.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "files/file_ops.h"
#include "update/http_client.h"
#include "update/wininet_api.h"

namespace {

int32_t passes = 0;
int64_t stopAfter = 0;

void CountPass(int kind, int, int, int, int, const std::string& text) {
  if (kind != 1) return;
  ++passes;
  if (stopAfter > 0 && std::atoll(text.c_str()) >= stopAfter) DownloadAbortRequested = true;
}

void Print(const std::string& line) {
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line.data(), static_cast<DWORD>(line.size()), &written,
            nullptr);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  if (__argc < 3) {
    Print("usage: download_tool URL TARGET [STOP_AFTER_BYTES]\n");
    return 2;
  }
  const std::string url = __argv[1];
  const std::string target = __argv[2];
  if (__argc > 3) stopAfter = std::atoll(__argv[3]);
  const DWORD start = GetTickCount();
  TPartialFileSink sink(target);
  const std::string error = DownloadErrorText(
      InternetDownload(nullptr, url, sink, CountPass, DownloadAbortRequested), url);
  const DWORD elapsed = GetTickCount() - start;
  Print("elapsed_ms=" + std::to_string(elapsed) + " passes=" + std::to_string(passes) +
        " bytes=" + std::to_string(FileSizeOf(target)) + " error=" + error + "\n");
  return error.empty() ? 0 : 1;
}
